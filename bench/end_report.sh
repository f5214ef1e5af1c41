#!/usr/bin/env bash
# The end of a run over very many files: 100,000 inputs that are missing, and a resumed run
# in which 50,000 files are skipped because their WAV files exist. Each must end in under 2 s;
# the baseline is the same run over a tenth of the files, times ten, so that a ratio near 1
# says the report grows linearly with the files (a quadratic one gives about 10).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target pelmora-cli >/dev/null
cli=build-bench/pelmora-cli
data=build-bench/data/end_report
mkdir -p "$data"

# Wall seconds of a command, its output thrown away: the fastest of three.
best_of_three() {
    local best=999999
    for _ in 1 2 3; do
        local start end took
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || true
        end=$(date +%s.%N)
        took=$(echo "$start $end" | awk '{printf "%.3f", $2 - $1}')
        best=$(echo "$best $took" | awk '{print ($2 < $1) ? $2 : $1}')
    done
    echo "$best"
}

ratio() {
    echo "$1 $2" | awk '{printf "%.2f", $1 / (10 * $2)}'
}

seq -f "$PWD/$data/gone/%06g.mp3" 1 100000 >"$data/missing.txt"
head -10000 "$data/missing.txt" >"$data/missing_tenth.txt"
missing=$(best_of_three "$cli" --files-from "$data/missing.txt" -o "$data/out")
missing_tenth=$(best_of_three "$cli" --files-from "$data/missing_tenth.txt" -o "$data/out")
echo "100,000 missing inputs: ${missing} s (target < 2 s); 10,000: ${missing_tenth} s; ratio $(ratio "$missing" "$missing_tenth")"

# A file per input and its WAV file: the plan skips every one before any decode.
make_skipped() {
    local folder=$1 count=$2
    if [ ! -d "$folder/in" ]; then
        mkdir -p "$folder/in" "$folder/wav"
        (cd "$folder/in" && seq -f "song %05g.mp3" 1 "$count" | xargs -d '\n' touch)
        (cd "$folder/wav" && seq -f "song %05g.wav" 1 "$count" | xargs -d '\n' touch)
    fi
}
make_skipped "$data/skip" 50000
make_skipped "$data/skip_tenth" 5000
skipped=$(best_of_three "$cli" --existing skip -o "$data/skip/wav" "$data/skip/in")
skipped_tenth=$(best_of_three "$cli" --existing skip -o "$data/skip_tenth/wav" "$data/skip_tenth/in")
quiet=$(best_of_three "$cli" -q --existing skip -o "$data/skip/wav" "$data/skip/in")
echo "50,000 skipped files: ${skipped} s, with -q ${quiet} s (target < 2 s); 5,000: ${skipped_tenth} s; ratio $(ratio "$skipped" "$skipped_tenth")"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
