"""The port layer on the Linux kernel's own serial drivers, in a QEMU guest:
one boot with a 16550 UART (guest ttyS1), one with QEMU's FTDI USB-serial
adapter (ftdi_sio). Prints one line per check and the count at the end.

  suite.py --sim RS485_SIM --kernel VMLINUZ --initrd CPIO --folder DIR
"""
import argparse
import os
import re
import signal
import sys
import time

import records
from machine import Machine

DEVICES = [3, 7]
OURS = "BUSFT001"
OTHER = "OTHFT002"
LINK = "/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_{}-if00-port0"
POLL_SECONDS = 10
REPLUG_SECONDS = 13
OUTAGE = 3.0
# The tool asks once a second and the adapter is back about 0.8 s after the
# plug under emulation: plugged 0.7 s after a request's tick it returns mid-tick,
# so the time measured is the healing's, not where the tick happened to fall.
PLUG_PHASE = 0.7
# Answers resume within this time of the node's return. The time from the plug
# to the node (the emulated adapter's enumeration) is the emulator's and the
# kernel's, and is reported beside it.
RESUME_LIMIT = 1.0
# cfmakeraw's flags, 8N1, and no flow control of either kind.
RAW_8N1 = ["speed 2400 baud", "cs8", "-cstopb", "-parenb", "-crtscts", "-ixon", "-ixoff",
           "-icanon", "-echo", "-isig", "-iexten", "-opost", "-icrnl", "-inlcr", "-igncr",
           "-istrip", "-brkint", "-parmrk"]

results = []


def check(name, ok, detail):
    results.append((name, bool(ok)))
    print(f"{'PASS' if ok else 'FAIL'}  {name}: {detail}", flush=True)


# ---- the checks every driver gets ------------------------------------------

def scan(m, kind, port):
    status, _ = m.shell.run(
        f"rs485-cli --port {port} --json scan --from 1 --to 10 >/tmp/scan.out 2>/tmp/scan.err", 60)
    found = [line.get("address") for line in records.json_lines(m.fetch("/tmp/scan.out"))]
    summary = m.fetch("/tmp/scan.err").strip()
    check(f"{kind}: scan 1..10 finds exactly the devices",
          status == 0 and found == DEVICES,
          f"found {found}, the bus has {DEVICES}; exit {status}; \"{summary}\"")


def poll_with_line_checks(m, kind, port, settings_check, modem_check):
    sim_start = m.sim_mark()
    trace_start = m.trace_mark()
    m.shell.check(f"rs485-cli --port {port} --trace /tmp/poll.trace --json poll "
                  f"{' '.join(map(str, DEVICES))} --seconds {POLL_SECONDS} "
                  f">/tmp/poll.out 2>/tmp/poll.err & echo $! >/tmp/poll.pid")
    # While the tool holds the port and has answers: the modem lines (QEMU's
    # trace up to now: stty opens the port, and any open raises DTR and RTS again),
    # then the terminal settings.
    m.wait_sim_answers(sim_start, 6, POLL_SECONDS)
    trace_end = m.trace_mark()
    status, stty = m.shell.run(f"stty -a -F {port}")
    poll_status, _ = m.shell.run("wait $(cat /tmp/poll.pid)", POLL_SECONDS + 20)

    tool = [frame for _, frame in records.tool_accepted(m.fetch("/tmp/poll.trace"))]
    lines = records.json_lines(m.fetch("/tmp/poll.out"))
    summary = m.fetch("/tmp/poll.err").strip()
    sim = records.sim_answers(m.sim_text(sim_start))
    sim_frames = [frame for _, _, frame in sim]
    same = tool == sim_frames or (tool == sim_frames[:-1] and len(sim_frames) > 0)
    addresses_ok = [line.get("address") for line in lines] == [int(f.split()[0], 16) for f in tool]
    clean = all(re.search(r"dropped 0, silent 0", s) for s in summary.splitlines()) and summary
    check(f"{kind}: poll answers equal what the devices sent",
          same and addresses_ok and len(tool) >= POLL_SECONDS - 2 and clean and poll_status == 0,
          f"{len(tool)} answers accepted in {POLL_SECONDS} s, the devices sent {len(sim_frames)}, "
          f"{'byte for byte the same' if same else 'NOT the same frames'}; {len(lines)} JSON lines"
          f"{'' if addresses_ok else ' with wrong addresses'}; exit {poll_status}; \"{'; '.join(summary.splitlines())}\"")

    missing = [flag for flag in RAW_8N1 if not re.search(r"(^|[\s;])" + re.escape(flag) + r"($|[\s;])", stty)]
    check(f"{kind}: the tty is 2400 8N1 raw without flow control while the tool holds it (stty -a)",
          status == 0 and not missing,
          f"missing {missing}" if missing or status else "speed 2400, " + " ".join(RAW_8N1[1:]))
    settings_check(m.trace_text(trace_start))
    modem_check(m.trace_text(trace_start, trace_end))


