#!/usr/bin/env bash
# Builds the picture-opening fuzz target with clang, address and undefined-behaviour sanitizers,
# and runs it for a bounded time from a corpus of generated pictures. Fails on any finding.
# TILORA_FUZZ_SECONDS sets the length of the run (default 75).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${TILORA_FUZZ_SECONDS:-75}
build=build/fuzz
jobs=$(nproc)

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTILORA_TESTS=ON -DTILORA_FUZZ=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DTILORA_SANITIZE=address,undefined >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j"$jobs" --target fuzz_open_picture

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0

target=$build/fuzz/fuzz_open_picture
rm -rf "$build/seeds"
"$target" -tilora_seeds="$build/seeds"
mkdir -p "$build/corpus" "$build/findings"
log=$build/fuzz.log
status=0
"$target" "$build/corpus" "$build/seeds" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 \
  -malloc_limit_mb=2048 -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/findings/" >"$log" 2>&1 || status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
findings=$(find "$build/findings" -type f | wc -l)
echo "fuzz: ${runs:-0} runs in ${seconds} s, ${findings} findings, corpus $(find "$build/corpus" -type f | wc -l) files"
if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
  tail -60 "$log"
  exit 1
fi
