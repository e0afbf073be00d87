#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Runs a command REPS times, its output to /dev/null, and prints the median
wall time and the median processor time (user and system, from wait4) in
seconds, six decimals each.

usage: timed.py REPS COMMAND [ARG...]"""
import os
import statistics
import subprocess
import sys
import time


def main():
    reps, command = int(sys.argv[1]), sys.argv[2:]
    walls, cpus = [], []
    with open(os.devnull, "wb") as null:
        for _ in range(reps):
            start = time.perf_counter()
            child = subprocess.Popen(command, stdout=null)
            _, status, usage = os.wait4(child.pid, 0)
            walls.append(time.perf_counter() - start)
            cpus.append(usage.ru_utime + usage.ru_stime)
            child.returncode = os.waitstatus_to_exitcode(status)
    print(f"{statistics.median(walls):.6f} {statistics.median(cpus):.6f}")


if __name__ == "__main__":
    main()
