#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only what is missing).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang clang-format
    libgphoto2-dev gphoto2 nlohmann-json3-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libmicrohttpd-dev chromium chromium-driver python3-selenium
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# One unreachable index (e.g. a mirror mid-sync) must not stop the rest.
$sudo apt-get update -qq || echo "setup: apt-get update reported errors" >&2
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
