#!/usr/bin/env python3
"""Opens a line report in headless Chromium with the network off and prints, as JSON, what the
browser saw: console messages and errors, requests that left the disk, scripts and dialogs,
every image (loaded, size, colours drawn), the tables' text, and each linked certificate.

    browse_report.py CHROMIUM REPORT_FOLDER

The browser is driven over its debugging pipe (file descriptors 3 and 4)."""
import json
import os
import pathlib
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time

FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--disable-default-apps", "--disable-extensions", "--no-default-browser-check",
    # The network is off: no name resolves and every connection goes to a closed port.
    "--host-resolver-rules=MAP * ~NOTFOUND", "--proxy-server=127.0.0.1:9",
    # Lets the page read back the pixels of its own images from the disk.
    "--allow-file-access-from-files",
    "--remote-debugging-pipe",
]

PAGE_FACTS = r"""
(() => {
  const colours = (img) => {
    try {
      const c = document.createElement('canvas');
      c.width = img.naturalWidth; c.height = img.naturalHeight;
      const g = c.getContext('2d'); g.drawImage(img, 0, 0);
      const d = g.getImageData(0, 0, c.width, c.height).data;
      const seen = new Set();
      for (let i = 0; i < d.length && seen.size < 64; i += 4 * 7) seen.add((d[i] << 16) | (d[i+1] << 8) | d[i+2]);
      return seen.size;
    } catch (e) { return -1; }
  };
  const tables = {};
  for (const t of document.querySelectorAll('table[id]'))
    tables[t.id] = [...t.rows].slice(1).map(r => [...r.cells].map(c => c.innerText.trim()));
  return JSON.stringify({
    title: document.title,
    text: document.body.innerText,
    scripts: document.scripts.length,
    images: [...document.images].map(i => ({src: i.getAttribute('src'), complete: i.complete,
                                            width: i.naturalWidth, height: i.naturalHeight, colours: colours(i)})),
    links: [...document.querySelectorAll('a[href]')].map(a => ({href: a.href, text: a.innerText})),
    tables: tables,
  });
})()
"""


class Browser:
    def __init__(self, chromium):
        self.profile = tempfile.mkdtemp(prefix="vantrel-chromium-")
        to_r, to_w = os.pipe()
        from_r, from_w = os.pipe()

        def pipes_as_3_and_4():
            high_in, high_out = os.dup(to_r), os.dup(from_w)
            os.dup2(high_in, 3)
            os.dup2(high_out, 4)

        self.process = subprocess.Popen(
            [chromium, *FLAGS, "--user-data-dir=" + self.profile, "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            close_fds=False, preexec_fn=pipes_as_3_and_4)
        os.close(to_r)
        os.close(from_w)
        self.out = os.fdopen(to_w, "wb")
        self.incoming = os.fdopen(from_r, "rb")
        self.messages = queue.Queue()
        self.events = []
        self.next_id = 0
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        buffer = b""
        while True:
            chunk = self.incoming.read1(65536)
            if not chunk:
                self.messages.put(None)
                return
            buffer += chunk
            while b"\0" in buffer:
                message, buffer = buffer.split(b"\0", 1)
                self.messages.put(json.loads(message))

    def _next(self, deadline):
        message = self.messages.get(timeout=max(0.1, deadline - time.time()))
        if message is None:
            raise RuntimeError("the browser closed its pipe")
        return message

    def call(self, method, params=None, session=None, timeout=30):
        self.next_id += 1
        command = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            command["sessionId"] = session
        self.out.write(json.dumps(command).encode() + b"\0")
        self.out.flush()
        deadline = time.time() + timeout
        while True:
            message = self._next(deadline)
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})
            self.events.append(message)

    def wait_for(self, method, timeout=30):
        deadline = time.time() + timeout
        for i, event in enumerate(self.events):
            if event.get("method") == method:
                del self.events[i]
                return event
        while True:
            message = self._next(deadline)
            if message.get("method") == method:
                return message
            self.events.append(message)

    def close(self):
        try:
            self.call("Browser.close", timeout=10)
        except Exception:
            pass
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


def problems_of(events):
    """Console output, errors, dialogs and off-disk requests among the events of a page."""
    seen = []
    for e in events:
        method, params = e.get("method"), e.get("params", {})
        if method == "Runtime.consoleAPICalled":
            seen.append("console." + params.get("type", "") + ": " + json.dumps(params.get("args", [])))
        elif method == "Runtime.exceptionThrown":
            seen.append("exception: " + json.dumps(params.get("exceptionDetails", {})))
        elif method == "Log.entryAdded":
            entry = params.get("entry", {})
            seen.append("log." + entry.get("level", "") + ": " + entry.get("text", "") + " " + entry.get("url", ""))
        elif method == "Page.javascriptDialogOpening":
            seen.append("dialog: " + params.get("message", ""))
        elif method == "Network.requestWillBeSent":
            url = params.get("request", {}).get("url", "")
            if not url.startswith("file:"):
                seen.append("request: " + url)
        elif method == "Network.loadingFailed":
            seen.append("failed load: " + params.get("errorText", ""))
    return seen


def visit(browser, session, url):
    browser.events.clear()
    browser.call("Page.navigate", {"url": url}, session)
    browser.wait_for("Page.loadEventFired")
    facts = json.loads(browser.call("Runtime.evaluate", {"expression": PAGE_FACTS, "returnByValue": True},
                                    session)["result"]["value"])
    # Late messages of the page arrive before an answer to a later command.
    browser.call("Runtime.evaluate", {"expression": "1"}, session)
    facts["problems"] = problems_of(browser.events)
    facts["url"] = url
    return facts


def main():
    chromium, folder = sys.argv[1], sys.argv[2]
    index = (pathlib.Path(folder).resolve() / "index.html").as_uri()
    browser = Browser(chromium)
    try:
        target = browser.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Runtime", "Log", "Page", "Network"):
            browser.call(domain + ".enable", {}, session)
        report = visit(browser, session, index)
        report["certificates"] = [visit(browser, session, link["href"]) for link in report["links"]]
    finally:
        browser.close()
    json.dump(report, sys.stdout, indent=1)
    print()


if __name__ == "__main__":
    main()
