# shellcheck shell=bash
# What every end-to-end script of the real program under Xvfb shares: the
# work folder and its clean-up, the private X server, a copy of the program,
# counting checks, starting and stopping the program, and waiting for a
# state (a window mapped, a log line, a file growing, pixels changing, a
# message box) with a deadline instead of sleeping a fixed time.
#
# A script sources it and calls e2e_begin first:
#   source "$(dirname "$0")/lib/common.sh"
#   e2e_begin jlname Xvfb xdotool ...   # work folder prefix, tools needed
#
# Variables it sets: ROOT (the source tree), APP (program folder to copy,
# JL_APP overrides), WORK (the work folder, kept with JL_KEEP=1), LOG (the
# program's output), PID/WIN (the running program and its window), RC (its
# exit code after stop_app).
#
# Deadlines scale with E2E_SLOW (default 1): a loaded machine takes longer to
# reach a state, never a different one.

set -uo pipefail

E2E_SLOW=${E2E_SLOW:-1}
PASS=0
FAIL=0
SKIP=0
KNOWN=0
XVFB=""
PID=""
WIN=""
RC=0
E2E_CLEANUPS=()

ok() { echo "  ok: $*"; PASS=$((PASS + 1)); }
bad() { echo "  FAILED: $*"; FAIL=$((FAIL + 1)); }
skip() { echo "  skipped: $*"; SKIP=$((SKIP + 1)); }
check() { if eval "$1"; then ok "$2"; else bad "$2"; fi; }
# A fault the program still has and that is reported, not yet fixed: it is
# printed on every run but does not fail the run.
known() { if eval "$1"; then ok "$2"; else echo "  KNOWN FAULT: $2"; KNOWN=$((KNOWN + 1)); fi; }
# `producer | has PATTERN` is true when the producer's output matches. It
# reads everything first: with pipefail, `| grep -q` fails the pipeline
# whenever grep leaves early and the producer dies of SIGPIPE, which
# happens only when the machine schedules them so.
has() { local all; all=$(cat); grep -q "$@" <<<"$all"; }

# Runs a command at the end (before the work folder goes).
on_exit() { E2E_CLEANUPS+=("$1"); }

