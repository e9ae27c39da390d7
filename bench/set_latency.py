#!/usr/bin/python3
"""Set a camera value and see it confirmed: this plug-in against the tools users use today, on
the same simulated Sony A7 III in the same run, with the simulator's latency model at zero and
at its realistic figures. Run by scripts/bench-set-latency.sh; writes a Markdown table, the raw
samples (JSON) and a plot of the latency distributions (PNG).

What each sample measures, from where to where:
- plug-in: the host's publish of the set request (bus event 9002..9005) to the 9000 record that
  carries the camera's new value (build/bin/set_latency_bench, the plug-in loaded as camera-host
  loads it). "random pause": before each request a pause of 0..200 ms, so requests meet the worker
  anywhere in its loop; "back-to-back": the next request as soon as the record arrived.
  "before": the same with an earlier build of the plug-in (--before LIBRARY), against this
  build's simulator.
- gphoto2 CLI: one `gphoto2 --set-config NAME=VALUE` then one `gphoto2 --get-config NAME` per
  change, from the start of the first process to the end of the second (a new process each:
  drivers loaded, camera detected and opened, closed); a change counts as confirmed when the
  second call prints the new value as Current.
- python3-gphoto2: bench/set_latency_peer.py, camera opened once; read the widget, set it, then
  read back until the value shows.
"""
import argparse
import importlib.util
import json
import math
import os
import platform
import shutil
import subprocess
import sys
import tempfile
import time

MODEL = "sony-a7m3"

# setting -> (widget, values used in turn; the first differs from the profile's value)
SETTINGS = {
    "iso": ("iso", ["800", "1600", "3200", "400", "200", "100"]),
    "iris": ("f-number", ["f/5.6", "f/8", "f/2.8", "f/4"]),
    "wb": ("whitebalance", ["Daylight", "Shade", "Cloudy", "Tungsten"]),
    "shutter": ("shutterspeed", ["1/250", "1/500", "1/60", "1/125"]),
}

# Samples per series
COUNTS = {
    "zero": {"plugin": 200, "plugin_b2b": 200, "before": 60, "python": 200, "cli": 40},
    "realistic": {"plugin": 150, "plugin_b2b": 100, "before": 60, "python": 100, "cli": 20},
}


def percentile(samples, p):
    """Nearest-rank percentile."""
    ordered = sorted(samples)
    rank = max(1, math.ceil(p / 100.0 * len(ordered)))
    return ordered[rank - 1]


