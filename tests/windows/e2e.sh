#!/usr/bin/env bash
# End-to-end tests of the Windows deliverables that scripts/windows.sh puts in
# out/windows/: Kerfo.exe and FreeImage.dll run under Wine on pictures made
# here, next to the Linux kerfo on copies of the same pictures.
#   - every cut (-w, -h, -g, -oq, the one-name replacement, on JPEG, PNG and
#     BMP; -lossless on JPEG) writes the same files, byte for byte, as Linux;
#   - so do cuts of pictures, pieces and tiles named in any script, under a
#     German (code page 1252) and a Japanese (932) Windows, and of a picture
#     at a path past 260 characters; two names of one file in any script are
#     refused; a Windows that can't pass a name (one without the UTF-8 code
#     page) refuses it rather than cut a look-alike;
#   - -dbg=1 logs to a TEMP whose name the code page lacks;
#   - what it says and its exit code, with captured streams, are Linux's
#     (a missing picture, no argument);
#   - -dbg=1 logs its command line in %TEMP%\Kerfo.log with CR LF line ends;
#   - -help hands the help address to the shell (xdg-open, through Wine);
#   - with no standard handles a real message box comes up on a virtual
#     screen (Xvfb), goes away by the keyboard, and the exit code comes back;
#   - the zip holds what it should, Kerfo.exe needs no DLL the zip lacks;
#   - the installer installs silently, puts Kerfo on the PATH, the installed
#     Kerfo.exe cuts a picture, and the uninstaller removes it all again.
# Each check prints "ok: NAME" or "FAILED: NAME" with the reason; exits 1 when
# any failed.
#
# Usage: tests/windows/e2e.sh [OUT_FOLDER [LINUX_BUILD_FOLDER]]
#   OUT_FOLDER          where Kerfo.exe, FreeImage.dll and the packages are
#                       (default out/windows)
#   LINUX_BUILD_FOLDER  the Linux build to compare with (default: build when it
#                       is configured, else OUT_FOLDER/linux, configured here);
#                       kerfo and make_sample are brought up to date in it.
# Needs what scripts/windows.sh installs (wine, xvfb, xdotool, imagemagick,
# unzip, locales, the MinGW-w64 compilers).
set -euo pipefail
cd "$(dirname "$0")/../.."
# Wine names files in the Unix locale's character set: in one that isn't
# UTF-8 (none set, as in a bare root shell) names in other scripts can't be
# made at all.
if [[ "$(locale charmap 2>/dev/null)" != UTF-8 ]]; then
    export LC_ALL=C.UTF-8
fi
root="$PWD"
out="$(realpath -m "${1:-out/windows}")"
version=1.12.0
title="Kerfo Ver 1.12"
exe="$out/Kerfo.exe"
zip="$out/Kerfo-$version-win64.zip"
installer="$out/Kerfo-$version-win64.exe"
wine_run="$root/scripts/wine-run.sh"
work="$out/e2e"

export WINEPREFIX="${KERFO_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/kerfo/wineprefix}"
export KERFO_WINEPREFIX="$WINEPREFIX" WINEDEBUG=-all WINEARCH=win64

say() { echo "windows-e2e: $*"; }
die() {
    echo "windows-e2e: $*" >&2
    exit 1
}
for file in "$exe" "$out/FreeImage.dll" "$zip" "$installer"; do
    [[ -f "$file" ]] || die "no $file: run bash scripts/windows.sh"
done

# The Linux kerfo to compare with, and make_sample for the pictures.
linux="${2:-}"
if [[ -z "$linux" ]]; then
    linux="$root/build"
    [[ -f "$linux/CMakeCache.txt" ]] || linux="$out/linux"
fi
if [[ ! -f "$linux/CMakeCache.txt" ]]; then
    say "configuring the Linux build in $linux"
    cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKERFO_TESTS=OFF -DKERFO_BENCH=ON \
        >/dev/null
fi
cmake --build "$linux" -j2 --target kerfo make_sample >/dev/null
kerfo="$linux/src/kerfo"
make_sample="$linux/tools/make_sample"

rm -rf "$work"
mkdir -p "$work"

# The German and Japanese locales, in which Wine runs as a Windows of code
# page 1252 and 932 does.
for locale in de_DE ja_JP; do
    if ! locale -a 2>/dev/null | grep -qx "$locale.utf8"; then
        localedef -i "$locale" -f UTF-8 "$locale.UTF-8" || die "localedef could not make $locale.UTF-8"
    fi
done

# Nothing of an earlier Wine session may linger in the prefix: the desktop
# process of a session that is going away takes new windows down with it.
wine_idle() { timeout 60 wineserver -w 2>/dev/null || true; }

# Removes a prefix copy once its Wine server has ended: a server that is still
# there writes the registry into the prefix as it goes, under the removal.
remove_prefix() {
    wineserver -k 2>/dev/null || true
    wine_idle
    rm -rf "$WINEPREFIX"
}

# use_prefix_copy NAME: from here on (in a subshell: the caller's), Wine runs in
# a fresh copy of the prefix, work/NAME, for a test that changes the system.
use_prefix_copy() {
    wine_idle
    local prefix="$work/$1"
    rm -rf "$prefix"
    cp -a "$WINEPREFIX" "$prefix"
    export WINEPREFIX="$prefix" KERFO_WINEPREFIX="$prefix"
}

