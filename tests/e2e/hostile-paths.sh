#!/usr/bin/env bash
# End-to-end checks of the real program under Xvfb against hostile names and
# links: a song folder with links to a folder outside and to its own parent,
# deleted from the song browser; a removable-disk stand-in whose descriptor
# names a collection out of the library; mix documents naming songs and
# synths out of the library; replacing a song on a library too small for
# the new copy, with the user's own take in the old song. For every case
# a checksum of every file outside the library (and of the library's other
# files) is taken before and after.
#
# Needs Xvfb, xdotool, xwininfo, ImageMagick and python3. The disk and the
# small library need mounts (root); the script then runs in a mount
# namespace of its own, so no other program sees them. Without that those
# cases are skipped. JL_APP points at a built program folder (default
# build/app).
if [ -z "${JL_HOSTILE_NS:-}" ] && [ "$(id -u)" = 0 ] && command -v unshare >/dev/null &&
  unshare -m --propagation private true 2>/dev/null; then
  export JL_HOSTILE_NS=1
  exec unshare -m --propagation private bash "$0" "$@"
fi
source "$(dirname "$0")/lib/common.sh"
e2e_begin jlhostile Xvfb xdotool xwininfo import convert compare python3
need_app demo
MOUNTS=""
on_exit 'for m in $MOUNTS; do umount "$m" 2>/dev/null; done'
chooser_standin
start_xvfb
copy_app
LIB=$WORK/app/Library

# A digest of every file, link and folder below the given folders (content,
# link targets, names): equal digests, nothing changed.
digest() {
  local d
  for d in "$@"; do
    [ -e "$d" ] || { echo "missing $d"; continue; }
    [ -d "$d" ] || { sha256sum "$d"; continue; }
    # The running copy's lock (it holds its process number) is no content.
    (cd "$d" && find . -type f ! -name .Jamloom.lock -print0 | sort -z | xargs -0r sha256sum
      find . -type l -printf '%p -> %l\n' | sort
      find . -type d | sort)
  done | sha256sum | cut -c1-16
}
# The files beside the library that nothing may change: the user's folder,
# the disk, the program's own files.
outside_digest() {
  digest "$WORK/outside" "$WORK/disk" "$WORK/app/jamloom" "$WORK/app/Jamloom.xrs" "$WORK/app/Helps.txt"
}
# Temporaries of the naming scheme anywhere in the library.
temporaries() { find -L "$1" -name '.*.jltmp-*' 2>/dev/null | wc -l; }

# The browser's controls (logical coordinates; the panel sits at 20, 42).
NEXT_DISK="294 86"
COPY="476 86"
# Selects a browser row (0-based) and waits until the picture area shows it.
select_row() {
  shot before_row
  click 185 $((126 + 21 * $1))
  wait_change before_row 36 $((116 + 21 * $1)) 300 20 0 5
}
# Waits for a box, keeps its text in ASKED, answers it.
ASKED=""
answer() {  # default|yes|no|cancel [SECONDS]
  ASKED=""
  wait_box "${2:-10}" || return 1
  # The whole text: from the last ask to the first way offered after it.
  ASKED=$(awk '/^message box: ask: /{t=""; on=1} /^message box: offered/{on=0} on{t=t $0 "\n"} END{printf "%s", t}' "$LOG")
  box_answer "$1"
}
# A real GIF picture, so that the browser shows it and offers it for copying.
gif() { convert -size 16x16 xc:red "$1" 2>/dev/null; }

mkdir -p "$WORK/outside/sub" "$WORK/outside/ev" "$WORK/disk"
echo "years of work" >"$WORK/outside/thesis.txt"
echo "my notes" >"$WORK/outside/notes"
head -c 4096 /dev/urandom >"$WORK/outside/sub/photo.jpg"
cp "$APP/Library/Synth/Bell/"*.wav "$WORK/outside/ev/" 2>/dev/null

