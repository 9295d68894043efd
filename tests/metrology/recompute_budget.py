#!/usr/bin/env python3
"""Recomputes reference-value uncertainty budgets from a register of reference meters,
independently of the tool: the register is read with configparser, single precision with
struct, and every figure is worked out here from the register's text.

    recompute_budget.py REGISTER < readings.json > budgets.json

readings.json: [{"serial": "4571234", "reading": 4.9962}, ...]
budgets.json:  one object per reading: range, terms (name, half_width, divisor, u),
               combined, expanded; or {"range": null} when no range shows the reading.
"""
import configparser
import json
import math
import re
import struct
import sys

COVERAGE = 2.0
SHOWN_STEP = 1e-6          # the window shows six decimals
FLOAT_SIGNIFICAND_BITS = 24


def read_register(path):
    parser = configparser.RawConfigParser(interpolation=None)
    with open(path, encoding="utf-8") as f:
        parser.read_file(f)
    meters = {}
    for section in parser.sections():
        serial = section.split(" ", 1)[1].strip()
        ranges = {}
        for key, value in parser.items(section):
            m = re.fullmatch(r"dcv (\S+)( resolution| full_scale)?", key)
            if not m:
                continue
            entry = ranges.setdefault(float(m.group(1)), {"range": float(m.group(1))})
            if m.group(2) is None:
                entry.update(parse_accuracy(value))
            else:
                entry[m.group(2).strip()] = float(value)
        meters[serial] = sorted(ranges.values(), key=lambda r: r["range"])
    return meters


def parse_accuracy(text):
    m = re.fullmatch(r"\s*([0-9.]+)%\s*\+\s*([0-9.]+)\s*(%|counts?)\s*", text)
    if not m:
        raise ValueError("accuracy not understood: " + text)
    reading = float(m.group(1))
    if m.group(3) == "%":
        return {"pct_reading": reading, "pct_range": float(m.group(2)), "counts": 0}
    return {"pct_reading": reading, "pct_range": 0.0, "counts": int(m.group(2))}


def half_float_spacing(volts):
    as_float = struct.unpack("<f", struct.pack("<f", abs(volts)))[0]
    if as_float == 0.0:
        return 2.0 ** -150  # half the smallest subnormal
    _, exponent = math.frexp(as_float)
    return 2.0 ** (exponent - FLOAT_SIGNIFICAND_BITS) / 2.0


def budget(ranges, reading):
    magnitude = abs(reading)
    chosen = next((r for r in ranges if magnitude <= r["full_scale"]), None)
    if chosen is None:
        return {"range": None}
    accuracy = (chosen["pct_reading"] * magnitude + chosen["pct_range"] * chosen["range"]) / 100.0 \
        + chosen["counts"] * chosen["resolution"]
    halves = [
        ("meter accuracy", accuracy),
        ("meter resolution", chosen["resolution"] / 2.0),
        ("value shown with six decimals", SHOWN_STEP / 2.0),
        ("value stored in single precision", half_float_spacing(reading)),
    ]
    divisor = math.sqrt(3.0)  # rectangular
    terms = [{"name": n, "half_width": a, "divisor": divisor, "u": a / divisor} for n, a in halves]
    combined = math.sqrt(sum(t["u"] ** 2 for t in terms))
    return {"range": chosen["range"], "terms": terms, "combined": combined, "expanded": COVERAGE * combined}


def main():
    meters = read_register(sys.argv[1])
    readings = json.load(sys.stdin)
    json.dump([budget(meters[r["serial"]], r["reading"]) for r in readings], sys.stdout, indent=1)


if __name__ == "__main__":
    main()
