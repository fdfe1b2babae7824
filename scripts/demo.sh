#!/usr/bin/env bash
# Sets up, builds Kerfo and cuts the bundled sample picture into pieces under out/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh build
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DKERFO_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)" --target kerfo

kerfo=build-release/src/kerfo
rm -rf out/demo
mkdir -p out/demo
cp samples/sample.jpg out/demo/sample.jpg

"$kerfo" -w 50% out/demo/sample.jpg out/demo/left.jpg out/demo/right.jpg
"$kerfo" -h 4cm out/demo/sample.jpg out/demo/top.png -
"$kerfo" -g 2 3 out/demo/sample.jpg

echo
echo "Cut samples/sample.jpg (a copy in out/demo/):"
echo "  kerfo -w 50% sample.jpg left.jpg right.jpg   -> left half and right half"
echo "  kerfo -h 4cm sample.jpg top.png -            -> the top 4 cm as PNG"
echo "  kerfo -g 2 3 sample.jpg                       -> six tiles sample-rr-cc.jpg"
echo
echo "The pieces are in $(pwd)/out/demo:"
ls -l out/demo
