#!/usr/bin/env bash
# End-to-end checks of the real program under Xvfb against hostile files and
# faults around them: a FIFO in place of loop files, a second copy started on
# the same library, a skin container cut short, and the program killed
# (SIGKILL) in the middle of saving a mix and the preferences. Each time the
# program keeps running or leaves with a message, and a checksum of every
# file outside the library and of the library's other files is unchanged.
#
# Needs Xvfb, xdotool, xwininfo, ImageMagick, python3 and strace (which kills
# the program at an exact system call of the save). JL_APP points at a built
# program folder (default build/app).
source "$(dirname "$0")/lib/common.sh"
e2e_begin jlhostile Xvfb xdotool xwininfo import convert compare python3 strace
need_app demo
chooser_standin
start_xvfb
copy_app

# Files the user owns beside the program, which nothing may touch.
mkdir -p "$WORK/outside/sub" "$WORK/docs"
echo "thesis" >"$WORK/outside/thesis.txt"
head -c 4096 /dev/urandom >"$WORK/outside/sub/photo.jpg"
ln -s "$WORK/outside" "$WORK/app/Library/outside-link"

# Checksums: outside the program folder (the user's files and home), and
# the program folder without what the program itself may write there (its
# preferences, the library's lock, a leftover temporary of an interrupted
# save).
sum_outside() {
  # A killed save leaves its temporary until the next save to that name;
  # the GL driver keeps a shader cache of its own under HOME.
  (cd "$WORK" && find outside docs home -type f ! -name '*.tmp*' ! -name '.*.jltmp-*' ! -path '*/mesa_shader_cache/*' \
    -print0 | sort -z | xargs -0 -r sha256sum) | sha256sum
}
sum_library() {
  (cd "$WORK/app" && find . -type f ! -name 'Jamloom.prf' ! -name '.Jamloom.lock' ! -name '*.saving' \
    ! -name '*.tmp*' ! -name '.*.jltmp-*' -print0 | sort -z | xargs -0 -r sha256sum) | sha256sum
}

# Starts a program that is expected to show a box before any window: its
# output goes to $LOG, PID is set.
start_bare() {
  : >"$LOG"
  ( cd "$WORK" && exec "$1" ) >>"$LOG" 2>&1 &
  PID=$!
}
# leaves WHAT : the program ends by itself with exit code 0 within 20 s.
leaves() {
  if wait_exit 20; then
    check '[ "$RC" -eq 0 ]' "$1 (exit code $RC)"
  else
    bad "$1: still running"
    kill -KILL "$PID"
    PID=""
  fi
}
# A mix document that reads to its end: the magic, then tag-length atoms
# that end exactly at the end of the file.
whole_document() {
  python3 - "$1" <<'EOF'
import struct, sys
b = open(sys.argv[1], 'rb').read()
ok = len(b) >= 4
at = 4
while ok and at < len(b):
    ok = at + 8 <= len(b)
    if ok:
        n = struct.unpack('<i', b[at + 4:at + 8])[0]
        ok = n >= 0 and at + 8 + n <= len(b)
        at += 8 + n
sys.exit(0 if ok and at == len(b) else 1)
EOF
}
# Attaches strace to every thread of the program so that it dies by SIGKILL
# at the first call of the given system calls.
kill_at() {
  strace -qq -f -o /dev/null -e trace="$1" -e inject="$1":signal=KILL -p "$PID" 2>/dev/null &
  wait_for 10 _traced
}
_traced() { [ "$(awk '/^TracerPid:/ {print $2}' "/proc/$PID/status" 2>/dev/null)" != 0 ]; }

# A first run writes the preferences and the desktop files; from here on the
# checksums hold.
start_app "$WORK/app/jamloom"
check '[ -n "$WIN" ] && alive' "the program starts beside a link to a folder outside"
stop_app
OUTSIDE=$(sum_outside)
LIBRARY=$(sum_library)

# ------------------------------------------------------------------ cases
echo "-- FIFOs in place of loop files"
song=$WORK/app/Library/Song/NeonBoulevard
for f in "$song"/kick0*.wav; do rm -f "$f" && mkfifo "$f"; done
start_app "$WORK/app/jamloom"
load_song 1                      # Neon Boulevard: kick (now FIFOs), clap, hats, perc
answer_box 10                    # the load names the kicks that cannot be played
play_a_second
play_a_second
first=$(level)
xdotool keydown i key plus keyup i   # track 1 takes another kick: a FIFO again
box_ready && box_answer default
play_a_second
xdotool keydown o key plus keyup o   # track 2 changes loop: still answered
box_ready && box_answer default
play_a_second
after=$(level)
check 'alive' "the program keeps running"
check '[ "$first" -gt 200 ] && [ "$after" -gt 200 ]' "the other loops play (rms $first, then $after)"
check 'grep -q "^message box: ask: .*4 of this song.s loops cannot be played: kick:Four, kick:Deep, kick:Skip, kick:Fill\." "$LOG"' \
  "the load names the four FIFOs in one message"
check '[ "$(grep -c "^message box: ask: .*kick:" "$LOG")" -eq 1 ]' "playing them does not name them again"
t0=$(date +%s)
stop_app
check '[ "$RC" -eq 0 ]' "SIGTERM ends it in order (exit code $RC, $(( $(date +%s) - t0 )) s)"
for f in "$song"/kick0*.wav; do rm -f "$f"; done
cp "$APP/Library/Song/NeonBoulevard/"kick0*.wav "$song/"

