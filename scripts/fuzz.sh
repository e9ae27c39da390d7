#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang (address + undefined) into build-fuzz/ and
# runs each for SECONDS (default 30) from its checked-in seed corpus. Prints one line per
# harness (executions, crashes) and exits non-zero when any harness found a crash.
#
# Usage: scripts/fuzz.sh [SECONDS] [HARNESS...]     e.g. scripts/fuzz.sh 600 sim_state_fuzzer
#   CAMCTRL_FUZZ_BUILD  build directory (default build-fuzz)
#   CAMCTRL_JOBS        parallel build jobs (default 2)
#   CAMCTRL_FUZZ_PARALLEL  harnesses run at the same time (default 1; each takes one core)
# New inputs go to build-fuzz/fuzz-corpus/<harness>/, crash inputs to
# build-fuzz/fuzz-artifacts/<harness>/, the full output to build-fuzz/fuzz-logs/<harness>.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
[ $# -gt 0 ] && shift
case $seconds in
'' | *[!0-9]*)
    echo "usage: scripts/fuzz.sh [SECONDS] [HARNESS...]" >&2
    exit 2
    ;;
esac
build=${CAMCTRL_FUZZ_BUILD:-$root/build-fuzz}

# -O1 with line tables, as libFuzzer's own advice has it: fast to build, reports name the line.
"$root/scripts/build.sh" "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DCAMCTRL_BUILD_FUZZ=ON -DCAMCTRL_SANITIZE=address,undefined -DCAMCTRL_BUILD_TESTS=OFF \
    -DCAMCTRL_BUILD_BENCH=OFF --target fuzzers

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
    for source in "$root"/fuzz/*_fuzzer.cpp; do
        harnesses+=("$(basename "$source" .cpp)")
    done
fi

# One harness: its run, then one line (executions, crashes); the status says whether it crashed.
run_one() {
    local h=$1 seeds corpus artifacts log rc runs dirs
    seeds=$root/fuzz/corpus/$h
    corpus=$build/fuzz-corpus/$h
    artifacts=$build/fuzz-artifacts/$h
    log=$build/fuzz-logs/$h.log
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    dirs=("$corpus")
    [ -d "$seeds" ] && dirs+=("$seeds")
    rc=0
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
        "$build/bin/$h" -max_total_time="$seconds" -print_final_stats=1 -timeout=25 -rss_limit_mb=2560 \
        -artifact_prefix="$artifacts/" "${dirs[@]}" >"$log" 2>&1 || rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "$h: ${runs:-?} executions in $seconds s, crashes: $((rc != 0)) (exit $rc, log $log)"
    if [ $rc -ne 0 ]; then
        grep -m1 -E "ERROR: |runtime error|deadly signal|Fuzzer:" "$log" >&2 || true
        ls "$artifacts" >&2 || true
        return 1
    fi
}

# Each harness runs on one core; CAMCTRL_FUZZ_PARALLEL of them at a time (default 1).
parallel=${CAMCTRL_FUZZ_PARALLEL:-1}
failed=0
pids=()
for h in "${harnesses[@]}"; do
    if [ ${#pids[@]} -ge "$parallel" ]; then
        wait "${pids[0]}" || failed=1
        pids=("${pids[@]:1}")
    fi
    run_one "$h" &
    pids+=($!)
done
for pid in "${pids[@]}"; do
    wait "$pid" || failed=1
done
exit $failed
