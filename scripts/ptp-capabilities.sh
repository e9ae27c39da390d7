#!/usr/bin/env bash
# What the plug-in achieves through Debian's unmodified ptp2 driver on each emulated body, by
# measurement: camera-host --ptp is started on the body, its first record gives the lists, then
# each host setting is set to a listed value other than the current one, one after the other; per
# step we note what the body received (camsim received), whether a record brought the value
# back, and the plug-in's first failure line. Last, the value is changed on the body itself.
#
#   scripts/ptp-capabilities.sh [--build DIR] [--camlibs DIR] [--keep DIR] [BODY...]
#
# BODY: stems of sim/ptp/bodies/*.json (default: all 13). --camlibs: the camera drivers
# (default: a directory holding only Debian's ptp2.so, which keeps detection fast). Prints a
# Markdown table, then per body what each step sent and logged. --keep DIR keeps the runs.
# Verdicts: works (body received it, a record shows it), sent (received, no record shows it),
# refused (nothing reached the body), "-" (no record at all: the plug-in never connected).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
camlibs=
keep=
bodies=()
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --camlibs) camlibs=$2; shift 2 ;;
        --keep) keep=$2; shift 2 ;;
        -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "usage: $0 [--build DIR] [--camlibs DIR] [--keep DIR] [BODY...]" >&2; exit 2 ;;
        *) bodies+=("$1"); shift ;;
    esac
