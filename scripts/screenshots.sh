#!/usr/bin/env bash
# Regenerates the pictures of the operator guide (docs/images/) with the unattended session
# on the simulated bench: the main window after start-up, after a passing Interrupt Test,
# and the Measure References dialog with the meter's readings.
#   scripts/screenshots.sh
# Uses scripts/run.sh (so it installs and builds what is missing, or takes VANTREL_BIN).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
images="$root/docs/images"
mkdir -p "$images"

bench="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-pictures.XXXXXX")"
trap 'rm -rf "$bench"' EXIT
# The bench of run.sh with a fixed noise seed, so that the pictures change only when the
# tool does, and short settle waits.
printf 'BASEADD=300\r\nINTERRUPT=7\r\nVOLTMETER=0\r\nBOARDTYPE=27\r\n' > "$bench/Vantrel.ini"
cat > "$bench/bench.ini" <<'INI'
model = 27
base = 0x300
irq = 7
seed = 1
time_scale = 0.05
INI

VANTREL_BENCH="$bench" "$root/scripts/run.sh" --session --color=never \
  shot="$images/main-window-start.png" \
  init interrupt shot="$images/interrupt-test-passed.png" \
  measure-shot="$images/measure-references.png" measure \
  free quit
echo "Pictures written to $images"
