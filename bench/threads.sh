#!/usr/bin/env bash
# One file on several threads against one thread, in the same run: pelmora-cli --threads 2
# against --threads 1 on a generated 3-minute and a 60-minute MP3 (target <= 0.62 on 2
# processors), --threads 4 where the machine has 4 processors, and the peak resident memory
# of the 60-minute file with --threads 4 (target under 64 MB). Runs the settings alternately,
# REPEAT times each (default 3), and prints the best times and their ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench/timing.sh
source bench/timing.sh

bench/install-tools.sh

data=build-bench/data
mkdir -p "$data"
three="$data/threads_3min.mp3"
sixty="$data/threads_60min.mp3"
if [ ! -f "$three" ]; then
    sox -n -r 44100 -c 2 -b 16 "$data/threads_3min.wav" synth 180 sine 440 sine 660 vol 0.5
    lame --quiet -b 128 --cbr "$data/threads_3min.wav" "$three.part"
    rm -f "$data/threads_3min.wav"
    mv "$three.part" "$three"
fi
if [ ! -f "$sixty" ]; then
    # MPEG frames concatenate: 20 times the 3-minute file is a valid 60-minute stream.
    for _ in $(seq 20); do cat "$three"; done >"$sixty.part"
    mv "$sixty.part" "$sixty"
fi

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target pelmora-cli >/dev/null

out="$data/threads_out"
# Seconds for one decode of $2 with --threads $1.
run_time() {
    rm -rf "$out"
    elapsed build-bench/pelmora-cli --quiet --threads "$1" -o "$out" "$2"
    rm -rf "$out"
}

compare() {
    local label=$1 file=$2 threads=$3 one="" many=""
    for _ in $(seq "${REPEAT:-3}"); do
        one=$(min "$one" "$(run_time 1 "$file")")
        many=$(min "$many" "$(run_time "$threads" "$file")")
    done
    echo "$label: --threads 1 $one s, --threads $threads $many s," \
        "ratio $(ratio "$one" "$many") (target <= 0.62 with 2, $(conditions))"
}

compare "3 minutes" "$three" 2
compare "60 minutes" "$sixty" 2
if [ "$(nproc)" -ge 4 ]; then
    compare "3 minutes" "$three" 4
    compare "60 minutes" "$sixty" 4
fi

peak_kb() {
    rm -rf "$out"
    /usr/bin/time -f "%M" build-bench/pelmora-cli --quiet --threads "$1" -o "$out" "$sixty" 2>&1 \
        >/dev/null | tail -1
    rm -rf "$out"
}
one_kb=$(peak_kb 1)
four_kb=$(peak_kb 4)
echo "60 minutes, peak RSS: --threads 1 ${one_kb} KB, --threads 4 ${four_kb} KB (target < 65536 KB)"
