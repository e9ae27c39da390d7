#!/usr/bin/env bash
# A set confirmed: this plug-in against the stock gphoto2 tool and a persistent python3-gphoto2
# script, on the same simulated camera in the same run, with the simulator's latency model at
# zero and at its realistic figures (bench/set_latency.py says what each figure measures).
#
#   scripts/bench-set-latency.sh [--build DIR] [--out DIR] [--devfs private|host] [--quick]
#                                [--before LIBRARY]
#
# Writes DIR/set-latency.md (table), set-latency.json (samples) and set-latency.png (plot);
# --out defaults to bench/results. --devfs private (default) runs under with-private-usb-devfs,
# so /dev/bus/usb exists as on the device and the plug-in does not scan the bus in every pass;
# --devfs host runs on this machine's /dev (no /dev/bus/usb here: a scan per pass).
# --quick: three samples a series, a smoke run of the whole chain. --before: also measure an
# earlier build's libPluginCameraCtrl.so (with this build's simulator).
set -euo pipefail
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
cd "$(dirname "$self")/.."
args=("$@")

build=build
out=bench/results
devfs=private
quick=()
before=()
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        --devfs) devfs=$2; shift 2 ;;
        --quick) quick=(--quick); shift ;;
        --before) before=(--before "$2"); shift 2 ;;
        *) echo "usage: $0 [--build DIR] [--out DIR] [--devfs private|host] [--quick] [--before LIBRARY]" >&2
           exit 2 ;;
    esac
done

if [ -z "${BENCH_SET_LATENCY_PRIVATE:-}" ]; then
    # The peers are Debian's: the gphoto2 tool and the bindings for Debian's own python3.
    scripts/setup.sh gphoto2 python3-gphoto2 python3-matplotlib
    for b in "$build/bin/set_latency_bench" "$build/bin/camsim"; do
        [ -x "$b" ] || { echo "build $b first (cmake --build $build --target set_latency_bench)" >&2; exit 2; }
    done
    if [ "$devfs" = private ]; then
        wrapper=$build/tests/bin/with-private-usb-devfs
        [ -x "$wrapper" ] || { echo "build $wrapper first (target with-private-usb-devfs)" >&2; exit 2; }
        exec env BENCH_SET_LATENCY_PRIVATE=1 "$wrapper" -- "$self" "${args[@]}"
    fi
fi
# Not the python3 first on PATH: python3-gphoto2 and matplotlib are Debian's.
exec /usr/bin/python3 bench/set_latency.py --build "$build" --out "$out" "${quick[@]}" "${before[@]}"