e2e_cleanup() {
  if [ "$FAIL" -gt 0 ] && [ -s "${LOG:-}" ]; then
    # What the program said last, for a failure seen only in a CI log.
    echo "-- the program's last output:"
    tail -n 40 "$LOG" | sed 's/^/   | /'
  fi
  [ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null
  local c
  for c in "${E2E_CLEANUPS[@]+"${E2E_CLEANUPS[@]}"}"; do eval "$c"; done
  [ -n "$XVFB" ] && kill "$XVFB" 2>/dev/null
  if [ -n "${JL_KEEP:-}" ]; then echo "kept $WORK"; else rm -rf "$WORK"; fi
}

# e2e_begin PREFIX TOOL... : work folder, private HOME and XDG folders, SDL
# drivers (a real X server, sound into a file), tools checked.
e2e_begin() {
  local prefix=$1 tool
  shift
  cd "$(dirname "${BASH_SOURCE[0]}")/../../.." || exit 1
  ROOT=$(pwd)
  APP=${JL_APP:-$ROOT/build/app}
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$tool missing"; exit 1; }
  done
  WORK=$(mktemp -d "/tmp/$prefix.XXXXXX")
  LOG=$WORK/app.log
  trap e2e_cleanup EXIT
  export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/data XDG_CONFIG_HOME=$WORK/home/config
  export XDG_CACHE_HOME=$WORK/home/cache XDG_RUNTIME_DIR=$WORK/run
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  unset SDL_VIDEODRIVER WAYLAND_DISPLAY
  export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$WORK/audio.raw
  # Every Play opens the device, so the disk driver's file begins with the
  # playback (the program keeps a device open after Stop by default; the
  # latency checks unset this to measure that).
  export JL_AUDIO_CLOSE_ON_STOP=1
  # GTK dialogs (zenity) would otherwise look for a session bus and an
  # accessibility bus, which a bare X server has not.
  export NO_AT_BRIDGE=1 GTK_A11Y=none
}

# Prints the summary and leaves with the scripts' status.
e2e_end() {
  stop_xvfb
  echo
  echo "e2e: $PASS passed, $FAIL failed, $SKIP skipped, $KNOWN known faults"
  [ "$FAIL" -eq 0 ]
  exit $?
}

# wait_for SECONDS COMMAND... : runs the command until it succeeds or the
# deadline passes; the command's status.
wait_for() {
  local end=$(( $(date +%s%N) / 1000000 + ${1%.*} * 1000 * E2E_SLOW ))
  shift
  while :; do
    "$@" && return 0
    [ $(( $(date +%s%N) / 1000000 )) -ge "$end" ] && return 1
    sleep 0.05
  done
}

# A private X server: Xvfb picks a free display number itself and says which
# (-displayfd), so two runs never collide and none waits for a lock.
start_xvfb() {
  local fifo=$WORK/displayfd n=""
  rm -f "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >"$WORK/xvfb.log" 2>&1 &
  XVFB=$!
  wait_for 30 grep -q '^[0-9]' "$fifo" || { echo "Xvfb did not start: $(cat "$WORK/xvfb.log")"; exit 1; }
  n=$(head -n 1 "$fifo")
  export DISPLAY=":$n"
  wait_for 30 xdpyinfo_ok || { echo "display :$n does not answer"; exit 1; }
}
xdpyinfo_ok() { xdotool getmouselocation >/dev/null 2>&1; }
stop_xvfb() {
  [ -n "$XVFB" ] && kill "$XVFB" 2>/dev/null && wait "$XVFB" 2>/dev/null
  XVFB=""
}

# need_app [demo] : the built program (with its demo library when asked).
need_app() {
  [ -x "$APP/jamloom" ] || { echo "no program at $APP"; exit 1; }
  if [ "${1:-}" = demo ] && [ ! -d "$APP/Library/Song/NeonBoulevard" ]; then
    echo "no demo library in $APP"; exit 1
  fi
}
# A copy of the program folder in $WORK/app, so each run starts from its own
# library and preferences.
copy_app() { cp -r "$APP" "$WORK/app"; }

# The file chooser's stand-in, first on PATH: a file selection answers with
# the path in $WORK/answer; every other use (a message box) goes to the real
# zenity, or, without one, fails the way a missing program does.
chooser_standin() {
  local real
  real=$(command -v zenity || true)
  mkdir -p "$WORK/bin"
  cat >"$WORK/bin/zenity" <<EOF
#!/bin/sh
for a in "\$@"; do
  [ "\$a" = --file-selection ] && exec cat "$WORK/answer"
done
[ -n "$real" ] && exec "$real" "\$@"
exit 127
EOF
  chmod +x "$WORK/bin/zenity"
  export PATH="$WORK/bin:$PATH"
}
# A PATH without zenity and kdialog (for the checks of the last steps of the
# message box chain): the folders of PATH, but the programs linked one by one
# except those two.
path_without_dialogs() {
  local dir=$WORK/nodialogs f
  mkdir -p "$dir"
  for f in /usr/bin/* /bin/*; do
    case "${f##*/}" in zenity | kdialog) continue ;; esac
    [ -e "$dir/${f##*/}" ] || ln -s "$f" "$dir/${f##*/}" 2>/dev/null
  done
  echo "$dir"
}

