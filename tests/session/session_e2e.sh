#!/usr/bin/env bash
# End-to-end cases of the unattended session and of the run command's unattended path, on
# the simulated board with the meter emulator, each in a scratch bench folder.
#   session_e2e.sh <case> <bin folder> <source folder>
set -uo pipefail
case_name="$1"
bin="$(cd "$2" && pwd)"
source_dir="$(cd "$3" && pwd)"
checker="$source_dir/tests/session/check_records.py"
# shellcheck source=tests/harness/session-bench.sh
source "$source_dir/tests/harness/session-bench.sh"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-session-test.XXXXXX")"
mounted=""
cleanup() {
  vantrel_stop_meter
  [ -n "$mounted" ] && umount -l "$mounted"
  rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_status() { [ "$2" -eq "$1" ] || fail "exit status $2, expected $1"; }
expect_text() { grep -qF -- "$2" "$1" || fail "$(basename "$1") lacks: $2"; }
expect_no_text() { ! grep -qF -- "$2" "$1" || fail "$(basename "$1") holds: $2"; }

# The benches of these cases use the noise seed 7.
make_bench() { local dir="$1"; shift; test_bench "$dir" 7 "$@"; }

every_button=(init interrupt measure eeprom registers sample savelog free quit)

# A transcript with what depends on the clock masked: the start time, the measured scan
# milliseconds and the progress lines printed while the scan is polled (how many there are
# and what they show depends on when each poll falls).
mask_transcript() {
  sed -E -e 's/^(Start Time: ).*$/\1<start time>/' -e 's/(Time taken: )[0-9]+ ms/\1<ms> ms/' "$1" |
    awk '/^ *[0-9]+ [0-9A-F][0-9A-F] [0-9A-F][0-9A-F]$/ { if (!polling) print "<scan progress>"; polling = 1; next }
         { polling = 0; print }'
}

case "$case_name" in
passing-bench)
  b="$scratch/bench"; make_bench "$b"; vantrel_start_meter "$b" --meter fluke45 || exit 1
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
  b="$scratch/bench"; make_bench "$b" "scan_overflows = 1"; vantrel_start_meter "$b" --meter fluke45 || exit 1
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
  b="$scratch/bench"; make_bench "$b"; vantrel_start_meter "$b" --meter fluke45 --readings 5.3 || exit 1
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
  b="$scratch/bench"; make_bench "$b"; vantrel_start_meter "$b" --meter fluke45 --fault silent || exit 1
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
  # A typed value on its window's edge (channel 1: 2.1 to 2.9 V) is stored without a box.
  b="$scratch/edge"; make_bench "$b"
  run_session "$b" meter=none values=4.9962,2.1,1.2493,0.6247,0.0004 init measure=use measure=keep
  expect_status 0 $?
  o="$b/out.txt"
  expect_no_text "$o" "+-- message box"
  expect_text "$o" ">   Ch 1:	2.100000"
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

records-session)
  # Every button with a serial number: the records read back with Python's sqlite3 hold each
  # action's figures as the console showed them, and vantrel-records exports them.
  b="$scratch/bench"; make_bench "$b"; vantrel_start_meter "$b" --meter fluke45 || exit 1
  run_session "$b" serial=SN-0042 "${every_button[@]}"
  expect_status 0 $?
  python3 "$checker" session "$b/vantrel-records.db" SN-0042 "$(cd "$b" && pwd -P)" || fail "the session's records"
  (cd "$b" && "$bin/vantrel-records" export --format json --output records.json) || fail "JSON export"
  python3 -m json.tool "$b/records.json" > /dev/null || fail "the JSON export does not parse"
  [ "$(cd "$b" && "$bin/vantrel-records" history SN-0042 | grep -c 'SN-0042')" = 6 ] ||
    fail "the board's history does not list its six records"
  ;;

records-measure-outcomes)
  # Each way Measure References ends, on one board whose EEPROM carries over from session to
  # session: the record's outcome, what the EEPROM held before (as found) and after (as left).
  b="$scratch/bench"; make_bench "$b"; vantrel_start_meter "$b" --meter fluke45 || exit 1
  db="$b/vantrel-records.db"
  outcome() { python3 "$checker" measure "$db" "$@" > "$b/found.txt" || fail "measure record: $*"; }
  run_session "$b" init measure=keep
  expect_status 0 $?
  outcome kept "" none
  factory="$(cat "$b/found.txt")"
  run_session "$b" init measure=cancel
  outcome cancelled "$factory" none
  run_session "$b" init meter=none values=4.75,2.25,1.125,0.5,0.25 measure
  expect_status 0 $?
  outcome written "$factory" "4.75,2.25,1.125,0.5,0.25"
  typed="4.75,2.25,1.125,0.5,0.25,${factory#*,*,*,*,*,}"
  run_session "$b" init meter=none values=99,2.25,1.125,0.5,0.25 measure
  expect_status 1 $?
  expect_text "$b/out.txt" "Channel 0: 99 V cannot be a reference"
  outcome refused "$typed" none
  vantrel_start_meter "$b" --meter fluke45 --readings 5.3 || exit 1
  run_session "$b" init measure
  expect_status 1 $?
  outcome "out of tolerance" "$typed" none
  vantrel_start_meter "$b" --meter fluke45 --fault silent || exit 1
  run_session "$b" init measure
  expect_status 1 $?
  outcome "failed reading" "$typed" none
  # An EEPROM on a read-only file system does not take the write: nothing is left changed.
  mkdir -p "$b/ro"
  if mount -t tmpfs -o size=64k tmpfs "$b/ro" 2>/dev/null; then
    mounted="$b/ro"
    cp "$b/bqxsim-eeprom.bin" "$b/ro/eeprom.bin"
    mount -o remount,ro "$b/ro"
    echo "eeprom = $b/ro/eeprom.bin" >> "$b/bench.ini"
    run_session "$b" init meter=none values=4.5,2.5,1.25,0.625,0.125 measure
    expect_status 1 $?
    outcome "write failed" "$typed" none
  else
    echo "cannot mount a tmpfs: the failed write is not tried"
  fi
  ;;

