#!/usr/bin/env python3
"""The NUT backend's own wakeups, without the program around it: loads libHalvic, polls it the way
the monitor does (CmdOutput(1), CmdInput, every 2.2 s) against the tests' NUT server on loopback
(tests/support/nut/nut-fixture.sh) and prints each thread's context switches per second.

    bench/halvic/nut-wakeups.py [--library build/bin/libHalvic.so] [--seconds 44]

The polling thread's own sleep between polls costs it one switch a poll (0.45/s); anything above
that is the library's. HALVIC_WORKER_TIMING, when set, reaches the library unchanged.
"""
import argparse
import ctypes
import os
import time
from pathlib import Path

from nutserver import ROOT, nut_server

POLL_SECONDS = 2.2


def switches():
    """{thread id: (voluntary, involuntary)} of this process."""
    result = {}
    for tid in os.listdir("/proc/self/task"):
        fields = dict(line.split(":", 1) for line in Path(f"/proc/self/task/{tid}/status").read_text().splitlines())
        result[tid] = (int(fields["voluntary_ctxt_switches"]), int(fields["nonvoluntary_ctxt_switches"]))
    return result


def measure(library, seconds):
    halvic = ctypes.CDLL(str(library))
    reply = ctypes.create_string_buffer(3)
    status = ctypes.create_string_buffer(64)
    second = ctypes.create_string_buffer(64)

    def poll():
        halvic.CmdOutput(1, 0, reply)
        halvic.CmdInput(status, second)

    halvic.HidHandle()
    for _ in range(3):  # connected, and the rhythm learnt
        poll()
        time.sleep(POLL_SECONDS)
    before = switches()
    start = time.monotonic()
    polls = 0
    while time.monotonic() - start < seconds:
        poll()
        polls += 1
        time.sleep(POLL_SECONDS)
    elapsed = time.monotonic() - start
    after = switches()
    halvic.CloseHandleDevice()
    total = 0.0
    for tid, (voluntary, involuntary) in after.items():
        old = before.get(tid, (0, 0))
        rates = ((voluntary - old[0]) / elapsed, (involuntary - old[1]) / elapsed)
        total += sum(rates)
        kind = "polling thread" if tid == str(os.getpid()) else "library thread"
        print(f"{kind} {tid}: voluntary {rates[0]:.2f}/s, involuntary {rates[1]:.2f}/s")
    answered = reply.raw[:2] != b"\0\0"
    print(f"all threads: {total:.2f}/s over {elapsed:.0f} s, {polls} polls, last poll answered: {answered}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--library", default=str(ROOT / "build/bin/libHalvic.so"))
    parser.add_argument("--seconds", type=float, default=44)
    args = parser.parse_args()
    with nut_server("nut-wakeups-", HALVIC_NUT_USER="admin", HALVIC_NUT_PASSWORD="secret"):
        print(f"load average before: {os.getloadavg()[0]:.2f}")
        measure(args.library, args.seconds)
        print(f"load average after: {os.getloadavg()[0]:.2f}")

if __name__ == "__main__":
    main()
