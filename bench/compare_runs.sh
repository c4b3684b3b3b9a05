#!/usr/bin/env bash
# Times whole runs of several builds of the program, and cp, on one file:
# medians and minima of wall time. The order rotates every round, since a
# run just after one that wrote a large file can be slower, whoever ran it.
#
#   bench/compare_runs.sh rounds file program...
#   e.g. bench/compare_runs.sh 200 page.html old/plainwrit build/bench/plainwrit
set -euo pipefail

[ $# -ge 3 ] || {
    echo "usage: $0 rounds file program..." >&2
    exit 1
}
rounds=$1
file=$2
shift 2
programs=(cp "$@")
count=${#programs[@]}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for ((round = 0; round < rounds; round++)); do
    for ((k = 0; k < count; k++)); do
        index=$(((round + k) % count))
        program=${programs[$index]}
        rm -f "$work/out"
        start=$EPOCHREALTIME
        if ((index == 0)); then
            cp "$file" "$work/out"
        else
            "$program" "$file" "$work/out" >/dev/null
        fi
        end=$EPOCHREALTIME
        awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", (b - a) * 1000 }' >>"$work/$index.ms"
    done
done

for ((index = 0; index < count; index++)); do
    sort -n "$work/$index.ms" | awk -v name="${programs[$index]}" \
        '{ v[NR] = $1 } END { printf "%-40s median %.3f ms, min %.3f ms\n", name, v[int((NR + 1) / 2)], v[1] }'
done
