#!/usr/bin/env bash
# Plants '#include "../app/CMainTestDlg.h"' in a copy of src/board and expects the layer
# check to refuse it with one complaint, about the planted file and nothing else.
set -euo pipefail
root="$1"
copy="$(mktemp -d)"
trap 'rm -rf "$copy"' EXIT
cp -r "$root/src" "$root/scripts" "$root/tools" "$root/bench" "$root/drivers" "$copy/"

printf '#include "../app/CMainTestDlg.h"\n' > "$copy/src/board/Planted.cpp"
if out="$(bash "$copy/scripts/layers.sh" --check 2>&1)"; then
  echo "the layer check passed a planted \"../\" include:" >&2
  echo "$out" >&2
  exit 1
fi
expected='layers.sh: an include that climbs out of its folder ("../"): src/board/Planted.cpp:1:#include "../app/CMainTestDlg.h"'
if [ "$out" != "$expected" ]; then
  echo "expected only the complaint about the planted file, got:" >&2
  echo "$out" >&2
  exit 1
fi
echo "refused: $out"
