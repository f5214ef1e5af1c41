#!/usr/bin/env bash
# The tail of a batch: pelmora-cli --jobs 2 on a generated 3-minute file and a 30-minute one.
# Without --threads the 30-minute file takes up the processor the 3-minute file frees and
# decodes the rest on two threads; with --threads 1 (the baseline) it stays on one. Runs the
# two alternately, REPEAT times each (default 3), and prints the best times and their ratio;
# on 2 processors the ideal is about 0.5 plus the 3-minute file's share.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench/timing.sh
source bench/timing.sh

bench/install-tools.sh
bench/make_long_batch.sh

data=build-bench/data
short=$data/batch3/three_1.mp3
long=$data/tail_30min.mp3
if [ ! -f "$long" ]; then
    # MPEG frames concatenate: ten 3-minute files are one valid 30-minute stream.
    for i in 1 2 3 4 5 6 7 8 1 2; do cat "$data/batch3/three_$i.mp3"; done >"$long.part"
    mv "$long.part" "$long"
fi

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target pelmora-cli >/dev/null

out=$data/tail_out
# Seconds for the batch of both files with the given options.
run_time() {
    rm -rf "$out"
    elapsed build-bench/pelmora-cli --quiet --jobs 2 "$@" -o "$out" "$short" "$long"
    rm -rf "$out"
}

# Seconds for the 30-minute file alone on $1 threads: what two processors give at this load.
alone_time() {
    rm -rf "$out"
    elapsed build-bench/pelmora-cli --quiet --threads "$1" -o "$out" "$long"
    rm -rf "$out"
}

fixed=""
shared=""
one=""
two=""
for _ in $(seq "${REPEAT:-3}"); do
    fixed=$(min "$fixed" "$(run_time --threads 1)")
    shared=$(min "$shared" "$(run_time)")
    one=$(min "$one" "$(alone_time 1)")
    two=$(min "$two" "$(alone_time 2)")
done
echo "3 + 30 minutes, --jobs 2: --threads 1 $fixed s, freed processors taken up $shared s," \
    "ratio $(ratio "$fixed" "$shared") ($(conditions))"
echo "for comparison, the 30-minute file alone: --threads 1 $one s, --threads 2 $two s," \
    "ratio $(ratio "$one" "$two")"
