#!/usr/bin/env bash
# N generated pages of 10 KB converted (a) by running the program once per
# file, (b) through plainwrit_convert_file in one process, (c) through
# plainwrit_convert in memory; beside them, in the same run, cp once per file
# and memcpy of the same bytes. Prints files per second.
#
#   bench/library.sh [N]        (default 1000; needs the bench preset built)
set -euo pipefail
cd "$(dirname "$0")/.."

n=${1:-1000}
build=build/bench
program=$build/plainwrit
files=$build/bench/library_files
if ! [ -x "$program" ] || ! [ -x "$files" ]; then
    echo "build first: cmake --workflow --preset bench" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$files" write "$work" "$n"

# Files per second of a shell loop running one command per file.
perFile() {
    local start end i
    start=$(date +%s%N)
    for ((i = 0; i < n; i++)); do "$@" "$work/page$i.html" "$work/out$i.txt" >/dev/null; done
    end=$(date +%s%N)
    awk -v n="$n" -v ns=$((end - start)) 'BEGIN { printf "%.0f", n / (ns / 1e9) }'
}

perFile cp >/dev/null  # warm the page cache
cpRate=$(perFile cp)
programRate=$(perFile "$program")
fileRate=$("$files" file "$work" "$n" | awk '{ print $2 }')
memory=$("$files" memory "$work" "$n")
memoryRate=$(awk '/^memory/ { print $2 }' <<<"$memory")
memcpyRate=$(awk '/^memcpy/ { print $2 }' <<<"$memory")

echo "$n files of 10240 bytes, files per second"
printf '  %-34s %12s\n' "cp, one process per file" "$cpRate"
printf '  %-34s %12s\n' "(a) plainwrit, one process per file" "$programRate"
printf '  %-34s %12s  %6.0f x (a)\n' "(b) plainwrit_convert_file" "$fileRate" \
    "$(awk -v a="$programRate" -v b="$fileRate" 'BEGIN { print b / a }')"
printf '  %-34s %12s  %6.0f x (a)\n' "(c) plainwrit_convert" "$memoryRate" \
    "$(awk -v a="$programRate" -v b="$memoryRate" 'BEGIN { print b / a }')"
printf '  %-34s %12s\n' "memcpy of the same pages" "$memcpyRate"
