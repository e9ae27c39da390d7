#!/usr/bin/env bash
# Runs hand-picked mutations of the product code (scripts/mutations.json) against the tests that
# should catch them: killed, survived, or does-not-apply when the original snippet is not found
# exactly once (the code moved: re-target the snippet).
#
#   scripts/mutate.sh [--rev REV | --src DIR] [--only NAME...] [--list] [--work DIR] [--jobs N]
#                     [--json FILE] [--no-baseline] [--tests REGEX]
#
# The product code and tests of REV (default HEAD; --src: a working tree as it is) are copied
# once into WORK/src (default /tmp/camctrl-mutate; kept, with a ccache, so that a second run
# builds incrementally), built once (WORK/build, RelWithDebInfo; WORK/build-tsan with
# ThreadSanitizer for the threaded tests, when a tsan mutation is selected), and the selected
# tests are run once unmutated. Then,
# per mutation: apply, rebuild only the targets its tests run, run them (ctest -R REGEX
# --stop-on-failure), record the result, revert. The mutations come from this checkout, the code
# from REV. Prints a table (mutation, stage, result, seconds) and writes a JSON summary (default
# WORK/mutation-summary.json). Exit status 0 when every mutation was killed. --tests REGEX runs
# other tests than the ones named for each mutation (e.g. "." for the whole suite).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh python3 ccache
exec python3 scripts/mutate.py "$@"
