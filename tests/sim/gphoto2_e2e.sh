#!/usr/bin/env bash
# The stock gphoto2 tool against the simulator, steered by camsim, with a throwaway HOME.
# Usage: gphoto2_e2e.sh BUILD_DIR CASE [ARGS...]
set -euo pipefail
build=$1
case=$2
shift 2

. "$(dirname "$0")/e2e_common.sh"

case $case in
detect)
    model=$1
    camsim plug "$model"
    out=$(gp --auto-detect)
    echo "$out"
    grep -qF "$model" <<<"$out" || fail "auto-detect does not list $model"
    camsim unplug
    out=$(gp --auto-detect)
    echo "$out"
    if grep -q "usb:" <<<"$out"; then fail "auto-detect lists a camera after unplug"; fi
    ;;
get)
    camsim plug sony-a7m3
    out=$(gp --get-config iso)
    grep -qx "Current: AUTO" <<<"$out" || fail "iso is not the profile's AUTO: $out"
    grep -qx "Type: RADIO" <<<"$out" || fail "iso is not a radio widget"
    out=$(gp --list-config)
    grep -qx "/main/imgsettings/iso" <<<"$out" || fail "--list-config lacks iso: $out"
    ;;
set)
    camsim plug "Canon EOS R6"
    gp --set-config iso=800
    out=$(gp --get-config iso)
    grep -qx "Current: 800" <<<"$out" || fail "iso did not stay 800: $out"
    [ "$(camsim get iso)" = 800 ] || fail "camsim does not see 800"
    [ "$(camsim received)" = "iso=800" ] || fail "received: $(camsim received)"
    ;;
refuse)
    camsim plug "Nikon Z8"
    if gp --set-config whitebalance=Moonlight; then fail "an invalid choice was accepted"; fi
    if gp --set-config-value kd_nikon_photo_iso=123; then fail "an invalid value was accepted"; fi
    [ "$(camsim get whitebalance)" = Automatic ] || fail "white balance changed"
    [ "$(camsim get kd_nikon_photo_iso)" = 100 ] || fail "ISO changed"
    ;;
faults)
    camsim plug sony-fx3
    # gphoto2 retries with the whole tree after a failed single lookup: fail both opens
    camsim fail connect timeout 2
    if gp --get-config iso; then fail "the failing open succeeded"; fi
    gp --get-config iso >/dev/null
    camsim fail lookup iso -6
    if gp --get-config iso; then fail "the failing lookup succeeded"; fi
    camsim fail clear
    gp --get-config iso >/dev/null
    ;;
camsim)
    camsim --help | grep -q "camsim plug\|plug MODEL" || fail "--help"
    [ "$(camsim models | wc -l)" = 14 ] || fail "models"
    camsim plug sony-zve10m2
    camsim set iso 400
    camsim event 16 1 250
    camsim event 0 "PTP Property d21d changed"
    [ "$(camsim events)" = 2 ] || fail "events"
    camsim show | grep -q "Model: Sony ZV-E10M2 (Control)" || fail "show"
    if camsim plug "Nikon Z7" 2>"$work/err"; then fail "unknown model plugged"; fi
    grep -q "Nikon Z7" "$work/err" || fail "no clear error: $(cat "$work/err")"
    if camsim bogus 2>/dev/null; then fail "bogus command accepted"; fi
    ;;
change)
    # The mode dial turned on the camera: both views of property 500e move.
    camsim plug sony-fx3
    camsim change 500e 491603
    [ "$(camsim events)" = 1 ] || fail "events: $(camsim events)"
    out=$(gp --get-config expprogram)
    grep -qx "Current: Movie (M)" <<<"$out" || fail "expprogram did not follow: $out"
    out=$(gp --get-config 500e)
    grep -qx "Current: 491603" <<<"$out" || fail "500e: $out"
    [ -z "$(camsim received)" ] || fail "a change on the camera was received: $(camsim received)"
    ;;
latency)
    camsim plug sony-a7m3
    [ "$(camsim latency)" = "transaction=0 open=0 settle=0" ] || fail "default: $(camsim latency)"
    camsim latency realistic
    [ "$(camsim latency)" = "transaction=3 open=1000 settle=50" ] || fail "realistic: $(camsim latency)"
    camsim show | grep -qx "Latency: transaction 3 ms, open 1000 ms, settle 50 ms" || fail "show"
    camsim latency zero open=100 settle=4000
    [ "$(camsim latency)" = "transaction=0 open=100 settle=4000" ] || fail "zero, then figures"
    for bad in "transaction=-1" "speed=3" "settle" "open=1s" "zero realistic"; do
        if camsim latency $bad 2>/dev/null; then fail "latency $bad accepted"; fi
    done
    # A set takes effect only once settled, as seen by the next gphoto2 call.
    gp --set-config iso=800
    out=$(gp --get-config iso)
    grep -qx "Current: AUTO" <<<"$out" || fail "the set took effect before settling: $out"
    sleep 4
    out=$(gp --get-config iso)
    grep -qx "Current: 800" <<<"$out" || fail "the set never took effect: $out"
    ;;
received)
    # Every set in order, whoever sent it; gphoto2 processes running at once keep their own order.
    camsim plug sony-a7m3
    if gp --set-config iso=800 --set-config f-number=f/99; then fail "an invalid aperture was accepted"; fi
    [ "$(camsim received)" = "$(printf 'iso=800\nf-number=f/99')" ] || fail "received: $(camsim received)"
    for writer in a b; do
        args=()
        for i in 1 2 3 4 5 6 7 8; do args+=(--set-config "kd_touch_focus=$writer$i"); done
        gp "${args[@]}" >/dev/null &
    done
    wait
    [ "$(camsim received | wc -l)" = 18 ] || fail "received: $(camsim received)"
    for writer in a b; do
        order=$(camsim received | sed -n "s/^kd_touch_focus=$writer//p" | tr '\n' ' ')
        [ "$order" = "1 2 3 4 5 6 7 8 " ] || fail "the sets of $writer arrived as $order"
    done
    camsim received --clear
    [ -z "$(camsim received)" ] || fail "cleared: $(camsim received)"
    gp --set-config iso=100
    camsim plug sony-a7m3
    [ -z "$(camsim received)" ] || fail "a new plug kept: $(camsim received)"
    ;;
*)
    fail "unknown case $case"
    ;;
esac
echo "ok"
