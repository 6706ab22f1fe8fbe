#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while, two at a time.
#   scripts/fuzz.sh [SECONDS] [TARGET...]   (default 300 seconds each, every target)
# Targets: answer_stream_decoder url query jwt chat_body wav whisper_model. Findings land in build-fuzz/findings.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(answer_stream_decoder url query jwt chat_body wav whisper_model)

"$root/scripts/setup.sh" clang libclang-rt-dev
"$root/scripts/fetch-assets.sh"
build="$root/build-fuzz"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVANE_FUZZ=ON -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target "${targets[@]/%/_fuzzer}"
mkdir -p "$build/findings" "$build/logs"

run_one() {
    local target=$1
    local corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    cp -n "$root/tests/fuzz/corpus/$target"/* "$corpus"/ 2>/dev/null || true
    "$build/tests/fuzz/${target}_fuzzer" -max_total_time="$seconds" -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$build/findings/$target-" "$corpus" \
        >"$build/logs/$target.log" 2>&1
}

status=0
running=0
for target in "${targets[@]}"; do
    run_one "$target" &
    running=$((running + 1))
    if [ "$running" -ge 2 ]; then
        wait -n || status=1
        running=$((running - 1))
    fi
done
while [ "$running" -gt 0 ]; do
    wait -n || status=1
    running=$((running - 1))
done

for target in "${targets[@]}"; do
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/logs/$target.log" | grep -o '[0-9]*$' || echo "?")
    found=$(ls "$build/findings" | grep -c "^$target-" || true)
    echo "$target: $runs runs, $found findings (log: $build/logs/$target.log)"
done
exit "$status"
