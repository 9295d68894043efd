#!/usr/bin/env bash
# End-to-end cases of the unattended session and of the run command's unattended path, on
# the simulated board with the meter emulator, each in a scratch bench folder.
#   session_e2e.sh <case> <bin folder> <source folder>
set -uo pipefail
case_name="$1"
bin="$(cd "$2" && pwd)"
source_dir="$(cd "$3" && pwd)"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-session-test.XXXXXX")"
meter_pid=""
mounted=""
cleanup() {
  [ -n "$meter_pid" ] && kill "$meter_pid" 2>/dev/null && wait "$meter_pid" 2>/dev/null
  [ -n "$mounted" ] && umount -l "$mounted"
  rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_status() { [ "$2" -eq "$1" ] || fail "exit status $2, expected $1"; }
expect_text() { grep -qF -- "$2" "$1" || fail "$(basename "$1") lacks: $2"; }
expect_no_text() { ! grep -qF -- "$2" "$1" || fail "$(basename "$1") holds: $2"; }

# A bench of the simulated Corvel with short settle waits and a short interrupt scan.
make_bench() {
  local dir="$1"; shift
  mkdir -p "$dir"
  printf 'BASEADD=300\r\nINTERRUPT=7\r\nVOLTMETER=0\r\nBOARDTYPE=27\r\n' > "$dir/Vantrel.ini"
  printf 'model = 27\nbase = 0x300\nirq = 7\ntime_scale = 0.01\nseed = 7\n' > "$dir/bench.ini"
  for line in "$@"; do printf '%s\n' "$line" >> "$dir/bench.ini"; done
  echo 20000 > "$dir/hertz.cfg"
}

start_meter() {
  local dir="$1"; shift
  "$bin/vantrel-metersim" --dir "$dir" "$@" > "$dir/metersim.out" 2>&1 &
  meter_pid=$!
  for _ in $(seq 1 100); do
    grep -q '^ready ' "$dir/metersim.out" && return 0
    sleep 0.05
  done
  fail "the meter emulator did not get ready: $(cat "$dir/metersim.out")"
  return 1
}

# Runs the session in the bench folder; its transcript goes to <dir>/out.txt.
run_session() {
  local dir="$1"; shift
  (cd "$dir" && "$bin/vantrel-session" "$@" > out.txt 2> err.txt)
}

every_button=(init interrupt measure eeprom registers sample savelog free quit)

case "$case_name" in
passing-bench)
  b="$scratch/bench"; make_bench "$b"; start_meter "$b" --meter fluke45 || exit 1
  run_session "$b" --color=always shot=pictures/start.png init interrupt shot=pictures/interrupt.png \
    measure-shot=pictures/measure.png "${every_button[@]:2}"
  expect_status 0 $?
  o="$b/out.txt"
  expect_text "$o" "Orvane Driver version 6.02 initialized..."
  expect_text "$o" "> Initialize Board: SUCCESS"
  expect_text "$o" $'\033[32mSUCCESS\n'
  expect_text "$o" "> Interrupt Test: SUCCESS"
  expect_text "$o" '+-- message box "Instructions"'
  expect_text "$o" "The voltmeter is being automatically read."
  expect_text "$o" '> press "Use Above Specified Values"'
  expect_text "$o" "EEPROM Dump:"
  expect_text "$o" "Register dump:"
  expect_text "$o" "Channel 31, AD Code"
  expect_text "$o" "Board freed."
  expect_text "$o" "Session PASSED"
  expect_no_text "$o" "FAILED"
  # The measured values are the true references of the simulated board, within the meter's
  # resolution.
  grep -qE '^.*user references: \[4\.99[0-9]+\] \[2\.49[0-9]+\] \[1\.24[0-9]+\] \[0\.62[0-9]+\] \[0\.000[0-9]+\]' "$o" ||
    fail "the measured references are not the simulated board's: $(grep 'user references' "$o")"
  head -c 5 "$b/log.rtf" | grep -q '{\\rtf' || fail "log.rtf is not an RTF document"
  for p in start interrupt measure; do
    [ "$(head -c 8 "$b/pictures/$p.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] ||
      fail "pictures/$p.png is not a PNG file"
  done
  ;;

failing-interrupt)
  b="$scratch/bench"; make_bench "$b" "scan_overflows = 1"; start_meter "$b" --meter fluke45 || exit 1
  run_session "$b" --color=always "${every_button[@]}"
  expect_status 1 $?
  o="$b/out.txt"
  expect_text "$o" $'\033[31mFIFO overflows: 1\n'
  expect_text "$o" "> Interrupt Test: FAILED"
  expect_text "$o" "Session FAILED:"
  expect_text "$o" "  Interrupt Test FAILED"
  # The rest of the run still happens.
  expect_text "$o" "Board freed."
  ;;

failing-measure)
  b="$scratch/bench"; make_bench "$b"; start_meter "$b" --meter fluke45 --readings 5.3 || exit 1
  run_session "$b" --color=never init measure savelog
  expect_status 1 $?
  o="$b/out.txt"
  expect_text "$o" '+-- message box "ERROR"'
  expect_text "$o" "| Got 5.300000V, exceeds tolerance of 5.2-4.5 V"
  expect_text "$o" '+-- message box "NOTICE"'
  expect_text "$o" "measure: message box \"ERROR\": Got 5.300000V"
  expect_no_text "$o" $'\033['
  ;;

