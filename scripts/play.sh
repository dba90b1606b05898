#!/usr/bin/env bash
# Builds the game (installing what it needs) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build-essential cmake qt6-base-dev qt6-multimedia-dev qt6-tools-dev qt6-l10n-tools libgl-dev libjpeg-dev \
  qt6-qpa-plugins libqt6multimedia6
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTILORA_TESTS=OFF
cmake --build build/release -j"$(nproc)"
exec build/release/tilora "$@"
