#!/usr/bin/env python3
"""Takes a picture of a live page in headless Chromium, network limited to the loopback, once
its event stream has filled it and its images have loaded.

    screenshot_page.py CHROMIUM URL PNG [WIDTH]"""
import base64
import pathlib
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from watch_dashboard import Browser  # noqa: E402  (also limits the network to the loopback)

READY = "document.body.dataset.version && [...document.images].every(i => i.complete && i.naturalWidth > 0)"


def main():
    chromium, url, png = sys.argv[1:4]
    width = int(sys.argv[4]) if len(sys.argv) > 4 else 1280
    browser = Browser(chromium)
    try:
        target = browser.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        browser.call("Page.enable", {}, session)
        browser.call("Emulation.setDeviceMetricsOverride",
                     {"width": width, "height": 900, "deviceScaleFactor": 1, "mobile": False}, session)
        browser.call("Page.navigate", {"url": url}, session)
        browser.wait_for("Page.loadEventFired")
        for _ in range(100):
            if browser.call("Runtime.evaluate", {"expression": READY, "returnByValue": True},
                            session)["result"].get("value"):
                break
            time.sleep(0.1)
        height = browser.call("Runtime.evaluate", {"expression": "document.documentElement.scrollHeight",
                                                   "returnByValue": True}, session)["result"]["value"]
        shot = browser.call("Page.captureScreenshot", {
            "format": "png", "captureBeyondViewport": True,
            "clip": {"x": 0, "y": 0, "width": width, "height": height, "scale": 1}}, session)
        pathlib.Path(png).write_bytes(base64.b64decode(shot["data"]))
    finally:
        browser.close()


if __name__ == "__main__":
    main()
