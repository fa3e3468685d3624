#!/usr/bin/env bash
# Screenshots of every panel in two colour schemes from two builds, compared
# pixel for pixel (ImageMagick compare, no fuzz): a change in how pictures
# are loaded or shown must not change one pixel.
#   bench/ui/screens.sh OLD_APP_DIR NEW_APP_DIR [WxH]   (default 1280x1024)
# Both builds start from the same state: a fixed mix document (panels.sh,
# write_fixed_mix) opened on the command line and never played, so the
# groove panel and everything over it show no random draw, no running clock
# and no level meters. The same build given twice shows that two runs agree.
# Exit status 0 when every pair is identical; the differing ones are named
# with the box around their differences (JL_KEEP=1 keeps the pictures).
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
OLD=$(cd "$1" && pwd)
NEW=$(cd "$2" && pwd)
SIZE=${3:-1280x1024}
source "$HERE/panels.sh"
e2e_begin jlscreens Xvfb xdotool import compare

run_build() {  # NAME APPDIR
  SHOTS=$WORK/shots-$1
  mkdir -p "$SHOTS"
  rm -rf "$WORK/app" "$HOME"
  mkdir -p "$HOME"
  cp -r "$2" "$WORK/app"
  write_fixed_mix "$WORK/fixed.jld"
  start_sized_xvfb "$SIZE"
  start_app "$WORK/app/jamloom" "$WORK/fixed.jld"
  [ -n "$WIN" ] || { bad "$1 build did not start"; return; }
  settle mix-opened
  walk_panels scheme0 keep
  switch_scheme 3
  walk_panels scheme3 keep
  switch_scheme 0
  settle back-to-scheme0
  stop_app
  stop_xvfb
}

run_build old "$OLD"
run_build new "$NEW"
for a in "$WORK"/shots-old/*.png; do
  n=$(basename "$a")
  b=$WORK/shots-new/$n
  if [ ! -f "$b" ]; then bad "$n: no new screenshot"; continue; fi
  d=$(compare -metric AE "$a" "$b" null: 2>&1 | awk '{printf "%d", $1; exit}')
  where=""
  [ "$d" = 0 ] || where=" within $(convert "$a" "$b" -compose difference -composite -threshold 0 -trim \
    -format '%wx%h%X%Y' info: 2>/dev/null)"
  check '[ "$d" = 0 ]' "$n identical ($d pixels differ$where)"
done
e2e_end
