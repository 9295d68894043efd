#!/usr/bin/env bash
# The installed tree and the Debian package: every file in its place, no run paths, the
# installed programs find the driver library beside them when started from another folder,
# and the package keeps Debian's conventions (lintian, manual pages, --help and --version,
# desktop entry, AppStream metadata, bash completion).
#   package_test.sh install|deb <build folder> <cmake> <cpack> <version>
set -uo pipefail
mode="$1"
build="$(cd "$2" && pwd)"
cmake_cmd="$3"
cpack_cmd="$4"
version="$5"
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"

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

# Every installed program answers --version and --help without a display (a program that
# opened a window here would fail), rejects an unknown option in one line with status 2, and
# has a manual page that renders without warnings and documents the options of its --help.
run_without_display() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$@" \
    > "$scratch/out.txt" 2> "$scratch/err.txt"
}

check_programs() {
  local prefix="$1" exe name status page count=0
  for exe in "$prefix"/bin/*; do
    name="$(basename "$exe")"
    count=$((count + 1))
    run() { run_without_display "$exe" "$@"; }
    run --version
    status=$?
    [ "$status" -eq 0 ] || fail "$name --version ended with $status: $(head -3 "$scratch/err.txt")"
    [ "$(head -1 "$scratch/out.txt")" = "$name (Vantrel) $version" ] ||
      fail "$name --version printed \"$(head -1 "$scratch/out.txt")\", not \"$name (Vantrel) $version\""
    run --help
    status=$?
    [ "$status" -eq 0 ] || fail "$name --help ended with $status: $(head -3 "$scratch/err.txt")"
    grep -q "^Usage: $name\b" "$scratch/out.txt" || fail "$name --help does not begin with its usage"
    cp "$scratch/out.txt" "$scratch/help.txt"
    run --no-such-option
    status=$?
    [ "$status" -eq 2 ] || fail "$name --no-such-option ended with $status, not 2"
    [ "$(wc -l < "$scratch/err.txt")" -eq 1 ] && grep -q "^$name: .*--no-such-option" "$scratch/err.txt" ||
      fail "$name --no-such-option did not say so in one line: $(cat "$scratch/err.txt")"
    [ ! -s "$scratch/out.txt" ] || fail "$name --no-such-option wrote to standard output"

    page="$prefix/share/man/man1/$name.1.gz"
    if [ ! -f "$page" ]; then
      fail "$name has no manual page"
      continue
    fi
    MANWIDTH=80 man --warnings -l "$page" > "$scratch/page.txt" 2> "$scratch/man.err"
    [ ! -s "$scratch/man.err" ] || fail "the manual page of $name renders with warnings: $(head -5 "$scratch/man.err")"
    grep -A1 '^NAME' "$scratch/page.txt" | tail -1 | grep -q "^ *$name - [a-z]" ||
      fail "the manual page of $name has no NAME line \"$name - ...\""
    grep -oE '^  (-[a-z], )?--[a-z-]+' "$scratch/help.txt" | sed 's/.* //' | while read -r option; do
      grep -qF -- "$option" "$scratch/page.txt" || echo "$option"
    done > "$scratch/missing.txt"
    [ ! -s "$scratch/missing.txt" ] ||
      fail "the manual page of $name lacks $(tr '\n' ' ' < "$scratch/missing.txt")"
  done
  [ "$count" -ge 3 ] || fail "only $count programs are installed"
  for page in "$prefix"/share/man/man1/*; do
    [ -x "$prefix/bin/$(basename "$page" .1.gz)" ] || fail "$(basename "$page") documents no installed program"
  done
}

# The desktop entry and the AppStream metadata pass their validators; the metadata names the
# release being installed, every installed program and a picture of the operator guide.
check_desktop_metadata() {
  local prefix="$1" exe shot
  local metainfo="$prefix/share/metainfo/invalid.vantrel.vantrel.metainfo.xml"
  desktop-file-validate "$prefix/share/applications/vantrel.desktop" > "$scratch/validate.txt" 2>&1
  [ $? -eq 0 ] && [ ! -s "$scratch/validate.txt" ] ||
    fail "desktop-file-validate: $(cat "$scratch/validate.txt")"
  appstreamcli validate --no-net "$metainfo" > "$scratch/validate.txt" 2>&1 ||
    fail "appstreamcli validate --no-net: $(cat "$scratch/validate.txt")"
  grep -qF "<release version=\"$version\"" "$metainfo" || fail "the AppStream metadata does not name release $version"
  for exe in "$prefix"/bin/*; do
    grep -qF "<binary>$(basename "$exe")</binary>" "$metainfo" ||
      fail "the AppStream metadata does not list $(basename "$exe")"
  done
  shot="$(sed -n 's|.*<image[^>]*>[^<]*/\([^/<]*\.png\)</image>.*|\1|p' "$metainfo")"
  [ -n "$shot" ] && [ -f "$prefix/share/doc/vantrel/images/$shot" ] ||
    fail "the AppStream screenshot \"$shot\" is not a picture of the operator guide"
}

