#!/usr/bin/env python3
"""Whether asking upsd ahead costs detection: two copies of libHalvic on the tests' NUT server
(tests/support/nut/nut-fixture.sh), one with its status requests timed by the kernel (the
default), one asking at each query (HALVIC_WORKER_TIMING=prefetch_lead=0), polled together every
2.2 s while the UPS's state flips at random moments. A change either copy sees a poll later than
the other is counted; dummy-ups's own one-second read of its file delays both alike.

    bench/halvic/nut-detection.py [--library build/bin/libHalvic.so] [--changes 30] [--lead MS]
"""
import argparse
import ctypes
import os
import random
import shutil
import time
from pathlib import Path

from nutserver import ROOT, nut_server

POLL_SECONDS = 2.2
MAINS_BYTE = 3  # HALVIC_MAINS_BYTE


class Copy:
    def __init__(self, library, work, name, timing):
        path = Path(work) / name / "libHalvic.so"
        path.parent.mkdir()
        shutil.copy(library, path)
        os.environ["HALVIC_WORKER_TIMING"] = timing
        self.halvic = ctypes.CDLL(str(path))
        self.halvic.HidHandle()
        self.reply = ctypes.create_string_buffer(3)
        self.status = ctypes.create_string_buffer(64)
        self.second = ctypes.create_string_buffer(64)

    def on_mains(self):
        """True or False, None without an answer."""
        self.reply.raw = b"\0\0\0"
        self.halvic.CmdOutput(1, 0, self.reply)
        if self.reply.raw[:2] == b"\0\0":
            return None
        self.halvic.CmdInput(self.status, self.second)
        return self.status.raw[MAINS_BYTE - 1] == 1

    def close(self):
        self.halvic.CloseHandleDevice()


def write_state(dev, on_mains, stamp):
    dev.write_text(f"ups.status: {'OL' if on_mains else 'OB'}\nbattery.charge: 100\n")
    os.utime(dev, (stamp, stamp))  # dummy-ups notices a new time stamp, to the second


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--library", default=str(ROOT / "build/bin/libHalvic.so"))
    parser.add_argument("--changes", type=int, default=30)
    parser.add_argument("--lead", type=int, help="prefetch_lead of the timed copy (default: the library's)")
    args = parser.parse_args()
    with nut_server("nut-detection-") as (work, server):
        lead = "" if args.lead is None else f"prefetch_lead={args.lead}"
        copies = {"timed": Copy(args.library, work, "timed", lead),
                  "asked": Copy(args.library, work, "asked", "prefetch_lead=0")}
        dev = server / "etc/dummy.dev"
        stamp = time.time()
        on_mains = True
        next_poll = time.monotonic()
        late = {name: 0 for name in copies}
        unanswered = 0

        def poll():
            nonlocal next_poll, unanswered
            time.sleep(max(0.0, next_poll - time.monotonic()))
            next_poll += POLL_SECONDS
            order = list(copies.items())
            random.shuffle(order)
            seen = {name: copy.on_mains() for name, copy in order}
            unanswered += sum(value is None for value in seen.values())
            return seen

        for _ in range(5):  # connected, the rhythm learnt, the first timed request sent
            poll()
        for _ in range(args.changes):
            poll()
            time.sleep(random.uniform(0.0, POLL_SECONDS - 0.05))
            on_mains = not on_mains
            stamp += 2
            write_state(dev, on_mains, stamp)
            first = {}
            for index in range(6):
                for name, value in poll().items():
                    if value == on_mains and name not in first:
                        first[name] = index
                if len(first) == len(copies):
                    break
            for name in copies:
                if first.get(name, 99) > min(first.values(), default=99):
                    late[name] += 1
        for copy in copies.values():
            copy.close()
        print(f"{args.changes} changes; seen a poll later than the other copy: "
              f"timed {late['timed']}, asked {late['asked']}; polls without an answer: {unanswered}")

if __name__ == "__main__":
    main()