# ---------------------------------------------------------------- windows
# The id of a mapped window whose name matches (a regular expression), or
# nothing. xwininfo lists UTF-8 names too, which xdotool's search skips.
window_named() {
  xwininfo -root -tree 2>/dev/null | awk -v re="$1" '
    { if (match($0, /"[^"]*"/)) { n = substr($0, RSTART + 1, RLENGTH - 2); if (n ~ re) { print $1; exit } } }'
}
window_mapped() { [ -n "$(window_named "$1")" ]; }
# wait_window NAME [SECONDS] : sets FOUND to the window id.
wait_window() {
  FOUND=""
  wait_for "${2:-30}" _found_window "$1"
}
_found_window() { FOUND=$(window_named "$1"); [ -n "$FOUND" ]; }

# -------------------------------------------------------------- the program
# start_app PROGRAM ARGS... : starts it in $WORK (APP_PATH replaces PATH for
# it) with its output in $LOG, and waits for its window to be mapped and for
# the program to say it is ready (its poll loop runs and the first picture is
# shown). Sets PID and WIN (empty when the window never came).
start_app() {
  local prog=$1
  shift
  : >"$LOG"
  LOG_MARK=0
  ( cd "$WORK" && PATH=${APP_PATH:-$PATH} exec "$prog" "$@" ) >>"$LOG" 2>&1 &
  PID=$!
  WIN=""
  # Ready: the poll loop runs, or a box of the start-up waits for an answer.
  if wait_for 60 _main_window && wait_for 60 _started; then
    xdotool windowfocus "$WIN" 2>/dev/null
  else
    WIN=""
    echo "  (no window; the program said:)"
    sed 's/^/    | /' "$LOG" | tail -n 20
  fi
}
_started() { _log_has 'Jamloom: ready' || box_ready; }
# The main window's title: the program's own, or "NAME - Jamloom" while the
# work belongs to a mix document (message boxes' titles begin "Jamloom - ").
JL_WINDOW_NAME='^Jamloom 2\.0$| - Jamloom$'
_main_window() { WIN=$(xdotool search --onlyvisible --name "$JL_WINDOW_NAME" 2>/dev/null | head -n 1); [ -n "$WIN" ]; }
alive() { [ -n "$PID" ] && kill -0 "$PID" 2>/dev/null; }
# Ends the program with SIGTERM (answering a box it shows on the way out);
# RC is its exit code.
stop_app() {
  RC=0
  [ -n "$PID" ] || return 0
  kill -TERM "$PID" 2>/dev/null
  if ! wait_for 20 _gone_answering; then
    bad "still running 20 s after SIGTERM"
    kill -KILL "$PID"
  fi
  wait "$PID" 2>/dev/null
  RC=$?
  PID=""
}
_gone_answering() {
  alive || return 0
  box_ready && box_answer default
  return 1
}
# wait_exit SECONDS : true when the program ended in time (RC is set).
wait_exit() {
  wait_for "$1" _not_alive || return 1
  wait "$PID" 2>/dev/null
  RC=$?
  PID=""
}
_not_alive() { ! alive; }

# ------------------------------------------------------------------ the log
# log_mark: remember how far the log is read; wait_log then only looks at
# what came after the mark (or the whole log without a mark).
LOG_MARK=0
log_mark() { LOG_MARK=$(wc -l <"$LOG"); }
log_since() { tail -n +"$((LOG_MARK + 1))" "$LOG"; }
wait_log() {  # PATTERN [SECONDS]
  wait_for "${2:-10}" _log_has "$1"
}
_log_has() { log_since | has -- "$1"; }

# ------------------------------------------------------------------- files
size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }
# wait_file FILE [SECONDS] : the file exists and is not empty.
wait_file() { wait_for "${2:-10}" test -s "$1"; }
# wait_grows FILE BYTES [SECONDS] : the file grows by BYTES from now.
wait_grows() {
  local target=$(( $(size_of "$1") + $2 ))
  wait_for "${3:-10}" _at_least "$1" "$target"
}
_at_least() { [ "$(size_of "$1")" -ge "$2" ]; }
# wait_quiet FILE [SECONDS] : the file stops changing for half a second.
wait_quiet() {
  local last=-1 same=0 end=$(( $(date +%s) + ${2:-10} * E2E_SLOW ))
  while [ "$(date +%s)" -le "$end" ]; do
    local now
    now=$(size_of "$1")
    if [ "$now" = "$last" ]; then
      same=$((same + 1))
      [ $same -ge 10 ] && return 0
    else
      same=0
      last=$now
    fi
    sleep 0.05
  done
  return 1
}

# wait_sound SECONDS [FILE] : SDL's disk audio driver's capture (default
# $WORK/audio.raw, 44100 Hz stereo 16-bit) holds SECONDS (a fraction is
# fine) more sound than now. A capture started anew (the device opened again
# truncates or replaces the file) counts from its start.
wait_sound() {
  local f=${2:-$WORK/audio.raw}
  SOUND_BASE=$(size_of "$f")
  SOUND_INODE=$(stat -c %i "$f" 2>/dev/null || echo 0)
  wait_for $(( ${1%.*} * 3 + 10 )) _more_sound "$f" "$(awk -v s="$1" 'BEGIN { printf "%d", int(s * 44100) * 4 }')"
}
_more_sound() {
  local size inode
  size=$(size_of "$1")
  inode=$(stat -c %i "$1" 2>/dev/null || echo 0)
  if [ "$inode" != "$SOUND_INODE" ] || [ "$size" -lt "$SOUND_BASE" ]; then
    SOUND_BASE=0
    SOUND_INODE=$inode
  fi
  [ "$size" -ge $((SOUND_BASE + $2)) ]
}

# ------------------------------------------------------------------ pixels
# The 640 x 480 design area shows at scale 2, 16 logical pixels down, in a
# window at the screen's top left; these helpers take logical coordinates.
click() { xdotool mousemove $((2 * $1)) $((2 * ($2 + 16))) click 1; }
shot() { import -window root "$WORK/$1.png" 2>/dev/null; }
# Pixels of a logical rectangle (x y w h) differing by more than 5% between
# two screenshots: diffpx A x y w h B.
diffpx() {
  local g="$((2 * $4))x$((2 * $5))+$((2 * $2))+$((2 * ($3 + 16)))"
  convert "$WORK/$1.png" -crop "$g" +repage "$WORK/.a.png" 2>/dev/null
  convert "$WORK/$6.png" -crop "$g" +repage "$WORK/.b.png" 2>/dev/null
  compare -metric AE -fuzz 5% "$WORK/.a.png" "$WORK/.b.png" null: 2>&1 | awk '{printf "%d", $1; exit}'
}
# wait_change REF x y w h [MINPIXELS] [SECONDS] : takes screenshots into
# $WORK/now.png until the rectangle differs from REF by more than MINPIXELS
# (default 0) pixels; CHANGED holds the last count.
wait_change() {
  local ref=$1 x=$2 y=$3 w=$4 h=$5 min=${6:-0}
  CHANGED=0
  wait_for "${7:-10}" _changed "$ref" "$x" "$y" "$w" "$h" "$min"
}
_changed() {
  shot now
  CHANGED=$(diffpx "$1" "$2" "$3" "$4" "$5" now)
  [ "${CHANGED:-0}" -gt "$6" ] 2>/dev/null
}
# wait_still [SECONDS] : screenshots until two in a row show the same
# picture in the rectangle (x y w h, default the whole design area), for
# a screen that is still drawing. The last one is $WORK/now.png.
wait_still() {
  local area=${2:-0 0 640 480}
  shot now
  wait_for "${1:-10}" _still $area
}
_still() {
  cp "$WORK/now.png" "$WORK/.prev.png"
  shot now
  [ "$(diffpx .prev "$1" "$2" "$3" "$4" now)" = "0" ]
}

# ------------------------------------------------------ songs and the sound
# Level (rms) of the newest second of the captured sound.
level() {
  python3 - "$WORK/audio.raw" <<'EOF'
import array, math, os, sys
p = sys.argv[1]
size = os.path.getsize(p) if os.path.exists(p) else 0
a = array.array('h')
if size:
    with open(p, 'rb') as f:
        f.seek(max(0, size - 176400) & ~3)
        a.frombytes(f.read()[: (size - (max(0, size - 176400) & ~3)) // 2 * 2])
print(int(math.sqrt(sum(x * x for x in a[::5]) / len(a[::5]))) if len(a) else 0)
EOF
}
# Browser row (0-based): click it, then LOAD SONG; the groove panel replaces
# the browser (or a box comes).
load_song() {
  shot before_load
  click 185 $((126 + 21 * $1))
  wait_change before_load 36 $((116 + 21 * $1)) 300 20 0 15
  shot before_load
  click 542 138
  wait_for 20 _loaded_or_box
}
_loaded_or_box() { box_ready && return 0; _changed before_load 36 116 300 20 1000; }
# One second of sound: the disk driver's file grows by 176400 bytes.
play_a_second() { wait_grows "$WORK/audio.raw" 176400 10; }

# ----------------------------------------------------------- message boxes
# For each box the program writes "message box: ask: TITLE: TEXT" to its log,
# then "message box: offered to STEP: TITLE" for each way it tries (STEP:
# zenity, kdialog, sdl, or window: drawn inside its own window), with a
# reason when a way fails, and "message box: answer N" once answered. A box
# is waiting while there are more asks than answers; it is found through
# the last way offered and its window. BOX_STEP and BOX_WIN describe it.
_count() { grep -c "$1" "$LOG" 2>/dev/null || true; }
box_ready() {
  local asks answers line
  asks=$(_count '^message box: ask: ')
  answers=$(_count '^message box: answer ')
  [ "${asks:-0}" -gt "${answers:-0}" ] || return 1
  line=$(grep '^message box: offered to ' "$LOG" | tail -n 1)
  [ -n "$line" ] || return 1
  BOX_STEP=$(echo "$line" | sed 's/^message box: offered to \([a-z]*\).*/\1/')
  BOX_TITLE=$(echo "$line" | sed 's/^message box: offered to [a-z]*: //')
  BOX_ANSWERS=$answers
  BOX_WIN=""
  # Drawn inside the main window, or in a window of its own (named with the
  # title) when the program has none.
  [ "$BOX_STEP" = window ] && BOX_WIN=$WIN
  if [ -z "$BOX_WIN" ]; then
    # Dialogs are named with the title (the program cuts a long one).
    local want="\"$BOX_TITLE\""
    [ ${#BOX_TITLE} -le 40 ] || want="\"${BOX_TITLE:0:40}"
    BOX_WIN=$(xwininfo -root -tree 2>/dev/null | grep -F "$want" | awk '{print $1; exit}')
  fi
  [ -n "$BOX_WIN" ]
}
# wait_box [SECONDS] : true when the program shows a box (not yet answered).
wait_box() { wait_for "${1:-10}" box_ready; }
# box_answer default|yes|no|cancel|escape : answers the box found by wait_box with
# the keyboard (every step understands Return and Escape as the default;
# zenity's buttons have mnemonics, the in-window box takes Y, N and C), and
# waits until the program has taken the answer.
box_answer() {
  local keys i
  for i in 1 2 3; do
    # Found again before each try: a way that failed after it was offered
    # (SDL's box) hands over to the next, which then holds the box.
    [ "$i" -eq 1 ] || box_ready || { _answered && return 0; continue; }
    _box_key "$1" && return 0
  done
  return 1
}
# One try of box_answer on the box found last.
_box_key() {
  local keys
  case "$BOX_STEP:$1" in
    *:default) keys=Return ;;
    *:escape) keys=Escape ;;
    zenity:yes) keys=alt+y ;;
    zenity:no) keys=alt+n ;;
    zenity:cancel) keys=Escape ;;
    window:yes) keys=y ;;
    window:no) keys=n ;;
    window:cancel) keys=c ;;
    *) keys="" ;;
  esac
  if [ -n "$keys" ]; then
    xdotool windowfocus "$BOX_WIN" 2>/dev/null
    wait_for 2 _focused "$BOX_WIN"
    # (Sent to the focus: GTK and SDL ignore keys sent to a window.)
    xdotool key "$keys"
  else
    # SDL's own box knows no shortcuts: click the button. Yes is the left
    # one along its bottom.
    local g bw bh bx by
    g=$(xwininfo -id "$BOX_WIN" 2>/dev/null | awk '/-geometry/ {print $2}')
    IFS='x+' read -r bw bh bx by <<<"$g"
    xdotool mousemove $((bx + bw * 27 / 100)) $((by + bh * 72 / 100)) click 1
  fi
  # The answer is logged once the box took it; a key sent before the box
  # had the focus is sent again.
  wait_for 3 _answered
}
_answered() { [ "$(grep -c '^message box: answer ' "$LOG")" -gt "$BOX_ANSWERS" ]; }
_focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$(($1))" ]; }
# The answer the program took for the last box: 1 OK/Yes, 2 No, 3 Cancel.
last_answer() { grep '^message box: answer ' "$LOG" | tail -n 1 | awk '{print $4}'; }
# answer_box [SECONDS] : waits for a box and answers its default button;
# true if there was one.
answer_box() { wait_box "${1:-10}" && box_answer default; }

