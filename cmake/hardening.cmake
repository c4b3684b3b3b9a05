# Hardening of every build that does not use a sanitizer, as Debian's build
# flags would make it: a stack protector, checked libc calls, stack clash and
# control-flow protection where the compiler has them, and a read-only GOT
# bound at start-up. Windows builds get a relocatable image, a non-executable
# stack and heap, and on 64 bits addresses from the whole address space.
# Turn it off only to measure what it costs (the bench preset keeps it).
option(PLAINWRIT_HARDENING "Build with stack protection, _FORTIFY_SOURCE and full RELRO" ON)

if(NOT PLAINWRIT_HARDENING OR PLAINWRIT_SANITIZE OR PLAINWRIT_BUILD_FUZZERS)
  return()
endif()

include(CheckCXXCompilerFlag)

if(WIN32)
  add_link_options(LINKER:--dynamicbase LINKER:--nxcompat)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_link_options(LINKER:--high-entropy-va)
  endif()
  return()
endif()

add_compile_options(-fstack-protector-strong)
foreach(flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "PLAINWRIT_HAS${flag}" have)
  check_cxx_compiler_flag(${flag} ${have})
  if(${have})
    add_compile_options(${flag})
  endif()
endforeach()
# _FORTIFY_SOURCE does nothing, and glibc warns, without optimisation. An
# earlier definition (a distribution's CPPFLAGS) gives way to this one.
add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
add_link_options(LINKER:-z,relro LINKER:-z,now)
