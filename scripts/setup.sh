#!/usr/bin/env bash
# Installs the Debian packages that building (and, with "test", testing) Kerfo
# needs. Does nothing when they are all present already; runs as root.
set -euo pipefail

packages=(g++ cmake make pkg-config libfreeimage-dev)
if [[ "${1:-build}" == "test" ]]; then
    # clang and its runtime libraries build and run the libFuzzer target.
    packages+=(libgtest-dev clang libclang-rt-14-dev)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
