#!/usr/bin/env bash
# Times the whole program against cp of the same file, in the same run, on
# the generated page at the read limit (3 MiB) and at 100 KiB, and shows its
# peak resident memory and page faults. Beside them, the floor: a program
# that only reads the input and writes as many bytes as the output holds,
# through its own memory as the program must (cp copies inside the system).
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
floor=$build/bench/read_write_floor
if ! [ -x "$program" ] || ! [ -x "$bench" ] || ! [ -x "$floor" ]; then
    echo "build first: cmake --workflow --preset bench" >&2
    exit 1
fi

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

# Appends one timing of cp, the program or the floor to its list: "ms" wall
# time, "cpu" CPU time.
timeOne() {
    local how=$1 who=$2 page=$3 clock=millis
    [ "$how" = ms ] || clock=cpuMillis
    case $who in
    cp) "$clock" cp "$page" "$work/copy.html" ;;
    plainwrit) "$clock" "$program" "$page" "$work/out.txt" ;;
    floor) "$clock" "$floor" "$page" "$work/floor.txt" "$outputBytes" ;;
    esac >>"$work/$who.$how"
}

measure() {
    local page=$1 target=$2 name
    for name in plainwrit.ms cp.ms floor.ms plainwrit.cpu cp.cpu floor.cpu; do : >"$work/$name"; done
    "$program" "$page" "$work/out.txt" >/dev/null # warm the page cache and the binary
    outputBytes=$(stat -c %s "$work/out.txt")
    cp "$page" "$work/copy.html"
    # A run just after one that wrote a file is slower by up to a tenth here
    # (that output is still being taken by the system), so the order rotates.
    local order who how
    for ((i = 0; i < runs; i++)); do
        case $((i % 3)) in
        0) order=(cp plainwrit floor) ;;
        1) order=(plainwrit floor cp) ;;
        *) order=(floor cp plainwrit) ;;
        esac
        for how in ms cpu; do
            rm -f "$work/copy.html" "$work/out.txt" "$work/floor.txt"
            for who in "${order[@]}"; do timeOne "$how" "$who" "$page"; done
        done
    done
    local cpMs cpCpu
    cpMs=$(median <"$work/cp.ms")
    cpCpu=$(median <"$work/cp.cpu")
    echo "input: $(stat -c %s "$page") bytes, output $outputBytes bytes, $runs runs; medians of wall and of CPU time"
    echo "  cp         $cpMs ms wall, $cpCpu ms CPU"
    local ms cpu label
    for who in plainwrit floor; do
        ms=$(median <"$work/$who.ms")
        cpu=$(median <"$work/$who.cpu")
        label="$who x cp"
        [ "$who" = floor ] && label="x cp: read and write only"
        [ "$who" = plainwrit ] && label="x cp; target $target"
        if [ "$cpCpu" = - ]; then
            printf '  %-10s %s ms wall (%s %s)\n' "$who" "$ms" "$(ratio "$ms" "$cpMs")" "$label"
        else
            printf '  %-10s %s ms wall (%s %s), %s ms CPU (%s x cp)\n' "$who" "$ms" \
                "$(ratio "$ms" "$cpMs")" "$label" "$cpu" "$(ratio "$cpu" "$cpCpu")"
        fi
    done
    echo "  cp         $(report cp "$page" "$work/copy.html")"
    echo "  plainwrit  $(report "$program" "$page" "$work/out.txt")"
}

"$bench" --write-page="$work/page.html"
"$bench" --write-page="$work/small.html" --page-bytes=102400
measure "$work/page.html" 1.00
echo "  limit      peak RSS under $(((2 * 3145728 + 2097152) / 1024)) KiB"
measure "$work/small.html" 0.80
