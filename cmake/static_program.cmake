# The program with the C library linked in (-static-pie): a run then starts
# without the loader mapping and relocating shared libraries, which is much
# of the time for a small file (bench/README.md has the figures). It stays
# position-independent, with its relocations read-only after start-up.
# The Debian packages keep the shared C library, as Debian asks, so that the
# system's security fixes reach the program: their preset (deb) turns this
# off, and so does the test preset, whose program valgrind checks (valgrind
# cannot follow the heap of a static program). Builds with sanitizers or
# fuzzing hooks, and builds for other systems, link as usual.
option(PLAINWRIT_STATIC_PROGRAM "Link the program with the C library built in: it starts faster" ON)

if(NOT PLAINWRIT_STATIC_PROGRAM OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR PLAINWRIT_SANITIZE
   OR PLAINWRIT_SANITIZE_THREADS OR PLAINWRIT_BUILD_FUZZERS)
  return()
endif()

include(CheckLinkerFlag)
check_linker_flag(CXX -static-pie PLAINWRIT_CAN_LINK_STATIC_PIE)
if(PLAINWRIT_CAN_LINK_STATIC_PIE)
  target_link_options(plainwrit PRIVATE -static-pie)
endif()
