#!/usr/bin/env python3
"""Prints the table of every target the benches checked, one row a target, from the rows that
bench::against_target appended to RESULTS/rows.tsv, between the machine's load when the benches
started (RESULTS/load-at-start, uptime's line) and now: the targets are meant for a quiet machine.

A row whose bench did not say what it measures is named by the words that the bench printed
before its figures, in RESULTS/output.log. RESULTS/failed lists the benches that failed, one a
line; they are named under the table.

Usage: bench_table.py RESULTS
"""

import re
import subprocess
import sys
from pathlib import Path

HEADER = ("bench", "measured", "median (lowest-highest)", "target", "")
ENDED_TARGET = re.compile(r"\(target at most [^)]*\)( MISSED)?")


def load(uptime_line):
    return uptime_line.partition("load average:")[2].strip() or uptime_line.strip()


def read_lines(path):
    return path.read_text(encoding="utf-8", errors="replace").splitlines() if path.exists() else []


def named_from_output(shown, output, taken):
    """The words before `shown` on the first line of the output not yet taken by a row, after the
    figures of any target printed before it on that line."""
    for number, line in enumerate(output):
        start = line.find(shown)
        while start >= 0 and (number, start) in taken:
            start = line.find(shown, start + 1)
        if start < 0:
            continue
        taken.add((number, start))
        before = line[:start]
        ended = list(ENDED_TARGET.finditer(before))
        if ended:
            before = before[ended[-1].end():]
        return before.strip(" ,:;") or "(unnamed)"
    return "(unnamed)"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    results = Path(sys.argv[1])
    output = read_lines(results / "output.log")
    taken = set()
    rows = []
    for line in read_lines(results / "rows.tsv"):
        fields = line.split("\t")
        if len(fields) != 8:
            continue
        bench, measured, median, lowest, highest, target, verdict, shown = fields
        rows.append((bench, measured or named_from_output(shown, output, taken),
                     f"{median} ({lowest}-{highest})", f"<= {target}", verdict))

    start = read_lines(results / "load-at-start")
    now = subprocess.run(["uptime"], capture_output=True, text=True).stdout
    print()
    print(f"load average (1, 5, 15 min) at the start: {load(start[0]) if start else 'unknown'}")
    widths = [max(len(row[column]) for row in rows + [HEADER]) for column in range(len(HEADER))]
    for row in [HEADER] + rows:
        print("  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip())
    if not rows:
        print("(no target was checked)")
    print(f"load average (1, 5, 15 min) at the end:   {load(now)}")
    missed = sum(row[4] == "MISSED" for row in rows)
    print(f"{len(rows) - missed} ok, {missed} MISSED")
    for failed in read_lines(results / "failed"):
        print(f"FAILED before its end: {failed} (see its output above)")


if __name__ == "__main__":
    main()
