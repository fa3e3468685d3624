#!/usr/bin/env bash
# End-to-end checks of what a new user sees in the real program under Xvfb
# (no window manager): a mix document named on the command line shows the
# stopped player in the status line, as after STOP; WEB without a web
# browser and NEXT DISK without a disk say so on screen; a window made
# smaller than 640 x 480 grows back so the whole interface stays visible.
#
# Needs Xvfb, xdotool, xwininfo, ImageMagick and python3 (the document).
source "$(dirname "$0")/lib/common.sh"
e2e_begin jllooks Xvfb xdotool xwininfo import convert compare python3
need_app demo
chooser_standin
# xdg-open as it answers on a machine without a web browser (its words and
# exit code 3), and what it was asked to open.
cat >"$WORK/bin/xdg-open" <<EOF
#!/bin/sh
echo "\$1" >>"$WORK/opened"
echo "xdg-open: no method available for opening '\$1'" >&2
exit 3
EOF
chmod +x "$WORK/bin/xdg-open"
start_xvfb
copy_app

python3 "$ROOT/tests/e2e/lib/mixdoc.py" "$WORK/doc.jld" NeonBoulevard 125 1 0:0:0:100:0,1:1:0:100:0
# The status line under PLAY (design area x y w h).
STATUS="16 324 140 18"

echo "-- a document on the command line shows the player's state"
start_app "$WORK/app/jamloom" "$WORK/doc.jld"
check '[ -n "$WIN" ]' "window open"
wait_still 10
cp "$WORK/now.png" "$WORK/opened.png"
click 42 308  # PLAY
wait_change opened $STATUS 0 15
check '[ "${CHANGED:-0}" -gt 0 ]' "PLAY changes the status line ($CHANGED pixels)"
cp "$WORK/now.png" "$WORK/playing.png"
click 118 308  # STOP
wait_change playing $STATUS 0 15
wait_still 10 "$STATUS"
# What STOP writes there is the reference: the document showed the same.
check '[ "$(diffpx opened $STATUS now)" = 0 ]' "the status line read as after STOP from the start"

echo "-- WEB without a web browser says so"
log_mark
shot groove
click 40 464  # SONGS
wait_change groove 20 42 600 40 1000 15
wait_still 10
click 578 86  # WEB
if wait_box 20; then
  check 'log_since | has "^message box: ask: .*No web browser could show https://jamloom.org/songs\."' \
    "a box names the page no browser could show"
  box_answer default
else
  bad "no box after WEB ($(log_since | tail -n 3 | tr '\n' ' '))"
fi
check '[ "$(cat "$WORK/opened" 2>/dev/null)" = https://jamloom.org/songs ]' "xdg-open was asked once for the page"

echo "-- NEXT DISK without a disk says so"
if awk '$1 ~ /^\/dev\// && $2 ~ /^\/(media|run\/media|mnt)\//' /proc/mounts | has .; then
  skip "a removable disk is mounted on this machine"
else
  log_mark
  click 294 86  # NEXT DISK
  if wait_box 20; then
    check 'log_since | has "^message box: ask: .*No removable disk was found\."' "a box says no disk was found"
    box_answer default
  else
    bad "no box after NEXT DISK"
  fi
fi

echo "-- a window made too small grows back to 640 x 480"
size() { xwininfo -id "$WIN" 2>/dev/null | awk '/-geometry/ {split($2, a, /[x+]/); print a[1], a[2]}'; }
big_enough() { read -r w h <<<"$(size)"; [ "${w:-0}" -ge 640 ] && [ "${h:-0}" -ge 480 ]; }
xdotool windowsize "$WIN" 400 300
wait_for 10 big_enough
check 'big_enough' "the window is $(size | tr ' ' x) after asking for 400x300"
xdotool windowsize "$WIN" 900 300
wait_for 10 big_enough
check '[ "$(size)" = "900 480" ]' "a wide but low window keeps its width and grows to 480 ($(size | tr ' ' x))"
# At scale 1 the design area fills the window's height: NETWORK's label in
# the bottom row is there, brighter than the black beyond the window.
wait_still 10
bottom=$(convert "$WORK/now.png" -crop "600x10+150+465" +repage -colorspace Gray -format '%[fx:mean]' info: 2>/dev/null)
check 'python3 -c "import sys; sys.exit(0 if ${bottom:-0} > 0.05 else 1)"' "the bottom row of buttons is shown (mean $bottom)"
alive && ok "still running" || bad "ended"
stop_app

e2e_end
