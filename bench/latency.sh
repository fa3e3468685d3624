#!/usr/bin/env bash
# End-to-end latency of the real program: time from an input event (xdotool
# under Xvfb) to the first changed sample in SDL's disk audio driver's file,
# for Play, mute, an immediate loop change and a synth key. The method and
# its error bound are in bench/README.md; bench/latency.py does the timing.
#
#   bench/latency.sh [SETTING...]   SETTING: old (the queued output, no
#                                    JL_AUDIO_FRAMES) or a device buffer size
#                                    in frames (256, 512) given to the
#                                    program as JL_AUDIO_FRAMES
# JL_LATENCY_RUNS runs per action (default 10), JL_LATENCY_KINDS the actions
# (default "play mute loop synth"). Needs Xvfb, xdotool, ImageMagick,
# python3 and the built program with its demo library (JL_APP, default
# build/app).
source "$(dirname "$0")/../tests/e2e/lib/common.sh"
e2e_begin jllatency Xvfb xdotool xwininfo import convert compare python3
need_app demo
# The device stays open after Stop, as users run the program; the capture
# then goes on across plays (bench/latency.py finds each run in it).
unset JL_AUDIO_CLOSE_ON_STOP
start_xvfb
copy_app

RUNS=${JL_LATENCY_RUNS:-10}
KINDS=${JL_LATENCY_KINDS:-play mute loop synth}
SETTINGS=("$@")
[ ${#SETTINGS[@]} -gt 0 ] || SETTINGS=(old)

for setting in "${SETTINGS[@]}"; do
  if [ "$setting" = old ]; then unset JL_AUDIO_FRAMES; else export JL_AUDIO_FRAMES=$setting; fi
  for kind in $KINDS; do
    echo "-- $setting: $kind"
    export SDL_DISKAUDIOFILE=$WORK/audio.raw
    rm -f "$WORK/audio.raw"
    start_app "$WORK/app/jamloom"
    [ -n "$WIN" ] || { bad "$setting $kind: the program did not start"; continue; }
    load_song 1           # Neon Boulevard, playing a groove of its loops
    play_a_second
    xdotool key space     # stopped: every run plays from the top
    wait_quiet "$WORK/audio.raw" 2 || true   # stopped (a device kept open writes silence)
    python3 "$ROOT/bench/latency.py" "$WORK/audio.raw" "$kind" "$RUNS" | tee "$WORK/$setting-$kind.txt"
    tail -n 1 "$WORK/$setting-$kind.txt" | has ' ms, range ' && ok "$setting $kind measured" || bad "$setting $kind"
    stop_app
  done
done
echo
echo "Summary"
for setting in "${SETTINGS[@]}"; do
  for kind in $KINDS; do
    [ -f "$WORK/$setting-$kind.txt" ] && echo "$setting $(tail -n 1 "$WORK/$setting-$kind.txt")"
  done
done
e2e_end
