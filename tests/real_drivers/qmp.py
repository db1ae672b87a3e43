"""QEMU's machine protocol over the Unix socket in the test's folder."""
import json
import select
import socket
import time


class QmpError(Exception):
    pass


class Qmp:
    def __init__(self, path, timeout):
        deadline = time.monotonic() + timeout
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        # QEMU creates the socket while it starts; connect once it is there.
        while True:
            try:
                self.sock.connect(path)
                break
            except (FileNotFoundError, ConnectionRefusedError):
                if time.monotonic() > deadline:
                    raise QmpError(f"no QMP socket at {path} within {timeout} s")
                time.sleep(0.02)
        self.buffer = b""
        self.events = []
        self._read(deadline)  # the greeting
        self.execute("qmp_capabilities")

    def _read(self, deadline):
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise QmpError("QMP did not answer in time")
            ready, _, _ = select.select([self.sock], [], [], left)
            if ready:
                chunk = self.sock.recv(65536)
                if not chunk:
                    raise QmpError("QMP closed the connection")
                self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return json.loads(line)

    def execute(self, command, arguments=None, timeout=10):
        message = {"execute": command}
        if arguments:
            message["arguments"] = arguments
        self.sock.sendall(json.dumps(message).encode() + b"\n")
        deadline = time.monotonic() + timeout
        while True:
            reply = self._read(deadline)
            if "event" in reply:
                self.events.append(reply)
            elif "error" in reply:
                raise QmpError(f"{command}: {reply['error'].get('desc')}")
            elif "return" in reply:
                return reply["return"]

    def wait_event(self, name, data, timeout):
        """Waits for event NAME whose data holds every item of DATA; takes it off the list."""
        deadline = time.monotonic() + timeout
        while True:
            for event in self.events:
                if event["event"] == name and all(event.get("data", {}).get(k) == v for k, v in data.items()):
                    self.events.remove(event)
                    return event
            self.events.append(self._read(deadline))

    def close(self):
        self.sock.close()
