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
    camsim --help >"$work/help"  # whole: grep -q would close the pipe on a long text
    grep -q "plug MODEL" "$work/help" || fail "--help"
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
ptp)
    # The bodies at the USB wire, driven by Debian's own ptp2 driver.
    export IOLIBS=$build/sim/ptp-iolibs CAMLIBS=$build/sim/debian-ptp2
    if [ ! -e "$CAMLIBS/ptp2.so" ]; then
        echo "no Debian ptp2 driver for this build: skipped"
        exit 77
    fi
    # Debian's 2.5.30 lists seven of the bodies by name; it meets the other six only by class.
    generic="Sony ILME-FX3 (PC Control)|Sony ILME-FX3A (PC Control)|Sony ILME-FX30 (PC Control)|"
    generic+="Sony ZV-E10M2 (Control)|Canon EOS R6m2|Nikon Z8|"
    camsim models | while read -r model; do
        camsim plug "$model"
        camsim show | grep -q "^At the USB wire: yes" || continue
        name=$model
        [[ "|$generic" == *"|$model|"* ]] && name="USB PTP Class Camera"
        expect "$name" "$(gp --auto-detect | sed -n 's/ *usb:999,001 *$//p')"
    done
    # The settings of the two real captures, as the driver builds them from the bodies' data:
    # label, type, read-only, choices and range. The ZV-E10 capture was taken with an older
    # libgphoto2: 2.5.30 builds iso and shutter speed from the absolute properties the body also
    # lists, f-number from its own table and names the programs anew (docs/usb-wire.md).
    widget() { awk -v w="$1" '$0 ~ "^/main/.*/"w"$" {on=1} on && !/^Current/ {print} on && /^END/ {exit}'; }
    captures=$(dirname "$0")/../../sim/captures
    for run in nikon-z9/nikon-z9:"iso f-number shutterspeed whitebalance focusmode expprogram movie" \
        sony-zve10/sony-zv-e10:"whitebalance focusmode movie"; do
        body=${run%%/*} capture=${run%%:*}
        camsim plug "$body"
        gp --list-all-config >"$work/config"
        for name in ${run#*:}; do
            want=$(widget "$name" <"$captures/${capture#*/}.txt")
            [ -n "$want" ] || fail "the capture has no $name"
            expect "$want" "$(widget "$name" <"$work/config")"
        done
    done
    # Set then get through the driver; the Z 9's shutter speed is the body's own (read-only).
    for run in sony-a7m3:iso=800,f-number=f/8,shutterspeed=1/250,whitebalance=Daylight \
        canon-r6:iso=3200,aperture=8,shutterspeed=1/250,whitebalance=Daylight \
        nikon-z9:iso=800,f-number=f/8,whitebalance=Cloudy; do
        camsim plug "${run%%:*}"
        sets=${run#*:}
        for set in ${sets//,/ }; do
            gp --set-config "$set" >/dev/null
            expect "${set#*=}" "$(current "${set%%=*}")"
        done
    done
    if gp --set-config shutterspeed=1/250 2>/dev/null; then fail "the Z 9 took a read-only shutter speed"; fi
    # A change on the body reaches --wait-event.
    (sleep 1 && camsim change iso 3200) &
    gp --wait-event=3s >"$work/events"
    wait
    grep -q 'PTP Property 500f changed, "iso" to "3200"' "$work/events" || fail "no change event: $(cat "$work/events")"
    ;;
driver)
    # The bodies at the USB wire, driven by the device's driver (scripts/build-driver.sh).
    export IOLIBS=$build/sim/ptp-iolibs CAMLIBS=${CAMCTRL_DRIVER_CAMLIBS:-$build/driver/camlibs}
    if [ ! -e "$CAMLIBS/ptp2.so" ]; then
        echo "the device's driver is not built for this build: skipped"
        exit 77
    fi
    # Every body under the model string the plug-in knows.
    camsim models | head -13 | while read -r model; do
        camsim plug "$model"
        expect "$model" "$(gp --auto-detect | sed -n 's/ *usb:999,001 *$//p')"
    done
    # The A7 IV sends its program as a 16-bit code; 500e shows and takes the 32-bit form.
    camsim plug sony-a7m4
    expect "65538 P" "$(current 500e) $(current expprogram)"
    gp --set-config 500e=131075
    expect "131075 A" "$(current 500e) $(current expprogram)"
    if gp --set-config 500e=131076 >/dev/null 2>&1; then fail "a code outside its program group was taken"; fi
    expect "0x500E=3" "$(camsim received | grep 0x500E | tail -1)"
    ;;
*)
    fail "unknown case $2"
    ;;
esac
echo "ok"
