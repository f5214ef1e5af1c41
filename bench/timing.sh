# Sourced by the benchmark scripts, so that each times its runs and reports its figures the
# same way: wall-clock seconds, the best of several runs, a ratio and the machine's load.

# Wall-clock seconds that one command takes; the command's standard output is discarded.
elapsed() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    echo "$start $end" | awk '{print $2 - $1}'
}

# The smaller of a best time so far ($1, empty at first) and a new one ($2).
min() {
    if [ -z "$1" ]; then
        echo "$2"
    else
        echo "$1 $2" | awk '{print ($2 < $1) ? $2 : $1}'
    fi
}

# $2 / $1, three decimals.
ratio() {
    echo "$1 $2" | awk '{printf "%.3f", $2 / $1}'
}

# What a figure was measured under: "2 processors, load 1.62".
conditions() {
    echo "$(nproc) processors, load $(cut -d' ' -f1 /proc/loadavg)"
}
