#!/usr/bin/env bash
# A fuzzing campaign longer than the test command's: builds the fuzz targets
# against the instrumented libraries (scripts/fuzz-deps.sh), runs the picture
# fuzzer for SECONDS (an hour by default) and the utility fuzzer for a tenth of
# that, each on a corpus kept between campaigns and started from the seeds in
# fuzz/, and reports the runs, the coverage - the edges covered in Kerfo's own
# code and in each library, of all the edges they have - and every input that
# broke something.
#
# Usage: scripts/fuzz-campaign.sh [SECONDS]
# Environment:
#   KERFO_FUZZ_CORPUS  where the corpora live (default ${XDG_CACHE_HOME:-$HOME/.cache}/kerfo/fuzz-corpus)
#   KERFO_FUZZ_OUT     the build and the findings (default out/fuzz-campaign)
#   KERFO_JOBS         parallel compile jobs and fuzzing processes (default: the
#                      cores, at most 2)
#   KERFO_FUZZ_STRUCTURE  OFF: the picture fuzzer without its mutations of the
#                      files' structure, only libFuzzer's own (default ON)
# An input that breaks something is kept as OUT/findings/crash-... (or leak-,
# timeout-, oom-); turn each into a seed in fuzz/picture-seeds once the fault is
# mended. Exits 1 when there are findings.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

seconds="${1:-3600}"
if [[ ! "$seconds" =~ ^[0-9]+$ ]] || ((seconds < 10)); then
    echo "usage: $0 [SECONDS] (at least 10)" >&2
    exit 2
fi
corpus="${KERFO_FUZZ_CORPUS:-${XDG_CACHE_HOME:-$HOME/.cache}/kerfo/fuzz-corpus}"
out="${KERFO_FUZZ_OUT:-$root/out/fuzz-campaign}"
cores="$(nproc)"
jobs="${KERFO_JOBS:-$((cores < 2 ? cores : 2))}"
structure="${KERFO_FUZZ_STRUCTURE:-ON}"
log() { echo "fuzz-campaign: $*" >&2; }

bash scripts/setup.sh test
prefix="$(bash scripts/fuzz-deps.sh | tail -n 1)"
build="$out/build"
findings="$out/findings"
mkdir -p "$corpus/picture" "$corpus/util" "$findings" "$out/logs"
log "building the fuzz targets in $build"
if ! { cmake -S . -B "$build" -DKERFO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKERFO_FUZZ_PREFIX="$prefix" \
    -DKERFO_FUZZ_STRUCTURE="$structure" &&
    cmake --build "$build" -j"$jobs"; } >"$out/logs/build.log" 2>&1; then
    tail -n 40 "$out/logs/build.log" >&2
    log "the build failed; its log: $out/logs/build.log"
    exit 1
fi
# The library's reports, symbolized, and line numbers for the coverage report.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:symbolize=1"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-}:print_stacktrace=1"
# The library's leaks that the test command lets pass too.
export LSAN_OPTIONS="${LSAN_OPTIONS:-}:suppressions=$root/fuzz/lsan.supp:print_suppressions=0"

# run NAME SECONDS CORPUS SEEDS OPTIONS...: one fuzzer with a fork per core,
# each fault that it meets kept in $findings, the run going on after it.
run() {
    local name="$1" time="$2" kept="$3" seeds="$4"
    shift 4
    log "running kerfo_${name}_fuzz for $time s (corpus $kept)"
    "$build/fuzz/kerfo_${name}_fuzz" -max_total_time="$time" -print_final_stats=1 \
        -fork="$jobs" -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
        -artifact_prefix="$findings/" "$@" "$kept" "$seeds" >"$out/logs/$name.log" 2>&1 || true
}
# The picture fuzzer's limits and dictionary are those of scripts/test.sh.
run picture "$seconds" "$corpus/picture" fuzz/picture-seeds \
    -malloc_limit_mb=256 -rss_limit_mb=2048 -max_len=8192 -timeout=25 -dict=fuzz/picture.dict
run util "$((seconds / 10 > 10 ? seconds / 10 : 10))" "$corpus/util" fuzz/seeds

# Runs and edges: the fuzzers' own count of the runs, and the coverage of the
# whole corpus replayed once, function by function, summed by where the
# source lies (the libraries' paths hold their source package's name; what
# lies elsewhere is the standard library's templates, inlined).
report="$out/report.txt"
{
    echo "campaign of $seconds s on $(date -u +%Y-%m-%dT%H:%M:%SZ), $jobs process(es), structure mutations $structure, libraries $prefix"
    for name in picture util; do
        runs="$(sed -n 's/.*#\([0-9]*\).*/\1/p' "$out/logs/$name.log" | sort -n | tail -n 1)"
        echo "kerfo_${name}_fuzz: ${runs:-0} runs, corpus of $(find "$corpus/$name" -type f | wc -l) inputs"
    done
    "$build/fuzz/kerfo_picture_fuzz" -runs=0 -print_coverage=1 -malloc_limit_mb=256 \
        -rss_limit_mb=2048 -max_len=8192 "$corpus/picture" 2>&1 |
        awk '
            /^(COVERED|UNCOVERED)_FUNC: / {
                split($5, counts, "/")
                file = $NF
                module = "Kerfo"
                if (file ~ /(^|\/)freeimage\/Source\//) module = "FreeImage"
                else if (file ~ /(^|\/)libjpeg-turbo\//) module = "libjpeg-turbo"
                else if (file ~ /(^|\/)libpng1\.6\//) module = "libpng"
                else if (file ~ /(^|\/)zlib\//) module = "zlib"
                else if (file !~ /\/(src|fuzz)\//) module = "C++ headers"
                covered[module] += counts[1]
                total[module] += counts[2]
            }
            END {
                printf "picture fuzzer edges covered, of all, by module:\n"
                for (module in total) {
                    printf "  %-14s %6d of %6d\n", module, covered[module], total[module]
                    all += covered[module]
                }
                printf "  %-14s %6d\n", "all", all
            }'
    echo "findings:"
    find "$findings" -type f -printf '  %f\n' | sort
} >"$report"
cat "$report"
if [[ -n "$(find "$findings" -type f)" ]]; then
    log "findings in $findings; the fuzzers' logs: $out/logs"
    exit 1
fi
log "no findings; report in $report"
