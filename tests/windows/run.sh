#!/usr/bin/env bash
# The smoke test of the Windows libraries: builds freeimage_smoke for Windows
# against the prefix of scripts/windows-deps.sh and runs it under Wine through
# ctest; builds and runs the same program on Linux against Debian's
# libfreeimage; then checks that the two wrote the same bytes into every
# JPEG, PNG and BMP file, which is what "the same pieces on Linux and Windows"
# rests on. Runs as root (it installs what it needs).
# Usage: tests/windows/run.sh [BUILD_FOLDER]   (default: build-windows-smoke)
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$PWD"
build="$(realpath -m "${1:-build-windows-smoke}")"
jobs="$(($(nproc) < 2 ? $(nproc) : 2))"

prefix="$(bash scripts/windows-deps.sh | tail -n 1)"
bash scripts/apt-install.sh wine wine64 g++ cmake make libfreeimage-dev

passed=0
failed=0
check() {
    local name="$1"
    shift
    if "$@"; then
        echo "ok: $name"
        passed=$((passed + 1))
    else
        echo "FAILED: $name"
        failed=$((failed + 1))
    fi
}

# Builds tests/windows into $1 with the CMake arguments that follow and runs
# its test there, from an empty picture folder.
build_and_run() {
    local folder="$1"
    shift
    cmake -S tests/windows -B "$folder" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null &&
        cmake --build "$folder" -j "$jobs" >/dev/null &&
        rm -rf "$folder/pictures" &&
        ctest --test-dir "$folder" --output-on-failure --no-tests=error
}

# The program needs no DLL but FreeImage.dll and Windows' own ones: the
# toolchain file links the C++ runtime in.
imports_only_windows() {
    local imports
    imports="$(x86_64-w64-mingw32-objdump -p "$build/windows/freeimage_smoke.exe" |
        sed -n 's/^\s*DLL Name: //p' | sort -f | paste -sd' ')"
    echo "freeimage_smoke.exe imports: $imports"
    [[ "$imports" == "FreeImage.dll KERNEL32.dll msvcrt.dll" ]]
}

same_files() {
    local windows="$build/windows/pictures" linux="$build/linux/pictures" file same=0 all
    if ! diff <(ls "$windows") <(ls "$linux"); then
        echo "the two builds wrote different files"
        return 1
    fi
    for file in "$linux"/*; do
        if cmp "$windows/${file##*/}" "$file"; then
            same=$((same + 1))
        fi
    done
    all="$(find "$linux" -type f | wc -l)"
    echo "byte for byte the same: $same of $all files"
    [[ "$same" == "$all" && "$same" -gt 0 ]]
}

echo "== Windows build, run under Wine =="
check "Windows build runs under Wine" build_and_run "$build/windows" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DKERFO_WINDOWS_PREFIX="$prefix"
check "freeimage_smoke.exe needs no runtime DLL" imports_only_windows
echo "== Linux build =="
check "Linux build runs" build_and_run "$build/linux"
echo "== The same files =="
check "FreeImage.h is Debian's" cmp "$prefix/include/FreeImage.h" /usr/include/FreeImage.h
check "the same bytes on Linux and Windows" same_files
echo "windows-smoke: $passed passed, $failed failed"
((failed == 0))
