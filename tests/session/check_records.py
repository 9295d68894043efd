#!/usr/bin/env python3
"""Reads the production records a session left in a bench folder, with Python's own sqlite3,
json and csv modules (not the tool's records code), and checks them against what the
session did. Exits 1 with one line per mismatch.

  check_records.py session DB SERIAL FOLDER     a whole session of every button
  check_records.py measure DB OUTCOME [AS-FOUND] [AS-LEFT]
                                                the last Measure References record
  check_records.py serials DB JSON CSV SERIAL...  hostile serial numbers stored and exported
  check_records.py intact DB IDS-FILE MIN-NEW     a database after a killed tool
"""
import csv
import json
import re
import sqlite3
import sys

problems = []


def check(condition, what):
    if not condition:
        problems.append(what)


def close(a, b):
    return a is not None and b is not None and abs(a - b) < 1e-5


def open_db(path):
    db = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    db.row_factory = sqlite3.Row
    return db


def channels(db, seq):
    return db.execute("SELECT * FROM channel_figures WHERE record_seq = ? ORDER BY channel", (seq,)).fetchall()


def floats(text):
    return [float(v) if v != "-" else None for v in text.split(",")] if text else []


def session(path, serial, folder):
    db = open_db(path)
    rows = db.execute("SELECT * FROM records ORDER BY seq").fetchall()
    actions = [r["action"] for r in rows]
    check(actions == ["initialize", "interrupt", "measure", "eeprom-write", "sample", "free"],
          f"actions recorded: {actions}")
    iso = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
    uuid = re.compile(r"^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")
    check(len({r["id"] for r in rows}) == len(rows), "record ids repeat")
    for r in rows:
        what = r["action"]
        check(uuid.match(r["id"]) is not None, f"{what}: id {r['id']} is no version-4 UUID")
        check(r["serial_number"] == serial, f"{what}: serial {r['serial_number']!r}")
        check((r["board_model"], r["type_code"], r["base_address"], r["interrupt_level"]) == ("Corvel", 27, 0x300, 7),
              f"{what}: board {r['board_model']} {r['type_code']} {r['base_address']} {r['interrupt_level']}")
        check(r["fpga_revision"] is not None, f"{what}: no FPGA revision")
        check(r["bench_folder"] == folder, f"{what}: bench folder {r['bench_folder']}")
        check(r["driver_version"] == "6.02", f"{what}: driver version {r['driver_version']}")
        check(iso.match(r["started_utc"]) and iso.match(r["ended_utc"]) and r["started_utc"] <= r["ended_utc"],
              f"{what}: times {r['started_utc']} .. {r['ended_utc']}")
    if problems:
        return
    init, interrupt, measure, write, sample, free = rows
    check(init["verdict"] == "SUCCESS" and init["passed"] == 1, f"initialize verdict {init['verdict']}")
    check("bqxInitBoard: Board Initialized without error." in init["console_text"], "initialize console text")
    check("FPGA Revision Code Read: 0x%X" % init["fpga_revision"] in init["console_text"],
          "the FPGA revision differs from the console's")

    figures = db.execute("SELECT * FROM interrupt_figures WHERE record_seq = ?", (interrupt["seq"],)).fetchone()
    check(figures is not None, "interrupt test without figures")
    if figures:
        shown = re.search(r"Expected time: (\d+) ms", interrupt["console_text"])
        check(shown and int(shown.group(1)) == figures["expected_ms"],
              f"expected time {figures['expected_ms']} ms, console: {shown and shown.group(0)}")
        check(figures["rate_hz"] == 20000, f"rate {figures['rate_hz']} Hz")
        check(figures["measured_ms"] > 0 and figures["overflows"] == 0 and figures["error_count"] == 0,
              f"interrupt figures {dict(figures)}")
        check(figures["timeout_tolerance_ms"] > 0 and figures["time_tolerance_ms"] > 0 and figures["ad_tolerance_lsb"] > 0,
              f"interrupt tolerances {dict(figures)}")
    check(interrupt["verdict"] == "SUCCESS" and interrupt["passed"] == 1, f"interrupt verdict {interrupt['verdict']}")

    check(measure["outcome"] == "written" and measure["meter_model"] == "Fluke 45",
          f"measure outcome {measure['outcome']} meter {measure['meter_model']}")
    measured = channels(db, measure["seq"])
    check(len(measured) == 7, f"measure channels: {len(measured)}, the Corvel holds 7 references")
    for c in measured[:5]:
        check(c["verdict"] == "pass" and c["window_low"] <= c["reading"] <= c["window_high"],
              f"channel {c['channel']}: {c['reading']} in {c['window_low']}..{c['window_high']} {c['verdict']}")
        check(close(c["eeprom_written"], c["reading"]), f"channel {c['channel']}: as left {c['eeprom_written']}")
    for c in measured[5:]:
        check(c["reading"] is None and close(c["eeprom_written"], c["eeprom_before"]),
              f"channel {c['channel']} beyond the edits: as found {c['eeprom_before']} as left {c['eeprom_written']}")
    written = channels(db, write["seq"])
    check([(c["eeprom_before"], c["eeprom_written"]) for c in written] ==
          [(c["eeprom_before"], c["eeprom_written"]) for c in measured],
          "the EEPROM write's as found / as left differ from the measure's")
    check(write["verdict"] == "stored" and write["passed"] == 1, f"EEPROM write verdict {write['verdict']}")

    codes = {int(ch): int(code) for ch, code in re.findall(r"Channel (\d+), AD Code (-?\d+)", sample["console_text"])}
    recorded = {c["channel"]: c["code"] for c in channels(db, sample["seq"])}
    check(codes and recorded == codes, f"sample codes {recorded} differ from the console's {codes}")
    check(free["verdict"] == "Board freed." and "Board freed." in free["console_text"], "free board record")


