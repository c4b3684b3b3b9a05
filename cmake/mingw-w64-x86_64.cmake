# Toolchain file: cross-compile Plainwrit for 64-bit Windows (x86_64) with
# Debian's MinGW-w64 "-posix" compilers (package g++-mingw-w64-x86-64-posix).
# The real target is 32-bit Windows (see mingw-w64-i686.cmake); this 64-bit
# build exists so that the Windows code paths can be tested on this Linux
# machine under wine64 (package wine64): when wine64 is present it is set as
# CMAKE_CROSSCOMPILING_EMULATOR, so ctest runs the .exe files through it.
# Start the wine server before ctest (see the project's notes on testing).
#
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#   cmake --build build-win64 && ctest --test-dir build-win64

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLE}-windres)

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
