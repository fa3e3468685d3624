#!/usr/bin/env bash
# End-to-end checks of the song browser, the synth and the synth browser in
# the real program under Xvfb, as a new user meets them: the program starts
# on the song browser with the demo songs and their pictures, a click
# previews a song (sound comes out), LOAD SONG opens the groove panel
# playing, the browser opens again on the loaded song and a double click
# on a row loads that song, the synth plays from the computer keys, and a synth on a mounted
# disk (a folder bind-mounted under /mnt; skipped where mounting is not
# allowed) is copied into the library.
source "$(dirname "$0")/lib/common.sh"
e2e_begin jlbrowse Xvfb xdotool xwininfo import convert compare python3
need_app
[ -d "$APP/Library/Song" ] || { echo "no demo library in $APP"; exit 1; }
MNT=""
on_exit '[ -n "$MNT" ] && umount "$MNT" 2>/dev/null && rmdir "$MNT" 2>/dev/null'
start_xvfb
copy_app

# A disk holding one synth sound, mounted where removable media live.
mkdir -p "$WORK/disk/Library/Synth/E2E Bells"
cp "$WORK/app/Library/Synth/"*/c2.wav "$WORK/disk/Library/Synth/E2E Bells/" 2>/dev/null
MNT_TRY=/mnt/jlbrowse$$
if mkdir -p "$MNT_TRY" 2>/dev/null && mount --bind "$WORK/disk" "$MNT_TRY" 2>/dev/null; then
  MNT=$MNT_TRY
else
  rmdir "$MNT_TRY" 2>/dev/null
fi

# Unique colours in a window-pixel rectangle (w h x y).
colours() { convert "$WORK/$1.png" -crop "$2" +repage -format '%k' info: 2>/dev/null; }
# Mean level of the newest second of the disk audio (0 = silence).
level() {
  python3 - "$WORK/audio.raw" <<'EOF'
import sys, struct, os
p = sys.argv[1]
if not os.path.exists(p): print(0); sys.exit()
size = os.path.getsize(p)
with open(p, 'rb') as f:
    f.seek(max(0, size - 176400) & ~3)
    d = f.read()
n = len(d) // 2
s = struct.unpack('<%dh' % n, d[:n * 2]) if n else []
print(int(sum(abs(v) for v in s) / n) if n else 0)
EOF
}

echo "-- the program starts on the song browser"
start_app "$WORK/app/jamloom"
wait_still 10
cp "$WORK/now.png" "$WORK/start.png"
# Song rows (design 36..334 x 116..): the first four hold names, the ninth is empty.
r0=$(colours start 596x36+72+266)
r8=$(colours start 596x36+72+602)
[ "${r0:-0}" -gt "${r8:-0}" ] && ok "songs listed ($r0 colours in row 1, $r8 in an empty row)" || bad "no songs listed ($r0/$r8)"
pic=$(colours start 168x168+776+268)
[ "${pic:-0}" -gt 8 ] && ok "the selected song's picture is shown ($pic colours)" || bad "no song picture ($pic)"

echo "-- a click previews the song"
before=$(level)
click 185 147
wait_change start 36 137 300 20 0 15
wait_sound 1.5
cp "$WORK/now.png" "$WORK/preview.png"
lv=$(level)
[ "$lv" -gt 20 ] && ok "preview sounds (level $lv, was $before)" || bad "no preview sound (level $lv)"
sel=$(convert "$WORK/preview.png" -format '%[pixel:p{600,326}]' info: 2>/dev/null)
unsel=$(convert "$WORK/preview.png" -format '%[pixel:p{600,286}]' info: 2>/dev/null)
[ "$sel" != "$unsel" ] && ok "the clicked row is highlighted" || bad "row not highlighted ($sel)"

echo "-- LOAD SONG opens the groove panel playing"
click 542 138
wait_change preview 0 0 640 480 100000 20
wait_still 10
cp "$WORK/now.png" "$WORK/loaded.png"
wait_sound 1.5
still=$(compare -metric AE "$WORK/preview.png" "$WORK/loaded.png" null: 2>&1 | awk '{printf "%d", $1; exit}')
[ "${still:-0}" -gt 100000 ] 2>/dev/null && ok "the browser closed ($still pixels changed)" || bad "browser still shown ($still)"
lv=$(level)
[ "$lv" -gt 20 ] && ok "the song plays (level $lv)" || bad "silent after loading ($lv)"

