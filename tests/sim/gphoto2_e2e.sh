#!/usr/bin/env bash
# The stock gphoto2 tool against the simulator, steered by camsim, with a throwaway HOME.
# Usage: gphoto2_e2e.sh BUILD_DIR CASE
set -euo pipefail
build=$1
. "$(dirname "$0")/e2e_common.sh"

case $2 in
detect)
    camsim models | while read -r model; do
        camsim plug "$model"
        gp --auto-detect | grep -qF "$model" || fail "auto-detect does not list $model"
        camsim unplug
        if gp --auto-detect | grep -q "usb:"; then fail "auto-detect lists a camera after unplugging $model"; fi
    done
    ;;
values)
    # A value read, set and refused through gphoto2, and one changed on the camera (the mode dial:
    # both views of property 500e move, nothing received).
    camsim plug "Canon EOS R6"
    gp --list-config | grep -qx "/main/imgsettings/iso" || fail "--list-config lacks iso"
    gp --get-config iso | grep -qx "Type: RADIO" || fail "iso is not a radio widget"
    expect Auto "$(current iso)"
    gp --set-config iso=800
    expect "800 800 iso=800" "$(current iso) $(camsim get iso) $(camsim received)"
    camsim plug "Nikon Z8"
    if gp --set-config whitebalance=Moonlight; then fail "an invalid choice was accepted"; fi
    if gp --set-config-value kd_nikon_photo_iso=123; then fail "an invalid value was accepted"; fi
    expect "Automatic 100" "$(camsim get whitebalance) $(camsim get kd_nikon_photo_iso)"
    camsim plug sony-fx3
    camsim change 500e 491603
    expect "1 Movie (M) 491603 " "$(camsim events) $(current expprogram) $(current 500e) $(camsim received)"
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
    camsim --help | grep -q "plug MODEL" || fail "--help"
    expect 14 "$(camsim models | wc -l)"
    camsim plug sony-zve10m2
    camsim set iso 400
    camsim event 16 1 250
    camsim event 0 "PTP Property d21d changed"
    expect 2 "$(camsim events)"
    camsim show | grep -q "Model: Sony ZV-E10M2 (Control)" || fail "show"
    if camsim plug "Nikon Z7" 2>"$work/err"; then fail "unknown model plugged"; fi
    grep -q "Nikon Z7" "$work/err" || fail "no clear error: $(cat "$work/err")"
    if camsim bogus 2>/dev/null; then fail "bogus command accepted"; fi
    ;;
latency)
    camsim plug sony-a7m3
    expect "transaction=0 open=0 settle=0" "$(camsim latency)"
    camsim latency realistic
    expect "transaction=3 open=1000 settle=50" "$(camsim latency)"
    camsim show | grep -qx "Latency: transaction 3 ms, open 1000 ms, settle 50 ms" || fail "show"
    camsim latency zero open=100 settle=4000
    expect "transaction=0 open=100 settle=4000" "$(camsim latency)"
    for bad in "transaction=-1" "speed=3" "settle" "open=1s" "zero realistic"; do
        if camsim latency $bad 2>/dev/null; then fail "latency $bad accepted"; fi
    done
    # A set takes effect only once settled, as the next gphoto2 calls see.
    gp --set-config iso=800
    expect AUTO "$(current iso)"
    sleep 4
    expect 800 "$(current iso)"
    ;;
received)
    # Every set in order, whoever sent it; gphoto2 processes running at once keep their own order.
    camsim plug sony-a7m3
    if gp --set-config iso=800 --set-config f-number=f/99; then fail "an invalid aperture was accepted"; fi
    expect "$(printf 'iso=800\nf-number=f/99')" "$(camsim received)"
    for writer in a b; do
        gp $(printf -- "--set-config kd_touch_focus=$writer%s " 1 2 3 4 5 6 7 8) >/dev/null &
    done
    wait
    expect 18 "$(camsim received | wc -l)"
    for writer in a b; do
        expect "1 2 3 4 5 6 7 8 " "$(camsim received | sed -n "s/^kd_touch_focus=$writer//p" | tr '\n' ' ')"
    done
    camsim received --clear
    expect "" "$(camsim received)"
    gp --set-config iso=100
    camsim plug sony-a7m3
    expect "" "$(camsim received)"
    ;;
*)
    fail "unknown case $2"
    ;;
esac
echo "ok"
