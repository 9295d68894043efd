#!/usr/bin/env bash
# A line with two reference meters, made by the unattended session on one bench of the
# simulated Corvel with the meter emulator: a Fluke 45 in calibration and an HP 34401A whose
# calibration is long overdue. The register and the bench's metrology settings (guard band)
# are written here; the database is <bench folder>/vantrel-records.db.
#   meter_line.sh <bin folder> <bench folder>
# Boards: SN-F1 and SN-F2 calibrated with the Fluke; SN-F3 read by the Fluke at 5.199 V on
# channel 0, inside its window but within U of its upper limit; SN-H1 and SN-H2 measured with
# the overdue HP (the session told to use it); SN-H3 refused with the overdue HP (the session's
# default: nothing measured, exit 1); SN-F1 calibrated again with the overdue HP, which makes
# that its last calibration.
set -uo pipefail
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
bin="$(cd "$1" && pwd)"
b="$2"
# shellcheck source=tests/harness/session-bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/../harness/session-bench.sh"
trap vantrel_stop_meter EXIT

test_bench "$b" 11
cat > "$b/instruments.ini" <<'EOF'
[meter FL-GOOD-1]
model = Fluke 45
asset_tag = LAB-DMM-101
certificate = CAL-F-0101
certificate_date = 2026-01-15
lab = Example Calibration Laboratory
due = 2999-01-15
dcv 0.1 = 0.025% + 6 counts
dcv 0.1 resolution = 0.000001
dcv 0.1 full_scale = 0.099999
dcv 1 = 0.025% + 6 counts
dcv 1 resolution = 0.00001
dcv 1 full_scale = 0.99999
dcv 10 = 0.025% + 6 counts
dcv 10 resolution = 0.0001
dcv 10 full_scale = 9.9999

[meter HP-OLD-7]
model = HP 34401A
asset_tag = LAB-DMM-207
certificate = CAL-H-0207
certificate_date = 2024-05-02
lab = Example Calibration Laboratory
due = 2025-05-02
dcv 0.1 = 0.0050% + 0.0035%
dcv 0.1 resolution = 0.0000001
dcv 0.1 full_scale = 0.12
dcv 1 = 0.0040% + 0.0007%
dcv 1 resolution = 0.000001
dcv 1 full_scale = 1.2
dcv 10 = 0.0035% + 0.0005%
dcv 10 resolution = 0.00001
dcv 10 full_scale = 12
EOF
printf '[metrology]\ninstruments=instruments.ini\ndecision_rule=guard band\nambient_temperature=22.5\n' \
  > "$b/vantrel-records.ini"

meter() { vantrel_start_meter "$b" "$@" || exit 1; }
board() { line_board "$b" "$@"; }

fluke="meter=fluke45 meter_serial=FL-GOOD-1"
hp="meter=hp34401a meter_serial=HP-OLD-7"
meter --meter fluke45
# shellcheck disable=SC2086
board 0 serial=SN-F1 $fluke init interrupt measure free
# shellcheck disable=SC2086
board 0 serial=SN-F2 $fluke init interrupt measure free
meter --meter fluke45 --readings 5.199,2.5,1.25,0.5,0.25
# shellcheck disable=SC2086
board 0 serial=SN-F3 $fluke init interrupt measure free
# The emulated HP 34401A serves one session each.
meter --meter hp34401a
# shellcheck disable=SC2086
board 0 serial=SN-H1 $hp uncalibrated_meter=use init interrupt measure free
meter --meter hp34401a
# shellcheck disable=SC2086
board 0 serial=SN-H2 $hp uncalibrated_meter=use init interrupt measure free
meter --meter hp34401a
# shellcheck disable=SC2086
board 1 serial=SN-H3 $hp init interrupt measure free
grep -q 'Measure References was not started' "$b/out.txt" || { echo "SN-H3: no refusal said" >&2; exit 1; }
meter --meter hp34401a
# shellcheck disable=SC2086
board 0 serial=SN-F1 $hp uncalibrated_meter=use init measure free
exit 0
