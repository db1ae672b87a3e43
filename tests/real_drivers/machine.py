"""One boot of the guest: the simulator on the host playing the bus over a
pseudo-terminal, QEMU wired to it, QMP and the guest's shell. Everything lives
in the boot's own folder; nothing listens on TCP, and no serial port of the
host is opened. Leaving the `with` block ends QEMU and the simulator."""
import os
import select
import subprocess
import threading
import time

from guest_shell import GuestShell
from qmp import Qmp

TRACE_EVENTS = ["serial_update_parameters", "serial_write", "usb_serial_*"]


class Machine:
    def __init__(self, folder, kernel, initrd, sim, devices, accel, limit):
        self.folder = folder
        self.kernel = kernel
        self.initrd = initrd
        self.sim_binary = sim
        self.devices = devices
        self.accel = accel
        self.limit = limit
        self.processes = []
        self.other_bytes = b""
        self.qmp = None

    def remember(self, process):
        """Keeps the process to end it, and its id in the folder for the caller's trap."""
        self.processes.append(process)
        with open(os.path.join(self.folder, "pids"), "a") as f:
            f.write(f"{process.pid}\n")

    def start_sim(self):
        self.sim_log = os.path.join(self.folder, "sim.log")
        sim = subprocess.Popen(
            [self.sim_binary, "--devices", ",".join(map(str, self.devices)),
             "--link", os.path.join(self.folder, "bus"), "--log", self.sim_log],
            stdout=subprocess.PIPE, stderr=open(os.path.join(self.folder, "sim.err"), "wb"))
        self.remember(sim)
        ready, _, _ = select.select([sim.stdout], [], [], 10)
        if not ready:
            raise RuntimeError("rs485-sim printed no pseudo-terminal within 10 s")
        path = sim.stdout.readline().decode().strip()
        if not path.startswith("/dev/pts/"):
            raise RuntimeError(f"rs485-sim printed {path!r}, not a pseudo-terminal")
        return path

    def start_other_line(self):
        """A second pseudo-terminal that nothing plays: bytes that come out of it
        were written to the other adapter."""
        master, slave = os.openpty()
        self._other_slave = slave
        self.other_path = os.ttyname(slave)

        def pump():
            while True:
                try:
                    chunk = os.read(master, 4096)
                except OSError:
                    return
                if not chunk:
                    return
                self.other_bytes += chunk
        threading.Thread(target=pump, daemon=True).start()
        return self.other_path

    def boot(self, devices_args, with_other_line=False):
        os.makedirs(self.folder, exist_ok=True)
        bus = self.start_sim()
        self.shell = GuestShell(os.path.join(self.folder, "console.log"))
        with open(os.path.join(self.folder, "trace-events"), "w") as f:
            f.write("\n".join(TRACE_EVENTS) + "\n")
        self.trace_log = os.path.join(self.folder, "qemu-trace.log")
        qmp_path = os.path.join(self.folder, "qmp.sock")
        if os.path.exists(qmp_path):
            os.unlink(qmp_path)
        args = [
            "qemu-system-x86_64", "-nodefaults", "-display", "none", "-no-reboot",
            "-accel", self.accel, "-m", "512", "-smp", "1",
            "-kernel", self.kernel, "-initrd", self.initrd,
            "-append", "console=ttyS0,115200 panic=-1 loglevel=4",
            "-chardev", f"serial,id=con,path={self.shell.slave_path}",
            "-device", "isa-serial,chardev=con,index=0",
            "-chardev", f"serial,id=bus,path={bus}",
            "-qmp", f"unix:{qmp_path},server=on,wait=off",
            "-trace", f"events={os.path.join(self.folder, 'trace-events')}",
            "-D", self.trace_log, "-msg", "timestamp=on",
        ]
        if with_other_line:
            args += ["-chardev", f"serial,id=other,path={self.start_other_line()}"]
        args += devices_args
        with open(os.path.join(self.folder, "qemu-command"), "w") as f:
            f.write(" ".join(args) + "\n")
        started = time.monotonic()
        self.qemu = subprocess.Popen(args, stdin=subprocess.DEVNULL,
                                     stdout=open(os.path.join(self.folder, "qemu.out"), "wb"),
                                     stderr=subprocess.STDOUT)
        self.remember(self.qemu)
        self.shell.alive = lambda: self.qemu.poll() is None
        # Every boot is bounded: past its limit QEMU is ended whatever the test is doing.
        self.watchdog = threading.Timer(self.limit, self.qemu.kill)
        self.watchdog.daemon = True
        self.watchdog.start()
        self.qmp = Qmp(qmp_path, 20)
        self.shell.wait_for(rb"guest: ready\n", 120)
        self.boot_seconds = time.monotonic() - started
        return self

    def trace_mark(self):
        return os.path.getsize(self.trace_log) if os.path.exists(self.trace_log) else 0

    def trace_text(self, start=0, end=None):
        with open(self.trace_log, "rb") as f:
            f.seek(start)
            data = f.read() if end is None else f.read(end - start)
        return data.decode(errors="replace")

    def sim_mark(self):
        return os.path.getsize(self.sim_log) if os.path.exists(self.sim_log) else 0

    def sim_text(self, start=0):
        with open(self.sim_log, "rb") as f:
            f.seek(start)
            return f.read().decode(errors="replace")

    def wait_sim_answers(self, start, count, timeout):
        """Waits until the simulator has logged COUNT answers after offset START
        (the log is written line by line; its size is polled)."""
        from records import sim_answers
        deadline = time.monotonic() + timeout
        while True:
            answers = sim_answers(self.sim_text(start))
            if len(answers) >= count:
                return answers
            if time.monotonic() > deadline or self.qemu.poll() is not None:
                return answers
            time.sleep(0.05)

    def fetch(self, path):
        """A text file of the guest, read through its console."""
        return self.shell.check(f"cat {path}")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        try:
            if self.qmp and self.qemu.poll() is None:
                self.qmp.execute("quit", timeout=5)
        except Exception:
            pass
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait(5)
        if getattr(self, "watchdog", None):
            self.watchdog.cancel()
