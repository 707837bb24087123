# Installation and packaging.
#
#   cmake --install build --prefix P    installs P/bin/rowsift and P/share/man/man1/rowsift.1
#   cd build && cpack -G DEB            builds rowsift_<version>-1_<arch>.deb
#   cd build-win && cpack               (Windows) builds rowsift-<version>-win64.zip: rowsift.exe,
#                                       README.md and the manual as plain text, rowsift.txt
include(GNUInstallDirs)
if(WIN32)
  install(TARGETS rowsift RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION .)
  # The manual as plain text in UTF-8: no bold, underlining or colour.
  find_program(ROWSIFT_GROFF groff)
  if(ROWSIFT_GROFF)
    add_custom_command(OUTPUT rowsift.txt
      COMMAND ${ROWSIFT_GROFF} -man -Tutf8 -P-cbou ${PROJECT_SOURCE_DIR}/doc/rowsift.1 > rowsift.txt
      DEPENDS doc/rowsift.1 VERBATIM)
    add_custom_target(rowsift_manual_text ALL DEPENDS rowsift.txt)
    install(FILES ${CMAKE_BINARY_DIR}/rowsift.txt DESTINATION .)
  else()
    message(WARNING "groff not found: the package holds no manual (rowsift.txt)")
  endif()
else()
  install(TARGETS rowsift RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES doc/rowsift.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME rowsift)
set(CPACK_PACKAGE_VENDOR "Culltext")
set(ROWSIFT_PACKAGE_MAINTAINER "Culltext team <culltext@example.org>"
    CACHE STRING "Maintainer field of the Debian package: Name <address>")
set(CPACK_PACKAGE_CONTACT "${ROWSIFT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "remove duplicate lines from a text file, keeping the first of each")
# The long description, wrapped as Debian wants it.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "rowsift reads a text file once and writes the first occurrence of every"
  "distinct line, in the order of the source. Lines are compared ignoring"
  "letter case (by default) and, if asked, after trimming blanks; blank lines"
  "may be dropped. Kept lines are remembered by fingerprints, not by their"
  "text, so memory grows with the number of distinct lines and not with their"
  "length. It reads 8-bit text in the locale's code page and UTF-16 in either"
  "byte order, and recognises CR LF, LF CR, LF and CR line ends.")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
endif()
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build.*/" "/_CPack_Packages/")

# Debian: rowsift_1.0.0-1_amd64.deb, in section utils.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies come from the libraries the binary really links (ICU, the
# C and C++ runtimes), with the versions dpkg-shlibdeps finds on the build
# machine. Without dpkg-dev, name them by hand; the ICU package carries the
# library's major version in its name.
find_program(ROWSIFT_DPKG_SHLIBDEPS dpkg-shlibdeps)
mark_as_advanced(ROWSIFT_DPKG_SHLIBDEPS)
if(ROWSIFT_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  string(REGEX MATCH "^[0-9]+" _rowsift_icu_major "${ICU_VERSION}")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, libicu${_rowsift_icu_major}")
endif()

# Debian keeps manual pages compressed (gzip -9n: no name or time stamp, so
# the package is reproducible). The staged page is compressed just before the
# package is made, so that `cmake --install` still installs a plain rowsift.1.
set(_rowsift_gzip_script "${CMAKE_BINARY_DIR}/CPackGzipManPages.cmake")
file(CONFIGURE OUTPUT "${_rowsift_gzip_script}" @ONLY CONTENT [[
if(CPACK_GENERATOR STREQUAL "DEB")
  file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man*/*.[1-9]")
  foreach(page IN LISTS pages)
    execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "gzip failed on ${page}")
    endif()
  endforeach()
endif()
]])
set(CPACK_PRE_BUILD_SCRIPTS "${_rowsift_gzip_script}")

include(CPack)