echo "-- two copies on one library"
start_app "$WORK/app/jamloom"
FIRST=$PID
FIRST_LOG=$LOG
before=$(sum_library)
lock=$(cat "$WORK/app/Library/.Jamloom.lock" 2>/dev/null)
prefs=$(sha256sum <"$WORK/app/Jamloom.prf")
LOG=$WORK/second.log
WIN=""
start_bare "$WORK/app/jamloom"
# It reaches the running copy and brings its window to the front.
leaves "the second copy leaves cleanly"
check 'grep -q "already running; its window was brought to the front" "$LOG"' \
  "the second copy raises the running copy's window instead"
check '[ "$(xdotool search --onlyvisible --name "$JL_WINDOW_NAME" | wc -l)" -eq 1 ]' "the second copy opened no window"
# Another program folder whose library is a link to the same one.
mkdir -p "$WORK/app2"
cp "$WORK/app/jamloom" "$WORK/app/"*.xrs "$WORK/app/Helps.txt" "$WORK/app2/"
ln -s "$WORK/app/Library" "$WORK/app2/Library"
LOG=$WORK/third.log
# It cannot reach the running copy (another runtime folder), so the lock
# on the library is what stops it, and the user is told.
mkdir -p -m 700 "$WORK/run-other"
XDG_RUNTIME_DIR=$WORK/run-other start_bare "$WORK/app2/jamloom"
told=0
wait_box 30 && told=1
check '[ $told -eq 1 ] && grep -q "Another copy of Jamloom" "$LOG"' "a copy in another folder sharing the library, out of reach of the running one, is told the library is in use (by ${BOX_STEP:-nothing})"
[ $told -eq 1 ] && box_answer default
leaves "it leaves cleanly"
check '[ ! -e "$WORK/app2/Jamloom.prf" ]' "and writes no preferences"
rm -rf "$WORK/app2"
PID=$FIRST
LOG=$FIRST_LOG
check 'alive' "the first copy keeps running"
check '[ "$(sum_library)" = "$before" ] && [ "$(cat "$WORK/app/Library/.Jamloom.lock")" = "$lock" ]' \
  "the second copy changed no file of the first"
check '[ "$(sha256sum <"$WORK/app/Jamloom.prf")" = "$prefs" ]' "nor its preferences"
load_song 1
play_a_second
check 'alive && [ "$(level)" -gt 200 ]' "the first copy still plays"
stop_app
check '[ "$RC" -eq 0 ]' "the first copy closes in order (exit code $RC)"

echo "-- a skin container cut short"
cp "$WORK/app/Jamloom.xrs" "$WORK/Jamloom.xrs.whole"
size=$(size_of "$WORK/Jamloom.xrs.whole")
for cut in 6 20000 $((size - 220000)) $((size - 1)); do
  head -c "$cut" "$WORK/Jamloom.xrs.whole" >"$WORK/app/Jamloom.xrs"
  WIN=""
  start_bare "$WORK/app/jamloom"
  told=0
  wait_box 30 && told=1
  check '[ $told -eq 1 ] && grep -q "Jamloom.xrs" "$LOG"' "cut at $cut bytes: a message names the file (by ${BOX_STEP:-nothing})"
  check '! window_mapped "$JL_WINDOW_NAME"' "cut at $cut bytes: no blank window"
  [ $told -eq 1 ] && box_answer default
  leaves "cut at $cut bytes: the program leaves"
done
cp "$WORK/Jamloom.xrs.whole" "$WORK/app/Jamloom.xrs"

echo "-- killed while saving a mix"
for call in fsync rename,renameat,renameat2; do
  start_app "$WORK/app/jamloom"
  load_song 1
  echo "$WORK/docs/mix.jld" >"$WORK/answer"
  if [ ! -s "$WORK/docs/mix.good" ]; then
    click 157 464                # SAVE
    wait_file "$WORK/docs/mix.jld" 10 && wait_quiet "$WORK/docs/mix.jld" 5
    cp "$WORK/docs/mix.jld" "$WORK/docs/mix.good"
    OUTSIDE=$(sum_outside)
  fi
  shot before_store
  xdotool key Return             # store a groove: the document changes
  wait_change before_store 164 360 300 36 0 5
  kill_at "$call"
  click 157 464                  # SAVE again: killed at its $call
  if wait_exit 15; then
    check '[ "$RC" -eq 137 ]' "killed at the save's $call (exit code $RC)"
  else
    bad "the save never reached $call"
    kill -KILL "$PID"
    wait "$PID" 2>/dev/null
    PID=""
  fi
  check 'cmp -s "$WORK/docs/mix.jld" "$WORK/docs/mix.good" && whole_document "$WORK/docs/mix.jld"' \
    "the old mix is intact"
  rm -f "$WORK/docs/"*.tmp*
done

echo "-- killed while saving the preferences"
for call in fsync rename,renameat,renameat2; do
  cp "$WORK/app/Jamloom.prf" "$WORK/prefs.good"
  start_app "$WORK/app/jamloom"
  kill_at "$call"
  kill -TERM "$PID"              # the preferences are saved on the way out
  if wait_exit 15; then
    check '[ "$RC" -eq 137 ]' "killed at the preferences' $call (exit code $RC)"
  else
    bad "the preferences save never reached $call"
    kill -KILL "$PID"
    wait "$PID" 2>/dev/null
    PID=""
  fi
  check 'cmp -s "$WORK/app/Jamloom.prf" "$WORK/prefs.good"' "the old preferences are intact"
  rm -f "$WORK/app/"*.saving
done
start_app "$WORK/app/jamloom"
check '[ -n "$WIN" ] && alive' "the program starts again after being killed"
stop_app

check '[ "$(sum_outside)" = "$OUTSIDE" ]' "no file outside the library changed"
check '[ "$(sum_library)" = "$LIBRARY" ]' "no other file of the library changed"
e2e_end
