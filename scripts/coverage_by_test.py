#!/usr/bin/env python3
"""Which code each test alone reaches, to find tests that reach nothing the others do not.

Runs every test of a --coverage build (scripts/coverage.sh makes one) by itself, with GCOV_PREFIX
sending its counters to a directory of its own, then reads the counters of src/ and backend/src
(the tools left out) straight from the .gcda files. An instrumented arc that ran stands for the
lines and branches it reaches; the set compare in scripts/coverage.sh stays the proof.

  scripts/coverage_by_test.py run BUILD OUT_DIR [-j N]   run each test, keep its counters
  scripts/coverage_by_test.py report BUILD OUT_DIR       per test: arcs it runs, arcs no other
                                                         test runs, and its file; then the tests
                                                         that could go, one after another, with
                                                         nothing left unrun (integration first,
                                                         unit tests last: the lowest level stays)
"""
import argparse
import collections
import json
import os
import re
import struct
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

SKIPPED_LABELS = {"load", "e2e", "wayland"}
FUNCTION_TAG = 0x01000000
ARCS_TAG = 0x01A10000


def discover(build):
    listing = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1"],
                             check=True, capture_output=True, text=True).stdout
    tests = []
    for test in json.loads(listing)["tests"]:
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        if SKIPPED_LABELS & set(properties.get("LABELS", [])):
            continue
        tests.append((test["name"], test["command"], properties))
    return tests


def run_one(index, test, out_dir):
    name, command, properties = test
    env = dict(os.environ)
    for assignment in properties.get("ENVIRONMENT", []):
        key, _, value = assignment.partition("=")
        env[key] = value
    env["GCOV_PREFIX"] = str(out_dir / str(index))
    env["GCOV_PREFIX_STRIP"] = "0"
    try:
        result = subprocess.run(command, cwd=properties.get("WORKING_DIRECTORY"), env=env,
                                capture_output=True, timeout=properties.get("TIMEOUT", 300))
        status = result.returncode
    except subprocess.TimeoutExpired:
        status = "timeout"
    return name, status


def arcs_of(gcda):
    """(function ident, counter index) of every instrumented arc that ran."""
    data = gcda.read_bytes()
    words = len(data) // 4
    # Magic, version, stamp and checksum come before the records; a negative length is a run of
    # counters that are all zero, written without them.
    position, function, ran = 4, None, set()
    while position + 2 <= words:
        tag, length = struct.unpack_from("<Ii", data, position * 4)
        position += 2
        if tag == FUNCTION_TAG:
            function = struct.unpack_from("<I", data, position * 4)[0] if length else None
        elif tag == ARCS_TAG and length > 0:
            for counter in range(length // 8):
                low, high = struct.unpack_from("<II", data, (position + 2 * counter) * 4)
                if low or high:
                    ran.add((function, counter))
        if length > 0:
            position += length // 4
    return ran


def coverage_of(build, directory):
    covered = set()
    prefix = directory / build.relative_to("/")
    for gcda in prefix.rglob("*.gcda"):
        source = str(gcda.relative_to(prefix))
        if not source.startswith(("src/", "backend/")) or source.startswith("src/tools/"):
            continue
        if "/tools/" in source or "_autogen/" in source or "/.rcc/" in source:
            continue
        covered |= {(source, function, counter) for function, counter in arcs_of(gcda)}
    return covered


def suite_of(name):
    """Suite.Test of a ctest name, without a parameterised test's prefix and case."""
    parts = name.split("/")
    return next(part for part in parts if "." in part) if len(parts) > 1 else name


def sources_of_tests(build):
    """Suite.Test -> the test file that defines it, read from the sources the build compiled."""
    root = build.parent
    files = subprocess.run(["git", "-C", str(root), "ls-files", "tests/*.cpp"], check=True,
                           capture_output=True, text=True).stdout.split()
    where = {}
    pattern = re.compile(r"^TEST(?:_F|_P)?\((\w+),\s*(\w+)\)", re.MULTILINE)
    for path in files:
        for suite, test in pattern.findall((root / path).read_text()):
            where["%s.%s" % (suite, test)] = path
    return where


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("action", choices=["run", "report"])
    parser.add_argument("build")
    parser.add_argument("out")
    parser.add_argument("-j", type=int, default=os.cpu_count())
    args = parser.parse_args()
    build, out_dir = Path(args.build).resolve(), Path(args.out).resolve()
    tests = discover(str(build))
    if args.action == "run":
        out_dir.mkdir(parents=True, exist_ok=True)
        with ThreadPoolExecutor(args.j) as pool:
            results = list(pool.map(lambda item: run_one(item[0], item[1], out_dir),
                                    enumerate(tests)))
        (out_dir / "tests.json").write_text(json.dumps(results, indent=1))
        failed = [name for name, status in results if status != 0]
        print("%d tests run, %d failed: %s" % (len(results), len(failed), " ".join(failed)))
        return 1 if failed else 0

    per_test = {name: coverage_of(build, out_dir / str(index))
                for index, (name, _, _) in enumerate(tests)}
    runs = collections.Counter()
    for covered in per_test.values():
        runs.update(covered)
    where = sources_of_tests(build)
    print("%d arcs run by the suites" % len(runs))
    print("arcs  alone  test")
    for name, covered in sorted(per_test.items()):
        unique = sum(1 for arc in covered if runs[arc] == 1)
        print("%5d %6d  %s (%s)" % (len(covered), unique, name, where.get(suite_of(name), "?")))

    # A parameterised test goes whole or stays: its cases share one body.
    cases = collections.defaultdict(list)
    for name in per_test:
        cases[suite_of(name)].append(name)
    level = ["security", "integration", "backend", "ui", "unit"]
    order = sorted(cases, key=lambda test: next(
        (i for i, part in enumerate(level) if "/%s/" % part in where.get(test, "")), len(level)))
    left = collections.Counter(runs)
    print("\nwithout losing an arc, these could go one after another:")
    for test in order:
        arcs = collections.Counter()
        for name in cases[test]:
            arcs.update(per_test[name])
        if all(left[arc] > count for arc, count in arcs.items()):
            left.subtract(arcs)
            print("  %s (%s)" % (test, where.get(test, "?")))
    return 0


if __name__ == "__main__":
    sys.exit(main())
