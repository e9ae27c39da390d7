#!/usr/bin/env python3
"""The web remote in headless Chromium against camera-host --web and a simulated Sony A7 III.

Usage: web_remote_test.py BUILD_DIR [SCREENSHOT.png]. Exits 77 (skipped) when chromium or
chromedriver is not installed."""
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
build = sys.argv[1]
screenshot = sys.argv[2] if len(sys.argv) > 2 else None
chromium, chromedriver = shutil.which("chromium"), shutil.which("chromedriver")
if not chromium or not chromedriver:
    print("SKIP: chromium and chromedriver are needed (scripts/setup.sh installs them)")
    sys.exit(SKIP)

from selenium import webdriver  # noqa: E402 (python3-selenium; only needed past the skip)
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import Select  # noqa: E402

work = tempfile.mkdtemp(prefix="web-e2e.")
env = dict(os.environ, CAMSIM_STATE_DIR=work + "/sim", HOME=work, ZRLOG_LEVEL="5")  # refusals logged
host_cmd = [build + "/bin/camera-host", "--simulate", "sony-a7m3", "--state-dir", work + "/sim"]


def wait_for(what, check, timeout=10.0):
    end = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.02)


def camsim(*args):
    return subprocess.run([build + "/bin/camsim", *args], env=env, check=True, capture_output=True,
                          text=True).stdout


# Without a token a non-loopback address is refused before anything listens.
refused = subprocess.run(host_cmd + ["--web", "0.0.0.0:0"], env=env, stdin=subprocess.DEVNULL,
                         capture_output=True, text=True, timeout=15)
assert refused.returncode != 0, refused
assert "is not loopback: set token_file or generate_token = yes" in refused.stderr, refused.stderr
assert "camera-web:" not in refused.stdout, refused.stdout

out = open(work + "/host.out", "w+")
host = subprocess.Popen(host_cmd + ["--web", "127.0.0.1:0"], env=env, stdin=subprocess.PIPE, stdout=out,
                        stderr=subprocess.STDOUT)
options = webdriver.ChromeOptions()
options.binary_location = chromium
for a in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
          "--disable-component-update", "--disable-sync", "--no-first-run", "--window-size=900,1200",
          "--user-data-dir=" + work + "/chromium",
          # Other sites' names for this machine: a page elsewhere, and DNS rebinding.
          "--host-resolver-rules=MAP attacker.test 127.0.0.1, MAP rebind.test 127.0.0.1"):
    options.add_argument(a)
driver = webdriver.Chrome(service=Service(chromedriver), options=options)
try:
    url = wait_for("the web remote's address",
                   lambda: re.search(r"camera-web: (http://\S+)", open(work + "/host.out").read()))
    driver.get(url.group(1))
    text = lambda id: driver.find_element(By.ID, id).text  # noqa: E731
    changes = lambda: driver.find_elements(By.CSS_SELECTOR, "#changes li")  # noqa: E731

    # The record: model, state, values and the lists to pick from.
    wait_for("the record", lambda: text("camera-state") == "connected" and text("model") == "Sony A7 III")
    assert text("link") == "live", text("link")
    assert driver.title == "Sony A7 III – Camera remote" and text("value-mode") == "P", driver.title
    assert text("value-iso") == "AUTO" and text("value-shutter") == "1/125", text("settings")
    iso = Select(driver.find_element(By.ID, "pick-iso"))
    assert "1600" in [o.text for o in iso.options] and iso.first_selected_option.text == "AUTO"

    # A pick reaches the camera and the page shows the value the camera confirms.
    camsim("received", "--clear")
    iso.select_by_value("1600")
    wait_for("iso=1600 at the camera", lambda: "iso=1600" in camsim("received"))
    wait_for("the confirmed ISO", lambda: text("value-iso") == "1600")
    assert changes()[0].get_attribute("data-source") == "page", changes()[0].text

    # A change made on the camera shows within a second, without reload.
    start = time.monotonic()
    camsim("change", "iso", "3200")
    wait_for("the camera's ISO in the page", lambda: text("value-iso") == "3200", timeout=1.0)
    print(f"camera change shown after {time.monotonic() - start:.3f} s")
    assert changes()[0].get_attribute("data-source") == "camera", changes()[0].text
    assert "ISO: 1600 → 3200" in changes()[0].text, changes()[0].text

    camsim("unplug")
    wait_for("disconnected", lambda: text("camera-state") == "not connected")
    camsim("replug")
    wait_for("connected again", lambda: text("camera-state") == "connected")

    # A click in the middle of the surface is (960, 540), which the A7 III maps to (240, 320).
    camsim("received", "--clear")
    r = driver.execute_script("const r = document.getElementById('surface').getBoundingClientRect();"
                              "return [r.left, r.top, r.width, r.height].map(Math.round);")
    assert r[2] % 2 == 0 and r[3] % 2 == 0, r
    for kind in ("mousePressed", "mouseReleased"):
        driver.execute_cdp_cmd("Input.dispatchMouseEvent", {"type": kind, "x": r[0] + r[2] // 2,
                               "y": r[1] + r[3] // 2, "button": "left", "clickCount": 1})
    wait_for("the touch at the camera", lambda: "kd_touch_focus=(240, 320)" in camsim("received"))
    assert text("surface-hint") == "Focus point (960, 540)", text("surface-hint")
    # The program, on which the lists depend, follows the camera's dial.
    camsim("change", "expprogram", "M")
    wait_for("the program", lambda: text("value-mode") == "M")
    if screenshot:
        driver.save_screenshot(screenshot)

    # Another site's page posts what a browser sends without asking: nothing reaches the camera.
    # The DNS-rebinding name gets no page.
    target = url.group(1).rstrip("/")
    attack = f"""<form id="f" method="POST" action="{target}/api/set" enctype="text/plain">
<input name='{{"setting":"wb","value":"' value='","value":"Daylight"}}'></form><script>
for (const [path, body] of [["set", '{{"setting":"iso","value":"400"}}'], ["record", '{{"on":true}}']])
  fetch("{target}/api/" + path, {{method: "POST", mode: "no-cors", body}});
setTimeout(() => document.getElementById("f").submit(), 500);</script>"""

    class Attacker(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.end_headers()
            self.wfile.write(attack.encode())

        def log_message(self, *args):
            pass

    site = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Attacker)  # Chromium may preconnect
    threading.Thread(target=site.serve_forever, daemon=True).start()
    camsim("received", "--clear")
    driver.get(f"http://attacker.test:{site.server_port}/")
    wait_for("the three refusals", lambda: len(re.findall(r"POST /api/\w+ from 127\.0\.0\.1: 403",
                                                         open(work + "/host.out").read())) >= 3)
    driver.get(target.replace("127.0.0.1", "rebind.test") + "/api/record")
    assert "is not a name of this server" in driver.page_source, driver.page_source
    site.shutdown()
    assert camsim("received") == "", camsim("received")
    print("1 passed, 0 failed")
finally:
    driver.quit()
    host.communicate(b"quit\n", timeout=15)
    shutil.rmtree(work, ignore_errors=True)
