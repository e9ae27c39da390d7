#!/usr/bin/env bash
# A set confirmed through Debian's unmodified ptp2 driver on the bodies emulated at the USB wire
# (Sony A7 III one and five notches away for ISO, f-number and shutter speed; Canon R6 and
# Nikon Z 9 ISO), this plug-in beside python3-gphoto2 in the same run, and the same through the
# camera-library simulator; latency model at zero, then realistic (bench/ptp_set_latency.py
# says what each figure measures).
#
#   scripts/bench-ptp-set-latency.sh [--build DIR] [--out DIR] [--devfs private|host] [--quick]
#
# Writes DIR/ptp-set-latency.md (table) and ptp-set-latency.json (samples); --out defaults to
# bench/results. --devfs private (default) runs under with-private-usb-devfs, so /dev/bus/usb
# exists as on the device and the plug-in does not scan the bus in every pass.
set -euo pipefail
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
cd "$(dirname "$self")/.."
args=("$@")

build=build
out=bench/results
devfs=private
quick=()
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        --devfs) devfs=$2; shift 2 ;;
        --quick) quick=(--quick); shift ;;
        *) echo "usage: $0 [--build DIR] [--out DIR] [--devfs private|host] [--quick]" >&2; exit 2 ;;
    esac
done

if [ -z "${BENCH_PTP_PRIVATE:-}" ]; then
    scripts/setup.sh python3-gphoto2
    for b in "$build/bin/set_latency_bench" "$build/bin/camsim" "$build/sim/ptp-iolibs/camsim-ptp.so"; do
        [ -e "$b" ] || { echo "build $b first (targets set_latency_bench camsim camsim_ptp_iolib)" >&2; exit 2; }
    done
    if [ "$devfs" = private ]; then
        wrapper=$build/tests/bin/with-private-usb-devfs
        [ -x "$wrapper" ] || { echo "build $wrapper first (target with-private-usb-devfs)" >&2; exit 2; }
        exec env BENCH_PTP_PRIVATE=1 "$wrapper" -- "$self" "${args[@]}"
    fi
fi
# Only Debian's ptp2 driver: each process detects the body with that one library.
camlibs=$(mktemp -d /tmp/debian-ptp2.XXXXXX)
trap 'rm -rf "$camlibs"' EXIT
ln -s "$(pkg-config --variable=driverdir libgphoto2)/ptp2.so" "$camlibs/ptp2.so"
# Not the python3 first on PATH: python3-gphoto2 is Debian's.
/usr/bin/python3 bench/ptp_set_latency.py --build "$build" --out "$out" --camlibs "$camlibs" "${quick[@]}"
