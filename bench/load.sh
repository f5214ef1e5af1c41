#!/usr/bin/env bash
# Load: a 2-hour MP3 through pelmora-cli with its peak resident memory (target under 30 MB,
# flat: compared with a 3-minute file), and a batch of 2,000 tiny files through pelmora-cli
# and through the file list.
set -euo pipefail
cd "$(dirname "$0")/.."

bench/run.sh >/dev/null  # builds, and makes the 3-minute file
cmake --build build-bench -j"$(nproc)" --target pelmora-cli list_bench >/dev/null

data=build-bench/data
if [ ! -f "$data/two_hours.mp3" ]; then
    # MPEG frames concatenate: 40 times the 3-minute file is a valid 2-hour stream.
    for _ in $(seq 40); do cat "$data/three_minutes.mp3"; done >"$data/two_hours.mp3"
fi

peak_kb() {
    /usr/bin/time -f "%M %e" build-bench/pelmora-cli --quiet -o "$data/load_out" "$1" 2>&1 >/dev/null |
        tail -1
}
read -r short_kb short_s < <(peak_kb "$data/three_minutes.mp3")
read -r long_kb long_s < <(peak_kb "$data/two_hours.mp3")
echo "3 minutes: peak RSS ${short_kb} KB in ${short_s} s; 2 hours: peak RSS ${long_kb} KB in ${long_s} s (target < 30720 KB, ratio $(echo "$long_kb $short_kb" | awk '{printf "%.2f", $1 / $2}'))"
rm -rf "$data/load_out"

tiny="$data/tiny"
if [ ! -d "$tiny" ]; then
    mkdir -p "$tiny"
    for i in $(seq -w 1 2000); do cp tests/data/short.mp3 "$tiny/tiny_$i.mp3"; done
fi
start=$(date +%s.%N)
build-bench/pelmora-cli --quiet -o "$data/tiny_out" "$tiny"
end=$(date +%s.%N)
echo "2000 tiny files through pelmora-cli: $(echo "$start $end" | awk '{printf "%.2f", $2 - $1}') s"
rm -rf "$data/tiny_out"

build-bench/bench/list_bench 2>/dev/null | tail -1
