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

# Wall-clock and processor seconds (user and system, all threads) of one command: "wall cpu".
# The command's output is discarded; a command that fails ends the benchmark with its
# messages, since its time would be no figure. On a shared machine the processor time of a
# run that is bound by the processor varies less than its wall-clock time.
wall_and_cpu() {
    local TIMEFORMAT='%R %U %S' log times
    log=$(mktemp)
    if ! times=$({ time "$@" >/dev/null 2>"$log"; } 2>&1); then
        echo "failed: $*" >&2
        cat "$log" >&2
        rm -f "$log"
        exit 1
    fi
    rm -f "$log"
    echo "$times" | awk '{print $1, $2 + $3}'
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
