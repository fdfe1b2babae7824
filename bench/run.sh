#!/usr/bin/env bash
# Builds a release build and runs the benchmark: bench/run.sh [ROUNDS]
#
# Run as root, it runs on a fresh ext4 file system with a journal, as users'
# disks have, in an image file loop-mounted for the run (e2fsprogs makes it);
# otherwise, or with KERFO_BENCH_DISK=here, in bench/out on this machine's own
# disk. The photos are made once, in bench/out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DKERFO_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)" --target kerfo_bench
mkdir -p bench/out
folder=bench/out
if [[ "$(id -u)" == 0 && "${KERFO_BENCH_DISK:-ext4}" == ext4 ]]; then
    bash scripts/apt-install.sh e2fsprogs
    image=bench/out/ext4.img
    folder=bench/out/ext4
    rm -f "$image"
    truncate -s 1G "$image"
    mkfs.ext4 -q -F -j "$image"
    mkdir -p "$folder"
    mount -o loop "$image" "$folder"
    trap 'umount "$folder"; rm -f "$image"' EXIT
    echo "On ext4 with a journal, loop-mounted from $image:"
fi
build-release/bench/kerfo_bench "${1:-7}" "$folder" bench/out
