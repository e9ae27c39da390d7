#!/usr/bin/env python3
"""Figures of the web remote (docs/web.md), on this machine, through camera-host and the
simulated Sony A7 III:

  latency  record-to-client latency with 1 and 32 event streams (web_latency_bench: bus
           publish of 9000 -> SSE event read by the client, beside the bus alone)
  set      POST /api/set -> the event stream's record with the new ISO, beside the same set
           typed into camera-host (its standard input -> the --json record on its output);
           both against one camera-host --web --json process, alternating
  idle     CPU and resident memory of camera-host idle without --web, and with --web and 0, 1
           and 32 event streams open (the web remote's share is the difference)

Usage: bench/web_bench.py [--build DIR] [--quick] [latency] [set] [idle]"""
import argparse
import json
import os
import re
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

ap = argparse.ArgumentParser()
ap.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "build"))
ap.add_argument("--quick", action="store_true", help="few samples: a smoke run, not a measurement")
ap.add_argument("what", nargs="*", default=["latency", "set", "idle"])
args = ap.parse_args()
build = os.path.abspath(args.build)
TICK = os.sysconf("SC_CLK_TCK")


def pct(v, p):
    v = sorted(v)
    return v[min(len(v) - 1, int(p * len(v)))]


class Host:
    """camera-host --simulate sony-a7m3 [--web 127.0.0.1:0] --json."""

    def __init__(self, web):
        self.dir = tempfile.mkdtemp(prefix="web-bench.")
        cmd = [build + "/bin/camera-host", "--simulate", "sony-a7m3", "--state-dir", self.dir, "--json"]
        if web:
            cmd += ["--web", "127.0.0.1:0"]
        self.err = open(self.dir + "/stderr", "w+")
        self.p = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.err,
                                  env=dict(os.environ, ZRLOG_LEVEL="2"))
        self.records = []
        self.cv = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()
        self.url = None
        if web:
            end = time.monotonic() + 10
            while not self.url and time.monotonic() < end:
                m = re.search(r"camera-web: (http://\S+)/", open(self.dir + "/stderr").read())
                self.url = m and m.group(1)
                time.sleep(0.05)
        self.wait(lambda r: r.get("connectState") == 1, 10)

    def _read(self):
        for line in self.p.stdout:
            with self.cv:
                self.records.append((time.monotonic(), json.loads(line)))
                self.cv.notify_all()

    def wait(self, match, timeout=10, after=0.0):
        end = time.monotonic() + timeout
        with self.cv:
            while True:
                for t, r in self.records:
                    if t >= after and match(r):
                        return t
                if not self.cv.wait(end - time.monotonic()):
                    raise TimeoutError("no such record")

    def type(self, line):
        self.p.stdin.write((line + "\n").encode())
        self.p.stdin.flush()

    def cpu_rss(self, seconds):
        def ticks():
            with open(f"/proc/{self.p.pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            return int(fields[11]) + int(fields[12])
        t0, c0 = time.monotonic(), ticks()
        time.sleep(seconds)
        cpu = (ticks() - c0) / TICK / (time.monotonic() - t0) * 100
        rss = int(re.search(r"VmRSS:\s+(\d+)", open(f"/proc/{self.p.pid}/status").read()).group(1))
        return cpu, rss

    def close(self):
        self.p.stdin.close()
        self.p.wait(15)


class Stream:
    """One event-stream client that keeps the records it read, with their times."""

    def __init__(self, url):
        host, port = url.split("//")[1].split(":")
        self.s = socket.create_connection((host, int(port)))
        self.s.sendall(b"GET /api/events HTTP/1.1\r\nHost: x\r\n\r\n")
        self.records = []
        self.cv = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        buf = b""
        while True:
            data = self.s.recv(65536)
            if not data:
                return
            now = time.monotonic()
            buf += data
            for m in re.finditer(rb"data: (\{.*\})\n", buf):
                with self.cv:
                    self.records.append((now, json.loads(m.group(1))))
                    self.cv.notify_all()
            buf = buf[buf.rfind(b"\n\n") + 2:] if b"\n\n" in buf else buf

    wait = Host.wait


def latency():
    n = 100 if args.quick else 1000
    for clients in (1, 32):
        out = subprocess.run([build + "/bin/web_latency_bench", str(clients), str(n), "10"], check=True,
                             capture_output=True, text=True).stdout
        print(f"-- record to client, {clients} stream(s)\n{out}", end="")


def set_round_trip():
    host = Host(web=True)
    stream = Stream(host.url)
    web, typed = [], []
    values = ["800", "1600", "3200"]  # each set differs from the one before
    for i in range(6 if args.quick else 40):
        v = values[(2 * i) % 3]
        t0 = time.monotonic()
        urllib.request.urlopen(urllib.request.Request(host.url + "/api/set", method="POST",
                               data=json.dumps({"setting": "iso", "value": v}).encode())).read()
        web.append((stream.wait(lambda r: r.get("iso") == v, after=t0) - t0) * 1000)
        v = values[(2 * i + 1) % 3]
        t0 = time.monotonic()
        host.type("iso " + v)
        typed.append((host.wait(lambda r: r.get("iso") == v, after=t0) - t0) * 1000)
    host.close()
    print("-- set ISO to the record that confirms it (ms)")
    for label, v in (("POST /api/set -> SSE event", web), ("typed into camera-host", typed)):
        print(f"  {label:28s} p50 {statistics.median(v):7.1f}  p99 {pct(v, .99):7.1f}  "
              f"max {max(v):7.1f}  ({len(v)} sets)")


def idle():
    seconds = 5 if args.quick else 30
    print(f"-- camera-host idle, {seconds} s each: CPU % of one core, VmRSS KiB")
    plain = Host(web=False)
    time.sleep(2)
    cpu, rss = plain.cpu_rss(seconds)
    plain.close()
    print(f"  {'without --web':28s} CPU {cpu:5.2f} %   RSS {rss:6d}")
    host = Host(web=True)
    streams = []
    for clients in (0, 1, 32):
        while len(streams) < clients:
            streams.append(Stream(host.url))
        time.sleep(2)
        c, r = host.cpu_rss(seconds)
        print(f"  {'--web, %d stream(s)' % clients:28s} CPU {c:5.2f} %   RSS {r:6d}   "
              f"(web remote: CPU {c - cpu:+5.2f} %, RSS {r - rss:+6d})")
    host.close()


print(f"web remote figures, {time.strftime('%Y-%m-%d %H:%M %Z')}, {os.uname().nodename} "
      f"({os.cpu_count()} cores)")
for what in args.what:
    {"latency": latency, "set": set_round_trip, "idle": idle}[what]()
