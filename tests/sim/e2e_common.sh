# Sourced by the gphoto2 end-to-end scripts after they set $build: throwaway HOME and state,
# the simulator's drivers, and the camsim/gp/fail helpers.
if [ "${CAMSIM_E2E_PRELOAD:-}" = "unavailable" ]; then
    echo "sanitizer runtime for the uninstrumented gphoto2 not found: skipped"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home CAMSIM_STATE_DIR=$work/state
export CAMLIBS=$build/sim/camlibs IOLIBS=$build/sim/iolibs
mkdir -p "$HOME"
# A cross build runs the target's programs behind $CAMCTRL_TEST_LAUNCHER (an emulator) and
# names the target's gphoto2 in $CAMCTRL_GPHOTO2.
read -ra launcher <<<"${CAMCTRL_TEST_LAUNCHER:-}"
camsim() { "${launcher[@]}" "$build/bin/camsim" "$@"; }
gp() {
    if [ -n "${CAMSIM_E2E_PRELOAD:-}" ]; then
        # Our drivers are instrumented, gphoto2 is not: bring the runtime in first.
        LD_PRELOAD=$CAMSIM_E2E_PRELOAD ASAN_OPTIONS=detect_leaks=0 "${CAMCTRL_GPHOTO2:-gphoto2}" "$@"
    else
        "${launcher[@]}" "${CAMCTRL_GPHOTO2:-gphoto2}" "$@"
    fi
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# expect WHAT GOT: fails unless GOT is WHAT.
expect() { [ "$2" = "$1" ] || fail "expected \"$1\", got \"$2\""; }
# current NAME: the current value gphoto2 reports for a widget.
current() { gp --get-config "$1" | sed -n 's/^Current: //p'; }
