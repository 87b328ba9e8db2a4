# A Debian package of the window program: `cpack` in a build folder makes it.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "pelorin")
set(CPACK_PACKAGE_VENDOR "Pelorin")
set(CPACK_PACKAGE_CONTACT "Pelorin developers <pelorin@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware loader for set-top-box boards over a serial line")
set(CPACK_PACKAGE_DESCRIPTION
    "Loads firmware into the flash of set-top-box boards over a serial line, erases that flash, or\nreads it back into a file, from one window. The operator's account needs the dialout group\nfor serial ports.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
# The Qt 6 runtime (and its platform plugins, without which no window opens) and zlib.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6widgets6 (>= 6.2), libqt6gui6 (>= 6.2), libqt6core6 (>= 6.2), qt6-qpa-plugins, zlib1g, libc6, libstdc++6")
include(CPack)
