#!/usr/bin/env bash
# Sets up, builds Kerfo and runs every test: once in a normal build and once in
# a build with AddressSanitizer and UndefinedBehaviorSanitizer; then builds the
# fuzz targets with clang (the utility library's readers, and the loading,
# cutting and saving of pictures, against FreeImage and its codecs built with
# the same sanitizers and coverage: scripts/fuzz-deps.sh, cached) and runs each
# for a bounded time; then builds the Debian package
# from the normal build, installs, uses and removes it; last builds Kerfo.exe
# for Windows, its zip and installer, and tests them under Wine
# (scripts/windows.sh, against the normal build).
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
    ctest --test-dir "$folder" --output-on-failure --no-tests=error -j"$jobs" | tee "$folder/ctest.log"
    local count
    count="$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\)$/\1/p' "$folder/ctest.log")"
    passed=$((passed + ${count:-0}))
}

echo "== Normal build =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKERFO_TESTS=ON
echo "== Sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer) =="
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DKERFO_SANITIZE=ON -DKERFO_TESTS=ON
echo "== Fuzz build (libFuzzer, clang, instrumented libraries) =="
fuzz_prefix="$(bash scripts/fuzz-deps.sh | tail -n 1)"
cmake -S . -B build-fuzz -DKERFO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKERFO_FUZZ_PREFIX="$fuzz_prefix" \
    -DKERFO_FUZZ_STRUCTURE=ON >/dev/null
cmake --build build-fuzz -j"$jobs"
# New inputs go to corpora inside the build folder; the seeds stay as they are.
mkdir -p build-fuzz/corpus build-fuzz/picture-corpus
build-fuzz/fuzz/kerfo_util_fuzz -max_total_time="${KERFO_FUZZ_SECONDS:-45}" -print_final_stats=1 \
    -artifact_prefix=build-fuzz/ build-fuzz/corpus fuzz/seeds
passed=$((passed + 1))
# Any allocation beyond the loader's memory limit (64 MB) and the library's own
# buffers counts as a failure; so does any leak but the library's own that
# fuzz/lsan.supp names. The fuzzer mutates the files' structure (chunks and
# segments) as well as their bytes, and takes the formats' words from its
# dictionary.
LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0" build-fuzz/fuzz/kerfo_picture_fuzz -max_total_time="${KERFO_FUZZ_SECONDS:-45}" \
    -malloc_limit_mb=256 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 -dict=fuzz/picture.dict \
    -artifact_prefix=build-fuzz/ build-fuzz/picture-corpus fuzz/picture-seeds
passed=$((passed + 1))
echo "== Debian package: build, install with apt-get, use, remove =="
bash scripts/package-test.sh build
passed=$((passed + 1))
echo "== Windows: Kerfo.exe, its zip and installer, tested under Wine =="
bash scripts/windows.sh | tee build/windows.log
count="$(sed -n 's/^windows: \([0-9]*\) passed, 0 failed$/\1/p' build/windows.log)"
passed=$((passed + ${count:-0}))
echo "summary: $passed passed, 0 failed"
