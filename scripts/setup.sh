#!/usr/bin/env bash
# Installs the Debian packages that building Kerfo needs; with "package" also
# what building its Debian package needs, with "test" everything the tests
# need. Does nothing when they are all present already; runs as root.
set -euo pipefail

packages=(g++ cmake make pkg-config libfreeimage-dev libjpeg62-turbo-dev zlib1g-dev)
profile="${1:-build}"
if [[ "$profile" == "test" || "$profile" == "package" ]]; then
    # The Debian package: CPack computes its dependencies with dpkg-shlibdeps,
    # which needs file to find the executables.
    packages+=(dpkg-dev file)
fi
if [[ "$profile" == "test" ]]; then
    packages+=(libgtest-dev)
    # The lossless tests check the cuts against TurboJPEG's transform.
    packages+=(libturbojpeg0-dev)
    # clang and its runtime libraries build and run the libFuzzer target;
    # llvm's symbolizer names the functions in the sanitizers' reports.
    packages+=(clang libclang-rt-14-dev llvm)
    # The dialog tests: a virtual X screen, the dialog program, a robot that
    # finds and dismisses the box, and import (ImageMagick) for its picture.
    packages+=(xvfb zenity xdotool imagemagick)
    # The tiles and metadata tests write EXIF orientations and read the pieces'
    # EXIF and XMP back with exiftool.
    packages+=(libimage-exiftool-perl)
    # The install test: the manual page and the bash completion.
    packages+=(man-db groff-base bash-completion)
    # The resources test compiles the Windows resource script.
    packages+=(binutils-mingw-w64-x86-64)
fi

bash "$(dirname "$0")/apt-install.sh" "${packages[@]}"
