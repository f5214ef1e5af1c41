#!/usr/bin/env bash
# Makes, once, the 8 generated 3-minute MP3 files the batch benchmarks decode (run from the
# repository root): at 44,100 Hz in build-bench/data/batch3, or at the rate given as the first
# argument in build-bench/data/batch<rate in kHz> (48000: batch48).
set -euo pipefail

rate=${1:-44100}
if [ "$rate" = 44100 ]; then
    long=build-bench/data/batch3
    stem=three
else
    long=build-bench/data/batch$((rate / 1000))
    stem=three$((rate / 1000))
fi
mkdir -p "$long"
for i in 1 2 3 4 5 6 7 8; do
    if [ ! -f "$long/${stem}_$i.mp3" ]; then
        sox -n -r "$rate" -c 2 -b 16 "$long/${stem}_$i.wav" \
            synth 180 sine $((200 + 40 * i)) sine $((300 + 30 * i)) vol 0.5
        lame --quiet -b 128 --cbr "$long/${stem}_$i.wav" "$long/${stem}_$i.mp3"
        rm -f "$long/${stem}_$i.wav"
    fi
done
