#!/usr/bin/env python3
"""Writes tests/slow-tests.txt from the times of a ctest run: every test program's test that took
a second or more. Usage: python3 scripts/slow-tests.py BUILD_DIR (after `ctest --test-dir BUILD_DIR`)."""
import pathlib
import re
import sys

top = pathlib.Path(__file__).resolve().parent.parent
costs = pathlib.Path(sys.argv[1]) / "Testing" / "Temporary" / "CTestCostData.txt"
slow = []
for line in costs.read_text().splitlines():
    if line.startswith("---"):
        break
    parts = line.rsplit(" ", 2)
    if len(parts) != 3:
        continue
    name = re.sub(r"  #.*$", "", parts[0])
    if float(parts[2]) >= 1.0 and not name.startswith("Findings.") and name != "Layering":
        slow.append(name)
header = ("# Tests that take a second or more (the ASan build, ctest -j$(nproc)); every other test of the\n"
          "# test programs carries the label \"fast\". Made by scripts/slow-tests.py from a run's times.\n")
(top / "tests" / "slow-tests.txt").write_text(header + "".join(n + "\n" for n in sorted(set(slow))))
