#!/usr/bin/env python3
"""Peak memory of a Windows program under Wine, for benchmarks.

  peak-memory.py PID

PID is the process that `wine program.exe &` started: Wine's loader execs into the program,
which keeps the process id (and starts a fresh VmHWM). Samples /proc/PID/status every 50 ms
until the process ends and prints the highest VmHWM seen, in kB.
"""
import sys
import time


def main():
    status = '/proc/%d/status' % int(sys.argv[1])
    peak = 0
    while True:
        try:
            with open(status) as f:
                rows = f.read().splitlines()
        except OSError:  # reaped
            break
        fields = dict(row.split(':', 1) for row in rows if ':' in row)
        if fields.get('State', 'Z').split()[0] in ('Z', 'X'):  # ended; its parent reaps it later
            break
        if 'VmHWM' in fields:
            peak = max(peak, int(fields['VmHWM'].split()[0]))
        time.sleep(0.05)
    print(peak)


if __name__ == '__main__':
    main()