# quit_without_question WHAT : with nothing to lose, Ctrl+Q ends the
# program at once, asking nothing.
quit_without_question() {
  local asked
  asked=$(_count '^message box: ask: ')
  xdotool windowfocus "$WIN" 2>/dev/null
  xdotool key ctrl+q
  if wait_exit 20; then
    check '[ "$RC" -eq 0 ] && [ "$(_count "^message box: ask: ")" = "$asked" ]' \
      "$1: Ctrl+Q ends the program without a question (exit code $RC)"
  else
    bad "$1: still running after Ctrl+Q ($(grep '^message box: ask: ' "$LOG" | tail -n 1))"
    stop_app
  fi
}

# Ctrl+Q asks first: Return (the default, No) keeps the program running,
# Yes closes it with exit code 0 - through whichever box the chain shows.
check_close_question() {
  xdotool windowfocus "$WIN" 2>/dev/null
  xdotool key ctrl+q
  if ! wait_box 20; then
    bad "no close question"
    return
  fi
  ok "the close question is shown (by $BOX_STEP)"
  box_answer default
  check '[ "$(last_answer)" = 2 ] && alive' "Return answers No and the program keeps running"
  xdotool windowfocus "$WIN" 2>/dev/null
  xdotool key ctrl+q
  if wait_box 20; then
    box_answer yes
  else
    bad "no close question the second time"
  fi
  if wait_exit 20; then
    check '[ "$RC" -eq 0 ]' "Yes closes the program (exit code $RC)"
  else
    bad "still running after Yes"
    stop_app
  fi
}
