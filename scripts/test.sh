#!/usr/bin/env bash
# Builds the game and its tests (installing what they need) and runs the whole suite.
# Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build-essential cmake qt6-base-dev qt6-multimedia-dev qt6-tools-dev qt6-l10n-tools libgl-dev libjpeg-dev qt6-qpa-plugins \
  libqt6multimedia6 clang libclang-rt-14-dev libbenchmark-dev xvfb xauth xdotool imagemagick openbox x11-utils \
  appstream desktop-file-utils clang-format \
  lintian file
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== Formatting =="
# Every C++ file as .clang-format lays it out; a file it would change fails the run.
git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

echo "== Build and unit tests =="
# A warning fails the run as an error would: the build stays warning-free.
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTILORA_TESTS=ON -DTILORA_BENCH=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build build/test -j"$jobs"
ctest --test-dir build/test --output-on-failure -j"$jobs"

# Further stages, each in a script of its own.
for stage in sanitize tsan fuzz e2e; do
  if [ -f "scripts/$stage.sh" ]; then
    echo "== $stage =="
    bash "scripts/$stage.sh"
  fi
done
echo "All tests passed."
