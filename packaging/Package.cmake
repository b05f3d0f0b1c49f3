# The Debian package (`make deb`): CPack's DEB generator over the same install
# rules as `make install`, under /usr. Run-time dependencies come from the
# binaries through dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VENDOR "Tavrel developers")
set(CPACK_PACKAGE_CONTACT "${TAVREL_MAINTAINER}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")   # the build's own, commit included: CPackVersion.cmake
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_TAVREL_STRIP "${CMAKE_STRIP}")
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripSections.cmake)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "load software releases into the boards of a navigation receiver")
set(CPACK_PACKAGE_DESCRIPTION
"Tavrel loads new software releases into the boards of a navigation receiver
over one RS-232 line: it identifies the boards, loads a transfer request's
releases into them with resends, checksum and identification after the
restart, brings back a board whose software no longer starts, and changes a
board's serial parameters. Release files (S-records, Intel HEX, ELF, IEEE 695,
absolute and raw images) are converted first.

The package holds the desktop program tavrel, the command-line program
tavrel-cli and tavrel-sim, a simulated receiver on a pseudo-terminal.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAVREL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not a library: the log viewer and the mail of the Log menu are xdg-open and
# xdg-email, started as programs (the program falls back on its own viewer).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

configure_file(${CMAKE_CURRENT_LIST_DIR}/CPackVersion.cmake.in
               ${CMAKE_BINARY_DIR}/CPackVersion.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackVersion.cmake)
include(CPack)
