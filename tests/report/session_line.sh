#!/usr/bin/env bash
# A small production line made by the unattended session: boards tested one after another on
# one bench of the simulated Corvel with the meter emulator, all recorded in one database.
#   session_line.sh <bin folder> <bench folder>
# Boards: SN-S1 and SN-S2 calibrated (measure, Use); SN-S3 fails the interrupt test (a FIFO
# overflow) and is not measured; SN-S4 keeps its EEPROM values; SN-S5 reads out of tolerance;
# the hostile serial number fails the interrupt test, then passes and is calibrated. The bench
# is seeded, so the same line comes back. The database is <bench folder>/vantrel-records.db.
set -uo pipefail
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
bin="$(cd "$1" && pwd)"
b="$2"
# shellcheck source=tests/harness/session-bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/../harness/session-bench.sh"
trap vantrel_stop_meter EXIT

bench() { test_bench "$b" 11 "$@"; }
meter() { vantrel_start_meter "$b" --meter fluke45 "$@" || exit 1; }
board() { line_board "$b" "$@"; }

hostile='<img src=x onerror=alert(1)>'
bench; meter
board 0 serial=SN-S1 init interrupt measure free
board 0 serial=SN-S2 init interrupt measure free
bench "scan_overflows = 1"
board 1 "serial=$hostile" init interrupt free
board 1 serial=SN-S3 init interrupt free
bench
board 0 "serial=$hostile" init interrupt measure free
board 0 serial=SN-S4 init interrupt measure=keep free
meter --readings 5.3
board 1 serial=SN-S5 init interrupt measure free
exit 0
