#!/usr/bin/env bash
# Installs the packages, builds Pelmora in Debug with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs the whole test suite through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPELMORA_SANITIZE=address,undefined \
    -DPELMORA_BENCH=OFF
cmake --build build-asan -j"$(nproc)"
ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
scripts/package-check.sh build-package
