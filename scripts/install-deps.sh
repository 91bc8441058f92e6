#!/usr/bin/env bash
# Installs what building and testing Tracora needs on Debian 12, as root; installs only what
# is missing. Also installs the pinned test oracles of tools/oracles.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build git pkg-config ccache python3 ca-certificates
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev libgl-dev libusb-1.0-0-dev libhidapi-dev libcurl4-openssl-dev
    clang-format
    geographiclib-tools libgeographiclib-dev gpsbabel libxml2-utils python3-pyftpdlib
    xvfb x11-utils
)
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Independent programs the tests compare against, pinned by the lockfile.
if ! (cd tools/oracles && npm ls --depth=0 >/dev/null 2>&1); then
    (cd tools/oracles && npm ci --no-audit --no-fund)
fi