# bash-completion loads the installed completion of vantrel-session, and what it offers is
# what vantrel-session --help lists: the actions, the options, their choices and the models.
check_completion() {
  local prefix="$1" help="$scratch/session-help.txt"
  "$prefix/bin/vantrel-session" --help > "$help"
  # The words of the help: "name" and "name=" for "name[=a|b]", "name=" for "name=VALUE";
  # and the choices "name=a|b" where the help lists them.
  awk '/^  [-a-z]/ {
         w = $1; if (w ~ /,$/) w = $2
         if (w == "-h") next
         if (i = index(w, "[=")) { n = substr(w, 1, i - 1); print n > words; print n "=" > words }
         else if (i = index(w, "=")) print substr(w, 1, i) > words
         else print w > words
         gsub(/[][]/, "", w)
         if (w ~ /=[a-z0-9]+(\|[a-z0-9]+)+$/) print w > choices
       }' words="$scratch/words.txt" choices="$scratch/choices.txt" "$help"
  { sed -n '/kBoardModels\[kBoardModelCount\] = {/,/^};/p' "$source_dir/src/board/BoardTable.h" |
      grep -oE '^ *\{"[A-Za-z0-9 ]+"' | grep -oE '"[A-Za-z0-9 ]+"' |
      tr -d '"' | tr '\n' '|' | sed 's/|$//; s/^/board=/'; echo; } >> "$scratch/choices.txt"

  XDG_DATA_DIRS="$prefix/share" bash -c '
    source /usr/share/bash-completion/bash_completion
    __load_completion vantrel-session || { echo "no completion is loaded for vantrel-session"; exit 1; }
    complete -p vantrel-session | grep -q -- "-F _vantrel_session" || exit 1
    offer() {
      COMP_WORDS=(vantrel-session "$@"); COMP_CWORD=$#; COMPREPLY=()
      _vantrel_session
      printf "%s\n" "${COMPREPLY[@]}" | sort
    }
    want="$(sort -u "$1")"
    got="$( (offer ""; offer -) | sort -u)"
    [ "$got" = "$want" ] ||
      { echo "the words offered differ from the help:"; diff <(echo "$got") <(echo "$want"); }
    while IFS="=" read -r name values; do
      got="$(offer "$name" = "" | tr "\n" "|" | sed "s/|$//")"
      want="$(echo "$values" | tr "|" "\n" | sort | tr "\n" "|" | sed "s/|$//")"
      [ "$got" = "$want" ] || echo "$name= offers [$got], the help or the models say [$want]"
    done < "$2"
    [ -z "$(offer init quit "")" ] || echo "words are offered after quit"
  ' completion "$scratch/words.txt" "$scratch/choices.txt" > "$scratch/completion.txt" 2>&1
  [ $? -eq 0 ] && [ ! -s "$scratch/completion.txt" ] ||
    fail "bash completion of vantrel-session: $(cat "$scratch/completion.txt")"
}

# In a hardened build (the release preset) every installed program and library carries the
# distribution's hardening (hardening-check); fortified functions come only with an optimised
# build without sanitizers.
hardened_build() { grep -qx 'VANTREL_HARDEN:BOOL=ON' "$build/CMakeCache.txt"; }

optimised_build() {
  grep -qE '^CMAKE_BUILD_TYPE:STRING=(Release|RelWithDebInfo|MinSizeRel)$' "$build/CMakeCache.txt" &&
    ! grep -qE '^VANTREL_(SANITIZE|TSAN|FUZZ):BOOL=ON$' "$build/CMakeCache.txt"
}

check_hardening() {
  # Branch protection (CET) is no part of the distribution's flags on Debian 12.
  local prefix="$1" f options=(--nocfprotection)
  hardened_build || return 0
  optimised_build || options+=(--nofortify)
  for f in "$prefix"/bin/* "$prefix"/lib/vantrel/*.so; do
    hardening-check "${options[@]}" "$f" > "$scratch/hardening.txt" 2>&1 ||
      fail "hardening-check $(basename "$f"): $(grep -v ': yes' "$scratch/hardening.txt" | tr '\n' ' ')"
  done
}

case "$mode" in
install)
  "$cmake_cmd" --install "$build" --prefix "$scratch/root/usr" > "$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log" >&2; fail "cmake --install failed"; }
  check_tree "$scratch/root/usr"
  check_driver_found "$scratch/root/usr"
  check_programs "$scratch/root/usr"
  check_desktop_metadata "$scratch/root/usr"
  check_completion "$scratch/root/usr"
  check_hardening "$scratch/root/usr"
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

    # Debian's own checker finds nothing to complain about.
    lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb" > "$scratch/lintian.txt" 2>&1 ||
      fail "lintian: $(grep -v 'running with root privileges' "$scratch/lintian.txt")"
    ! grep -qE '^[EW]: ' "$scratch/lintian.txt" || fail "lintian: $(grep -E '^[EW]: ' "$scratch/lintian.txt")"
    # Nor any hardening note (fortified functions aside in a build that cannot have them).
    if hardened_build; then
      hardening_notes="$(grep -E '^[EWI]: .* hardening-' "$scratch/lintian.txt" |
        { if optimised_build; then cat; else grep -v 'hardening-no-fortify-functions'; fi; })"
      [ -z "$hardening_notes" ] || fail "lintian's hardening notes: $hardening_notes"
    fi
    check_hardening "$scratch/debroot/usr"
    # The changelog's latest entry is this package's version.
    zcat "$scratch/debroot/usr/share/doc/vantrel/changelog.gz" > "$scratch/changelog" ||
      fail "the changelog is not a gzip file"
    [ "$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)" = "$(dpkg-deb -f "$deb" Version)" ] ||
      fail "the changelog's latest entry is not version $(dpkg-deb -f "$deb" Version)"
  fi
  ;;
*)
  echo "unknown mode $mode" >&2
  exit 2
  ;;
esac

[ "$failures" -eq 0 ] || exit 1
echo "package $mode: passed"
