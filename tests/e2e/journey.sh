#!/usr/bin/env bash
# One user's session with the real program under Xvfb, from the first start
# to reopening the saved work: the song browser comes first; a demo song is
# loaded and played (the sound captured by SDL's disk audio driver must be
# above silence, without gaps, and start on a beat); a loop and the tempo
# change; a track is muted and another soloed; two grooves are stored,
# added to the sequence and played; the virtual mixer and the synth open
# and close; the mix is saved (the file chooser is a stand-in script);
# Ctrl+Q asks first and "No" keeps the program running, "Yes" closes it;
# started again with the saved document, the groove panel shows the same
# tracks, tempo, bank and sequence.
#
# Needs Xvfb, xdotool, xwininfo, ImageMagick and python3. JL_APP points at
# a built program folder (default build/app).
set -uo pipefail
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
APP=${JL_APP:-$ROOT/build/app}
WORK=$(mktemp -d /tmp/jljourney.XXXXXX)
XVFB=""
PID=""
cleanup() {
  [ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null
  [ -n "$XVFB" ] && kill "$XVFB" 2>/dev/null
  [ -n "${JL_KEEP:-}" ] && echo "kept $WORK" || rm -rf "$WORK"
}
trap cleanup EXIT
PASS=0
FAIL=0
ok() { echo "  ok: $*"; PASS=$((PASS + 1)); }
bad() { echo "  FAILED: $*"; FAIL=$((FAIL + 1)); }
check() { if eval "$1"; then ok "$2"; else bad "$2"; fi; }
# A fault the program still has and that is reported, not yet fixed: it is
# printed on every run but does not fail the run.
KNOWN=0
known() { if eval "$1"; then ok "$2"; else echo "  KNOWN FAULT: $2"; KNOWN=$((KNOWN + 1)); fi; }

for tool in Xvfb xdotool xwininfo import convert compare python3; do
  command -v "$tool" >/dev/null || { echo "$tool missing"; exit 1; }
done
[ -x "$APP/jamloom" ] && [ -d "$APP/Library/Song/NeonBoulevard" ] || { echo "no program with its demo library in $APP"; exit 1; }

export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/data XDG_CONFIG_HOME=$WORK/home/config
mkdir -p "$HOME"
unset SDL_VIDEODRIVER
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$WORK/audio.raw

# The file chooser: a stand-in that answers with the path in $WORK/answer.
mkdir -p "$WORK/bin"
printf '#!/bin/sh\ncat "%s/answer"\n' "$WORK" >"$WORK/bin/zenity"
chmod +x "$WORK/bin/zenity"
export PATH="$WORK/bin:$PATH"

DISPLAY_NUM=$((500 + RANDOM % 200))
Xvfb ":$DISPLAY_NUM" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
export DISPLAY=":$DISPLAY_NUM"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

cp -r "$APP" "$WORK/app"

# ---------------------------------------------------------------- helpers
# The 640 x 480 design area shows at scale 2, 16 logical pixels down.
click() {
  xdotool mousemove $((2 * $1)) $((2 * ($2 + 16)))
  sleep 0.05
  xdotool click 1
  sleep "${3:-0.3}"
}
shot() { import -window root "$WORK/$1.png" 2>/dev/null; }
# Mean brightness (0..1) of a logical rectangle x y w h.
mean() {
  convert "$WORK/$1.png" -crop "$((2 * $4))x$((2 * $5))+$((2 * $2))+$((2 * ($3 + 16)))" -colorspace Gray \
    -format '%[fx:mean]' info: 2>/dev/null
}
# Pixels of a logical rectangle x y w h differing by more than 5% between
# two screenshots.
diffpx() {
  local g="$((2 * $4))x$((2 * $5))+$((2 * $2))+$((2 * ($3 + 16)))"
  convert "$WORK/$1.png" -crop "$g" +repage "$WORK/a.png"
  convert "$WORK/$6.png" -crop "$g" +repage "$WORK/b.png"
  compare -metric AE -fuzz 5% "$WORK/a.png" "$WORK/b.png" null: 2>&1 | cut -d' ' -f1
}
differs() { python3 -c "import sys; sys.exit(0 if abs($1 - $2) > ${3:-0.01} else 1)"; }
# The question box SDL shows (its UTF-8 name escapes xdotool's search).
question_box() { xwininfo -root -tree 2>/dev/null | grep '"Jamloom - Question"' | head -n 1; }
wait_box() {
  BOXLINE=""
  for _ in $(seq 50); do
    BOXLINE=$(question_box)
    [ -n "$BOXLINE" ] && return 0
    sleep 0.1
  done
  return 1
}
start_app() {
  ( cd "$WORK" && exec "$WORK/app/jamloom" "$@" ) >>"$WORK/app.log" 2>&1 &
  PID=$!
  WIN=""
  for _ in $(seq 300); do  # a loaded machine may take a while
    WIN=$(xdotool search --name "^Jamloom 2.0$" 2>/dev/null | head -n 1)
    [ -n "$WIN" ] && break
    sleep 0.1
  done
  sleep 1.5
  [ -n "$WIN" ] && xdotool windowfocus "$WIN" 2>/dev/null
}
# Playback opens the audio device anew, and the disk driver then starts its
# file anew: the capture of one playback begins with the Play command.
grab() { sleep "$1"; cp "$WORK/audio.raw" "$WORK/$2.raw"; }

# Sound analysis of the disk driver's raw file (s16le stereo, 44100 Hz):
#   sound.py FILE BPM  ->  "rms longest_gap_ms latency_ms phase_ms beats"
# rms: level of the whole capture after the first onset; longest_gap_ms:
# the longest run of 5 ms windows below -50 dBFS after the first onset;
# latency_ms: Play to the first onset; phase_ms: the median distance of the
# strong onsets (the kick) from the beat grid that starts with Play (the
# engine's timeline starts there) or with the first sound; beats: how many
# strong onsets were seen.
cat >"$WORK/sound.py" <<'EOF'
import array, sys, math
a = array.array('h')
a.frombytes(open(sys.argv[1], 'rb').read())
mono = [(a[i] + a[i + 1]) // 2 for i in range(0, len(a) - 1, 2)]
period = 44100 * 60.0 / float(sys.argv[2])
first = next((i for i, x in enumerate(mono) if abs(x) > 1000), None)
if first is None:
    print('0 99999 99999 99999 0'); sys.exit()
body = mono[first:]
rms = math.sqrt(sum(x * x for x in body[::7]) / max(1, len(body[::7])))
W = 220
gap = longest = 0
for i in range(0, len(body) - W, W):
    if max(abs(x) for x in body[i:i + W]) < 104:
        gap += 1
        longest = max(longest, gap)
    else:
        gap = 0
HOP = 64
env = [sum(abs(x) for x in mono[i:i + HOP]) for i in range(0, len(mono) - HOP, HOP)]
top = max(env)
ons, last = [], -10**9
for i in range(8, len(env)):
    if env[i] > 0.25 * top and env[i] > 3 * max(env[i - 8:i - 2]) and i * HOP - last > period / 4:
        ons.append(i * HOP)
        last = i * HOP
def median_off(origin):
    errs = sorted(min((o - origin) % period, period - (o - origin) % period) for o in ons)
    return errs[len(errs) // 2] if errs else 99999 * 44.1
# The device may add a silent buffer before the first one the engine
# fills, and a sound that starts late starts abruptly (an onset off the
# grid): the grid starts with Play, the first sound or one of the first
# three kicks.
phase = min([median_off(0), median_off(first)] + [median_off(o) for o in ons[:3]])
print('%d %d %.1f %.1f %d' % (rms, longest * 5, first / 44.1, phase / 44.1, len(ons)))
EOF
# The first sound after Play comes at once (the device may put one silent
# buffer, 46 ms, before the engine's first; a start that loses its first
# beats shows as 186 ms or more), and the kicks keep one beat grid.
sound_ok() {  # capture, bpm, what[, known]
  local rms gap latency phase beats
  read -r rms gap latency phase beats < <(python3 "$WORK/sound.py" "$WORK/$1.raw" "$2")
  check '[ "$rms" -gt 300 ]' "$3: sound above silence (rms $rms)"
  check '[ "$gap" -le 100 ]' "$3: no gap in the sound (longest $gap ms below -50 dBFS)"
  check 'python3 -c "import sys; sys.exit(0 if $phase < 12 and $beats >= 3 else 1)"' \
    "$3: the kicks lie on one beat grid ($phase ms off, $beats kicks)"
  local how=check
  [ -n "${4:-}" ] && how=known
  $how 'python3 -c "import sys; sys.exit(0 if $latency < 100 else 1)"' "$3: the first sound comes $latency ms after Play"
}

# ------------------------------------------------------------- the journey
echo "-- the program starts on the song browser"
start_app
check '[ -n "$WIN" ]' "window open"
shot browser
# Song rows of the browser (floating at 20, 42): the first holds a name,
# the ninth is empty.
check 'differs "$(mean browser 40 116 200 20)" "$(mean browser 40 284 200 20)"' "songs listed"

echo "-- a demo song loads and plays"
click 185 147 1      # Neon Boulevard (125 BPM)
click 542 138 2      # LOAD SONG
shot loaded
n=$(diffpx browser 36 116 300 20 loaded)
check '[ "${n:-0}" -gt 1000 ]' "the browser gave way to the groove panel ($n pixels changed)"
n=$(diffpx browser 150 5 250 20 loaded)
check '[ "${n:-0}" -gt 200 ]' "the song's name shows in the title ($n pixels)"
click 118 308 0.3    # STOP
click 42 308         # PLAY
grab 3 play1
sound_ok play1 125 "playing the song"

echo "-- a loop and the tempo change"
shot before_change
# I with + or - steps track 1's loop (loading the song picked a random one,
# which may be the group's first or last).
next_loop() {
  xdotool keydown i
  sleep 0.15
  xdotool key "$1"
  sleep 0.15
  xdotool keyup i
  sleep 0.4
}
# A held key under a loaded X server can be missed: try again a few times.
for _ in 1 2 3; do
  next_loop plus
  shot loop_step
  [ "$(diffpx before_change 14 98 72 18 loop_step)" != "0" ] && break
  next_loop minus
  shot loop_step
  [ "$(diffpx before_change 14 98 72 18 loop_step)" != "0" ] && break
  sleep 0.5
done
for _ in 1 2 3 4 5; do click 372 308 0.15; done   # + : 0.2 BPM each, 126 BPM
sleep 0.3
shot changed
n=$(diffpx before_change 14 98 72 18 changed)
check '[ "${n:-0}" -gt 20 ]' "track 1 shows another loop ($n pixels)"
n=$(diffpx before_change 276 296 52 24 changed)
check '[ "${n:-0}" -gt 20 ]' "the tempo display changed ($n pixels)"
click 118 308 0.3
click 42 308
grab 3 play2
sound_ok play2 126 "after the changes"

echo "-- mute and solo"
click 99 128 0.4     # track 2's lamp: mute
shot muted
check 'differs "$(mean changed 94 123 10 10)" "$(mean muted 94 123 10 10)" 0.02' "track 2's lamp goes out"
click 364 183 0.3    # SOLO
click 176 128 0.4    # track 3's lamp: solo
shot solo
check 'differs "$(mean muted 171 123 10 10)" "$(mean solo 171 123 10 10)" 0.02' "track 3's lamp shows it soloed"
check 'differs "$(mean muted 248 123 10 10)" "$(mean solo 248 123 10 10)" 0.02' "track 4's lamp shows it silenced by the solo"
click 364 183 0.3    # SOLO off

echo "-- two grooves are stored and played as a sequence"
click 42 378 0.4     # STORE
shot before_step
next_loop plus
shot loop_step
[ "$(diffpx before_step 14 98 72 18 loop_step)" = "0" ] && next_loop minus
click 42 378 0.4     # STORE
click 585 378 0.4    # ADD ALL
shot stored
empty=$(mean stored 434 378 8 8)
filled=0
for x in 182 218; do differs "$(mean stored $((x - 4)) 374 8 8)" "$empty" && filled=$((filled + 1)); done
check '[ $filled -eq 2 ]' "two balls in the bank"
empty=$(mean stored 434 428 8 8)
filled=0
for x in 182 218; do differs "$(mean stored $((x - 4)) 424 8 8)" "$empty" && filled=$((filled + 1)); done
check '[ $filled -eq 2 ]' "two steps in the sequence"
click 118 308 0.3
click 74 428         # PLAY SEQUENCE
grab 3 sequence
sound_ok sequence 126 "the sequence"
click 118 308 0.3    # STOP

echo "-- the virtual mixer and the synth open and close"
shot groove
click 294 464 1      # MIXER
shot mixer
n=$(diffpx groove 0 0 640 480 mixer)
check '[ "${n:-0}" -gt 100000 ]' "the mixer panel shows ($n pixels changed)"
click 306 384 1      # RESTORE GROOVES
shot back
# (Restoring the grooves clears the selection ring of ball 1.)
n=$(diffpx groove 200 360 100 36 back)
check '[ "${n:-0}" -lt 60 ]' "back on the groove panel with the same bank ($n pixels differ)"
click 360 464 1      # SYNTH
shot synth
n=$(diffpx back 100 100 460 262 synth)
check '[ "${n:-0}" -gt 50000 ]' "the synth panel shows ($n pixels changed)"
click 360 464 1      # SYNTH again hides it
shot nosynth
n=$(diffpx back 10 72 620 46 nosynth)
check '[ "${n:-0}" -lt 200 ]' "the synth panel is hidden again ($n pixels differ)"
check 'kill -0 $PID 2>/dev/null' "still running"

echo "-- the mix is saved"
echo "$WORK/journey.jld" >"$WORK/answer"
click 157 464        # SAVE
for _ in $(seq 30); do [ -s "$WORK/journey.jld" ] && break; sleep 0.1; done
check '[ -s "$WORK/journey.jld" ]' "journey.jld written"
sleep 0.3
shot saved

echo "-- Ctrl+Q asks; No keeps the program, Yes closes it"
xdotool key ctrl+q
if wait_box; then
  ok "the close question is shown"
  sleep 0.3
  # Return answers the default button, which is No.
  xdotool windowfocus "$(echo "$BOXLINE" | awk '{print $1}')" key Return
  sleep 0.8
  check '[ -z "$(question_box)" ] && kill -0 $PID 2>/dev/null' "No keeps the program running"
  xdotool windowfocus "$WIN" 2>/dev/null
  xdotool key ctrl+q
  if wait_box; then
    sleep 0.3
    # Yes is the left one of the two buttons along the bottom of the box. A
    # box still drawing itself can miss the click: press until it is gone.
    for _ in 1 2 3 4 5; do
      BOXLINE=$(question_box)
      [ -n "$BOXLINE" ] || break
      IFS='x+' read -r bw bh bx by < <(echo "$BOXLINE" | grep -o '[0-9]*x[0-9]*+[0-9]*+[0-9]*' | head -n 1)
      xdotool mousemove $((bx + bw * 27 / 100)) $((by + bh * 72 / 100)) click 1
      sleep 0.8
    done
  else
    bad "no close question the second time"
  fi
else
  bad "no close question"
fi
for _ in $(seq 50); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$PID" 2>/dev/null; then
  bad "still running after Yes"
  kill -TERM "$PID"
  wait "$PID" 2>/dev/null
else
  wait "$PID"
  rc=$?
  check '[ $rc -eq 0 ]' "closed with exit code 0 (got $rc)"
fi
PID=""

echo "-- started again with the saved mix, the groove panel is the same"
start_app "$WORK/journey.jld"
check '[ -n "$WIN" ]' "window open"
sleep 0.5
shot reopened
# Track pop-ups, the selected track's name, the tempo, the bank and the
# sequence (the meters and lamps of the playing position change with use).
for area in "10 72 620 46:tracks" "16 172 296 20:selected track" "276 296 52 24:tempo" \
  "164 360 300 36:bank" "164 410 300 36:sequence"; do
  n=$(diffpx saved ${area%%:*} reopened)
  check '[ "${n:-99999}" -lt 60 ]' "${area##*:} as saved ($n pixels differ)"
done
xdotool key space
grab 3 reopened
sound_ok reopened 126 "the reopened mix"
kill -TERM "$PID" 2>/dev/null
for _ in $(seq 50); do kill -0 "$PID" 2>/dev/null || break; sleep 0.1; done
wait "$PID" 2>/dev/null
PID=""

echo
echo "e2e: $PASS passed, $FAIL failed, $KNOWN known faults"
[ "$FAIL" -eq 0 ]
