# Toolchain file: cross-compile Plainwrit for 32-bit Windows (i686) with
# Debian's MinGW-w64 "-posix" compilers (package g++-mingw-w64-i686-posix).
# The .exe is linked statically, so it needs only KERNEL32.dll and msvcrt.dll.
# 32-bit Windows programs cannot run on this build machine (no 32-bit Wine),
# so no emulator is set and tests of this build cannot run here: the same
# 32-bit x86 code is tested through linux-i686.cmake under qemu-i386, the
# Windows interfaces through mingw-w64-x86_64.cmake under wine64.
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
#   cmake --build build-win32

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(MINGW_TRIPLE i686-w64-mingw32)

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

# Static runtime: no libstdc++-6.dll, libgcc_s_dw2-1.dll or libwinpthread-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
