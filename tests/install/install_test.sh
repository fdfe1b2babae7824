#!/usr/bin/env bash
# Installs the build into a staging folder as `cmake --install` does for a
# user, then uses what landed there: the program, its manual page and its bash
# completion. Usage: install_test.sh BUILD_FOLDER
set -uo pipefail

build="$1"
staging="$(mktemp -d)"
trap 'rm -rf "$staging"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! cmake --install "$build" --prefix "$staging" >"$staging.log" 2>&1; then
    cat "$staging.log"
    rm -f "$staging.log"
    echo "FAIL: cmake --install"
    exit 1
fi
rm -f "$staging.log"

for file in bin/kerfo share/man/man1/kerfo.1 share/bash-completion/completions/kerfo \
    share/icons/hicolor/16x16/apps/kerfo.png share/icons/hicolor/32x32/apps/kerfo.png \
    share/icons/hicolor/48x48/apps/kerfo.png share/icons/hicolor/256x256/apps/kerfo.png \
    share/icons/hicolor/scalable/apps/kerfo.svg; do
    [[ -f "$staging/$file" ]] || fail "$file was not installed"
done

# The installed program runs and shows its version on the console.
version="$(env -u DISPLAY -u WAYLAND_DISPLAY "$staging/bin/kerfo" -ver </dev/null)"
status=$?
[[ $status -eq 0 ]] || fail "kerfo -ver exited with $status"
[[ "$version" == "Kerfo Ver 1.12"$'\n'"Copyright"* ]] || fail "kerfo -ver printed: $version"

# Its dialogs carry the installed icon: a recording zenity shows what it is handed.
mkdir -p "$staging/fake"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" > "%s"\n' "$staging/zenity.log" >"$staging/fake/zenity"
chmod +x "$staging/fake/zenity"
DISPLAY=:0 PATH="$staging/fake:$PATH" "$staging/bin/kerfo" -ver </dev/null >/dev/null 2>&1
icon="$(sed -n 's/^--window-icon=//p' "$staging/zenity.log" 2>/dev/null)"
[[ -n "$icon" && "$(realpath "$icon")" == "$(realpath "$staging")/share/icons/hicolor/48x48/apps/kerfo.png" ]] ||
    fail "the dialog's window icon is '$icon'"

# The manual page renders without a single warning and says what it should.
page="$staging/share/man/man1/kerfo.1"
if command -v man >/dev/null; then
    rendered="$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>"$staging/man.err")"
    [[ $? -eq 0 ]] || fail "man -l failed"
    [[ -s "$staging/man.err" ]] && fail "man -l warned: $(cat "$staging/man.err")"
    for heading in NAME SYNOPSIS DESCRIPTION OPTIONS SIZES "FILE NAMES" TILES "EXIT STATUS" \
        ENVIRONMENT FILES EXAMPLES; do
        grep -q "^$heading\$" <<<"$rendered" || fail "the manual page has no $heading section"
    done
    grep -q 'kerfo {-w|-h} size picture \[out \[rest\]\]' <<<"$rendered" ||
        fail "the synopsis of the cut to size is missing"
    grep -q 'Kerfo 1.12' <<<"$rendered" || fail "the manual page does not name version 1.12"
else
    fail "man is not installed; scripts/setup.sh test installs man-db"
fi

# The completion loads in a plain bash and offers the options for "-", and
# picture names (any letter case) and folders for a file name.
pictures="$staging/pictures"
mkdir -p "$pictures/album"
touch "$pictures/a.jpg" "$pictures/b.JPEG" "$pictures/c.Png" "$pictures/d.bmp" \
    "$pictures/notes.txt" "$pictures/e.gif"
complete_words() {
    (cd "$pictures" && bash --norc --noprofile -c '
        source "$1" || exit 3
        shift
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        COMP_LINE="$*"
        COMP_POINT=${#COMP_LINE}
        _kerfo kerfo "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' \
        completion "$staging/share/bash-completion/completions/kerfo" "$@")
}
options="$(complete_words kerfo -)"
[[ "$options" == "--help --version -? -dbg= -g -h -help -lossless -oq -overlap -shown -tile -ver -w -whole " ]] || fail "kerfo - completes to: $options"
names="$(complete_words kerfo -w 50% '')"
[[ "$names" == "a.jpg album b.JPEG c.Png d.bmp " ]] || fail "kerfo -w 50% completes to: $names"
after="$(complete_words kerfo -tile 256 '')"
[[ "$after" == " " || -z "${after// /}" ]] || fail "a size was completed to: $after"

if ((failures > 0)); then
    echo "$failures failures"
    exit 1
fi
echo "installed program, manual page, icons and completion are in order"
