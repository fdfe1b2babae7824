# The Debian package, built with CPack from the install rules: cpack -G DEB in
# the build folder gives kerfo_<version>_<architecture>.deb. The version is the
# project version; the dependencies are computed by dpkg-shlibdeps from the
# libraries the program links (FreeImage and the C++ runtime).

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kerfo)
set(CPACK_PACKAGE_VENDOR Marrowlin)
set(CPACK_PACKAGE_VERSION
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut one picture into pieces")
set(CPACK_PACKAGE_DESCRIPTION
    "Kerfo cuts a JPEG, PNG or BMP picture to a width or height given in pixels, \
percent, inches, centimetres or millimetres, or into a grid of equal tiles. \
It runs from the command line, a script, a file manager or a launcher; \
without a terminal it reports in desktop dialog boxes.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Marrowlin Kerfo team <kerfo@marrowlin.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KERFO_MAKER_SITE}/Products/Kerfo/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Dialog boxes and the online help page; without them the program writes to
# its streams and the help page stays closed.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity, xdg-utils")

include(CPack)
