#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes a check log as the window and `watch` write it: RECORDS records
(default 10,000,000) of TARGETS targets (default 1,000), one pass a minute,
every target in each pass, in list order, local time, CR LF line ends.
Each target is down now and then: an outage starts at a pass with
probability 1/2000 and lasts a geometric number of passes (mean 10), so the
log holds about five outages per target. Seeded, so every run writes the
same bytes.

usage: make_log.py PATH [RECORDS [TARGETS]]"""
import random
import sys
import time


def main():
    path = sys.argv[1]
    records = int(sys.argv[2]) if len(sys.argv) > 2 else 10_000_000
    targets = int(sys.argv[3]) if len(sys.argv) > 3 else 1_000
    rng = random.Random(19)
    tails = []
    for i in range(targets):
        mode, port = [(0, 80), (1, 443), (1, 8080), (1, 25)][i % 4]
        tails.append(f'"host-{i:04d}.example.net", {mode}, {port}\r\n')
    passes = (records + targets - 1) // targets
    # Each target's outages as (first pass, pass after the last).
    down = [set() for _ in range(passes)]
    for i in range(targets):
        p = 0
        while p < passes:
            if rng.random() < 1 / 2000:
                length = 1
                while rng.random() < 0.9:
                    length += 1
                for q in range(p, min(p + length, passes)):
                    down[q].add(i)
                p += length
            p += 1
    start = int(time.mktime((2026, 3, 1, 0, 0, 0, 0, 0, -1)))
    written = 0
    with open(path, "w", encoding="latin-1", newline="") as log:
        for p in range(passes):
            # A pass takes a few seconds: 20 targets a second.
            stamps = [time.strftime("%m/%d/%y %H:%M:%S", time.localtime(start + p * 60 + s))
                      for s in range((targets + 19) // 20)]
            n = min(targets, records - written)
            failed = down[p]
            log.write("".join(
                stamps[i // 20] + (", 0, " if i in failed else ", 1, ") + tails[i]
                for i in range(n)))
            written += n


if __name__ == "__main__":
    main()
