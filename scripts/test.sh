#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds, and runs the whole test suite twice:
# a plain build (build/) and an AddressSanitizer + UndefinedBehaviorSanitizer
# build (build-asan/); then the threaded parts (the plug-in with its worker
# thread, the queue, the store) once more under ThreadSanitizer (build-tsan/).
# --quick runs the plain build only.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
[ "${1:-}" = "--quick" ] && quick=1

scripts/setup.sh

scripts/build.sh build
(cd build && ctest -j2 --output-on-failure -LE slow)

if [ $quick -eq 0 ]; then
    scripts/build.sh build-asan -DCAMCTRL_SANITIZE=address,undefined -DCAMCTRL_BUILD_BENCH=OFF
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    (cd build-asan && ctest -j2 --output-on-failure -LE slow)

    scripts/build.sh build-tsan -DCAMCTRL_SANITIZE=thread -DCAMCTRL_BUILD_BENCH=OFF \
        --target plugin_host_tests host_contracts_tests camsim_camlib camsim_iolib
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    (cd build-tsan && ctest -j2 --output-on-failure -R 'PluginHostTest|PluginIdleScanTest|PluginStopTest|PluginLoopTest|BlockQueue|SharedDataStore')
fi
echo "All tests passed."
