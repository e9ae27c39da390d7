#!/usr/bin/python3
"""A set confirmed through Debian's unmodified ptp2 driver, on bodies emulated at the USB wire
(sim/ptp), beside python3-gphoto2 on the same bodies in the same run, and the same through the
camera-library simulator for comparison; with the simulator's latency model at zero and at its
realistic figures. Run by scripts/bench-ptp-set-latency.sh; writes a Markdown table and the raw
samples (JSON).

What each sample measures, from where to where:
- plug-in: the host's publish of the set request (bus event 9002 ISO, 9003 iris, 9004 shutter
  speed) to the 9000 record that carries the body's new value (build/bin/set_latency_bench, the
  plug-in loaded as camera-host loads it; --ptp: libgphoto2 with the PTP port library and
  Debian's ptp2.so). Before each request a random pause of 0..200 ms, so that requests meet the
  plug-in's worker anywhere in its loop.
- python3-gphoto2: bench/set_latency_peer.py, camera opened once; from reading the widget,
  through set_single_config, to the read-back that shows the new value.
Each series alternates between two values one notch (or five notches) apart in the body's own
order; its first change (from the body's factory value) is not counted.
"""
import argparse
import importlib.util
import json
import math
import os
import platform
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# (body, setting, notches, values). Sony bodies step ISO, f-number and shutter speed one notch
# at a time (SetControlDeviceB); Canon and Nikon set a value outright.
CASES = [
    ("sony-a7m3", "iso", 1, ["1000", "800"]),
    ("sony-a7m3", "iso", 5, ["2500", "800"]),
    ("sony-a7m3", "iris", 1, ["f/6.3", "f/5.6"]),
    ("sony-a7m3", "iris", 5, ["f/10", "f/5.6"]),
    ("sony-a7m3", "shutter", 1, ["1/160", "1/125"]),
    ("sony-a7m3", "shutter", 5, ["1/400", "1/125"]),
    ("canon-r6", "iso", None, ["800", "1600"]),
    ("nikon-z9", "iso", None, ["800", "1600"]),
]

# The widget python3-gphoto2 sets, per wire level (the camera-library simulator plays the
# device's own driver, whose Nikon ISO is a kd_ widget).
WIDGETS = {"iso": "iso", "iris": "f-number", "shutter": "shutterspeed"}
CAMLIB_WIDGETS = {("nikon-z9", "iso"): "kd_nikon_photo_iso"}

# Through Debian's driver the plug-in never connects to a Z 9 (no mrb-LiveViewSelector).
PLUGIN_SKIPS = {("ptp", "nikon-z9"): "the plug-in does not connect through Debian's driver"}

COUNTS = {"zero": {"plugin": 30, "python": 30}, "realistic": {"plugin": 20, "python": 20}}


def percentile(samples, p):
    ordered = sorted(samples)
    return ordered[max(1, math.ceil(p / 100.0 * len(ordered))) - 1]


