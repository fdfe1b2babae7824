#!/usr/bin/env bash
# Builds the libraries that the fuzz build of Kerfo links - FreeImage,
# libjpeg-turbo (the libjpeg 6.2 interface and TurboJPEG), libpng and zlib, all
# static - from Debian's own source packages with Debian's patches, at exactly
# the versions of the Linux libraries installed here, with clang,
# AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer's coverage
# (-fsanitize=fuzzer-no-link), so that the fuzzers see into the libraries and
# the sanitizers catch what goes wrong there. FreeImage is built against the
# three others, as Debian builds it against the system's, with the plugins of
# the Windows build (scripts/windows-deps.sh): those whose libraries Debian
# brings (TIFF, G3, EXR, JPEG 2000, RAW, WebP, JPEG XR) are left out. Kerfo
# reads only JPEG, PNG and BMP. libjpeg-turbo is built without its SIMD
# assembly, which no sanitizer sees into: its C code does that work.
#
# Builds once into a cache folder keyed by those versions and by a digest of
# this recipe, and prints the folder, the prefix, as its last line; later runs
# only print it. The prefix holds:
#   lib/libfreeimage.a lib/libturbojpeg.a lib/libjpeg.a lib/libpng16.a lib/libz.a
#   include/          FreeImage.h, turbojpeg.h, jpeglib.h, png.h, zlib.h, ...
#   licenses/ logs/   the licence texts and the build logs
#   .complete         the stamp, written last: what was built from what
#
# Usage: scripts/fuzz-deps.sh [--print-prefix]
#   --print-prefix  print the prefix and exit: 0 when it is built, 1 when not
# Environment:
#   KERFO_FUZZ_CACHE  cache folder (default ${XDG_CACHE_HOME:-$HOME/.cache}/kerfo/fuzz-deps)
#   KERFO_JOBS        parallel compile jobs (default: the cores, at most 2)
# Runs as root: it installs the Debian packages it needs with apt-get.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

deps_name=fuzz-deps
cache="${KERFO_FUZZ_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kerfo/fuzz-deps}"
# shellcheck source=scripts/lib/debian-sources.sh
source "$root/scripts/lib/debian-sources.sh"
begin_deps "$@"

recipe="$(recipe_digest "$0" "$root/scripts/lib/debian-sources.sh" "$root"/cmake/freeimage/*)"
claim_prefix

start="$(date +%s)"
ensure_packages clang libclang-rt-14-dev cmake make dpkg-dev
add_source_lists
make_scratch
download_sources
unpack_sources

cmake_args=(-DCMAKE_BUILD_TYPE=None -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
    -DCMAKE_INSTALL_PREFIX="$stage")
# The sanitizers and the coverage of the fuzz targets (fuzz/CMakeLists.txt),
# line tables for the reports, and source paths from the unpacked trees
# ("freeimage/Source/...") rather than the scratch folder, which the campaign's
# coverage report sorts by. Two checks of UndefinedBehaviorSanitizer are left
# out, as OSS-Fuzz leaves them out of its builds of these libraries: loads from
# addresses that are not aligned, which x86 makes and zlib's -DUNALIGNED_OK
# asks for, and a null pointer handed to memcpy with a count of 0 (FreeImage
# copies the palette of every bitmap so, also of one that has none), which
# copies nothing.
cflags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize=alignment,nonnull-attribute"
cflags+=" -fno-sanitize-recover=undefined"
cflags+=" -fno-omit-frame-pointer -gline-tables-only -ffile-prefix-map=$work/src/="

# zlib's CMakeLists.txt names the version resource of its shared library (but
# for MinGW), which Debian's source leaves out; only the static one is built.
mkdir -p "${tree[zlib]}/win32"
touch "${tree[zlib]}/win32/zlib1.rc"
build_zlib
build_libpng
build_libjpeg_turbo -DWITH_SIMD=OFF
build_freeimage
cp "$b/libfreeimage.a" "$stage/lib/"

finish_prefix "$(clang --version | head -n 1)"
