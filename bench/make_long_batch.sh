#!/usr/bin/env bash
# Makes, once, the 8 generated 3-minute MP3 files the jobs benchmarks decode, in
# build-bench/data/batch3 (run from the repository root).
set -euo pipefail

long=build-bench/data/batch3
mkdir -p "$long"
for i in 1 2 3 4 5 6 7 8; do
    if [ ! -f "$long/three_$i.mp3" ]; then
        sox -n -r 44100 -c 2 -b 16 "$long/three_$i.wav" \
            synth 180 sine $((200 + 40 * i)) sine $((300 + 30 * i)) vol 0.5
        lame --quiet -b 128 --cbr "$long/three_$i.wav" "$long/three_$i.mp3"
        rm -f "$long/three_$i.wav"
    fi
done