done
if [ ${#bodies[@]} -eq 0 ]; then
    for f in sim/ptp/bodies/*.json; do bodies+=("$(basename "$f" .json)"); done
fi
for b in camera-host camsim; do
    [ -x "$build/bin/$b" ] || { echo "build $build/bin/$b first" >&2; exit 2; }
done
command -v gphoto2 >/dev/null || { echo "install gphoto2 (Debian's) first" >&2; exit 2; }

work=${keep:-$(mktemp -d /tmp/ptp-capabilities.XXXXXX)}
mkdir -p "$work"
[ -n "$keep" ] || trap 'rm -rf "$work"' EXIT
if [ -z "$camlibs" ]; then
    camlibs=$work/debian-ptp2
    mkdir -p "$camlibs"
    ln -sf "$(pkg-config --variable=driverdir libgphoto2)/ptp2.so" "$camlibs/ptp2.so"
fi
camlibs=$(cd "$camlibs" && pwd)
host=$PWD/$build/bin/camera-host
camsim=$PWD/$build/bin/camsim
iolibs=$PWD/$build/sim/ptp-iolibs
export HOME=$work/home  # gphoto2 keeps settings there
mkdir -p "$HOME"

lines() { if [ -f "$1" ]; then wc -l <"$1"; else echo 0; fi; }

# Whether a record from line $2 on (1-based) of $1 has field $3 equal to $4 (JSON text, as the
# host prints it: no blanks).
record_shows() { tail -n +"$2" "$1" | grep -qF "\"$3\":$4"; }

# Per body: a step file of "name|command|field|json value" lines from the first record (or
# defaults when there is none), chosen to differ from what the body shows.
plan() {
    python3 - "$1" "$2" <<'EOF'
import json, sys
recs = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
r = recs[0] if recs else {}
def pick(current, listed, prefer, default):
    usable = [v for v in listed if v != current and "auto" not in v.lower()]
    for p in prefer:
        if p in usable:
            return p
    return usable[len(usable) // 2] if usable else default
iso = pick(r.get("iso"), r.get("supportedIso", []), ["800", "400"], "800")
iris = pick(r.get("iris"), r.get("supportedIris", []), ["f/8", "8", "f/11", "11"], "f/8")
shutter = pick(r.get("shutterSpeed"), r.get("supportedShutterSpeed", []), ["1/250", "1/500"], "1/250")
wb = pick(r.get("whiteBalance"), r.get("supportedWhiteBalance", []), ["Daylight", "Shade"], "Daylight")
focus = pick(r.get("focusMode"), r.get("supportedFocusMode", []), ["MF", "Manual", "AF-S", "One Shot"], "MF")
others = [v for v in r.get("supportedIso", []) if v not in (iso, r.get("iso")) and "auto" not in v.lower()]
dial = "3200" if "3200" in others or not others else others[-1]
for name, cmd, field, value in [
        ("ISO", f"iso {iso}", "iso", iso), ("iris", f"iris {iris}", "iris", iris),
        ("shutter", f"shutter {shutter}", "shutterSpeed", shutter),
        ("WB", f"wb {wb}", "whiteBalance", wb), ("focus", f"focus {focus}", "focusMode", focus),
        ("record on", "record 1", "recordEnable", True), ("record off", "record 0", "recordEnable", False),
        ("touch", "touch 960 540", "", None), ("ISO on body", f"!change iso {dial}", "iso", dial)]:
    print(f"{name}|{cmd}|{field}|{json.dumps(value, separators=(',', ':'))}")
# A Canon body records only with its movie switch on: the same again after turning it.
if sys.argv[2] == "1":
    print("movie switch|!change eosmovieswitch 1||null")
    print('record on (movie)|record 1|recordEnable|true')
    print('record off (movie)|record 0|recordEnable|false')
EOF
}

# The first record's summary: cameraType and list lengths.
summary() {
    python3 - "$1" <<'EOF'
import json, sys
recs = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
if not recs:
    print("none|-|-"); sys.exit()
r = recs[0]
lists = " ".join(f"{k[9:]}:{len(r[k])}" for k in ("supportedMode", "supportedFocusMode", "supportedIso",
                 "supportedIris", "supportedShutterSpeed", "supportedWhiteBalance"))
print(f"{r['cameraType']} {r['cameraName']}|{r['mode'] or '(empty)'}|{lists}")
EOF
}

declare -a rows=() details=()
for body in "${bodies[@]}"; do
    dir=$work/$body
    rm -rf "$dir"; mkdir -p "$dir/state"
    out=$dir/records.jsonl err=$dir/stderr.txt
    cs() { "$camsim" --state-dir "$dir/state" "$@"; }

    cs plug "$body" >/dev/null
    detected=$(CAMSIM_STATE_DIR=$dir/state IOLIBS=$iolibs CAMLIBS=$camlibs gphoto2 --auto-detect |
               sed -n '3s/ *usb:.*//p')

    mkfifo "$dir/in"
    printf 'wait 100\n' >"$dir/connect.cmds"
    "$host" --simulate "$body" --ptp --camlibs "$camlibs" --state-dir "$dir/state" --json \
        --script "$dir/connect.cmds" <"$dir/in" >"$out" 2>"$err" &
    pid=$!
    exec 3>"$dir/in"
    for _ in $(seq 80); do [ "$(lines "$out")" -gt 0 ] && break; sleep 0.1; done
    sleep 0.5  # a second record may follow the first (lists after a mode read)
    have_record=$([ "$(lines "$out")" -gt 0 ] && echo 1 || echo 0)
    IFS='|' read -r ctype mode lists < <(summary "$out")
    switch=$(grep -q '"widget": "eosmovieswitch"' "sim/ptp/bodies/$body.json" && echo 1 || echo 0)
    plan "$out" "$switch" >"$dir/steps"

    cells=()
    detail="**$body** (driver: $detected; first record: $ctype; mode $mode; lists $lists)"$'\n'
    while IFS='|' read -r name cmd field value; do
        rec0=$(( $(lines "$out") + 1 ))
        err0=$(lines "$err")
        cs received >"$dir/before"
        if [[ $cmd == !* ]]; then
            read -ra words <<<"${cmd#!}"
            cs "${words[@]}" >/dev/null
        else
            printf '%s\n' "$cmd" >&3
        fi
        # Wait for the record to show it (a Sony body steps one notch at a time), then a little
        # longer so that the body's and the plug-in's lines of this step are all in.
        shown=0
        limit=$([ "$have_record" = 1 ] && [ -n "$field" ] && echo 40 || echo 10)
        for _ in $(seq "$limit"); do
            sleep 0.1
            if [ -n "$field" ] && record_shows "$out" "$rec0" "$field" "$value"; then shown=1; break; fi
        done
        sleep 0.4
        cs received | tail -n +$(( $(lines "$dir/before") + 1 )) >"$dir/sent" || true
        sent=$(paste -sd ' ' "$dir/sent" | cut -c1-120)
        failure=$(tail -n +$(( err0 + 1 )) "$err" | grep -m1 -E '^[0-9:.]+ [0-2] ' |
                  sed -E 's/^[0-9:.]+ [0-2] root [^ ]+ //' | cut -c1-110 || true)
        if [[ $cmd == !* ]] && [ -z "$field" ]; then
            verdict="done"
        elif [[ $cmd == !* ]]; then
            verdict=$([ $shown = 1 ] && echo "reported" || echo "not reported")
        elif [ "$have_record" = 0 ]; then
            verdict=$([ -n "$sent" ] && echo "sent" || echo "-")
        elif [ -z "$sent" ]; then
            verdict=refused
        elif [ -z "$field" ] || [ $shown = 1 ]; then
            verdict=works
        else
            verdict=sent
        fi
        cells+=("$verdict")
        detail+="- $name: \`${cmd#!}\` → $verdict; body received: ${sent:-nothing}${failure:+; plug-in: $failure}"$'\n'
    done <"$dir/steps"
    printf 'quit\n' >&3
    exec 3>&-
    wait "$pid" || true
    cs unplug >/dev/null || true
    [ ${#cells[@]} -gt 9 ] && movie="${cells[10]} / ${cells[11]}" || movie=n/a
    line=$(IFS='|'; echo "${cells[*]:0:9}")
    rows+=("| $body | $detected | $ctype | ${line//|/ | } | $movie |")
    details+=("$detail")
    echo "$body done" >&2
done

echo "| body | driver names it | cameraType | ISO | iris | shutter | WB | focus | record on | record off | touch | ISO changed on body | record on / off, movie switch on |"
echo "| --- | --- | --- | --- | --- | --- | --- | --- | --- | --- | --- | --- | --- |"
printf '%s\n' "${rows[@]}"
echo
printf '%s\n' "${details[@]}"
