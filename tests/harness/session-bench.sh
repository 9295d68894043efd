# shellcheck shell=bash
# Shell functions of the tests that run the unattended session on a bench folder of the
# simulated board. Sourced, not run; the caller sets bin (the built programs).
# shellcheck source=scripts/lib/bench-folder.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/bench-folder.sh"

# A bench of the simulated Corvel in <dir> with short settle waits, the noise seed <seed> and
# a short interrupt scan; further arguments are lines added to the bench description.
test_bench() {
  local dir="$1" seed="$2"; shift 2
  mkdir -p "$dir"
  vantrel_simulated_settings "$dir/Vantrel.ini"
  printf 'model = 27\nbase = 0x300\nirq = 7\ntime_scale = 0.01\nseed = %s\n' "$seed" > "$dir/bench.ini"
  for line in "$@"; do printf '%s\n' "$line" >> "$dir/bench.ini"; done
  echo 20000 > "$dir/hertz.cfg"
}

# Runs the session in the bench folder <dir>; its transcript goes to <dir>/out.txt and its
# errors to <dir>/err.txt. Returns the session's status.
run_session() {
  local dir="$1"; shift
  (cd "$dir" && "$bin/vantrel-session" "$@" > out.txt 2> err.txt)
}

# One board of a line through the session in <dir>, from the factory EEPROM image; exits the
# test when the session's status is not <want>.
line_board() {
  local dir="$1" want="$2"; shift 2
  rm -f "$dir/bqxsim-eeprom.bin"
  run_session "$dir" "$@"
  local got=$?
  if [ "$got" -ne "$want" ]; then
    echo "session $* ended with $got, expected $want:" >&2
    tail -n 30 "$dir/out.txt" "$dir/err.txt" >&2
    exit 1
  fi
}
