#!/usr/bin/env bash
# Builds the Windows libraries that Kerfo.exe uses - FreeImage.dll with zlib,
# libpng and libjpeg-turbo inside it, and the static TurboJPEG library - with
# Debian's MinGW-w64 from Debian's own source packages, at exactly the versions
# of the Linux libraries installed here, so that both builds write the same
# bytes. Builds once into a cache folder keyed by those versions (and by a
# digest of this recipe) and prints the folder, the prefix, as its last line;
# later runs only print it. The prefix holds:
#   bin/FreeImage.dll                     needs only KERNEL32.dll and msvcrt.dll
#   lib/libFreeImage.dll.a                its import library (libfreeimage.dll.a too)
#   lib/libturbojpeg.a lib/libjpeg.a lib/libpng16.a lib/libz.a
#   include/                              FreeImage.h, turbojpeg.h, jpeglib.h, png.h, zlib.h, ...
#   licenses/                             the four libraries' licence texts
#   logs/                                 the build logs
#   .complete                             the stamp, written last: what was built from what
#
# Where the archive no longer serves the source of an installed version (it
# keeps the newest ones only), the library's installed Linux packages are moved
# to the newest version whose source it does serve, so that both builds still
# use the same code; the script says so when it does.
#
# Usage: scripts/windows-deps.sh [--print-prefix]
#   --print-prefix  print the prefix and exit: 0 when it is built, 1 when not
# Environment:
#   KERFO_WINDOWS_CACHE  cache folder (default ${XDG_CACHE_HOME:-$HOME/.cache}/kerfo/windows-deps)
#   KERFO_JOBS           parallel compile jobs (default: the cores, at most 2)
# Runs as root: it installs the Debian packages it needs with apt-get.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

deps_name=windows-deps
cache="${KERFO_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kerfo/windows-deps}"
# shellcheck source=scripts/lib/debian-sources.sh
source "$root/scripts/lib/debian-sources.sh"
begin_deps "$@"

recipe="$(recipe_digest "$0" "$root/scripts/lib/debian-sources.sh" \
    "$root/cmake/mingw-w64-x86_64.cmake" "$root"/cmake/freeimage/*)"
claim_prefix

start="$(date +%s)"
ensure_packages g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
    binutils-mingw-w64-x86-64 cmake make nasm dpkg-dev
add_source_lists
make_scratch
download_sources
unpack_sources

mkdir -p "$stage/bin"
# The flags of Debian's builds where they bear on the code made.
cmake_args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=None
    -DKERFO_WINDOWS_PREFIX="$stage" -DCMAKE_INSTALL_PREFIX="$stage")
host=x86_64-w64-mingw32
# Source paths in the code (assert's messages) without the scratch folder's
# random name, so that building the same sources again gives the same bytes.
cflags="-ffile-prefix-map=$work/src/="

build_zlib
build_libpng
# With SIMD, which needs nasm (told to leave the time out of its objects).
build_libjpeg_turbo -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
    -DCMAKE_ASM_NASM_COMPILER="$(command -v nasm)" -DCMAKE_ASM_NASM_FLAGS=--reproducible
build_freeimage
cp "$b/FreeImage.dll" "$stage/bin/"
cp "$b/libFreeImage.dll.a" "$stage/lib/"
# find_library(NAMES freeimage), as on Linux, finds it too.
ln -s libFreeImage.dll.a "$stage/lib/libfreeimage.dll.a"

# FreeImage.dll must need nothing but Windows' own DLLs: the runtimes and the
# three libraries are inside it.
imports="$("$host-objdump" -p "$stage/bin/FreeImage.dll" | sed -n 's/^\s*DLL Name: //p' |
    sort -f | paste -sd' ')"
if [[ "$imports" != "KERNEL32.dll msvcrt.dll" ]]; then
    log "FreeImage.dll imports $imports; expected only KERNEL32.dll msvcrt.dll"
    exit 1
fi

finish_prefix "$("$host-gcc-posix" --version | head -n 1)"
