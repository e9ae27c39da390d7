#!/usr/bin/env bash
# Plugs and unplugs a simulated camera CYCLES times (default 1000) while one camera-host runs,
# and watches that its memory and open descriptors stay flat.
#
#   scripts/soak.sh [--build DIR] [--devfs host|private] [--every N] [--step-timeout S]
#                   [--rss-tolerance KIB|off] [--fd-tolerance N] [--profile NAME] [CYCLES]
#
# One cycle: `camsim unplug`, then the record with connection state 0 on camera-host --json's
# standard output; `camsim replug`, then the record with state 1. Each wait gives up after
# --step-timeout seconds (default 10). VmRSS (/proc/PID/status) and the number of open
# descriptors (/proc/PID/fd, the fewest of ten looks) are sampled at the start and every
# --every cycles (default CYCLES/10, at least 1), always with the camera connected. The first
# --every cycles are the warm-up; after it the highest RSS and the last descriptor count may
# not exceed the sample at its end by more than their tolerances (1024 KiB, 0 descriptors).
# Exit status 0 when all held; 1 when a figure grew, a step timed out, camera-host died or did
# not end cleanly (status 0) on SIGTERM; 2 for wrong arguments.
# --rss-tolerance off drops the memory bound (a sanitizer build keeps freed memory aside).
#
# --devfs host (default) runs on this machine's /dev as it is. --devfs private runs the whole
# script again under with-private-usb-devfs (built with the tests): the simulator makes and
# removes its USB device node as the kernel does for a real camera, and the plug-in notices
# through its watch of /dev/bus/usb.
set -euo pipefail
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
cd "$(dirname "$self")/.."
args=("$@")

usage() {
    echo "usage: $0 [--build DIR] [--devfs host|private] [--every N] [--step-timeout S]" \
         "[--rss-tolerance KIB|off] [--fd-tolerance N] [--profile NAME] [CYCLES]" >&2
    exit 2
}

build=build
devfs=host
cycles=1000
every=
step_timeout=10
rss_tolerance=1024
fd_tolerance=0
profile=sony-a7m3
number() { [[ "$1" =~ ^[0-9]+$ ]] || usage; }
while [ $# -gt 0 ]; do
    case "$1" in
        --build) [ $# -ge 2 ] || usage; build=$2; shift 2 ;;
        --devfs) [ $# -ge 2 ] || usage; devfs=$2; shift 2 ;;
        --every) [ $# -ge 2 ] || usage; number "$2"; every=$2; shift 2 ;;
        --step-timeout) [ $# -ge 2 ] || usage; number "$2"; step_timeout=$2; shift 2 ;;
        --rss-tolerance) [ $# -ge 2 ] || usage; [ "$2" = off ] || number "$2"; rss_tolerance=$2; shift 2 ;;
        --fd-tolerance) [ $# -ge 2 ] || usage; number "$2"; fd_tolerance=$2; shift 2 ;;
        --profile) [ $# -ge 2 ] || usage; profile=$2; shift 2 ;;
        -h|--help) usage ;;
        -*) usage ;;
        *) number "$1"; cycles=$1; shift ;;
    esac
done
case "$devfs" in host|private) ;; *) usage ;; esac
if [ "$cycles" -lt 1 ] || [ "$step_timeout" -lt 1 ]; then usage; fi
[ -n "$every" ] || every=$(( cycles >= 10 ? cycles / 10 : 1 ))
[ "$every" -ge 1 ] || usage

build=$(cd "$build" && pwd)
host_bin=$build/bin/camera-host
camsim_bin=$build/bin/camsim
if [ "$devfs" = private ] && [ -z "${SOAK_PRIVATE:-}" ]; then
    wrapper=$build/tests/bin/with-private-usb-devfs
    [ -x "$wrapper" ] || { echo "build $wrapper first (target with-private-usb-devfs)" >&2; exit 2; }
    exec env SOAK_PRIVATE=1 "$wrapper" -- "$self" "${args[@]}"
fi
for b in "$host_bin" "$camsim_bin"; do
    [ -x "$b" ] || { echo "build $b first" >&2; exit 2; }
done
if [ "$devfs" = private ] && [ -n "${CAMCTRL_NO_PRIVATE_USB_DEVFS:-}" ]; then
    echo "soak: no private /dev/bus/usb here ($CAMCTRL_NO_PRIVATE_USB_DEVFS); running on the machine's /dev" >&2
fi

work=$(mktemp -d /tmp/soak.XXXXXX)
state=$work/state
mkdir -p "$state"
host_pid=
cleanup() {
    if [ -n "$host_pid" ]; then kill -KILL "$host_pid" 2>/dev/null || true; wait "$host_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "soak: FAILED: $*" >&2
    if [ -s "$work/host.err" ]; then
        echo "--- last lines of camera-host's standard error:" >&2
        tail -n 20 "$work/host.err" >&2
    fi
    exit 1
}

now_us() { echo "${EPOCHREALTIME/./}"; }

