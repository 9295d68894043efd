#!/usr/bin/env bash
# The layers of the source tree and the includes between them, read from the sources: each
# folder of src/ (and the programs in tools/ and bench/, the simulated driver in drivers/) is
# a layer; each '#include "<folder>/..."' is an arrow. Every arrow must point down the
# order below, and none may climb out of its folder with "../"; nothing in src/ outside afx/ and platform/ may include a Qt or POSIX header, but
# report/, which draws the records program's certificates and plots with Qt's PDF writer and Qt
# Charts and is no part of the tool.
#
#   scripts/layers.sh            writes docs/layers.dot and docs/layers.svg (Debian graphviz)
#   scripts/layers.sh --check    changes nothing; lists every arrow that points up, every
#                                "../" include, every forbidden header, and exits 1 when
#                                there is one
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

# Top to bottom. A layer may include only layers below it (or itself).
order=(tools bench drivers app meter board console dashboard report records metrology cmdline resources afx platform)
declare -A rank
for i in "${!order[@]}"; do rank[${order[$i]}]=$i; done

# The sources: those under version control, or every file when there is no repository.
sources() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files "$@"
  else
    for pattern in "$@"; do find "${pattern%%/*}" -type f; done
  fi
}

layer_of() {
  case "$1" in
    src/*) local rest="${1#src/}"; echo "${rest%%/*}" ;;
    tools/*) echo tools ;;
    bench/*) echo bench ;;
    drivers/*) echo drivers ;;
  esac
}

# "from to count" for every pair of layers joined by includes.
edges="$(
  sources 'src/*' 'tools/*' 'bench/*' 'drivers/*' | grep -E '\.(c|cpp|h)$' | while read -r file; do
    from="$(layer_of "$file")"
    # A file without includes, or whose last include stays in its layer, is no failure.
    { grep -oE '^[[:space:]]*#[[:space:]]*include "[a-z]+/' "$file" || true; } | sed -E 's/.*"//; s/\///' |
      while read -r to; do
        if [ -n "${rank[$to]+x}" ] && [ "$to" != "$from" ]; then echo "$from $to"; fi
      done
  done | sort | uniq -c | awk '{print $2, $3, $1}'
)"

if [ "${1:-}" = "--check" ]; then
  status=0
  while read -r from to count; do
    [ -n "$from" ] || continue
    if [ "${rank[$to]}" -le "${rank[$from]}" ]; then
      echo "layers.sh: $from includes $to ($count times), which is not below it" >&2
      grep -rlE "#[[:space:]]*include \"$to/" "$(case $from in tools|bench|drivers) echo "$from";; *) echo "src/$from";; esac)" | sed 's/^/  /' >&2
      status=1
    fi
  done <<< "$edges"
  forbidden='#[[:space:]]*include <(Q[A-Za-z]*|qt[a-z]*/.*|unistd\.h|fcntl\.h|termios\.h|dlfcn\.h|poll\.h|pthread\.h|sys/[a-z_]+\.h|dirent\.h|signal\.h|spawn\.h|pty\.h)>'
  while read -r hit; do
    [ -n "$hit" ] || continue
    echo "layers.sh: a Qt or POSIX header outside afx/, platform/ and report/: $hit" >&2
    status=1
  done < <(sources 'src/*' | grep -vE '^src/(afx|platform|report)/' | grep -E '\.(c|cpp|h)$' |
             xargs grep -nE "$forbidden" /dev/null || true)
  # An include that climbs out of its folder reaches any layer without naming it.
  while read -r hit; do
    [ -n "$hit" ] || continue
    echo "layers.sh: an include that climbs out of its folder (\"../\"): $hit" >&2
    status=1
  done < <(sources 'src/*' 'tools/*' 'bench/*' 'drivers/*' | grep -E '\.(c|cpp|h)$' |
             xargs grep -nE '#[[:space:]]*include[[:space:]]*"([^"]*/)?\.\./' /dev/null || true)
  [ "$status" -eq 0 ] && echo "layers.sh: every include points down, none climbs out of its folder; no Qt or POSIX header outside afx/, platform/ and report/"
  exit "$status"
fi

command -v dot >/dev/null || { echo "layers.sh: dot (Debian graphviz) is missing" >&2; exit 2; }
mkdir -p docs
{
  echo '// Made by scripts/layers.sh from the includes of the sources; do not edit.'
  echo 'digraph layers {'
  echo '  rankdir=TB; node [shape=box, fontname="Helvetica"]; edge [fontname="Helvetica", fontsize=10];'
  for layer in "${order[@]}"; do
    case "$layer" in
      tools|bench|drivers) label="$layer/" ;;
      *) label="src/$layer/" ;;
    esac
    echo "  \"$layer\" [label=\"$label\"];"
  done
  echo '  { rank=same; "tools"; "bench"; }'
  while read -r from to count; do
    [ -n "$from" ] && echo "  \"$from\" -> \"$to\" [label=\"$count\"];"
  done <<< "$edges"
  echo '}'
} > docs/layers.dot
dot -Tsvg docs/layers.dot -o docs/layers.svg
echo "layers.sh: wrote docs/layers.dot and docs/layers.svg"
