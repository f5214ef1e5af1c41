#!/usr/bin/env bash
# The cost of --cd, in the same run: pelmora-cli --cd (libsoxr from 48 kHz to 44.1 kHz, the
# very-high-quality passband at 20-bit precision, on a thread of its own beside the packing and
# writing; exact length, 16-bit stereo) against a plain run on a batch of 8
# generated 3-minute 48 kHz MP3 files, both with --jobs 1 (target <= 1.5). Runs the two
# alternately, five times each, and prints the best wall-clock times and their ratio (the
# target's figure), the ratio of the best processor times, and the load.
# PELMORA_BENCH_BUILD names a Release build folder to use instead of building build-bench/.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench/timing.sh
source bench/timing.sh

bench/install-tools.sh

data=build-bench/data/batch48
bench/make_long_batch.sh 48000

build=${PELMORA_BENCH_BUILD:-build-bench}
if [ -z "${PELMORA_BENCH_BUILD:-}" ]; then
    cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF >/dev/null
    cmake --build build-bench -j"$(nproc)" --target pelmora-cli >/dev/null
fi

# "wall cpu" seconds for one run of the batch with the given options.
run_times() {
    local out=build-bench/data/cd_out
    rm -rf "$out"
    wall_and_cpu "$build/pelmora-cli" --quiet --jobs 1 "$@" -o "$out" "$data"
    rm -rf "$out"
}

plain="" plain_cpu="" cd="" cd_cpu=""
for _ in 1 2 3 4 5; do
    times=$(run_times) || exit 1
    read -r wall cpu <<<"$times"
    plain=$(min "$plain" "$wall")
    plain_cpu=$(min "$plain_cpu" "$cpu")
    times=$(run_times --cd) || exit 1
    read -r wall cpu <<<"$times"
    cd=$(min "$cd" "$wall")
    cd_cpu=$(min "$cd_cpu" "$cpu")
done
echo "8 x 3 minutes at 48 kHz: plain $plain s, --cd $cd s, ratio $(ratio "$plain" "$cd")" \
    "(target <= 1.5; processor time ratio $(ratio "$plain_cpu" "$cd_cpu"), $(conditions))"
