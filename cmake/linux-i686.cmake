# Toolchain file: Plainwrit for 32-bit x86 Linux (i686), with the host's GCC
# and its multilib support (packages g++-multilib, qemu-user). The code is
# the same 32-bit x86 code the Windows program runs, with no global -msse2:
# the vector paths are compiled function by function and chosen at run
# time, as there. Programs built with it run under qemu-i386 (-cpu max: an
# emulated processor with SSE2, SSSE3 and AVX2), also where the kernel runs
# no 32-bit programs itself, so ctest and gtest_discover_tests work.
#
#   cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i686.cmake
#   cmake --build build-i686 && ctest --test-dir build-i686

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER   gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT   "-m32 -march=i686")
set(CMAKE_CXX_FLAGS_INIT "-m32 -march=i686")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")

# 32-bit libraries only: the host's 64-bit ones do not link.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-i386 -cpu max)
