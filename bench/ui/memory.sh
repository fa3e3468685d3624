#!/usr/bin/env bash
# Peak memory (VmHWM) and start-up time of the real program under Xvfb, for
# one or two builds side by side, at 1280x1024 and 3840x2160:
#   - after start-up (the main window painted),
#   - after a demo song has played for PLAY_SECONDS (default 60) with every
#     panel opened once,
#   - after a colour-scheme switch;
# and the time from launch to the main window's first painted frame next to
# a minimal SDL2 program that opens a window and paints one frame.
#   bench/ui/memory.sh NEW_APP_DIR [OLD_APP_DIR]
# Prints a Markdown table. Needs Xvfb, xdotool, ImageMagick and a C compiler
# with SDL2 headers (for the minimal program).
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
NEW=$(cd "$1" && pwd)
OLD=${2:+$(cd "$2" && pwd)}
PLAY_SECONDS=${PLAY_SECONDS:-60}
RUNS=${RUNS:-5}
source "$HERE/panels.sh"

e2e_begin jlmem Xvfb xdotool import cc

# The minimal SDL2 program: a window, one painted frame, then it says so.
cat >"$WORK/mini.c" <<'C'
#include <SDL.h>
#include <stdio.h>
int main(void) {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
  SDL_Window* w = SDL_CreateWindow("mini", 0, 0, 640, 480, SDL_WINDOW_SHOWN);
  SDL_Surface* s = w ? SDL_GetWindowSurface(w) : NULL;
  if (!s) return 1;
  SDL_FillRect(s, NULL, SDL_MapRGB(s->format, 40, 80, 120));
  SDL_UpdateWindowSurface(w);
  fprintf(stderr, "painted\n");
  SDL_Event e;
  for (;;) { while (SDL_PollEvent(&e)) if (e.type == SDL_QUIT) return 0; SDL_Delay(10); }
}
C
cc -O2 -o "$WORK/mini" "$WORK/mini.c" $(pkg-config --cflags --libs sdl2) || { echo "cannot build the minimal program"; exit 1; }

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
hwm() { awk '/VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$PID/status" 2>/dev/null; }
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

# Launch to "painted"/"ready" in ms, RUNS times, median.
startup_ms() {  # PROGRAM PATTERN
  local i t0 out=()
  for ((i = 0; i < RUNS; i++)); do
    : >"$LOG"
    t0=$(now_ms)
    ( cd "$WORK" && exec "$1" ) >>"$LOG" 2>&1 &
    PID=$!
    wait_for 60 grep -q "$2" "$LOG"
    out+=($(( $(now_ms) - t0 )))
    kill -KILL "$PID" 2>/dev/null; wait "$PID" 2>/dev/null; PID=""
  done
  printf '%s\n' "${out[@]}" | median
}

measure() {  # APPDIR SIZE -> "start play switch startupms"
  local app=$1 size=$2 a b c
  rm -rf "$WORK/app"
  cp -r "$app" "$WORK/app"
  start_sized_xvfb "$size"
  start_app "$WORK/app/jamloom"
  [ -n "$WIN" ] || { echo "- - - -"; stop_xvfb; return; }
  wait_still 20 >/dev/null
  a=$(hwm)
  open_every_panel_playing "$PLAY_SECONDS"
  b=$(hwm)
  switch_scheme 3
  wait_still 20 >/dev/null
  c=$(hwm)
  stop_app
  local ms
  ms=$(startup_ms "$WORK/app/jamloom" 'Jamloom: ready')
  stop_xvfb
  echo "$a $b $c $ms"
}

echo "| Size | Build | VmHWM start-up (MB) | after ${PLAY_SECONDS} s playing, every panel (MB) | after colour switch (MB) | launch to main window painted (ms) | minimal SDL2 (ms) | ratio |"
echo "|---|---|---|---|---|---|---|---|"
for size in 1280x1024 3840x2160; do
  start_sized_xvfb "$size"
  mini=$(startup_ms "$WORK/mini" painted)
  stop_xvfb
  for build in ${OLD:+old} new; do
    dir=$NEW
    [ "$build" = old ] && dir=$OLD
    read -r a b c ms < <(measure "$dir" "$size")
    ratio=$(awk -v m="$ms" -v n="$mini" 'BEGIN { if (n > 0) printf "%.2f", m / n; else print "-" }')
    echo "| $size | $build | $a | $b | $c | $ms | $mini | $ratio |"
  done
done
