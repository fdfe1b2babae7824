#!/usr/bin/env bash
# Builds a release build and runs the benchmark: bench/run.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DKERFO_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)" --target kerfo_bench
mkdir -p bench/out
build-release/bench/kerfo_bench "${1:-7}" bench/out