def uart_settings(text):
    events = [e for _, e in records.qemu_events(text, "serial_update_parameters")
              if "baudrate=115200" not in e]  # the console stays at 115200
    last = events[-1] if events else "none"
    check("uart: the 16550 is programmed 2400 8N1 (QEMU trace)",
          last == "baudrate=2400 parity='N' data=8 stop=1",
          f"{len(events)} changes of the bus UART after the tool started, the last: {last}")


def uart_modem(text):
    # MCR is register 4: bit 0 DTR, bit 1 RTS. Only the bus UART is opened in this
    # window (the console stays open), so every write here is the tool's port.
    writes = [(t, int(v, 16)) for t, e in records.qemu_events(text, "serial_write")
              for v in re.findall(r"write addr 0x04 val (0x[0-9a-f]+)", e)]
    states = [(t, bool(v & 1), bool(v & 2)) for t, v in writes]
    report_modem("uart", states)


def ftdi_settings(text):
    bauds = [e for _, e in records.qemu_events(text, "usb_serial_set_baud")]
    data = [e for _, e in records.qemu_events(text, "usb_serial_set_data")]
    flow = [e for _, e in records.qemu_events(text, "usb_serial_set_flow_control")]
    last = (bauds[-1] if bauds else "none", data[-1] if data else "none", flow[-1] if flow else "none")
    ok = (bauds and re.search(r"baud rate 2400$", bauds[-1]) and data
          and re.search(r"parity N, data bits 8, stop bits 1$", data[-1])
          and (not flow or re.search(r"flow control 0$", flow[-1])))
    check("ftdi: the adapter is programmed 2400 8N1 without flow control (QEMU trace)", ok,
          f"last set_baud: {last[0]}; set_data: {last[1]}; set_flow_control: {last[2]}")


def ftdi_modem(text):
    # FTDI_SET_MDM_CTRL is vendor request 1 (QEMU prints 0x4001): bit 0 DTR,
    # bit 1 RTS, bits 8 and 9 say which of the two the request sets.
    dtr = rts = None
    states = []
    for t, e in records.qemu_events(text, "usb_serial_handle_control"):
        match = re.search(r"got control 0x4001, value 0x([0-9a-f]+)", e)
        if match:
            value = int(match.group(1), 16)
            if value & 0x100:
                dtr = bool(value & 1)
            if value & 0x200:
                rts = bool(value & 2)
            states.append((t, dtr, rts))
    report_modem("ftdi", states)


def report_modem(kind, states):
    raised = [t for t, dtr, rts in states if dtr or rts]
    final = states[-1] if states else None
    ok = bool(final) and final[1] is False and final[2] is False and bool(raised)
    cleared_after = ""
    if raised and final and final[0] is not None and raised[0] is not None:
        cleared_after = f", cleared {1000 * (final[0] - raised[0]):.2f} ms after the open raised them"
    check(f"{kind}: DTR and RTS are off while polling (QEMU trace)", ok,
          f"{len(states)} modem-control writes since the open; at the 6th answer DTR "
          f"{'on' if final and final[1] else 'off'}, RTS {'on' if final and final[2] else 'off'}"
          f"{cleared_after}" if states else "no modem-control write seen after the open")


# ---- the adapter pulled out and plugged back --------------------------------

def guest_node(m, serial):
    status, out = m.shell.run(f"readlink {LINK.format(serial)}")
    return out.strip().rsplit("/", 1)[-1] if status == 0 else None


def plug(m, ident, chardev, serial):
    m.qmp.execute("device_add", {"driver": "usb-serial", "id": ident, "chardev": chardev, "serial": serial})


def pull(m, ident):
    m.qmp.execute("device_del", {"id": ident})
    m.qmp.wait_event("DEVICE_DELETED", {"device": ident}, 15)


