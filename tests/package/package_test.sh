#!/usr/bin/env bash
# The installed tree and the Debian package: every file in its place, no run paths, and the
# installed programs find the driver library beside them when started from another folder.
#   package_test.sh install|deb <build folder> <cmake> <cpack>
set -uo pipefail
mode="$1"
build="$(cd "$2" && pwd)"
cmake_cmd="$3"
cpack_cmd="$4"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-package-test.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Checks an installed tree whose prefix is $1.
check_tree() {
  local prefix="$1"
  for f in bin/vantrel bin/vantrel-session bin/vantrel-metersim bin/vantrel-records; do
    [ -x "$prefix/$f" ] || fail "$f is not installed as a program"
  done
  [ -f "$prefix/lib/vantrel/libbqxdrv.so" ] || fail "the driver library is not in lib/vantrel"
  [ -f "$prefix/share/icons/hicolor/scalable/apps/vantrel.svg" ] || fail "the SVG icon is missing"
  [ -f "$prefix/share/icons/hicolor/48x48/apps/vantrel.png" ] || fail "the 48x48 PNG icon is missing"
  [ -f "$prefix/share/doc/vantrel/operator-guide.md" ] || fail "the operator guide is missing"
  local desktop="$prefix/share/applications/vantrel.desktop"
  if [ -f "$desktop" ]; then
    grep -qx 'Exec=vantrel' "$desktop" || fail "the desktop entry does not start vantrel"
    grep -qx 'Icon=vantrel' "$desktop" || fail "the desktop entry does not name the icon"
    grep -qx 'Type=Application' "$desktop" || fail "the desktop entry is not an application"
  else
    fail "the desktop entry is missing"
  fi
  # Nothing installed looks for libraries anywhere but the system's folders.
  for f in bin/vantrel bin/vantrel-session bin/vantrel-metersim bin/vantrel-records lib/vantrel/libbqxdrv.so; do
    [ -f "$prefix/$f" ] || continue
    if readelf -d "$prefix/$f" | grep -qE '\((RPATH|RUNPATH)\)'; then
      fail "$f carries a run path: $(readelf -d "$prefix/$f" | grep -E 'RPATH|RUNPATH')"
    fi
  done
}

# Starts the installed session in a folder that holds only the settings file: the driver can
# only come from <prefix>/lib/vantrel.
check_driver_found() {
  local prefix="$1" work="$scratch/elsewhere"
  mkdir -p "$work"
  printf 'BASEADD=300\r\nINTERRUPT=7\r\nVOLTMETER=2\r\nBOARDTYPE=27\r\n' > "$work/Vantrel.ini"
  (cd "$work" && env -u LD_LIBRARY_PATH "$prefix/bin/vantrel-session" --color=never init free \
     > "$scratch/out.txt" 2> "$scratch/err.txt")
  local status=$?
  [ "$status" -eq 0 ] || fail "the installed session ended with $status: $(tail -5 "$scratch/out.txt")"
  grep -qF "Orvane Driver version 6.02 initialized..." "$scratch/out.txt" ||
    fail "the installed session did not start the driver: $(head -5 "$scratch/out.txt")"
  grep -qF "Board freed." "$scratch/out.txt" || fail "the installed session did not open and free the board"

  # Without the installed driver the same start reports the missing library.
  mv "$prefix/lib/vantrel" "$prefix/lib/vantrel.away"
  (cd "$work" && "$prefix/bin/vantrel-session" --color=never quit > "$scratch/out2.txt" 2>&1)
  mv "$prefix/lib/vantrel.away" "$prefix/lib/vantrel"
  grep -qF "Failed to initialize the driver" "$scratch/out2.txt" ||
    fail "without lib/vantrel the driver was still found: $(head -5 "$scratch/out2.txt")"
}

case "$mode" in
install)
  "$cmake_cmd" --install "$build" --prefix "$scratch/root/usr" > "$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log" >&2; fail "cmake --install failed"; }
  check_tree "$scratch/root/usr"
  check_driver_found "$scratch/root/usr"
  ;;
deb)
  (cd "$scratch" && "$cpack_cmd" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/pkg" \
     > "$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
  deb="$(ls "$scratch"/pkg/vantrel_*.deb 2>/dev/null | head -1)"
  if [ -z "$deb" ]; then
    fail "no vantrel_*.deb was made"
  else
    arch="$(dpkg --print-architecture)"
    [ "$(basename "$deb")" = "vantrel_$(dpkg-deb -f "$deb" Version)_${arch}.deb" ] ||
      fail "unexpected package file name $(basename "$deb")"
    [ "$(dpkg-deb -f "$deb" Package)" = "vantrel" ] || fail "the package is not named vantrel"
    depends="$(dpkg-deb -f "$deb" Depends)"
    for d in libqt6widgets6 libqt6gui6 qt6-qpa-plugins fonts-liberation; do
      echo "$depends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qx "$d" ||
        fail "the package does not depend on $d (Depends: $depends)"
    done
    dpkg-deb -c "$deb" > "$scratch/contents.txt"
    grep -q ' \./usr/lib/vantrel/libbqxdrv\.so$' "$scratch/contents.txt" ||
      fail "the package does not hold /usr/lib/vantrel/libbqxdrv.so"
    dpkg-deb -x "$deb" "$scratch/debroot"
    check_tree "$scratch/debroot/usr"
    check_driver_found "$scratch/debroot/usr"
  fi
  ;;
*)
  echo "unknown mode $mode" >&2
  exit 2
  ;;
esac

[ "$failures" -eq 0 ] || exit 1
echo "package $mode: passed"
