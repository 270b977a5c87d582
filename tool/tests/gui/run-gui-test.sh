#!/usr/bin/env bash
# One GUI scenario of the selection window: usage run-gui-test.sh SCENARIO
#
# Builds a throw-away installation (registry hive, project map, log/temp), starts a private
# Xvfb server, runs "plavo --query" on it and drives the window with xdotool. The verdict
# comes from what a user would see afterwards: the project ID file and the exit code. A
# screenshot of the window is kept in $PLAVO_GUI_OUTPUT/SCENARIO/window.png.
#
# Environment (set by CTest): PLAVO (the program), PLAVO_GUI_X (the X helper that waits for
# the window and sends the close-box message), PLAVO_GUI_OUTPUT (where screenshots and logs go).
#
# The waits are for events: Xvfb reporting its display, the window mapped and its event queue
# handled (a _NET_WM_PING round trip, see XWindow.cpp), plavo's end; only the header colour,
# whose painting no event announces, is looked at until it shows. A connection that the X
# server refuses (Xvfb does that under load) is tried again; any other failure fails the
# scenario at once.
set -euo pipefail
scenario=$1
: "${PLAVO:?}" "${PLAVO_GUI_X:?}" "${PLAVO_GUI_OUTPUT:?}"
out="$PLAVO_GUI_OUTPUT/$scenario"
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/plavo-gui-XXXXXX")
xvfb_pid=""
plavo_pid=""
cleanup() {
  [ -n "$plavo_pid" ] && kill "$plavo_pid" 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL ($scenario): $*" >&2
  [ -s "$out/plavo.stderr" ] && { echo "--- plavo stderr:" >&2; cat "$out/plavo.stderr" >&2; }
  exit 1
}

# What Xlib clients (xdotool, xwd, the helper, plavo) print when the server refuses them.
refused() { grep -Eqi 'open display|maximum number of clients' "$1"; }
# Runs an X client; a refused connection is tried again, at most three times in all. Returns
# the client's status; its error output is left in $work/x.stderr.
x_try() {
  local attempt status
  for attempt in 1 2 3; do
    status=0
    "$@" 2>"$work/x.stderr" || status=$?
    [ "$status" -eq 0 ] && return 0
    refused "$work/x.stderr" || return "$status"
    echo "note: the X server refused $1 (attempt $attempt)" >&2
  done
  return "$status"
}
# The same, failing the scenario at once when the client fails.
x() { x_try "$@" || fail "$* failed: $(cat "$work/x.stderr")"; }

me=$(id -un)
install="$work/install"
mkdir -p "$install/config" "$install/log/temp" "$work/registry"
cat > "$work/registry/HKEY_LOCAL_MACHINE.reg" <<HIVE
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]
"InstallDir"="$install"
"ConfigurationDir"="$install/config"
HIVE
export KESTRO_REGISTRY_DIR="$work/registry"
export XDG_SESSION_ID=7
# The project map. Sorted, the projects are: abacus abbey alpha beta gamma; the current user
# may work on all of them, "gamma" is the user's default.
title="Kestro GUI test"
gui_node() {
  printf '    gui {\n'
  [ -n "$title" ] && printf '      title {\n        value=%s\n      }\n' "$title"
  [ -n "${logo:-}" ] && printf '      logo {\n        type=file\n        value=%s\n      }\n' "$logo"
  printf '    }\n'
}
write_map() {
  {
    printf 'projectmap {\n  plavo {\n'
    gui_node
    printf '    projects {\n'
    for project in alpha beta abbey abacus "$@"; do
      printf '      %s(global) {\n      }\n' "$project"
    done
    printf '      gamma {\n        type=list\n        %s(default)\n      }\n' "$me"
    printf '    }\n  }\n}\n'
  } > "$install/config/projectmap.kconf"
}