silent-meter)
  b="$scratch/bench"; make_bench "$b"; start_meter "$b" --meter fluke45 --fault silent || exit 1
  run_session "$b" init measure
  expect_status 1 $?
  expect_text "$b/out.txt" "| There was an Error with Reading the meter"
  expect_text "$b/out.txt" "Error Communicating with Meter"
  ;;

failing-init)
  b="$scratch/bench"; make_bench "$b" "fail_init_board = 5"
  run_session "$b" init interrupt
  expect_status 1 $?
  o="$b/out.txt"
  expect_text "$o" "bqxInitBoard failed; BQXDRV error number returned: 5."
  expect_text "$o" "  Initialize Board FAILED"
  expect_text "$o" '  "Interrupt Test" could not be pressed: it is disabled'
  ;;

typed-values)
  # With meter "None" the operator types the references; a second look shows them in EEPROM.
  # A Harlun away from its default address and level: the typed ones must reach the driver.
  b="$scratch/bench"; make_bench "$b"
  sed -i 's/^model = 27/model = 20/; s/^base = 0x300/base = 0x250/; s/^irq = 7/irq = 10/' "$b/bench.ini"
  run_session "$b" board=Harlun base=250 irq=10 init meter=none values=4.75,2.25,1.125,0.5 measure \
    measure=keep close
  expect_status 0 $?
  o="$b/out.txt"
  expect_text "$o" '> choose "Harlun" in the board list'
  expect_text "$o" "> Initialize Board: SUCCESS"
  expect_no_text "$o" '"Instructions"'
  expect_text "$o" "user references: [4.75] [2.25] [1.125] [0.5] [0]"
  expect_text "$o" ">   Ch 0:	4.750000"
  expect_text "$o" ">   Ch 3:	0.500000"
  expect_text "$o" '> press "Keep Initial EEPROM Values"'
  expect_text "$o" "> close the window"
  expect_text "$o" "Session PASSED"
  ;;

eeprom-not-stored)
  # The EEPROM image on a read-only file system: the typed references cannot be stored, the
  # operator is told so, and the session fails.
  b="$scratch/bench"; make_bench "$b" "eeprom = $b/ro/eeprom.bin"
  mkdir -p "$b/ro"
  mount -t tmpfs -o ro,size=64k tmpfs "$b/ro" 2>/dev/null || { echo "cannot mount a tmpfs: skipped"; exit 77; }
  mounted="$b/ro"
  run_session "$b" init meter=none values=4.75,2.25,1.125,0.5,0.25 measure
  expect_status 1 $?
  o="$b/out.txt"
  expect_text "$o" '+-- message box "ERROR"'
  expect_text "$o" "| The references were NOT stored in the board's EEPROM (driver error 10)."
  expect_text "$o" "Session FAILED:"
  expect_no_text "$o" "Session PASSED"
  ;;

bad-command-line)
  (cd "$scratch" && "$bin/vantrel-session" init frobnicate > out.txt 2> err.txt)
  expect_status 2 $?
  [ "$(cat "$scratch/err.txt")" = "vantrel-session: unknown action frobnicate (see vantrel-session --help)" ] ||
    fail "a bad command line is not reported in one line: $(cat "$scratch/err.txt")"
  [ ! -s "$scratch/out.txt" ] || fail "the session started despite the bad command line"
  ;;

run-command)
  # The quick-start command without a display: fresh bench folder, real waits.
  b="$scratch/fresh"
  (env -u DISPLAY -u WAYLAND_DISPLAY VANTREL_BIN="$bin" VANTREL_BENCH="$b" \
     "$source_dir/scripts/run.sh" > "$scratch/out.txt" 2> "$scratch/err.txt")
  expect_status 0 $?
  o="$scratch/out.txt"
  expect_text "$o" "Unattended session: init interrupt measure eeprom registers sample savelog free quit"
  expect_text "$o" "Session PASSED"
  expect_text "$o" "Expected time: 2560 ms"
  [ "$(cat "$b/Vantrel.ini")" = $'BASEADD=300\r\nINTERRUPT=7\r\nVOLTMETER=0\r\nBOARDTYPE=27\r' ] ||
    fail "Vantrel.ini is not the simulated board's"
  expect_text "$b/bench.ini" "model = 27"
  [ -f "$b/log.rtf" ] || fail "log.rtf was not written"
  [ ! -e "$b/COM1" ] && [ ! -L "$b/COM1" ] || fail "COM1 still links to a meter after the run"
  ! pgrep -f -- "--dir $b" > /dev/null || fail "the meter emulator still runs after the run"
  ;;

run-command-failing)
  # The run command passes the session's verdict on; the operator's bench files are kept.
  b="$scratch/bench"; make_bench "$b" "scan_overflows = 2"
  (env -u DISPLAY -u WAYLAND_DISPLAY VANTREL_BIN="$bin" VANTREL_BENCH="$b" \
     "$source_dir/scripts/run.sh" --session init interrupt > "$scratch/out.txt" 2> "$scratch/err.txt")
  expect_status 1 $?
  expect_text "$scratch/out.txt" "FIFO overflows: 2"
  expect_text "$scratch/out.txt" "Session FAILED:"
  expect_text "$b/bench.ini" "scan_overflows = 2"
  ;;

*)
  echo "unknown case $case_name" >&2
  exit 2
  ;;
esac

if [ "$failures" -ne 0 ]; then
  echo "--- transcript ---" >&2
  cat "$scratch"/*/out.txt "$scratch"/out.txt 2>/dev/null | tail -60 >&2
  cat "$scratch"/*/err.txt "$scratch"/err.txt 2>/dev/null | tail -20 >&2
  exit 1
fi
echo "$case_name: passed"
