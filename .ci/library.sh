#!/usr/bin/env bash
# The library from outside the tree: the shared library exports exactly the
# names in .ci/exports.txt (a change of the interface must change that list),
# then the release build's library is installed into a scratch prefix, and
# examples/convert.c is built against it through the CMake package and through
# pkg-config as C99 with every warning an error; both builds and the Python
# example convert the bundled page into its stored text; with the
# windows-x86_64 build, the C program against its DLL under wine64 too.
# Needs the release build. Any failure fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== the library: exported names, and a C and a Python user of the installed tree"
build=$PWD/build/release
so=$build/libplainwrit.so.1
[ "$(readelf -d "$so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')" = libplainwrit.so.1 ]
diff -u .ci/exports.txt <(nm -D --defined-only "$so" | awk '{print $3}' | sort)
# The static library's own global names, too, begin with plainwrit_ where
# a user can call them.
nm -g --defined-only "$build/libplainwrit.a" | awk '$2 == "T" {print $3}' | grep '^plainwrit_' | sort |
  diff -u .ci/exports.txt -

scratch=$build/library-check
rm -rf "$scratch" && mkdir -p "$scratch"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" --component library
cmake --install "$build" --prefix "$prefix" --component development

libdir=$(dirname "$(find "$prefix" -name libplainwrit.so.1)")

# Through the CMake package.
mkdir -p "$scratch/cmake-user"
cat >"$scratch/cmake-user/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.16)
project(plainwrit_user C)
find_package(Plainwrit 1.0 REQUIRED)
add_executable(convert_shared "$PWD/examples/convert.c")
target_link_libraries(convert_shared PRIVATE Plainwrit::plainwrit)
add_executable(convert_static "$PWD/examples/convert.c")
target_link_libraries(convert_static PRIVATE Plainwrit::plainwrit_static stdc++)
foreach(target convert_shared convert_static)
  set_target_properties(\${target} PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
  target_compile_options(\${target} PRIVATE -Wall -Wextra -Werror)
endforeach()
CMAKE
cmake -S "$scratch/cmake-user" -B "$scratch/cmake-user/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/cmake-user/build" -j2 >/dev/null
"$scratch/cmake-user/build/convert_shared" examples/sample.html >"$scratch/cmake-shared.txt"
cmp "$scratch/cmake-shared.txt" examples/sample.txt
"$scratch/cmake-user/build/convert_static" examples/sample.html >"$scratch/cmake-static.txt"
cmp "$scratch/cmake-static.txt" examples/sample.txt
# The shared build uses the installed .so, not a copy of the code.
# (ldd's list is read whole first: grep -q stopping early would fail the pipe.)
libraries=$(ldd "$scratch/cmake-user/build/convert_shared")
grep -qF "$libdir/libplainwrit.so.1" <<<"$libraries"

# Through pkg-config.
export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion plainwrit)" = "$(sed -n 's/.*VERSION_STRING "\(.*\)"/\1/p' \
  "$prefix/include/plainwrit_version.h")" ]
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror $(pkg-config --cflags plainwrit) examples/convert.c \
  $(pkg-config --libs plainwrit) -o "$scratch/convert_pc"
LD_LIBRARY_PATH=$libdir "$scratch/convert_pc" examples/sample.html >"$scratch/pc.txt"
cmp "$scratch/pc.txt" examples/sample.txt

# The Python example, through ctypes, against the installed .so.
python3 examples/convert.py examples/sample.html "$libdir/libplainwrit.so.1" >"$scratch/py.txt"
cmp "$scratch/py.txt" examples/sample.txt
echo "library: exports, CMake package (shared and static), pkg-config and Python ok"

# The same C program against the 64-bit DLL under wine64, when that build is
# there. Its standard output is in text mode, which writes each LF of the
# CR LF lines as CR LF once more; that CR is taken off before comparing.
win=$PWD/build/windows-x86_64
if [ -f "$win/plainwrit.dll" ] && [ -x /usr/lib/wine/wine64 ]; then
  x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -Wextra -Werror -Iinclude -I"$win/include" \
    examples/convert.c "$win/libplainwrit.dll.a" -o "$scratch/convert.exe"
  cp "$win/plainwrit.dll" "$scratch/"
  WINEDEBUG=-all /usr/lib/wine/wine64 "$scratch/convert.exe" examples/sample.html |
    sed 's/\r\r$/\r/' >"$scratch/wine.txt"
  cmp "$scratch/wine.txt" examples/sample.txt
  echo "library: the C program against plainwrit.dll under wine64 ok"
fi
