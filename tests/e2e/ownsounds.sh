#!/bin/bash
# The user's own sounds: a folder of generated loops (several formats and
# rates, percussive hits on every beat at 125 BPM) becomes a song, on the
# command line and through NEW SONG in the song browser; the song plays in
# the program and the captured sound has its hits on the beat grid; a loop
# dropped on track 1 joins that track's instrument and the song plays on in
# beat.
#
# The desktop's drag and drop cannot be driven by X test tools: the drop is
# made through the program's JAMLOOM_TEST_DROP hook, which pushes the same
# SDL_DROPFILE event a desktop drop delivers, at the pointer that xdotool
# moved over the track. The dialogs New song asks are answered by a
# stand-in for zenity that accepts each offered answer.
source "$(dirname "$0")/lib/common.sh"
e2e_begin jlown Xvfb xdotool sox python3
need_app demo
copy_app

BPM=125
BEAT=0.48
LOOPS="$WORK/My Loops"
mkdir -p "$LOOPS/perc"
# One hit (30 ms of noise) and the rest of the beat silent; N beats of it.
hits() {  # FILE BEATS ARGS...
  local f=$1 n=$2
  shift 2
  sox -n "$@" "$WORK/.hit.wav" synth 0.03 noise vol 0.7 pad 0 0.45
  sox "$WORK/.hit.wav" "$@" "$f" repeat $((n - 1))
}
hits "$LOOPS/drums_1.wav" 4 -r 48000 -b 24 -c 2
hits "$LOOPS/drums_2.flac" 2 -r 44100 -b 16 -c 2
hits "$LOOPS/bass loop.ogg" 8 -r 22050 -c 1
hits "$LOOPS/perc/shaker.aiff" 1 -r 96000 -b 16 -c 2
printf 'loops for the test\n' >"$LOOPS/readme.txt"

echo "== jamloom-render --make-song"
OUT=$("$WORK/app/jamloom-render" --make-song "$LOOPS" "Own Loops" 2>&1)
echo "$OUT" | sed 's/^/   | /'
check 'echo "$OUT" | has "^tempo 125 BPM (detected: 4 of 4 loops"' "the tempo 125 is detected"
check 'echo "$OUT" | has "^made the song Own Loops: 4 loop(s) at 125 BPM"' "the song is made"
check 'echo "$OUT" | has "^skipped readme.txt: not a sound file"' "the text file is left out by name"
SONG="$WORK/app/Library/Song/Own Loops"
check '[ -f "$SONG/song.jls" ] && [ -f "$SONG/drums01.wav" ] && [ -f "$SONG/Own Loops.gif" ]' "descriptor, loops and picture are written"
check '[ -z "$(ls -A "$WORK/app/Library/Song" | grep jltmp)" ]' "no temporary is left in the library"
"$WORK/app/jamloom-render" --song "Own Loops" "$WORK/render.wav" >/dev/null 2>&1
check '[ -s "$WORK/render.wav" ]' "jamloom-render --song renders the new song"
OUT=$("$WORK/app/jamloom-render" --make-song "$LOOPS" "Own Loops" 2>&1)
check 'echo "$OUT" | has "exists already"' "the same name again is refused"
: >"$WORK/empty.wav"
mkdir -p "$WORK/bad" && cp "$WORK/empty.wav" "$WORK/bad/" && cp "$LOOPS/drums_1.wav" "$WORK/bad/"
OUT=$("$WORK/app/jamloom-render" --make-song "$WORK/bad" "Bad" 2>&1)
check 'echo "$OUT" | has "empty.wav: it is empty" && [ ! -e "$WORK/app/Library/Song/Bad" ]' \
  "an empty file is refused by name and nothing is written"

# --fit trim cuts a 21.6-beat loop to 16 beats (5.6 beats away), not pads it to 32.
mkdir -p "$WORK/long"
cp "$LOOPS/drums_1.wav" "$WORK/long/"
sox -n -r 44100 -c 2 "$WORK/long/arp1.wav" synth 10.368 sine 440 vol 0.3
OUT=$("$WORK/app/jamloom-render" --make-song "$WORK/long" "Long" --bpm 125 --fit trim 2>&1)
echo "$OUT" | sed 's/^/   | /'
check 'echo "$OUT" | has "^arp1.wav: trimmed from 10.368 s to 16 beats"' "--fit trim names the nearest allowed length"
check '[ "$(soxi -s "$WORK/app/Library/Song/Long/arp01.wav")" = 338688 ]' "--fit trim cuts the loop to 16 beats at 125 BPM"

# The zenity stand-in: a folder question answers $WORK/answer, a name or
# tempo question its offered text, the instrument form keeps every name, a
# choice takes its first row; message boxes go to the real zenity.
real=$(command -v zenity || true)
mkdir -p "$WORK/bin"
cat >"$WORK/bin/zenity" <<EOF
#!/bin/bash
kind="" text="" rows=() fields=0
for a in "\$@"; do
  case "\$a" in
    --file-selection) kind=file ;;
    --entry) kind=entry ;;
    --forms) kind=forms ;;
    --list) kind=list ;;
    --entry-text=*) text=\${a#--entry-text=} ;;
    --add-entry=*) fields=\$((fields + 1)) ;;
    --*) ;;
    *) rows+=("\$a") ;;
  esac
