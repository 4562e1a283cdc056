#!/usr/bin/env bash
# Installs the dependencies, builds Caustica and runs every test.
# With CAUSTICA_SANITIZE=1 the core tests are also built and run a second
# time under the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
ctest --test-dir build --output-on-failure --timeout 600 -j "$(nproc)"

if [ "${CAUSTICA_SANITIZE:-0}" = "1" ]; then
  cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCAUSTICA_SANITIZE=ON \
    -DCAUSTICA_BUILD_BENCH=OFF
  cmake --build build-sanitize
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure --timeout 900 -j "$(nproc)" -L core
fi
