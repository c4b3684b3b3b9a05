#!/usr/bin/env bash
# Makes the Windows .zip from the windows-i686 build and checks what a user
# finds in it (tests/windows_zip_test.cmake), and that its program is the
# build's, stripped. Any failure fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== Windows .zip"
build=build/windows-i686
rm -f "$build"/plainwrit-*-win32.zip
(cd "$build" && cpack -G ZIP)
zips=("$build"/plainwrit-*-win32.zip)
zip=${zips[0]}
[ -f "$zip" ] || { echo "no .zip was made" >&2; exit 1; }
folder=$(basename "$zip" .zip)
scratch=$build/zip-check
cmake -DZIP="$zip" -DFOLDER="$folder" -DSOURCE_DIR="$PWD" -DSCRATCH="$scratch" \
  -P tests/windows_zip_test.cmake
# The packed program: the build's, without its symbols (strip dates the image
# SOURCE_DATE_EPOCH, which cpack takes from the last commit).
rm -rf "$scratch" && mkdir -p "$scratch"
(cd "$scratch" && cmake -E tar xf "../$(basename "$zip")" "$folder/plainwrit.exe")
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)} \
  i686-w64-mingw32-strip -o "$scratch/stripped.exe" "$build/plainwrit.exe"
cmp "$scratch/$folder/plainwrit.exe" "$scratch/stripped.exe"
i686-w64-mingw32-objdump -t "$scratch/$folder/plainwrit.exe" | grep -q 'no symbols' ||
  { echo "the packed plainwrit.exe is not stripped" >&2; exit 1; }
rm -rf "$scratch"
# Each DLL exports the names of the Linux library and the UTF-16 file call,
# and nothing else.
for dll in build/windows-i686/plainwrit.dll build/windows-x86_64/plainwrit.dll; do
  [ -f "$dll" ] || continue
  diff -u <(sort .ci/exports.txt - <<<plainwrit_convert_file_w) \
    <(objdump -p "$dll" | sed -n '/Ordinal\/Name Pointer/,/^$/p' | awk '/^\t\[/ {print $3}' | sort)
done
echo "$zip: $(unzip -Z1 "$zip" 2>/dev/null | tr '\n' ' ' || true)ok"
