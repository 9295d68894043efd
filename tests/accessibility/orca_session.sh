#!/usr/bin/env bash
# Inside a private desktop bus: Orca, then the window, then the keyboard walk; each process
# started here is ended here, by its own id.
set -uo pipefail
bin="$1" scratch="$2" drive="$3"
ORCA_WAIT_S=30

orca --replace --debug-file "$scratch/orca.log" >"$scratch/orca.out" 2>&1 &
orca_pid=$!
for _ in $(seq $((ORCA_WAIT_S * 5))); do
  grep -qa "ORCA: Orca is ready\|Orca started\|LOADING SCRIPT" "$scratch/orca.log" 2>/dev/null && break
  sleep 0.2
done
sleep 2
(cd "$scratch/bench" && QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb exec "$bin/vantrel") \
  >"$scratch/vantrel.out" 2>&1 &
app_pid=$!
# The system Python, which has the accessibility bindings Orca itself uses.
/usr/bin/python3 "$drive" vantrel
status=$?
for pid in "$app_pid" "$orca_pid"; do
  kill "$pid" 2>/dev/null
  for _ in $(seq 25); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  kill -KILL "$pid" 2>/dev/null
done
exit $status