records-hostile-serials)
  # What an operator types is data: stored exactly, exported exactly, inert in CSV.
  b="$scratch/bench"; make_bench "$b"
  serials=("SN-1'; DROP TABLE records;--" '=HYPERLINK("http://x","y")' 'SN-2 "quoted", with comma' 'Prüfling-Ω-7' '@SUM(A1)')
  for serial in "${serials[@]}"; do
    run_session "$b" "serial=$serial" init free
    expect_status 0 $?
  done
  (cd "$b" && "$bin/vantrel-records" export --format json --output all.json &&
     "$bin/vantrel-records" export --format csv --output all.csv) || fail "exports"
  python3 "$checker" serials "$b/vantrel-records.db" "$b/all.json" "$b/all.csv" "${serials[@]}" ||
    fail "the hostile serial numbers"
  [ "$(cd "$b" && "$bin/vantrel-records" list --serial "${serials[0]}" | wc -l)" = 2 ] ||
    fail "the search by a hostile serial number does not find its two records"
  ;;

records-serial-prompt)
  # The serial-number box comes only when the bench's records settings switch it on; what
  # the box holds when OK is pressed is the board's serial number, exactly.
  b="$scratch/bench"; make_bench "$b"
  run_session "$b" serial=PLAIN-1 init free
  expect_status 0 $?
  expect_no_text "$b/out.txt" "serial number box"
  printf '[records]\nserial_prompt=true\n' > "$b/vantrel-records.ini"
  run_session "$b" 'serial=Prüfling-Ω-8' init free
  expect_status 0 $?
  expect_text "$b/out.txt" '> serial number box: "Prüfling-Ω-8", OK'
  [ "$(python3 -c 'import sqlite3,sys; print("|".join(r[0] for r in sqlite3.connect(sys.argv[1]).execute("SELECT serial_number FROM records ORDER BY seq")))' "$b/vantrel-records.db")" = \
    "PLAIN-1|PLAIN-1|Prüfling-Ω-8|Prüfling-Ω-8" ] || fail "the serial numbers recorded through the box"
  ;;

records-waiting)
  # A database that cannot be written: the operator is told once, after the first action,
  # where the records wait; the next start saves every one of them.
  b="$scratch/bench"; make_bench "$b"
  printf '[records]\npending_folder=%s\n' "$b/pending" > "$b/vantrel-records.ini"
  mkdir "$b/vantrel-records.db"
  run_session "$b" serial=SN-WAIT init interrupt sample free
  expect_status 1 $?
  o="$b/out.txt"
  [ "$(grep -c '+-- message box "Production Records"' "$o")" = 1 ] || fail "the operator is not told exactly once"
  expect_text "$o" "| The production record could not be saved. The record database $b/vantrel-records.db"
  # The box names the database once.
  [ "$(sed -n '/^+-- message box "Production Records"/,/^+-- answered/p' "$o" | grep -o "$b/vantrel-records.db" | wc -l)" = 1 ] ||
    fail "the box does not name the database exactly once"
  expect_text "$o" "It waits in the folder $b/pending"
  [ "$(ls "$b/pending" | grep -c '\.json$')" = 4 ] || fail "the four records do not wait: $(ls "$b/pending")"
  rmdir "$b/vantrel-records.db"
  run_session "$b" serial=SN-WAIT init free
  expect_status 0 $?
  expect_no_text "$b/out.txt" "Production Records"
  [ "$(cd "$b" && "$bin/vantrel-records" history SN-WAIT | grep -c SN-WAIT)" = 6 ] ||
    fail "the waiting records were not saved at the next start"
  [ -z "$(ls "$b/pending")" ] || fail "saved records still wait: $(ls "$b/pending")"
  ;;

