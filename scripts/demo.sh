#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds, and runs camera-host against a
# simulated Sony A7 III with a short script (connect, set ISO, unplug, replug).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh build --target camera-host camera-monitor camsim camsim_camlib camsim_iolib PluginCameraCtrl

state=$(mktemp -d /tmp/camsim-demo.XXXXXX)
trap 'rm -rf "$state"' EXIT
# Failures only in the log; the records are the point of the demo.
export ZRLOG_LEVEL=${ZRLOG_LEVEL:-2}
build/bin/camera-host --simulate "Sony Alpha-A7 III (PC Control)" --state-dir "$state" \
    --script scripts/demo.cmds </dev/null
