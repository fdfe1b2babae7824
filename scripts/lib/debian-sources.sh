# Sourced by the scripts that build Kerfo's four libraries - FreeImage,
# libjpeg-turbo, libpng and zlib - from Debian's own source packages, at exactly
# the versions of the Linux libraries installed here, into a cache folder:
# scripts/windows-deps.sh (the Windows DLL) and scripts/fuzz-deps.sh (the
# instrumented libraries of the fuzz build). It finds the installed versions,
# keys the cache folder by them and by a digest of the recipe, takes the
# cache's lock, downloads and unpacks the sources with Debian's patches applied,
# builds each library and moves the finished prefix into place with its stamp.
#
# The sourcing script sets deps_name (the name its messages start with) and
# cache (the cache folder), and then calls begin_deps with its arguments.
# Runs as root: it installs the Debian packages it needs with apt-get.

log() { echo "$deps_name: $*" >&2; }

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

# With --print-prefix nothing is installed: the libraries must be there.
require_linux_libraries() {
    local package
    for package in "${linux_libraries[@]}"; do
        if ! installed "$package"; then
            log "$package is not installed, so there is no prefix yet: run $0"
            exit 1
        fi
    done
}

# Takes the scripts' one option, --print-prefix (print the prefix and exit: 0
# when it is built, 1 when not), into print_only, and sets jobs (KERFO_JOBS,
# else the cores, at most 2). Without the option, makes sure the Linux
# libraries are there: libfreeimage-dev brings them all.
begin_deps() {
    print_only=false
    case "${1:-}" in
        "") ;;
        --print-prefix) print_only=true ;;
        *)
            echo "usage: $0 [--print-prefix]" >&2
            exit 2
            ;;
    esac
    local cores
    cores="$(nproc)"
    jobs="${KERFO_JOBS:-$((cores < 2 ? cores : 2))}"
    if $print_only; then
        require_linux_libraries
    else
        ensure_packages libfreeimage-dev
    fi
}

# The first ten hex digits of the digest of the files "$@", the recipe.
recipe_digest() {
    cat "$@" | sha256sum | cut -c1-10
}

# The key: the four source versions and the recipe's digest ($recipe), so that
# a change to the build steps builds anew. Epoch colons become underscores.
# Sets sources, key, prefix and stamp.
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

# --print-prefix: prints the prefix and exits 0 when it is built, 1 when not.
print_built_prefix() {
    if [[ ! -f "$stamp" ]]; then
        log "$prefix is not built yet: run $0"
        exit 1
    fi
    echo "$prefix"
    exit 0
}

# Prints the prefix and ends the script when it is built.
exit_if_built() {
    if [[ -f "$stamp" ]]; then
        echo "$prefix"
        exit 0
    fi
}

# Finds the prefix of the recipe's digest ($recipe): prints it and ends the
# script when it is built (or, with --print-prefix, when it is not), else
# takes the cache's lock for the build. One build at a time per cache; a
# second run waits and then finds the stamp.
claim_prefix() {
    find_prefix
    $print_only && print_built_prefix
    exit_if_built
    mkdir -p "$cache"
    exec 9>"$cache/.lock"
    if ! flock -n 9; then
        log "another build holds $cache/.lock; waiting for it"
        flock 9
        exit_if_built
    fi
}

# apt-get source needs the archive's source lists.
add_source_lists() {
    local src_list=/etc/apt/sources.list.d/kerfo-debian-src.sources
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
}

# Everything is built in a scratch folder beside the prefix and moved into
# place whole, stamp included, at the end; an interrupted run leaves only the
# scratch folder, which the next run removes. Sets work and stage.
make_scratch() {
    rm -rf "$cache"/.build-*
    work="$(mktemp -d "$cache/.build-XXXXXX")"
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/download" "$work/src" "$work/build"
    stage="$work/prefix"
    mkdir -p "$stage"/{lib,include,licenses}
}

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

# Downloads the four sources. The archive serves the sources of the newest
# versions only, and of some not even those: where it does not serve the
# installed version's, take the newest version whose source it serves and whose
# packages it has, and move the installed packages of that library to it, up or
# down, so that the Linux build and this one still use the same code. After
# such a move the key changes: a prefix already built for it ends the script.
download_sources() {
    log "downloading ${sources[*]}"
    local moves=() source name listed found version available binary binaries
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
        exit_if_built
    fi
}

# Unpacks each source with Debian's patches applied, as apt-get source does,
# into tree[NAME].
declare -A tree
unpack_sources() {
    local source name version dsc
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
}

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