records-serial-policy)
  # A serial number that no label can carry is refused before anything runs (exit 2), with a
  # message that does not steer the terminal; nothing is recorded under it. The bench's pattern
  # refuses a mis-scanned label.
  b="$scratch/bench"; make_bench "$b"
  refused=($'SN-\xff-1' $'SN-\e[31m-1' $'SN-\r-1' $'SN-\u202e4321-A' $'SN-\u200d1' ' SN-1' 'SN-1 '
           "SN-$(printf '%065d' 7)")
  for serial in "${refused[@]}"; do
    run_session "$b" "serial=$serial" init free
    expect_status 2 $?
    grep -q $'\e\|\r' "$b/err.txt" && fail "the refusal of $(printf %q "$serial") steers the terminal"
    grep -q 'serial number' "$b/err.txt" || fail "no reason given for $(printf %q "$serial"): $(cat "$b/err.txt")"
  done
  [ ! -e "$b/vantrel-records.db" ] || fail "a refused serial number left records"
  printf '[records]\nserial_pattern=^SN-[0-9]{6}$\n' > "$b/vantrel-records.ini"
  run_session "$b" serial=SN-12345 init free
  expect_status 2 $?
  expect_text "$b/err.txt" "does not match the bench's pattern"
  run_session "$b" serial=SN-123456 init free
  expect_status 0 $?
  [ "$(cd "$b" && "$bin/vantrel-records" history SN-123456 | wc -l)" = 2 ] || fail "the good label was not recorded"
  ;;

records-quit-memory)
  # Neither the database nor the pending folder can be written: at Quit the operator is told
  # how many records exist only in memory and offered to try again; the session fails.
  b="$scratch/bench"; make_bench "$b"
  printf '[records]\npending_folder=%s\n' "$b/not-a-folder/pending" > "$b/vantrel-records.ini"
  : > "$b/not-a-folder"
  mkdir "$b/vantrel-records.db"
  run_session "$b" serial=SN-MEM init interrupt free quit
  expect_status 1 $?
  o="$b/out.txt"
  expect_text "$o" "| 3 production record(s) could be saved neither in the record database nor in the pending folder"
  expect_text "$o" "+-- answered Retry"
  expect_text "$o" "+-- answered Cancel"
  expect_text "$o" "3 production record(s) were lost at Quit"
  # Once the database can be written, sessions record again.
  rmdir "$b/vantrel-records.db"
  run_session "$b" serial=SN-MEM2 init free
  expect_status 0 $?
  ;;

records-settings-list)
  # A postgres= value with an unquoted comma is read as a list: the operator is told at start-up
  # instead of records going to whatever the PG* variables name.
  b="$scratch/bench"; make_bench "$b"
  printf '[records]\npostgres=host=a,b port=5432 dbname=line\n' > "$b/vantrel-records.ini"
  run_session "$b" init free
  expect_text "$b/out.txt" '+-- message box "Production Records"'
  expect_text "$b/out.txt" "holds a comma and is read as a list"
  ;;

records-killed)
  # The tool killed (SIGKILL) at moments spread over a recording session, over and over: the
  # database opens each time, intact, with every record of the earlier runs and each record
  # the session had finished before the kill (a record is finished when the next press
  # begins).
  b="$scratch/bench"; make_bench "$b"
  : > "$b/ids.txt"
  actions=(serial=SN-KILL); for _ in $(seq 1 30); do actions+=(init free); done
  for delay in 0.4 0.7 0.9 1.1 1.3 1.6 1.9 2.3; do
    (cd "$b" && exec "$bin/vantrel-session" "${actions[@]}" > out.txt 2> err.txt) &
    pid=$!
    sleep "$delay"
    kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
    presses="$(grep -c '^> press ' "$b/out.txt")"
    finished=$(( presses > 0 ? presses - 1 : 0 ))
    [ -f "$b/vantrel-records.db" ] || { [ "$finished" -eq 0 ] && continue; fail "no database after $finished records"; break; }
    python3 "$checker" intact "$b/vantrel-records.db" "$b/ids.txt" "$finished" || fail "after a kill at ${delay} s"
  done
  [ "$(wc -l < "$b/ids.txt")" -gt 0 ] || fail "no session got far enough to record anything"
  ;;

reference-transcript)
  # Every button on a fixed-seed bench: the console echo, masked, is the reference kept in
  # tests/session/reference/every-button.txt. VANTREL_WRITE_REFERENCE=1 writes it anew.
  b="$scratch/bench"; make_bench "$b"
  sed -i 's/^seed = 7$/seed = 1/' "$b/bench.ini"
  vantrel_start_meter "$b" --meter fluke45 || exit 1
  run_session "$b" --color=always "${every_button[@]}"
  expect_status 0 $?
  reference="$source_dir/tests/session/reference/every-button.txt"
  mask_transcript "$b/out.txt" > "$b/masked.txt"
  if [ "${VANTREL_WRITE_REFERENCE:-0}" = 1 ]; then
    cp "$b/masked.txt" "$reference"
  elif ! diff -u "$reference" "$b/masked.txt" > "$b/diff.txt"; then
    fail "the console echo differs from the reference: $(head -40 "$b/diff.txt")"
  fi
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
