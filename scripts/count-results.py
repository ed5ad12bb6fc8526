#!/usr/bin/env python3
"""Sums the gtest XML reports of both trees into one closing line.

A test program that ran but left no report (a crash, a timeout) counts as one
failure, so a dying program can never look like a green run."""
import sys
import xml.etree.ElementTree as ET
from collections import Counter
from pathlib import Path


def print_failures(case, indent):
    """The first lines of each failure of a test case, so a CI log alone says what went wrong."""
    for problem in case.findall("failure") + case.findall("error"):
        for line in (problem.text or problem.get("message") or "").strip().splitlines()[:6]:
            print(f"{indent}{line}")


def skip_reason(case):
    """The reason a skipped case gave: the last line of its message (gtest puts the
    source position first)."""
    skipped = case.find("skipped")
    text = (skipped.get("message") or skipped.text or "") if skipped is not None else ""
    lines = [l.strip() for l in text.strip().splitlines() if l.strip()]
    return lines[-1] if lines else "no reason given"


passed = failed = skipped = 0
reasons = Counter()
for tree in sys.argv[1:]:
    tree = Path(tree)
    ran = (tree / "ran-tests.txt")
    names = ran.read_text().split() if ran.exists() else []
    # Tests ctest saw fail (a timeout, a non-zero exit) fail even when their report is clean.
    last = tree / "Testing" / "Temporary" / "LastTestsFailed.log"
    ctest_failed = {l.split(":", 1)[1] for l in last.read_text().split() if ":" in l} if last.exists() else set()
    for name in names:
        report = tree / "test-results" / f"{name}.xml"
        if not report.exists():
            print(f"{tree.name}/{name}: no report (crashed or timed out)")
            failed += 1
            continue
        first = tree / "test-results" / f"{name}.first-run.xml"
        if first.exists():
            print(f"RERUN {tree.name}/{name}: failed on its first run; its second run is counted")
            for case in ET.parse(first).getroot().iter("testcase"):
                if case.find("failure") is not None or case.find("error") is not None:
                    print(f"  first run: {case.get('classname')}.{case.get('name')}")
                    print_failures(case, "    ")
        before = failed
        for case in ET.parse(report).getroot().iter("testcase"):
            if case.find("failure") is not None or case.find("error") is not None:
                failed += 1
                print(f"FAILED {tree.name}: {case.get('classname')}.{case.get('name')}")
                print_failures(case, "    ")
            elif case.get("result") == "skipped" or case.find("skipped") is not None:
                skipped += 1
                reasons[f"{tree.name}: {skip_reason(case)}"] += 1
            elif case.get("status") == "notrun":
                skipped += 1
                reasons[f"{tree.name}: not run"] += 1
            else:
                passed += 1
        if name in ctest_failed and failed == before:
            print(f"{tree.name}/{name}: the program failed after its tests (exit code or timeout)")
            failed += 1
if reasons:
    print("skipped, by reason (a case the other backend or tree runs for real):")
    for reason, count in sorted(reasons.items(), key=lambda item: (-item[1], item[0])):
        print(f"  {count:3d}  {reason}")
line = f"{passed} passed, {failed} failed"
if skipped:
    line += f", {skipped} skipped"
print(line)
sys.exit(1 if failed else 0)