def median(samples):
    ordered = sorted(samples)
    n = len(ordered)
    return ordered[n // 2] if n % 2 else (ordered[n // 2 - 1] + ordered[n // 2]) / 2.0


class Bench:
    def __init__(self, build, work):
        self.build = build
        self.work = work
        self.state = os.path.join(work, "state")
        self.env = dict(os.environ)
        self.env.update({
            "CAMLIBS": os.path.join(build, "sim", "camlibs"),
            "IOLIBS": os.path.join(build, "sim", "iolibs"),
            "CAMSIM_STATE_DIR": self.state,
            "HOME": os.path.join(work, "home"),  # gphoto2 keeps its settings there
            "ZRLOG_LEVEL": "2",
        })
        os.makedirs(self.env["HOME"], exist_ok=True)
        os.makedirs(self.state, exist_ok=True)

    def camsim(self, *args):
        subprocess.run([os.path.join(self.build, "bin", "camsim"), "--state-dir", self.state, *args],
                       env=self.env, check=True, stdout=subprocess.DEVNULL)

    def fresh_camera(self, latency):
        self.camsim("plug", MODEL)
        self.camsim("latency", latency)

    @staticmethod
    def samples_of(output):
        return [float(line) for line in output.split()]

    def plugin(self, setting, latency, changes, pause_max, library=None):
        self.fresh_camera(latency)
        _, values = SETTINGS[setting]
        out = subprocess.run(
            [os.path.join(self.build, "bin", "set_latency_bench"), "--state-dir", self.state, "--setting",
             setting, "--values", ",".join(values), "--changes", str(changes), "--pause-max", str(pause_max),
             "--seed", "7"] + (["--plugin", library] if library else []),
            env=self.env, check=True, capture_output=True, text=True)
        return self.samples_of(out.stdout)

    def python(self, setting, latency, changes):
        self.fresh_camera(latency)
        widget, values = SETTINGS[setting]
        peer = os.path.join(os.path.dirname(os.path.abspath(__file__)), "set_latency_peer.py")
        out = subprocess.run(["/usr/bin/python3", peer, "--widget", widget, "--values", ",".join(values),
                              "--changes", str(changes)],
                             env=self.env, check=True, capture_output=True, text=True)
        return self.samples_of(out.stdout)

    def cli(self, setting, latency, changes):
        self.fresh_camera(latency)
        widget, values = SETTINGS[setting]
        samples, confirmed = [], 0
        for i in range(changes):
            value = values[i % len(values)]
            start = time.monotonic()
            subprocess.run(["gphoto2", "--set-config", f"{widget}={value}"], env=self.env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            got = subprocess.run(["gphoto2", "--get-config", widget], env=self.env, check=True,
                                 capture_output=True, text=True)
            samples.append((time.monotonic() - start) * 1000.0)
            confirmed += f"Current: {value}\n" in got.stdout
        return samples, confirmed


def run(build, work, only_quick, before):
    bench = Bench(build, work)
    series = []
    for latency in ("zero", "realistic"):
        counts = COUNTS[latency]
        if only_quick:
            counts = {k: 3 for k in counts}
        for setting in SETTINGS:
            series.append({"latency": latency, "tool": "plug-in", "setting": setting, "mode": "random pause",
                           "samples": bench.plugin(setting, latency, counts["plugin"], 200)})
            print(f"{latency} plug-in {setting} done", file=sys.stderr)
        series.append({"latency": latency, "tool": "plug-in", "setting": "iso", "mode": "back-to-back",
                       "samples": bench.plugin("iso", latency, counts["plugin_b2b"], 0)})
        if before:
            for setting in ("iso", "shutter"):
                series.append({"latency": latency, "tool": "plug-in before", "setting": setting,
                               "mode": "random pause",
                               "samples": bench.plugin(setting, latency, counts["before"], 200, before)})
        for setting in SETTINGS:
            series.append({"latency": latency, "tool": "python3-gphoto2", "setting": setting, "mode": "",
                           "samples": bench.python(setting, latency, counts["python"])})
        samples, confirmed = bench.cli("iso", latency, counts["cli"])
        series.append({"latency": latency, "tool": "gphoto2 CLI", "setting": "iso", "mode": "",
                       "samples": samples, "confirmed": confirmed})
        print(f"{latency} peers done", file=sys.stderr)
    return series


def table(series):
    reference = {(s["latency"], s["setting"]): median(s["samples"]) for s in series
                 if s["tool"] == "plug-in" and s["mode"] == "random pause"}
    rows = ["| latency | tool | setting | n | median ms | p99 ms | median / plug-in's |",
            "| --- | --- | --- | --- | --- | --- | --- |"]
    for s in series:
        med = median(s["samples"])
        ref = reference[(s["latency"], s["setting"])]
        tool = s["tool"] + (f" ({s['mode']})" if s["mode"] else "")
        if "confirmed" in s:
            tool += f", {s['confirmed']}/{len(s['samples'])} confirmed"
        rows.append(f"| {s['latency']} | {tool} | {s['setting']} | {len(s['samples'])} | {med:.2f} | "
                    f"{percentile(s['samples'], 99):.2f} | {med / ref:.2f} |")
    return "\n".join(rows) + "\n"


def plot(series, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, axes = plt.subplots(1, 2, figsize=(13, 5.5), sharey=True)
    for ax, latency in zip(axes, ("zero", "realistic")):
        for s in series:
            if s["latency"] != latency or (s["tool"] != "plug-in" and s["setting"] != "iso"):
                continue
            xs = sorted(s["samples"])
            ys = [(i + 1) / len(xs) for i in range(len(xs))]
            label = f"{s['tool']} {s['setting']}" + (f" ({s['mode']})" if s["mode"] else "")
            style = "-" if s["setting"] == "iso" else ":"
            ax.step(xs, ys, style, where="post", label=label)
        ax.set_xscale("log")
        ax.set_xlabel("set request to confirmed value, ms (log scale)")
        ax.set_title(f"simulator latency: {latency}")
        ax.grid(True, which="both", alpha=0.3)
        ax.axhline(0.5, color="grey", linewidth=0.6)
        ax.axhline(0.99, color="grey", linewidth=0.6)
    axes[0].set_ylabel("share of changes confirmed (cumulative)")
    axes[1].legend(fontsize=8, loc="lower right")
    fig.suptitle("Sony A7 III (simulated): a set confirmed, this plug-in against gphoto2 and python3-gphoto2")
    fig.tight_layout()
    fig.savefig(path, dpi=110)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build")
    parser.add_argument("--out", default="bench/results", help="directory for set-latency.{md,json,png}")
    parser.add_argument("--quick", action="store_true", help="3 samples a series (a smoke run)")
    parser.add_argument("--before", help="an earlier build's libPluginCameraCtrl.so to measure as well")
    args = parser.parse_args()
    missing = [name for name, there in (("gphoto2", shutil.which("gphoto2")),
                                        ("python3-gphoto2", importlib.util.find_spec("gphoto2")),
                                        ("python3-matplotlib", importlib.util.find_spec("matplotlib")))
               if not there]
    if missing:
        print(f"set_latency: install {' '.join(missing)} (scripts/setup.sh does)", file=sys.stderr)
        return 77  # skipped
    build = os.path.abspath(args.build)
    os.makedirs(args.out, exist_ok=True)
    # The simulator keeps the camera in files; on tmpfs their rewriting costs microseconds, on
    # a disk (ext4 flushes a file replaced by rename) milliseconds that no real camera has.
    shm = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    with tempfile.TemporaryDirectory(prefix="set-latency-", dir=shm) as work:
        series = run(build, work, args.quick, args.before and os.path.abspath(args.before))
    text = table(series)
    stamp = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())
    header = (f"{platform.machine()}, {os.cpu_count()} cores, load average "
              f"{', '.join(f'{x:.1f}' for x in os.getloadavg())} at the end, {stamp}, state directory "
              f"{'on tmpfs' if shm else 'on disk'}\n\n")
    with open(os.path.join(args.out, "set-latency.md"), "w") as f:
        f.write(header + text)
    with open(os.path.join(args.out, "set-latency.json"), "w") as f:
        json.dump({"when": stamp, "series": series}, f, indent=1)
    plot(series, os.path.join(args.out, "set-latency.png"))
    sys.stdout.write(header + text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
