#!/usr/bin/env python3
"""Recomputes reference-value uncertainty budgets from a register of reference meters,
independently of the tool: the register is read with configparser, single precision with
struct, and every figure is worked out here from the register's text.

    recompute_budget.py REGISTER < readings.json > budgets.json

readings.json: [{"serial": "4571234", "reading": 4.9962}, ...]; an "ambient" in degrees Celsius
               outside 18 to 28 adds the range's temperature coefficient ("dcv R tempco")
               times the degrees outside, as one more rectangular term.
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
FIGURES_BAND = (18.0, 28.0)  # degrees Celsius the accuracy figures hold for


def read_register(path):
    parser = configparser.RawConfigParser(interpolation=None)
    with open(path, encoding="utf-8") as f:
        parser.read_file(f)
    meters = {}
    for section in parser.sections():
        serial = section.split(" ", 1)[1].strip()
        ranges = {}
        for key, value in parser.items(section):
            m = re.fullmatch(r"dcv (\S+)( resolution| full_scale| tempco)?", key)
            if not m:
                continue
            entry = ranges.setdefault(float(m.group(1)), {"range": float(m.group(1))})
            if m.group(2) is None:
                entry.update(parse_accuracy(value))
            elif m.group(2) == " tempco":
                entry["tempco"] = parse_accuracy(value, whole_counts=False)
            else:
                entry[m.group(2).strip()] = float(value)
        meters[serial] = sorted(ranges.values(), key=lambda r: r["range"])
    return meters


def parse_accuracy(text, whole_counts=True):
    m = re.fullmatch(r"\s*([0-9.]+)%\s*\+\s*([0-9.]+)\s*(%|counts?)\s*", text)
    if not m:
        raise ValueError("accuracy not understood: " + text)
    reading = float(m.group(1))
    if m.group(3) == "%":
        return {"pct_reading": reading, "pct_range": float(m.group(2)), "counts": 0}
    counts = int(m.group(2)) if whole_counts else float(m.group(2))
    return {"pct_reading": reading, "pct_range": 0.0, "counts": counts}


def half_float_spacing(volts):
    as_float = struct.unpack("<f", struct.pack("<f", abs(volts)))[0]
    if as_float == 0.0:
        return 2.0 ** -150  # half the smallest subnormal
    _, exponent = math.frexp(as_float)
    return 2.0 ** (exponent - FLOAT_SIGNIFICAND_BITS) / 2.0


def figure_half_width(figure, magnitude, chosen):
    return (figure["pct_reading"] * magnitude + figure["pct_range"] * chosen["range"]) / 100.0 \
        + figure["counts"] * chosen["resolution"]


def degrees_outside(ambient):
    if ambient is None:
        return 0.0
    low, high = FIGURES_BAND
    return low - ambient if ambient < low else ambient - high if ambient > high else 0.0


def budget(ranges, reading, ambient=None):
    magnitude = abs(reading)
    chosen = next((r for r in ranges if magnitude <= r["full_scale"]), None)
    if chosen is None:
        return {"range": None}
    accuracy = figure_half_width(chosen, magnitude, chosen)
    halves = [
        ("meter accuracy", accuracy),
        ("meter resolution", chosen["resolution"] / 2.0),
        ("value shown with six decimals", SHOWN_STEP / 2.0),
        ("value stored in single precision", half_float_spacing(reading)),
    ]
    outside = degrees_outside(ambient)
    if outside > 0.0 and "tempco" in chosen:
        halves.append(("meter temperature coefficient", outside * figure_half_width(chosen["tempco"], magnitude, chosen)))
    divisor = math.sqrt(3.0)  # rectangular
    terms = [{"name": n, "half_width": a, "divisor": divisor, "u": a / divisor} for n, a in halves]
    combined = math.sqrt(sum(t["u"] ** 2 for t in terms))
    return {"range": chosen["range"], "terms": terms, "combined": combined, "expanded": COVERAGE * combined}


def main():
    meters = read_register(sys.argv[1])
    readings = json.load(sys.stdin)
    json.dump([budget(meters[r["serial"]], r["reading"], r.get("ambient")) for r in readings], sys.stdout, indent=1)


if __name__ == "__main__":
    main()
