#!/usr/bin/env bash
# The selection window of the Windows program under Wine: builds a throw-away installation,
# names it in the Wine registry, opens "plavo.exe --query" on a private Xvfb server, keeps a
# screenshot, registers a project with a double-click (xdotool, as the Linux GUI tests do) and
# checks the project ID file.
# Usage: scripts/windows-window.sh [win32|win64] [screenshot.png]
#   (default win64 and build-win64/windows-window.png; build first with scripts/build-windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-win64}
shot=$(realpath -m "${2:-build-$preset/windows-window.png}")
plavo=$PWD/build-$preset/bin/plavo.exe
[ -x "$plavo" ] || { echo "No $plavo: run scripts/build-windows.sh $preset first" >&2; exit 2; }
. scripts/wine-env.sh
wine_env "$preset"

work=$(mktemp -d "${TMPDIR:-/tmp}/plavo-windows-window-XXXXXX")
xvfb_pid="" plavo_pid=""
key="SOFTWARE\\Kestro\\Window-$(basename "$work")"
cleanup() {
  [ -n "$plavo_pid" ] && kill "$plavo_pid" 2>/dev/null || true
  "$WINE" reg delete "HKLM\\$key" /f >/dev/null 2>&1 || true
  wineserver --kill 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
poll() {  # poll TRIES MESSAGE COMMAND...: every 100 ms until COMMAND succeeds
  local tries=$1 message=$2
  shift 2
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  fail "$message"
}

# The installation; Wine shows the Linux root as drive Z:.
me=$(id -un)
install=$work/install
mkdir -p "$install/config" "$install/log/temp"
winpath() { echo "Z:${1//\//\\}"; }
title="Kestro on Windows"
cat >"$install/config/projectmap.kconf" <<MAP
projectmap {
  plavo {
    gui {
      title {
        value=$title
      }
    }
    projects {
      alpha(global) {
      }
      beta(global) {
      }
      abbey(global) {
      }
      abacus(global) {
      }
      gamma {
        type=list
        $me(default)
      }
    }
  }
}
MAP
export KESTRO_ENV=$key
"$WINE" reg add "HKLM\\$key" /v InstallDir /d "$(winpath "$install")" /f >/dev/null
"$WINE" reg add "HKLM\\$key" /v ConfigurationDir /d "$(winpath "$install/config")" /f >/dev/null
wineserver --kill 2>/dev/null || true  # the next start belongs to the display below

: >"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
poll 100 "Xvfb did not start" test -s "$work/display"
export DISPLAY=":$(tr -dc '0-9' <"$work/display")"

(cd "$install" && exec "$WINE" "$plavo" --query) >"$work/plavo.log" 2>&1 &
plavo_pid=$!
window=""
window_shown() {
  window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n1 || true)
  [ -n "$window" ] || { kill -0 "$plavo_pid" 2>/dev/null || fail "plavo.exe ended: $(cat "$work/plavo.log")"; false; }
}
poll 600 "no window titled \"$title\" appeared" window_shown
sleep 2  # painting under Wine: cosmetic only
eval "$(xdotool getwindowgeometry --shell "$window")"
mkdir -p "$(dirname "$shot")"
xwd -root -silent | convert xwd:- -crop "$((WIDTH + 2))x$((HEIGHT + 2))+$((X - 1))+$((Y - 1))" +repage "$shot"
echo "Screenshot: $shot (${WIDTH}x${HEIGHT})"

# Row 4 of the sorted list is beta; rows are counted from the list's first row.
row_y=${PLAVO_ROW_Y:-65} row_h=${PLAVO_ROW_H:-19}
xdotool mousemove --window "$window" 40 $((row_y + row_h * 3)) click --repeat 2 --delay 60 1
ended() { ! kill -0 "$plavo_pid" 2>/dev/null; }
poll 200 "plavo.exe did not end after the double-click" ended
status=0
wait "$plavo_pid" || status=$?
plavo_pid=""
[ "$status" -eq 0 ] || fail "exit code $status"
files=("$install"/log/temp/project_id-*.idval)
[ -f "${files[0]}" ] || fail "no project ID file was written"
echo "Registered: $(basename "${files[0]}"): $(tr '\n' ' ' <"${files[0]}")"
[ "$(tail -n1 "${files[0]}")" = "project=beta" ] || fail "the double-click registered another project"
