#!/usr/bin/env bash
# Builds the .deb from the release build, checks what it contains and that
# lintian has nothing to say about it, then installs it for real, converts the
# bundled example with /usr/bin/plainwrit, shows the manual page through man
# and removes it again. Installing needs root (CI runs as root); without root
# that part is skipped with a note. Any failure fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/release
work=$build/package-check
rm -rf "$work"
mkdir -p "$work"

echo "== .deb package"
rm -f "$build"/plainwrit_*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/plainwrit_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { echo "no .deb was made" >&2; exit 1; }
echo "made $deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = plainwrit ] || { echo "wrong package name: $(field Package)" >&2; exit 1; }
[ "$(field Version)" = 1.0 ] || { echo "wrong version: $(field Version)" >&2; exit 1; }
[ "$(field Section)" = utils ] || { echo "wrong section: $(field Section)" >&2; exit 1; }
field Depends | grep -q libc6 || { echo "no dependency on the C library" >&2; exit 1; }

dpkg-deb -x "$deb" "$work/root"
for file in usr/bin/plainwrit usr/share/man/man1/plainwrit.1.gz usr/share/doc/plainwrit/README.md \
            usr/share/doc/plainwrit/copyright usr/share/doc/plainwrit/changelog.gz \
            usr/share/doc/plainwrit/sample.html usr/share/doc/plainwrit/sample.txt; do
  [ -f "$work/root/$file" ] || { echo "missing from the package: /$file" >&2; exit 1; }
done
"$work/root/usr/bin/plainwrit" "$work/root/usr/share/doc/plainwrit/sample.html" "$work/extracted.txt"
cmp "$work/extracted.txt" examples/sample.txt

echo "== lintian: no error, no warning"
# Lintian's remark about running as root goes to stderr; tags go to stdout.
if ! tags=$(lintian --fail-on error,warning "$deb" 2>"$work/lintian.err") || [ -n "$tags" ]; then
  echo "$tags" >&2
  cat "$work/lintian.err" >&2
  exit 1
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "not root: skipping dpkg -i / dpkg -r"
  exit 0
fi
if dpkg-query -W -f='${Status}' plainwrit 2>/dev/null | grep -q 'install ok installed'; then
  echo "plainwrit is already installed from a package: leaving it alone" >&2
  exit 1
fi
trap 'dpkg -r plainwrit >/dev/null 2>&1 || true' EXIT
# Some images tell dpkg to leave manual pages out; this one must go in.
dpkg --path-include='/usr/share/man/man1/plainwrit.1.gz' -i "$deb"
/usr/bin/plainwrit /usr/share/doc/plainwrit/sample.html "$work/installed.txt"
cmp "$work/installed.txt" examples/sample.txt
[ "$(man -w plainwrit)" = /usr/share/man/man1/plainwrit.1.gz ] || { echo "man does not find plainwrit(1)" >&2; exit 1; }
page=$(MANPAGER=cat MANWIDTH=80 man plainwrit 2>&1)
grep -q 'plainwrit - convert one HTML file into a plain-text file' <<<"$page" ||
  { echo "man plainwrit does not show the page:" >&2; echo "$page" | head -20 >&2; exit 1; }
dpkg -r plainwrit
trap - EXIT
[ ! -e /usr/bin/plainwrit ] || { echo "/usr/bin/plainwrit is still there after dpkg -r" >&2; exit 1; }
echo "installed, converted the example and removed: ok"
