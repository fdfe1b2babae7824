#!/usr/bin/env bash
# Builds the Debian package from a finished build, installs it with apt-get as
# a user would, uses the installed kerfo from PATH (the version and a real cut
# of the sample picture), and removes the package again. Runs as root.
# Usage: scripts/package-test.sh [BUILD_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

bash scripts/setup.sh test
rm -f "$build"/kerfo_*.deb
(cd "$build" && cpack -G DEB)
package="$(ls "$build"/kerfo_*.deb)"
echo "Package: $package"
dpkg-deb --field "$package" Package Version Depends

work="$(mktemp -d)"
cleanup() {
    rm -rf "$work"
    if dpkg-query -W -f='${Status}' kerfo 2>/dev/null | grep -q "install ok installed"; then
        apt-get remove -y -qq kerfo >/dev/null
    fi
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
# Only what the package depends on: the program must work without the
# recommended dialog and browser helpers.
apt-get install -y -qq --no-install-recommends "$(realpath "$package")" </dev/null

# The installed program, from PATH, with no display: it answers on the console.
run_kerfo() {
    env -u DISPLAY -u WAYLAND_DISPLAY kerfo "$@" </dev/null
}
[[ "$(command -v kerfo)" == /usr/bin/kerfo ]] || { echo "FAIL: kerfo is not /usr/bin/kerfo"; exit 1; }
version="$(run_kerfo -ver)"
[[ "$version" == "Kerfo Ver 1.12"$'\n'"Copyright"* ]] || { echo "FAIL: kerfo -ver: $version"; exit 1; }

cp samples/sample.jpg "$work/photo.jpg"
run_kerfo -w 50% "$work/photo.jpg" "$work/left.jpg" "$work/right.png"
width="$(identify -format %w "$work/photo.jpg")"
height="$(identify -format %h "$work/photo.jpg")"
left="$(identify -format %wx%h "$work/left.jpg")"
right="$(identify -format %wx%h "$work/right.png")"
if [[ "$left" != "$((width / 2))x$height" || "$right" != "$((width - width / 2))x$height" ]]; then
    echo "FAIL: a ${width}x$height picture was cut into $left and $right"
    exit 1
fi
identify -format '%m\n' "$work/right.png" | grep -qx PNG || { echo "FAIL: right.png is no PNG"; exit 1; }
for file in /usr/share/man/man1/kerfo.1 /usr/share/bash-completion/completions/kerfo \
    /usr/share/icons/hicolor/48x48/apps/kerfo.png; do
    dpkg -L kerfo | grep -qx "$file" || { echo "FAIL: the package lacks $file"; exit 1; }
done

apt-get remove -y -qq kerfo </dev/null >/dev/null
if command -v kerfo >/dev/null; then
    echo "FAIL: kerfo is still on PATH after apt-get remove"
    exit 1
fi
echo "Package test passed: installed, used from PATH and removed."
