#!/usr/bin/env bash
# Runs one libFuzzer program for a while over its seeds and regressions, keeping what it
# learns in a working folder; a crash leaves its input there as crash-*.
#   run-target.sh <program> <seconds> <working folder> <seed folder>...
set -euo pipefail
program="$1" seconds="$2" work="$3"
shift 3
mkdir -p "$work/corpus"
inputs=()
for folder in "$@"; do
  [ -d "$folder" ] && inputs+=("$folder")
done
# Readers that take a path get their input through a file: in memory where there is room.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# The working folder's corpus comes first: new inputs go there, the seeds stay as they are.
exec "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
  -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "${inputs[@]}"
