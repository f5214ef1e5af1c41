#!/usr/bin/env bash
# A batch of 8 one-minute MP3 files through pelmora-cli with --jobs 1 and --jobs 2 in the
# same run; prints both times (best of three) and their ratio (target <= 0.6 on 2 processors).
set -euo pipefail
cd "$(dirname "$0")/.."

bench/install-tools.sh

work=build-bench/data/batch
mkdir -p "$work"
for i in 1 2 3 4 5 6 7 8; do
    if [ ! -f "$work/minute_$i.mp3" ]; then
        sox -n -r 44100 -c 2 -b 16 "$work/minute_$i.wav" \
            synth 60 sine $((200 + 40 * i)) sine $((300 + 30 * i)) vol 0.5
        lame --quiet -b 128 --cbr "$work/minute_$i.wav" "$work/minute_$i.mp3"
        rm -f "$work/minute_$i.wav"
    fi
done

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target pelmora-cli >/dev/null

best_time() {
    local jobs=$1 best=""
    for _ in 1 2 3; do
        rm -rf "$work/out"
        local start end
        start=$(date +%s.%N)
        build-bench/pelmora-cli --quiet --jobs "$jobs" -o "$work/out" "$work"/minute_*.mp3
        end=$(date +%s.%N)
        best=$(echo "$start $end $best" | awk '{t = $2 - $1; if ($3 == "" || t < $3) print t; else print $3}')
    done
    echo "$best"
}

one=$(best_time 1)
two=$(best_time 2)
echo "8 x 1 minute: --jobs 1 $one s, --jobs 2 $two s, ratio $(echo "$one $two" | awk '{printf "%.3f", $2 / $1}') (target <= 0.6, $(nproc) processors)"
