#!/usr/bin/env bash
# Line and branch coverage of the product code and of the simulator under the test suite.
#
#   scripts/coverage.sh [--build DIR] [--json FILE] [--compare BEFORE.json] [--no-build | --report-only]
#                       [--ctest "ARGS"]
#
# A Debug build with gcc --coverage in its own tree (default build-coverage/), the suite as
# `ctest -j2 -LE slow` (--ctest replaces those arguments), then gcovr over the source tree with
# throw and unreachable branches left out and tests/, bench/, fuzz/ and build trees excluded.
# Prints lines and branches per folder (include/, each Model/<part>, Util/Module/BasicFun,
# platform/zrlog, tools/, sim/), the product total (everything but sim/) and writes the same
# as JSON (default DIR/coverage-summary.json). --compare prints each figure's change against an
# earlier summary (e.g. docs/quality/coverage-baseline.json) and fails when product or sim lines
# fell by more than 1 point or branches by more than 2, per folder or in total. --report-only
# reads the counters the last run left in DIR (no build, no tests).
#
# The simulator's drivers are dlopen'ed and dlclose'd by libgphoto2 many times per process.
# gcc's runtime is linked into each shared object and writes (merges) its counters when the
# object is unloaded, so they are measured without -z nodelete; the summary names the driver
# sources' line counts so that a driver that went unmeasured shows as 0 %.
# Exit status: 0, or 1 when a test failed (figures are still printed, marked as such).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

build=build-coverage
json=
compare=
do_build=1
do_tests=1
ctest_args="-j2 -LE slow"
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --json) json=$2; shift 2 ;;
        --compare) compare=$(realpath "$2"); shift 2 ;;
        --no-build) do_build=0; shift ;;
        --report-only) do_build=0; do_tests=0; shift ;;
        --ctest) ctest_args=$2; shift 2 ;;
        *) echo "usage: $0 [--build DIR] [--json FILE] [--compare BEFORE.json] [--no-build | --report-only] [--ctest \"ARGS\"]" >&2
           exit 2 ;;
    esac
done

scripts/setup.sh gcovr
start=$SECONDS
if [ $do_build -eq 1 ]; then
    cov=--coverage
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
        -DCMAKE_C_FLAGS="$cov" -DCMAKE_CXX_FLAGS="$cov" -DCMAKE_EXE_LINKER_FLAGS="$cov" \
        -DCMAKE_SHARED_LINKER_FLAGS="$cov" -DCMAKE_MODULE_LINKER_FLAGS="$cov" \
        -DCAMCTRL_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" -j2
fi
build=$(cd "$build" && pwd)
[ -n "$json" ] || json=$build/coverage-summary.json
built=$SECONDS

tests_ok=1
if [ $do_tests -eq 1 ]; then
    # Counters of an earlier run would add up with this one.
    find "$build" -name '*.gcda' -delete
    # shellcheck disable=SC2086 # the arguments are words
    (cd "$build" && ctest $ctest_args --output-on-failure) || tests_ok=0
fi
tested=$SECONDS

raw=$build/gcovr-files.json
gcovr --root "$repo" --object-directory "$build" -j 2 \
    --exclude-throw-branches --exclude-unreachable-branches \
    --exclude "$repo/tests/" --exclude "$repo/bench/" --exclude "$repo/fuzz/" \
    --exclude "$repo/build[^/]*/" --exclude "$build/" \
    --json-summary "$raw" --json-summary-pretty >"$build/gcovr.log" 2>&1 ||
    { cat "$build/gcovr.log" >&2; exit 1; }

compare_ok=1
python3 - "$raw" "$json" "$tests_ok" "$(git rev-parse --short HEAD 2>/dev/null || echo unknown)" "$compare" <<'EOF' || compare_ok=0
import json, sys, datetime
raw, out, ok, rev, before = sys.argv[1], sys.argv[2], sys.argv[3] == "1", sys.argv[4], sys.argv[5]
files = json.load(open(raw))["files"]

