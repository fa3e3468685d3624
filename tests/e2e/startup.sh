#!/usr/bin/env bash
# End-to-end checks of the real program in a real X server (Xvfb): it starts
# from any folder, opens its window, creates its library beside itself,
# closes in order on SIGTERM, and leaves with code 0 (creating nothing) after
# telling the user when its skin container is missing - by the desktop's
# dialog, or by a box of its own where there is no dialog program.
source "$(dirname "$0")/lib/common.sh"
e2e_begin jle2e Xvfb xdotool xwininfo import convert
need_app
start_xvfb
copy_app
rm -rf "$WORK/app/Library"

echo "-- starts from another folder and opens its window"
mkdir -p "$WORK/elsewhere"
( cd "$WORK/elsewhere" && exec "$WORK/app/jamloom" ) >"$LOG" 2>&1 &
PID=$!
wait_for 60 _main_window && wait_log 'Jamloom: ready' 60
[ -n "$WIN" ] && ok "window 'Jamloom 2.0' is open" || bad "no window"
for d in Song Images Synth Jls; do
  [ -d "$WORK/app/Library/$d" ] && ok "Library/$d created beside the program" || bad "Library/$d missing"
done
[ ! -e "$WORK/elsewhere/Library" ] && ok "nothing created in the starting folder" || bad "Library created in the starting folder"
[ -f "$XDG_CONFIG_HOME/jamloom/path" ] && grep -qx "$WORK/app/" "$XDG_CONFIG_HOME/jamloom/path" \
  && ok "application folder file written" || bad "application folder file"
[ -f "$XDG_DATA_HOME/mime/packages/jamloom.xml" ] && ok "document type registered" || bad "document type"
# The design area is painted, the border around it is black.
centre=""; corner=""
drawn() {
  shot first
  centre=$(convert "$WORK/first.png" -format '%[pixel:p{640,500}]' info: 2>/dev/null)
  corner=$(convert "$WORK/first.png" -format '%[pixel:p{2,2}]' info: 2>/dev/null)
  [ -n "$centre" ] && [ "$centre" != "$corner" ]
}
if wait_for 10 drawn; then ok "design area drawn ($centre on $corner)"; else bad "window not drawn ($centre)"; fi
check 'xprop -id "$WIN" _NET_WM_ICON 2>/dev/null | has "Icon (64 x 64)"' "the window shows the program's icon"

echo "-- SIGTERM closes in order"
stop_app
check '[ "$RC" -eq 0 ]' "exit code 0 (got $RC)"
# The desktop's caches are rebuilt before the program leaves.
check '[ -f "$XDG_DATA_HOME/icons/hicolor/48x48/apps/jamloom.png" ] && [ -f "$XDG_DATA_HOME/icons/hicolor/scalable/mimetypes/application-x-jamloom-mix.svg" ]' \
  "icons registered for the user"
if command -v update-mime-database >/dev/null && command -v update-desktop-database >/dev/null; then
  check '[ -f "$XDG_DATA_HOME/mime/application/x-jamloom-mix.xml" ]' "the user's mime database knows the mix type"
  check 'grep -q "^application/x-jamloom-mix=jamloom.desktop" "$XDG_DATA_HOME/applications/mimeinfo.cache"' \
    "the user's desktop database opens mixes with Jamloom"
else
  skip "the desktop databases: update-mime-database or update-desktop-database is not installed"
fi

echo "-- a second start changes nothing"
# (The one-copy lock holds the process number of the copy that runs.)
changed_files() { find "$WORK/app" "$HOME" -newer "$XDG_CONFIG_HOME/jamloom/path" ! -name .Jamloom.lock | wc -l; }
before=$(changed_files)
start_app "$WORK/app/jamloom"
check '[ -n "$WIN" ]' "window open again"
stop_app
after=$(changed_files)
[ "$before" = "$after" ] && ok "no file changed" || bad "files changed on a second start"