# ------------------------------------------------------------------ cases
echo "-- a song with links to a folder outside and to its parent, deleted from the browser"
EVIL=$LIB/Song/AAEvil
cp -r "$APP/Library/Song/RobotFunk" "$EVIL"
# The browser lists songs by title: the copy's own title puts it first.
sed -i 's/^\*Robot Funk - /*AA Evil - /' "$EVIL/info.jls"
ln -s "$WORK/outside" "$EVIL/shared"
ln -s .. "$EVIL/x"
mkdir -p "$EVIL/User"
ln -s ../../../.. "$EVIL/User/up"
out0=$(outside_digest)
others0=$(digest "$LIB/Song/IronPulse" "$LIB/Song/NeonBoulevard" "$LIB/Song/RobotFunk" "$LIB/Song/StarlightRun" "$LIB/Synth")
start_app "$WORK/app/jamloom"
select_row 0                      # "AA Evil" sorts first
xdotool key BackSpace
asked=0
answer yes && asked=1
check '[ $asked -eq 1 ] && echo "$ASKED" | has -i delete' "the browser asks before deleting"
check 'wait_for 10 test ! -e "$EVIL"' "the song's folder is gone"
failed=0
answer default 2 && failed=1
check '[ $failed -eq 0 ]' "no file was left behind (no failure reported)"
check 'alive' "the program keeps running"
check '[ "$(outside_digest)" = "$out0" ]' "every file outside the library is unchanged"
check '[ "$(digest "$LIB/Song/IronPulse" "$LIB/Song/NeonBoulevard" "$LIB/Song/RobotFunk" "$LIB/Song/StarlightRun" "$LIB/Synth")" = "$others0" ]' \
  "the library's other songs and synths are unchanged"
stop_app

MNT=/mnt/jlhostile$$
if [ -n "${JL_HOSTILE_NS:-}" ] && mkdir -p "$MNT" && mount --bind "$WORK/disk" "$MNT" 2>/dev/null; then
  MOUNTS="$MNT"
  echo "-- a removable disk whose descriptor names a collection out of the library"
  DISKSONG=$WORK/disk/Song/Song44/E2EDisk
  mkdir -p "$DISKSONG"
  cp "$APP/Library/Song/RobotFunk/kick01.wav" "$DISKSONG/"
  cat >"$DISKSONG/E2EDisk.jls" <<'EOF'
JAMLOOM-JLS-1.2 e2e
SONGLIBRARY: ../../../../outside/notes
SONGTITLE: E2E Disk
SONGBPM: 120
SONGMIX: 0
ARPNOTE: C
LONGCOMMAND: CATEGORYLIST: 1
kick
ENDCOMMAND:
LONGCOMMAND: RANDOMSET: 1
all 1 kick
ENDCOMMAND:
LONGCOMMAND: SONGTRACKS: 1
kick01 100 63 1 Kick
ENDCOMMAND:
EOF
  gif "$DISKSONG/E2EDisk.gif"
  out0=$(outside_digest)
  lib0=$(digest "$LIB/Song" "$LIB/Images" "$LIB/Synth")
  images0=$(digest "$LIB/Images")
  start_app "$WORK/app/jamloom"
  click $NEXT_DISK
  select_row 0
  click $COPY
  told=0
  answer default && told=1
  check '[ $told -eq 1 ] && echo "$ASKED" | has "was refused"' "the collection's name is refused with a message naming it"
  check 'wait_for 10 test -s "$LIB/Song/E2EDisk/E2EDisk.gif"' "the song itself is copied"
  check '[ "$(outside_digest)" = "$out0" ]' "every file outside the library (and on the disk) is unchanged"
  check '[ ! -e "$WORK/outside/notes.gif" ] && [ "$(digest "$LIB/Images")" = "$images0" ]' "no picture written anywhere"
  check '[ "$(temporaries "$LIB")" = 0 ]' "no temporary left in the library"
  stop_app
  rm -rf "$LIB/Song/E2EDisk"
  check '[ "$(digest "$LIB/Song" "$LIB/Images" "$LIB/Synth")" = "$lib0" ]' "the library holds nothing else"

  echo "-- a disk song whose loop is a link to a file outside"
  LEAK=$WORK/disk/Song/Song44/E2ELeak
  cp -r "$DISKSONG" "$LEAK"
  sed -i 's/^SONGLIBRARY:.*/SONGLIBRARY: Leak/' "$LEAK/"*.jls
  ln -s "$WORK/outside/thesis.txt" "$LEAK/zz01.wav"
  out0=$(outside_digest)
  start_app "$WORK/app/jamloom"
  click $NEXT_DISK
  select_row 1
  click $COPY
  told=0
  answer default && told=1
  check '[ $told -eq 1 ] && echo "$ASKED" | has "zz01.wav"' "the copy is refused naming the file"
  check '[ ! -e "$LIB/Song/E2ELeak" ] && [ "$(temporaries "$LIB")" = 0 ]' "nothing of the song is kept"
  check '[ "$(outside_digest)" = "$out0" ]' "every file outside the library is unchanged"
  stop_app
  rm -rf "$LEAK"
