# Timed stages for scripts/test.sh and .ci/run (sourced). Each stage prints
# "stage NAME: N s, CPU M s (load ...)" when it ends: wall time, and the processor time (user +
# system) of everything it ran, which a machine shared with other work inflates far less.
# stage_summary prints all of them with their start offsets, so that stages that ran side by side
# can be seen as such.
#   stage NAME CMD...      runs CMD in the foreground
#   stage_bg NAME CMD...   starts CMD in the background; its output goes to $STAGE_LOGS/NAME.log
#   stage_wait NAME...     waits for background stages and prints their output; returns 1 if one failed
#   stage_summary          the table, and the total since the first stage of the run
# Stages of child scripts land in the same table: STAGE_FILE is exported.
if [ -z "${STAGE_FILE:-}" ]; then
    STAGE_FILE=$(mktemp /tmp/stages.XXXXXX)
    STAGE_OWNER=$$
    STAGE_T0=${EPOCHREALTIME/./}
    export STAGE_FILE STAGE_T0
fi
STAGE_LOGS=${STAGE_LOGS:-$(dirname "$STAGE_FILE")/$(basename "$STAGE_FILE").logs}
export STAGE_LOGS
mkdir -p "$STAGE_LOGS"
declare -A _stage_pid=() _stage_start=()

_stage_now() { echo "${EPOCHREALTIME/./}"; }
_stage_load() { cut -d' ' -f1-3 /proc/loadavg; }
_stage_end() { # NAME START STATUS
    local end s cpu
    end=$(_stage_now)
    s=$(((end - $2 + 500000) / 1000000))
    cpu=$(cat "$STAGE_LOGS/$1.cpu" 2>/dev/null || echo 0)
    cpu=$(((cpu + 50) / 100))
    echo "$1 $((($2 - STAGE_T0) / 1000000)) $s $3 $cpu $(_stage_load | tr ' ' ,)" >>"$STAGE_FILE"
    echo "stage $1: $s s, CPU $cpu s$([ "$3" -eq 0 ] || echo " FAILED (status $3)") (load $(_stage_load))"
}

# Runs a stage's command in a subshell that, at its end, writes the processor time of itself and
# of the processes it waited for (clock ticks, /proc/PID/stat fields 14-17).
_stage_run() { # NAME CMD...
    local name=$1
    shift
    (
        rc=0
        "$@" || rc=$?
        awk '{ print $14 + $15 + $16 + $17 }' "/proc/$BASHPID/stat" >"$STAGE_LOGS/$name.cpu"
        exit "$rc"
    )
}

stage() {
    local name=$1 start rc=0
    shift
    start=$(_stage_now)
    echo "=== stage $name (load $(_stage_load))"
    _stage_run "$name" "$@" || rc=$?
    _stage_end "$name" "$start" "$rc"
    return "$rc"
}

stage_bg() {
    local name=$1
    shift
    echo "=== stage $name, in the background (load $(_stage_load)); output: $STAGE_LOGS/$name.log"
    _stage_start[$name]=$(_stage_now)
    _stage_run "$name" "$@" >"$STAGE_LOGS/$name.log" 2>&1 &
    _stage_pid[$name]=$!
}

stage_wait() {
    local name failed=0 rc
    for name in "$@"; do
        rc=0
        wait "${_stage_pid[$name]}" || rc=$?
        echo "--- output of stage $name"
        cat "$STAGE_LOGS/$name.log"
        _stage_end "$name" "${_stage_start[$name]}" "$rc"
        [ "$rc" -eq 0 ] || failed=1
    done
    return "$failed"
}

stage_summary() {
    echo "--- stages (start: seconds after the first stage began)"
    printf '%-16s %7s %9s %9s  %s\n' stage start seconds "CPU s" "load at the end"
    awk '{ printf "%-16s %7d %9d %9d  %s%s\n", $1, $2, $3, $5, $6, ($4 == 0 ? "" : "  FAILED") }' "$STAGE_FILE"
    echo "total: $((($(_stage_now) - STAGE_T0 + 500000) / 1000000)) s"
}
