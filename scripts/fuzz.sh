#!/usr/bin/env bash
# Long fuzzing runs, one target at a time, under ASan and UBSan.
#   scripts/fuzz.sh                    lists the fuzz targets, one a line
#   scripts/fuzz.sh TARGET [SECONDS]   builds fuzz-TARGET (fuzz preset, clang) and runs it
#                                      for SECONDS (default 600)
# What a run learns stays in build/fuzz/fuzz/work/TARGET/corpus; a crash leaves its input
# there as crash-*. Copy such an input into fuzz/<folder>/regressions/ once it is mended: the
# ordinary test run replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."

targets() { sed -n 's/^vantrel_fuzz_target(\([a-z-]*\) .*/\1/p' fuzz/CMakeLists.txt; }

if [ $# -eq 0 ]; then
  targets
  exit 0
fi
target="$1"
seconds="${2:-600}"
if ! targets | grep -qx -- "$target"; then
  echo "fuzz.sh: no fuzz target '$target'; the targets are:" >&2
  targets >&2
  exit 2
fi
case "$seconds" in
  '' | *[!0-9]*) echo "fuzz.sh: SECONDS must be a whole number" >&2; exit 2 ;;
esac

export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
[ -f build/fuzz/CMakeCache.txt ] || cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j2 --target "fuzz-$target" >/dev/null

exec nice -n 10 bash fuzz/run-target.sh "build/fuzz/bin/fuzz-$target" "$seconds" \
  "build/fuzz/fuzz/work/$target" "fuzz/$target/seeds" "fuzz/$target/regressions"