def measure(path, outcome, as_found=None, as_left=None):
    db = open_db(path)
    r = db.execute("SELECT * FROM records WHERE action = 'measure' ORDER BY seq DESC LIMIT 1").fetchone()
    check(r is not None, "no Measure References record")
    if r is None:
        return
    check(r["outcome"] == outcome, f"outcome {r['outcome']!r}, expected {outcome!r}")
    check(r["passed"] == (1 if outcome in ("written", "kept") else 0), f"passed {r['passed']} for {outcome}")
    rows = channels(db, r["seq"])
    found = [c["eeprom_before"] for c in rows]
    left = [c["eeprom_written"] for c in rows]
    for i, want in enumerate(floats(as_found or "")):
        check(i < len(found) and (close(found[i], want) if want is not None else found[i] is None),
              f"channel {i}: as found {found[i] if i < len(found) else '-'}, expected {want}")
    if as_left == "none":
        check(all(v is None for v in left), f"as left {left}, expected nothing written")
    for i, want in enumerate(floats(as_left if as_left != "none" else "")):
        check(i < len(left) and close(left[i], want), f"channel {i}: as left {left[i] if i < len(left) else '-'}, expected {want}")
    writes = db.execute("SELECT outcome FROM records WHERE action = 'eeprom-write' AND started_utc = ?",
                        (r["started_utc"],)).fetchall()
    wrote = outcome in ("written", "write failed")
    check(len(writes) == (1 if wrote else 0), f"{len(writes)} EEPROM write records for {outcome}")
    # The printable view for the next session's comparison.
    print(",".join("-" if v is None else repr(v) for v in found))


def serials(path, json_path, csv_path, *wanted):
    db = open_db(path)
    stored = [r[0] for r in db.execute("SELECT DISTINCT serial_number FROM records ORDER BY seq")]
    check(stored == list(wanted), f"stored serials {stored!r}")
    check(db.execute("SELECT count(*) FROM sqlite_master WHERE name = 'records'").fetchone()[0] == 1, "records table gone")
    with open(json_path, encoding="utf-8") as f:
        exported = json.load(f)["records"]
    check(sorted({r["board"]["serial_number"] for r in exported}) == sorted(wanted),
          f"JSON serials {sorted({r['board']['serial_number'] for r in exported})!r}")
    with open(csv_path, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    cells = {r["serial_number"] for r in rows}
    for serial in wanted:
        inert = "'" + serial if serial[:1] in ("=", "+", "-", "@") else serial
        check(inert in cells, f"CSV lacks the cell {inert!r}: {sorted(cells)!r}")
    check(not any(c[:1] in ("=", "+", "-", "@") for c in cells), "a CSV cell starts like a formula")


def intact(path, ids_path, min_new):
    db = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    check(db.execute("PRAGMA integrity_check").fetchone()[0] == "ok", "integrity check fails")
    with open(ids_path, encoding="utf-8") as f:
        earlier = {line.strip() for line in f if line.strip()}
    # A kill between the file's creation and its first schema leaves a file without tables,
    # which the next start makes; that is intact only while nothing was recorded.
    tables = {r[0] for r in db.execute("SELECT name FROM sqlite_master WHERE type = 'table'")}
    if "records" not in tables:
        check(not earlier and int(min_new) == 0, f"no records table, with {len(earlier)} earlier and {min_new} new records")
        return
    ids = {r[0] for r in db.execute("SELECT id FROM records")}
    check(earlier <= ids, f"{len(earlier - ids)} earlier records are gone")
    check(len(ids) - len(earlier) >= int(min_new), f"{len(ids) - len(earlier)} new records, at least {min_new} were done")
    with open(ids_path, "w", encoding="utf-8") as f:
        f.write("".join(i + "\n" for i in sorted(ids)))


commands = {"session": session, "measure": measure, "serials": serials, "intact": intact}
if len(sys.argv) < 3 or sys.argv[1] not in commands:
    sys.exit(__doc__)
commands[sys.argv[1]](*sys.argv[2:])
for p in problems:
    print("records:", p, file=sys.stderr)
sys.exit(1 if problems else 0)
