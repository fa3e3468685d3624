#!/usr/bin/env bash
# End-to-end checks of the keyboard and the floating panels in the real
# program under Xvfb, as a new user meets them: + and - change the tempo
# shown; Escape closes the panel on top, one at a time, and with a pop-up
# list open only the list; a held synth key plays the running arpeggio
# until its release, and a drawn key clicked with the arpeggio off is
# heard; the random mix
# panel has an X and opens beside an open tuner instead of over its
# controls; a second start without a document brings the running copy's
# window to the front (above another window) instead of saying it runs.
#
# Needs Xvfb, xdotool, xwininfo, xmessage and ImageMagick. JL_APP points at
# a built program folder (default build/app).
source "$(dirname "$0")/lib/common.sh"
e2e_begin jlkeys Xvfb xdotool xwininfo xmessage import convert compare
need_app demo
chooser_standin
start_xvfb
copy_app

# wait_same REF x y w h [SECONDS]: screenshots until the rectangle shows
# exactly what REF showed (a panel gone again).
wait_same() {
  local ref=$1 x=$2 y=$3 w=$4 h=$5
  wait_for "${6:-10}" _same "$ref" "$x" "$y" "$w" "$h"
}
_same() {
  shot now
  [ "$(diffpx "$1" "$2" "$3" "$4" "$5" now)" = "0" ]
}
key_to_app() {
  xdotool windowfocus "$WIN" 2>/dev/null
  xdotool key "$@"
}

start_app "$WORK/app/jamloom"
check '[ -n "$WIN" ]' "window open"
load_song 1                      # Neon Boulevard, 125 BPM
box_ready && box_answer default
click 118 308                    # STOP: meters and lamps come to rest
wait_still 10
cp "$WORK/now.png" "$WORK/base.png"

echo "-- + and - step the tempo shown, as its buttons do"
key_to_app plus
wait_change base 276 296 52 24 0 10
check '[ "$CHANGED" -gt 0 ]' "+ changes the tempo display ($CHANGED pixels)"
key_to_app minus
wait_same base 276 296 52 24
check '[ "$(diffpx base 276 296 52 24 now)" = "0" ]' "- brings it back to the song's tempo"
key_to_app KP_Add Up
wait_change base 276 296 52 24 0 10
key_to_app KP_Subtract Down
wait_same base 276 296 52 24
check '[ "$(diffpx base 276 296 52 24 now)" = "0" ]' "keypad + and Up step up, keypad - and Down down again"

echo "-- Escape closes the floating panel on top, one at a time"
click 360 464                    # SYNTH
wait_change base 100 100 460 262 1000 10
check '[ "$CHANGED" -gt 1000 ]' "the synth panel opens"
click 444 464                    # TUNER (over the synth)
wait_still 5
cp "$WORK/now.png" "$WORK/two.png"
key_to_app Escape
wait_change two 100 100 440 334 1000 10
check '[ "$CHANGED" -gt 1000 ]' "Escape closes the tuner on top"
key_to_app Escape
wait_same base 0 0 640 440
check '[ "$(diffpx base 0 0 640 440 now)" = "0" ]' "a second Escape closes the synth: the groove panel as it was"
check 'alive' "the program runs on"

echo "-- the random mix panel: an X, and a place beside the tuner"
click 515 464                    # RND MIX
wait_change base 100 100 260 130 1000 10
check '[ "$CHANGED" -gt 1000 ]' "RND MIX opens its panel"
click 342 113                    # its X
wait_same base 0 0 640 440
check '[ "$(diffpx base 0 0 640 440 now)" = "0" ]' "its X closes it"
click 444 464                    # TUNER
wait_change base 100 100 440 334 1000 10
wait_still 5
cp "$WORK/now.png" "$WORK/tuner.png"
click 515 464                    # RND MIX over the open tuner
wait_change tuner 0 0 640 440 1000 10
wait_still 5
cp "$WORK/now.png" "$WORK/tuner_mix.png"
# The tuner's controls start 30 rows below its top edge.
n=$(diffpx tuner 100 130 440 304 tuner_mix)
check '[ "$n" = "0" ]' "the random mix panel leaves the tuner's controls uncovered ($n pixels changed there)"
key_to_app Escape Escape
wait_same base 0 0 640 440
check '[ "$(diffpx base 0 0 640 440 now)" = "0" ]' "Escape twice closes both"

echo "-- Escape with a pop-up list open closes only the list"
click 360 464                    # SYNTH
wait_change base 100 100 460 262 1000 10
wait_still 5
cp "$WORK/now.png" "$WORK/synth.png"
click 340 152                    # the Mode pop-up: a click leaves its list open
wait_change synth 300 100 100 140 50 10
check '[ "$CHANGED" -gt 50 ]' "the Mode pop-up's list opens ($CHANGED pixels)"
key_to_app Escape
wait_same synth 0 0 640 480 5
check '[ "$(diffpx synth 0 0 640 480 now)" = "0" ]' "Escape closes the list at once, the synth panel stays as it was"
click 330 106                    # the synth panel's title: a click that does nothing
wait_still 5
check '[ "$(diffpx synth 0 0 640 480 now)" = "0" ]' "the next click does not close the panel (no Escape left over)"

key_to_app Escape
wait_same base 0 0 640 440

