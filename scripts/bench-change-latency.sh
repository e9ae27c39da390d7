#!/usr/bin/env bash
# A change made on the body until the record shows it, through the device's driver and through
# Debian's ptp2, on the emulated bodies at the USB wire: camera-host --simulate BODY --ptp runs,
# `camsim change` turns a setting N times, and the time from the change to the record that shows
# it is taken. Prints p50 and p99 per body and driver.
#   scripts/bench-change-latency.sh [N] [zero|realistic]
# N changes (default 40) under the body's latency model (default realistic: per-transaction,
# settle and open times of real USB cameras, docs/simulator.md). Needs build/ and build/driver/.
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-40}
python3 - "$n" "${2:-realistic}" <<'EOF'
import json, os, select, subprocess, sys, tempfile, time

n = int(sys.argv[1])
latency = sys.argv[2]
drivers = [("device's driver", "build/driver/camlibs"), ("Debian's ptp2", "build/sim/debian-ptp2")]
# body, setting changed, record field, two values it alternates between
bodies = [("Sony Alpha-A7 III (PC Control)", "iso", "iso", ["800", "1600"]),
          ("Canon EOS R6", "iso", "iso", ["800", "1600"]),
          ("Nikon Z9", "f-number", "iris", ["f/8", "f/11"])]

def pct(xs, p):
    xs = sorted(xs)
    return xs[min(len(xs) - 1, int(round(p / 100.0 * (len(xs) - 1))))]

for model, setting, field, values in bodies:
    for name, camlibs in drivers:
        state = tempfile.mkdtemp(prefix="change-latency-")
        host = subprocess.Popen(["build/bin/camera-host", "--simulate", model, "--ptp", "--camlibs", camlibs,
                                 "--state-dir", state, "--json"], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        def record(pred, timeout):
            end = time.monotonic() + timeout
            while time.monotonic() < end:
                if select.select([host.stdout], [], [], max(0, end - time.monotonic()))[0]:
                    line = host.stdout.readline()
                    if not line:
                        return None
                    r = json.loads(line)
                    if pred(r):
                        return r
            return None
        if record(lambda r: r.get("connectState") == 1, 20) is None:
            print(f"{model:32} {name:16} no connected record")
            host.kill()
            continue
        subprocess.run(["build/bin/camsim", "--state-dir", state, "latency", latency], check=True,
                       stdout=subprocess.DEVNULL)
        times = []
        for i in range(n):
            v = values[i % 2]
            t0 = time.monotonic()
            subprocess.run(["build/bin/camsim", "--state-dir", state, "change", setting, v], check=True)
            if record(lambda r: r.get(field) == v, 10) is None:
                break
            times.append((time.monotonic() - t0) * 1000)
        host.stdin.write("quit\n")
        host.stdin.close()
        host.wait(20)
        if times:
            print(f"{model:32} {name:16} n={len(times):3}  p50 {pct(times, 50):6.1f} ms  p99 {pct(times, 99):6.1f} ms")
        else:
            print(f"{model:32} {name:16} the change never reached the record")
EOF
