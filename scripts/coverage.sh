#!/usr/bin/env bash
# What the tests cover, as sets to compare: builds with --coverage, runs every suite but the load,
# end-to-end and Wayland desktop ones, and writes gcovr's JSON of src/ and backend/src (the tools
# and the null stand-ins left out), lines and branches.
#   scripts/coverage.sh [OUT_JSON]            measure (default build-coverage/coverage.json)
#   scripts/coverage.sh --compare BEFORE AFTER
#                                             every line and branch covered in BEFORE that AFTER
#                                             misses, and both figures; fails when there is one
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "--compare" ]; then
    python3 - "$2" "$3" <<'PY'
import json, sys

def covered(path):
    with open(path) as f:
        report = json.load(f)
    lines, branches, all_lines, all_branches = set(), set(), 0, 0
    for entry in report["files"]:
        name = entry["file"]
        for line in entry["lines"]:
            if line.get("gcovr/noncode"):
                continue
            all_lines += 1
            if line["count"] > 0:
                lines.add((name, line["line_number"]))
            for index, branch in enumerate(line.get("branches", [])):
                all_branches += 1
                if branch["count"] > 0:
                    branches.add((name, line["line_number"], index))
    return lines, branches, all_lines, all_branches

before, after = covered(sys.argv[1]), covered(sys.argv[2])
for label, (lines, branches, total_lines, total_branches) in (("before", before), ("after", after)):
    print("%s: %d of %d lines (%.1f %%), %d of %d branches (%.1f %%)" % (
        label, len(lines), total_lines, 100.0 * len(lines) / max(total_lines, 1),
        len(branches), total_branches, 100.0 * len(branches) / max(total_branches, 1)))
lost_lines = sorted(before[0] - after[0])
lost_branches = sorted(before[1] - after[1])
for name, line in lost_lines:
    print("line no longer covered: %s:%d" % (name, line))
for name, line, index in lost_branches:
    print("branch no longer covered: %s:%d #%d" % (name, line, index))
print("%d lines and %d branches covered before are not covered after" % (
    len(lost_lines), len(lost_branches)))
sys.exit(1 if lost_lines or lost_branches else 0)
PY
    exit $?
fi

build="$root/build-coverage"
out=${1:-$build/coverage.json}
"$root/scripts/setup.sh" gcovr
"$root/scripts/fetch-assets.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_BUILD_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_C_FLAGS=--coverage >/dev/null
cmake --build "$build"
find "$build" -name '*.gcda' -delete
status=0
ctest --test-dir "$build" -LE "load|e2e|wayland" -j "$(nproc)" --output-on-failure \
    >"$build/ctest.log" 2>&1 || status=$?
tail -n 3 "$build/ctest.log"
mkdir -p "$(dirname "$out")"
# The null stand-ins hold no logic to measure, and gcovr 5.2 stops at them: different objects
# report their inline functions a line apart.
gcovr --root "$root" --object-directory "$build" --filter "$root/src/" --filter "$root/backend/src/" \
    --exclude "$root/src/tools/" --exclude "$root/src/adapters/null/" --gcov-ignore-parse-errors \
    --json "$out" --json-pretty --print-summary
exit "$status"
