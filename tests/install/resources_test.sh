#!/usr/bin/env bash
# Compiles the Windows resource script that the build configured and reads the
# compiled resources back: the icon group IDI_APPICON with the four icon sizes
# the version resource of 1.12.0.0 and the application manifest. Usage: resources_test.sh BUILD_FOLDER
# Exits 77 (skipped) without the MinGW resource compiler.
set -uo pipefail

windres=x86_64-w64-mingw32-windres
if ! command -v "$windres" >/dev/null; then
    echo "SKIP: $windres is missing (binutils-mingw-w64-x86-64; scripts/setup.sh test installs it)"
    exit 77
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

if ! "$windres" --preprocessor=cpp -i "$1/res/kerfo.rc" -O res -o "$work/kerfo.res"; then
    echo "FAIL: the resource script does not compile"
    exit 1
fi
"$windres" -i "$work/kerfo.res" -O rc | grep -v '^  0x' >"$work/kerfo.txt"

failures=0
expect() {
    if ! grep -qF -- "$1" "$work/kerfo.txt"; then
        echo "FAIL: the resources lack: $1"
        failures=$((failures + 1))
    fi
}
expect '"IDI_APPICON" 14 /* RT_GROUP_ICON */'
expect 'Has 4 elements'
for size in '\020\020' '\040\040' '\060\060' '\000\000'; do  # 16, 32, 48 and 256 pixels
    expect "\"${size}\\000\\000\", 1, 32,"
done
# The manifest that gives the program UTF-8 as its code page.
expect '1 24 /* RT_MANIFEST */'
expect 'activeCodePage'
expect 'FILEVERSION 1, 12, 0, 0'
expect 'PRODUCTVERSION 1, 12, 0, 0'
for value in '"FileDescription", "Kerfo"' '"FileVersion", "1.12.0.0"' \
    '"InternalName", "Kerfo"' '"OriginalFilename", "Kerfo.exe"' '"ProductName", "Kerfo"' \
    '"ProductVersion", "1.12.0.0"'; do
    expect "VALUE $value"
done
if ((failures > 0)); then
    cat "$work/kerfo.txt"
    exit 1
fi
echo "the resource script compiles to the icon group and the version 1.12.0.0"
