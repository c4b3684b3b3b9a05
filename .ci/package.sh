#!/usr/bin/env bash
# Builds the three .deb packages from the deb preset's build (the release
# build with the program on the shared C library): the program, the
# shared library, and the files to build against it; checks their fields,
# what they contain and that lintian has nothing to say about any of them,
# then installs all three for real, converts the bundled example with
# /usr/bin/plainwrit, shows the manual page through man, builds
# examples/convert.c against the installed library through pkg-config and
# removes them again. Installing needs root (CI runs as root); without root
# that part is skipped with a note. Any failure fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/deb
work=$build/package-check
rm -rf "$work"
mkdir -p "$work"

echo "== .deb packages"
cmake --workflow --preset deb >/dev/null
# The libraries live in the architecture's own folder (lib/x86_64-linux-gnu).
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB)
deb=$build/plainwrit_1.0_amd64.deb
lib=$build/libplainwrit1_1.0_amd64.deb
dev=$build/libplainwrit-dev_1.0_amd64.deb
all=("$deb" "$lib" "$dev")
for package in "${all[@]}"; do
  [ -f "$package" ] || { echo "no $package was made" >&2; exit 1; }
done
[ "$(find "$build" -maxdepth 1 -name '*.deb' | wc -l)" -eq 3 ] || { echo "more than three .deb made" >&2; exit 1; }
echo "made ${all[*]}"

# field <package> <name> <expected>
field() {
  local got
  got=$(dpkg-deb -f "$1" "$2")
  [ "$got" = "$3" ] || { echo "$(basename "$1"): $2 is '$got', not '$3'" >&2; exit 1; }
}
field "$deb" Package plainwrit
field "$deb" Section utils
field "$lib" Package libplainwrit1
field "$lib" Section libs
field "$dev" Package libplainwrit-dev
field "$dev" Section libdevel
field "$dev" Depends "libplainwrit1 (= 1.0)"
for package in "${all[@]}"; do
  field "$package" Version 1.0
done
dpkg-deb -f "$deb" Depends | grep -q libc6 || { echo "plainwrit: no dependency on the C library" >&2; exit 1; }
dpkg-deb -f "$lib" Depends | grep -q libc6 || { echo "libplainwrit1: no dependency on the C library" >&2; exit 1; }

# The library's control files: shlibs and the symbols file from the tree,
# the ldconfig trigger, and no maintainer script calling ldconfig.
dpkg-deb -e "$lib" "$work/lib-control"
cmp "$work/lib-control/symbols" packaging/libplainwrit1.symbols
grep -qx 'libplainwrit 1 libplainwrit1 (= 1.0)' "$work/lib-control/shlibs" ||
  { echo "libplainwrit1: wrong shlibs: $(cat "$work/lib-control/shlibs")" >&2; exit 1; }
grep -qx 'activate-noawait ldconfig' "$work/lib-control/triggers" ||
  { echo "libplainwrit1: no ldconfig trigger" >&2; exit 1; }
for script in postinst postrm preinst prerm; do
  [ ! -e "$work/lib-control/$script" ] || { echo "libplainwrit1: unexpected $script" >&2; exit 1; }
done

# contains <package> <file>...: each file, and nothing that is not a folder
# besides them.
contains() {
  local package=$1 name
  shift
  name=$(dpkg-deb -f "$package" Package)
  dpkg-deb -x "$package" "$work/$name"
  diff -u <(printf '%s\n' "$@" "usr/share/doc/$name/copyright" "usr/share/doc/$name/changelog.gz" | sort) \
    <(cd "$work/$name" && find . ! -type d | sed 's|^\./||' | sort) ||
    { echo "$name: not the expected files" >&2; exit 1; }
}
contains "$deb" usr/bin/plainwrit usr/share/man/man1/plainwrit.1.gz usr/share/doc/plainwrit/README.md \
  usr/share/doc/plainwrit/sample.html usr/share/doc/plainwrit/sample.txt
