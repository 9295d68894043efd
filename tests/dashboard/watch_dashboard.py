#!/usr/bin/env python3
"""Opens the live dashboard in headless Chromium (network limited to the loopback), runs a
command that makes records (the unattended session on a simulated bench), samples the page's
DOM all along without reloading it, and then checks what it saw against the records
themselves. Prints a JSON verdict: "failures" lists every broken expectation.

    watch_dashboard.py CHROMIUM URL (--sqlite FILE | --records-cmd CMD) -- COMMAND...

--records-cmd prints the records as JSON: [{serial, model, action, verdict, passed, started,
committed}] with `committed` in seconds since the epoch. For a SQLite file the record's end time stands
for its commit, which can only come later."""
import datetime
import json
import pathlib
import sqlite3
import subprocess
import sys
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "report"))
import browse_report  # noqa: E402
from browse_report import Browser, problems_of  # noqa: E402

# The network stays off but for the loopback, where the dashboard listens.
browse_report.FLAGS = [f for f in browse_report.FLAGS if not f.startswith("--host-resolver-rules")
                       and f != "--allow-file-access-from-files"]
browse_report.FLAGS.append("--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1")

LIMIT_S = 1.0        # a record shows within this long of its commit
SETTLE_S = 3.0       # sampling goes on this long after the command
SAMPLE = r"""
(() => {
  const cells = (id) => [...document.querySelectorAll('#' + id + ' tbody tr')]
      .map(r => [...r.cells].map(c => c.textContent));
  const status = document.getElementById('status').textContent;
  const count = /(\d+) records/.exec(status);
  return JSON.stringify({
    t: Date.now() / 1000,
    marker: window.__kept === true,
    version: document.body.dataset.version || '',
    records: count ? Number(count[1]) : -1,
    tiles: [...document.querySelectorAll('.tile')].map(t => ({
      board: t.querySelector('.board').textContent, action: t.querySelector('.action').textContent})),
    yield: cells('yield'),
    failed: cells('failed'),
    meters: document.getElementById('meters-section').hidden ? null : cells('meters'),
    overdue: [...document.querySelectorAll('#meters tr.overdue')].map(r => r.cells[0].textContent),
    tags: [...new Set([...document.querySelectorAll('*')].map(e => e.localName))],
    attributes: [...new Set([...document.querySelectorAll('*')].flatMap(e => e.getAttributeNames()))],
    images: [...document.images].map(i => ({src: i.getAttribute('src'), width: i.naturalWidth})),
    links: [...document.querySelectorAll('a[href]')].map(a => a.href),
  });
})()
"""
# Tags and attributes the page itself makes; anything else came from a record.
PAGE_TAGS = {"html", "head", "meta", "title", "link", "script", "body", "header", "h1", "p", "main",
             "section", "h2", "div", "table", "thead", "tbody", "tr", "th", "td", "a", "figure", "img",
             "figcaption"}
PAGE_ATTRIBUTES = {"lang", "charset", "name", "content", "rel", "href", "src", "defer", "id", "class",
                   "hidden", "data-version", "data-name", "target", "alt"}


def iso_seconds(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ").replace(
        tzinfo=datetime.timezone.utc).timestamp()


def sqlite_records(path):
    db = sqlite3.connect("file:" + path + "?mode=ro", uri=True)
    rows = db.execute("SELECT serial_number, board_model, action, verdict, passed, started_utc, ended_utc "
                      "FROM records ORDER BY seq").fetchall()
    return [{"serial": s, "model": m, "action": a, "verdict": v, "passed": bool(p), "started": b,
             "committed": iso_seconds(e)} for s, m, a, v, p, b, e in rows]


def tile_text(record):
    board = (record["serial"] or "(no serial number)") + " \u00b7 " + record["model"]
    return board, record["action"] + ": " + record["verdict"]


def first_time(samples, since, test):
    for s in samples:
        if s["t"] >= since and test(s):
            return s["t"]
    return None