def replug(m, name, port):
    strace, trace, out, err = (f"/tmp/{name}.{x}" for x in ("strace", "trace", "out", "err"))
    if guest_node(m, OURS) != "ttyUSB0" or guest_node(m, OTHER) is not None:
        raise RuntimeError("the adapter is not alone on ttyUSB0 before the run")
    started = float(m.shell.check("now").strip())
    sim_start = m.sim_mark()
    other_bytes_before = len(m.other_bytes)
    m.shell.check(f"strace -f --seccomp-bpf -ttt -e trace=openat,open -o {strace} "
                  f"rs485-cli --port {port} --trace {trace} --json poll {' '.join(map(str, DEVICES))} "
                  f"--seconds {REPLUG_SECONDS} >{out} 2>{err} & echo $! >/tmp/{name}.pid")
    if len(m.wait_sim_answers(sim_start, 3, 10)) < 3:
        raise RuntimeError("no three answers before the pull")
    pid = m.shell.check("pidof rs485-cli").split()[0]

    t_pull = time.monotonic()
    pull(m, "ftdi")
    m.shell.check("wait-for 5 test ! -e /sys/class/tty/ttyUSB0")
    # Give the tool up to 2 s to let the old line go, so that the other adapter
    # can take its name; a tool that holds it leaves the other on ttyUSB1.
    released, _ = m.shell.run(f"wait-for 2 sh -c '! held-ttys {pid} | grep -q deleted'")
    t_released = time.monotonic()
    plug(m, "other", "other", OTHER)
    m.shell.check(f"wait-for 5 test -e {LINK.format(OTHER)}")
    other_node = guest_node(m, OTHER)
    last_request = records.sim_requests(m.sim_text(sim_start))[-1]
    t_target = last_request + PLUG_PHASE
    while t_target < t_pull + OUTAGE:
        t_target += 1.0
    left = t_target - time.monotonic()
    if left > 0:
        time.sleep(left)  # the outage lasts by design: nothing to wait for
    held = m.shell.check(f"held-ttys {pid}").strip()
    plug(m, "ftdi", "bus", OURS)
    t_plug = time.monotonic()
    m.shell.check(f"wait-for 5 test -e {LINK.format(OURS)}")
    our_node = guest_node(m, OURS)
    m.shell.run(f"wait $(cat /tmp/{name}.pid)", REPLUG_SECONDS + 20)

    accepted = records.tool_accepted(m.fetch(trace))
    tool = [frame for _, frame in accepted]
    lines = records.json_lines(m.fetch(out))
    sim = records.sim_answers(m.sim_text(sim_start))
    matched = records.align(tool, sim)
    # The kernel's clock (dmesg) against the guest's wall clock (the tool's trace).
    clocks = m.shell.check("a=$(now); read up _ </proc/uptime; b=$(now); echo $up $a $b").split()
    boot_wall = (float(clocks[1]) + float(clocks[2])) / 2 - float(clocks[0])
    attach = [t for t, node in records.attached(m.shell.check("dmesg"))
              if node == our_node and boot_wall + t >= started]
    opens = records.opens(m.fetch(strace))
    events = [e for e in records.serial_events(m.fetch("/tmp/serial-events")) if e[0] >= started]

    before = [k for k, i in enumerate(matched or []) if sim[i][0] < t_pull]
    after = [k for k, i in enumerate(matched or []) if sim[i][0] >= t_plug]
    first = sim[matched[after[0]]][1] - t_plug if after else None
    node_to_answer = accepted[after[0]][0] - (boot_wall + attach[-1]) if after and attach else None
    resumed = matched is not None and len(before) >= 3 and len(after) >= 2 and len(lines) == len(tool) \
        and node_to_answer is not None and node_to_answer <= RESUME_LIMIT
    check(f"replug --port {port}: answers resume within {RESUME_LIMIT} s of the node's return",
          resumed,
          f"{len(before)} answers before the pull, {len(after)} after the plug"
          + (f", the first {node_to_answer:.2f} s after the kernel attached {our_node}" if node_to_answer is not None else "")
          + (f" ({first:.2f} s after the plug)" if after else "")
          + ("" if matched is not None else ", a frame the devices never sent")
          + f"; out for {t_plug - t_pull:.1f} s, came back as {our_node} (the other took {other_node})")

    check(f"replug --port {port}: no descriptor of the old tty held in the outage",
          released == 0 and held == "",
          (f"the old tty let go {t_released - t_pull:.2f} s after the pull" if released == 0
           else "the old tty still held 2 s after its node went")
          + (f"; held {held!r} at the end of the outage" if held else "; no tty held at the end of the outage"))

    other_added = [t for t, kind, node, link in events if kind == "add" and OTHER in link]
    forbidden = []
    for t, path, result in opens:
        if path == "/dev/ttyS0" or OTHER in path:
            forbidden.append(f"{path} = {result}")
        elif other_node and other_added and path == f"/dev/{other_node}" and t >= other_added[0]:
            forbidden.append(f"{path} (the other adapter's) = {result}")
    stray = len(m.other_bytes) - other_bytes_before
    tty_opens = sorted({p for _, p, _ in opens if p.startswith("/dev/tty") or p.startswith("/dev/serial")})
    # The test of identity holds only when the other adapter has taken the name ours had.
    premise = other_node == "ttyUSB0" and our_node not in (None, "ttyUSB0")
    check(f"replug --port {port}: the tool never opens the other adapter or ttyS0",
          premise and not forbidden and stray == 0 and other_added,
          ("" if premise else f"the other adapter did not take ttyUSB0 (it came as {other_node}, "
           f"ours as {our_node}), so identity was not put to the test; ")
          + (f"forbidden opens: {forbidden[:5]}; " if forbidden else "")
          + f"{stray} bytes reached the other adapter; nodes opened: {tty_opens}")

    # Back to the start: the other adapter out, ours alone on ttyUSB0.
    pull(m, "other")
    pull(m, "ftdi")
    m.shell.check("wait-for 5 sh -c '! ls /sys/class/tty | grep -q ttyUSB'")
    plug(m, "ftdi", "bus", OURS)
    m.shell.check(f"wait-for 5 sh -c '[ \"$(readlink {LINK.format(OURS)})\" = ../../ttyUSB0 ]'")
    m.shell.check(f"wait-for 5 test ! -L {LINK.format(OTHER)}")


