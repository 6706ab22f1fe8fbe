#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs the answer-stream decoder fuzzer.
#   scripts/fuzz.sh [SECONDS]   (default 300)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
"$root/scripts/setup.sh" clang libclang-rt-dev
build="$root/build-fuzz"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVANE_FUZZ=ON -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target answer_stream_decoder_fuzzer
corpus="$build/corpus"
mkdir -p "$corpus"
cp -n "$root"/tests/fuzz/corpus/* "$corpus"/
"$build/tests/fuzz/answer_stream_decoder_fuzzer" -max_total_time="$seconds" -max_len=8192 \
    -print_final_stats=1 "$corpus"
