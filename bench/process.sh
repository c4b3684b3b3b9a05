#!/usr/bin/env bash
# Times the whole program on the generated 3 MiB page against cp of the same
# file, in the same run, and shows its peak resident memory and page faults.
#
#   bench/process.sh [runs]        (default 21 runs; needs the bench preset built)
#   PLAINWRIT_PROGRAM=path bench/process.sh   times another build of the program
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
page=$work/page.html
"$bench" --write-page="$page"

# Wall time of one command in milliseconds, to a tenth.
millis() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(((end - start) / 100000)) | sed 's/\(.\)$/.\1/; s/^\./0./'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$work/plainwrit.ms"
: >"$work/cp.ms"
"$program" "$page" "$work/out.txt" >/dev/null # warm the page cache and the binary
for ((i = 0; i < runs; i++)); do
    millis cp "$page" "$work/copy.html" >>"$work/cp.ms"
    millis "$program" "$page" "$work/out.txt" >>"$work/plainwrit.ms"
done
cpMs=$(median <"$work/cp.ms")
plainwritMs=$(median <"$work/plainwrit.ms")
echo "input: $(stat -c %s "$page") bytes, $runs runs, median wall time"
echo "  cp         $cpMs ms"
echo "  plainwrit  $plainwritMs ms  ($(awk -v a="$plainwritMs" -v b="$cpMs" 'BEGIN { printf "%.2f", a / b }') x cp)"

# Peak memory and faults, from GNU time's verbose report.
report() {
    /usr/bin/time -v "$@" 2>&1 >/dev/null |
        awk -F': ' '/Maximum resident/ { rss = $2 } /Minor/ { minor = $2 } /Major/ { major = $2 }
                    END { printf "peak RSS %d KiB, page faults %d minor, %d major\n", rss, minor, major }'
}
echo "  cp         $(report cp "$page" "$work/copy.html")"
echo "  plainwrit  $(report "$program" "$page" "$work/out.txt")"
echo "  limit      peak RSS under $(((2 * 3145728 + 2097152) / 1024)) KiB"
