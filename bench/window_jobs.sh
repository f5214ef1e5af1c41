#!/usr/bin/env bash
# The window's "Files at once" 2 against 1, in the same run, on 8 generated 3-minute MP3 files
# (target <= 0.55 on 2 processors). Measured through pelmora-cli --window-options: its
# --jobs 1 runs the worker pool's inline worker in one process as the window does with 1, and
# its --jobs 2 the same pool (run_worker_pool) with the 2 processes the window starts, on
# requests filled as the window fills them; only the progress display differs. Runs the two
# settings alternately, three times each, and prints the best wall times, their ratio, the
# processor time of each best run (workers included) and the load.
set -euo pipefail
cd "$(dirname "$0")/.."

bench/install-tools.sh

data=build-bench/data
long="$data/batch3"
bench/make_long_batch.sh

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target pelmora-cli >/dev/null

# "wall user+system" in seconds for one run of the batch with $1 files at once.
run_time() {
    local out="$data/window_jobs_out"
    rm -rf "$out"
    /usr/bin/time -f "%e %U %S" -o "$data/window_jobs_time" \
        build-bench/pelmora-cli --quiet --window-options --jobs "$1" -o "$out" "$long"
    rm -rf "$out"
    awk '{printf "%.3f %.3f\n", $1, $2 + $3}' "$data/window_jobs_time"
}

one="" two="" one_cpu="" two_cpu=""
for _ in 1 2 3; do
    read -r wall cpu < <(run_time 1)
    if [ -z "$one" ] || awk -v a="$wall" -v b="$one" 'BEGIN { exit !(a < b) }'; then
        one=$wall one_cpu=$cpu
    fi
    read -r wall cpu < <(run_time 2)
    if [ -z "$two" ] || awk -v a="$wall" -v b="$two" 'BEGIN { exit !(a < b) }'; then
        two=$wall two_cpu=$cpu
    fi
done
echo "8 x 3 minutes, window options: 1 at once $one s (processor $one_cpu s)," \
    "2 at once $two s (processor $two_cpu s), ratio" \
    "$(echo "$one $two" | awk '{printf "%.3f", $2 / $1}') (target <= 0.55," \
    "$(nproc) processors, load $(cut -d' ' -f1 /proc/loadavg))"
