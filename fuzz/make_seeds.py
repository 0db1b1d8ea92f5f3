#!/usr/bin/env python3
"""Writes the seed inputs of the wire and value fuzz targets.

The wire seeds are the worked exchanges (reads at 62 and 282, writes with
function codes 0, 1, 2 and 4, the 254-byte download), the usual faults, and
monitoring reads in the background interleaved with the user's commands, in
the script layout wire_fuzzer.cpp reads. Run from the repository root:
    python3 fuzz/make_seeds.py
"""

import pathlib

ROOT = pathlib.Path(__file__).resolve().parent / "corpus"

# Drive plan for one request: action, amount 0-7, flag, echo.
GOOD, PIECES, CORRUPT, SHORT, LONG, SILENT, LINE_ERROR, HELD = range(8)


def plan(action, amount=0, flag=False, echo=False):
    return action | amount << 3 | (0x40 if flag else 0) | (0x80 if echo else 0)


# Ports: the drive's port 1-4, the kind of the ports below it, the memory seed.
MISSING, REFUSING, SILENT_PORT, STRANGER = range(4)


def ports(drive=1, below=MISSING, seed=0):
    return (drive - 1) | below << 2 | seed << 4


# The user: Retry answers, the answer to "Are you sure?", a command issued
# while a question is open, and which command that is (also the one a plan
# with the flag issues while the link waits).
YES, NO, CANCEL = 0, 1, 2


def policy(retries=0, confirm=YES, nest=False, nested=0):
    return retries | confirm << 2 | (0x10 if nest else 0) | nested << 5


def read(fn, address, count, **answers):
    return [0, policy(**answers), fn, address & 0xFF, address >> 8, count]


def write(fn, address, data, **answers):
    # The fuzzer makes data[i] = fill + i * step.
    fill = data[0] if data else 0
    step = (data[1] - data[0]) & 0xFF if len(data) > 1 else 0
    assert all((fill + i * step) & 0xFF == b for i, b in enumerate(data))
    return [1, policy(**answers), fn, address & 0xFF, address >> 8, len(data), fill, step]


def invalid(kind):
    return [2, 0, kind]


def open_port():
    return [3, 0]


def motor(which, argument=0, value=0, **answers):
    return [4, policy(**answers), which, argument, value]


def download(size=0, statements=20, **answers):
    return [5, policy(**answers), size, statements]


def erase(**answers):
    return [6, policy(**answers)]


def monitor(reads, address, count=1, at_once=False):
    """Background reads: `reads` of them at `address`, one after another (or
    all queued at once); plans apply to requests in the order they go out."""
    return [7, reads - 1, address & 0xFF, address >> 8, (count - 1) | (2 if at_once else 0)]


def script(commands, plans=(), header=None):
    body = [header if header is not None else ports(), len(commands)]
    for command in commands:
        body += command
    # Unused good plans in the middle keep the commands apart from the plans.
    padding = [GOOD] * 16
    return bytes(body + padding + list(reversed(list(plans))))


PROBE = plan(GOOD)

