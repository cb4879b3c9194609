# The Debian package: `cpack -G DEB` in a build folder, or scripts/package
# from a clean tree. Its runtime dependencies are what dpkg-shlibdeps finds
# the installed programs linked against, so they follow the code.
set(CALVERO_MAINTAINER "Calvero maintainers <maintainers@calvero.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME calvero)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${CALVERO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator program for networked heated-plate controllers")
# Wrapped by hand: Debian tools show each line as it stands.
set(CPACK_PACKAGE_DESCRIPTION [[
Calvero finds heated-plate controllers on the local network, connects to
one, shows its live readings, starts and stops bakes, records every bake as
a chart document, uploads temperature profiles and edits the controller's
PID options.

The package also holds calvero-sim, a simulated controller for trying the
program without hardware, and calveroctl, a command-line companion for
discovery, monitoring, bake commands and chart files.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debug information stays in the build folder; the package carries lean programs.
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
