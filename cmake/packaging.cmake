# What `cmake --install` puts where, and the packages made from it with CPack:
# a .deb on Linux (with Debian's copyright and changelog, the manual page and
# changelog compressed) and a flat .zip for Windows users. Both packages are
# reproducible: every timestamp is SOURCE_DATE_EPOCH, by default the time of
# the last commit, and files and folders have fixed modes.
# Libraries go where the system keeps its own for this architecture
# (lib/x86_64-linux-gnu on Debian), under any prefix: the dynamic loader and
# pkg-config look there for /usr and /usr/local alike, and a package's
# pkg-config file then serves cross builds too.
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT WIN32)
  set(CMAKE_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}" CACHE PATH "Object code libraries")
endif()
include(GNUInstallDirs)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # One folder, as a Windows user unpacks it: the program, the texts with CR LF
  # line ends (the manual page rendered as plain text) and the sample page
  # with its output.
  find_program(GROFF_PROGRAM groff)
  set(windows_texts)
  foreach(text README.md:README.txt LICENSE:LICENSE.txt doc/plainwrit.1:MANUAL.txt)
    string(REPLACE ":" ";" text "${text}")
    list(GET text 0 source)
    list(GET text 1 target)
    set(render)
    if(source MATCHES "\\.1$")
      if(NOT GROFF_PROGRAM)
        message(WARNING "groff not found: the Windows package will lack MANUAL.txt")
        continue()
      endif()
      set(render "-DGROFF=${GROFF_PROGRAM}")
    endif()
    add_custom_command(OUTPUT ${target}
      COMMAND "${CMAKE_COMMAND}" "-DINPUT=${PROJECT_SOURCE_DIR}/${source}"
              "-DOUTPUT=${PROJECT_BINARY_DIR}/${target}" ${render}
              -P "${PROJECT_SOURCE_DIR}/cmake/windows_text.cmake"
      DEPENDS ${source} cmake/windows_text.cmake
      COMMENT "Writing ${target} with CR LF line ends")
    list(APPEND windows_texts "${PROJECT_BINARY_DIR}/${target}")
  endforeach()
  add_custom_target(plainwrit_windows_texts ALL DEPENDS ${windows_texts})
  install(TARGETS plainwrit RUNTIME DESTINATION .)
  install(FILES ${windows_texts} examples/sample.html examples/sample.txt DESTINATION .)
else()
  install(TARGETS plainwrit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES doc/plainwrit.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md LICENSE examples/sample.html examples/sample.txt
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# The Debian changelog's newest entry names the version given to project().
file(STRINGS packaging/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^plainwrit \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog begins with '${newest}', the project is version ${PROJECT_VERSION}")
endif()

set(CPACK_PACKAGE_NAME plainwrit)
set(CPACK_PACKAGE_VENDOR "The Plainwrit developers")
set(CPACK_PACKAGE_CONTACT "Plainwrit developers <dev@plainwrit.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert one HTML file into a plain-text file")
# Lines of at most 80 characters: the .deb's description keeps them as they are.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Plainwrit strips the markup of an HTML file, drops script contents and"
  "control bytes, collapses blanks, turns a few layout tags into line feeds and"
  "tabs, decodes the Latin-1 character references and writes the text with"
  "CR LF line ends. It works on bytes and has no options.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
# Read by cpack itself: the timestamps, and what goes into the .deb besides
# the installed tree.
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/cpack_options.cmake")
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/cpack_stage.cmake")
set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/cpack_repack.cmake")
set(CPACK_PLAINWRIT_SOURCE_DIR "${PROJECT_SOURCE_DIR}")
set(CPACK_PLAINWRIT_CMAKE "${CMAKE_COMMAND}")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME "plainwrit-${PROJECT_VERSION}-win32")
  else()
    set(CPACK_PACKAGE_FILE_NAME "plainwrit-${PROJECT_VERSION}-win64")
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Three packages, as Debian splits a library: the program (what a plain
  # install puts in place), the shared library, and what building against it
  # takes. Only the library package holds a shared object, so only it gets a
  # shlibs file.
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL Unspecified)
  set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME plainwrit)
  set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION
      "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}\n${CPACK_PACKAGE_DESCRIPTION}")
  # cmake/library.cmake, read after this file, defines the option, ON by default.
  if(NOT DEFINED PLAINWRIT_BUILD_LIBRARY OR PLAINWRIT_BUILD_LIBRARY)
    set(library_package libplainwrit${PROJECT_VERSION_MAJOR})
    list(APPEND CPACK_COMPONENTS_ALL library development)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME ${library_package})
    set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
    string(JOIN "\n" CPACK_DEBIAN_LIBRARY_DESCRIPTION
      "library converting HTML into plain text"
      "${CPACK_PACKAGE_DESCRIPTION}"
      "."
      "This package holds the shared library.")
    # The symbols file, which each build compares with the library, and the
    # trigger that runs ldconfig once dpkg has unpacked everything; dpkg takes
    # control files by their plain names.
    set(control "${PROJECT_BINARY_DIR}/${library_package}-control")
    configure_file(packaging/${library_package}.symbols "${control}/symbols" COPYONLY)
    configure_file(packaging/${library_package}.triggers "${control}/triggers" COPYONLY)
    set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA "${control}/symbols" "${control}/triggers")
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libplainwrit-dev)
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${library_package} (= ${PROJECT_VERSION})")
    string(JOIN "\n" CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
      "library converting HTML into plain text - development files"
      "${CPACK_PACKAGE_DESCRIPTION}"
      "."
      "This package holds the header, the static library, the CMake package, the"
      "pkg-config file and the manual page of the library's calls.")
  endif()
  set(CPACK_PLAINWRIT_MANDIR "${CMAKE_INSTALL_MANDIR}")
  set(CPACK_PLAINWRIT_STRIP "${CMAKE_STRIP}")
  set(CPACK_PLAINWRIT_AR "${CMAKE_AR}")
endif()
include(CPack)
