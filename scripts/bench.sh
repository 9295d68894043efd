#!/usr/bin/env bash
# Builds and runs every benchmark, each printing its figures: console appends and saves,
# the simulated driver's full-speed scans, the interrupt test's timing at 2000 Hz and the
# overhead of a Measure References run at real time, the production records (recording,
# history, export, forwarding), what recording one action costs the window, and the line
# dashboard under 50 benches and 50 viewers for two minutes (about 4 minutes in all).
#
#   scripts/bench.sh [PRESET]      PRESET defaults to release
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
preset="${1:-release}"
cd "$root"
scripts/deps.sh
cmake --preset "$preset" >/dev/null
benchmarks=(bench_console bench_driver bench_interrupt_timing bench_measure_overhead bench_records
  bench_record_action bench_dashboard)
cmake --build --preset "$preset" --target "${benchmarks[@]}"
bin="$root/build/$preset/bin"
export QT_QPA_PLATFORM=offscreen
status=0
for benchmark in "${benchmarks[@]}"; do
  echo "== $benchmark"
  "$bin/$benchmark" || status=1
done
exit "$status"