def check(samples, records):
    failures, delays = [], []
    # Records committed together keep the order in which they were made.
    records = sorted(records, key=lambda r: (r["committed"], r["started"]))
    texts = [tile_text(r) for r in records]

    def late(what, committed, seen):
        if seen is None:
            failures.append(f"{what}: never shown")
        elif seen - committed > LIMIT_S:
            failures.append(f"{what}: shown {seen - committed:.3f} s after its commit")
        if seen is not None:
            delays.append(seen - committed)

    for i, r in enumerate(records):
        # The bench's tile shows this record or a later one.
        def shows(s, i=i):
            return any(texts[j] == (t["board"], t["action"]) and records[j]["committed"] <= s["t"]
                       for t in s["tiles"] for j in range(i, len(records)))
        late(f"tile of record {i} {texts[i]}", r["committed"], first_time(samples, r["committed"], shows))
        late(f"count of record {i}", r["committed"],
             first_time(samples, r["committed"], lambda s, i=i: s["records"] >= i + 1))
        boards = {x["serial"] for x in records[:i + 1] if x["serial"] and x["model"] == r["model"]}
        if r["serial"]:
            late(f"yield of {r['model']} with {len(boards)} boards", r["committed"],
                 first_time(samples, r["committed"], lambda s, m=r["model"], n=len(boards): any(
                     row[0] == m and int(row[1]) >= n for row in s["yield"])))
        if not r["passed"]:
            late(f"failed board {r['serial']!r}", r["committed"],
                 first_time(samples, r["committed"], lambda s, serial=r["serial"]: any(
                     row[0] == (serial or "(none)") for row in s["failed"])))
    if any(not s["marker"] for s in samples):
        failures.append("the page was reloaded")
    for s in samples:
        for tag in set(s["tags"]) - PAGE_TAGS:
            failures.append(f"an element <{tag}> the page does not make")
        for name in set(s["attributes"]) - PAGE_ATTRIBUTES:
            failures.append(f"an attribute {name} the page does not make")
        for image in s["images"]:
            if not (image["src"] or "").startswith("/chart?"):
                failures.append(f"an image from {image['src']!r}")
    delays.sort()
    return sorted(set(failures)), delays


def main():
    chromium, url = sys.argv[1], sys.argv[2]
    args = sys.argv[3:]
    split = args.index("--")
    options, command = args[:split], args[split + 1:]
    browser = Browser(chromium)
    samples = []
    try:
        target = browser.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Runtime", "Log", "Page", "Network"):
            browser.call(domain + ".enable", {}, session)
        browser.call("Page.navigate", {"url": url}, session)
        browser.wait_for("Page.loadEventFired")
        browser.call("Runtime.evaluate", {"expression": "window.__kept = true"}, session)
        run = subprocess.Popen(command, stdout=sys.stderr)
        ended = None
        while ended is None or time.time() - ended < SETTLE_S:
            samples.append(json.loads(browser.call(
                "Runtime.evaluate", {"expression": SAMPLE, "returnByValue": True}, session)["result"]["value"]))
            if ended is None and run.poll() is not None:
                ended = time.time()
            time.sleep(0.02)
        certificates = []
        for link in sorted(set(samples[-1]["links"]))[:3]:
            browser.call("Page.navigate", {"url": link}, session)
            browser.wait_for("Page.loadEventFired")
            certificates.append(json.loads(browser.call("Runtime.evaluate", {
                "expression": "JSON.stringify({text: document.body.innerText, "
                              "images: document.images.length, scripts: document.scripts.length})",
                "returnByValue": True}, session)["result"]["value"]))
        browser.call("Runtime.evaluate", {"expression": "1"}, session)
        problems = [p for p in problems_of(browser.events) if not p.startswith("request: http://127.0.0.1")]
    finally:
        browser.close()

    records = sqlite_records(options[1]) if options[0] == "--sqlite" else json.loads(
        subprocess.run(options[1], shell=True, check=True, capture_output=True, text=True).stdout or "[]")
    failures, delays = check(samples, records)
    failures += [f"command ended with {run.returncode}"] if run.returncode else []
    failures += problems
    pick = lambda q: round(delays[min(len(delays) - 1, int(q * len(delays)))], 3) if delays else None
    json.dump({"failures": failures, "records": len(records), "samples": len(samples),
               "delay_p50": pick(0.5), "delay_max": pick(1.0), "last": samples[-1] if samples else None,
               "certificates": certificates}, sys.stdout, indent=1)
    print()


if __name__ == "__main__":
    main()
