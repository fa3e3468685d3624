#!/usr/bin/env bash
# Measures the figures of bench/README.md and writes them into it: the
# engine's mixing cost and the song loading time (jl_bench), offline
# rendering against sox (bench/song/renderVsSox.sh), and, from the real
# program under Xvfb, the time from launch to the first painted frame and
# the peak memory while a song plays.
#   bench/report.sh [BUILD_DIR]      (default: build)
# Needs a build with JL_BENCH on, Xvfb, xdotool, ImageMagick and sox.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-build}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
APP=$BUILD/app
BENCH=$BUILD/bench/jl_bench
WORK=$(mktemp -d /tmp/jlreport.XXXXXX)
XVFB=""
PID=""
cleanup() {
  [ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null
  [ -n "$XVFB" ] && kill "$XVFB" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
for tool in Xvfb xdotool import convert python3; do
  command -v "$tool" >/dev/null || { echo "$tool missing"; exit 1; }
done
[ -x "$BENCH" ] && [ -x "$APP/jamloom" ] || { echo "build $BUILD first (jamloom, jl_bench)"; exit 1; }

echo "== jl_bench"
"$BENCH" --benchmark_filter='GetResampled|LoadSong64|HeaderOnly' --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true --benchmark_format=json >"$WORK/bench.json" 2>/dev/null
python3 - "$WORK/bench.json" >"$WORK/bench.md" <<'EOF'
import json, sys
d = json.load(open(sys.argv[1]))
rows = {}
for b in d['benchmarks']:
    if b.get('aggregate_name') != 'median':
        continue
    rows[b['run_name']] = b
print('| Case | Median | Real-time factor |')
print('|---|---|---|')
for name, b in rows.items():
    t = '%.3g %s' % (b['real_time'], b['time_unit'])
    rt = ('%.0fx' % b['x_realtime']) if 'x_realtime' in b else ''
    print('| %s | %s | %s |' % (name.replace('BM_', ''), t, rt))
EOF
cat "$WORK/bench.md"

echo "== offline rendering against sox"
if command -v sox >/dev/null; then
  "$ROOT/bench/song/renderVsSox.sh" "$BUILD" >"$WORK/render.txt" 2>&1 || echo "(renderVsSox failed)" >>"$WORK/render.txt"
else
  echo "sox missing: not measured" >"$WORK/render.txt"
fi
cat "$WORK/render.txt"

echo "== the real program"
export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/data XDG_CONFIG_HOME=$WORK/home/config
mkdir -p "$HOME"
unset SDL_VIDEODRIVER
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$WORK/audio.raw
DISPLAY_NUM=$((200 + RANDOM % 100))
Xvfb ":$DISPLAY_NUM" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
export DISPLAY=":$DISPLAY_NUM"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
cp -r "$APP" "$WORK/app"

# Launch to the first frame: the design area's centre (window pixel 640,
# 500) stops being black. Screenshots take a few ms each: the figure is an
# upper bound within about 20 ms. Best and median of five starts.
starts=()
for _ in 1 2 3 4 5; do
  t0=$(date +%s%N)
  "$WORK/app/jamloom" >/dev/null 2>&1 &
  PID=$!
  t1=""
  for _ in $(seq 500); do
    px=$(import -window root -crop 1x1+640+500 txt:- 2>/dev/null | tail -n 1 | grep -o '#[0-9A-F]\{6\}' || true)
    if [ -n "$px" ] && [ "$px" != "#000000" ]; then t1=$(date +%s%N); break; fi
    sleep 0.01
  done
  kill -TERM "$PID" 2>/dev/null
  wait "$PID" 2>/dev/null || true
  PID=""
  [ -n "$t1" ] && starts+=($(((t1 - t0) / 1000000)))
done
read -r first_best first_median < <(printf '%s\n' "${starts[@]}" | sort -n | awk '{a[NR]=$1} END {print a[1], a[int((NR+1)/2)]}')
echo "first frame: best ${first_best} ms, median ${first_median} ms (${starts[*]})"

# Memory while playing: load Neon Boulevard from the song browser, play 5 s.
"$WORK/app/jamloom" >/dev/null 2>&1 &
PID=$!
for _ in $(seq 100); do xdotool search --name "^Jamloom 2.0$" >/dev/null 2>&1 && break; sleep 0.1; done
sleep 1.5
idle_kb=$(awk '/VmHWM/ {print $2}' /proc/$PID/status)
xdotool mousemove 370 326 click 1; sleep 0.8   # Neon Boulevard
xdotool mousemove 1084 308 click 1; sleep 5     # LOAD SONG: it plays
play_kb=$(awk '/VmHWM/ {print $2}' /proc/$PID/status)
rss_kb=$(awk '/VmRSS/ {print $2}' /proc/$PID/status)
played=$(stat -c %s "$WORK/audio.raw" 2>/dev/null || echo 0)
kill -TERM "$PID"; wait "$PID" 2>/dev/null || true
PID=""
echo "memory: peak ${idle_kb} kB at start, ${play_kb} kB after 5 s of play (now ${rss_kb} kB); ${played} bytes of sound"

song_ms=$(python3 -c "
import json
for b in json.load(open('$WORK/bench.json'))['benchmarks']:
    if b['run_name'] == 'BM_LoadSong64LoopsIntoEngine' and b.get('aggregate_name') == 'median': print('%.1f' % b['real_time'])")
cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')

# The playback soak: real loader, feeder and audio threads under a restless
# user; its underruns are a figure of this machine's load, not a test.
SOAK_SECONDS=${SOAK_SECONDS:-30}
if [ -x "$BUILD/tests/jl_soak" ]; then
  JL_SOAK_SECONDS=$SOAK_SECONDS "$BUILD/tests/jl_soak" 2>/dev/null | grep '^soak:' >"$WORK/soak.txt"
fi
[ -s "$WORK/soak.txt" ] || echo "soak: not run (build the jl_soak target)" >"$WORK/soak.txt"

# Tempo quality: the resamplers side by side (about two minutes).
if [ -x "$BUILD/bench/jl_tempo_quality" ]; then
  "$BUILD/bench/jl_tempo_quality" >"$WORK/tempo.md"
else
  echo "not run (build the jl_tempo_quality target)" >"$WORK/tempo.md"
fi

python3 - "$ROOT/bench/README.md" "$WORK/bench.md" "$WORK/render.txt" "$WORK/soak.txt" "$WORK/tempo.md" <<EOF
import sys
readme, bench, render, soak, tempo = sys.argv[1:6]
TEMPO_HEAD = '''
## Tempo quality (jl_tempo_quality)

A full-scale tone (amplitude 32000) at 1 kHz or 0.35 of the sample rate
(input side), played 1.02 and 1.3 times faster; ten seconds of output.
SNR: against the ideal tone at the exact ratio, amplitude and phase fitted,
so a tempo that is off counts as error (Original truncates the ratio per
2048-frame request, hence its negative figures). THD+N: everything but the
tone, its frequency fitted too. CPU: milliseconds per second of output, one
core. "16-bit, as played" is High as the engine runs it (16-bit loops in,
16-bit output): 16-bit quantisation alone bounds a full-scale tone at about
98 dB. libsoxr and libsamplerate get the float tone, so compare them with
"float kernel". Keep pitch keeps the tone's frequency, so its figures are
measured at the input frequency.

'''
TEMPO_TAIL = '''
Keep-pitch stretching is offline work (a background or render step), not a
per-block cost; its figure is CPU per second of output.
'''
text = '''# Performance

Figures measured by \`bench/report.sh\` (it rewrites this file) on
$(date -u +%Y-%m-%d), $(nproc) cores ($cpu), build \`$(basename "$BUILD")\`.
The machine is shared and noisy: compare ratios, not absolute times.

## Summary

| Figure | Value |
|---|---|
| Launch to first painted frame (Xvfb, 1280x1024) | best ${first_best} ms, median ${first_median} ms of 5 |
| Song load, 64 loops, into the engine | ${song_ms} ms |
| Peak memory (VmHWM) after start-up | $((idle_kb / 1024)) MB |
| Peak memory (VmHWM) after 5 s playing Neon Boulevard | $((play_kb / 1024)) MB |

## Engine and song loading (jl_bench, median of 3)

The real-time factor is seconds of audio mixed per CPU second: one
2048-frame request with eight tracks at 1.3 times the song tempo.

''' + open(bench).read() + '''
## Offline rendering against sox

\`\`\`
''' + open(render).read() + '''\`\`\`

## Playback soak

\`\`\`
''' + open(soak).read() + '''\`\`\`

\`tests/jl_soak\` (target \`jl_soak\`) plays eight tracks with the real loader,
feeder and audio threads (SDL's dummy driver) while loops, tempo, volumes,
synth sets, arpeggios and user loops keep changing. It reports how many
blocks a track's ring ran dry and the longest time the output stood still;
both depend on the machine's load, so they are figures here and not part of
ctest. \`JL_SOAK_SECONDS\` sets the length (default 60). Under
ThreadSanitizer it checks for races: \`JL_SOAK_SECONDS=60 tests/run-all.sh\`
runs it in the sanitizer step, or by hand
\`TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/jl_soak\`. Whether the loader
keeps every ring ahead is checked deterministically in ctest
(EngineThreads.LoaderKeepsEveryRingAheadUnderConstantChanges).

## How the program figures are taken

- First frame: the program starts in Xvfb; screenshots of one pixel of the
  design area are taken until it is no longer black (an upper bound within
  about 20 ms).
- Memory: VmHWM from /proc/<pid>/status once after start-up, and after the
  song browser has loaded Neon Boulevard (125 BPM, 4 tracks of the default
  groove) and it has played for 5 s with the disk audio driver.
''' + TEMPO_HEAD + open(tempo).read() + TEMPO_TAIL
# The end-to-end latency runs take minutes: bench/latency.sh measures them
# and bench/latency.md keeps the method and the figures.
text += '\n' + open('$ROOT/bench/latency.md').read()
# Sections measured by other scripts follow this line and are kept.
mark = '<!-- sections below are written by hand or other scripts; report.sh keeps them -->'
old = open(readme).read()
if mark in old:
    text += '\n' + old[old.index(mark):]
open(readme, 'w').write(text)
EOF
echo "bench/README.md written"
