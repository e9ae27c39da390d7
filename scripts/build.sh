#!/usr/bin/env bash
# Configures and builds one build tree:
#   build.sh DIR [cmake configure arguments] [--target TARGET...]
# A new tree gets Ninja where it is installed: it keeps both cores busy through the links that
# make runs one directory at a time. An existing tree keeps its generator.
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
generator=()
if [ ! -e "$dir/CMakeCache.txt" ] && [ -z "${CMAKE_GENERATOR:-}" ] && command -v ninja >/dev/null; then
    generator=(-G Ninja)
fi
cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${configure[@]}" >/dev/null
jobs=${CAMCTRL_JOBS:-2}
if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" -j"$jobs" --target "${targets[@]}"
else
    cmake --build "$dir" -j"$jobs"
fi
