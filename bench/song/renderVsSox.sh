#!/usr/bin/env bash
# Offline rendering speed: jamloom-render against sox mixing and
# speed-changing the same eight loops, both writing about 60 s of 16-bit
# stereo WAV, timed in the same run (this machine is noisy: compare ratios).
#   bench/song/renderVsSox.sh [BUILD_DIR] [SONG]
set -euo pipefail
BUILD=${1:-build}
SONG=${2:-NeonBoulevard}
APP=$BUILD/app
LIB=$APP/Library/Song/$SONG
TMP=$(mktemp -d /tmp/jlrender.XXXXXX)
trap 'rm -rf "$TMP"' EXIT
command -v sox >/dev/null || { echo "sox missing"; exit 1; }
[ -d "$LIB" ] || { echo "no song $LIB (build first)"; exit 1; }

song_bpm=$(awk -F': *' '/^SONGBPM:/ {print $2; exit}' "$LIB/info.jls")
bpm=$((song_bpm + 5))
# The default groove: the first variant of the first eight groups.
loops=()
for g in $(awk '/CATEGORYLIST:/ {f=1; next} /ENDCOMMAND:/ {f=0} f {print $1}' "$LIB/info.jls" | head -n 8); do
  loops+=("$LIB/${g}01.wav")
done
seconds=$(awk -v b="$bpm" 'BEGIN { printf "%.4f", 4 * 32 * 60 / b }')
speed=$(awk -v b="$bpm" -v s="$song_bpm" 'BEGIN { printf "%.6f", b / s }')

best() {  # best of 5 wall-clock runs, in seconds
  local best=999
  for _ in 1 2 3 4 5; do
    local t0 t1
    t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N)
    best=$(awk -v a="$best" -v b="$(awk -v x="$t0" -v y="$t1" 'BEGIN{print y-x}')" 'BEGIN{print (b<a)?b:a}')
  done
  echo "$best"
}

jl=$(best "$APP/jamloom-render" --song "$SONG" "$TMP/jl.wav" --cycles 4 --bpm "$bpm")
inputs=()
for l in "${loops[@]}"; do inputs+=("|sox $l -p repeat 40"); done
sx=$(best sox -m "${inputs[@]}" -b 16 "$TMP/sox.wav" speed "$speed" trim 0 "$seconds")
echo "audio: ${seconds} s of 8 tracks at ${bpm} BPM (song ${song_bpm})"
awk -v a="$seconds" -v j="$jl" -v s="$sx" 'BEGIN {
  printf "jamloom-render: %.3f s (%.0fx real time)\n", j, a / j;
  printf "sox -m + speed: %.3f s (%.0fx real time)\n", s, a / s;
  printf "ratio sox / jamloom-render: %.1f\n", s / j }'
