# The packages, built with CPack from the install rules.
#
# Linux: the Debian package; cpack -G DEB in the build folder gives
# kerfo_<version>_<architecture>.deb. The version is the project version; the
# dependencies are computed by dpkg-shlibdeps from the libraries the program
# links (FreeImage and the C++ runtime).
#
# Windows: cpack in the build folder gives Kerfo-<version>-win64.zip (Kerfo.exe,
# FreeImage.dll, README.md and the libraries' licence texts in one folder) and
# Kerfo-<version>-win64.exe, an NSIS installer of the same files, with an
# uninstaller, into Program Files\Kerfo for all users or into
# %LOCALAPPDATA%\Programs\Kerfo for the user alone, which puts that folder on
# the system's or the user's PATH so that Kerfo.exe runs from any command
# prompt.

set(CPACK_PACKAGE_VENDOR Marrowlin)
set(CPACK_PACKAGE_VERSION
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut one picture into pieces")
set(CPACK_PACKAGE_DESCRIPTION
    "Kerfo cuts a JPEG, PNG or BMP picture to a width or height given in pixels, \
percent, inches, centimetres or millimetres, or into a grid of equal tiles. \
It runs from the command line, a script, a file manager or a launcher; \
without a terminal it reports in desktop dialog boxes.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR NSIS ZIP)
    set(CPACK_PACKAGE_NAME Kerfo)
    set(CPACK_PACKAGE_FILE_NAME "Kerfo-${CPACK_PACKAGE_VERSION}-win64")
    set(CPACK_PACKAGE_INSTALL_DIRECTORY Kerfo)
    set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Kerfo)

    # Everything in the package root: the program finds FreeImage.dll beside
    # itself, and the licences of the four libraries inside FreeImage.dll and
    # Kerfo.exe (FreeImage; libjpeg-turbo, libpng and zlib) travel with them.
    get_filename_component(windows_prefix "${KERFO_FREEIMAGE_DLL}/../.." ABSOLUTE)
    set(licence_files)
    foreach(name FreeImage-FIPL.txt libjpeg-turbo-LICENSE.md libjpeg-turbo-README.ijg
                 libpng-LICENSE zlib-LICENSE)
        if(NOT EXISTS "${windows_prefix}/licenses/${name}")
            message(FATAL_ERROR "No ${name} in ${windows_prefix}/licenses")
        endif()
        list(APPEND licence_files "${windows_prefix}/licenses/${name}")
    endforeach()
    install(FILES "${KERFO_FREEIMAGE_DLL}" "${PROJECT_SOURCE_DIR}/README.md" ${licence_files}
            DESTINATION .)

    # The installer is made from a template of ours (dist/windows/NSIS.template.in):
    # 64-bit, for all users or just for the user, and on the PATH through
    # kerfo-path.exe (dist/windows), which it carries without installing it.
    set(CPACK_MODULE_PATH "${PROJECT_SOURCE_DIR}/dist/windows")
    set(CPACK_NSIS_KERFO_PATH_TOOL "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/kerfo-path.exe")
    set(CPACK_NSIS_PACKAGE_NAME Kerfo)
    set(CPACK_NSIS_DISPLAY_NAME "Kerfo ${CPACK_PACKAGE_VERSION}")
    set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/res/kerfo.ico")
    set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/res/kerfo.ico")
    set(CPACK_NSIS_INSTALLED_ICON_NAME Kerfo.exe)
    set(CPACK_NSIS_URL_INFO_ABOUT "${KERFO_MAKER_SITE}/Products/Kerfo/")
    set(CPACK_NSIS_HELP_LINK "${KERFO_MAKER_SITE}/Products/Kerfo/")
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME kerfo)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Marrowlin Kerfo team <kerfo@marrowlin.com>")
    set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KERFO_MAKER_SITE}/Products/Kerfo/")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # Dialog boxes and the online help page; without them the program writes to
    # its streams and the help page stays closed.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity, xdg-utils")
endif()

include(CPack)
