#!/usr/bin/env bash
# Installs what is needed, builds Orvane and runs every test suite; then runs the suites again
# under AddressSanitizer with UndefinedBehaviorSanitizer, and under ThreadSanitizer.
#   ORVANE_SANITIZERS=0   skip the sanitizer passes
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/check-format.sh"

run_suites() {
    local build=$1
    shift
    cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
    cmake --build "$build"
    ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
}

run_suites "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ "${ORVANE_SANITIZERS:-1}" != 0 ]; then
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer =="
    run_suites "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DORVANE_BUILD_BENCHMARKS=OFF \
        "-DORVANE_SANITIZE=address;undefined"
    echo "== ThreadSanitizer =="
    run_suites "$root/build-tsan" -DCMAKE_BUILD_TYPE=Debug -DORVANE_BUILD_BENCHMARKS=OFF \
        -DORVANE_SANITIZE=thread
fi