# camera-host as a coprocess: records on HOST[0]; its standard input stays open (HOST[1]).
coproc HOST { exec "$host_bin" --simulate "$profile" --state-dir "$state" --json 2>>"$work/host.err"; }
# shellcheck disable=SC2153  # set by coproc
host_pid=$HOST_PID

# wait_record STATE: reads records until one with connectState STATE.
wait_record() {
    local line rc deadline=$(( $(now_us) + step_timeout * 1000000 ))
    while [ "$(now_us)" -lt "$deadline" ]; do
        rc=0
        IFS= read -r -t 1 -u "${HOST[0]}" line || rc=$?
        if [ $rc -eq 0 ]; then
            case "$line" in *"\"connectState\":$1,"*) return 0 ;; esac
        elif [ $rc -le 128 ]; then
            return 2  # end of file: camera-host is gone
        fi
    done
    return 1
}

step() {
    local what=$1 state_wanted=$2 rc=0
    "$camsim_bin" --state-dir "$state" "$what" >/dev/null 2>>"$work/camsim.err" ||
        fail "camsim $what failed in cycle $cycle: $(tail -n 1 "$work/camsim.err")"
    wait_record "$state_wanted" || rc=$?
    case $rc in
        0) ;;
        2) fail "camera-host ended in cycle $cycle (after camsim $what)" ;;
        *) fail "no record with connection state $state_wanted within ${step_timeout} s after camsim $what in cycle $cycle" ;;
    esac
}

rss_kb() { awk '$1 == "VmRSS:" {print $2}' "/proc/$host_pid/status"; }
# The fewest of ten looks 20 ms apart: the simulated camera's event wait holds an inotify
# descriptor for a moment on every look at its state, which a single look may catch.
fds() {
    local i n least=
    for i in 1 2 3 4 5 6 7 8 9 10; do
        n=$(find "/proc/$host_pid/fd" -mindepth 1 -maxdepth 1 | wc -l)
        if [ -z "$least" ] || [ "$n" -lt "$least" ]; then least=$n; fi
        sleep 0.02
    done
    echo "$least"
}

start_us=$(now_us)
samples_cycle=()
samples_rss=()
samples_fd=()
sample() {
    kill -0 "$host_pid" 2>/dev/null || fail "camera-host is gone at cycle $cycle"
    local r f
    r=$(rss_kb)
    f=$(fds)
    samples_cycle+=("$cycle")
    samples_rss+=("$r")
    samples_fd+=("$f")
    awk -v c="$cycle" -v t=$(( $(now_us) - start_us )) -v r="$r" -v f="$f" \
        'BEGIN { printf "%8d %10.1f %12d %6d\n", c, t / 1e6, r, f }'
}

echo "soak: $cycles plug/unplug cycles of $profile, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores," \
     "$(uname -m), load $(cut -d' ' -f1-3 /proc/loadavg), devfs $devfs"
printf "%8s %10s %12s %6s\n" cycle elapsed_s VmRSS_KiB fds

cycle=0
rc=0
wait_record 1 || rc=$?
[ $rc -eq 0 ] || fail "camera-host did not report the camera connected (wait status $rc)"
sample
for ((cycle = 1; cycle <= cycles; cycle++)); do
    step unplug 0
    step replug 1
    if (( cycle % every == 0 || cycle == cycles )); then
        sample
    fi
done
cycle=$cycles
elapsed_us=$(( $(now_us) - start_us ))

# camera-host must end cleanly (a sanitizer build reports leaks in its exit status).
kill -TERM "$host_pid"
host_rc=0
wait "$host_pid" || host_rc=$?
host_pid=
[ $host_rc -eq 0 ] || fail "camera-host ended with status $host_rc on SIGTERM"

# After warm-up: memory at its highest, and descriptors at the end (a leaked one stays; one
# caught in use does not), against the sample at the end of the warm-up.
n=${#samples_cycle[@]}
base=1
[ "$n" -gt 2 ] || base=0
max_rss=${samples_rss[$base]}
for ((i = base; i < n; i++)); do
    (( samples_rss[i] > max_rss )) && max_rss=${samples_rss[i]}
done
rss_growth=$(( max_rss - samples_rss[base] ))
fd_growth=$(( samples_fd[n - 1] - samples_fd[base] ))
awk -v e="$elapsed_us" -v c="$cycles" 'BEGIN { printf "duration %.1f s, %.1f ms a cycle\n", e / 1e6, e / 1e3 / c }'
echo "after warm-up (cycle ${samples_cycle[$base]}): VmRSS +$rss_growth KiB (tolerance $rss_tolerance)," \
     "descriptors +$fd_growth (tolerance $fd_tolerance)"
bad=0
if [ "$rss_tolerance" != off ] && [ "$rss_growth" -gt "$rss_tolerance" ]; then
    echo "soak: FAILED: resident memory grew by $rss_growth KiB" >&2
    bad=1
fi
if [ "$fd_growth" -gt "$fd_tolerance" ]; then
    echo "soak: FAILED: open descriptors grew by $fd_growth" >&2
    bad=1
fi
[ $bad -eq 0 ] || exit 1
echo "soak: OK"
