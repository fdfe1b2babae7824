#!/usr/bin/env bash
# Runs a Windows program under Wine and exits with the program's exit code:
#   scripts/wine-run.sh PROGRAM.exe [ARGUMENT...]
# The program gets the standard input, output and error it is given (pipes
# work) and finds DLLs beside itself. CMake's CMAKE_CROSSCOMPILING_EMULATOR in
# cmake/mingw-w64-x86_64.cmake, so that ctest runs .exe tests through it.
#
# Wine keeps its own Windows folder (a prefix): this script uses one of its
# own, KERFO_WINEPREFIX or else ${XDG_CACHE_HOME:-$HOME/.cache}/kerfo/wineprefix,
# and makes it on first use, quietly, without a screen and without offering
# to install Mono or Gecko. Wine's messages are off (WINEDEBUG=-all) unless
# WINEDEBUG is set already. Exits 125 when Wine cannot run at all.
set -euo pipefail

fail() {
    echo "wine-run: $*" >&2
    exit 125
}

if (($# == 0)); then
    echo "usage: $0 PROGRAM.exe [ARGUMENT...]" >&2
    exit 125
fi
command -v wine >/dev/null || fail "wine is not installed (apt-get install wine wine64)"

prefix="${KERFO_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/kerfo/wineprefix}"
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64

# The prefix is ready once this file is there; runs that start together wait
# for the one that makes it.
ready="$prefix/.kerfo-ready"
if [[ ! -f "$ready" ]]; then
    mkdir -p "$(dirname "$prefix")"
    exec 8>"$prefix.lock"
    flock 8
    if [[ ! -f "$ready" ]]; then
        echo "wine-run: making the Wine prefix $prefix (once, some seconds)" >&2
        log="$(mktemp)"
        # No display: no window; no mscoree or mshtml: no offer of Mono or
        # Gecko. wineserver -w waits until the registry is written out.
        if ! env -u DISPLAY -u WAYLAND_DISPLAY WINEDLLOVERRIDES="mscoree,mshtml=" \
            wine wineboot --init </dev/null >"$log" 2>&1 || ! wineserver -w >>"$log" 2>&1; then
            cat "$log" >&2
            rm -f "$log"
            fail "could not make the Wine prefix $prefix"
        fi
        rm -f "$log"
        touch "$ready"
    fi
    exec 8>&-
fi

exec wine "$@"
