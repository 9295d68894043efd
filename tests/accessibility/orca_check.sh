#!/usr/bin/env bash
# Checks what Orca speaks for the main window: each control by its label, the meter group by
# its title, the text boxes' values whole, and the verdict of Initialize Board as it appears.
#   tests/accessibility/orca_check.sh BIN_DIR
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
command -v orca >/dev/null && command -v Xvfb >/dev/null && command -v dbus-run-session >/dev/null || {
  echo "orca_check: orca, Xvfb or dbus-run-session is missing: skipped"
  exit 77
}
spoken="$(mktemp)"
trap 'rm -f "$spoken" "$spoken".*' EXIT
"$here/orca_speech.sh" "$1" "$spoken" || exit 1

expected=(
  "'Base Address text.'"
  "'300 selected.'"
  "'Interrupt text.'"
  "'7 selected.'"
  "'Board Type Macro editable combo box.'"
  "'Voltage Meter panel.'"
  "'Tests panel.'"
  "'Initialize Board push button.'"
  "'Log console read only text.'"
  "'notification Initialize Board: SUCCESS.'"
)
missing=0
for line in "${expected[@]}"; do
  grep -qF "SPEECH OUTPUT: $line" "$spoken" || { echo "Orca did not say $line"; missing=1; }
done
[ "$missing" -eq 0 ] || { echo "Orca said:"; sed 's/^[0-9:.]* - //' "$spoken"; exit 1; }
echo "Orca said every expected line"