def median(samples):
    o = sorted(samples)
    n = len(o)
    return o[n // 2] if n % 2 else (o[n // 2 - 1] + o[n // 2]) / 2.0


class Bench:
    def __init__(self, build, work, ptp_camlibs):
        self.build = build
        self.state = os.path.join(work, "state")
        self.ptp_camlibs = ptp_camlibs
        os.makedirs(self.state, exist_ok=True)
        home = os.path.join(work, "home")
        os.makedirs(home, exist_ok=True)
        self.base_env = dict(os.environ, CAMSIM_STATE_DIR=self.state, HOME=home, ZRLOG_LEVEL="2")

    def env(self, level):
        e = dict(self.base_env)
        if level == "ptp":
            e.update(CAMLIBS=self.ptp_camlibs, IOLIBS=os.path.join(self.build, "sim", "ptp-iolibs"))
        else:
            e.update(CAMLIBS=os.path.join(self.build, "sim", "camlibs"),
                     IOLIBS=os.path.join(self.build, "sim", "iolibs"))
        return e

    def fresh(self, body, latency):
        for args in (["plug", body], ["latency", latency]):
            subprocess.run([os.path.join(self.build, "bin", "camsim"), "--state-dir", self.state, *args],
                           env=self.base_env, check=True, stdout=subprocess.DEVNULL)

    @staticmethod
    def samples(out):
        # The first change starts from the factory value, not from the other value of the pair.
        return [float(x) for x in out.split()][1:]

    def plugin(self, level, body, setting, values, latency, n):
        self.fresh(body, latency)
        cmd = [os.path.join(self.build, "bin", "set_latency_bench"), "--state-dir", self.state, "--setting",
               setting, "--values", ",".join(values), "--changes", str(n + 1), "--pause-max", "200",
               "--seed", "7"]
        if level == "ptp":
            cmd += ["--ptp", self.ptp_camlibs]
        r = subprocess.run(cmd, env=self.env(level), capture_output=True, text=True, timeout=300)
        if r.returncode != 0:
            return None, r.stderr.strip().splitlines()[-1:] or ["failed"]
        return self.samples(r.stdout), None

    def python(self, level, body, setting, values, latency, n):
        self.fresh(body, latency)
        widget = (CAMLIB_WIDGETS.get((body, setting)) if level == "camlib" else None) or WIDGETS[setting]
        r = subprocess.run(["/usr/bin/python3", os.path.join(HERE, "set_latency_peer.py"), "--widget", widget,
                            "--values", ",".join(values), "--changes", str(n + 1)],
                           env=self.env(level), capture_output=True, text=True, timeout=300)
        if r.returncode != 0:
            return None, r.stderr.strip().splitlines()[-1:] or ["failed"]
        return self.samples(r.stdout), None


def run(build, work, ptp_camlibs, quick):
    bench = Bench(build, work, ptp_camlibs)
    series = []
    for latency in ("zero", "realistic"):
        for level in ("ptp", "camlib"):
            for body, setting, notches, values in CASES:
                for tool in ("plug-in", "python3-gphoto2"):
                    n = 3 if quick else COUNTS[latency]["plugin" if tool == "plug-in" else "python"]
                    entry = {"latency": latency, "level": level, "body": body, "setting": setting,
                             "notches": notches, "values": values, "tool": tool}
                    skip = PLUGIN_SKIPS.get((level, body)) if tool == "plug-in" else None
                    if skip:
                        entry.update(samples=[], error=skip)
                    else:
                        measure = bench.plugin if tool == "plug-in" else bench.python
                        start = time.monotonic()
                        samples, error = measure(level, body, setting, values, latency, n)
                        entry.update(samples=samples or [], error=error and error[0],
                                     wall_s=round(time.monotonic() - start, 1))
                    series.append(entry)
                    print(f"{latency} {level} {body} {setting} {notches} {tool}: "
                          f"{len(entry['samples'])} samples {entry.get('error') or ''}", file=sys.stderr)
    return series


LEVELS = {"ptp": "Debian's ptp2 at the USB wire", "camlib": "camera-library simulator"}


def table(series):
    rows = ["| latency | wire level | body | setting | notches | tool | n | median ms | p90 ms | max ms |",
            "| --- | --- | --- | --- | --- | --- | --- | --- | --- | --- |"]
    for s in series:
        head = (f"| {s['latency']} | {LEVELS[s['level']]} | {s['body']} | {s['setting']} "
                f"{' ↔ '.join(s['values'])} | {s['notches'] or '-'} | {s['tool']} |")
        if s["samples"]:
            x = s["samples"]
            rows.append(f"{head} {len(x)} | {median(x):.1f} | {percentile(x, 90):.1f} | {max(x):.1f} |")
        else:
            rows.append(f"{head} 0 | {s['error']} | | |")
    return "\n".join(rows) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build")
    parser.add_argument("--out", default="bench/results", help="directory for ptp-set-latency.{md,json}")
    parser.add_argument("--camlibs", required=True, help="directory with Debian's ptp2.so")
    parser.add_argument("--quick", action="store_true", help="3 samples a series (a smoke run)")
    args = parser.parse_args()
    if not importlib.util.find_spec("gphoto2"):
        print("ptp_set_latency: install python3-gphoto2 (scripts/setup.sh does)", file=sys.stderr)
        return 77  # skipped
    build = os.path.abspath(args.build)
    os.makedirs(args.out, exist_ok=True)
    # The body lives in files: on tmpfs rewriting them costs microseconds, on a disk milliseconds
    # that no real body has.
    shm = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    began = time.strftime("%Y-%m-%d %H:%M", time.gmtime())
    with tempfile.TemporaryDirectory(prefix="ptp-set-latency-", dir=shm) as work:
        series = run(build, work, os.path.abspath(args.camlibs), args.quick)
    stamp = time.strftime("%H:%M UTC", time.gmtime())
    header = (f"{platform.machine()}, {os.cpu_count()} cores, {began}–{stamp}, load average "
              f"{', '.join(f'{x:.1f}' for x in os.getloadavg())} at the end, state directory "
              f"{'on tmpfs' if shm else 'on disk'}\n\n")
    text = header + table(series)
    with open(os.path.join(args.out, "ptp-set-latency.md"), "w") as f:
        f.write(text)
    with open(os.path.join(args.out, "ptp-set-latency.json"), "w") as f:
        json.dump({"when": f"{began}–{stamp}", "cores": os.cpu_count(), "series": series}, f, indent=1)
    sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