xvfb_pid=""
cleanup() {
    wine_idle
    if [[ -n "$xvfb_pid" ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# A virtual screen of our own for the whole run: every Wine program of this
# run talks to it, none to a real display. Xvfb takes the first free display
# number from 90 on and says which (another run may start one meanwhile).
exec 7<> <(:)
Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
number=""
read -r -t 30 number <&7 || true
exec 7<&-
[[ -n "$number" ]] || die "Xvfb did not start: $(tail -n 3 "$work/xvfb.log")"
display=":$number"
export DISPLAY="$display"
for _ in $(seq 1 50); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
done
xdotool getdisplaygeometry >/dev/null 2>&1 || die "Xvfb did not start on $display"
wine_idle

passed=0
failed=0
# check NAME FUNCTION [ARGUMENT...]: the function prints its reason when it
# fails.
check() {
    local name="$1" output
    shift
    if output="$("$@" 2>&1)"; then
        echo "ok: $name"
        passed=$((passed + 1))
    else
        echo "FAILED: $name"
        [[ -n "$output" ]] && sed 's/^/    /' <<<"$output"
        failed=$((failed + 1))
    fi
    return 0
}

# --- The pictures -----------------------------------------------------------
# A photo-like JPEG at 300 dpi; from it a PNG with an alpha channel and a
# 24-bit BMP.
pictures="$work/pictures"
mkdir -p "$pictures"
"$make_sample" "$pictures/pic.jpg" 640 480 300 90
convert "$pictures/pic.jpg" -alpha set -channel A -evaluate set 70% +channel \
    "PNG32:$pictures/pic.png"
convert "$pictures/pic.jpg" "BMP3:$pictures/pic.bmp"
# A phone photo held upright: stored on its side, its EXIF orientation 6.
cp "$pictures/pic.jpg" "$pictures/upright.jpg"
exiftool -q -overwrite_original -n -Orientation=6 "$pictures/upright.jpg"

# --- Running both programs --------------------------------------------------
# run_linux DIR ARGUMENT... and run_windows DIR ARGUMENT...: run the program in
# DIR with the arguments, its output in DIR.out and DIR.err, its exit code in
# DIR.rc. Captured streams, as a script has them.
# run_folder, when set, is the working folder instead of DIR.
run_folder=""
run_in() {
    local dir="$1"
    shift
    set +e
    (cd "${run_folder:-$dir}" && timeout -k 5 90 "$@" </dev/null >"$dir.out" 2>"$dir.err")
    echo $? >"$dir.rc"
    set -e
}
# The Linux kerfo talks to its streams only without a display (with one, and
# no terminal, it opens dialogs); Kerfo.exe does whenever they are captured.
run_linux() {
    local dir="$1"
    shift
    run_in "$dir" env -u DISPLAY -u WAYLAND_DISPLAY "$kerfo" "$@"
}
# Kerfo.exe runs as a Windows in windows_locale's language runs it: Wine
# takes the code page from the locale (de_DE.UTF-8: 1252, ja_JP.UTF-8: 932;
# unset, as C.UTF-8: 1252). windows_exe is the program that runs.
windows_locale=""
windows_exe="$exe"
run_windows() {
    local dir="$1"
    shift
    if [[ -n "$windows_locale" ]]; then
        run_in "$dir" env LANG="$windows_locale" LC_ALL="$windows_locale" "$wine_run" \
            "$windows_exe" "$@"
    else
        run_in "$dir" "$wine_run" "$windows_exe" "$@"
    fi
}
# in_locale LOCALE FUNCTION [ARGUMENT...]: the function, with Kerfo.exe run in
# LOCALE.
in_locale() {
    local windows_locale="$1"
    shift
    "$@"
}
# The Windows form of a path below /: Wine's Z: drive (winepath stops at 260
# characters).
windows_path() {
    local path="${1//\//\\}"
    echo "Z:$path"
}

# same_results LINUX_DIR WINDOWS_DIR: the same exit code, the same output and
# the same files with the same bytes.
same_results() {
    local linux_dir="$1" windows_dir="$2" what file status=0
    for what in rc out err; do
        if ! cmp -s "$linux_dir.$what" "$windows_dir.$what"; then
            echo "$what differs: Linux $(head -c 300 "$linux_dir.$what" | cat -A)" \
                "| Windows $(head -c 300 "$windows_dir.$what" | cat -A)"
            status=1
        fi
    done
    if ! diff <(cd "$linux_dir" && ls) <(cd "$windows_dir" && ls) >/dev/null; then
        echo "different files: Linux: $(cd "$linux_dir" && ls | paste -sd' ')" \
            "| Windows: $(cd "$windows_dir" && ls | paste -sd' ')"
        return 1
    fi
    for file in "$linux_dir"/*; do
        [[ -e "$file" ]] || continue
        if ! cmp -s "$file" "$windows_dir/${file##*/}"; then
            echo "${file##*/} differs from the Linux one"
            status=1
        fi
    done
    return "$status"
}

# cut_case NAME INPUT ARGUMENT...: both programs run the arguments in folders
# holding a copy of INPUT (PICTURE=NAME: a copy of that picture under that
# name); they must succeed alike. "@DIR@" in an argument stands for the folder
# itself, as each system writes it (Z:\...\ on Windows).
cut_case() {
    local name="$1" input="${2%%=*}" copy="${2#*=}"
    shift 2
    local case_dir="$work/cut/$name" argument windows_dir
    mkdir -p "$case_dir/linux" "$case_dir/windows"
    cp "$pictures/$input" "$case_dir/linux/$copy"
    cp "$pictures/$input" "$case_dir/windows/$copy"
    windows_dir="$(windows_path "$case_dir/windows")\\"
    local linux_args=() windows_args=()
    for argument in "$@"; do
        linux_args+=("${argument//@DIR@/$case_dir/linux/}")
        windows_args+=("${argument//@DIR@/$windows_dir}")
    done
    run_linux "$case_dir/linux" "${linux_args[@]}"
    run_windows "$case_dir/windows" "${windows_args[@]}"
    if [[ "$(cat "$case_dir/linux.rc")" != 0 ]]; then
        echo "the Linux kerfo failed: $(cat "$case_dir/linux.err")"
        return 1
    fi
    same_results "$case_dir/linux" "$case_dir/windows"
}

echo "== The same pieces as on Linux =="
for ext in jpg png bmp; do
    check "-w: left and right piece of a .$ext" \
        cut_case "w-$ext" "pic.$ext" -w 40% "pic.$ext" "left.$ext" "right.$ext"
    check "-h: top and bottom piece of a .$ext" \
        cut_case "h-$ext" "pic.$ext" -h 130 "pic.$ext" "top.$ext" "bottom.$ext"
    check "-g: a 2 by 3 grid of a .$ext" cut_case "g-$ext" "pic.$ext" -g 2 3 "pic.$ext"
    check "-oq 75: a .$ext cut into JPEG pieces" \
        cut_case "oq-$ext" "pic.$ext" -oq 75 -w 50% "pic.$ext" left.jpg "right.$ext"
    check "one name: the left piece replaces the .$ext" \
        cut_case "one-$ext" "pic.$ext" -w 50% "pic.$ext"
done
check "-lossless: left and right piece of a .jpg" \
    cut_case lossless-jpg pic.jpg -lossless -w 50% pic.jpg left.jpg right.jpg
check "-g on a full path: the tiles beside the picture" \
    cut_case g-full-path pic.jpg -g 2 2 "@DIR@pic.jpg"
check "-h in cm at the picture's resolution" \
    cut_case h-cm pic.jpg -h 1cm pic.jpg top.jpg -
for ext in jpg png bmp; do
    check "-tile with -overlap: tiles of a .$ext" \
        cut_case "tile-$ext" "pic.$ext" -tile 200 150 -overlap 12 "pic.$ext"
    check "-g -whole: every pixel of a .$ext in a tile" \
        cut_case "whole-$ext" "pic.$ext" -g 3 7 -whole "pic.$ext"
done
check "-shown: the halves of an upright phone photo as it is shown" \
    cut_case shown upright.jpg -shown -w 50% upright.jpg left.jpg right.png
check "-shown -lossless: the tiles of an upright phone photo" \
    cut_case shown-lossless upright.jpg -shown -lossless -g 2 2 upright.jpg

echo "== Names in every script, on a German and a Japanese Windows =="
# Latin with diacritics, Polish, Cyrillic, Chinese, Korean, an emoji (outside
# UTF-16's first plane): as the picture, the pieces and the stem of tiles.
names=("Übersicht" "Łódź" "Фото" "照片" "사진" "Urlaub 🌴")
for locale in de_DE.UTF-8 ja_JP.UTF-8; do
    for name in "${names[@]}"; do
        check "$locale: -w, $name.jpg into $name-l.jpg and $name-r.png" \
            in_locale "$locale" cut_case "names-$locale/w-$name" "pic.jpg=$name.jpg" \
            -w 40% "$name.jpg" "$name-l.jpg" "$name-r.png"
        check "$locale: -g 2 2, tiles of $name.png" \
            in_locale "$locale" cut_case "names-$locale/g-$name" "pic.png=$name.png" \
            -g 2 2 "$name.png"
        check "$locale: -lossless -h, $name.jpg" \
            in_locale "$locale" cut_case "names-$locale/lossless-$name" "pic.jpg=$name.jpg" \
            -lossless -h 48 "$name.jpg" - "$name-rest.jpg"
    done
done

# Past the classic limit of 260 characters: the folders alone are longer. No
# Windows program can work in such a folder; the paths are given whole.
deep="$(printf 'folder-with-a-rather-long-name-%02d/' 1 2 3 4 5 6 7 8)"
run_folder="$work"
check "-w on a picture at a path of over 260 characters" \
    cut_case "long/$deep/w" pic.jpg -w 40% @DIR@pic.jpg @DIR@left.jpg @DIR@right.jpg
check "-g on a picture at a path of over 260 characters" \
    cut_case "long/$deep/g" pic.jpg -g 2 3 @DIR@pic.jpg
check "-lossless on a picture at a path of over 260 characters" \
    cut_case "long/$deep/lossless" pic.jpg -lossless -w 320 @DIR@pic.jpg @DIR@l.jpg @DIR@r.jpg
run_folder=""

# refused_case NAME TEXT ARGUMENT...: Kerfo.exe refuses the arguments with
# exit 1 and a line holding TEXT, in a folder of copies of the pictures (and
# of pic.jpg as Ωμέγα.jpg), and leaves every file as it was.
refused_case() {
    local name="$1" text="$2"
    shift 2
    local dir="$work/refused/$name"
    mkdir -p "$dir"
    cp "$pictures"/* "$dir/"
    cp "$pictures/pic.jpg" "$dir/Ωμέγα.jpg"
    local before
    before="$(cd "$dir" && md5sum -- * | sort)"
    run_windows "$dir" "$@"
    if [[ "$(cat "$dir.rc")" != 1 ]] || ! grep -qF -- "$text" "$dir.err"; then
        echo "exit $(cat "$dir.rc"), not 1 with \"$text\": $(cat "$dir.out" "$dir.err")"
        return 1
    fi
    if [[ "$(cd "$dir" && md5sum -- * | sort)" != "$before" ]]; then
        echo "the files changed: $(cd "$dir" && ls | paste -sd' ')"
        return 1
    fi
}
same_file="they are the same file"
check "Über.jpg and über.jpg are one file" \
    refused_case case-latin "$same_file" -w 50% pic.jpg Über.jpg über.jpg
check "Фото.jpg and ФОТО.JPG are one file" \
    refused_case case-cyrillic "$same_file" -w 50% pic.jpg Фото.jpg ФОТО.JPG
check "ωμέγα.jpg and ΩΜΈΓΑ.jpg, both the picture Ωμέγα.jpg, are one file" \
    refused_case case-greek "$same_file" -w 50% pic.jpg ωμέγα.jpg ΩΜΈΓΑ.jpg
# Names of devices, and of a stream of a file: no file that a piece can replace.
for name in NUL.jpg "con .jpg" COM1.png AUX.right.bmp right.jpg:stream.jpg; do
    check "$name as the rest: refused before the left piece is saved" refused_case \
        "device-${name//[^A-Za-z]/-}" "Couldn't save $name: can't replace" -w 50% pic.jpg l.jpg "$name"
done

# Two new names that turn out to be one file only once the first is made: the
# second is the short 8.3 name that Windows gives the first. The second piece
# never replaces the first.
short_name="$work/short_name.exe"
x86_64-w64-mingw32-gcc -municode -O2 -Wall -Wextra -o "$short_name" tests/windows/short_name.c
short_name_case() {
    local dir="$work/short" short
    mkdir -p "$dir"
    cp "$pictures/pic.jpg" "$dir/"
    touch "$dir/Longer name.jpg"
    short="$(cd "$dir" && timeout 60 wine "$short_name" "Longer name.jpg" </dev/null | tr -d '\r')"
    rm "$dir/Longer name.jpg"
    [[ -n "$short" ]] || { echo "no short name for Longer name.jpg"; return 1; }
    run_windows "$dir" -w 50% pic.jpg "Longer name.jpg" "$short"
    if [[ "$(cat "$dir.rc")" != 1 ]] ||
        ! grep -qF "Couldn't save $short: it is the same file as Longer name.jpg" "$dir.err"; then
        echo "exit $(cat "$dir.rc"), not 1 with the second refused: $(cat "$dir.err")"
        return 1
    fi
    if [[ "$(cd "$dir" && ls -A | paste -sd'|')" != "Longer name.jpg|pic.jpg" ]]; then
        echo "the folder holds: $(cd "$dir" && ls -A | paste -sd'|')"
        return 1
    fi
}
check "Longer name.jpg and its short name, both new: the second piece is refused" short_name_case

# A Windows that ignores the manifest's UTF-8 code page (before Windows 10
# version 1903) passes "Lódz.jpg" for "Łódź.jpg" under code page 1252, and
# "Ubersicht.jpg" for "Übersicht.jpg" under 932: Kerfo.exe without its
# resources runs as it would there. Beside the picture named lies its
# look-alike, another picture: the one named is cut, or the run is refused.
legacy_exe="$work/Kerfo-without-manifest.exe"
x86_64-w64-mingw32-objcopy --remove-section=.rsrc "$exe" "$legacy_exe"
cp "$out/FreeImage.dll" "$work/"
"$make_sample" "$pictures/other.jpg" 320 240 300 90
lookalike_case() {
    local locale="$1" code_page="$2" typed="$3" lookalike="$4" status=0
    local dir="$work/lookalike/$locale"
    mkdir -p "$dir/linux" "$dir/windows"
    for system in linux windows; do
        cp "$pictures/pic.jpg" "$dir/$system/$typed"
        cp "$pictures/other.jpg" "$dir/$system/$lookalike"
    done
    windows_locale="$locale" windows_exe="$legacy_exe" run_windows "$dir/windows" \
        -w 50% "$typed" "$typed-l.jpg"
    # It speaks in its code page there.
    local said
    said="$(iconv -f "$code_page" -t UTF-8 "$dir/windows.err")"
    if [[ "$(cat "$dir/windows.rc")" != 1 ]] ||
        ! grep -qF "$lookalike has characters that this Windows can't pass" <<<"$said"; then
        echo "without the UTF-8 code page: exit $(cat "$dir/windows.rc"), $said"
        status=1
    fi
    if [[ -e "$dir/windows/$typed-l.jpg" || -e "$dir/windows/$lookalike-l.jpg" ]]; then
        echo "without the UTF-8 code page a piece was written"
        status=1
    fi
    # With it, the one-name cut replaces the picture named, as on Linux.
    run_linux "$dir/linux" -w 50% "$typed"
    windows_locale="$locale" run_windows "$dir/windows" -w 50% "$typed"
    same_results "$dir/linux" "$dir/windows" || status=1
    return "$status"
}
check "de_DE: Łódź.jpg beside Lódz.jpg, the one named is cut or none" \
    lookalike_case de_DE.UTF-8 CP1252 Łódź.jpg Lódz.jpg
check "ja_JP: Übersicht.jpg beside Ubersicht.jpg, the one named is cut or none" \
    lookalike_case ja_JP.UTF-8 CP932 Übersicht.jpg Ubersicht.jpg

# --- What it says -----------------------------------------------------------
# message_case NAME EXIT TEXT ARGUMENT...: both exit with EXIT and say the same,
# byte for byte; TEXT (if not empty) is among what they say.
message_case() {
    local name="$1" exit_code="$2" text="$3"
    shift 3
    local case_dir="$work/say/$name"
    mkdir -p "$case_dir/linux" "$case_dir/windows"
    run_linux "$case_dir/linux" "$@"
    run_windows "$case_dir/windows" "$@"
    local code
    code="$(cat "$case_dir/windows.rc")"
    if [[ "$code" != "$exit_code" ]]; then
        echo "exit code $code, not $exit_code"
        return 1
    fi
    if [[ -n "$text" ]] && ! grep -qxF "$text" "$case_dir/windows.out" "$case_dir/windows.err"; then
        echo "no line \"$text\" in what it said: $(cat "$case_dir/windows.out" "$case_dir/windows.err")"
        return 1
    fi
    same_results "$case_dir/linux" "$case_dir/windows"
}

echo "== Messages on captured streams =="
check "a missing picture: the message and exit 1" \
    message_case missing 1 "Couldn't open input file: missing.jpg" -w 50 missing.jpg
check "a missing picture named in Cyrillic, on a German Windows: the message in UTF-8" \
    in_locale de_DE.UTF-8 message_case missing-cyrillic 1 "Couldn't open input file: Фото.jpg" \
    -w 50 Фото.jpg
check "no argument: the usage and exit 1" message_case no-argument 1 "Usage:"

# --- The log ----------------------------------------------------------------
windows_temp() {
    local temp
    temp="$(timeout 60 wine cmd /c echo %TEMP% </dev/null | tr -d '\r')"
    winepath -u "$temp"
}
debug_log() {
    local dir="$work/log/windows" temp log
    mkdir -p "$dir"
    cp "$pictures/pic.jpg" "$dir/"
    temp="$(windows_temp)"
    log="$temp/Kerfo.log"
    rm -f "$log"
    run_windows "$dir" -dbg=1 -w 50% pic.jpg left.jpg
    if [[ "$(cat "$work/log/windows.rc")" != 0 ]]; then
        echo "exit code $(cat "$work/log/windows.rc"): $(cat "$work/log/windows.err")"
        return 1
    fi
    if [[ ! -s "$log" ]]; then
        echo "no log at $log (%TEMP% is $temp)"
        return 1
    fi
    cp "$log" "$work/log/Kerfo.log"
    local lines crlf
    lines="$(wc -l <"$log")"
    crlf="$(grep -c $'\r$' "$log" || true)"
    if [[ "$lines" != "$crlf" || -n "$(tail -c 1 "$log" | tr -d '\n')" ]]; then
        echo "$crlf of $lines lines end in CR LF: $(cat -A "$log" | head -5)"
        return 1
    fi
    if ! grep -q "Cmdline: .*Kerfo.exe.* -dbg=1 -w 50% pic.jpg left.jpg"$'\r$' "$log"; then
        echo "no command line in the log: $(cat -A "$log")"
        return 1
    fi
}
# A TEMP whose name the code page (1252) lacks, in a copy of the prefix: Wine
# takes TEMP from the user's environment in the registry, as Windows does.
debug_log_foreign_temp() (
    use_prefix_copy temp-prefix
    local temp='C:\users\Дмитрий\Temp' log="$WINEPREFIX/drive_c/users/Дмитрий/Temp/Kerfo.log"
    mkdir -p "${log%/*}"
    timeout 60 wine reg add 'HKCU\Environment' /v TEMP /t REG_SZ /d "$temp" /f </dev/null >/dev/null
    local dir="$work/log-temp/windows"
    mkdir -p "$dir"
    cp "$pictures/pic.jpg" "$dir/"
    in_locale de_DE.UTF-8 run_windows "$dir" -dbg=1 -w 50% pic.jpg left.jpg
    wineserver -k 2>/dev/null || true
    if [[ "$(cat "$dir.rc")" != 0 ]] || ! grep -q "Cmdline: .* -dbg=1 -w 50% pic.jpg left.jpg" "$log"; then
        echo "exit $(cat "$dir.rc"), no command line in $temp\\Kerfo.log: $(cat "$dir.err")"
        return 1
    fi
    remove_prefix
)
echo "== The log =="
check "-dbg=1: the command line in %TEMP%\\Kerfo.log, CR LF line ends" debug_log
check "-dbg=1 with TEMP in Cyrillic on a German Windows: the log is there" debug_log_foreign_temp

# --- The help page ----------------------------------------------------------
# A recording xdg-open first on the PATH: Wine's browser hands web addresses
# to xdg-open, as the Linux kerfo does itself.
help_page() {
    local dir="$work/help" system
    mkdir -p "$dir/bin" "$dir/linux" "$dir/windows"
    cat >"$dir/bin/xdg-open" <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >>"$KERFO_OPENED"
EOF
    chmod +x "$dir/bin/xdg-open"
    for system in linux windows; do
        KERFO_OPENED="$dir/$system.opened" PATH="$dir/bin:$PATH" "run_$system" "$dir/$system" -help
    done
    # Wine's browser runs after ShellExecuteA has returned.
    for _ in $(seq 1 100); do
        [[ -s "$dir/windows.opened" ]] && break
        sleep 0.1
    done
    if [[ ! -s "$dir/linux.opened" ]]; then
        echo "the Linux kerfo opened nothing: $(cat "$dir/linux.out" "$dir/linux.err")"
        return 1
    fi
    if [[ ! -s "$dir/windows.opened" ]]; then
        echo "nothing came to xdg-open; Kerfo.exe said: $(cat "$dir/windows.out" "$dir/windows.err")"
        return 1
    fi
    if ! cmp -s "$dir/linux.opened" "$dir/windows.opened"; then
        echo "opened $(cat "$dir/windows.opened"), not $(cat "$dir/linux.opened")"
        return 1
    fi
    same_results "$dir/linux" "$dir/windows"
}
echo "== The help page =="
check "-help: the help address goes to the shell's browser" help_page

# --- A real message box -----------------------------------------------------
# Started by "wine start /wait /unix" the program has no standard handles, as
# from a shortcut or a dropped file: the message comes in a box. box_text.exe
# reads the box; the keyboard (Return) closes it.
box_text="$work/box_text.exe"
x86_64-w64-mingw32-gcc -O2 -Wall -Wextra -o "$box_text" tests/windows/box_text.c

message_box() {
    local dir="$work/box"
    mkdir -p "$dir"
    wine_idle
    (cd "$dir" && timeout -k 5 90 wine start /wait /unix "$exe" -w 50 missing.jpg \
        </dev/null >/dev/null 2>&1; echo $? >"$dir.rc") &
    local runner=$!
    if ! timeout 60 wine "$box_text" "$title" 30 </dev/null >"$dir.box" 2>"$dir.box-err"; then
        echo "no box came up: $(cat "$dir.box-err")"
        kill "$runner" 2>/dev/null || true
        return 1
    fi
    tr -d '\r' <"$dir.box" >"$dir.box.txt"
    local window
    window="$(xdotool search --onlyvisible --name "^$title\$" | head -n 1)"
    import -window root "$work/messagebox.png"
    local status=0 line
    for line in "title: $title" "text: Couldn't open input file: missing.jpg" "button: OK"; do
        if ! grep -qxF "$line" "$dir.box.txt"; then
            echo "the box lacks \"$line\": $(paste -sd'|' "$dir.box.txt")"
            status=1
        fi
    done
    if [[ -z "$window" ]]; then
        echo "no X window titled \"$title\" on the screen"
        status=1
    fi
    # The warning icon is the yellow triangle: most of its square is yellow
    # or its dark edge, none of it blue (the information icon).
    local icon yellow
    icon="$(sed -n 's/^icon: //p' "$dir.box.txt")"
    if [[ "$icon" == none || -z "$icon" ]]; then
        echo "the box shows no icon"
        status=1
    else
        yellow="$(convert "$work/messagebox.png" -crop "$icon" +repage \
            -fx '(r > 0.7 && g > 0.45 && b < 0.35) ? 1 : 0' -format '%[fx:mean]' info:)"
        if ! awk -v share="$yellow" 'BEGIN { exit !(share > 0.15) }'; then
            echo "the icon is not the warning sign: $yellow of it is yellow (see $work/messagebox.png)"
            status=1
        fi
    fi
    # Dismissed as a user does it: the pointer over the box, the Return key.
    if [[ -n "$window" ]]; then
        local X Y WIDTH HEIGHT SCREEN
        eval "$(xdotool getwindowgeometry --shell "$window")"
        xdotool mousemove $((X + WIDTH / 2)) $((Y + 10)) key Return
    fi
    wait "$runner" || true
    local code
    code="$(cat "$dir.rc" 2>/dev/null || echo none)"
    if [[ "$code" != 1 ]]; then
        echo "exit code $code after the box, not 1"
        status=1
    fi
    return "$status"
}
echo "== A message box on the screen =="
check "no standard handles: a warning box, closed by Return, exit 1" message_box

# Streams sent to NUL (/dev/null here) are a script's that wants no word from
# the program: no box may wait there for a user who never sees it.
streams_to_nul() {
    local dir="$work/nul" status
    mkdir -p "$dir"
    set +e
    (cd "$dir" && timeout -k 5 30 "$wine_run" "$exe" -w 50 missing.jpg </dev/null >/dev/null 2>&1)
    status=$?
    set -e
    if ((status != 1)); then
        echo "exit $status (124: it waited behind a message box), not 1"
        xdotool search --name "^$title\$" key Return 2>/dev/null || true
        return 1
    fi
}
check "streams sent to NUL: no box, exit 1" streams_to_nul

# --- The zip ------------------------------------------------------------------
zip_contents() {
    local expected actual
    expected="$(printf "Kerfo-$version-win64/%s\n" FreeImage-FIPL.txt FreeImage.dll \
        Kerfo.exe README.md libjpeg-turbo-LICENSE.md libjpeg-turbo-README.ijg libpng-LICENSE \
        zlib-LICENSE | sort)"
    actual="$(unzip -Z1 "$zip" | grep -v '/$' | sort)"
    if [[ "$expected" != "$actual" ]]; then
        echo "the zip holds: $(paste -sd' ' <<<"$actual")"
        return 1
    fi
    local file
    for file in Kerfo.exe FreeImage.dll; do
        if ! unzip -p "$zip" "Kerfo-$version-win64/$file" | cmp -s - "$out/$file"; then
            echo "$file in the zip is not out/windows/$file"
            return 1
        fi
    done
}
# Every DLL that Kerfo.exe or FreeImage.dll loads is FreeImage.dll or one of
# Windows' own: no C++ runtime or other library DLL that the zip lacks.
own_dlls_only() {
    local file dll status=0 system32="$WINEPREFIX/drive_c/windows/system32"
    for file in Kerfo.exe FreeImage.dll; do
        while read -r dll; do
            if [[ "${dll,,}" != freeimage.dll ]] &&
                ! find "$system32" -maxdepth 1 -iname "$dll" | grep -q .; then
                echo "$file needs $dll, which is neither in the zip nor Windows' own"
                status=1
            fi
        done < <(x86_64-w64-mingw32-objdump -p "$out/$file" | sed -n 's/^\s*DLL Name: //p')
    done
    return "$status"
}
echo "== The zip =="
check "the zip: Kerfo.exe, FreeImage.dll, README.md and the licences" zip_contents
check "Kerfo.exe needs no DLL beyond FreeImage.dll and Windows' own" own_dlls_only

# --- The installer ----------------------------------------------------------
# Each case in its own copy of the Wine prefix, thrown away when it passes: a
# clean Windows, whose PATH is made long first, as on a developer's machine.
system_environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Kerfo'
# reg_path KEY: the PATH in KEY as "TYPE TEXT", nothing when it has none.
reg_path() {
    timeout 60 wine reg query "$1" /v PATH </dev/null 2>/dev/null | tr -d '\r' |
        sed -nE 's/^ +path +(REG_[A-Z_]+) +(.*)$/\1 \2/Ip'
}
path_entries() { sed 's/^REG_[A-Z_]* //' <<<"$1" | tr ';' '\n'; }
path_text() { reg_path "$1" | sed 's/^REG_[A-Z_]* //'; }
# What a user sees of the drive and of Kerfo's registration, for "as before".
system_state() {
    (cd "$WINEPREFIX/drive_c" && find . -path '*/[Tt]emp' -prune -o -print | sort)
    timeout 60 wine reg query "$1\\$uninstall_key" </dev/null 2>/dev/null | tr -d '\r'
}
# unchanged KEY PATH STATE ROOT: KEY's PATH is PATH, byte for byte, its type
# kept, and the drive and ROOT's registration are as in STATE.
unchanged() {
    local status=0 now
    if [[ "$(reg_path "$1")" != "$2" ]]; then
        echo "the PATH is not as before: $(reg_path "$1" | tail -c 200)"
        status=1
    fi
    now="$(system_state "$4")"
    if [[ "$now" != "$3" ]]; then
        echo "not as before: $(diff <(echo "$3") <(echo "$now") | grep '^[<>]' | head -5 | paste -sd' ')"
        status=1
    fi
    return "$status"
}

# installer_case WAY LENGTH [named|apps|deleted]: the installer /S with WAY (default: an
# administrator's, for all users; /AllUsers or /CurrentUser) on a Windows
# whose PATH for that way (the system's, or the user's: 0, none) is LENGTH
# characters of REG_EXPAND_SZ (named: Kerfo's folder among them already; apps:
# into an empty C:\Apps of the user's), twice, as a new version replaces an
# installed one (deleted: whose folder the user deleted). Kerfo's folder is on that
# PATH once, beside every other entry; Kerfo by its name from cmd.exe cuts as
# on Linux; the uninstaller leaves all as before.
installer_case() (
    local way="$1" length="$2" variant="${3:-}" named="" key="$system_environment" root=HKLM
    local folder='C:\Program Files\Kerfo'
    use_prefix_copy "install-${way#/}-$length$variant"
    local switch=("$way")
    [[ "$way" == default ]] && switch=()
    if [[ "$way" == /CurrentUser ]]; then
        key='HKCU\Environment' root=HKCU
        folder="$(timeout 60 wine cmd /c echo %LOCALAPPDATA% </dev/null | tr -d '\r')\\Programs\\Kerfo"
    fi
    [[ "$variant" == named ]] && named=yes
    if [[ "$variant" == apps ]]; then
        folder='C:\Apps\Kerfo' && switch+=("/D=$folder") && mkdir "$WINEPREFIX/drive_c/Apps"
    fi
    if ((length > 0)); then
        local text="" number=0
        [[ "$root" == HKLM ]] && text="$(path_text "$key");"
        while ((${#text} < length)); do
            number=$((number + 1))
            text+="C:\\Tools\\SomeTool-$(printf %02d "$number")\\bin;"
            [[ "$number" == 3 && -n "$named" ]] && text+="$folder;"
        done
        text="${text:0:length}"
        timeout 60 wine reg add "$key" /v PATH /t REG_EXPAND_SZ /d "$text" /f </dev/null >/dev/null
        wine_idle  # a query meeting the session as it ends would read the registry as it was
        if [[ "$(reg_path "$key")" != "REG_EXPAND_SZ $text" ]]; then
            echo "wine reg did not keep a PATH of $length characters: $(reg_path "$key" | wc -c)"
            return 1
        fi
    fi
    local before state status=0 round after dir
    before="$(reg_path "$key")"
    state="$(system_state "$root")"
    for round in 1 2; do
        if ! timeout -k 5 180 wine "$installer" /S "${switch[@]}" </dev/null; then
            echo "the installer failed (run $round)"
            return 1
        fi
        wine_idle
        [[ "$variant" == deleted && "$round" == 1 ]] && rm -rf "$(winepath -u "$folder")"
    done
    dir="$(winepath -u "$folder")"
    for file in Kerfo.exe FreeImage.dll README.md FreeImage-FIPL.txt Uninstall.exe; do
        if [[ ! -f "$dir/$file" ]]; then
            echo "not installed: $folder\\$file"
            status=1
        fi
    done
    after="$(reg_path "$key")"
    if [[ "${after%% *}" != REG_EXPAND_SZ || "$(path_entries "$after" | grep -cxF "$folder")" != 1 ||
        "$(path_entries "$after" | grep -vxF "$folder")" != \
        "$(path_entries "$before" | grep -vxF "$folder")" ]]; then
        echo "not $folder once beside the other entries on the PATH: $(tail -c 200 <<<"$after")"
        status=1
    fi
    if ! timeout 60 wine reg query "$root\\$uninstall_key" /v UninstallString </dev/null >/dev/null; then
        echo "no uninstaller registered under $root"
        status=1
    fi
    # A user at a new command prompt: Kerfo by its name, through the PATH that
    # Windows makes of the system's and the user's. Wine cuts a PATH from the
    # registry at 1,024 characters, so it gets the whole one (WINEPATH).
    local case_dir="$work/installed-${way#/}-$length$variant"
    mkdir -p "$case_dir/windows"
    cp "$pictures/pic.jpg" "$case_dir/windows/"
    WINEPATH="$(path_text "$system_environment");$(path_text 'HKCU\Environment')" \
        run_in "$case_dir/windows" wine cmd /c Kerfo.exe -w 40% pic.jpg left.jpg right.jpg
    wine_idle
    if ! same_results "$work/cut/w-jpg/linux" "$case_dir/windows"; then
        echo "(the installed Kerfo.exe, run by its name from cmd.exe)"
        status=1
    fi
    if ! timeout -k 5 180 wine "$dir/Uninstall.exe" /S </dev/null; then
        echo "the uninstaller failed"
        return 1
    fi
    # The uninstaller runs on from a copy of itself: wait for it.
    wine_idle
    unchanged "$key" "$before" "$state" "$root" || status=1
    ((status != 0)) || remove_prefix
    return "$status"
)
# A folder with ; in its name can't go on the PATH: the installer fails, and
# leaves no Kerfo and the PATH as it was.
installer_refuses() (
    use_prefix_copy install-refused
    local before state code
    before="$(reg_path "$system_environment")"
    state="$(system_state HKLM)"
    timeout -k 5 180 wine "$installer" /S '/D=C:\Tools;Old\Kerfo' </dev/null
    code=$?
    wine_idle
    if ((code == 0)); then
        echo "the installer exited 0"
        return 1
    fi
    unchanged "$system_environment" "$before" "$state" HKLM && remove_prefix
)
echo "== The installer =="
for installer_row in default:1300 /AllUsers:4000 /CurrentUser:0 /CurrentUser:1300:named \
    /CurrentUser:4000 /CurrentUser:1300:apps /CurrentUser:1300:deleted; do
    IFS=: read -r way length named <<<"$installer_row"
    check "installer /S $way, a PATH of $length characters${named:+ ($named)}: on it,\
 cuts, replaced by a new version; uninstalled, the PATH as before, nothing left" \
        installer_case "$way" "$length" "$named"
done
check "installer /S into a folder with ; in its name: fails, changes nothing" installer_refuses

echo "windows-e2e: $passed passed, $failed failed"
((failed == 0))