WIRE = {
    "read-62": script([write(0, 62, [0x31]), read(0, 62, 1)], [PROBE, GOOD, GOOD]),
    "read-282": script([read(0, 282, 2)], [PROBE, GOOD]),
    "read-zero-sum": script([read(0, 100, 2)], [PROBE, GOOD]),
    "write-fn2-62": script([write(2, 62, [0x01])], [PROBE, GOOD]),
    "write-fn1-62": script([write(1, 62, [0xFE])], [PROBE, GOOD]),
    "write-fn0-276": script([write(0, 276, [0xF4, 0x01])], [PROBE, GOOD]),
    "write-fn4-254": script([write(4, 254, [0xFF])], [PROBE, GOOD]),
    "download": script([download()], [PROBE, GOOD, GOOD]),
    "download-declined": script([download(confirm=NO)], [PROBE]),
    "download-closed-box": script([download(confirm=CANCEL)], [PROBE]),
    "download-wrong-size": script([download(size=1), download(size=2), download(size=3)]),
    "erase": script([erase()], [PROBE, GOOD]),
    "erase-failed": script([erase()], [PROBE, plan(LINE_ERROR, 1)]),
    "bad-checksum": script([read(0, 62, 1), read(0, 62, 1)], [PROBE, plan(CORRUPT, 1), GOOD]),
    "bad-data": script([read(0, 276, 2)], [PROBE, plan(CORRUPT, 2)], ports(seed=5)),
    "short-then-retry": script(
        [read(0, 276, 2, retries=1)], [PROBE] + [plan(SHORT)] * 5 + [plan(SILENT), GOOD]
    ),
    "silent-cancel": script([read(0, 62, 1), read(0, 62, 1)], [PROBE] + [plan(SILENT)] * 5 + [PROBE, GOOD]),
    "long-then-good": script([read(0, 272, 2)], [PROBE, plan(LONG, 1), GOOD]),
    "pieces": script([read(0, 256, 12), write(0, 288, [1, 2, 3, 4])], [PROBE, plan(PIECES, 2), plan(PIECES, 1)]),
    "held-reply": script([read(0, 62, 1), read(0, 62, 1)], [PROBE, plan(HELD), GOOD, GOOD]),
    "line-error": script([read(0, 62, 1), read(0, 74, 1)], [PROBE, plan(LINE_ERROR, 3), GOOD]),
    "port-lost": script(
        [read(0, 62, 1), write(2, 62, [0x04])], [PROBE, plan(LINE_ERROR, 4, flag=True), PROBE, GOOD]
    ),
    "half-then-error": script([read(0, 280, 2)], [PROBE, plan(LINE_ERROR, 4 | 2)]),
    "echo": script([read(0, 6, 1), write(0, 7, [9])], [PROBE, plan(GOOD, echo=True), plan(GOOD, echo=True)]),
    "busy-meanwhile": script([read(0, 62, 1, nested=0), write(0, 278, [0x7F, 0], nested=5)],
                             [PROBE, plan(GOOD, flag=True), plan(GOOD, flag=True)]),
    "busy-in-retry-box": script(
        [read(0, 62, 1, retries=1, nest=True, nested=4)], [PROBE] + [plan(SILENT)] * 5 + [GOOD]
    ),
    "busy-in-error-box": script([read(0, 62, 1, nest=True, nested=3)], [PROBE, plan(LINE_ERROR, 0)]),
    "search-silent-ports": script([open_port(), read(0, 62, 1)], [PROBE, GOOD], ports(3, SILENT_PORT, 2)),
    "search-stranger": script([read(0, 282, 2)], [PROBE, GOOD], ports(4, STRANGER)),
    "search-refusing": script([read(0, 62, 1)], [PROBE, GOOD], ports(2, REFUSING)),
    "no-drive": script([read(0, 62, 1)], [plan(SILENT)] * 5),
    "invalid": script([invalid(0), invalid(1), invalid(4 | 2 << 3), invalid(7)]),
    "status": script([motor(9), motor(13, 4), motor(15)], [PROBE, GOOD, GOOD], ports(seed=9)),
    "values": script(
        [motor(30, 0, 56), motor(29, 0, 0x90), motor(26, 0, 50), motor(27, 0, 72), motor(25, 1, 3)],
        [PROBE, GOOD, GOOD, GOOD, GOOD],
    ),
    "counters": script([motor(24, 3, 9), motor(16, 1), motor(17, 5), motor(17, 6)], [PROBE, GOOD, GOOD, GOOD]),
    "bits": script([motor(21, 1, 0), motor(22, 8, 1), motor(18, 0, 1), motor(10), motor(11), motor(12)],
                   [PROBE] + [GOOD] * 6),
    # Plans in wire order: the first monitoring read goes out when submitted,
    # the user's request right after it, the rest of the reads after that.
    "monitor-then-read": script([open_port(), monitor(4, 268, 2), read(0, 300, 2)], [PROBE] + [GOOD] * 6),
    "monitor-then-write": script([open_port(), monitor(3, 62), write(2, 62, [0x04])], [PROBE] + [GOOD] * 5),
    "monitor-retry": script(
        [open_port(), monitor(3, 62), read(0, 276, 2, retries=1)],
        [PROBE, GOOD] + [plan(SILENT)] * 5 + [GOOD, GOOD, GOOD],
    ),
    "monitor-silent-then-read": script(
        [open_port(), monitor(2, 62), read(0, 276, 2)], [PROBE] + [plan(SILENT)] * 5 + [GOOD, GOOD]
    ),
    "monitor-line-error": script(
        [open_port(), monitor(2, 74), read(0, 62, 1)], [PROBE, plan(LINE_ERROR, 1), GOOD, GOOD]
    ),
    "monitor-port-lost": script(
        [open_port(), monitor(2, 74), read(0, 62, 1)], [PROBE, plan(LINE_ERROR, 4, flag=True), PROBE, GOOD]
    ),
    "monitor-corrupt": script([open_port(), monitor(3, 256, 2), read(0, 62, 1)],
                              [PROBE, plan(CORRUPT, 2), GOOD, GOOD, GOOD]),
    "monitor-download": script([open_port(), monitor(4, 62), download()], [PROBE] + [GOOD] * 7),
    "monitor-erase-declined": script([open_port(), monitor(3, 62), erase(confirm=NO), read(0, 5, 1)],
                                     [PROBE] + [GOOD] * 5),
    "monitor-burst": script([open_port(), monitor(8, 288, 1, at_once=True), write(0, 288, [7])],
                            [PROBE] + [GOOD] * 10),
    "monitor-busy-in-retry-box": script(
        [open_port(), monitor(2, 62), read(0, 62, 1, retries=1, nest=True, nested=0)],
        [PROBE, GOOD] + [plan(SILENT)] * 5 + [GOOD, GOOD],
    ),
    "monitor-no-port": script([monitor(3, 62), read(0, 62, 1)], [PROBE, GOOD]),
    "monitor-held-reply": script([open_port(), monitor(3, 62), read(0, 62, 1)],
                                 [PROBE, plan(HELD), GOOD, GOOD, GOOD]),
}

