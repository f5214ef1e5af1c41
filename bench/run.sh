#!/usr/bin/env bash
# Builds the benchmarks (Release), generates a 3-minute 128 kbit/s stereo MP3 when missing
# (needs sox and lame, installed here if absent) and runs the engine benchmark on it.
set -euo pipefail
cd "$(dirname "$0")/.."

bench/install-tools.sh

work=build-bench/data
mkdir -p "$work"
input="$work/three_minutes.mp3"
if [ ! -f "$input" ]; then
    # A chord with a slow tremolo, so that the encoder has real work and the fades matter.
    sox -n -r 44100 -c 2 -b 16 "$work/three_minutes.wav" \
        synth 180 sine 220 sine 277 synth 180 sine amod 0.5 vol 0.5
    lame --quiet -b 128 --cbr "$work/three_minutes.wav" "$input"
    rm -f "$work/three_minutes.wav"
fi

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF
cmake --build build-bench -j"$(nproc)" --target engine_bench
# Five repetitions of each, interleaved at random; the ratios use the fastest of each.
build-bench/bench/engine_bench --benchmark_min_time=1 --benchmark_repetitions=5 \
    --benchmark_enable_random_interleaving=true "$input" "$work"