# Without its skin the program has no window; the warning comes before it.
bare_start() {
  rm -rf "$WORK/bare"
  mkdir -p "$WORK/bare"
  cp "$WORK/app/jamloom" "$WORK/bare/"
  : >"$LOG"
  WIN=""
  ( cd "$WORK/bare" && PATH=${APP_PATH:-$PATH} exec ./jamloom ) >>"$LOG" 2>&1 &
  PID=$!
}
bare_checks() {  # how the box is expected to be shown: zenity, window, or sdl-or-window
  local want=$1
  if wait_box 30; then
    box_answer default || bad "the box took no answer"
    # SDL's own box needs X core fonts; where it cannot show, the program
    # draws the box itself. SDL's attempt is logged as offered before it
    # fails, and on a busy machine the failure can come after a first look
    # found it, so which one held the box is read once it was answered.
    if [ "$want" = sdl-or-window ]; then
      want=sdl
      if grep -q "^message box: sdl failed: " "$LOG"; then
        want=window
        ok "SDL's box could not show; its reason is logged"
      fi
    fi
    ok "a warning box is shown (by $BOX_STEP)"
    [ "$BOX_STEP" = "$want" ] && ok "shown by $want" || bad "answered in $BOX_STEP, not $want"
  else
    bad "no warning box"
  fi
  if wait_exit 20; then
    check '[ "$RC" -eq 0 ]' "exit code 0 (got $RC)"
  else
    bad "still running after the warning"
    stop_app
  fi
  grep -q "Can't find 'Jamloom.xrs' file. Can't continue." "$LOG" && ok "the message names the file" || bad "message missing"
  [ "$(ls "$WORK/bare")" = "jamloom" ] && ok "nothing created" || bad "created: $(ls "$WORK/bare")"
}

echo "-- without the skin container"
bare_start
if command -v zenity >/dev/null; then bare_checks zenity; else bare_checks window; fi

echo "-- without the skin container, no dialog program"
APP_PATH=$(path_without_dialogs) bare_start
bare_checks sdl-or-window
check '_log_has "message box: zenity failed: zenity is not installed"' "the missing zenity is logged"

echo "-- a display that answers late, and one that never answers"
late=""
for n in $(seq 850 949); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { late=$n; break; }
done
if [ -n "$late" ]; then
  ( unset WAYLAND_DISPLAY SDL_VIDEODRIVER; export DISPLAY=":$late"; cd "$WORK/app" && exec timeout 60 ./jamloom ) \
    >"$WORK/late.log" 2>&1 &
  late_pid=$!
  wait_for 20 grep -q "does not answer yet" "$WORK/late.log" && ok "waits for a named display that is not up yet" \
    || bad "no wait for the display: $(head -c 300 "$WORK/late.log")"
  Xvfb ":$late" -screen 0 1280x1024x24 -nolisten tcp >"$WORK/late-xvfb.log" 2>&1 &
  late_x=$!
  wait_for 30 grep -q "Jamloom: ready" "$WORK/late.log" && ok "starts once the display answers" \
    || bad "did not start on the late display: $(tail -c 300 "$WORK/late.log")"
  kill -KILL "$late_pid" 2>/dev/null
  kill "$late_x" 2>/dev/null
  wait "$late_x" 2>/dev/null
  ( unset WAYLAND_DISPLAY SDL_VIDEODRIVER; export DISPLAY=":$late"; cd "$WORK/app" && exec timeout 20 ./jamloom ) \
    >"$WORK/never.log" 2>&1
  rc=$?
  [ $rc -ne 124 ] && ok "gives up on a display that never answers (code $rc)" || bad "still waiting for a dead display"
  grep -q "cannot be opened\|cannot open the display" "$WORK/never.log" && ok "says the display cannot be opened" \
    || bad "no message for a dead display: $(tail -c 300 "$WORK/never.log")"
else
  skip "no free display number for the late display"
fi

echo "-- without a display"
( unset DISPLAY WAYLAND_DISPLAY SDL_VIDEODRIVER; cd "$WORK/app" && exec timeout 20 ./jamloom ) >"$WORK/nodisplay.log" 2>&1
rc=$?
[ $rc -eq 1 ] && ok "leaves at once with code 1" || bad "exit code $rc without a display"
grep -q "no display found" "$WORK/nodisplay.log" && ok "says there is no display" || bad "no message without a display"

e2e_end
