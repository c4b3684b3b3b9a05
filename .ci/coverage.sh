#!/usr/bin/env bash
# The coverage gate: builds the test suite with gcc --coverage (the coverage
# preset), runs it, and fails unless every line and every branch of src/ that
# is built on this machine was run. Prints the per-file tables of lines and
# branches. A line or branch that cannot run here (another platform's half, an
# instruction set this processor lacks) carries a GCOVR_EXCL marker with its
# reason beside it; nothing else is excluded.
set -euo pipefail
cd "$(dirname "$0")/.."

# Counts from an earlier run would cover for code that no longer runs.
if [ -d build/coverage ]; then find build/coverage -name '*.gcda' -delete; fi
# The AVX-512 ways are built only where this processor can run them all; on
# any other, none of their lines could run.
avx512=ON
for flag in avx512f avx512bw avx512_vbmi2; do
  grep -qw "$flag" /proc/cpuinfo || avx512=OFF
done
echo "AVX-512 ways built and measured: $avx512"
cmake --preset coverage -DPLAINWRIT_AVX512=$avx512
cmake --build --preset coverage
ctest --preset coverage

report=build/coverage/coverage.json
gcovr --root . --filter 'src/' --object-directory build/coverage \
  --exclude-unreachable-branches --exclude-throw-branches --json "$report"
echo "== lines of src/"
gcovr --add-tracefile "$report" --txt
echo "== branches of src/"
gcovr --add-tracefile "$report" --txt --branches \
  --fail-under-line 100 --fail-under-branch 100 || {
  echo "coverage of src/ is below 100%: the 'Missing' column lists the lines" >&2
  exit 1
}
