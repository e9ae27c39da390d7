#!/usr/bin/env bash
# What waiting for a camera costs camera-host with the plug-in, and how soon a camera
# that comes or goes is reported.
#
#   scripts/bench-idle.sh [--build DIR] [--seconds N] [--cycles N] [--devfs host|private]
#                         [SCENARIO...]
#
# Scenarios (default: all five):
#   full       no camera, the system's libgphoto2 drivers (CAMLIBS/IOLIBS unset, as on the device)
#   sim        no camera, only the simulator's drivers
#   connected  a simulated camera connected and idle
#   plug       plug/unplug latency over --cycles cycles: from the start of the `camsim plug`
#              (`camsim unplug`) call to the record with connection state 1 (0) on
#              camera-host --json's standard output; only the simulator's drivers
#   plug-all   the same with every installed camera and port driver next to the simulator's,
#              except ptp2 (it claims the simulated models' names) and usb1 (one USB port
#              driver per process): what loading and matching the drivers adds to a connection
# For full/sim/connected: CPU time of camera-host (user + system, /proc/PID/stat) over
# --seconds of wall time after a 3 s warm-up, as % of one core, and its resident memory
# (VmRSS at the end, VmHWM peak); with the simulator, also how often the bus was scanned
# (libgphoto2 loaded its port list) meanwhile.
#
# --devfs host (default) runs on this machine's /dev as it is. --devfs private runs the whole
# script again under with-private-usb-devfs (built with the tests): a private mount namespace
# whose /dev/bus/usb is writable, with the simulator told to make its USB device node there,
# as the kernel does for a real camera.
set -euo pipefail
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
cd "$(dirname "$self")/.."
args=("$@")

build=build
seconds=30
cycles=20
devfs=host
scenarios=()
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --seconds) seconds=$2; shift 2 ;;
        --cycles) cycles=$2; shift 2 ;;
        --devfs) devfs=$2; shift 2 ;;
        full|sim|connected|plug|plug-all) scenarios+=("$1"); shift ;;
        *) echo "usage: $0 [--build DIR] [--seconds N] [--cycles N] [--devfs host|private] [full|sim|connected|plug|plug-all]..." >&2
           exit 2 ;;
    esac
