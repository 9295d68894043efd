#!/usr/bin/env bash
# Regenerates the operator guide's picture of the line dashboard (docs/images/dashboard.png):
# the unattended session tests boards on a simulated bench (tests/report/session_line.sh)
# while `vantrel-records serve` shows its records, and headless Chromium, with the network
# limited to the loopback, takes the page once at least five boards are in (often the whole line)
# (tests/dashboard/screenshot_page.py). The list of reference meters comes from a small example
# register with one meter overdue.
#   scripts/dashboard-picture.sh
# Builds what is missing, or takes the programs from VANTREL_BIN.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=scripts/lib/bench-folder.sh
source "$root/scripts/lib/bench-folder.sh"
images="$root/docs/images"
mkdir -p "$images"

vantrel_programs vantrel-records vantrel-session vantrel-metersim bqxdrv

work="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-dashboard-picture.XXXXXX")"
serve_pid=""
line_pid=""
# A program ended here reports its signal; that is no failure of the script.
cleanup() {
  local pid
  for pid in $line_pid $serve_pid; do
    kill "$pid" 2>/dev/null || continue
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
export QT_QPA_PLATFORM=offscreen

mkdir -p "$work/bench"
bash "$root/tests/report/session_line.sh" "$bin" "$work/bench" >"$work/line.out" 2>&1 &
line_pid=$!
# The dashboard opens the bench's record file once the first record has made it.
for _ in $(seq 1 600); do
  [ -f "$work/bench/vantrel-records.db" ] && break
  sleep 0.1
done
# A register of two reference meters, one of them overdue, for the page's list of meters.
vantrel_example_register "$work/instruments.ini" with-overdue
"$bin/vantrel-records" serve --listen 127.0.0.1:0 --db "$work/bench/vantrel-records.db" \
  --register "$work/instruments.ini" >"$work/serve.out" 2>&1 &
serve_pid=$!
url=""
for _ in $(seq 1 200); do
  url="$(grep -o 'http://127.0.0.1:[0-9]*/' "$work/serve.out" || true)"
  [ -n "$url" ] && break
  sleep 0.1
done
[ -n "$url" ] || { echo "the dashboard did not start: $(cat "$work/serve.out")" >&2; exit 1; }

# Five of the seven boards at least, then the picture.
for _ in $(seq 1 600); do
  boards="$(python3 -c 'import sqlite3, sys
print(sqlite3.connect(sys.argv[1]).execute("SELECT count(DISTINCT serial_number) FROM records").fetchone()[0])' \
    "$work/bench/vantrel-records.db" 2>/dev/null || echo 0)"
  [ "$boards" -ge 5 ] && break
  sleep 0.1
done
python3 "$root/tests/dashboard/screenshot_page.py" "$(command -v chromium)" "$url" "$images/dashboard.png"
echo "Picture written to $images/dashboard.png"
