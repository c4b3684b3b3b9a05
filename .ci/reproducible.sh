#!/usr/bin/env bash
# Builds what is packaged a second time, from a copy of the tree in another
# folder, later, with another umask and in another time zone, and compares the three .deb
# packages (program, shared library, development files), the Windows .zip and the programs
# byte for byte with the first build's. Run after .ci/package.sh and .ci/windows-zip.sh.
# Any failure fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== reproducible: a second build from another folder compares equal"
first_debs=(build/deb/plainwrit_*.deb build/deb/libplainwrit1_*.deb build/deb/libplainwrit-dev_*.deb)
first_zip=(build/windows-i686/plainwrit-*-win32.zip)
for file in "${first_debs[@]}" "${first_zip[0]}"; do
  [ -f "$file" ] || { echo "no first build of $file" >&2; exit 1; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The tracked files as they are now; the copy has no history, so it is given
# the time of the last commit, which the first build took from git itself.
second=$scratch/a/longer/path/to/plainwrit
mkdir -p "$second"
git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$second"
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
(
  umask 0002
  export TZ=JST-9
  cd "$second"
  cmake --workflow --preset release >/dev/null
  cmake --workflow --preset deb >/dev/null
  (cd build/deb && cpack -G DEB >/dev/null)
  cmake --workflow --preset windows-i686 >/dev/null
  (cd build/windows-i686 && cpack -G ZIP >/dev/null)
)

status=0
for file in "${first_debs[@]}" "${first_zip[0]}" build/release/plainwrit build/deb/plainwrit \
  build/windows-i686/plainwrit.exe; do
  if cmp "$file" "$second/$file"; then
    echo "same: $file ($(md5sum <"$file" | cut -c1-32))"
  else
    status=1
    case $file in
      *.deb) diff <(dpkg-deb -c "$file"; dpkg-deb -I "$file") \
                  <(dpkg-deb -c "$second/$file"; dpkg-deb -I "$second/$file") >&2 || true ;;
      *.zip) diff <(unzip -Zv "$file") <(unzip -Zv "$second/$file") >&2 || true ;;
    esac
  fi
done
exit $status
