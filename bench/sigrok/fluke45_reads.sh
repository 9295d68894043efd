#!/bin/sh
# Standard meter software against the meter emulator: runs sigrok-cli through the socat
# bridge of tools/metersim/README.md a number of times, each time with another voltage on
# the reference terminals, and prints how many runs read the voltage the emulator was given.
#
#   bench/sigrok/fluke45_reads.sh [--meter fluke45|hp34401a] [--runs N] [--bin DIR] [--keep]
#                                 [--nice N]
#
# DIR holds vantrel-metersim (default: build/release/bin, else build/debug/bin). Every
# wrong or missing read is printed with what sigrok-cli said; --keep keeps the folder with
# the emulator's received-byte log and sigrok's debug output of those runs. --nice runs the
# emulator, the bridge and sigrok-cli at that niceness (below 0 needs root), to tell what a
# machine busy with other work does to the client from what the emulator does.
set -u

meter=fluke45
runs=50
bin=
keep=no
niceness=0
while [ $# -gt 0 ]; do
    case "$1" in
    --meter) meter=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --bin) bin=$2; shift 2 ;;
    --keep) keep=yes; shift ;;
    --nice) niceness=$2; shift 2 ;;
    *) echo "usage: $0 [--meter fluke45|hp34401a] [--runs N] [--bin DIR] [--keep] [--nice N]" >&2; exit 2 ;;
    esac
done

here=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "$bin" ]; then
    for candidate in "$here/build/release/bin" "$here/build/debug/bin"; do
        [ -x "$candidate/vantrel-metersim" ] && bin=$candidate && break
    done
fi
[ -x "$bin/vantrel-metersim" ] || { echo "no vantrel-metersim in '$bin'" >&2; exit 2; }
for tool in sigrok-cli socat stty python3; do
    command -v $tool >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

case "$meter" in
fluke45) driver=fluke-45; framing="9600 cs8 -parenb -cstopb" ;;
hp34401a) driver=scpi-dmm; framing="9600 cs7 parenb -parodd cstopb" ;;
*) echo "unknown meter $meter" >&2; exit 2 ;;
esac

dir=$(mktemp -d /tmp/vantrel-sigrok-XXXXXX)
meter_pid=
bridge_pid=
cleanup() {
    [ -n "$bridge_pid" ] && kill "$bridge_pid" 2>/dev/null && wait "$bridge_pid" 2>/dev/null
    [ -n "$meter_pid" ] && kill "$meter_pid" 2>/dev/null && wait "$meter_pid" 2>/dev/null
    if [ "$keep" = yes ]; then echo "kept $dir"; else rm -rf "$dir"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# The bench's references, in turn: a read left over from the run before shows as wrong.
set -- 4.9962 2.5001 1.2493 0.6247 0.0004
echo "$1" > "$dir/reference-terminals"
nice -n "$niceness" "$bin/vantrel-metersim" --meter "$meter" --dir "$dir" --time-scale 0.1 --log "$dir/received.log" \
    > "$dir/ready" 2>&1 &
meter_pid=$!
for _ in $(seq 100); do grep -q '^ready ' "$dir/ready" && break; sleep 0.05; done
pty=$(sed -n 's/^ready //p' "$dir/ready")
[ -n "$pty" ] || { echo "the emulator did not start: $(cat "$dir/ready")" >&2; exit 1; }
stty -F "$pty" $framing raw -echo icanon 2>/dev/null

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
nice -n "$niceness" socat -t 0 "TCP-LISTEN:$port,bind=127.0.0.1,reuseaddr,fork,nodelay" "FILE:$pty" &
bridge_pid=$!
for _ in $(seq 100); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port)).close()" 2>/dev/null && break
    sleep 0.05
done

# "P1: 624.70 mV DC AUTO": true when the printed value is within half its last digit of
# the reference.
matches() {
    python3 - "$1" "$2" <<'PY'
import re, sys
m = re.search(r"P1: ([-+]?[0-9]+)(?:\.([0-9]+))? (m|µ|u|k)?V", sys.argv[1])
if not m:
    sys.exit(1)
scale = {"m": 1e-3, "µ": 1e-6, "u": 1e-6, "k": 1e3}.get(m.group(3), 1.0)
value = float(m.group(1) + ("." + m.group(2) if m.group(2) else "")) * scale
digit = 10.0 ** -len(m.group(2) or "") * scale
sys.exit(0 if abs(value - float(sys.argv[2])) <= digit / 2 + 1e-12 else 1)
PY
}

correct=0
run=1
started=$(date +%s)
while [ "$run" -le "$runs" ]; do
    reference=$(eval echo "\${$(( (run - 1) % 5 + 1 ))}")
    echo "$reference" > "$dir/reference-terminals"
    output=$(timeout 20 nice -n "$niceness" sigrok-cli -l 5 -d "$driver:conn=tcp-raw/127.0.0.1/$port" --samples 1 \
        2> "$dir/run-$run.log")
    if matches "$output" "$reference"; then
        correct=$((correct + 1))
        rm -f "$dir/run-$run.log"
    else
        echo "run $run: reference $reference V, sigrok-cli printed: ${output:-nothing}"
    fi
    run=$((run + 1))
done
elapsed=$(($(date +%s) - started))
echo "$meter through sigrok-cli ($driver), niceness $niceness, load $(cut -d' ' -f1 /proc/loadavg):" \
    "$correct of $runs reads correct (${elapsed} s)"
[ "$correct" -eq "$runs" ]
