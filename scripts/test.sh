#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds, and runs the whole test suite twice:
# a plain build (build/) and an AddressSanitizer + UndefinedBehaviorSanitizer
# build (build-asan/); then the threaded parts (the plug-in with its worker
# thread, the queue, the store) once more under ThreadSanitizer (build-tsan/).
# --quick runs the plain build only. Every stage prints its time (scripts/stages.sh).
#
# Most tests wait on the simulated camera rather than compute, so they run CAMCTRL_CTEST_JOBS
# at a time (default 4; every test has its own simulator state directory), and the next build
# compiles beside them at a lower priority (nice), so that the tests' timing is that of an idle
# machine. The test programs' own code is compiled with -O0 -g1; the code under test gets
# -O2 -g1 (-O1 -g1 in the sanitizer builds). CAMCTRL_TEST_SERIAL=1 runs every build and
# suite one after the other (a machine busy with other work can starve the tests that count the
# plug-in's passes per second).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stages.sh

quick=0
[ "${1:-}" = "--quick" ] && quick=1
jobs=${CAMCTRL_CTEST_JOBS:-4}
test_code=(-DCAMCTRL_TEST_COMPILE_OPTIONS="-O0;-g1")
# Line tables (-g1) are all a test failure or a sanitizer report needs, and compile a quarter to
# a third faster than -g: the plain build keeps -O2, the sanitizer builds -O1.
plain=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")
lighter=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")
asan_env=(ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
    LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)
tsan_env=(TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1)
beside=stage_bg
after=stage_wait
if [ "${CAMCTRL_TEST_SERIAL:-0}" = 1 ]; then
    beside=stage
    after=:
fi
tsan_tests='PluginHostTest|PluginIdleScanTest|PluginStopTest|PluginLoopTest|BlockQueue|SharedDataStore|WebApiTest|WebConfigTest'

ctest_in() { # DIR ENV... -- CTEST ARGS...
    local dir=$1
    shift
    local envs=()
    while [ "$1" != -- ]; do envs+=("$1"); shift; done
    shift
    (cd "$dir" && env "${envs[@]}" ctest -j"$jobs" --output-on-failure "$@")
}

stage setup scripts/setup.sh
# The device's camera driver (the end-to-end table drives it; its cases skip without it) builds
# beside the native build: mostly configure and the source download.
$beside driver scripts/build-driver.sh
stage native-build scripts/build.sh build "${test_code[@]}" "${plain[@]}"
$after driver

if [ $quick -eq 1 ]; then
    stage native-ctest ctest_in build -- -LE slow
else
    $beside native-ctest ctest_in build -- -LE slow
    stage asan-build nice -n 15 scripts/build.sh build-asan -DCAMCTRL_SANITIZE=address,undefined \
        -DCAMCTRL_BUILD_BENCH=OFF "${test_code[@]}" "${lighter[@]}"
    $after native-ctest

    $beside asan-ctest ctest_in build-asan "${asan_env[@]}" -- -LE slow
    stage tsan-build nice -n 15 scripts/build.sh build-tsan -DCAMCTRL_SANITIZE=thread -DCAMCTRL_BUILD_BENCH=OFF \
        "${test_code[@]}" "${lighter[@]}" \
        --target plugin_host_tests host_contracts_tests camera_web_tests camsim_camlib camsim_iolib
    $after asan-ctest
    stage tsan-ctest ctest_in build-tsan "${tsan_env[@]}" -- -R "$tsan_tests"
fi
[ "${STAGE_OWNER:-}" != $$ ] || stage_summary
echo "All tests passed."