done
echo "zenity stand-in: \$kind" >>"$WORK/dialogs.log"
case "\$kind" in
  file) exec cat "$WORK/answer" ;;
  entry) echo "\$text"; exit 0 ;;
  forms) s=""; for ((i = 1; i < fields; i++)); do s="\$s|"; done; echo "\$s"; exit 0 ;;
  list) echo "\${rows[0]}"; exit 0 ;;
esac
[ -n "$real" ] && exec "$real" "\$@"
exit 127
EOF
chmod +x "$WORK/bin/zenity"
export PATH="$WORK/bin:$PATH"

echo "== NEW SONG in the song browser"
start_xvfb
export JAMLOOM_TEST_DROP=$WORK/drop.request
start_app "$WORK/app/jamloom"
[ -n "$WIN" ] || { bad "the program did not start"; e2e_end; }
mkdir -p "$WORK/second"
cp "$LOOPS/drums_1.wav" "$LOOPS/bass loop.ogg" "$WORK/second/"
printf '%s\n' "$WORK/second" >"$WORK/answer"
click 542 192
if wait_for 60 test -f "$WORK/app/Library/Song/second/song.jls"; then
  ok "NEW SONG made the song from the chosen folder"
else
  bad "NEW SONG made no song (dialogs: $(tr '\n' ' ' <"$WORK/dialogs.log" 2>/dev/null))"
fi
check 'grep -q "SONGBPM: 125" "$WORK/app/Library/Song/second/song.jls"' "its tempo is the loops' 125 BPM"

# The folder dropped on the browser starts New song with it: no folder question.
cp -r "$LOOPS" "$WORK/third"
rm -f "$WORK/answer"
xdotool mousemove $((2 * 300)) $((2 * (200 + 16)))
printf '%s\n' "$WORK/third" >"$JAMLOOM_TEST_DROP"
check 'wait_for 60 test -f "$WORK/app/Library/Song/third/song.jls"' "a folder dropped on the browser becomes a song"
# The text file left out is told in a box.
check 'answer_box 20 && grep -q "^Left out readme.txt: not a sound file" "$LOG"' \
  "the file left out is named"

echo "== playing the new song"
# The new song is selected in the browser; LOAD SONG plays it.
wait_still 20
click 542 138
wait_sound 6
# Onsets of the captured sound (2 ms frames) on the 125 BPM grid: every
# hit lies within 12 ms of a multiple of one beat from the first.
in_beat() {  # SECONDS: judge the newest SECONDS of the capture
  python3 - "$WORK/audio.raw" "$BEAT" "$1" <<'EOF'
import array, math, os, sys
path, beat, secs = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
size = os.path.getsize(path)
n = int(secs * 44100) * 4
with open(path, 'rb') as f:
    f.seek(max(0, size - n) & ~3)
    a = array.array('h', f.read())
left = a[0::2]
hop = 88
env = [max(abs(x) for x in left[i:i + hop]) for i in range(0, len(left) - hop, hop)]
# The window may begin inside a hit: a hit counts only after a quiet frame.
onsets, quiet = [], False
for i, v in enumerate(env):
    if quiet and v > 3000:
        onsets.append(i * hop / 44100.0)
        quiet = False
    elif v < 500:
        quiet = True
if len(onsets) < 6:
    print("only %d hits" % len(onsets)); sys.exit(1)
worst = max(abs((t - onsets[0]) / beat - round((t - onsets[0]) / beat)) * beat for t in onsets)
print("%d hits, worst %.1f ms off the beat" % (len(onsets), worst * 1000))
sys.exit(0 if worst < 0.012 else 1)
EOF
}
RES=$(in_beat 5)
S=$?
check '[ $S -eq 0 ]' "the new song plays with its hits on the 125 BPM grid ($RES)"

echo "== a loop dropped on track 1"
hits "$WORK/drop kit.wav" 2 -r 32000 -b 16 -c 1
xdotool mousemove $((2 * 50)) $((2 * (86 + 16)))
printf '%s\n' "$WORK/drop kit.wav" >"$JAMLOOM_TEST_DROP"
check 'wait_for 30 grep -q "^[a-z]*0[0-9] .* 16 dropkit" "$WORK/app/Library/Song/third/song.jls"' \
  "the dropped loop joins the track's instrument (2 beats)"
# The song is read again with the new loop; judge what plays after that.
wait_sound 2
wait_sound 6
RES=$(in_beat 5)
S=$?
check '[ $S -eq 0 ]' "the song plays on in beat with the dropped loop ($RES)"
check 'alive' "the program runs on"
stop_app
e2e_end
