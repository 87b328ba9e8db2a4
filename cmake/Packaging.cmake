# The Debian package: `cpack` in a build folder makes pelorin_<version>-1_<arch>.deb with the
# three programs, their manual pages, bash completion for pelorin-cli, the desktop entry, the
# icon, AppStream metadata, the copyright file and the changelog. scripts/check-package.sh
# builds it and holds it to lintian.
set(PELORIN_MAINTAINER "Pelorin developers <pelorin@pelorin.dev>")
set(PELORIN_DEBIAN_REVISION 1)
set(PELORIN_DEBIAN_VERSION ${PROJECT_VERSION}-${PELORIN_DEBIAN_REVISION})
set(_pkg_src ${PROJECT_SOURCE_DIR}/packaging)
set(_pkg_out ${PROJECT_BINARY_DIR}/packaging)
set(_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/pelorin)
file(MAKE_DIRECTORY ${_pkg_out})

# The version text as --version prints it, for the changelog.
set(PELORIN_VERSION_TEXT
    "V${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}${PROJECT_VERSION_PATCH}${PROJECT_VERSION_TWEAK}")
# Dates of this build (SOURCE_DATE_EPOCH, when set, makes them reproducible).
string(TIMESTAMP PELORIN_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP PELORIN_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file(${_pkg_src}/changelog.Debian.in ${_pkg_out}/changelog.Debian @ONLY)
configure_file(${_pkg_src}/pelorin.metainfo.xml.in ${_pkg_out}/dev.pelorin.Pelorin.metainfo.xml @ONLY)

# Manual pages from each program's own --help and --version, so they never drift from it.
find_program(PELORIN_HELP2MAN help2man)
find_program(PELORIN_GZIP gzip)
set(_man_names
    "pelorin=load firmware into set-top-box boards over a serial line, from a window"
    "pelorin-cli=load firmware into set-top-box boards over a serial line"
    "pelorin-sim=simulated set-top-box board behind a pseudo-terminal")
set(_package_files ${_pkg_out}/changelog.Debian.gz)
add_custom_command(
  OUTPUT ${_pkg_out}/changelog.Debian.gz
  COMMAND ${CMAKE_COMMAND} -E copy changelog.Debian changelog.Debian.tmp
  COMMAND ${PELORIN_GZIP} -9nf changelog.Debian.tmp
  COMMAND ${CMAKE_COMMAND} -E rename changelog.Debian.tmp.gz changelog.Debian.gz
  DEPENDS ${_pkg_out}/changelog.Debian
  WORKING_DIRECTORY ${_pkg_out}
  VERBATIM)
# Sanitizer builds are for tests, not for packages: running their programs at build time
# would only slow them.
if(PELORIN_HELP2MAN AND NOT PELORIN_SANITIZER)
  foreach(_entry IN LISTS _man_names)
    string(REGEX MATCH "^[^=]+" _program "${_entry}")
    string(REGEX REPLACE "^[^=]+=" "" _what "${_entry}")
    add_custom_command(
      OUTPUT ${_pkg_out}/${_program}.1.gz
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
              ${PELORIN_HELP2MAN} --no-info --name=${_what} --source=Pelorin
              --output=${_program}.1 $<TARGET_FILE:${_program}>
      COMMAND ${PELORIN_GZIP} -9nf ${_program}.1
      DEPENDS ${_program}
      WORKING_DIRECTORY ${_pkg_out}
      COMMENT "Manual page of ${_program}"
      VERBATIM)
    list(APPEND _package_files ${_pkg_out}/${_program}.1.gz)
    install(FILES ${_pkg_out}/${_program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
else()
  message(STATUS "help2man not found (or a sanitizer build): the package gets no manual pages")
endif()
add_custom_target(pelorin_package_files ALL DEPENDS ${_package_files})

install(FILES ${_pkg_src}/copyright ${_pkg_out}/changelog.Debian.gz DESTINATION ${_doc_dir})
install(FILES ${_pkg_src}/pelorin-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME pelorin-cli)
install(FILES ${_pkg_src}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME pelorin)
install(FILES ${_pkg_out}/dev.pelorin.Pelorin.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "pelorin")
set(CPACK_PACKAGE_VENDOR "Pelorin developers")
set(CPACK_PACKAGE_CONTACT "${PELORIN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PELORIN_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${PELORIN_DEBIAN_REVISION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware loader for set-top-box boards over a serial line")
# Extended description: lines under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Loads firmware into the flash of set-top-box boards over a serial line, erases
that flash, or reads it back into a file: from a window (pelorin), from the
command line for scripts and production lines (pelorin-cli), and against a
simulated board to try it without hardware (pelorin-sim).
Serial ports need the operator's account in the dialout group.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://pelorin.dev/")
# Library dependencies from dpkg-shlibdeps; the Qt platform plugins, without which no window
# opens, are loaded at run time and so named by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
