#!/usr/bin/env bash
# Configures and builds one build tree:
#   build.sh DIR [cmake configure arguments] [--target TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
configure=()
targets=()
while [ $# -gt 0 ]; do
    if [ "$1" = "--target" ]; then
        shift
        targets=("$@")
        break
    fi
    configure+=("$1")
    shift
done
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${configure[@]}" >/dev/null
if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" -j2 --target "${targets[@]}"
else
    cmake --build "$dir" -j2
fi
