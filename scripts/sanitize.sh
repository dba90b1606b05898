#!/usr/bin/env bash
# Builds the game and the whole test suite with the address and undefined-behaviour sanitizers and
# runs every test; any report fails the run. TILORA_MONKEY_EVENTS is lowered to keep the
# instrumented random player within a few minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/asan
jobs=$(nproc)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTILORA_TESTS=ON -DTILORA_SANITIZE=address,undefined -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j"$jobs"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export TILORA_MONKEY_EVENTS=${TILORA_MONKEY_EVENTS:-6000}
ctest --test-dir "$build" --output-on-failure -j"$jobs"
