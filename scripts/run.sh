#!/usr/bin/env bash
# Builds what is missing, prepares a bench folder on the simulated board with a Fluke 45
# emulator linked as COM1, and opens the tool there. The emulator stops when the tool exits.
#
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the same command runs the unattended
# session through every button instead and exits with its status.
#
#   scripts/run.sh                       the tool, or the session without a display
#   scripts/run.sh --session [ACTION...] the session even with a display; the actions
#                                        default to every button (see vantrel-session --help)
#
# Environment:
#   VANTREL_BENCH  the bench folder (default: bench-folder/ in the checkout)
#   VANTREL_BIN    a folder holding built programs: use them, install and build nothing
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=scripts/lib/bench-folder.sh
source "$root/scripts/lib/bench-folder.sh"

every_button=(init interrupt measure eeprom registers sample savelog free quit)

session=0
if [ "${1:-}" = "--session" ]; then
  session=1
  shift
fi
actions=("$@")
[ ${#actions[@]} -gt 0 ] || actions=("${every_button[@]}")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then session=1; fi
# A window on the offscreen platform would wait for an operator who never comes.
[ "${QT_QPA_PLATFORM:-}" = "offscreen" ] && session=1

vantrel_programs vantrel bqxdrv vantrel-metersim vantrel-session
for program in vantrel vantrel-session vantrel-metersim libbqxdrv.so; do
  if [ ! -e "$bin/$program" ]; then
    echo "run.sh: $bin/$program is missing" >&2
    exit 1
  fi
done

bench="${VANTREL_BENCH:-$root/bench-folder}"
mkdir -p "$bench"
bench="$(cd "$bench" && pwd)"

# The settings of the simulated board (a Corvel at 0x300, interrupt 7, Fluke 45) and the
# bench description that matches them. Files already there are the operator's: kept.
[ -f "$bench/Vantrel.ini" ] || vantrel_simulated_settings "$bench/Vantrel.ini"
[ -f "$bench/bench.ini" ] || cat > "$bench/bench.ini" <<'INI'
# The simulated board of this bench: a Corvel at 0x300, interrupt 7.
# Keys and faults: drivers/bqxsim/README.md in the source tree.
model = 27
base = 0x300
irq = 7
INI

trap vantrel_stop_meter EXIT
trap 'exit 130' INT TERM

meter_out="$bench/metersim.out"
if ! vantrel_start_meter "$bench" --meter fluke45; then
  echo "run.sh: the meter emulator did not start" >&2
  exit 1
fi
echo "Bench folder: $bench (Fluke 45 emulator on COM1 -> $(sed -n 's/^ready //p' "$meter_out"))"

cd "$bench"
status=0
if [ "$session" -eq 1 ]; then
  echo "Unattended session: ${actions[*]}"
  "$bin/vantrel-session" "${actions[@]}" || status=$?
else
  "$bin/vantrel" || status=$?
fi
exit "$status"
