#!/usr/bin/env bash
# End-to-end checks of the real program in a real X server (Xvfb): it starts
# from any folder, opens its window, creates its library beside itself,
# closes in order on SIGTERM, and leaves with code 0 (creating nothing) when
# its skin container is missing.
set -uo pipefail
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
APP=${JL_APP:-$ROOT/build/app}
WORK=$(mktemp -d /tmp/jle2e.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
PASS=0
FAIL=0
ok() { echo "  ok: $*"; PASS=$((PASS + 1)); }
bad() { echo "  FAILED: $*"; FAIL=$((FAIL + 1)); }

if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
  echo "Xvfb or xdotool missing"; exit 1
fi

export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/data XDG_CONFIG_HOME=$WORK/home/config
mkdir -p "$HOME"
unset SDL_VIDEODRIVER
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$WORK/audio.raw

DISPLAY_NUM=$(( 90 + RANDOM % 100 ))
Xvfb ":$DISPLAY_NUM" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
export DISPLAY=":$DISPLAY_NUM"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

# A copy of the program folder, so the checks start from a clean library.
cp -r "$APP" "$WORK/app"
rm -rf "$WORK/app/Library"

echo "-- starts from another folder and opens its window"
mkdir -p "$WORK/elsewhere"
( cd "$WORK/elsewhere" && exec "$WORK/app/jamloom" ) >"$WORK/run1.log" 2>&1 &
PID=$!
WIN=""
for _ in $(seq 100); do
  WIN=$(xdotool search --name "^Jamloom 2.0$" 2>/dev/null | head -n 1)
  [ -n "$WIN" ] && break
  sleep 0.1
done
[ -n "$WIN" ] && ok "window 'Jamloom 2.0' is open" || bad "no window"
for d in Song Images Synth Jls; do
  [ -d "$WORK/app/Library/$d" ] && ok "Library/$d created beside the program" || bad "Library/$d missing"
done
[ ! -e "$WORK/elsewhere/Library" ] && ok "nothing created in the starting folder" || bad "Library created in the starting folder"
[ -f "$XDG_CONFIG_HOME/jamloom/path" ] && grep -qx "$WORK/app/" "$XDG_CONFIG_HOME/jamloom/path" \
  && ok "application folder file written" || bad "application folder file"
[ -f "$XDG_DATA_HOME/mime/packages/jamloom.xml" ] && ok "document type registered" || bad "document type"
sleep 0.5
import -window root "$WORK/shot.png" 2>/dev/null
# The design area is painted, the border around it is black.
centre=$(convert "$WORK/shot.png" -format '%[pixel:p{640,500}]' info: 2>/dev/null)
corner=$(convert "$WORK/shot.png" -format '%[pixel:p{2,2}]' info: 2>/dev/null)
[ "$centre" != "$corner" ] && ok "design area drawn ($centre on $corner)" || bad "window not drawn ($centre)"

echo "-- SIGTERM closes in order"
kill -TERM "$PID" 2>/dev/null
for _ in $(seq 50); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$PID" 2>/dev/null; then
  bad "still running after SIGTERM"; kill -KILL "$PID"
else
  wait "$PID"; rc=$?
  [ $rc -eq 0 ] && ok "exit code 0" || bad "exit code $rc"
fi

echo "-- a second start changes nothing"
before=$(find "$WORK/app" "$HOME" -newer "$XDG_CONFIG_HOME/jamloom/path" | wc -l)
"$WORK/app/jamloom" >"$WORK/run2.log" 2>&1 &
PID=$!
sleep 1.5
kill -TERM "$PID"; wait "$PID"
after=$(find "$WORK/app" "$HOME" -newer "$XDG_CONFIG_HOME/jamloom/path" | wc -l)
[ "$before" = "$after" ] && ok "no file changed" || bad "files changed on a second start"

echo "-- without the skin container"
mkdir -p "$WORK/bare"
cp "$WORK/app/jamloom" "$WORK/bare/"
( cd "$WORK/bare" && exec timeout 30 ./jamloom ) >"$WORK/bare.log" 2>&1 &
PID=$!
BOX=""
for _ in $(seq 100); do
  # SDL names its boxes with a UTF-8 WM_NAME, which xdotool's search skips.
  BOX=$(xwininfo -root -tree 2>/dev/null | awk '/"Warning"/ {print $1; exit}')
  [ -n "$BOX" ] && break
  sleep 0.1
done
[ -n "$BOX" ] && ok "a warning box is shown" || bad "no warning box"
sleep 0.3
[ -n "$BOX" ] && xdotool windowfocus "$BOX" key Return
wait "$PID"; rc=$?
[ $rc -eq 0 ] && ok "exit code 0" || bad "exit code $rc"
grep -q "Can't find 'Jamloom.xrs' file. Can't continue." "$WORK/bare.log" && ok "the message names the file" || bad "message missing"
[ "$(ls "$WORK/bare")" = "jamloom" ] && ok "nothing created" || bad "created: $(ls "$WORK/bare")"

echo "-- without a display"
( unset DISPLAY WAYLAND_DISPLAY SDL_VIDEODRIVER; cd "$WORK/app" && exec timeout 20 ./jamloom ) >"$WORK/nodisplay.log" 2>&1
rc=$?
[ $rc -eq 1 ] && ok "leaves at once with code 1" || bad "exit code $rc without a display"
grep -q "no display found" "$WORK/nodisplay.log" && ok "says there is no display" || bad "no message without a display"

kill "$XVFB" 2>/dev/null
echo
echo "e2e: $PASS passed, $FAIL failed"
[ "$FAIL" -eq 0 ]
