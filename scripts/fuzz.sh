#!/usr/bin/env bash
# Builds the picture-opening fuzz target with clang, address and undefined-behaviour sanitizers,
# and runs it for a bounded time from a corpus of generated pictures and every crafted file that has
# shown a fault. Fails on any finding; the run goes on past one, so that it names them all.
# TILORA_FUZZ_SECONDS sets the length of the run on small pictures (default 75),
# TILORA_FUZZ_BIG_SECONDS that of the slower run on pictures up to four megapixels (default 0: none),
# TILORA_FUZZ_JOBS the processes fuzzing at once (default 1), TILORA_FUZZ_MORE_SEEDS further folders of
# pictures to start from (a picture suite kept by scripts/picture_suite.sh with TILORA_SUITE_KEEP).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${TILORA_FUZZ_SECONDS:-75}
bigseconds=${TILORA_FUZZ_BIG_SECONDS:-0}
fuzzjobs=${TILORA_FUZZ_JOBS:-1}
build=build/fuzz
jobs=$(nproc)

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTILORA_TESTS=ON -DTILORA_FUZZ=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DTILORA_SANITIZE=address,undefined >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j"$jobs" --target fuzz_open_picture

export QT_QPA_PLATFORM=offscreen
# The target fills new memory itself, with a pattern of its own for each decode: the sanitizer's
# fill byte marks what malloc handed out (set in the target, __asan_default_options).
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0

target=$build/fuzz/fuzz_open_picture
rm -rf "$build/seeds" "$build/findings"
"$target" -tilora_seeds="$build/seeds"
mkdir -p "$build/corpus" "$build/findings"
status=0
# The run on small pictures: inputs up to 256 KiB, past the reader's bound on stray bytes (64 KiB).
# The big run: inputs up to 2 MiB, past the bound on data after a JPEG's last block (1 MiB); an open
# that takes 30 s under the sanitizers is a finding: the biggest picture tried (4 MP) opens and is
# checked in some 6 s.
run() { # log, seconds, max_len, extra flags
  local log=$1 time=$2 len=$3
  shift 3
  "$target" "$build/corpus" "$build/seeds" ${TILORA_FUZZ_MORE_SEEDS:-} "$@" -fork="$fuzzjobs" -ignore_crashes=1 \
    -ignore_timeouts=1 -ignore_ooms=1 -max_total_time="$time" -timeout=30 -rss_limit_mb=4096 -malloc_limit_mb=2048 \
    -max_len="$len" -print_final_stats=1 -artifact_prefix="$build/findings/" >"$log" 2>&1 || status=$?
  local runs
  runs=$(sed -n 's/^#\([0-9]*\):.*/\1/p' "$log" | tail -1)
  echo "fuzz ($log): ${runs:-0} runs in ${time} s, $(( ${runs:-0} / (time > 0 ? time : 1) )) a second"
}
log=$build/fuzz.log
run "$log" "$seconds" 262144
if [ "$bigseconds" -gt 0 ]; then
  run "$build/fuzz-big.log" "$bigseconds" 2097152 -tilora_big=1
fi
# A unit slower than libFuzzer's report threshold is written down too; it is no fault unless it runs
# past the time given to one open, which is a timeout.
findings=$(find "$build/findings" -type f ! -name 'slow-unit-*' | wc -l)
echo "fuzz: ${findings} findings, corpus $(find "$build/corpus" -type f | wc -l) files"
# Each finding replayed alone, for what it is; a time-out replays in its full time.
for finding in $(find "$build/findings" -type f ! -name 'slow-unit-*' | sort | head -20); do
  what=$(TILORA_FUZZ_CAUSES=1 "$target" -tilora_big=1 -timeout=30 -rss_limit_mb=4096 -malloc_limit_mb=2048 "$finding" 2>&1 \
    | grep -m1 -E '^fault:|ERROR: [A-Za-z]+|runtime error|ALARM|out-of-memory' || true)
  echo "  $finding: ${what:-did not fail on replay}"
done
if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
  tail -20 "$log"
  exit 1
fi
