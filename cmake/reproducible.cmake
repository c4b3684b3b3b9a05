# Release builds give the same bytes whatever folder they are built in: file
# names in the objects lose the source and build folders, and a Windows image
# carries no link time (PE timestamp 0).
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  # The more specific map goes last: the compiler tries the last one first.
  add_compile_options(
    "$<$<CONFIG:Release,MinSizeRel>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=>"
    "$<$<CONFIG:Release,MinSizeRel>:-ffile-prefix-map=${PROJECT_BINARY_DIR}/=>")
endif()
if(WIN32 AND MINGW)
  add_link_options(LINKER:--no-insert-timestamp)
endif()
