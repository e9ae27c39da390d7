#!/usr/bin/env bash
# camsim import against the stock gphoto2 tool: captures of the simulated cameras, imported
# and plugged again, and the README's workflow with camera-host. Throwaway HOME and state.
# Usage: camsim_import_e2e.sh BUILD_DIR roundtrip|workflow|cli
set -euo pipefail
build=$1
case=$2

. "$(dirname "$0")/e2e_common.sh"
# Plugs a profile and prints what gphoto2 lists of it.
listing() {
    camsim plug "$1"
    gp --list-all-config
}
# Imports a capture; the rest of the arguments go to camsim import.
import() {
    local capture=$1
    shift
    camsim import "$capture" "$@" 2>"$work/import.log" || fail "import of $capture refused: $(cat "$work/import.log")"
    cat "$work/import.log"
}

case $case in
roundtrip)
    # Every model profile, as the simulator lists them now (others may be added any time).
    mapfile -t profiles < <(camsim profiles)
    [ "${#profiles[@]}" -gt 0 ] || fail "camsim profiles lists nothing"
    for p in "${profiles[@]}"; do
        listing "$p" >"$work/$p.before"
        grep -q "^END$" "$work/$p.before" || fail "$p: gphoto2 listed no widget"
        # As users paste it: the summary (which names the model), then the widgets.
        { gp --summary; cat "$work/$p.before"; } >"$work/$p.capture"
        import "$work/$p.capture" -o "$work/$p.json"
        listing "$work/$p.json" >"$work/$p.after"
        diff -u "$work/$p.before" "$work/$p.after" || fail "$p: the imported profile lists differently"

        # Pasted from Windows, with the profile itself as the base (which also gives the model).
        sed 's/$/\r/' "$work/$p.before" >"$work/$p.crlf"
        import "$work/$p.crlf" --inherits "$p" -o "$work/$p.based.json"
        listing "$work/$p.based.json" >"$work/$p.based"
        diff -u "$work/$p.before" "$work/$p.based" || fail "$p: the profile imported over its base lists differently"
        echo "$p: same --list-all-config after import"
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
    cat records
    first=$(head -n 1 records)
    grep -q '"connectState":1' <<<"$first" || fail "the imported camera did not connect"
    grep -q '"cameraName":"SonyA7M3"' <<<"$first" || fail "the plug-in did not recognise the model"
    grep -q '"iso":"800"' <<<"$first" || fail "the first record does not carry the capture's ISO"
    # The base's driver event reports the new ISO.
    grep -q '"iso":"1600"' records || fail "the set ISO was not reported"
    ;;
cli)
    # Exit status 2 for wrong arguments, 1 for a refused capture, with the reason on stderr.
    expect() {
        local status=$1 message=$2
        shift 2
        set +e
        "$@" >"$work/out" 2>"$work/err"
        local got=$?
        set -e
        [ "$got" = "$status" ] || fail "$* exited $got, not $status: $(cat "$work/err")"
        grep -qF -- "$message" "$work/err" || fail "$*: no \"$message\" in: $(cat "$work/err")"
    }
    camsim plug "Nikon Z8"
    gp --list-all-config >"$work/z8.txt"
    expect 2 "import needs a capture file" camsim import
    expect 2 "import: unknown option --frobnicate" camsim import "$work/z8.txt" --frobnicate
    expect 2 "import: -o needs a value" camsim import "$work/z8.txt" -o
    expect 2 "import takes one capture" camsim import "$work/z8.txt" "$work/z8.txt"
    expect 1 "cannot read the capture $work/missing.txt" camsim import "$work/missing.txt"
    expect 1 "--inherits: no profile \"nowhere\"" camsim import "$work/z8.txt" --inherits nowhere
    expect 1 "$work/z8.txt: error: no model" camsim import "$work/z8.txt"
    printf 'Hello,\nhere is my camera\n' >"$work/prose.txt"
    expect 1 "<stdin>:1: error: not a capture of gphoto2 --list-all-config" \
        camsim import - <"$work/prose.txt"
    [ ! -s "$work/out" ] || fail "a refused capture wrote: $(cat "$work/out")"
    # Standard output without -o; the model of a model profile given as the base.
    expect 0 "camsim import: standard output: \"Nikon Z8\"" camsim import - --inherits "Nikon Z8" <"$work/z8.txt"
    grep -q '"model": "Nikon Z8"' "$work/out" || fail "no profile on standard output: $(cat "$work/out")"
    ;;
*)
    fail "unknown case $case"
    ;;
esac
echo "ok"
