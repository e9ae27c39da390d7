#!/usr/bin/env python3
"""Sets the ISO of a simulated camera SETS times through camera-host and watches its memory.

    scripts/soak-sets.py [--build DIR] [--via console|web] [--every N] [--warm-up N]
                         [--tolerance KIB] [--step-timeout S] [SETS]

One set: `iso 800` and `iso 1600` by turns, typed into camera-host's standard input (console)
or posted to the web remote's `POST /api/set` over one kept-alive connection (web; camera-host
then runs with --web 127.0.0.1:0), then the --json record with that ISO on camera-host's
standard output, at most --step-timeout seconds (default 10). RssAnon (/proc/PID/status) is
printed at the start and every --every sets (default 10,000). Exit status 0 when, after the
first --warm-up sets (default 10,000), RssAnon stayed within --tolerance KiB (default 256) of
its value then; 1 when it grew more, a set timed out or camera-host died; 2 for wrong arguments.
"""
import argparse
import http.client
import json
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

parser = argparse.ArgumentParser(usage=__doc__.split("\n\n")[1].strip())
parser.add_argument("--build", default="build")
parser.add_argument("--via", choices=("console", "web"), default="console")
parser.add_argument("--every", type=int, default=10000)
parser.add_argument("--warm-up", type=int, default=10000)
parser.add_argument("--tolerance", type=int, default=256)
parser.add_argument("--step-timeout", type=float, default=10)
parser.add_argument("sets", type=int, nargs="?", default=100000)
args = parser.parse_args()
if args.sets < 1 or args.every < 1 or args.warm_up < 0:
    parser.error("SETS and --every must be positive")

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
build = os.path.join(root, args.build)
work = tempfile.mkdtemp(prefix="soak-sets.")
cmd = [build + "/bin/camera-host", "--simulate", "sony-a7m3", "--state-dir", work + "/sim", "--json"]
if args.via == "web":
    cmd += ["--web", "127.0.0.1:0"]
env = dict(os.environ, HOME=work, ZRLOG_LEVEL="0")  # the log lines would cost more than the sets
host = subprocess.Popen(cmd, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                        stderr=subprocess.PIPE, bufsize=0)
pending = b""


def lines(stream, timeout):
    """Lines of stream until timeout seconds pass without one."""
    global pending
    end = time.monotonic() + timeout
    while True:
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            yield line
        left = end - time.monotonic()
        if left <= 0 or not select.select([stream], [], [], left)[0]:
            return
        chunk = os.read(stream.fileno(), 65536)
        if not chunk:
            return
        pending += chunk


def wait_record(check, what):
    for line in lines(host.stdout, args.step_timeout):
        record = json.loads(line)
        if check(record):
            return record
    sys.exit(f"soak-sets: timed out waiting for {what}")


def rss_anon():
    with open(f"/proc/{host.pid}/status") as f:
        return int(re.search(r"RssAnon:\s+(\d+)", f.read()).group(1))


try:
    wait_record(lambda r: r["connectState"] == 1, "the connection")
    web = None
    if args.via == "web":
        err = b""
        while b"camera-web: http://" not in err:
            ready = select.select([host.stderr], [], [], args.step_timeout)[0]
            chunk = os.read(host.stderr.fileno(), 4096) if ready else b""
            if not chunk:
                sys.exit("soak-sets: the web remote did not start")
            err += chunk
        port = int(re.search(rb"camera-web: http://127\.0\.0\.1:(\d+)/", err).group(1))
        web = http.client.HTTPConnection("127.0.0.1", port, timeout=args.step_timeout)
    start = time.monotonic()
    samples = [(0, 0.0, rss_anon())]
    print(f"{'sets':>8} {'seconds':>8} {'RssAnon KiB':>12}", flush=True)
    print(f"{0:>8} {0:>8.1f} {samples[0][2]:>12}", flush=True)
    for n in range(1, args.sets + 1):
        iso = "800" if n % 2 else "1600"
        if web is None:
            host.stdin.write(f"iso {iso}\n".encode())
        else:
            web.request("POST", "/api/set", json.dumps({"setting": "iso", "value": iso}),
                        {"Content-Type": "application/json", "Host": f"127.0.0.1:{port}"})
            answer = web.getresponse()
            answer.read()
            if answer.status != 202:
                sys.exit(f"soak-sets: POST /api/set answered {answer.status}")
        wait_record(lambda r: r["iso"] == iso, f"ISO {iso} after {n} sets")
        if n % args.every == 0 or n == args.sets:
            samples.append((n, time.monotonic() - start, rss_anon()))
            print(f"{n:>8} {samples[-1][1]:>8.1f} {samples[-1][2]:>12}", flush=True)
    base = [s for s in samples if s[0] >= args.warm_up][0]
    growth = max(s[2] for s in samples if s[0] >= base[0]) - base[2]
    print(f"growth after {base[0]} sets: {growth:+} KiB ({growth * 1024 / max(1, args.sets - base[0]):.1f} "
          f"bytes a set), allowed {args.tolerance} KiB")
    status = 0 if growth <= args.tolerance else 1
    host.stdin.write(b"quit\n")
    host.stdin.close()
    if host.wait(timeout=30) != 0:
        sys.exit(f"soak-sets: camera-host ended with {host.returncode}")
    sys.exit(status)
finally:
    if host.poll() is None:
        host.kill()
    shutil.rmtree(work, ignore_errors=True)