echo "-- the browser opens on the loaded song, and a double click loads a song"
px() { convert "$WORK/$1.png" -format "%[pixel:p{$2,$3}]" info: 2>/dev/null; }
click 40 464        # SONGS
wait_change loaded 0 0 640 480 100000 20
wait_still 10
cp "$WORK/now.png" "$WORK/reopened.png"
[ "$(px reopened 600 326)" = "$sel" ] && [ "$(px reopened 600 286)" = "$unsel" ] \
  && ok "the loaded song's row is the highlighted one" || bad "highlight not on the loaded song ($(px reopened 600 326))"
# Row 2 (design y 168), pressed twice in quick succession.
xdotool mousemove 370 368 click --repeat 2 --delay 120 1
wait_change reopened 0 0 640 480 100000 20
wait_still 10
cp "$WORK/now.png" "$WORK/doubled.png"
closed=$(compare -metric AE "$WORK/reopened.png" "$WORK/doubled.png" null: 2>&1 | awk '{printf "%d", $1; exit}')
[ "${closed:-0}" -gt 100000 ] 2>/dev/null && ok "the double click loaded the song ($closed pixels changed)" \
  || bad "the browser stayed after a double click ($closed)"
wait_sound 1.5
lv=$(level)
[ "$lv" -gt 20 ] && ok "the double-clicked song plays (level $lv)" || bad "silent after the double click ($lv)"
click 40 464
wait_change doubled 0 0 640 480 100000 20
wait_still 10
cp "$WORK/now.png" "$WORK/reopened2.png"
[ "$(px reopened2 600 368)" = "$sel" ] && ok "the browser now stands on the double-clicked song" \
  || bad "highlight not on the double-clicked song ($(px reopened2 600 368))"
xdotool key Escape
wait_change reopened2 0 0 640 480 100000 20
wait_still 10
cp "$WORK/now.png" "$WORK/loaded.png"

echo "-- the synth plays from the computer keys"
click 359 463
wait_change loaded 100 100 460 262 50000 20
wait_still 10
cp "$WORK/now.png" "$WORK/synth.png"
lamp_before=$(convert "$WORK/synth.png" -format '%[pixel:p{986,336}]' info: 2>/dev/null)
opened=$(compare -metric AE "$WORK/loaded.png" "$WORK/synth.png" null: 2>&1 | awk '{printf "%d", $1; exit}')
if [ "${opened:-0}" -gt 50000 ] 2>/dev/null; then
  ok "the synth panel opened"
  # Shift latches the key's note into the arpeggio (Q alone sounds only
  # while it is held).
  xdotool key shift+q
  wait_change synth 488 147 8 8 0 15
  cp "$WORK/now.png" "$WORK/synthon.png"
  lamp_after=$(convert "$WORK/synthon.png" -format '%[pixel:p{986,336}]' info: 2>/dev/null)
  [ "$lamp_before" != "$lamp_after" ] && ok "Q switched a song key on and started the synth" \
    || bad "the synth lamp did not light ($lamp_before)"
  wait_sound 1
  lv=$(level)
  [ "$lv" -gt 20 ] && ok "sound goes on with the arpeggio (level $lv)" || bad "silent ($lv)"

  echo "-- a synth on a disk is copied into the library"
  if [ -n "$MNT" ]; then
    # The floating panels sit at (100, 100) of the design area.
    shot panel
    click 280 152       # LOAD: the synth browser
    wait_change panel 100 100 460 262 10000 20 && wait_still 5
    cp "$WORK/now.png" "$WORK/browser.png"
    click 340 144       # NEXT DISK (steps to the mounted disk)
    wait_change browser 100 100 460 262 0 20 && wait_still 5
    cp "$WORK/now.png" "$WORK/disk.png"
    click 233 183       # the first sound
    wait_change disk 100 100 460 262 0 20 && wait_still 5
    click 489 144       # COPY
    wait_file "$WORK/app/Library/Synth/E2E Bells/library.ref" 10
    [ -f "$WORK/app/Library/Synth/E2E Bells/c2.wav" ] && ok "the synth was copied into the library" \
      || bad "synth not copied"
    [ -f "$WORK/app/Library/Synth/E2E Bells/library.ref" ] && ok "library.ref written" || bad "no library.ref"
    click 487 379       # DONE
  else
    skip "mounting a disk image is not allowed here"
  fi
else
  skip "the groove panel's SYNTH button did not open the synth panel"
fi

stop_app
e2e_end