contains "$lib" usr/lib/$multiarch/libplainwrit.so.1 usr/lib/$multiarch/libplainwrit.so.1.0
contains "$dev" usr/lib/$multiarch/libplainwrit.so usr/lib/$multiarch/libplainwrit.a usr/include/plainwrit.h \
  usr/include/plainwrit_version.h usr/lib/$multiarch/pkgconfig/plainwrit.pc usr/share/man/man3/plainwrit.3.gz \
  usr/lib/$multiarch/cmake/Plainwrit/PlainwritConfig.cmake \
  usr/lib/$multiarch/cmake/Plainwrit/PlainwritConfigVersion.cmake \
  usr/lib/$multiarch/cmake/Plainwrit/PlainwritTargets.cmake \
  usr/lib/$multiarch/cmake/Plainwrit/PlainwritTargets-release.cmake
[ "$(readlink "$work/libplainwrit1/usr/lib/$multiarch/libplainwrit.so.1")" = libplainwrit.so.1.0 ]
[ "$(readlink "$work/libplainwrit-dev/usr/lib/$multiarch/libplainwrit.so")" = libplainwrit.so.1 ]
"$work/plainwrit/usr/bin/plainwrit" "$work/plainwrit/usr/share/doc/plainwrit/sample.html" "$work/extracted.txt"
cmp "$work/extracted.txt" examples/sample.txt

echo "== lintian: no error, no warning, nothing at all"
# Lintian's remark about running as root goes to stderr; tags go to stdout.
for package in "${all[@]}"; do
  if ! tags=$(lintian --fail-on error,warning "$package" 2>"$work/lintian.err") || [ -n "$tags" ]; then
    echo "$(basename "$package"):" >&2
    echo "$tags" >&2
    cat "$work/lintian.err" >&2
    exit 1
  fi
done

if [ "$(id -u)" -ne 0 ]; then
  echo "not root: skipping dpkg -i / dpkg -r"
  exit 0
fi
for name in plainwrit libplainwrit1 libplainwrit-dev; do
  if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'install ok installed'; then
    echo "$name is already installed from a package: leaving it alone" >&2
    exit 1
  fi
done
trap 'dpkg -r libplainwrit-dev libplainwrit1 plainwrit >/dev/null 2>&1 || true' EXIT
# Some images tell dpkg to leave manual pages out; these must go in.
dpkg --path-include='/usr/share/man/man1/plainwrit.1.gz' --path-include='/usr/share/man/man3/plainwrit.3.gz' \
  -i "${all[@]}"
/usr/bin/plainwrit /usr/share/doc/plainwrit/sample.html "$work/installed.txt"
cmp "$work/installed.txt" examples/sample.txt
[ "$(man -w plainwrit)" = /usr/share/man/man1/plainwrit.1.gz ] || { echo "man does not find plainwrit(1)" >&2; exit 1; }
page=$(MANPAGER=cat MANWIDTH=80 man plainwrit 2>&1)
grep -q 'plainwrit - convert one HTML file into a plain-text file' <<<"$page" ||
  { echo "man plainwrit does not show the page:" >&2; echo "$page" | head -20 >&2; exit 1; }
[ "$(man -w 3 plainwrit)" = /usr/share/man/man3/plainwrit.3.gz ] || { echo "man does not find plainwrit(3)" >&2; exit 1; }

# A C program against the installed packages, as a user of the -dev package
# builds it: through pkg-config, found in the system's own search path, and
# run with the library found by the dynamic loader alone.
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror $(pkg-config --cflags plainwrit) examples/convert.c \
  $(pkg-config --libs plainwrit) -o "$work/convert"
# (With /lib a link to /usr/lib, the loader may name either.)
libraries=$(ldd "$work/convert")
grep -Eq "=> (/usr)?/lib/$multiarch/libplainwrit\\.so\\.1 " <<<"$libraries" ||
  { echo "convert does not use /usr/lib/$multiarch/libplainwrit.so.1:" >&2; echo "$libraries" >&2; exit 1; }
"$work/convert" examples/sample.html >"$work/convert.txt"
cmp "$work/convert.txt" examples/sample.txt

dpkg -r libplainwrit-dev libplainwrit1 plainwrit
trap - EXIT
for file in /usr/bin/plainwrit /usr/lib/$multiarch/libplainwrit.so.1 /usr/lib/$multiarch/libplainwrit.so /usr/include/plainwrit.h; do
  [ ! -e "$file" ] || { echo "$file is still there after dpkg -r" >&2; exit 1; }
done
echo "installed, converted the example with the program and a C program against the library, and removed: ok"
