#!/usr/bin/env bash
# End-to-end checks of the groove panel in the real program under Xvfb, as
# a new user meets it: a mix document named on the command line opens with
# its song, grooves and tempo; Space plays and the sound (captured by SDL's
# disk audio driver) keeps the document's tempo; changing a loop while it
# plays stays in beat; the sequence of three stored grooves steps on every
# 32-beat boundary; tap tempo changes the tempo; a saved mix reopens
# identically; the disk mix writes a file of the right length.
#
# Needs Xvfb, xdotool, ImageMagick and python3 (document building and sound
# analysis). JL_APP points at a built program folder (default build/app).
source "$(dirname "$0")/lib/common.sh"
e2e_begin jlgroove Xvfb xdotool xwininfo import convert compare python3
need_app
chooser_standin
start_xvfb
copy_app

# ---------------------------------------------------------------- helpers
wx() { echo $((2 * $1)); }
wy() { echo $((2 * ($1 + 16))); }
# Mean brightness (0..1) of a logical square of side 2r around (x, y).
mean() {
  local r=$4
  convert "$WORK/$1.png" -crop "$((4 * r))x$((4 * r))+$(wx $(($2 - r)))+$(wy $(($3 - r)))" -colorspace Gray \
    -format '%[fx:mean]' info: 2>/dev/null
}
# Differing pixels of a logical rectangle in two screenshots (exact).
diffpx_exact() {
  local g="$(($4 * 2))x$(($5 * 2))+$(wx "$2")+$(wy "$3")"
  convert "$WORK/$1.png" -crop "$g" +repage "$WORK/a.png"
  convert "$WORK/$6.png" -crop "$g" +repage "$WORK/b.png"
  compare -metric AE "$WORK/a.png" "$WORK/b.png" null: 2>&1 | awk '{printf "%d", $1; exit}'
}
audio_bytes() { size_of "$WORK/audio.raw"; }
# Waits until the capture of this playback holds SECONDS (may be a
# fraction) of sound.
second() {
  wait_for 60 _at_least "$WORK/audio.raw" "$(python3 -c "print(int($1 * 44100) * 4)")" || true
}
# SECONDS more of sound in the capture.
hear() { wait_grows "$WORK/audio.raw" $(($1 * 176400)) $(($1 * 3 + 10)); }
# Every start of playback opens the audio device again, and the disk driver
# then starts its file anew: sound of one playback starts at offset 0.
start_doc() {  # capture file, arguments...
  export SDL_DISKAUDIOFILE=$1
  start_app "$WORK/app/jamloom" "${@:2}"
}

# A mix document of NeonBoulevard (125 BPM) at 150 BPM: groove 1 plays the
# kick alone, groove 2 adds bass and chords, groove 3 is the kick alone
# again; the sequence plays 1, 2, 3; the current groove is groove 1 with
# track 1 selected.

# Sound analysis of the disk driver's raw file (s16le stereo, 44100 Hz).
cat >"$WORK/sound.py" <<'EOF'
import array, sys, math
HOP = 64 if sys.argv[1] == 'inbeat' else 256
def load(path, start=0, end=None):
    a = array.array('h')
    with open(path, 'rb') as f:
        f.seek(start)
        a.frombytes(f.read() if end is None else f.read(end - start))
    return a
def envelope(a):
    env = []
    for i in range(0, len(a) - 2 * HOP, 2 * HOP):
        s = 0
        for j in range(i, i + 2 * HOP, 8):
            s += abs(a[j])
        env.append(s)
    return env