def folder(path):
    p = path.split("/")
    if p[0] == "Model" and len(p) > 2:
        return "/".join(p[:2])
    if p[0] in ("Util", "platform") and len(p) > 2:
        return "/".join(p[:-1]) if p[0] == "platform" else "/".join(p[:3])
    return p[0]

groups = {}
for f in files:
    g = groups.setdefault(folder(f["filename"]), [0, 0, 0, 0, []])
    g[0] += f["line_covered"]; g[1] += f["line_total"]
    g[2] += f["branch_covered"]; g[3] += f["branch_total"]
    g[4].append(f)

def pct(c, t):
    return round(100.0 * c / t, 1) if t else None

def entry(g):
    return {"lines_covered": g[0], "lines_total": g[1], "lines_percent": pct(g[0], g[1]),
            "branches_covered": g[2], "branches_total": g[3], "branches_percent": pct(g[2], g[3])}

product = [0, 0, 0, 0]
for name, g in groups.items():
    if name != "sim":
        for i in range(4):
            product[i] += g[i]
summary = {
    "revision": rev, "tests_passed": ok,
    "date": datetime.datetime.utcnow().strftime("%Y-%m-%d %H:%M UTC"),
    "load": open("/proc/loadavg").read().split()[:3],
    "folders": {name: entry(g) for name, g in sorted(groups.items())},
    "product_total": entry(product),
    # The dlopen'ed drivers: 0 lines covered here would mean their counters were lost.
    "sim_drivers": {f["filename"]: entry([f["line_covered"], f["line_total"], f["branch_covered"],
                                          f["branch_total"]])
                    for f in files if f["filename"].startswith(("sim/camlib/", "sim/iolib/"))},
}
json.dump(summary, open(out, "w"), indent=2)

def row(name, e):
    fmt = lambda p: "-" if p is None else f"{p:5.1f}"
    return (f"| {name:<28} | {e['lines_covered']:>6}/{e['lines_total']:<6} | {fmt(e['lines_percent'])} "
            f"| {e['branches_covered']:>6}/{e['branches_total']:<6} | {fmt(e['branches_percent'])} |")

print(f"coverage of {rev}, {summary['date']}, load {' '.join(summary['load'])}"
      + ("" if ok else "  (SOME TESTS FAILED: figures are of a failing run)"))
print("| folder                       | lines         |   %   | branches      |   %   |")
print("| ---                          | ---           | ---   | ---           | ---   |")
for name in sorted(groups):
    if name != "sim":
        print(row(name, summary["folders"][name]))
print(row("product total", summary["product_total"]))
if "sim" in groups:
    print(row("sim", summary["folders"]["sim"]))
for name, e in summary["sim_drivers"].items():
    print(row(name, e))
print(f"summary: {out}")

if before:
    old = json.load(open(before))
    worse = []
    print(f"against {before} ({old['revision']}): change in points")
    rows = dict(old["folders"], **{"product total": old["product_total"]})
    new = dict(summary["folders"], **{"product total": summary["product_total"]})
    for name in sorted(set(rows) | set(new)):
        o, n = rows.get(name), new.get(name)
        if not o or not n:
            print(f"  {name:<28} {'new' if n else 'gone'}")
            continue
        d = []
        for key, limit in (("lines_percent", 1.0), ("branches_percent", 2.0)):
            if o[key] is None or n[key] is None:
                d.append("   -  ")
                continue
            delta = n[key] - o[key]
            d.append(f"{delta:+6.1f}")
            if delta < -limit - 1e-9:
                worse.append(f"{name} {key.split('_')[0]} {delta:+.1f}")
        print(f"  {name:<28} lines {d[0]}  branches {d[1]}")
    if worse:
        print("coverage fell beyond the limits (1 point lines, 2 branches): " + "; ".join(worse))
        sys.exit(1)
EOF
echo "coverage: build $((built - start)) s, tests $((tested - built)) s, report $((SECONDS - tested)) s"
[ $tests_ok -eq 1 ] && [ $compare_ok -eq 1 ]
