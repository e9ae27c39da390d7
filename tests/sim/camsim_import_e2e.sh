#!/usr/bin/env bash
# camsim import against the stock gphoto2 tool: captures of the simulated cameras imported and
# plugged again, and the README's workflow with camera-host. Throwaway HOME and state.
# Usage: camsim_import_e2e.sh BUILD_DIR roundtrip|workflow|cli
set -euo pipefail
build=$1
. "$(dirname "$0")/e2e_common.sh"
# listing PROFILE: plugs it and prints what gphoto2 lists of it.
listing() {
    camsim plug "$1"
    gp --list-all-config
}
# import CAPTURE ARGS...: camsim import, which must accept it.
import() {
    camsim import "$@" 2>"$work/import.log" || fail "import of $1 refused: $(cat "$work/import.log")"
}
# run STATUS MESSAGE COMMAND...: the command exits with STATUS, MESSAGE in its standard error.
run() {
    local status=$1 message=$2 got=0
    shift 2
    "$@" >"$work/out" 2>"$work/err" || got=$?
    [ "$got" = "$status" ] || fail "$* exited $got, not $status: $(cat "$work/err")"
    grep -qF -- "$message" "$work/err" || fail "$*: no \"$message\" in: $(cat "$work/err")"
}

case $2 in
roundtrip)
    # Every model profile as the simulator lists them now; as users paste it (the summary, which
    # names the model, then the widgets), and pasted from Windows over the profile as the base.
    for p in $(camsim profiles); do
        listing "$p" >"$work/$p.before"
        grep -q "^END$" "$work/$p.before" || fail "$p: gphoto2 listed no widget"
        { gp --summary; cat "$work/$p.before"; } >"$work/$p.capture"
        import "$work/$p.capture" -o "$work/$p.json"
        sed 's/$/\r/' "$work/$p.before" >"$work/$p.crlf"
        import "$work/$p.crlf" --inherits "$p" -o "$work/$p.based.json"
        for imported in "$p.json" "$p.based.json"; do
            listing "$work/$imported" | diff -u "$work/$p.before" - || fail "$imported lists differently"
        done
    done
    ;;
workflow)
    [ -x "$build/bin/camera-host" ] || fail "camera-host is not built"
    # The "real camera": the simulated A7 III with a firmware whose ISO is set to 800.
    camsim plug "Sony Alpha-A7 III (PC Control)"
    gp --summary >"$work/capture.txt"
    gp --list-all-config | awk '$0 == "/main/imgsettings/iso" { iso = 1 }
        iso && /^Current: / { $0 = "Current: 800"; iso = 0 } { print }' >>"$work/capture.txt"
    camsim unplug
    cd "$work"
    import capture.txt --model "Sony Alpha-A7 III (PC Control)" --inherits base-sony -o imported.json
    printf 'wait 1000\niso 1600\nwait 2000\nquit\n' >script
    "${launcher[@]}" "$build/bin/camera-host" --simulate ./imported.json --state-dir "$work/host" --json \
        --script script >records 2>host.log || fail "camera-host failed: $(tail -5 host.log)"
    head -n 1 records | grep '"connectState":1' | grep '"cameraName":"SonyA7M3"' | grep -q '"iso":"800"' ||
        fail "the first record is not the capture's connected A7 III at ISO 800: $(head -n 1 records)"
    grep -q '"iso":"1600"' records || fail "the set ISO was not reported"  # the base's driver event
    ;;
cli)
    # Exit status 2 for wrong arguments, 1 for a refused capture, with the reason on stderr.
    camsim plug "Nikon Z8"
    gp --list-all-config >"$work/z8.txt"
    run 2 "import needs a capture file" camsim import
    run 2 "import: unknown option --frobnicate" camsim import "$work/z8.txt" --frobnicate
    run 2 "import: -o needs a value" camsim import "$work/z8.txt" -o
    run 2 "import takes one capture" camsim import "$work/z8.txt" "$work/z8.txt"
    run 1 "cannot read the capture $work/missing.txt" camsim import "$work/missing.txt"
    run 1 "--inherits: no profile \"nowhere\"" camsim import "$work/z8.txt" --inherits nowhere
    run 1 "$work/z8.txt: error: no model" camsim import "$work/z8.txt"
    printf 'Hello,\nhere is my camera\n' >"$work/prose.txt"
    run 1 "<stdin>:1: error: not a capture of gphoto2 --list-all-config" camsim import - <"$work/prose.txt"
    [ ! -s "$work/out" ] || fail "a refused capture wrote: $(cat "$work/out")"
    # Standard output without -o; the model of a model profile given as the base.
    run 0 "camsim import: standard output: \"Nikon Z8\"" camsim import - --inherits "Nikon Z8" <"$work/z8.txt"
    grep -q '"model": "Nikon Z8"' "$work/out" || fail "no profile on standard output: $(cat "$work/out")"
    ;;
*)
    fail "unknown case $2"
    ;;
esac
echo "ok"