done
[ ${#scenarios[@]} -gt 0 ] || scenarios=(full sim connected plug plug-all)

build=$(cd "$build" && pwd)
host_bin=$build/bin/camera-host
camsim_bin=$build/bin/camsim
if [ "$devfs" = private ] && [ -z "${BENCH_IDLE_PRIVATE:-}" ]; then
    wrapper=$build/tests/bin/with-private-usb-devfs
    [ -x "$wrapper" ] || { echo "build $wrapper first (target with-private-usb-devfs)" >&2; exit 2; }
    exec env BENCH_IDLE_PRIVATE=1 "$wrapper" -- "$self" "${args[@]}"
fi
for b in "$host_bin" "$camsim_bin"; do
    [ -x "$b" ] || { echo "build $b first" >&2; exit 2; }
done

work=$(mktemp -d /tmp/bench-idle.XXXXXX)
host_pid=
cleanup() {
    if [ -n "$host_pid" ]; then kill "$host_pid" 2>/dev/null || true; wait "$host_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

ticks_per_s=$(getconf CLK_TCK)

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
status_kb() { awk -v k="$2:" '$1 == k {print $2}' "/proc/$1/status"; }

# start_host ENV... -- ARGS...: camera-host as a coprocess, records on HOST[0].
start_host() {
    local envs=()
    while [ "$1" != -- ]; do envs+=("$1"); shift; done
    shift
    coproc HOST { exec env "${envs[@]}" "$host_bin" --json "$@" 2>>"$work/host.err"; }
    host_pid=$HOST_PID
}

stop_host() {
    kill -TERM "$host_pid" 2>/dev/null || true
    wait "$host_pid" 2>/dev/null || true
    host_pid=
}

# wait_record STATE TIMEOUT_S: reads records until one with connectState STATE; 0 if seen.
wait_record() {
    local line deadline=$(( ${EPOCHREALTIME/./} + ${2%.*} * 1000000 ))
    while [ "${EPOCHREALTIME/./}" -lt "$deadline" ]; do
        if IFS= read -r -t 1 -u "${HOST[0]}" line; then
            case "$line" in *"\"connectState\":$1,"*) return 0 ;; esac
        fi
    done
    return 1
}

# Discards the records that are already waiting.
drain() {
    local line
    while IFS= read -r -t 0.2 -u "${HOST[0]}" line; do :; done
}

# Empty with a simulator that does not count them.
scans() { "$camsim_bin" --state-dir "$state" scans 2>/dev/null || true; }

measure_idle() {
    local label=$1 t0 t1 c0 c1 s0 s1 scanned=
    sleep 3
    t0=${EPOCHREALTIME/./}
    c0=$(cpu_ticks "$host_pid")
    s0=$(scans)
    sleep "$seconds"
    t1=${EPOCHREALTIME/./}
    c1=$(cpu_ticks "$host_pid")
    s1=$(scans)
    [ "$label" = full ] || [ -z "$s0" ] || scanned="   bus scans $((s1 - s0))"
    awk -v l="$label" -v c=$((c1 - c0)) -v hz="$ticks_per_s" -v us=$((t1 - t0)) -v scanned="$scanned" \
        -v rss="$(status_kb "$host_pid" VmRSS)" -v hwm="$(status_kb "$host_pid" VmHWM)" \
        'BEGIN { printf "%-10s CPU %6.2f %% of one core over %.1f s   VmRSS %6.1f MiB   VmHWM %6.1f MiB%s\n",
                 l, 100 * c / hz / (us / 1e6), us / 1e6, rss / 1024, hwm / 1024, scanned }'
}

# plug_cycles LABEL: camera-host runs connected; --cycles times unplug, then plug again.
plug_cycles() {
    local label=$1 i t0
    wait_record 1 10 || { echo "$label: no connected record" >&2; exit 1; }
    : >"$work/unplug.ms"
    : >"$work/plug.ms"
    for ((i = 0; i < cycles; i++)); do
        sleep 0.5
        drain
        t0=${EPOCHREALTIME/./}
        "$camsim_bin" --state-dir "$state" unplug >/dev/null
        if wait_record 0 10; then ms "$t0" "${EPOCHREALTIME/./}"; else echo missed; fi >>"$work/unplug.ms"
        sleep 0.5
        drain
        t0=${EPOCHREALTIME/./}
        "$camsim_bin" --state-dir "$state" plug sony-a7m3 >/dev/null
        if wait_record 1 10; then ms "$t0" "${EPOCHREALTIME/./}"; else echo missed; fi >>"$work/plug.ms"
    done
    summary "$label" "$work/plug.ms" <"$work/plug.ms"
    summary "un$label" "$work/unplug.ms" <"$work/unplug.ms"
}

# Every installed driver but the two that cannot sit next to the simulator's, and the
# simulator's own.
all_drivers() {
    local kind dir skip own f
    for kind in camlibs iolibs; do
        if [ $kind = camlibs ]; then
            dir=$(pkg-config --variable=driverdir libgphoto2); skip=ptp2.so; own=$build/sim/camlibs
        else
            dir=$(pkg-config --variable=driverdir libgphoto2_port); skip=usb1.so; own=$build/sim/iolibs
        fi
        mkdir -p "$work/$kind"
        for f in "$dir"/*.so "$own"/*.so; do
            [ "$(basename "$f")" = $skip ] || ln -sf "$f" "$work/$kind/"
        done
    done
}

sim_env() {
    echo CAMLIBS="$build/sim/camlibs" IOLIBS="$build/sim/iolibs" CAMSIM_STATE_DIR="$1"
}

# Milliseconds between two $EPOCHREALTIME values without the dot.
ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f\n", (b - a) / 1000 }'; }

# Median, worst and best of the lines of standard input; "missed" lines (no record within
# 10 s) are counted apart.
summary() {
    awk '$1 != "missed"' | sort -n | awk -v l="$1" -v missed="$(grep -c missed "$2" || true)" '
        { v[NR] = $1 } END {
        tail = missed > 0 ? sprintf(", %d more not reported within 10 s", missed) : ""
        if (NR == 0) { printf "%-10s no samples%s\n", l, tail; exit }
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%-10s median %7.1f ms   worst %7.1f ms   best %7.1f ms   (%d cycles%s)\n", l, m, v[NR], v[1], NR, tail }'
}

echo "camera-host idle cost and plug latency: $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores," \
     "load $(cut -d' ' -f1-3 /proc/loadavg), devfs $devfs"

for scenario in "${scenarios[@]}"; do
    state=$work/state-$scenario
    mkdir -p "$state"
    case "$scenario" in
        full)
            start_host -u CAMLIBS -u IOLIBS --
            measure_idle full
            stop_host ;;
        sim)
            # shellcheck disable=SC2046
            start_host $(sim_env "$state") --
            measure_idle sim
            stop_host ;;
        connected)
            start_host -u CAMLIBS -u IOLIBS -- --simulate sony-a7m3 --state-dir "$state"
            wait_record 1 10 || { echo "connected: no connected record" >&2; exit 1; }
            measure_idle connected
            stop_host ;;
        plug)
            start_host -u CAMLIBS -u IOLIBS -- --simulate sony-a7m3 --state-dir "$state"
            plug_cycles plug
            stop_host ;;
        plug-all)
            all_drivers
            start_host -u CAMLIBS -u IOLIBS CAMSIM_CAMLIBS="$work/camlibs" CAMSIM_IOLIBS="$work/iolibs" -- \
                --simulate sony-a7m3 --state-dir "$state"
            plug_cycles plug-all
            stop_host ;;
    esac
done
