#!/usr/bin/env bash
# Sets up and runs every test: the whole suite in a plain build, the whole
# suite again under AddressSanitizer and UndefinedBehaviorSanitizer, then each
# fuzz target for a minute (PURGELET_FUZZ_SECONDS to change that).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"

echo "== plain build"
cmake -S . -B build-plain -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-plain -j2
(cd build-plain && ctest --output-on-failure)

echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPURGELET_SANITIZE=ON
cmake --build build-test -j2
(cd build-test && ctest --output-on-failure)

echo "== fuzzing"
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPURGELET_TESTS=OFF \
    -DPURGELET_FUZZ=ON -DPURGELET_FUZZ_SECONDS="${PURGELET_FUZZ_SECONDS:-60}"
cmake --build build-fuzz -j2 --target fuzz_reply_reader fuzz_header_text fuzz_rule_file fuzz_host_address fuzz_message_record fuzz_oauth2_replies
(cd build-fuzz && ctest --output-on-failure)
