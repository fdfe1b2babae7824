#!/usr/bin/env bash
# Builds Kerfo for Windows and tests it under Wine, in one command, on Debian
# 12 as root:
#   1. installs what it needs (apt-get) and builds the Windows libraries once
#      into their cache (scripts/windows-deps.sh);
#   2. cross-builds Kerfo.exe and its tests with MinGW-w64 into
#      out/windows/build and runs the tests under Wine (ctest);
#   3. makes the packages and puts into out/windows/:
#        Kerfo.exe, FreeImage.dll          the program, ready to run
#        Kerfo-<version>-win64.zip         both, README.md and the licences
#        Kerfo-<version>-win64.exe         the installer (NSIS)
#   4. runs the end-to-end tests of those files (tests/windows/e2e.sh), against
#      the Linux build (build/ when it is there).
# Its last line is "windows: N passed, M failed"; exits non-zero on any
# failure.
# Environment:
#   KERFO_WINDOWS_TESTS=OFF  build and run no unit tests, only the end-to-end ones
set -euo pipefail
cd "$(dirname "$0")/.."
# Wine names files in the Unix locale's character set: in one that isn't
# UTF-8 (none set, as in a bare root shell) names in other scripts can't be
# made at all.
if [[ "$(locale charmap 2>/dev/null)" != UTF-8 ]]; then
    export LC_ALL=C.UTF-8
fi
root="$PWD"
out="$root/out/windows"
build="$out/build"
cores="$(nproc)"
jobs="$((cores < 2 ? cores : 2))"
started="$(date +%s)"

step() { echo "== windows: $* ($(($(date +%s) - started)) s) =="; }

step "libraries and tools"
prefix="$(bash scripts/windows-deps.sh | tail -n 1)"
[[ -f "$prefix/bin/FreeImage.dll" ]] || {
    echo "windows: scripts/windows-deps.sh gave no usable prefix ($prefix)" >&2
    exit 1
}
# The Linux build to compare with; Wine and a virtual screen with a robot for
# the message boxes, ImageMagick for the test pictures and the screenshot,
# NSIS for the installer, unzip to look into the zip, GoogleTest's sources for
# the unit tests, locales for Windows in other languages.
bash scripts/setup.sh build
bash scripts/apt-install.sh wine wine64 xvfb xdotool imagemagick nsis unzip googletest locales

step "build (MinGW-w64, -j$jobs)"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DKERFO_WINDOWS_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
    -DKERFO_TESTS="${KERFO_WINDOWS_TESTS:-ON}" >/dev/null
cmake --build "$build" -j"$jobs"

step "tests under Wine (ctest)"
# One Wine session for all the tests: the prefix is made (the first time)
# and its server started, kept running between one test and the next (a
# server that is shutting down as the next test starts drops that test's
# connection), and ended after them: the end-to-end tests wait for sessions
# to end between their steps.
timeout 120 bash scripts/wine-run.sh cmd /c exit 0 </dev/null
export WINEPREFIX="${KERFO_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/kerfo/wineprefix}"
timeout 60 wineserver -w
wineserver -p </dev/null >/dev/null 2>&1
# The session's own processes start now, without the tests' pipes, which
# they would otherwise hold open for as long as the session lasts.
timeout 120 bash scripts/wine-run.sh cmd /c exit 0 </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT
no_tests=error
[[ "${KERFO_WINDOWS_TESTS:-ON}" == OFF ]] && no_tests=ignore
ctest --test-dir "$build" --output-on-failure --no-tests="$no_tests" --timeout 300 -j"$jobs" |
    tee "$build/ctest.log"
wineserver -k 2>/dev/null || true
trap - EXIT
unit_passed="$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\)$/\1/p' "$build/ctest.log")"

step "packages"
rm -f "$build"/Kerfo-*-win64.zip "$build"/Kerfo-*-win64.exe
if ! (cd "$build" && cpack -G "NSIS;ZIP" >cpack.log 2>&1); then
    cat "$build/cpack.log" >&2
    find "$build/_CPack_Packages" -name NSISOutput.log -exec tail -n 20 {} \; >&2 || true
    echo "windows: cpack failed" >&2
    exit 1
fi
rm -f "$out"/Kerfo.exe "$out"/FreeImage.dll "$out"/Kerfo-*-win64.zip "$out"/Kerfo-*-win64.exe
cp "$build"/Kerfo-*-win64.zip "$build"/Kerfo-*-win64.exe "$out/"
# The loose program is the zip's, byte for byte.
zip="$(ls "$out"/Kerfo-*-win64.zip)"
top="$(basename "$zip" .zip)"
unzip -q -j -o "$zip" "$top/Kerfo.exe" "$top/FreeImage.dll" -d "$out"
ls -l "$out"/Kerfo.exe "$out"/FreeImage.dll "$out"/Kerfo-*-win64.*

step "end-to-end tests under Wine"
e2e_status=0
bash tests/windows/e2e.sh "$out" | tee "$out/e2e.log" || e2e_status=$?
e2e_passed="$(sed -n 's/^windows-e2e: \([0-9]*\) passed, \([0-9]*\) failed$/\1/p' "$out/e2e.log")"
e2e_failed="$(sed -n 's/^windows-e2e: \([0-9]*\) passed, \([0-9]*\) failed$/\2/p' "$out/e2e.log")"
if ((e2e_status != 0)) && [[ "${e2e_failed:-0}" == 0 ]]; then
    e2e_failed=1
fi

step "done"
echo "windows: $((${unit_passed:-0} + ${e2e_passed:-0})) passed, ${e2e_failed:-0} failed"
((e2e_status == 0))
