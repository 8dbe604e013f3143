#!/usr/bin/env bash
# Builds the Debian package in a Release build; prints its path.
#   scripts/package.sh            then: apt-get install ./build-release/purgelet_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPURGELET_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build-release -j2 --target purgelet purgelet_documents
(cd build-release && cpack -G DEB >/dev/null)
ls "$PWD"/build-release/purgelet_*.deb