# [which value, channel] then the text as typed.
VALUES = {
    "speed-50": (2, 0, "50"),
    "decel-150": (1, 0, "150"),
    "decel-quarter": (1, 0, "0.25"),
    "accel-tiny-negative": (0, 0, "-0.04"),
    "accel-negative": (0, 0, "-1"),
    "accel-blanks": (0, 0, " 12.5\t"),
    "accel-exponent": (0, 0, "2.5E-2"),
    "accel-huge": (0, 0, "1e39"),
    "speed-limit": (2, 0, "102.1"),
    "speed-half-tenth": (2, 0, "0.05"),
    "current-65": (3, 0, "65"),
    "current-70": (3, 0, "70"),
    "current-tiny-negative": (3, 0, "-0.0004"),
    "current-point": (3, 0, "+.5"),
    "volt-50": (4, 0, "50"),
    "volt-100": (4, 0, "100"),
    "volt-101": (4, 0, "101"),
    "volt-half": (4, 0, "99.5"),
    "counter-3": (5, 3, "200"),
    "counter-8": (5, 8, "1"),
    "timer-3": (6, 3, "127.5"),
    "timer-4": (6, 4, "1"),
    "word-max": (7, 1, "65535"),
    "word-over": (7, 1, "65536"),
    "word-negative": (7, 0, "-1"),
    "word-channel-4": (7, 4, "1"),
    "word-wide": (7, 3, "2147483647"),
    "word-exponent": (7, 2, "1e3"),
    "flag-on": (8, 7, "on"),
    "flag-8": (8, 8, "off"),
    "output-off": (9, 1, "off"),
    "output-2": (9, 2, "on"),
    "command-forward-on": (10, 0, "on"),
    "command-reverse-off": (11, 0, "off"),
    "auto-torque-on": (12, 0, "on"),
    "not-a-number": (0, 0, "abc"),
}


def main():
    for target in ("wire", "value"):
        (ROOT / target).mkdir(parents=True, exist_ok=True)
    for name, data in WIRE.items():
        (ROOT / "wire" / f"seed-{name}").write_bytes(data)
    for name, (which, channel, text) in VALUES.items():
        (ROOT / "value" / f"seed-{name}").write_bytes(bytes([which, channel]) + text.encode())


if __name__ == "__main__":
    main()
