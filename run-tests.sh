#!/usr/bin/env bash
# Builds the station and runs every test: the normal build, then the core
# again under AddressSanitizer with UndefinedBehaviorSanitizer, and under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-dependencies.sh test
jobs=$(nproc)

echo "== Build and tests"
tools/configure-build.sh build
cmake --build build -j "$jobs"
(cd build && ctest -j "$jobs" --output-on-failure)

echo "== Core under address and undefined-behaviour sanitizers"
tools/configure-build.sh build-asan -DTAVRIN_BUILD_GUI=OFF -DTAVRIN_SANITIZE=address,undefined
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest -j "$jobs" --output-on-failure)

echo "== Core under the thread sanitizer"
tools/configure-build.sh build-tsan -DTAVRIN_BUILD_GUI=OFF -DTAVRIN_SANITIZE=thread
cmake --build build-tsan -j "$jobs"
(cd build-tsan && ctest -j "$jobs" --output-on-failure)

echo "== Fuzz targets, 30 seconds each"
fuzz/run-fuzzers.sh 30
