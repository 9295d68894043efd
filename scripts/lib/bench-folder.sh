# shellcheck shell=bash
# Shell functions of the scripts and tests that run the tool on the simulated board: where the
# programs are, the tool's settings for the simulated board, the meter emulator on a bench
# folder's COM1, and an example register of reference meters. Sourced, not run.

# Sets bin to the folder of built programs: VANTREL_BIN when set, else the debug build of the
# source tree (root), after installing what is missing and building the given targets.
vantrel_programs() {
  if [ -n "${VANTREL_BIN:-}" ]; then
    bin="$(cd "$VANTREL_BIN" && pwd)" || return 1
    return 0
  fi
  (cd "${root:?}" && scripts/deps.sh && cmake --preset debug >/dev/null && cmake --build --preset debug --target "$@") ||
    return 1
  bin="$root/build/debug/bin"
}

# The tool's settings file for the simulated board: a Corvel at 0x300, interrupt 7, Fluke 45.
vantrel_simulated_settings() {
  printf 'BASEADD=300\r\nINTERRUPT=7\r\nVOLTMETER=0\r\nBOARDTYPE=27\r\n' > "$1"
}

meter_pid=""

# Stops the meter emulator started by vantrel_start_meter, if it runs.
vantrel_stop_meter() {
  if [ -n "$meter_pid" ]; then
    kill "$meter_pid" 2>/dev/null || true
    wait "$meter_pid" 2>/dev/null || true
    meter_pid=""
  fi
}

# Starts the meter emulator on COM1 of the bench folder <dir> with the given options, in
# place of one started before, and waits until it says "ready <pty>". Its output is
# <dir>/metersim.out. Says why on standard error and returns 1 when it does not get ready.
vantrel_start_meter() {
  local dir="$1"; shift
  local out="$dir/metersim.out"
  vantrel_stop_meter
  # The ready line of an emulator started before must not count for this one.
  rm -f "$out"
  "$bin/vantrel-metersim" --dir "$dir" "$@" > "$out" 2>&1 &
  meter_pid=$!
  for _ in $(seq 1 100); do
    grep -q '^ready ' "$out" 2>/dev/null && return 0
    kill -0 "$meter_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "the meter emulator did not get ready: $(cat "$out" 2>/dev/null)" >&2
  vantrel_stop_meter
  return 1
}

# Writes a register of reference meters to $1 for the guide's pictures: a Fluke 45 due in 40
# days and, with $2 set to "with-overdue", an HP 34401A overdue by 3 days.
vantrel_example_register() {
  cat >"$1" <<EOF
[meter 4571234]
model = Fluke 45
asset_tag = BENCH-DMM-01
certificate = CAL-2026-0310
certificate_date = 2026-03-10
lab = Example Calibration Laboratory
due = $(date -u -d '+40 days' +%F)
dcv 10 = 0.025% + 6 counts
dcv 10 resolution = 0.0001
dcv 10 full_scale = 9.9999
EOF
  [ "${2:-}" = with-overdue ] || return 0
  cat >>"$1" <<EOF

[meter 3146A12345]
model = HP 34401A
asset_tag = BENCH-DMM-02
certificate = CAL-2025-0115
certificate_date = 2025-01-15
lab = Example Calibration Laboratory
due = $(date -u -d '-3 days' +%F)
dcv 10 = 0.0035% + 0.0005%
dcv 10 resolution = 0.00001
dcv 10 full_scale = 12
EOF
}
