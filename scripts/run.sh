#!/usr/bin/env bash
# Builds what is missing, prepares a bench folder on the simulated board with a meter
# emulator on COM1, and opens the tool there.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scripts/deps.sh
cmake --preset debug >/dev/null
cmake --build --preset debug --target vantrel bqxdrv vantrel-metersim

bin="$root/build/debug/bin"
bench="${VANTREL_BENCH:-$root/bench-folder}"
mkdir -p "$bench"
[ -f "$bench/Vantrel.ini" ] || printf 'BASEADD=300\r\nINTERRUPT=7\r\nVOLTMETER=0\r\nBOARDTYPE=27\r\n' > "$bench/Vantrel.ini"
[ -f "$bench/bench.ini" ] || cat > "$bench/bench.ini" <<'INI'
# The simulated board of this bench: a Corvel at 0x300, interrupt 7.
model = 27
base = 0x300
irq = 7
INI

meter_pid=""
cleanup() { [ -n "$meter_pid" ] && kill "$meter_pid" 2>/dev/null || true; }
trap cleanup EXIT

if [ -x "$bin/vantrel-metersim" ]; then
  "$bin/vantrel-metersim" --meter fluke45 --dir "$bench" > "$bench/metersim.out" 2>&1 &
  meter_pid=$!
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
  echo "No display: run this command under a display, for example: xvfb-run -a scripts/run.sh" >&2
  exit 1
fi

cd "$bench"
"$bin/vantrel"
