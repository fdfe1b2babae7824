#!/usr/bin/env bash
# Sets up, builds Kerfo and runs every test: once in a normal build and once in
# a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh test
jobs="$(nproc)"

run_suite() {
    local folder="$1"
    shift
    cmake -S . -B "$folder" "$@" >/dev/null
    cmake --build "$folder" -j"$jobs"
    ctest --test-dir "$folder" --output-on-failure -j"$jobs"
}

echo "== Normal build =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== Sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer) =="
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DKERFO_SANITIZE=ON
