#!/usr/bin/env bash
# The house formatting (.clang-format) of the C and C++ sources under version control.
#
#   scripts/format.sh           formats every source in place
#   scripts/format.sh --check   changes nothing; lists the files that differ and exits 1
#   scripts/format.sh [--check] FILE...   only these files
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

check=0
if [ "${1:-}" = "--check" ]; then
  check=1
  shift
fi
command -v clang-format >/dev/null || { echo "format.sh: clang-format is missing (scripts/deps.sh installs it)" >&2; exit 2; }

if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
fi
[ ${#files[@]} -gt 0 ] || exit 0

if [ "$check" -eq 0 ]; then
  clang-format -i --style=file "${files[@]}"
  exit 0
fi
differing=()
for file in "${files[@]}"; do
  if ! clang-format --style=file --dry-run --Werror "$file" >/dev/null 2>&1; then
    differing+=("$file")
  fi
done
if [ ${#differing[@]} -gt 0 ]; then
  echo "format.sh: ${#differing[@]} file(s) differ from .clang-format (scripts/format.sh formats them):" >&2
  printf '  %s\n' "${differing[@]}" >&2
  exit 1
fi
echo "format.sh: ${#files[@]} files follow .clang-format"
