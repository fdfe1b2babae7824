#!/usr/bin/env bash
# The set-up waits for another apt or dpkg that holds the package locks, as one
# often does on a freshly booted machine, instead of failing at once. A package
# that doesn't exist is asked for, so that nothing is installed: the run must
# wait for the locks, then fail on the name alone.
# Usage: apt_lock_test.sh HOLD_APT_LOCKS_PROGRAM
set -uo pipefail
cd "$(dirname "$0")/../.."
if [[ "$(id -u)" != 0 ]]; then
    echo "skipped: taking apt's locks needs root"
    exit 77
fi
holder="$1"
seconds=8

"$holder" "$seconds" >"${TMPDIR:-/tmp}/kerfo-lock-held.$$" &
holder_pid=$!
for _ in $(seq 100); do
    grep -q held "${TMPDIR:-/tmp}/kerfo-lock-held.$$" && break
    sleep 0.1
done
rm -f "${TMPDIR:-/tmp}/kerfo-lock-held.$$"

start=$SECONDS
output="$(bash scripts/apt-install.sh kerfo-no-such-package 2>&1)"
status=$?
elapsed=$((SECONDS - start))
wait "$holder_pid"

fail() {
    echo "FAIL: $1"
    echo "$output"
    exit 1
}
((status != 0)) || fail "asking for a package that doesn't exist succeeded"
grep -q "waiting for another apt or dpkg to finish" <<<"$output" || fail "it didn't say it waits"
grep -q "Could not get lock" <<<"$output" && fail "it gave up on the lock"
grep -q "kerfo-no-such-package" <<<"$output" || fail "it failed on something else than the name"
((elapsed >= seconds - 2)) || fail "it didn't wait for the locks (${elapsed} s)"
echo "apt lock test passed: waited ${elapsed} s for the locks, then went on"
