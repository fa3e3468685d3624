# shellcheck shell=bash
# Shared by bench/ui/memory.sh and bench/ui/screens.sh: an Xvfb of a chosen
# size, clicks in the design area at whatever whole-number scale the
# maximised window uses there, and a fixed walk through every panel.
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/lib/common.sh"

# start_sized_xvfb WxH : a private X server of that size; sets SCALE and the
# design area's logical origin OX, OY as the program computes them.
start_sized_xvfb() {
  local fifo=$WORK/displayfd w=${1%x*} h=${1#*x}
  rm -f "$fifo"
  Xvfb -displayfd 3 -screen 0 "${1}x24" -nolisten tcp 3>"$fifo" >"$WORK/xvfb.log" 2>&1 &
  XVFB=$!
  wait_for 30 grep -qs '^[0-9]' "$fifo" || { echo "Xvfb did not start"; exit 1; }
  export DISPLAY=":$(head -n 1 "$fifo")"
  wait_for 30 xdpyinfo_ok || exit 1
  SCALE=$(( w / 640 < h / 480 ? w / 640 : h / 480 ))
  [ "$SCALE" -ge 1 ] || SCALE=1
  OX=$(( (w / SCALE - 640) / 2 ))
  OY=$(( (h / SCALE - 480) / 2 ))
}
# The e2e helpers take logical design-area coordinates at scale 2; these
# follow the scale and origin of the current server.
hover() { xdotool mousemove $((SCALE * ($1 + OX) + SCALE / 2)) $((SCALE * ($2 + OY) + SCALE / 2)); }
click() { hover "$1" "$2"; xdotool click 1; }
diffpx() {
  local g="$((SCALE * $4))x$((SCALE * $5))+$((SCALE * ($2 + OX)))+$((SCALE * ($3 + OY)))"
  convert "$WORK/$1.png" -crop "$g" +repage "$WORK/.a.png" 2>/dev/null
  convert "$WORK/$6.png" -crop "$g" +repage "$WORK/.b.png" 2>/dev/null
  compare -metric AE -fuzz 5% "$WORK/.a.png" "$WORK/.b.png" null: 2>&1 | awk '{printf "%d", $1; exit}'
}

# settle NAME : waits for a still picture and keeps it as $SHOTS/NAME.png
# when SHOTS is set.
settle() {
  wait_still 20 >/dev/null
  [ -n "${SHOTS:-}" ] && cp "$WORK/now.png" "$SHOTS/$1.png"
  return 0
}
# A click, then a still picture.
step() {  # NAME x y
  click "$2" "$3"
  settle "$1"
}

# switch_scheme N : preferences, colour swatch N, OK.
switch_scheme() {
  click 581 15
  settle "prefs-before-scheme-$1"
  click $((297 + 30 * $1)) 339
  settle "prefs-scheme-$1"
  click 426 383
  settle "after-scheme-$1"
}

# walk_panels SUFFIX [keep] : every panel once, each kept as a still
# picture, the song stopped so that nothing moves. Starts and ends on the
# groove panel: the song browser loads the second demo song, or with "keep"
# is closed with Escape so that the groove stays as it was.
walk_panels() {
  local s=$1 keep=${2:-}
  step "groove-$s" 118 308          # STOP
  # A balloon comes a moment after the pointer stops over a control, so a
  # still picture alone could be taken before it: the pointer leaves HELP
  # for a place without a balloon, then waits over PLAY for its balloon.
  click 437 15                      # HELP on: balloons
  hover 300 320
  settle "help-$s"
  shot before_balloon
  hover 40 308
  wait_change before_balloon 0 0 640 480 0 10
  settle "help-balloon-$s"
  step "help-off-$s" 437 15         # HELP off
  step "synth-$s" 360 464           # synth (floating)
  step "synths-$s" 280 152          # its library
  step "synth-back-$s" 522 113      # library closed
  step "synth-off-$s" 542 113       # synth closed
  step "tuner-$s" 444 464           # tuner (floating)
  step "tuner-off-$s" 522 113
  step "prefs-$s" 581 15            # preferences
  step "prefs-off-$s" 497 383       # CANCEL
  step "mixer-$s" 294 464           # virtual mixer
  step "info-$s" 534 15             # about
  xdotool key Escape
  settle "info-off-$s"
  step "groove-back-$s" 306 384     # RESTORE GROOVES
  step "songs-$s" 40 464            # song browser
  if [ "$keep" = keep ]; then
    xdotool key Escape
  else
    load_song 1
  fi
  settle "groove-again-$s"
}

# open_every_panel_playing SECONDS : loads the second demo song, walks every
# panel, starts the song again and lets it play for SECONDS.
open_every_panel_playing() {
  load_song 1
  walk_panels play
  click 118 308                     # PLAY
  wait_sound "$1"
}

# write_fixed_mix FILE : a mix document of Neon Boulevard at 125 BPM, every
# track of groove 1 on its group's first loop, grooves 1-3 in the bank and
# the sequence. Opened on the command line and never played, it shows the
# same groove panel every time (no random draw, position clock and level
# meters never started).
write_fixed_mix() {
  python3 "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/lib/mixdoc.py" "$1" NeonBoulevard 125 1,2,3 \
    0:0:0:100:0,1:1:0:100:0,2:2:0:100:0,3:3:0:100:0,4:4:0:100:0,5:5:0:100:0,6:6:0:100:0,7:7:0:100:0 \
    0:0:0:100:0,4:4:0:100:0 0:0:0:100:0
}
