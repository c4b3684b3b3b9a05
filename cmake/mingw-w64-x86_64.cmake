# Toolchain file: cross-compile Plainwrit for 64-bit Windows (x86_64) with
# Debian's MinGW-w64 "-posix" compilers (package g++-mingw-w64-x86-64-posix).
# The real target is 32-bit Windows (see mingw-w64-i686.cmake), but 32-bit
# programs cannot run on this build machine; this 64-bit build exists so the
# Windows code paths can be tested here under wine64 (package wine64). When
# wine64 is present it becomes CMAKE_CROSSCOMPILING_EMULATOR, so ctest (and
# gtest_discover_tests) run the .exe files through it.
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#   cmake --build build-win64
#   export WINEDEBUG=-all WINEPREFIX=$(mktemp -d)
#   /usr/lib/wine/wine64 wineboot --init; /usr/lib/wine/wineserver -w
#   /usr/lib/wine/wineserver -p >/dev/null 2>&1        # start the server
#   /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1   # before ctest
#   ctest --test-dir build-win64
#   /usr/lib/wine/wineserver -k

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLE}-windres)

# The vector paths (up to AVX-512) are compiled per function and chosen at
# run time. The compilers may keep 32- and 64-byte values in stack slots that
# are only 16-byte aligned here, so the assembler turns every aligned vector
# move into an unaligned one; CI checks the .exe for any that are left.
set(CMAKE_C_FLAGS_INIT   "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# Look for headers and libraries only in the MinGW sysroot, for programs
# (code generators and the like) only on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: no libstdc++-6.dll, libgcc_s_seh-1.dll or libwinpthread-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Run the built .exe files (tests, try_run) under wine64 when it is installed.
# Debian's wine64 package puts the loader in /usr/lib/wine, not on PATH.
foreach(_wine64 /usr/lib/wine/wine64 /usr/bin/wine64)
  if(EXISTS "${_wine64}")
    set(CMAKE_CROSSCOMPILING_EMULATOR "${_wine64}")
    break()
  endif()
endforeach()
unset(_wine64)
