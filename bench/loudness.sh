#!/usr/bin/env bash
# Loudness normalization against a plain run, in the same run: pelmora-cli --loudness (one
# measuring decode plus one writing decode per file) against the same command without it, on
# the 8 generated 3-minute MP3 files, with --jobs 1 and --jobs 2 (target <= 2.1 for both).
# Runs the two settings alternately, three times each, and prints the best times and ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench/timing.sh
source bench/timing.sh

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
    elapsed build-bench/pelmora-cli --quiet --jobs "$jobs" "$@" -o "$out" "$long"
    rm -rf "$out"
}

for jobs in 1 2; do
    plain="" loud=""
    for _ in 1 2 3; do
        plain=$(min "$plain" "$(run_time "$jobs")")
        loud=$(min "$loud" "$(run_time "$jobs" --loudness)")
    done
    echo "8 x 3 minutes, --jobs $jobs: plain $plain s, --loudness $loud s," \
        "ratio $(ratio "$plain" "$loud") (target <= 2.1, $(conditions))"
done
