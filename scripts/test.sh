#!/usr/bin/env bash
# Sets up, builds with AddressSanitizer and UBSan, and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPURGELET_SANITIZE=ON
cmake --build build-test -j2
cd build-test && ctest --output-on-failure
