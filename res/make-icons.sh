#!/usr/bin/env bash
# Renders kerfo.svg into the PNG icons and the Windows .ico beside it. The
# renderings are kept in the repository so that a build needs neither tool;
# run this after changing the drawing (needs librsvg2-bin and icoutils).
set -euo pipefail
cd "$(dirname "$0")"

sizes=(16 32 48 256)
for size in "${sizes[@]}"; do
    rsvg-convert --width "$size" --height "$size" kerfo.svg --output "kerfo-$size.png"
done
# The largest size is stored as PNG inside the .ico, as Windows expects.
icotool --create --output kerfo.ico kerfo-16.png kerfo-32.png kerfo-48.png --raw=kerfo-256.png
