#!/usr/bin/env bash
# Builds the game's Debian package (installing what the build needs) and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build-essential cmake qt6-base-dev qt6-multimedia-dev qt6-tools-dev qt6-l10n-tools libgl-dev libjpeg-dev dpkg-dev file
cmake -S . -B build/package -DCMAKE_BUILD_TYPE=Release -DTILORA_TESTS=OFF
cmake --build build/package -j"$(nproc)"
# Old packages of other versions would be confused with this one.
rm -f build/package/tilora_*.deb
(cd build/package && cpack -G DEB)
deb=$(ls build/package/tilora_*.deb)
dpkg-deb --field "$deb" Package Version Depends Recommends Section
echo "$(pwd)/$deb"