# Geometry of the window's list: below the 50-pixel header, the body's padding and the list's
# sunken frame, the first row's middle is 65 pixels from the window's top; rows are 19
# pixels high in the toolkit's default font on Xvfb.
row_y() { echo $((65 + 19 * ($1 - 1))); }
row_x=40

# A private X server. The server picks a free display number itself (-displayfd) and writes it
# once it accepts connections: a server that is started on a number already taken can tear
# down the socket of the one that owns it, so no number is ever guessed here.
start_display() {
  mkfifo "$work/display-number"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display-number" 2>"$out/xvfb.log" &
  xvfb_pid=$!
  # The read ends with the number, or at once with nothing when Xvfb exits.
  local number=""
  read -r -t 30 number <"$work/display-number" || true
  [ -n "$number" ] || fail "Xvfb did not report its display: $(tail -n 3 "$out/xvfb.log")"
  export DISPLAY=":$number"
}

# Starts plavo and waits until its window is mapped and has handled its first events; then
# the window must carry the expected title. A plavo that the server refused is started again.
start_plavo() {
  local attempt status
  for attempt in 1 2 3; do
    timeout --kill-after=5 30 "$PLAVO" --query >"$out/plavo.stdout" 2>"$out/plavo.stderr" &
    plavo_pid=$!
    status=0
    window=$(x_try "$PLAVO_GUI_X" ready "$plavo_pid") || status=$?
    [ "$status" -eq 0 ] && break
    # 4: plavo ended; only a plavo that the server refused is started again.
    [ "$status" -eq 4 ] || fail "$(cat "$work/x.stderr")"
    status=0
    wait "$plavo_pid" || status=$?
    plavo_pid=""
    if [ "$attempt" -eq 3 ] || ! refused "$out/plavo.stderr"; then
      fail "plavo ended with exit code $status before its window was ready"
    fi
    echo "note: the X server refused plavo (attempt $attempt)" >&2
  done
  local title
  title=$(x xdotool getwindowname "$window")
  [ "$title" = "$expected_title" ] || fail "the window is titled \"$title\", expected \"$expected_title\""
  x xdotool windowfocus --sync "$window"
}
# Waits until plavo has handled every input sent so far.
settle() { x "$PLAVO_GUI_X" ready "$plavo_pid" >/dev/null; }

# The window as shown now, in $out/window.png.
capture() {
  x xwd -root -silent >"$work/screen.xwd"
  convert "xwd:$work/screen.xwd" -crop "$window_geometry" +repage "$out/window.png" ||
    fail "cannot convert the screenshot"
}
# A screenshot for the person reading the results; no verdict depends on it.
screenshot() { settle; capture; }
remember_geometry() {
  local geometry
  geometry=$(x xdotool getwindowgeometry --shell "$window")
  eval "$geometry"
  window_geometry="$((WIDTH + 2))x$((HEIGHT + 2))+$((X - 1))+$((Y - 1))"
  win_w=$WIDTH
}

click_row() { x xdotool mousemove --window "$window" "$row_x" "$(row_y "$1")" click "${@:2}" 1; }
double_click_row() { click_row "$1" --repeat 2 --delay 60; }
click_ok() {
  # The OK button sits at the right end of the row below the list.
  local geometry
  geometry=$(x xdotool getwindowgeometry --shell "$window")
  eval "$geometry"
  x xdotool mousemove --window "$window" $((WIDTH - 25)) $((HEIGHT - 4 - 14 - 12)) click 1
}
close_box() { x "$PLAVO_GUI_X" close "$window"; }

# Waits for plavo to end and checks its exit code.
expect_exit() {
  local status=0
  wait "$plavo_pid" || status=$?
  plavo_pid=""
  [ "$status" -ne 124 ] || fail "plavo did not end within 30 s"
  [ "$status" -eq "$1" ] || fail "exit code $status, expected $1"
}
# The project ID file holds "time=<ms>\nproject=<name>"; compares the name byte for byte.
expect_project() {
  local files=("$install"/log/temp/project_id-"$me"-*.idval)
  [ -f "${files[0]}" ] || fail "no project ID file was written"
  printf 'project=%s' "$1" > "$work/expected"
  tail -n1 "${files[0]}" > "$work/actual"
  cmp -s "$work/expected" "$work/actual" ||
    fail "registered $(od -c "$work/actual" | head -n2), expected project=$1"
  head -n1 "${files[0]}" | grep -Eq '^time=[0-9]+$' || fail "bad time line in the ID file"
}

