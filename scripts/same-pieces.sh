#!/usr/bin/env bash
# Cuts a set of pictures with two builds of Kerfo and compares what they do:
# every piece byte for byte, the exit code and every message. For a change
# that must not change what the program does (a refactoring), run it with the
# kerfo of the commit before and the one after:
#   scripts/same-pieces.sh OLD_KERFO NEW_KERFO
# The pictures: the bundled sample, the fuzz seeds (damaged and hostile
# files: the refusals must match too) and pictures that ImageMagick makes
# here (JPEG in every subsampling, grey, progressive, with EXIF; PNG of every
# colour type and depth, with gamma, transparency and profile; BMP of every
# depth). Each is cut with -w, -h and -g into JPEG, PNG and BMP pieces, and a
# JPEG with -lossless too. Prints "same-pieces: N jobs, all the same" or the
# first jobs that differ, and exits 1 then.
set -euo pipefail
old="$(realpath "$1")"
new="$(realpath "$2")"
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
pictures="$work/pictures"
mkdir -p "$pictures"

cp "$root/samples/sample.jpg" "$pictures/sample.jpg"
for seed in "$root"/fuzz/picture-seeds/*; do
    name="$(basename "$seed")"
    case "$(head -c 1 "$seed")" in
        J) extension=jpg ;;
        P) extension=png ;;
        *) extension=bmp ;;
    esac
    tail -c +2 "$seed" >"$pictures/seed-$name.$extension"
done
make() { convert -size 243x161 plasma:fractal -seed 7 "$@"; }
make -sampling-factor 4:2:0 -quality 90 "$pictures/s420.jpg"
make -sampling-factor 4:4:4 -quality 80 "$pictures/s444.jpg"
make -sampling-factor 4:2:2 -interlace JPEG "$pictures/s422p.jpg"
make -colorspace Gray "$pictures/grey.jpg"
make -density 300 -units PixelsPerInch "$pictures/dpi.jpg"
make -set exif:Orientation 6 "$pictures/tagged.jpg" 2>/dev/null || true
convert "$root/samples/sample.jpg" -resize 50% "$pictures/sample-small.jpg"
make -colorspace Gray -depth 8 "$pictures/grey8.png"
make -colorspace Gray -depth 16 "$pictures/grey16.png"
make -depth 16 "$pictures/rgb16.png"
make -alpha set -channel A -evaluate set 60% "$pictures/rgba.png"
make -colors 40 "PNG8:$pictures/palette.png"
make -transparent-color white -transparent '#808080' "$pictures/trns.png"
make -gamma 0.8 -define png:include-chunk=gAMA "$pictures/gamma.png"
make -colorspace Gray -depth 4 "$pictures/grey4.png"
make "BMP3:$pictures/rgb24.bmp"
make -colors 16 "BMP3:$pictures/palette4.bmp"
make -colors 200 "BMP3:$pictures/palette8.bmp"
make -alpha set "BMP:$pictures/rgba.bmp"
make -colorspace Gray -depth 1 -type bilevel "BMP3:$pictures/bilevel.bmp"

jobs=0
failed=0
unstable=0
# Runs binary on a copy of picture in folder with the arguments.
cut_in() {
    local folder="$1" binary="$2" picture="$3"
    shift 3
    rm -rf "$folder"
    mkdir -p "$folder"
    cp "$picture" "$folder/"
    set +e
    (cd "$folder" && "$binary" "$@" >stdout 2>stderr </dev/null)
    echo "exit $?" >>"$folder/stdout"
    set -e
}
run() {
    local picture="$1"
    shift
    local label
    label="$(basename "$picture") $*"
    cut_in "$work/old" "$old" "$picture" "$@"
    cut_in "$work/new" "$new" "$picture" "$@"
    jobs=$((jobs + 1))
    if ! diff -r "$work/old" "$work/new" >/dev/null; then
        # A job whose pieces differ from one run of the same build to the
        # next says nothing of the change.
        # (The image library's RLE encoder of BMPs, which -oq with an odd
        # number asks for, writes bytes it never set.)
        local try
        for try in 1 2 3; do
            cut_in "$work/again" "$old" "$picture" "$@"
            if ! diff -r "$work/old" "$work/again" >/dev/null; then
                unstable=$((unstable + 1))
                echo "same-pieces: unstable in the old build itself: $label" >&2
                rm -rf "$work/again"
                return
            fi
        done
        rm -rf "$work/again"
        failed=$((failed + 1))
        if ((failed <= 10)); then
            echo "same-pieces: differs: $label" >&2
            diff -r "$work/old" "$work/new" | head -n 5 >&2 || true
        fi
    fi
}
for picture in "$pictures"/*; do
    name="$(basename "$picture")"
    for extension in jpg png bmp; do
        run "$picture" -w 50% "$name" "left.$extension" "right.$extension"
        run "$picture" -h 37 "$name" "top.$extension" "bottom.$extension"
    done
    run "$picture" -w 1in "$name" out.png rest.jpg
    run "$picture" -h 40% "$name"
    run "$picture" -g 3 4 "$name"
    run "$picture" -g 1 2 -oq 75 "$name"
    case "$name" in
        *.jpg)
            run "$picture" -lossless -w 64 "$name" left.jpg right.jpg
            run "$picture" -lossless -h 48 "$name" top.jpg bottom.jpg
            run "$picture" -lossless -w 61 "$name" left.jpg right.jpg
            run "$picture" -lossless -g 2 2 "$name"
            run "$picture" -lossless -g 3 5 "$name"
            ;;
    esac
done
if ((failed > 0)); then
    echo "same-pieces: $failed of $jobs jobs differ" >&2
    exit 1
fi
echo "same-pieces: $jobs jobs, all the same ($unstable unstable in the old build itself)"
