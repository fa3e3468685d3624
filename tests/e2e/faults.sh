#!/usr/bin/env bash
# End-to-end checks of the real program under Xvfb when the world around it
# fails: a loop file deleted while its song plays, broken song folders, a
# full disk while saving a mix and the preferences, no audio device and no
# file chooser. Each time the program keeps running, tells the user what
# failed (a box, which the program also writes to its log) and leaves no
# damaged file behind. Without zenity and kdialog the box is drawn in the
# program's own window and answered there.
#
# Needs Xvfb, xdotool, xwininfo, ImageMagick and python3; the full-disk case
# needs to mount a tmpfs (root) and is skipped otherwise. JL_APP points at a
# built program folder (default build/app).
source "$(dirname "$0")/lib/common.sh"
e2e_begin jlfaults Xvfb xdotool xwininfo import convert compare python3
need_app demo
FULL=""
on_exit '[ -n "$FULL" ] && umount "$FULL" 2>/dev/null'
chooser_standin
start_xvfb
copy_app

changed() {  # pixels differing by more than 5% between two screenshots
  compare -metric AE -fuzz 5% "$WORK/$1.png" "$WORK/$2.png" null: 2>&1 | awk '{printf "%d", $1; exit}'
}

# ------------------------------------------------------------------ cases
echo "-- a loop file deleted while its song plays"
start_app "$WORK/app/jamloom"
load_song 1                      # Neon Boulevard: kick, clap, hats, perc
play_a_second
before=$(level)
rm -f "$WORK/app/Library/Song/NeonBoulevard/kick0"*.wav
xdotool keydown i key plus keyup i   # track 1 takes another kick loop
told=0
wait_box 20 && told=1
[ $told -eq 1 ] && box_answer default
play_a_second
after=$(level)
check 'alive' "the program keeps running"
check '[ "$after" -gt 200 ]' "the other tracks keep sounding (rms $after, was $before)"
check '[ $told -eq 1 ]' "the user is told the loop is missing"
stop_app
check '[ "$RC" -eq 0 ]' "closes in order afterwards (exit code $RC)"
cp -r "$APP/Library/Song/NeonBoulevard/." "$WORK/app/Library/Song/NeonBoulevard/"

echo "-- broken song folders"
mv "$WORK/app/Library/Song/RobotFunk" "$WORK/RobotFunk"
ln -s "$WORK/gone" "$WORK/app/Library/Song/RobotFunk"     # a dangling link
echo "not a song" >"$WORK/app/Library/Song/NotAFolder"   # a file
start_app "$WORK/app/jamloom"
check 'alive && [ -n "$WIN" ]' "the program starts beside a dangling link and a file"
box_ready && box_answer default
wait_still 5
cp "$WORK/now.png" "$WORK/broken_start.png"
# Iron Pulse is the first row; now it disappears while listed.
mv "$WORK/app/Library/Song/IronPulse" "$WORK/IronPulse"
ln -s "$WORK/gone" "$WORK/app/Library/Song/IronPulse"
load_song 0
told=0
wait_box 20 && told=1 && box_answer default
check 'alive' "loading a song whose folder vanished leaves the program running"
check '[ $told -eq 1 ]' "the user is told the song cannot be loaded"
wait_still 5
cp "$WORK/now.png" "$WORK/after_broken.png"
load_song 1                      # Neon Boulevard still loads
wait_still 5
cp "$WORK/now.png" "$WORK/neon.png"
n=$(changed after_broken neon)
check 'alive && [ "${n:-0}" -gt 50000 ]' "another song still loads ($n pixels changed)"
stop_app
rm -f "$WORK/app/Library/Song/RobotFunk" "$WORK/app/Library/Song/IronPulse" "$WORK/app/Library/Song/NotAFolder"
mv "$WORK/RobotFunk" "$WORK/IronPulse" "$WORK/app/Library/Song/"