echo "-- a held synth key plays the running arpeggio while held, and nothing after"
# The arpeggio alone: all eight tracks off, then STOP and PLAY; play runs
# the timeline with no loop in it.
for t in 0 1 2 3 4 5 6 7; do click $((22 + 77 * t)) 128; done
click 118 308                    # STOP
click 42 308                     # PLAY
# Loudest 100 ms of the last half second captured.
_recent_peak_rms() {
  python3 - "$WORK/audio.raw" <<'PYEOF'
import array, math, os, sys
path = sys.argv[1]
size = os.path.getsize(path) & ~3
step = 4410 * 2
with open(path, 'rb') as f:
    f.seek(max(0, size - 5 * step * 2))
    d = array.array('h', f.read(5 * step * 2))
levels = [int(math.sqrt(sum(x * x for x in d[i:i + step]) / step)) for i in range(0, len(d) - step + 1, step)]
print(max(levels) if len(levels) == 5 else 99999)
PYEOF
}
_quiet_now() { [ "$(_recent_peak_rms)" -lt 50 ]; }
wait_sound 0.5
wait_for 10 _quiet_now
check '_quiet_now' "every track is silent once all eight are off (loudest $(_recent_peak_rms))"
click 360 464                    # SYNTH
wait_change base 100 100 460 262 1000 10
shot synthplay
click 526 152                    # the synth ON, with no note latched
wait_change synthplay 480 140 60 24 0 10
check '[ "$CHANGED" -gt 0 ]' "the synth is on"
wait_sound 1.5
silent_from=$(size_of "$WORK/audio.raw")
wait_sound 0.5
xdotool windowfocus "$WIN" 2>/dev/null
xdotool keydown q
held_from=$(size_of "$WORK/audio.raw")
wait_sound 3
xdotool keyup q
released_at=$(size_of "$WORK/audio.raw")
wait_sound 2.6
# rms of the capture between two byte offsets, per 100 ms: min and max.
window_rms() {
  python3 - "$WORK/audio.raw" "$1" "$2" <<'PYEOF'
import array, math, sys
path, a, b = sys.argv[1], int(sys.argv[2]) & ~3, int(sys.argv[3]) & ~3
with open(path, 'rb') as f:
    f.seek(a)
    d = array.array('h', f.read(b - a))
step = 4410 * 2
levels = [int(math.sqrt(sum(x * x for x in d[i:i + step]) / step)) for i in range(0, len(d) - step + 1, step)]
print(min(levels) if levels else -1, max(levels) if levels else -1)
PYEOF
}
read -r lo hi < <(window_rms "$silent_from" "$held_from")
check '[ "$hi" -ge 0 ] && [ "$hi" -lt 50 ]' "no sound before the key (tracks off, no note latched; loudest $hi)"
read -r lo hi < <(window_rms $((held_from + 176400 * 3 / 2)) "$released_at")
check '[ "$lo" -gt 200 ]' "the arpeggio sounds on while the key is held, past one note's length (quietest 100 ms: $lo)"
read -r lo hi < <(window_rms $((released_at + 176400 * 9 / 5)) $((released_at + 176400 * 5 / 2)))
check '[ "$hi" -ge 0 ] && [ "$hi" -lt 50 ]' "nothing plays after the release has rung out (loudest $hi)"

echo "-- with the arpeggio off, a drawn key clicked is heard while the button is held"
shot arpon
click 526 152                    # the synth OFF
wait_change arpon 480 140 60 24 0 10
wait_sound 0.5
xdotool mousemove $((2 * 150)) $((2 * (240 + 16))) mousedown 1
pressed_at=$(size_of "$WORK/audio.raw")
wait_sound 1
xdotool mouseup 1
let_go_at=$(size_of "$WORK/audio.raw")
read -r lo hi < <(window_rms "$pressed_at" "$let_go_at")
check '[ "$hi" -gt 200 ]' "the clicked key sounds (loudest 100 ms while held: $hi)"
click 118 308                    # STOP
key_to_app Escape                # the synth panel closes

echo "-- a second start without a document brings this window to the front"
xmessage -geometry 600x400+100+100 "another window" >/dev/null 2>&1 &
XM=$!
on_exit 'kill $XM 2>/dev/null'
wait_for 10 window_mapped '^xmessage$'
other=$(window_named '^xmessage$')
xdotool windowraise "$other" windowfocus "$other" 2>/dev/null
# xwininfo lists the root's children from the top of the stack down.
above() {  # true when window $1 lies above window $2
  local a b i=0 ia=0 ib=0 id
  a=$(($1))
  b=$(($2))
  for id in $(xwininfo -root -children 2>/dev/null | awk '$1 ~ /^0x/ {print $1}'); do
    i=$((i + 1))
    [ "$((id))" = "$a" ] && ia=$i
    [ "$((id))" = "$b" ] && ib=$i
  done
  [ "$ia" -gt 0 ] && [ "$ib" -gt "$ia" ]
}
check '! above "$WIN" "$other"' "another window covers the program"
log_mark
( cd "$WORK" && exec "$WORK/app/jamloom" ) >"$WORK/second.log" 2>&1 &
SECOND=$!
second_done() { ! kill -0 "$SECOND" 2>/dev/null; }
if wait_for 20 second_done; then
  wait "$SECOND"
  rc=$?
  check '[ "$rc" -eq 0 ] && has "brought to the front" <"$WORK/second.log"' \
    "the second start leaves at once, saying where the program is (code $rc)"
else
  bad "the second start is still running (a box?): $(tail -n 3 "$WORK/second.log")"
  kill "$SECOND" 2>/dev/null
fi
check '! has "already using the library" <"$WORK/second.log"' "no 'already running' box"
wait_log 'comes to the front' 10
check 'wait_for 10 above "$WIN" "$other"' "the program's window is above the other one"
check 'wait_for 10 _focused "$WIN"' "and has the keyboard"
stop_app
check '[ "$RC" -eq 0 ]' "closes in order (exit code $RC)"

e2e_end
