#!/usr/bin/env bash
# Installs what is needed, builds Orvane and runs every test suite; then runs the suites again
# under AddressSanitizer with UndefinedBehaviorSanitizer, and under ThreadSanitizer.
#   ORVANE_SANITIZERS=0   skip the sanitizer passes
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/fetch-assets.sh"
"$root/scripts/check-format.sh"

# run_suites BUILD_DIR CTEST_ARGS... -- CMAKE_ARGS...
run_suites() {
    local build=$1
    shift
    local ctest_args=()
    while [ "$1" != "--" ]; do
        ctest_args+=("$1")
        shift
    done
    shift
    cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
    cmake --build "$build"
    ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "${ctest_args[@]}"
}

run_suites "$root/build" -- -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ "${ORVANE_SANITIZERS:-1}" != 0 ]; then
    realtime="^HearingOver(Pulse|PipeWire)\.(QuestionsAreHeard|PushToTalkKeeps|HearMeToo)"
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer =="
    # The load tests measure the server, and the spoken-questions (the candidate's too) and
    # end-to-end tests need speech decoded in real time: none is meaningful at the sanitizers' speed. The Wayland
    # desktop test, like the end-to-end one, runs whole programs the suites above already check.
    run_suites "$root/build-asan" -LE "load|e2e|wayland" -E "$realtime" -- -DCMAKE_BUILD_TYPE=Debug -DORVANE_BUILD_BENCHMARKS=OFF \
        "-DORVANE_SANITIZE=address;undefined"
    echo "== ThreadSanitizer =="
    export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp ${TSAN_OPTIONS:-}"
    # The screenshot-portal tests hand Qt objects (D-Bus replies, images) between a worker thread
    # and Qt's own threads, whose synchronisation is in uninstrumented Qt libraries: TSan reports
    # the frees without the stacks to judge them. The test share's process is stopped by TSan, as
    # one forked with threads, when D-Bus and PipeWire start threads after QProcess has started
    # its screen source and private bus; what it tests runs on the GUI thread alone. Both run in
    # the passes above.
    run_suites "$root/build-tsan" -LE "load|e2e|wayland" -E "$realtime|^ScreenshotPortal\\.|^ShareIndicators\\.ATestShare" -- -DCMAKE_BUILD_TYPE=Debug -DORVANE_BUILD_BENCHMARKS=OFF \
        -DORVANE_SANITIZE=thread
fi