# ---- the two boots ----------------------------------------------------------

def run_uart(args):
    folder = os.path.join(args.folder, "uart")
    with Machine(folder, args.kernel, args.initrd, args.sim, DEVICES, args.accel, 150) as m:
        m.boot(["-device", "isa-serial,chardev=bus,index=1"])
        print(f"uart: guest up in {m.boot_seconds:.1f} s", flush=True)
        scan(m, "uart", "/dev/ttyS1")
        poll_with_line_checks(m, "uart", "/dev/ttyS1", uart_settings, uart_modem)


def run_ftdi(args):
    folder = os.path.join(args.folder, "ftdi")
    with Machine(folder, args.kernel, args.initrd, args.sim, DEVICES, args.accel, 240) as m:
        m.boot(["-device", "qemu-xhci,id=xhci",
                "-device", f"usb-serial,chardev=bus,id=ftdi,serial={OURS}"], with_other_line=True)
        print(f"ftdi: guest up in {m.boot_seconds:.1f} s", flush=True)
        m.shell.check(f"wait-for 10 test -e {LINK.format(OURS)}")
        scan(m, "ftdi", "/dev/ttyUSB0")
        poll_with_line_checks(m, "ftdi", "/dev/ttyUSB0", ftdi_settings, ftdi_modem)
        for name, port in (("com1", "COM1"), ("node", "/dev/ttyUSB0"), ("byid", LINK.format(OURS))):
            replug(m, name, port)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--sim", "--kernel", "--initrd", "--folder"):
        parser.add_argument(option, required=True)
    parser.add_argument("--accel", default="tcg")
    parser.add_argument("--only", choices=["uart", "ftdi"])
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    for name, run in (("uart", run_uart), ("ftdi", run_ftdi)):
        if args.only and args.only != name:
            continue
        try:
            run(args)
        except Exception as error:
            check(f"{name}: the boot's run", False, f"stopped by {type(error).__name__}: {error}")
    passed = sum(1 for _, ok in results if ok)
    failed = len(results) - passed
    print("=== real drivers")
    for name, ok in results:
        print(f"{'pass' if ok else 'FAIL'}  {name}")
    print(f"real-drivers: {passed} passed, {failed} failed")
    return 1 if failed or not results else 0


if __name__ == "__main__":
    sys.exit(main())
