#!/usr/bin/env bash
# Builds the suites that open pictures and show them (where the decoders, the screen's shrinking and
# the pages made ready share the two cores) with the thread sanitizer and runs them; any report of
# two threads touching the same memory unordered fails the run. Qt itself is not instrumented: the
# few reports that lie wholly inside it are named in scripts/tsan.supp.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/tsan
jobs=$(nproc)
suites=(tst_open tst_surface tst_badfiles)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTILORA_TESTS=ON -DTILORA_SANITIZE=thread \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j"$jobs" --target "${suites[@]}"

export QT_QPA_PLATFORM=offscreen
# A report ends the suite with the sanitizer's own exit code: Qt Test's crash handler, which an abort
# would call, forks to print a stack and hangs there under the sanitizer.
export QTEST_DISABLE_STACK_DUMP=1
# Memory Qt's own code takes and frees (its image conversions run on Qt's thread pool, whose waiting the
# sanitizer cannot see) is Qt's business: only the game's code, which is instrumented, is watched.
export TSAN_OPTIONS="halt_on_error=1:ignore_noninstrumented_modules=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
regex=$(IFS='|'; echo "^(${suites[*]})\$")
ctest --test-dir "$build" --output-on-failure -j"$jobs" -R "$regex"