echo "-- a full disk while saving a mix and the preferences"
mkdir -p "$WORK/full"
# Room for the program and its skin with 16 MB to spare; the test fills the
# rest itself before the failing save.
FULL_MB=$(( $(du -cm "$WORK/app/jamloom" "$WORK/app/"*.xrs "$WORK/app/Helps.txt" | tail -1 | cut -f1) + 16 ))
if mount -t tmpfs -o size=${FULL_MB}m tmpfs "$WORK/full" 2>/dev/null; then
  FULL=$WORK/full
  # The program on the small disk (its preferences live beside it); the
  # library stays where it is.
  mkdir -p "$FULL/app"
  cp "$WORK/app/jamloom" "$WORK/app/"*.xrs "$WORK/app/Helps.txt" "$FULL/app/"
  ln -s "$WORK/app/Library" "$FULL/app/Library"
  start_app "$FULL/app/jamloom"
  stop_app
  cp "$FULL/app/Jamloom.prf" "$WORK/prefs.good" 2>/dev/null
  check '[ -s "$WORK/prefs.good" ]' "preferences written while there is room"
  start_app "$FULL/app/jamloom"
  load_song 1
  echo "$FULL/mix.jld" >"$WORK/answer"
  click 157 464                  # SAVE
  wait_file "$FULL/mix.jld" 10 && wait_quiet "$FULL/mix.jld" 5
  cp "$FULL/mix.jld" "$WORK/mix.good" 2>/dev/null
  check '[ -s "$WORK/mix.good" ]' "a mix saved while there is room"
  dd if=/dev/zero of="$FULL/filler" bs=64k 2>/dev/null
  for i in $(seq 200); do : >"$FULL/f$i" 2>/dev/null || break; echo x >"$FULL/f$i" 2>/dev/null || break; done
  listing=$(ls -A "$FULL" "$FULL/app" | md5sum)
  shot before_store
  xdotool key Return             # store a groove: the document changes
  wait_change before_store 164 360 300 36 0 15
  log_mark
  click 157 464                  # SAVE again onto the full disk
  told=0
  wait_box 20 && told=1 && box_answer default
  check 'alive' "the program keeps running after the failed save"
  check '[ $told -eq 1 ] && grep -q "could not be saved" "$LOG"' "the user is told the mix was not saved"
  check 'cmp -s "$FULL/mix.jld" "$WORK/mix.good"' "the old mix file is intact"
  check '[ "$(ls -A "$FULL" "$FULL/app" | md5sum)" = "$listing" ]' "no partial file left beside it"
  stop_app
  check '[ "$RC" -eq 0 ]' "closes in order on a full disk (exit code $RC)"
  check 'cmp -s "$FULL/app/Jamloom.prf" "$WORK/prefs.good"' "the old preferences are intact"
  check '[ "$(ls -A "$FULL" "$FULL/app" | md5sum)" = "$listing" ]' "no partial preferences file left"
  umount "$FULL" && FULL=""
else
  skip "mounting a small tmpfs is not allowed here"
fi

echo "-- no audio device"
SDL_AUDIODRIVER=nonexistent start_app "$WORK/app/jamloom"
check '[ -n "$WIN" ] && alive' "the window opens without an audio device"
box_ready && box_answer default
wait_still 5
cp "$WORK/now.png" "$WORK/noaudio_start.png"
load_song 1
box_ready && box_answer default
wait_still 5
cp "$WORK/now.png" "$WORK/noaudio_loaded.png"
n=$(changed noaudio_start noaudio_loaded)
check 'alive && [ "${n:-0}" -gt 50000 ]' "a song still loads and shows ($n pixels changed)"
xdotool key space
# Play without a device may say so; either way the program stays.
wait_box 2 && box_answer default
check 'alive' "Play without a device leaves the program running"
stop_app
check '[ "$RC" -eq 0 ]' "closes in order (exit code $RC)"

# With neither a file chooser nor a dialog program, OPEN asks for the file's
# full name on a line drawn in the program's window, naming zenity as the
# way to a chooser; Escape cancels it.
echo "-- no file chooser and no dialog program"
APP_PATH=$(path_without_dialogs) start_app "$WORK/app/jamloom"
load_song 1
wait_still 5
cp "$WORK/now.png" "$WORK/nochooser0.png"
click 101 464                    # OPEN
told=0
wait_box 20 && told=1
check '[ $told -eq 1 ] && [ "$BOX_STEP" = window ] && grep -q "^message box: ask: .*zenity" "$LOG"' \
  "OPEN asks for the file's name in the window and names zenity (by $BOX_STEP)"
if [ $told -eq 1 ]; then
  shot inbox
  n=$(changed nochooser0 inbox)
  check '[ "${n:-0}" -gt 100000 ]' "the name line is drawn in the window ($n pixels changed)"
  box_answer escape
  check '[ "$(last_answer)" != 1 ]' "Escape cancels it (answer $(last_answer))"
fi
wait_still 5
cp "$WORK/now.png" "$WORK/nochooser1.png"
click 364 183                    # SOLO: the program still answers
wait_change nochooser1 340 170 60 30 0 15
n=$CHANGED
check 'alive && [ "${n:-0}" -gt 0 ]' "the program still answers ($n pixels changed)"
stop_app

echo "-- Ctrl+Q: nothing changed ends at once; after a change the window's own box asks"
APP_PATH=$(path_without_dialogs) start_app "$WORK/app/jamloom"
quit_without_question "a fresh start"
APP_PATH=$(path_without_dialogs) start_app "$WORK/app/jamloom"
load_song 1
box_ready && box_answer default
wait_still 5
quit_without_question "a song just loaded (and playing)"
APP_PATH=$(path_without_dialogs) start_app "$WORK/app/jamloom"
load_song 1
box_ready && box_answer default
xdotool windowfocus "$WIN" 2>/dev/null
xdotool key plus                 # the tempo changes: work a quit would lose
check_close_question
stop_app

e2e_end
