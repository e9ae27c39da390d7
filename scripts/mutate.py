#!/usr/bin/env python3
"""Hand-picked mutations of the product code, each run against the tests that should catch it.

Driven by scripts/mutate.sh (see there for usage). The mutations are data in
scripts/mutations.json: name, file, an exact original snippet, its replacement, the ctest regex
of the tests that should fail, and the stage (plain: the RelWithDebInfo build; tsan: the
ThreadSanitizer build of the threaded tests).
"""

import argparse
import datetime
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TSAN_TARGETS = ["plugin_host_tests", "host_contracts_tests", "camsim_camlib", "camsim_iolib"]
TOOL_TARGETS = ["camera-host", "camera-monitor", "camsim", "camsim_camlib", "camsim_iolib", "PluginCameraCtrl"]
ENV = {
    "plain": {},
    "tsan": {"TSAN_OPTIONS": "halt_on_error=1:second_deadlock_stack=1"},
}


def log(msg):
    print(f"mutate: {msg}", flush=True)


def run(cmd, cwd=None, env=None, quiet=True, logfile=None):
    out = subprocess.DEVNULL
    if logfile:
        out = open(logfile, "ab")
    elif not quiet:
        out = None
    full_env = dict(os.environ, **(env or {}))
    return subprocess.call(cmd, cwd=cwd, env=full_env, stdout=out, stderr=subprocess.STDOUT if out else None)


def sync_tree(src, dst):
    """Makes dst hold exactly src's files, writing only those that differ (keeps builds incremental)."""
    for root, dirs, files in os.walk(src):
        rel = os.path.relpath(root, src)
        target = os.path.normpath(os.path.join(dst, rel))
        os.makedirs(target, exist_ok=True)
        for f in files:
            s, d = os.path.join(root, f), os.path.join(target, f)
            with open(s, "rb") as fh:
                data = fh.read()
            if os.path.isfile(d) and not os.path.islink(d):
                with open(d, "rb") as fh:
                    if fh.read() == data:
                        continue
            if os.path.lexists(d):
                os.remove(d)
            with open(d, "wb") as fh:
                fh.write(data)
            shutil.copymode(s, d)
    for root, dirs, files in os.walk(dst, topdown=False):
        rel = os.path.relpath(root, dst)
        if not os.path.isdir(os.path.join(src, rel)):
            shutil.rmtree(root)
            continue
        for f in files:
            if not os.path.lexists(os.path.join(src, rel, f)):
                os.remove(os.path.join(root, f))


def prepare_source(args, work):
    src = os.path.join(work, "src")
    with tempfile.TemporaryDirectory(dir=work) as tmp:
        if args.src:
            # A working tree as it is, committed or not; build trees and git data left out.
            ignore = shutil.ignore_patterns(".git", "build*", ".cache", "Testing")
            shutil.copytree(args.src, os.path.join(tmp, "t"), ignore=ignore, symlinks=True)
            what = f"working tree {args.src}"
        else:
            os.makedirs(os.path.join(tmp, "t"))
            archive = subprocess.run(["git", "-C", REPO, "archive", "--format=tar", args.rev],
                                     check=True, stdout=subprocess.PIPE).stdout
            subprocess.run(["tar", "-x", "-C", os.path.join(tmp, "t")], input=archive, check=True)
            rev = subprocess.run(["git", "-C", REPO, "rev-parse", "--short", args.rev], check=True,
                                 stdout=subprocess.PIPE, text=True).stdout.strip()
            what = f"revision {rev}"
        sync_tree(os.path.join(tmp, "t"), src)
    return src, what