else
  skip "a removable-disk stand-in needs a private bind mount (root)"
fi

echo "-- mix documents naming songs and synths out of the library"
start_app "$WORK/app/jamloom"
load_row_and_save() {
  select_row 1                     # Neon Boulevard
  shot before_load
  click 542 138                    # LOAD SONG
  wait_change before_load 36 116 300 20 1000 10
  echo "$WORK/base.jld" >"$WORK/answer"
  click 157 464                    # SAVE
  wait_file "$WORK/base.jld" 10 && wait_quiet "$WORK/base.jld" 5
}
load_row_and_save
stop_app
# Rewrites the names in a saved document: the song name (65 bytes at 1 of
# the image) and the synth name (32 bytes at 82 of the synth block).
patch_doc() {  # OUT SONG SYNTH
  python3 - "$WORK/base.jld" "$1" "$2" "$3" <<'EOF'
import struct, sys
src, out, song, synth = sys.argv[1:5]
data = bytearray(open(src, 'rb').read())
pos = 4
while pos + 8 <= len(data):
    tag = struct.unpack('<I', data[pos:pos + 4])[0].to_bytes(4, 'big')
    length = struct.unpack('<i', data[pos + 4:pos + 8])[0]
    body = pos + 8
    if tag == b'iced' and song:
        data[body + 1:body + 66] = song.encode().ljust(65, b'\0')[:64] + b'\0'
    if tag == b'syic' and synth:
        data[body + 82:body + 114] = synth.encode().ljust(32, b'\0')[:31] + b'\0'
        # One stored preset: the document's synth is then restored by name.
        data[body + length - 2:body + length] = struct.pack('<h', 1)
    pos = body + length
open(out, 'wb').write(data)
EOF
}
if [ -s "$WORK/base.jld" ]; then
  mkdir -p "$WORK/outside/fakesong"
  cp "$APP/Library/Song/RobotFunk/"* "$WORK/outside/fakesong/"
  ln -s "$WORK/outside/fakesong" "$LIB/Song/Linked"
  patch_doc "$WORK/song-up.jld" "../../../../outside/fakesong" ""
  patch_doc "$WORK/song-link.jld" "Linked" ""
  patch_doc "$WORK/synth-up.jld" "" "../../../outside/ev"
  for doc in song-up song-link synth-up; do
    out0=$(outside_digest)
    start_app "$WORK/app/jamloom" "$WORK/$doc.jld"
    told=0
    answer default 15 && told=1
    check '[ $told -eq 1 ] && echo "$ASKED" | has "was refused"' "$doc: the name is refused with a message naming it"
    while answer default 2; do :; done
    check 'alive' "$doc: the program keeps running"
    check '! grep -q "outside/ev\|outside/fakesong" /proc/$PID/maps 2>/dev/null && [ -z "$(ls -l /proc/$PID/fd 2>/dev/null | grep outside)" ]' \
      "$doc: no file outside the library is open"
    stop_app
    check '[ "$(outside_digest)" = "$out0" ]' "$doc: every file outside the library is unchanged"
  done
  rm -f "$LIB/Song/Linked"
else
  bad "no mix document could be saved to start from"
fi

echo "-- temporaries of a killed save or copy are cleaned at start, nothing else"
dead=$(sh -c 'echo $$')             # a process that has ended
robot0=$(digest "$LIB/Song/RobotFunk")
printf 'half' >"$WORK/app/.Jamloom.prf.jltmp-$dead"
mkdir -p "$LIB/Song/.NeonBoulevard.jltmp-$dead"
cp "$LIB/Song/NeonBoulevard/"*.jls "$LIB/Song/.NeonBoulevard.jltmp-$dead/"
printf 'half' >"$LIB/Song/NeonBoulevard/.my take.wav.jltmp-$dead"
# A swap killed between its two renames: the old song only exists aside.
mv "$LIB/Song/RobotFunk" "$LIB/Song/.RobotFunk.jltmp-$dead-old"
ln -s "$WORK/outside" "$LIB/Song/.Shared.jltmp-$dead"
printf 'x' >"$WORK/outside/.kept.jltmp-$dead"
for f in "$LIB/Song/.Live.jltmp-1" "$LIB/notes.jltmp-$dead" "$WORK/app/.Jamloom.prf.jltmp-x"; do printf 'not ours' >"$f"; done
out0=$(outside_digest)
start_app "$WORK/app/jamloom"
stop_app
check '[ ! -e "$WORK/app/.Jamloom.prf.jltmp-$dead" ] && [ ! -e "$LIB/Song/.NeonBoulevard.jltmp-$dead" ] && [ ! -e "$LIB/Song/NeonBoulevard/.my take.wav.jltmp-$dead" ]' \
  "stale temporaries of the program folder, the library and a song are gone"
