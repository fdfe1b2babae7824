#!/usr/bin/env bash
# Installs those of the Debian packages named that are missing, with apt-get,
# waiting up to 10 minutes for the package lock; does nothing when all are
# there. Its output shows only when it fails. Runs as root.
# Usage: scripts/apt-install.sh PACKAGE...
set -euo pipefail

missing=()
for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
((${#missing[@]} == 0)) && exit 0

export DEBIAN_FRONTEND=noninteractive
run() {
    local output
    if ! output="$("$@" </dev/null 2>&1)"; then
        echo "$output" >&2
        echo "apt-install: $* failed" >&2
        exit 1
    fi
}
# apt-get update doesn't wait for the lock of the package lists, which another
# apt (an unattended upgrade on a freshly booted machine) may hold: try again
# every few seconds, for up to 10 minutes.
update() {
    local output waited=0
    while ! output="$(apt-get -o DPkg::Lock::Timeout=600 update -q </dev/null 2>&1)"; do
        if ! grep -q "Could not get lock" <<<"$output" || ((waited >= 600)); then
            echo "$output" >&2
            echo "apt-install: apt-get update failed" >&2
            exit 1
        fi
        ((waited == 0)) && echo "apt-install: waiting for another apt or dpkg to finish" >&2
        sleep 5
        waited=$((waited + 5))
    done
}
echo "apt-install: apt-get update (waits up to 10 minutes for the package lock)" >&2
update
echo "apt-install: installing ${missing[*]} (waits up to 10 minutes for the package lock)" >&2
run apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
