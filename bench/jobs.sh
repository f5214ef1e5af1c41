#!/usr/bin/env bash
# Worker processes against one process, in the same run: pelmora-cli --jobs 2 against
# --jobs 1 on a batch of 8 generated 3-minute MP3 files (target <= 0.55 on 2 processors) and
# on 2,000 tiny files (target <= 0.8), where the cost of handing files to workers shows. Runs
# the two settings alternately, three times each, and prints the best times and their ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench/timing.sh
source bench/timing.sh

bench/install-tools.sh

data=build-bench/data
long="$data/batch3"
bench/make_long_batch.sh
tiny="$data/tiny"
if [ ! -d "$tiny" ]; then
    mkdir -p "$tiny.part"
    for i in $(seq -w 1 2000); do cp tests/data/short.mp3 "$tiny.part/tiny_$i.mp3"; done
    mv "$tiny.part" "$tiny"
fi

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target pelmora-cli >/dev/null

# Seconds for one run of the batch in $2 with --jobs $1.
run_time() {
    local out="$data/jobs_out"
    rm -rf "$out"
    elapsed build-bench/pelmora-cli --quiet --jobs "$1" -o "$out" "$2"
    rm -rf "$out"
}

compare() {
    local label=$1 folder=$2 target=$3 one="" two=""
    for _ in 1 2 3; do
        one=$(min "$one" "$(run_time 1 "$folder")")
        two=$(min "$two" "$(run_time 2 "$folder")")
    done
    echo "$label: --jobs 1 $one s, --jobs 2 $two s, ratio $(ratio "$one" "$two")" \
        "(target <= $target, $(conditions))"
}

compare "8 x 3 minutes" "$long" 0.55
compare "2000 tiny files" "$tiny" 0.8
