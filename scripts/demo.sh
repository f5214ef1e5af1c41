#!/usr/bin/env bash
# Installs the packages, builds Pelmora (Release) and converts the bundled sample into
# out/demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF
cmake --build build-release -j"$(nproc)" --target pelmora-cli pelmora
# --verbose shows the engine at work: its banner, the sample's tag and the summary line.
build-release/pelmora-cli --verbose -o out samples/demo.mp3
ls -l out/demo.wav
