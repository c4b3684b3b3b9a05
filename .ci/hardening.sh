#!/usr/bin/env bash
# Checks that the release builds are hardened: the Debian packages' Linux
# program with hardening-check (PIE, stack protector, full RELRO, bind now),
# the statically linked release program by its ELF headers and symbols (which
# hardening-check cannot read), the compile commands (_FORTIFY_SOURCE,
# control-flow protection), the Windows programs by their PE headers. Run
# after the release, deb, windows-i686 and windows-x86_64 builds. Any failure
# fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== hardening of the Linux program"
program=build/deb/plainwrit
# Fortify: the program's buffers come from the heap, whose sizes the compiler
# cannot know, so no call is turned into a checked one and hardening-check
# would report none; whether it is on is read from the compile commands.
# Control flow: the C library's start files on this system are not marked,
# so the linker leaves the mark off; the instructions are checked instead.
hardening-check --nofortify --nocfprotection "$program"
commands=build/release/compile_commands.json
grep -F '"command"' "$commands" | grep -F /src/ > build/release/hardening-commands.txt
if grep -v -e '-D_FORTIFY_SOURCE=2' build/release/hardening-commands.txt ||
   grep -v -e '-fstack-protector-strong' build/release/hardening-commands.txt; then
  echo "the lines above lack _FORTIFY_SOURCE or the stack protector" >&2
  exit 1
fi
if g++ -fcf-protection -E -x c++ /dev/null >/dev/null 2>&1; then
  if grep -v -e '-fcf-protection' build/release/hardening-commands.txt; then
    echo "the lines above lack -fcf-protection" >&2
    exit 1
  fi
  [ "$(objdump -d "$program" | grep -c endbr64)" -gt 0 ] || { echo "no endbr64 in $program" >&2; exit 1; }
fi

echo "== hardening of the statically linked Linux program"
static=build/release/plainwrit
# Whole listings into variables: grep -q leaving a pipe early would fail it.
header=$(readelf -hW "$static") segments=$(readelf -lW "$static") dynamic=$(readelf -dW "$static")
symbols=$(nm "$static")
grep -q 'Type: *DYN' <<<"$header" || { echo "$static is not position-independent" >&2; exit 1; }
grep -q GNU_RELRO <<<"$segments" || { echo "$static has no read-only relocations" >&2; exit 1; }
grep -q 'FLAGS.*BIND_NOW' <<<"$dynamic" || { echo "$static is not bound at start-up" >&2; exit 1; }
grep -q __stack_chk_fail <<<"$symbols" || { echo "$static has no stack protector" >&2; exit 1; }
echo "$static: position-independent, read-only relocations, bound at start-up, stack protector"

echo "== hardening of the Windows programs"
check_pe() { # <objdump> <exe> <flag>...
  local objdump=$1 exe=$2 headers characteristics
  shift 2
  headers=$("$objdump" -p "$exe")
  characteristics=$(grep -A8 '^DllCharacteristics' <<<"$headers")
  # No link time in the header either, so that two builds compare equal.
  grep -q '^Time/Date.*Thu Jan  1 00:00:00 1970' <<<"$headers" ||
    { echo "$exe: the PE header carries a link time" >&2; exit 1; }
  for flag in "$@"; do
    grep -qw "$flag" <<<"$characteristics" ||
      { echo "$exe: no $flag" >&2; exit 1; }
  done
  echo "$exe: $*"
}
check_pe i686-w64-mingw32-objdump build/windows-i686/plainwrit.exe DYNAMIC_BASE NX_COMPAT
check_pe x86_64-w64-mingw32-objdump build/windows-x86_64/plainwrit.exe DYNAMIC_BASE NX_COMPAT HIGH_ENTROPY_VA