check '[ "$(digest "$LIB/Song/RobotFunk")" = "$robot0" ] && [ ! -e "$LIB/Song/.RobotFunk.jltmp-$dead-old" ]' \
  "a song left aside by a killed swap is back under its name"
check '[ ! -L "$LIB/Song/.Shared.jltmp-$dead" ] && [ "$(outside_digest)" = "$out0" ]' \
  "a stale link is removed as a link; every file outside is unchanged"
check '[ "$(cat "$LIB/Song/.Live.jltmp-1" "$LIB/notes.jltmp-$dead" "$WORK/app/.Jamloom.prf.jltmp-x")" = "not oursnot oursnot ours" ]' \
  "a running writer's temporary and other names are kept"
rm -f "$LIB/Song/.Live.jltmp-1" "$LIB/notes.jltmp-$dead" "$WORK/app/.Jamloom.prf.jltmp-x" "$WORK/outside/.kept.jltmp-$dead"

echo "-- replacing a song on a library too small for the new copy"
SMALL=$WORK/small
mkdir -p "$SMALL"
song_kb=$(du -sk "$APP/Library/Song/RobotFunk" | cut -f1)
if [ -n "${JL_HOSTILE_NS:-}" ] && [ -n "$MOUNTS" ] && mount -t tmpfs -o size=$((song_kb + 1500))k tmpfs "$SMALL" 2>/dev/null; then
  MOUNTS="$SMALL $MOUNTS"
  mkdir -p "$SMALL/Library/Song" "$SMALL/Library/Images" "$SMALL/Library/Synth" "$SMALL/Library/Jls"
  cp -r "$APP/Library/Song/RobotFunk" "$SMALL/Library/Song/"
  head -c 300000 /dev/urandom >"$SMALL/Library/Song/RobotFunk/my take.wav"
  take0=$(sha256sum <"$SMALL/Library/Song/RobotFunk/my take.wav")
  mv "$LIB" "$WORK/library.big"
  ln -s "$SMALL/Library" "$LIB"
  mkdir -p "$WORK/disk/Song/Song44"
  rm -rf "$WORK/disk/Song/Song44/"*
  cp -r "$APP/Library/Song/RobotFunk" "$WORK/disk/Song/Song44/"
  echo "a newer loop" >>"$WORK/disk/Song/Song44/RobotFunk/bass01.wav"
  out0=$(outside_digest)
  small0=$(digest "$SMALL")
  start_app "$WORK/app/jamloom"
  box_ready && box_answer default
  click $NEXT_DISK
  select_row 0
  click $COPY
  answer yes                        # replace it?
  told=0
  answer default && told=1
  check '[ $told -eq 1 ] && echo "$ASKED" | has "needs .* free"' "the user is told how much is needed and free"
  check '[ "$(digest "$SMALL")" = "$small0" ]' "the old song and the take are intact, byte for byte"
  check '[ "$(outside_digest)" = "$out0" ]' "every file outside the library is unchanged"
  check 'alive' "the program keeps running"
  stop_app

  echo "-- the same replace with room: the user's take is asked about and kept"
  mount -o remount,size=$((3 * song_kb + 2000))k "$SMALL"
  start_app "$WORK/app/jamloom"
  click $NEXT_DISK
  select_row 0
  click $COPY
  answer yes                        # replace it?
  asked=0
  answer yes && asked=1             # keep the take?
  check '[ $asked -eq 1 ] && echo "$ASKED" | has "my take.wav"' "the question names the user's take"
  check 'wait_for 10 cmp -s "$SMALL/Library/Song/RobotFunk/bass01.wav" "$WORK/disk/Song/Song44/RobotFunk/bass01.wav"' \
    "the new song is in place"
  check '[ "$(sha256sum <"$SMALL/Library/Song/RobotFunk/my take.wav")" = "$take0" ]' "the take is kept in the new song, byte for byte"
  check '[ "$(temporaries "$SMALL")" = 0 ]' "no temporary left"
  check '[ "$(outside_digest)" = "$out0" ]' "every file outside the library is unchanged"
  stop_app
  rm -f "$LIB"
  mv "$WORK/library.big" "$LIB"
else
  skip "a small tmpfs library needs a private mount (root)"
fi

e2e_end
