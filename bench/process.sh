#!/usr/bin/env bash
# Times the whole program against cp of the same file, in the same run, on
# the generated page at the read limit (3 MiB) and at 100 KiB, and shows its
# peak resident memory and page faults.
#
#   bench/process.sh [runs]        (default 21 runs; needs the bench preset built)
#   PLAINWRIT_PROGRAM=path bench/process.sh   times another build of the program
#
# Wall time comes from the shell's own clock, so no timer process is counted.
# On a shared machine wall time also holds the wait for a free core; CPU time
# (from perf, where it is installed) does not. Each timed run writes a new
# file: emptying the output of the run before waits until the disk has taken
# that output, which would time the disk rather than the program.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-21}
build=build/bench
program=${PLAINWRIT_PROGRAM:-$build/plainwrit}
bench=$build/bench/plainwrit_bench
[ -x "$program" ] && [ -x "$bench" ] || {
    echo "build first: cmake --workflow --preset bench" >&2
    exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Wall time of one command in milliseconds, to a hundredth.
millis() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1
    local end=$EPOCHREALTIME
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f\n", (b - a) * 1000 }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# CPU time of one command in milliseconds, or "-" without perf.
cpuMillis() {
    command -v perf >/dev/null || {
        echo -
        return
    }
    perf stat -x, -e task-clock "$@" 2>&1 >/dev/null | awk -F, '/task-clock/ { printf "%.2f\n", $1 }'
}

# Peak memory and faults, from GNU time's verbose report.
report() {
    /usr/bin/time -v "$@" 2>&1 >/dev/null |
        awk -F': ' '/Maximum resident/ { rss = $2 } /Minor/ { minor = $2 } /Major/ { major = $2 }
                    END { printf "peak RSS %d KiB, page faults %d minor, %d major\n", rss, minor, major }'
}

# Appends one timing of cp or of the program to its list: "ms" wall time,
# "cpu" CPU time.
timeOne() {
    local how=$1 who=$2 page=$3 clock=millis
    [ "$how" = ms ] || clock=cpuMillis
    if [ "$who" = cp ]; then
        "$clock" cp "$page" "$work/copy.html"
    else
        "$clock" "$program" "$page" "$work/out.txt"
    fi >>"$work/$who.$how"
}

measure() {
    local page=$1 target=$2 name
    for name in plainwrit.ms cp.ms plainwrit.cpu cp.cpu; do : >"$work/$name"; done
    "$program" "$page" "$work/out.txt" >/dev/null # warm the page cache and the binary
    cp "$page" "$work/copy.html"
    # The one of each pair that runs second is slower by up to a tenth here
    # (the first one's output is still being taken by the system), so the
    # two take turns at going first.
    local order who how
    for ((i = 0; i < runs; i++)); do
        order=(cp plainwrit)
        ((i % 2 == 0)) || order=(plainwrit cp)
        for how in ms cpu; do
            rm -f "$work/copy.html" "$work/out.txt"
            for who in "${order[@]}"; do timeOne "$how" "$who" "$page"; done
        done
    done
    local cpMs plainwritMs cpCpu plainwritCpu
    cpMs=$(median <"$work/cp.ms")
    plainwritMs=$(median <"$work/plainwrit.ms")
    cpCpu=$(median <"$work/cp.cpu")
    plainwritCpu=$(median <"$work/plainwrit.cpu")
    echo "input: $(stat -c %s "$page") bytes, $runs runs; medians of wall and of CPU time"
    echo "  cp         $cpMs ms wall, $cpCpu ms CPU"
    if [ "$cpCpu" = - ]; then
        echo "  plainwrit  $plainwritMs ms wall ($(ratio "$plainwritMs" "$cpMs") x cp; target $target)"
    else
        echo "  plainwrit  $plainwritMs ms wall ($(ratio "$plainwritMs" "$cpMs") x cp; target $target)," \
            "$plainwritCpu ms CPU ($(ratio "$plainwritCpu" "$cpCpu") x cp)"
    fi
    echo "  cp         $(report cp "$page" "$work/copy.html")"
    echo "  plainwrit  $(report "$program" "$page" "$work/out.txt")"
}

"$bench" --write-page="$work/page.html"
"$bench" --write-page="$work/small.html" --page-bytes=102400
measure "$work/page.html" 1.00
echo "  limit      peak RSS under $(((2 * 3145728 + 2097152) / 1024)) KiB"
measure "$work/small.html" 0.80