# The libraries, built one after the other into $stage with CMake. The caller
# sets cmake_args (the compilers, CMAKE_BUILD_TYPE None, which adds no flags of
# its own as in Debian's CMake builds) and cflags (its own flags, added to
# Debian's where they bear on the code made).
build_zlib() {
    log "building zlib"
    local b="$work/build/zlib"
    # Debian's zlib: -O3, and -DUNALIGNED_OK on amd64.
    step zlib cmake -S "${tree[zlib]}" -B "$b" "${cmake_args[@]}" \
        -DCMAKE_C_FLAGS="-O3 -DUNALIGNED_OK $cflags"
    step zlib cmake --build "$b" --target zlibstatic -j "$jobs"
    # libz.a on Linux, libzlibstatic.a for MinGW.
    cp "$(ls "$b"/libz.a "$b"/libzlibstatic.a 2>/dev/null | head -n 1)" "$stage/lib/libz.a"
    cp "${tree[zlib]}/zlib.h" "$b/zconf.h" "$stage/include/"
}

build_libpng() {
    log "building libpng"
    local b="$work/build/libpng"
    step libpng cmake -S "${tree[libpng1.6]}" -B "$b" "${cmake_args[@]}" -DCMAKE_C_FLAGS="-O2 $cflags" \
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DZLIB_INCLUDE_DIR="$stage/include" -DZLIB_LIBRARY="$stage/lib/libz.a"
    step libpng cmake --build "$b" --target png_static -j "$jobs"
    cp "$b/libpng16.a" "$stage/lib/"
    cp "${tree[libpng1.6]}"/{png.h,pngconf.h} "$b/pnglibconf.h" "$stage/include/"
}

# The libjpeg 6.2 interface, as Debian's libjpeg62-turbo, and the static
# TurboJPEG library; "$@" are the SIMD options.
build_libjpeg_turbo() {
    log "building libjpeg-turbo"
    local b="$work/build/libjpeg-turbo"
    step libjpeg-turbo cmake -S "${tree[libjpeg-turbo]}" -B "$b" "${cmake_args[@]}" \
        -DCMAKE_C_FLAGS="-O2 $cflags" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_JPEG7=OFF -DWITH_JPEG8=OFF \
        "$@" -DWITH_TURBOJPEG=ON -DWITH_JAVA=OFF
    step libjpeg-turbo cmake --build "$b" --target jpeg-static turbojpeg-static -j "$jobs"
    cp "$b/libjpeg.a" "$b/libturbojpeg.a" "$stage/lib/"
    cp "${tree[libjpeg-turbo]}"/{jpeglib.h,jmorecfg.h,jerror.h,turbojpeg.h} "$b/jconfig.h" \
        "$stage/include/"
}

# FreeImage numbers its formats by the order in which Plugin.cpp adds them, and
# FREE_IMAGE_FORMAT in FreeImage.h names them by those numbers: a plugin whose
# library is not built keeps its place (and its name) through a plugin that
# does nothing, so that FIF_GIF, FIF_PSD and the rest mean what they mean on
# Linux. Then builds cmake/freeimage against the libraries in $stage; sets b to
# its build folder.
build_freeimage() {
    log "building FreeImage"
    b="$work/build/freeimage"
    local fi_src="${tree[freeimage]}"
    local plugin_cpp="$fi_src/Source/FreeImage/Plugin.cpp"
    local placeholders=(TIFF:TIFF G3:G3 EXR:EXR J2K:J2K JP2:JP2 RAW:RAW WEBP:WebP JXR:JPEG-XR)
    local expressions=(-e '/^#include "..\/Metadata\/FreeImageTag.h"/a\
\
// Holds the place of a format whose library this build leaves out.\
static void DLL_CALLCONV InitNotBuilt(Plugin *, int) {}')
    local placeholder init format
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
    step freeimage cmake -S "$root/cmake/freeimage" -B "$b" "${cmake_args[@]}" \
        -DFREEIMAGE_SOURCE_DIR="$fi_src" -DFREEIMAGE_LIBRARIES_PREFIX="$stage" \
        -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cflags"
    step freeimage cmake --build "$b" -j "$jobs"
    cp "$fi_src/Source/FreeImage.h" "$stage/include/"
}

# The licence texts, the build logs (for the compilers' warnings) and last the
# stamp - what was built, from what, with what ("$@": the compiler's line) -
# and the stage moved into place as the prefix.
finish_prefix() {
    cp "${tree[freeimage]}/license-fi.txt" "$stage/licenses/FreeImage-FIPL.txt"
    cp "${tree[libjpeg-turbo]}/LICENSE.md" "$stage/licenses/libjpeg-turbo-LICENSE.md"
    cp "${tree[libjpeg-turbo]}/README.ijg" "$stage/licenses/libjpeg-turbo-README.ijg"
    cp "${tree[libpng1.6]}/LICENSE" "$stage/licenses/libpng-LICENSE"
    cp "${tree[zlib]}/LICENSE" "$stage/licenses/zlib-LICENSE"
    mkdir -p "$stage/logs"
    cp "$work/build"/*.log "$stage/logs/"
    {
        printf 'source %s\n' "${sources[@]}"
        echo "compiler $*"
        echo "built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $(($(date +%s) - start)) s with $jobs jobs"
    } >"$stage/.complete"
    # A folder of this key without its stamp is an unfinished one: replace it.
    rm -rf "$prefix"
    mv -T "$stage" "$prefix"
    log "built $prefix in $(($(date +%s) - start)) s"
    echo "$prefix"
}
