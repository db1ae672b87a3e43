"""Reads what each side wrote down: the simulator's frame log (host steady
clock), the tool's trace and JSON lines, QEMU's trace events, strace's open
calls and the guest's serial-link events."""
import datetime
import json
import re


def sim_answers(text):
    """The simulator's answers: (sent at, done at, hex), times in seconds of CLOCK_MONOTONIC."""
    answers = []
    for line in text.splitlines():
        fields = line.split()
        if len(fields) > 4 and fields[1] == "ans":
            done = [f for f in fields if f.startswith("done=")]
            end = int(done[0][5:]) if done else int(fields[0])
            hexes = [f for f in fields[4:] if re.fullmatch(r"[0-9A-F]{2}", f)]
            answers.append((int(fields[0]) / 1e6, end / 1e6, " ".join(hexes)))
    return answers


def sim_requests(text):
    """When the simulator heard each request, in seconds of CLOCK_MONOTONIC."""
    return [int(line.split()[0]) / 1e6 for line in text.splitlines()
            if len(line.split()) > 1 and line.split()[1] == "req"]


def tool_accepted(trace_text):
    """The frames the tool read and accepted, in order: (guest wall time, hex).
    The guest has no time zone, so the trace's local time is UTC."""
    frames = []
    for line in trace_text.splitlines():
        match = re.match(r"(\S+ \S+)\s+RX\s+((?:[0-9A-F]{2} )*[0-9A-F]{2})\s+accepted\s*$", line)
        if match:
            when = datetime.datetime.strptime(match.group(1), "%Y-%m-%d %H:%M:%S.%f")
            frames.append((when.replace(tzinfo=datetime.timezone.utc).timestamp(), match.group(2)))
    return frames


def json_lines(text):
    return [json.loads(line) for line in text.splitlines() if line.startswith("{")]


def align(tool, sim):
    """Matches the tool's frames in order to the simulator's answers; returns the
    indices in SIM, or None when a frame of the tool was never sent."""
    matched = []
    i = 0
    for frame in tool:
        while i < len(sim) and sim[i][2] != frame:
            i += 1
        if i == len(sim):
            return None
        matched.append(i)
        i += 1
    return matched


def qemu_events(text, name):
    """QEMU's trace lines of event NAME: (wall time or None, the rest of the line)."""
    events = []
    for line in text.splitlines():
        match = re.match(r"(?:\d+@(\d+\.\d+):)?" + re.escape(name) + r" (.*)$", line)
        if match:
            events.append((float(match.group(1)) if match.group(1) else None, match.group(2)))
    return events


def opens(strace_text):
    """strace's open calls: (wall time, path, result or None when unfinished)."""
    calls = []
    for line in strace_text.splitlines():
        match = re.match(r'(?:\d+ +)?(\d+\.\d+) open(?:at)?\((?:[^,"]+, )?"([^"]*)"(?:.*= (-?\d+))?', line)
        if match:
            result = int(match.group(3)) if match.group(3) else None
            calls.append((float(match.group(1)), match.group(2), result))
    return calls


def attached(dmesg_text):
    """The kernel's word that an FTDI adapter is ready: (seconds since boot, node)."""
    return [(float(m.group(1)), m.group(2)) for m in
            re.finditer(r"\[ *(\d+\.\d+)\] .*converter now attached to (ttyUSB\d+)", dmesg_text)]


def serial_events(text):
    """The guest's link events: (wall time, "add"|"remove", node, link)."""
    events = []
    for line in text.splitlines():
        fields = line.split()
        if len(fields) == 4:
            events.append((float(fields[0]), fields[1], fields[2], fields[3]))
    return events