def onsets(env):
    # Frames (in hops) where the level jumps well above the recent past.
    out, last = [], -100
    for i in range(4 * 256 // HOP, len(env)):
        before = max(env[i - 4 * 256 // HOP:i - 256 // HOP]) + 1
        if env[i] > 3 * before and env[i] > 2000 * HOP // 256 and i - last > 5120 // HOP:
            out.append(i)
            last = i
    return out
def grid_error(ons, period, phase):
    errs = []
    for o in ons:
        d = ((o - phase) % period)
        errs.append(min(d, period - d))
    return max(errs) if errs else 1e9
def best_grid(ons, period):
    return min((grid_error(ons, period, p), p) for p in [x * 0.25 for x in range(int(period * 4))])
cmd = sys.argv[1]
if cmd == 'peak':
    a = load(sys.argv[2], int(sys.argv[3]))
    print(max((abs(x) for x in a), default=0))
elif cmd == 'beat':
    # Median interval between the kick's onsets, in frames.
    a = load(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    ons = onsets(envelope(a))
    iv = sorted(ons[i + 1] - ons[i] for i in range(len(ons) - 1))
    print(iv[len(iv) // 2] * HOP if iv else 0)
elif cmd == 'inbeat':
    # The kick's onsets before and after a change lie on one line of beats:
    # fit beat number -> time over all of them and print the worst
    # distance from it in milliseconds, and how many onsets follow the
    # change.
    a = load(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    change = (int(sys.argv[6]) - int(sys.argv[3])) // 4 // HOP
    period = float(sys.argv[5]) / HOP
    ons = [o for o in onsets(envelope(a)) if o * HOP > 11025]  # not the device's first moments
    if len(ons) < 4:
        print('1000 0 0'); sys.exit()
    n = [round((o - ons[0]) / period) for o in ons]
    mn, mo = sum(n) / len(n), sum(ons) / len(ons)
    slope = sum((x - mn) * (y - mo) for x, y in zip(n, ons)) / max(1e-9, sum((x - mn) ** 2 for x in n))
    worst = max(abs(y - (mo + slope * (x - mn))) for x, y in zip(n, ons))
    print('%.1f %d %d' % (worst * HOP * 1000.0 / 44100, len(ons), sum(1 for o in ons if o > change)))
elif cmd == 'differs':
    # How far the loop's shape (the level folded over four beats) after the
    # change lies from the one before it: 0 same, 2 nothing in common.
    period = 4 * float(sys.argv[6]) / HOP
    def fold(a):
        env = envelope(a)
        n = int(period)
        f = [0.0] * n
        for i, v in enumerate(env):
            f[int(i % period) % n] += v
        t = sum(f) or 1.0
        return [x / t for x in f]
    a = fold(load(sys.argv[2], int(sys.argv[3]), int(sys.argv[4])))
    b = fold(load(sys.argv[2], int(sys.argv[4]), int(sys.argv[5])))
    print('%.3f' % sum(abs(x - y) for x, y in zip(a, b)))
elif cmd == 'steps':
    # Level per beat from `start` (where playback began, which is where the
    # engine's timeline starts); prints the beats where the level moves by
    # more than a quarter and stays there.
    a = load(sys.argv[2], int(sys.argv[3]))
    period = float(sys.argv[4])
    levels = []
    k = 0
    while int((k + 1) * period) * 2 <= len(a):
        seg = a[int(k * period) * 2:int((k + 1) * period) * 2:5]
        levels.append(sum(abs(x) for x in seg) / len(seg))
        k += 1
    if len(sys.argv) > 5: print(' '.join('%d' % l for l in levels), file=sys.stderr)
    changes = []
    for b in range(4, len(levels) - 1):
        prev = sum(levels[b - 4:b]) / 4
        if all(abs(levels[c] - prev) > 0.25 * prev for c in (b, b + 1)) and (not changes or b - changes[-1] > 8):
            changes.append(b)
    print(' '.join(str(c) for c in changes) if changes else 'none')
elif cmd == 'frames':
    import wave
    w = wave.open(sys.argv[2])
    print(w.getnframes(), w.getnchannels(), w.getframerate())
elif cmd == 'expect':
    # Frames of `steps` 32-beat steps at the tempo stored in a mix document.
    data = open(sys.argv[2], 'rb').read()
    bpm = struct_bpm = __import__('struct').unpack('<f', data[4 + 12 + 8 + 8724:4 + 12 + 8 + 8728])[0]
    bpm = min(bpm, 1.3 * 125)
    print(int(round(int(sys.argv[3]) * 32 * 60.0 * 44100 / bpm)))
EOF

python3 "$ROOT/tests/e2e/lib/mixdoc.py" "$WORK/doc.jld" NeonBoulevard 150 1,2,3 \
  0:0:0:80:0 0:0:0:80:0,4:4:0:110:0,5:5:1:110:0 0:0:0:80:0
[ -n "${JL_KEEP:-}" ] && echo "work folder: $WORK"
BEAT150=17640  # frames per beat at 150 BPM

echo "-- a document on the command line opens with its song, grooves and tempo"
start_doc "$WORK/audio.raw" "$WORK/doc.jld"
check '[ -n "$WIN" ]' "window open"
wait_still 10
cp "$WORK/now.png" "$WORK/open.png"
# Balls 1-3 of both rows carry numbers, ball 8 is empty.
for row in 378 428; do
  empty=$(mean open 434 $row 8)
  filled=0
  for i in 0 1 2; do
    m=$(mean open $((182 + 36 * i)) $row 8)
    python3 -c "import sys; sys.exit(0 if abs($m - $empty) > 0.01 else 1)" && filled=$((filled + 1))
  done
  check '[ $filled -eq 3 ]' "three balls in the row at y $row"
done

echo "-- Space plays; the sound keeps the document's tempo"
before=0
rm -f "$WORK/audio.raw"
xdotool key space
second 4
mid=$(audio_bytes)
peak=$(python3 "$WORK/sound.py" peak "$WORK/audio.raw" "$before")
check '[ "${peak:-0}" -gt 1000 ]' "sound after Space (peak $peak)"
beat=$(python3 "$WORK/sound.py" beat "$WORK/audio.raw" "$before" "$mid")
check 'python3 -c "import sys; sys.exit(0 if abs($beat - $BEAT150) < 0.04 * $BEAT150 else 1)"' \
  "kick every $beat frames (150 BPM: $BEAT150)"

echo "-- changing a loop while it plays stays in beat"
xdotool keydown i key plus keyup i
hear 4
after=$(audio_bytes)
xdotool key space
wait_quiet "$WORK/audio.raw" 5
cp "$WORK/audio.raw" "$WORK/change.raw"
read -r err count later < <(python3 "$WORK/sound.py" inbeat "$WORK/change.raw" "$before" "$after" $BEAT150 "$mid")
check 'python3 -c "import sys; sys.exit(0 if $err < 3 and $later > 5 else 1)"' \
  "onsets before and after the change keep one beat (worst ${err} ms off, $count onsets, $later after)"
dist=$(python3 "$WORK/sound.py" differs "$WORK/change.raw" "$before" "$mid" "$after" $BEAT150)
check 'python3 -c "import sys; sys.exit(0 if $dist > 0.15 else 1)"' "the new loop sounds different (distance $dist)"

echo "-- the sequence of three grooves steps every 32 beats"
seqstart=0
rm -f "$WORK/audio.raw"
click 74 428  # PLAY SEQUENCE
# Steps change at 12.8 s and 25.6 s (32 beats at 150 BPM); look well inside
# each step, timed by the sound captured so far.
second 5
shot seq1
second 15
shot seq2
second 27.5
shot seq3
second 30.5
click 118 308  # STOP
wait_quiet "$WORK/audio.raw" 5
cp "$WORK/audio.raw" "$WORK/sequence.raw"
ball_lit() {  # the brightest of sequence balls 1-3
  python3 -c "
m=[$(mean "$1" 182 428 13),$(mean "$1" 218 428 13),$(mean "$1" 254 428 13)]
print(m.index(max(m)) + 1)"
}
lit="$(ball_lit seq1) $(ball_lit seq2) $(ball_lit seq3)"
check '[ "$lit" = "1 2 3" ]' "the highlighted step moves 1 2 3 (saw $lit)"
steps=$(python3 "$WORK/sound.py" steps "$WORK/sequence.raw" "$seqstart" $BEAT150)
check '[ "$steps" = "32 64" ]' "the sound changes at beats 32 and 64 (saw $steps)"

echo "-- tap tempo changes the tempo"
shot before_tap
# The taps' spacing is the input itself (tap tempo measures it), not a wait.
for _ in 1 2 3 4 5; do
  click 406 308
  sleep 0.33
done
wait_change before_tap 276 296 52 24 0 15
cp "$WORK/now.png" "$WORK/after_tap.png"
check '[ "$(diffpx_exact before_tap 276 296 52 24 after_tap)" != "0" ]' "the tempo display changed"
tap0=0
rm -f "$WORK/audio.raw"
xdotool key space
second 4
tap1=$(audio_bytes)
xdotool key space
beat=$(python3 "$WORK/sound.py" beat "$WORK/audio.raw" "$tap0" "$tap1")
# Five taps a bit more than half a second apart: about 100 BPM, well away
# from the 150 before.
check 'python3 -c "import sys; sys.exit(0 if 18900 < $beat < 33075 else 1)"' "kick every $beat frames after tapping (80-140 BPM)"

echo "-- a saved mix reopens identically"
echo "$WORK/saved.jld" >"$WORK/answer"
click 157 464  # SAVE
wait_file "$WORK/saved.jld" 10 && wait_quiet "$WORK/saved.jld" 5
check '[ -s "$WORK/saved.jld" ]' "saved.jld written"
wait_still 5
cp "$WORK/now.png" "$WORK/saved.png"
stop_app
start_doc "$WORK/audio2.raw" "$WORK/saved.jld"
wait_still 10
cp "$WORK/now.png" "$WORK/reopened.png"
# Tracks, selected track, modes and tempo (the meters, position lamps,
# status texts and ball highlights change with use and are left out), and
# the numbers of every ball.
for area in "10 72 620 46" "10 168 600 84" "248 296 140 26"; do
  n=$(diffpx_exact saved $area reopened)
  check '[ "$n" = "0" ]' "area $area identical ($n pixels differ)"
done
same=0
for i in 0 1 2 3 4 5 6 7; do
  for y in 378 428; do
    [ "$(diffpx_exact saved $((176 + 36 * i)) $((y - 6)) 12 12 reopened)" = "0" ] && same=$((same + 1))
  done
done
check '[ $same -eq 16 ]' "all 16 ball numbers identical ($same)"
echo "$WORK/saved2.jld" >"$WORK/answer"
click 157 464
wait_file "$WORK/saved2.jld" 10 && wait_quiet "$WORK/saved2.jld" 5
check 'cmp -s "$WORK/saved.jld" "$WORK/saved2.jld"' "saving the reopened mix gives the same bytes"

echo "-- the disk mix writes the sequence into a file of the right length"
echo "$WORK/mix.wav" >"$WORK/answer"
click 223 464  # DISK MIX
wait_file "$WORK/mix.wav" 30 && wait_quiet "$WORK/mix.wav" 10
if [ -s "$WORK/mix.wav" ]; then
  read -r frames ch rate < <(python3 "$WORK/sound.py" frames "$WORK/mix.wav")
  want=$(python3 "$WORK/sound.py" expect "$WORK/saved.jld" 3)
  check '[ "$frames" = "$want" ] && [ "$ch" = 2 ] && [ "$rate" = 44100 ]' \
    "mix.wav: $frames frames (3 steps: $want), $ch channels, $rate Hz"
else
  bad "no mix.wav"
fi
stop_app

e2e_end
