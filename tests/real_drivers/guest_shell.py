"""The guest's shell on its console (ttyS0), reached through a pseudo-terminal
that the harness owns and QEMU's console chardev opens. Every byte is kept in
console.log in the test's folder."""
import os
import re
import threading
import time
import tty


class GuestError(Exception):
    pass


class GuestShell:
    def __init__(self, log_path):
        self.master, slave = os.openpty()
        tty.setraw(slave)
        self.slave_path = os.ttyname(slave)
        self._slave = slave  # kept open: QEMU's close must not hang the line up
        self.data = b""
        self.cond = threading.Condition()
        self.log = open(log_path, "wb")
        self.closed = False
        self.count = 0
        self.alive = lambda: True  # the machine tells whether QEMU still runs
        threading.Thread(target=self._pump, daemon=True).start()

    def _pump(self):
        while True:
            try:
                chunk = os.read(self.master, 65536)
            except OSError:
                chunk = b""
            if not chunk:
                with self.cond:
                    self.closed = True
                    self.cond.notify_all()
                return
            self.log.write(chunk)
            self.log.flush()
            with self.cond:
                self.data += chunk.replace(b"\r", b"")
                self.cond.notify_all()

    def wait_for(self, pattern, timeout, start=0):
        """Waits until PATTERN (bytes regex) shows at or after offset START."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                match = regex.search(self.data, start)
                if match:
                    return match
                left = deadline - time.monotonic()
                if left <= 0:
                    raise GuestError(f"the guest did not print {pattern!r} within {timeout} s")
                if not self.alive():
                    raise GuestError(f"QEMU ended while waiting for {pattern!r}")
                self.cond.wait(min(left, 0.5))

    def run(self, command, timeout=20):
        """Runs COMMAND in the guest's shell; returns (exit status, output)."""
        self.count += 1
        marker = f"@@{self.count}@@".encode()
        with self.cond:
            start = len(self.data)
        os.write(self.master, command.encode() + b"\necho \"" + marker + b" $?\"\n")
        match = self.wait_for(re.escape(marker) + rb" (\d+)\n", timeout, start)
        output = self.data[start:match.start()].decode(errors="replace")
        return int(match.group(1)), output

    def check(self, command, timeout=20):
        status, output = self.run(command, timeout)
        if status != 0:
            raise GuestError(f"guest command failed ({status}): {command}\n{output}")
        return output
