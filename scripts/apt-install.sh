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
echo "apt-install: apt-get update (waits up to 10 minutes for the package lock)" >&2
run apt-get -o DPkg::Lock::Timeout=600 update -q
echo "apt-install: installing ${missing[*]} (waits up to 10 minutes for the package lock)" >&2
run apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
