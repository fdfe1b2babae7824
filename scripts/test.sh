#!/usr/bin/env bash
# Sets up, builds Kerfo and runs every test: once in a normal build and once in
# a build with AddressSanitizer and UndefinedBehaviorSanitizer; then builds the
# Debian package from the normal build, installs, uses and removes it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh test
jobs="$(nproc)"

passed=0
run_suite() {
    local folder="$1"
    shift
    cmake -S . -B "$folder" "$@" >/dev/null
    cmake --build "$folder" -j"$jobs"
    ctest --test-dir "$folder" --output-on-failure -j"$jobs" | tee "$folder/ctest.log"
    local count
    count="$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\)$/\1/p' "$folder/ctest.log")"
    passed=$((passed + ${count:-0}))
}

echo "== Normal build =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== Sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer) =="
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DKERFO_SANITIZE=ON
echo "== Debian package: build, install with apt-get, use, remove =="
bash scripts/package-test.sh build
passed=$((passed + 1))
echo "summary: $passed passed, 0 failed"
