#!/usr/bin/env bash
# Regenerates the certificate and report pictures of the operator guide (docs/images/) from a
# seeded simulated line: its records are written into a fresh database, then vantrel-records
# makes a certificate (its PDF drawn as PNG by pdftoppm) and the line report, whose plots are
# copied as they are.
#   scripts/report-pictures.sh
# Builds what is missing, or takes the programs from VANTREL_BIN.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=scripts/lib/bench-folder.sh
source "$root/scripts/lib/bench-folder.sh"
images="$root/docs/images"
mkdir -p "$images"

vantrel_programs vantrel-records report_line_db

work="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-report-pictures.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen TZ=UTC
# Fourteen boards over three days, seed 7: the line of the tests.
"$bin/report_line_db" "$work/line.db" 14 7 3
records() { "$bin/vantrel-records" --db "$work/line.db" "$@"; }
# The bench's register of reference meters, so that the certificate states an uncertainty and
# its conformity: the line's records name no meter, so it takes the register's only Fluke 45.
vantrel_example_register "$work/instruments.ini"
printf '[metrology]\ninstruments = instruments.ini\n' >"$work/vantrel-records.ini"

records certificate --out "$work/certificate" SN-Corvel-00003
pdftoppm -png -r 80 -singlefile "$work/certificate.pdf" "$images/certificate"
records certificate --out "$work/kept" SN-Harlun-00004
pdftoppm -png -r 80 -singlefile -x 90 -y 80 -W 480 -H 300 "$work/kept.pdf" "$images/certificate-not-calibrated"

records report --from 2026-12-01 --to 2026-12-03 "$work/report"
cp "$work/report/plots/readings-1.png" "$images/report-readings.png"
cp "$work/report/plots/interrupt.png" "$images/report-interrupt.png"
cp "$work/report/plots/yield-1.png" "$images/report-yield.png"
echo "Pictures written to $images"