def configure_and_build(src, build, extra, targets, logfile):
    # ccache makes the rebuild of a reverted file (and of every object that includes a reverted
    # header) a cache hit on the next run.
    # A tree configured before keeps its launcher (a change would rebuild everything).
    launcher = []
    if not os.path.isfile(os.path.join(build, "CMakeCache.txt")) and shutil.which("ccache"):
        launcher = ["-DCMAKE_C_COMPILER_LAUNCHER=ccache", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
    rc = run(["cmake", "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
              "-DCAMCTRL_BUILD_BENCH=OFF"] + launcher + extra, logfile=logfile)
    if rc != 0:
        sys.exit(f"mutate: configuring {build} failed (log {logfile})")
    cmd = ["cmake", "--build", build, "-j2"]
    if targets:
        cmd += ["--target"] + targets
    return run(cmd, logfile=logfile)


def test_targets(build, regex, env):
    """The build targets the tests matching regex run: their executables, plus the tools for scripts."""
    out = subprocess.run(["ctest", "--show-only=json-v1", "-R", regex], cwd=build, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, text=True, env=dict(os.environ, **env))
    if out.returncode != 0:
        return None, 0
    tests = json.loads(out.stdout).get("tests", [])
    bindir = os.path.join(build, "tests", "bin") + os.sep
    targets = set()
    for t in tests:
        cmd = t.get("command", [])
        exes = [c for c in cmd if c.startswith(bindir) and not c.endswith("with-private-usb-devfs")]
        if exes:
            targets.update(os.path.basename(e) for e in exes)
        else:
            targets.update(TOOL_TARGETS)
    return sorted(targets), len(tests)


def main():
    p = argparse.ArgumentParser(prog="scripts/mutate.sh")
    p.add_argument("--rev", default="HEAD", help="revision whose product code and tests are mutated")
    p.add_argument("--src", help="a working tree to copy instead of a revision")
    p.add_argument("--work", help="scratch directory (default /tmp/camctrl-mutate)")
    p.add_argument("--only", nargs="+", metavar="NAME", help="run only these mutations")
    p.add_argument("--list", action="store_true", help="list the mutations and exit")
    p.add_argument("--jobs", type=int, default=3, help="ctest -j (the tests are mostly waiting)")
    p.add_argument("--json", help="summary file (default WORK/mutation-summary.json)")
    p.add_argument("--no-baseline", action="store_true",
                   help="skip running the selected tests once unmutated (they must pass for a kill to count)")
    p.add_argument("--tests", metavar="REGEX", help="run these tests for every selected mutation instead of its own")
    p.add_argument("--mutations", default=os.path.join(REPO, "scripts", "mutations.json"))
    args = p.parse_args()

    mutations = json.load(open(args.mutations))["mutations"]
    names = [m["name"] for m in mutations]
    if len(set(names)) != len(names):
        sys.exit("mutate: duplicate mutation names")
    if args.list:
        for m in mutations:
            print(f"{m['name']:<28} {m['stage']:<5} {m['file']:<48} -R '{m['tests']}'")
            print(f"{'':<28} {m['why']}")
        return 0
    if args.only:
        unknown = [n for n in args.only if n not in names]
        if unknown:
            sys.exit(f"mutate: no mutation named {' '.join(unknown)} (see --list)")
        mutations = [m for m in mutations if m["name"] in args.only]
    if args.tests:
        for m in mutations:
            m["tests"] = args.tests

    work = os.path.abspath(args.work or "/tmp/camctrl-mutate")
    os.makedirs(work, exist_ok=True)
    os.environ.setdefault("CCACHE_DIR", os.path.join(work, "ccache"))
    logfile = os.path.join(work, "mutate.log")
    open(logfile, "w").close()
    src, what = prepare_source(args, work)
    log(f"{len(mutations)} mutations of {what} in {work} (log {logfile}); load "
        + " ".join(open("/proc/loadavg").read().split()[:3]))

    builds = {"plain": (os.path.join(work, "build"), []),
              "tsan": (os.path.join(work, "build-tsan"), ["-DCAMCTRL_SANITIZE=thread"])}
    stages = sorted({m["stage"] for m in mutations})
    t0 = time.time()
    for stage in stages:
        build, extra = builds[stage]
        targets = TSAN_TARGETS if stage == "tsan" else None
        log(f"building the {stage} tree {build}")
        if configure_and_build(src, build, extra, targets, logfile) != 0:
            sys.exit(f"mutate: the unmutated {stage} build failed (log {logfile})")
    log(f"builds done in {time.time() - t0:.0f} s")

    if not args.no_baseline:
        for stage in stages:
            regex = "|".join(f"({m['tests']})" for m in mutations if m["stage"] == stage)
            build = builds[stage][0]
            log(f"baseline: the {stage} tests unmutated")
            rc = run(["ctest", f"-j{args.jobs}", "-R", regex, "--output-on-failure"], cwd=build,
                     env=ENV[stage], logfile=logfile)
            if rc != 0:
                sys.exit(f"mutate: the {stage} tests fail without a mutation; nothing to measure (log {logfile})")

    results = []
    for m in mutations:
        start = time.time()
        path = os.path.join(src, m["file"])
        build = builds[m["stage"]][0]
        result = {"name": m["name"], "stage": m["stage"], "file": m["file"], "tests": m["tests"]}
        original = open(path).read() if os.path.isfile(path) else ""
        count = original.count(m["original"])
        if count != 1:
            result["status"] = "does-not-apply"
            result["detail"] = f"snippet found {count} times"
        else:
            with open(path, "w") as fh:
                fh.write(original.replace(m["original"], m["replacement"]))
            try:
                targets, ntests = test_targets(build, m["tests"], ENV[m["stage"]])
                if not ntests:
                    result["status"] = "no-tests"
                    result["detail"] = "the regex matches no test"
                else:
                    with open(logfile, "a") as fh:
                        fh.write(f"\n===== {m['name']}: build {' '.join(targets)}\n")
                    b0 = time.time()
                    rc = run(["cmake", "--build", build, "-j2", "--target"] + targets, logfile=logfile)
                    result["build_s"] = round(time.time() - b0, 1)
                    if rc != 0:
                        result["status"] = "build-failed"
                    else:
                        with open(logfile, "a") as fh:
                            fh.write(f"===== {m['name']}: ctest -R '{m['tests']}' ({ntests} tests)\n")
                        t1 = time.time()
                        rc = run(["ctest", f"-j{args.jobs}", "-R", m["tests"], "--stop-on-failure",
                                  "--output-on-failure"], cwd=build, env=ENV[m["stage"]], logfile=logfile)
                        result["test_s"] = round(time.time() - t1, 1)
                        result["status"] = "killed" if rc != 0 else "survived"
            finally:
                with open(path, "w") as fh:
                    fh.write(original)
        result["seconds"] = round(time.time() - start, 1)
        results.append(result)
        log(f"{m['name']}: {result['status']} ({result['seconds']:.0f} s)")

    print()
    print("| mutation | stage | result | seconds |")
    print("| --- | --- | --- | ---: |")
    for r in results:
        print(f"| {r['name']} | {r['stage']} | {r['status']} | {r['seconds']:.0f} |")
    counts = {}
    for r in results:
        counts[r["status"]] = counts.get(r["status"], 0) + 1
    print()
    print("totals: " + ", ".join(f"{k} {v}" for k, v in sorted(counts.items())))
    summary = {
        "source": what,
        "date": datetime.datetime.utcnow().strftime("%Y-%m-%d %H:%M UTC"),
        "load_end": open("/proc/loadavg").read().split()[:3],
        "seconds": round(time.time() - t0),
        "totals": counts,
        "results": results,
    }
    out = args.json or os.path.join(work, "mutation-summary.json")
    json.dump(summary, open(out, "w"), indent=2)
    print(f"summary: {out}")
    bad = [r for r in results if r["status"] != "killed"]
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
