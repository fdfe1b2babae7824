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

print_only=false
case "${1:-}" in
    "") ;;
    --print-prefix) print_only=true ;;
    *)
        echo "usage: $0 [--print-prefix]" >&2
        exit 2
        ;;
esac

cache="${KERFO_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kerfo/windows-deps}"
cores="$(nproc)"
jobs="${KERFO_JOBS:-$((cores < 2 ? cores : 2))}"

log() { echo "windows-deps: $*" >&2; }

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

apt_updated=false
apt_update() {
    if ! $apt_updated; then
        log "apt-get update (waits up to 10 minutes for the package lock)"
        apt-get -o DPkg::Lock::Timeout=600 update -qq
        apt_updated=true
    fi
}

# apt-get install "$@", its output shown only when it fails.
apt_install() {
    local output
    log "apt-get install $* (waits up to 10 minutes for the package lock)"
    if ! output="$(DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 \
        install -y -q --no-install-recommends "$@" </dev/null 2>&1)"; then
        echo "$output" >&2
        log "apt-get install failed"
        exit 1
    fi
}

# Installs the packages among "$@" that are missing.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        installed "$package" || missing+=("$package")
    done
    ((${#missing[@]} == 0)) && return 0
    apt_update
    apt_install "${missing[@]}"
}

# The source package and its version of an installed binary package.
source_of() {
    dpkg-query -W -f='${source:Package}=${source:Version}' "$1"
}

# The Linux libraries whose sources are built; libfreeimage-dev brings them all.
linux_libraries=(libfreeimage3 libjpeg62-turbo libpng16-16 zlib1g)
if $print_only; then
    for package in "${linux_libraries[@]}"; do
        if ! installed "$package"; then
            log "$package is not installed, so there is no prefix yet: run $0"
            exit 1
        fi
    done
else
    ensure_packages libfreeimage-dev
fi

# The key: the four source versions and a digest of this recipe, so that a
# change to the build steps builds anew. Epoch colons become underscores.
recipe="$(cat "$0" "$root/cmake/mingw-w64-x86_64.cmake" "$root"/cmake/windows-deps/* |
    sha256sum | cut -c1-10)"
find_prefix() {
    sources=()
    local package
    for package in "${linux_libraries[@]}"; do
        sources+=("$(source_of "$package")")
    done
    key="$(printf '%s\n' "${sources[@]}" | sed 's/=/-/' | tr ':' '_' | paste -sd_)_$recipe"
    prefix="$cache/$key"
    stamp="$prefix/.complete"
}
find_prefix

if $print_only; then
    if [[ ! -f "$stamp" ]]; then
        log "$prefix is not built yet: run $0"
        exit 1
    fi
    echo "$prefix"
    exit 0
fi
if [[ -f "$stamp" ]]; then
    echo "$prefix"
    exit 0
fi

mkdir -p "$cache"
# One build at a time per cache; a second run waits and then finds the stamp.
exec 9>"$cache/.lock"
if ! flock -n 9; then
    log "another build holds $cache/.lock; waiting for it"
    flock 9
    if [[ -f "$stamp" ]]; then
        echo "$prefix"
        exit 0
    fi
fi

start="$(date +%s)"
ensure_packages g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
    binutils-mingw-w64-x86-64 cmake make nasm dpkg-dev

# apt-get source needs the archive's source lists.
src_list=/etc/apt/sources.list.d/kerfo-debian-src.sources
if [[ ! -f "$src_list" ]]; then
    log "adding Debian's source archive: $src_list"
    cat >"$src_list.new" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    mv "$src_list.new" "$src_list"
    apt_updated=false
fi
apt_update

# Everything is built in a scratch folder beside the prefix and moved into
# place whole, stamp included, at the end; an interrupted run leaves only the
# scratch folder, which the next run removes.
rm -rf "$cache"/.build-*
work="$(mktemp -d "$cache/.build-XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/download" "$work/src" "$work/build"

# Downloads the source package $1 (name=version) into $work/download.
download() {
    (cd "$work/download" && apt-get source --download-only -q "$1") >>"$work/download.log" 2>&1
}

# The installed binary packages built from the source package $1.
binaries_of() {
    dpkg-query -W -f='${binary:Package} ${source:Package} ${db:Status-Abbrev}\n' |
        awk -v source="$1" '$2 == source && $3 ~ /^ii/ { sub(/:.*/, "", $1); print $1 }'
}

# The versions on standard input, newest first, in Debian's order.
newest_first() {
    local versions=() i j swap
    mapfile -t versions
    for ((i = 0; i < ${#versions[@]}; i++)); do
        for ((j = i + 1; j < ${#versions[@]}; j++)); do
            if dpkg --compare-versions "${versions[j]}" gt "${versions[i]}"; then
                swap="${versions[i]}"
                versions[i]="${versions[j]}"
                versions[j]="$swap"
            fi
        done
    done
    ((${#versions[@]} == 0)) || printf '%s\n' "${versions[@]}"
}

# The archive serves the sources of the newest versions only, and of some not
# even those: where it does not serve the installed version's, take the newest
# version whose source it serves and whose packages it has, and move the
# installed packages of that library to it, up or down, so that the Linux
# build and this one still use the same code.
log "downloading ${sources[*]}"
moves=()
for source in "${sources[@]}"; do
    download "$source" && continue
    name="${source%%=*}"
    log "the archive does not serve the source of $source"
    mapfile -t binaries < <(binaries_of "$name")
    listed="$(apt-cache showsrc "$name")"
    found=""
    while read -r version; do
        [[ "$version" == "${source#*=}" ]] && continue
        available=true
        for binary in "${binaries[@]}"; do
            apt-cache show "$binary=$version" >/dev/null 2>&1 || available=false
        done
        if $available && download "$name=$version"; then
            found="$version"
            break
        fi
    done < <(sed -n 's/^Version: //p' <<<"$listed" | sort -u | newest_first)
    if [[ -z "$found" ]]; then
        tail -n 20 "$work/download.log" >&2
        log "no version of $name has both its source and its packages in the archive"
        exit 1
    fi
    log "moving ${binaries[*]} to $found, the version whose source the archive serves"
    for binary in "${binaries[@]}"; do
        moves+=("$binary=$found")
    done
done
if ((${#moves[@]} > 0)); then
    apt_install --allow-downgrades "${moves[@]}"
    find_prefix
    if [[ -f "$stamp" ]]; then
        echo "$prefix"
        exit 0
    fi
fi

# Unpacks each source with Debian's patches applied, as apt-get source does.
declare -A tree
for source in "${sources[@]}"; do
    name="${source%%=*}"
    version="${source#*=}"
    dsc="$work/download/${name}_${version#*:}.dsc"
    if [[ ! -f "$dsc" ]]; then
        log "the download of $source is missing $dsc"
        exit 1
    fi
    tree[$name]="$work/src/$name"
    dpkg-source --no-check -x "$dsc" "${tree[$name]}" >>"$work/unpack.log" 2>&1
done

# step NAME COMMAND...: runs the command with its output in a log, which is
# shown, and kept as $cache/failed-build.log, when the command fails.
step() {
    local name="$1"
    shift
    if ! "$@" >>"$work/build/$name.log" 2>&1; then
        cp "$work/build/$name.log" "$cache/failed-build.log"
        tail -n 40 "$work/build/$name.log" >&2
        log "building $name failed; its whole log: $cache/failed-build.log"
        exit 1
    fi
}

stage="$work/prefix"
mkdir -p "$stage"/{bin,lib,include,licenses}
# The flags of Debian's builds where they bear on the code made; CMAKE_BUILD_TYPE
# None adds none of its own, as Debian's CMake builds do.
cross=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=None
    -DKERFO_WINDOWS_PREFIX="$stage" -DCMAKE_INSTALL_PREFIX="$stage")
host=x86_64-w64-mingw32
# Source paths in the code (assert's messages) without the scratch folder's
# random name, so that building the same sources again gives the same bytes.
map="-ffile-prefix-map=$work/src/="

log "building zlib"
b="$work/build/zlib"
# Debian's zlib: -O3, and -DUNALIGNED_OK on amd64.
step zlib cmake -S "${tree[zlib]}" -B "$b" "${cross[@]}" -DCMAKE_C_FLAGS="-O3 -DUNALIGNED_OK $map"
step zlib cmake --build "$b" --target zlibstatic -j "$jobs"
cp "$b/libzlibstatic.a" "$stage/lib/libz.a"
cp "${tree[zlib]}/zlib.h" "$b/zconf.h" "$stage/include/"

log "building libpng"
b="$work/build/libpng"
step libpng cmake -S "${tree[libpng1.6]}" -B "$b" "${cross[@]}" -DCMAKE_C_FLAGS="-O2 $map" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_INCLUDE_DIR="$stage/include" -DZLIB_LIBRARY="$stage/lib/libz.a"
step libpng cmake --build "$b" --target png_static -j "$jobs"
cp "$b/libpng16.a" "$stage/lib/"
cp "${tree[libpng1.6]}"/{png.h,pngconf.h} "$b/pnglibconf.h" "$stage/include/"

log "building libjpeg-turbo"
b="$work/build/libjpeg-turbo"
# The libjpeg 6.2 interface, as Debian's libjpeg62-turbo, with SIMD, which
# needs nasm (told to leave the time out of its objects); and the static
# TurboJPEG library.
step libjpeg-turbo cmake -S "${tree[libjpeg-turbo]}" -B "$b" "${cross[@]}" -DCMAKE_C_FLAGS="-O2 $map" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_JPEG7=OFF -DWITH_JPEG8=OFF \
    -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DWITH_TURBOJPEG=ON -DWITH_JAVA=OFF \
    -DCMAKE_ASM_NASM_COMPILER="$(command -v nasm)" -DCMAKE_ASM_NASM_FLAGS=--reproducible
step libjpeg-turbo cmake --build "$b" --target jpeg-static turbojpeg-static -j "$jobs"
cp "$b/libjpeg.a" "$b/libturbojpeg.a" "$stage/lib/"
cp "${tree[libjpeg-turbo]}"/{jpeglib.h,jmorecfg.h,jerror.h,turbojpeg.h} "$b/jconfig.h" \
    "$stage/include/"

log "building FreeImage"
b="$work/build/freeimage"
fi_src="${tree[freeimage]}"
# FreeImage numbers its formats by the order in which Plugin.cpp adds them, and
# FREE_IMAGE_FORMAT in FreeImage.h names them by those numbers: a plugin that
# is left out keeps its place (and its name) through a plugin that does
# nothing, so that FIF_GIF, FIF_PSD and the rest mean what they mean on Linux.
plugin_cpp="$fi_src/Source/FreeImage/Plugin.cpp"
placeholders=(TIFF:TIFF G3:G3 EXR:EXR J2K:J2K JP2:JP2 RAW:RAW WEBP:WebP JXR:JPEG-XR)
expressions=(-e '/^#include "..\/Metadata\/FreeImageTag.h"/a\
\
// Holds the place of a format whose library this build leaves out.\
static void DLL_CALLCONV InitNotBuilt(Plugin *, int) {}')
for placeholder in "${placeholders[@]}"; do
    init="${placeholder%%:*}"
    format="${placeholder#*:}"
    expressions+=(-e "s/s_plugins->AddNode(Init$init);/s_plugins->AddNode(InitNotBuilt, NULL, \"$format\");/")
done
sed -i "${expressions[@]}" "$plugin_cpp"
if [[ "$(grep -c 'AddNode(InitNotBuilt, NULL, "' "$plugin_cpp")" != "${#placeholders[@]}" ]] ||
    ! grep -q '^static void DLL_CALLCONV InitNotBuilt' "$plugin_cpp"; then
    log "Plugin.cpp of $fi_src no longer reads as expected: the left-out plugins are not all replaced"
    exit 1
fi
step freeimage cmake -S "$root/cmake/windows-deps" -B "$b" "${cross[@]}" \
    -DFREEIMAGE_SOURCE_DIR="$fi_src" -DCMAKE_C_FLAGS="$map" -DCMAKE_CXX_FLAGS="$map"
step freeimage cmake --build "$b" -j "$jobs"
cp "$b/FreeImage.dll" "$stage/bin/"
cp "$b/libFreeImage.dll.a" "$stage/lib/"
# find_library(NAMES freeimage), as on Linux, finds it too.
ln -s libFreeImage.dll.a "$stage/lib/libfreeimage.dll.a"
cp "$fi_src/Source/FreeImage.h" "$stage/include/"

# FreeImage.dll must need nothing but Windows' own DLLs: the runtimes and the
# three libraries are inside it.
imports="$("$host-objdump" -p "$stage/bin/FreeImage.dll" | sed -n 's/^\s*DLL Name: //p' |
    sort -f | paste -sd' ')"
if [[ "$imports" != "KERNEL32.dll msvcrt.dll" ]]; then
    log "FreeImage.dll imports $imports; expected only KERNEL32.dll msvcrt.dll"
    exit 1
fi

cp "$fi_src/license-fi.txt" "$stage/licenses/FreeImage-FIPL.txt"
cp "${tree[libjpeg-turbo]}/LICENSE.md" "$stage/licenses/libjpeg-turbo-LICENSE.md"
cp "${tree[libjpeg-turbo]}/README.ijg" "$stage/licenses/libjpeg-turbo-README.ijg"
cp "${tree[libpng1.6]}/LICENSE" "$stage/licenses/libpng-LICENSE"
cp "${tree[zlib]}/LICENSE" "$stage/licenses/zlib-LICENSE"

# The build logs, for the compilers' warnings.
mkdir -p "$stage/logs"
cp "$work/build"/*.log "$stage/logs/"

# The stamp, last: what was built, from what, with what.
{
    printf 'source %s\n' "${sources[@]}"
    echo "compiler $("$host-gcc-posix" --version | head -n 1)"
    echo "built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $(($(date +%s) - start)) s with $jobs jobs"
} >"$stage/.complete"
# A folder of this key without its stamp is an unfinished one: replace it.
rm -rf "$prefix"
mv -T "$stage" "$prefix"
log "built $prefix in $(($(date +%s) - start)) s"
echo "$prefix"
