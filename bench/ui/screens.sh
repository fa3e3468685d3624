#!/usr/bin/env bash
# Screenshots of every panel in two colour schemes from two builds, compared
# pixel for pixel (ImageMagick compare, no fuzz): a change in how pictures
# are loaded or shown must not change one pixel.
#   bench/ui/screens.sh OLD_APP_DIR NEW_APP_DIR [WxH]   (default 1280x1024)
# Exit status 0 when every pair is identical; the differing ones are named.
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
  start_sized_xvfb "$SIZE"
  start_app "$WORK/app/jamloom"
  [ -n "$WIN" ] || { bad "$1 build did not start"; return; }
  settle songs-start
  load_song 1
  walk_panels scheme0
  switch_scheme 3
  walk_panels scheme3
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
  check '[ "$d" = 0 ]' "$n identical ($d pixels differ)"
done
e2e_end
