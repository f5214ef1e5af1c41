#!/usr/bin/env bash
# Loudness normalization against a plain run, in the same run: pelmora-cli --loudness (one
# measuring decode plus one writing decode per file) against the same command without it, on
# the 8 generated 3-minute MP3 files, with --jobs 1 and --jobs 2 (target <= 2.1 for both).
# Runs the two settings alternately, three times each, and prints the best times and ratios.
set -euo pipefail
cd "$(dirname "$0")/.."

bench/install-tools.sh

data=build-bench/data
long="$data/batch3"
bench/make_long_batch.sh

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target pelmora-cli >/dev/null

# Seconds for one run of the batch with --jobs $1 and the further options after it.
run_time() {
    local jobs=$1
    shift
    local out="$data/loudness_out"
    rm -rf "$out"
    local start end
    start=$(date +%s.%N)
    build-bench/pelmora-cli --quiet --jobs "$jobs" "$@" -o "$out" "$long"
    end=$(date +%s.%N)
    rm -rf "$out"
    echo "$start $end" | awk '{print $2 - $1}'
}

# The smaller of a best time so far ($1, empty at first) and a new one.
min() {
    if [ -z "$1" ]; then
        echo "$2"
    else
        echo "$1 $2" | awk '{print ($2 < $1) ? $2 : $1}'
    fi
}

for jobs in 1 2; do
    plain="" loud=""
    for _ in 1 2 3; do
        plain=$(min "$plain" "$(run_time "$jobs")")
        loud=$(min "$loud" "$(run_time "$jobs" --loudness)")
    done
    echo "8 x 3 minutes, --jobs $jobs: plain $plain s, --loudness $loud s, ratio" \
        "$(echo "$plain $loud" | awk '{printf "%.3f", $2 / $1}') (target <= 2.1," \
        "$(nproc) processors, load $(cut -d' ' -f1 /proc/loadavg))"
done
