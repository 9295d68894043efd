#!/usr/bin/env bash
# Runs the main window on a virtual X display with the Orca screen reader listening on the
# desktop's accessibility bus, walks the window with the keyboard, presses Initialize Board
# on the simulated board, and writes what Orca spoke (the "SPEECH OUTPUT" lines of its debug
# log) to OUT. The whole debug log is kept beside it as OUT.log, the window's output as
# OUT.window.log.
#
#   tests/accessibility/orca_speech.sh BIN_DIR OUT
#
# BIN_DIR holds vantrel and libbqxdrv.so. Needs Debian's orca, xvfb, at-spi2-core, dbus and
# python3-gi with the Atspi typelib (gir1.2-atspi-2.0).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="$(cd "$1" && pwd)"
out="$2"
scratch="$(mktemp -d)"
xvfb_pid=""

cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# A display of its own: the server picks a free number and tells it.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.err" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.2; done
[ -s "$scratch/display" ] || { echo "orca_speech: Xvfb did not start: $(cat "$scratch/xvfb.err")" >&2; exit 1; }
export DISPLAY=":$(cat "$scratch/display")"

# Orca's settings and the session's runtime folder stay in the scratch folder.
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run" XDG_CONFIG_HOME="$scratch/home/.config"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$scratch/bench"
chmod 700 "$XDG_RUNTIME_DIR"
printf 'BASEADD=300\r\nINTERRUPT=7\r\nVOLTMETER=2\r\nBOARDTYPE=27\r\n' > "$scratch/bench/Vantrel.ini"
printf 'model = 27\nbase = 0x300\nirq = 7\n' > "$scratch/bench/bench.ini"

status=0
dbus-run-session -- bash "$here/orca_session.sh" "$bin" "$scratch" "$here/drive_window.py" || status=$?
grep -a "SPEECH OUTPUT" "$scratch/orca.log" > "$out" || true
cp "$scratch/orca.log" "$out.log"
cp "$scratch/vantrel.out" "$out.window.log"
[ "$status" -eq 0 ] || { echo "orca_speech: the keyboard walk failed ($status)" >&2; exit 1; }
[ -s "$out" ] || { echo "orca_speech: Orca spoke nothing" >&2; exit 1; }
