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
mkdir -p "$b"
meter_pid=""
cleanup() { [ -n "$meter_pid" ] && kill "$meter_pid" 2>/dev/null && wait "$meter_pid" 2>/dev/null; }
trap cleanup EXIT

bench() {
  printf 'BASEADD=300\r\nINTERRUPT=7\r\nVOLTMETER=0\r\nBOARDTYPE=27\r\n' > "$b/Vantrel.ini"
  printf 'model = 27\nbase = 0x300\nirq = 7\ntime_scale = 0.01\nseed = 11\n' > "$b/bench.ini"
  for line in "$@"; do printf '%s\n' "$line" >> "$b/bench.ini"; done
  echo 20000 > "$b/hertz.cfg"
}

meter() {
  [ -n "$meter_pid" ] && kill "$meter_pid" 2>/dev/null && wait "$meter_pid" 2>/dev/null
  rm -f "$b/metersim.out"
  "$bin/vantrel-metersim" --dir "$b" --meter fluke45 "$@" > "$b/metersim.out" 2>&1 &
  meter_pid=$!
  for _ in $(seq 1 100); do
    grep -q '^ready ' "$b/metersim.out" && return 0
    sleep 0.05
  done
  echo "the meter emulator did not get ready: $(cat "$b/metersim.out")" >&2
  exit 1
}

# One board through the session; its expected exit status first. Each board starts from the
# factory EEPROM image.
board() {
  local want="$1"; shift
  rm -f "$b/bqxsim-eeprom.bin"
  (cd "$b" && "$bin/vantrel-session" "$@" > out.txt 2> err.txt)
  local got=$?
  if [ "$got" -ne "$want" ]; then
    echo "session $* ended with $got, expected $want:" >&2
    tail -30 "$b/out.txt" "$b/err.txt" >&2
    exit 1
  fi
}

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