# Writes the map, starts the display and plavo, and keeps a screenshot (unless the scenario
# takes its own after typing).
open_window() {
  write_map "$@"
  start_display; start_plavo; remember_geometry
  [ -n "${later_screenshot:-}" ] || screenshot
}
# The header near the window's right end must show colour $1 (what shows there is $2). The
# toolkit paints when its event queue is empty, which no X event announces: the screen is
# looked at until the colour shows, for at most 10 s.
expect_header_pixel() {
  local pixel deadline=$((SECONDS + 10))
  settle
  while :; do
    capture
    pixel=$(convert "$out/window.png" -crop "1x1+$((win_w - 20))+25" -depth 8 txt:- | tail -n1)
    grep -qi "$1" <<<"$pixel" && break
    [ "$SECONDS" -lt "$deadline" ] || fail "$2 is not shown in the header (pixel: $pixel)"
  done
  echo "header pixel: $pixel" > "$out/header-pixel.txt"
}
# The last steps of most scenarios: a double-click on a row, exit code 0 and the project.
pick_row() { double_click_row "$1"; expect_exit 0; expect_project "$2"; }

expected_title=$title
case "$scenario" in
double-click)
  # The map's title on the window (every scenario checks it); the eligible projects in
  # ascending order (row 4 is beta), picked with a double-click.
  open_window; pick_row 4 beta
  ;;
filter-moves-and-disables)
  # Typing "al" moves alpha to the top; the others are disabled, and a double-click on one
  # of them does nothing. The later double-click on row 1 then picks alpha.
  later_screenshot=1 open_window
  x xdotool type --delay 40 "al"
  screenshot
  double_click_row 2
  pick_row 1 alpha
  ;;
click-then-close-box)
  later_screenshot=1 open_window
  click_row 4
  screenshot
  close_box
  expect_exit 0; expect_project beta
  ;;
ok-before-and-after-click)
  # OK with nothing clicked leaves the window open (else the default, gamma, would be
  # registered); OK after a click on a row registers that row's project.
  open_window
  click_ok
  click_row 2
  click_ok
  expect_exit 0; expect_project abbey
  ;;
arrows-then-ok)
  # Keyboard selection alone picks nothing: OK does nothing, the close box then registers
  # the user's default project.
  later_screenshot=1 open_window
  x xdotool key shift+Tab Down Down Down
  screenshot
  click_ok
  close_box
  expect_exit 0; expect_project gamma
  ;;
byte-above-127)
  # A project named "caf" + byte 0xE9 is shown as that character and registered unchanged.
  open_window "$(printf 'caf\351')"
  pick_row 5 "$(printf 'caf\351')"  # abacus abbey alpha beta caf\351 gamma
  ;;
map-logo)
  # The map's logo (a red 300 x 50 PNG) replaces the built-in banner at the window's top.
  convert -size 300x50 xc:'#ff0000' "$install/config/redlogo.png"
  logo="$install/config/redlogo.png"
  open_window
  expect_header_pixel '#FF0000' "the logo"
  pick_row 1 abacus
  ;;
unreadable-logo)
  # A logo file the toolkit cannot read: the built-in banner is shown instead (its right end
  # is the teal block behind the name).
  printf 'not a picture' > "$install/config/broken.png"
  logo="$install/config/broken.png"
  open_window
  expect_header_pixel '#1F6F78' "the built-in banner"
  pick_row 2 abbey
  ;;
*)
  fail "unknown scenario"
  ;;
esac
echo "PASS ($scenario)"
