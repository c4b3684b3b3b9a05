# The library as users install it: libplainwrit.so.1 (plainwrit.dll with its
# import library on Windows) exporting the plainwrit_ names alone, the static
# library libplainwrit.a, the header, a CMake package (find_package(Plainwrit)
# gives Plainwrit::plainwrit, the shared library, and
# Plainwrit::plainwrit_static) and plainwrit.pc. Installed as two components
# that a plain install leaves out, each a .deb of its own: "library", the
# shared library alone (libplainwrit1), and "development", everything a
# program built against it needs (libplainwrit-dev):
#   cmake --install <build> --component library
#   cmake --install <build> --component development
# The Windows .zip holds the DLL, both libraries and the header as well.
# The program itself links plainwrit_core, the same sources built statically.
option(PLAINWRIT_BUILD_LIBRARY "Build the shared and static library for installation" ON)
if(NOT PLAINWRIT_BUILD_LIBRARY)
  return()
endif()

get_target_property(library_sources plainwrit_core SOURCES)
set(library_headers include/plainwrit.h "${PROJECT_BINARY_DIR}/include/plainwrit_version.h")

add_library(plainwrit_shared SHARED ${library_sources})
add_library(plainwrit_static STATIC ${library_sources})
foreach(target plainwrit_shared plainwrit_static)
  target_include_directories(${target}
    PRIVATE src
    PUBLIC "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include;${PROJECT_BINARY_DIR}/include>"
           "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
  target_compile_definitions(${target} PRIVATE PLAINWRIT_BUILDING_LIBRARY)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME plainwrit
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endforeach()
target_compile_definitions(plainwrit_static PUBLIC PLAINWRIT_STATIC)
set_target_properties(plainwrit_shared PROPERTIES
  EXPORT_NAME plainwrit
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR})
set_target_properties(plainwrit_static PROPERTIES EXPORT_NAME plainwrit_static)
if(WIN32)
  # plainwrit.dll, needing no DLL beyond the system's, as the program.
  set_target_properties(plainwrit_shared PROPERTIES PREFIX "")
  target_link_options(plainwrit_shared PRIVATE -static)
endif()

# The names the shared library exports are its interface: each build compares
# them with the Debian symbols file the package ships, and any name added or
# missing fails the build, so the file and the library cannot drift apart.
find_program(DPKG_GENSYMBOLS_PROGRAM dpkg-gensymbols)
if(NOT WIN32 AND DPKG_GENSYMBOLS_PROGRAM)
  add_custom_command(TARGET plainwrit_shared POST_BUILD
    COMMAND "${DPKG_GENSYMBOLS_PROGRAM}" -c4 -plibplainwrit1 -v${PROJECT_VERSION}
            "-e$<TARGET_FILE:plainwrit_shared>"
            "-I${PROJECT_SOURCE_DIR}/packaging/libplainwrit1.symbols"
            "-O${PROJECT_BINARY_DIR}/libplainwrit1.symbols"
    COMMENT "Comparing the exported names with packaging/libplainwrit1.symbols"
    VERBATIM)
  # A change of the file alone links the library again, and so compares again.
  set_property(TARGET plainwrit_shared APPEND PROPERTY
    LINK_DEPENDS "${PROJECT_SOURCE_DIR}/packaging/libplainwrit1.symbols")
endif()

if(WIN32)
  # The .zip is one folder: the DLL, its import library, the static library
  # and the header beside the program.
  install(TARGETS plainwrit_shared plainwrit_static
    RUNTIME DESTINATION . ARCHIVE DESTINATION .)
  install(FILES ${library_headers} DESTINATION .)
endif()
install(TARGETS plainwrit_shared plainwrit_static EXPORT PlainwritTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library EXCLUDE_FROM_ALL
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library EXCLUDE_FROM_ALL
          NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development EXCLUDE_FROM_ALL)
install(FILES ${library_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT development EXCLUDE_FROM_ALL)
install(FILES doc/plainwrit.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3
        COMPONENT development EXCLUDE_FROM_ALL)

include(CMakePackageConfigHelpers)
set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Plainwrit)
install(EXPORT PlainwritTargets NAMESPACE Plainwrit:: DESTINATION ${package_dir}
        COMPONENT development EXCLUDE_FROM_ALL)
configure_package_config_file(cmake/library/PlainwritConfig.cmake.in
  "${PROJECT_BINARY_DIR}/PlainwritConfig.cmake" INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file("${PROJECT_BINARY_DIR}/PlainwritConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
# Relative to where it is installed, so that the tree may be moved.
file(RELATIVE_PATH PLAINWRIT_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(cmake/library/plainwrit.pc.in "${PROJECT_BINARY_DIR}/plainwrit.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/PlainwritConfig.cmake"
              "${PROJECT_BINARY_DIR}/PlainwritConfigVersion.cmake"
        DESTINATION ${package_dir} COMPONENT development EXCLUDE_FROM_ALL)
install(FILES "${PROJECT_BINARY_DIR}/plainwrit.pc" DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development EXCLUDE_FROM_ALL)
