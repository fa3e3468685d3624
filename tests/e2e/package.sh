#!/usr/bin/env bash
# The Debian package end to end: built by CPack and checked (desktop entry,
# metainfo, lintian), installed as root with apt-get, then used by an
# ordinary user with an empty home under Xvfb - started through the desktop
# entry's command line, a demo song loads and plays (the disk driver's
# capture), deleting it is refused, a mix saved into the home folder has the
# Jamloom type for the desktop and opens through the entry's Exec line, both
# handed to the running copy and in a fresh start - and finally apt-get
# remove takes every installed file and leaves the user's folder alone.
# Steps that cannot run here (not root, no apt-get, a jamloom package
# already installed by someone else) are named and counted as skipped.
source "$(dirname "$0")/lib/common.sh"
e2e_begin jlpkg Xvfb xdotool import convert cpack dpkg-deb setpriv
BUILD=${JL_BUILD_DIR:-$ROOT/build}
ENTRY=/usr/share/applications/io.github.jamloom.Jamloom.desktop

echo "-- the package is built and checked"
if (cd "$BUILD" && cpack -G DEB -B "$WORK/pkg") >"$WORK/cpack.log" 2>&1; then
  DEB=$(ls "$WORK"/pkg/jamloom_*.deb 2>/dev/null | head -n 1)
fi
if [ -z "${DEB:-}" ]; then
  bad "cpack made no package: $(tail -n 5 "$WORK/cpack.log")"
  e2e_end
fi
ok "package $(basename "$DEB") built"
mkdir -p "$WORK/x" && dpkg-deb -x "$DEB" "$WORK/x"
contents=$(dpkg-deb -c "$DEB" | awk '{print $6}')
for f in usr/bin/jamloom usr/bin/jamloom-render usr/share/jamloom/Jamloom.xrs \
  usr/share/jamloom/Library/Song/NeonBoulevard/info.jls usr/share/mime/packages/jamloom.xml \
  usr/share/icons/hicolor/scalable/apps/jamloom.svg usr/share/icons/hicolor/512x512/apps/jamloom.png \
  usr/share/icons/hicolor/16x16/mimetypes/application-x-jamloom-mix.png \
  usr/share/metainfo/io.github.jamloom.Jamloom.metainfo.xml usr/share/man/man1/jamloom.1.gz \
  usr/share/man/man1/jamloom-render.1.gz usr/share/doc/jamloom/copyright "${ENTRY#/}"; do
  grep -qx "./$f" <<<"$contents" && ok "holds /$f" || bad "/$f missing"
done
check 'dpkg-deb -f "$DEB" Depends | has libsdl2' "library dependencies computed ($(dpkg-deb -f "$DEB" Depends | cut -c1-60)...)"
check 'man -l "$WORK/x/usr/share/man/man1/jamloom-render.1.gz" 2>/dev/null | has -- "--cycles"' "man jamloom-render reads"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$WORK/x$ENTRY" >"$WORK/dfv.log" 2>&1
  rc=$?
  check '[ $rc -eq 0 ] && [ ! -s "$WORK/dfv.log" ]' "desktop-file-validate passes $(head -n 3 "$WORK/dfv.log")"
else
  skip "desktop-file-validate is not installed (desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$WORK/x/usr/share/metainfo/io.github.jamloom.Jamloom.metainfo.xml" >"$WORK/as.log" 2>&1
  rc=$?
  check '[ $rc -eq 0 ]' "appstreamcli validate passes $(grep -E '^[EW]:' "$WORK/as.log" | head -n 3)"
else
  skip "appstreamcli is not installed (appstream)"
fi
if command -v lintian >/dev/null; then
  lintian "$DEB" >"$WORK/lintian.log" 2>&1
  check '! grep -q "^E:" "$WORK/lintian.log"' "lintian reports no error $(grep '^E:' "$WORK/lintian.log" | head -n 3)"
else
  skip "lintian is not installed"
fi

# What needs the system: install, the user's run, removal.
why=""
[ "$(id -u)" -eq 0 ] || why="not running as root"
[ -z "$why" ] && ! command -v apt-get >/dev/null && why="no apt-get on this machine"
[ -z "$why" ] && dpkg-query -W -f='${Status}' jamloom 2>/dev/null | has "install ok installed" &&
  why="a jamloom package is already installed here, which this test leaves alone"
if [ -n "$why" ]; then
  skip "installing, running and removing the package: $why"
  e2e_end
fi

echo "-- apt-get installs it"
on_exit 'dpkg-query -W jamloom >/dev/null 2>&1 && apt-get remove -y -qq jamloom >/dev/null 2>&1'
if DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$DEB" >"$WORK/apt.log" 2>&1; then
  ok "installed"
else
  bad "apt-get install failed: $(tail -n 5 "$WORK/apt.log")"
  e2e_end
fi
dpkg -L jamloom >"$WORK/installed.txt"
check '[ -x /usr/bin/jamloom ] && [ -f /usr/share/mime/application/x-jamloom-mix.xml ]' "program and the system's mime database in place"

echo "-- an ordinary user with an empty home"
USER_ID=$(id -u nobody) GROUP_ID=$(id -g nobody)
UHOME=$WORK/user
mkdir -p "$UHOME" "$WORK/urun" "$WORK/bin"
chown "$USER_ID:$GROUP_ID" "$UHOME" "$WORK/urun"
chmod 700 "$WORK/urun"
chmod 755 "$WORK" "$WORK/bin"
AUDIO=$UHOME/audio.raw
# The file chooser's stand-in answers a save with the path in $WORK/answer.
cat >"$WORK/bin/zenity" <<ZEOF
#!/bin/sh
for a in "\$@"; do [ "\$a" = --file-selection ] && exec cat "$WORK/answer"; done
exec /usr/bin/zenity "\$@"
ZEOF
chmod 755 "$WORK/bin/zenity"
: >"$WORK/answer" && chmod 644 "$WORK/answer"
# as_user COMMAND...: the user's environment, nothing of ours but the display
# (and, as in every script here, a capture file begun anew with each Play).
cat >"$WORK/as-user" <<UEOF
#!/bin/sh
exec setpriv --reuid=$USER_ID --regid=$GROUP_ID --clear-groups env -i HOME=$UHOME USER=nobody \
  PATH=$WORK/bin:/usr/bin:/bin DISPLAY=\$DISPLAY XDG_RUNTIME_DIR=$WORK/urun \
  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$AUDIO JL_AUDIO_CLOSE_ON_STOP=1 NO_AT_BRIDGE=1 GTK_A11Y=none "\$@"
UEOF
chmod 755 "$WORK/as-user"
# The command of the menu's entry, with its field code for one file.
exec_line() { sed -n 's/^Exec=//p' "$ENTRY" | head -n 1; }
run_entry() {  # [FILE]: the Exec line as the desktop runs it
  local line
  line=$(exec_line)
  if [ -n "${1:-}" ]; then line=${line//%f/$1}; else line=${line// %f/}; fi
  # shellcheck disable=SC2086
  start_app "$WORK/as-user" $line
}
start_xvfb
check '[ "$(exec_line)" = "jamloom %f" ]' "the entry runs 'jamloom %f'"
run_entry
check '[ -n "$WIN" ]' "window open"
library=$UHOME/.local/share/jamloom/Library
check '[ "$(readlink "$library/Song/NeonBoulevard")" = /usr/share/jamloom/Library/Song/NeonBoulevard ]' \
  "the demo songs show in the user's library without being copied"
check '[ -d "$library/Synth" ] && [ -n "$(ls "$library/Synth")" ]' "the demo synth sets show too"
check '[ "$(stat -c %u "$library")" = "$USER_ID" ]' "the library belongs to the user"
check '[ ! -e "$UHOME/.local/share/applications/jamloom.desktop" ]' "no per-user entry shadows the package's"
wait_still 10
cp "$WORK/now.png" "$WORK/browser.png"

echo "-- deleting a demo song is refused"
log_mark
click_and_see() { shot before_click; click "$1" "$2"; wait_change before_click "$3" "$4" "$5" "$6" 0 15; }
click_and_see 185 147 36 137 300 20
xdotool key BackSpace
if wait_box 20; then
  check 'log_since | has "is a demo song installed with Jamloom; it cannot be deleted"' "the user is told why"
  box_answer default
else
  bad "no message about the demo song"
fi
check '[ -f /usr/share/jamloom/Library/Song/NeonBoulevard/info.jls ] && [ -L "$library/Song/NeonBoulevard" ]' "the song is still there"

echo "-- a demo song loads and plays"
load_song 1
wait_still 10
cp "$WORK/now.png" "$WORK/loaded.png"
n=$(diffpx browser 36 116 300 20 loaded)
check '[ "${n:-0}" -gt 1000 ]' "the groove panel replaced the browser ($n pixels changed)"
click 118 308                         # STOP
rm -f "$AUDIO"
click 42 308                          # PLAY
wait_file "$AUDIO" 10
check 'wait_grows "$AUDIO" 176400 30' "a second of sound captured"
rms=$(python3 - "$AUDIO" <<'PEOF'
import array, math, sys
a = array.array('h'); a.frombytes(open(sys.argv[1], 'rb').read()[-176400:])
print(int(math.sqrt(sum(x * x for x in a[::5]) / max(1, len(a[::5])))))
PEOF
)
check '[ "${rms:-0}" -gt 300 ]' "the song sounds (rms $rms)"
click 118 308                         # STOP

echo "-- a mix saved into the home folder has the Jamloom type"
MIX=$UHOME/mine.jld
echo "$MIX" >"$WORK/answer"
click 157 464                         # SAVE
wait_file "$MIX" 15 && wait_quiet "$MIX" 5
check '[ -s "$MIX" ] && [ "$(stat -c %u "$MIX")" = "$USER_ID" ]' "mine.jld written by the user"
wait_still 10
cp "$WORK/now.png" "$WORK/saved.png"
n=$(diffpx loaded 150 5 250 20 saved)
check '[ "${n:-0}" -gt 60 ]' "the title names the saved mix beside the song ($n pixels changed)"
type=$("$WORK/as-user" xdg-mime query filetype "$MIX" 2>&1)
check '[ "$type" = application/x-jamloom-mix ]' "xdg-mime names the type (got '$type')"
handler=$("$WORK/as-user" xdg-mime query default application/x-jamloom-mix 2>&1)
check '[ "$handler" = io.github.jamloom.Jamloom.desktop ]' "the type opens with Jamloom (got '$handler')"

echo "-- opening it through the entry while the program runs hands it over"
FIRST=$PID FIRST_LOG=$LOG
LOG=$WORK/second.log
line=$(exec_line)
# shellcheck disable=SC2086
( cd "$WORK" && exec "$WORK/as-user" ${line//%f/$MIX} ) >"$LOG" 2>&1 &
second=$!
_second_gone() { ! kill -0 "$second" 2>/dev/null; }
wait_for 30 _second_gone
check '! kill -0 $second 2>/dev/null && grep -q "handed to the copy already running" "$LOG"' "the second start handed the mix over and left"
check '! grep -q "Another copy of Jamloom" "$LOG"' "no refusal"
LOG=$FIRST_LOG PID=$FIRST
check 'wait_for 20 grep -q "opening $MIX, handed over by another start" "$LOG"' "the running copy opens it"
check '[ "$(xdotool search --onlyvisible --name "$JL_WINDOW_NAME" | wc -l)" -eq 1 ]' "still one window"
stop_app

echo "-- opening it through the entry starts the program with it"
run_entry "$MIX"
check '[ -n "$WIN" ]' "window open"
wait_still 10
cp "$WORK/now.png" "$WORK/reopened.png"
n=$(diffpx browser 36 116 300 20 reopened)
check '[ "${n:-0}" -gt 1000 ]' "the mix opened on the groove panel ($n pixels changed)"
n=$(diffpx saved 150 5 250 20 reopened)
check '[ "${n:-99999}" -lt 60 ]' "the same mix and song named in the title ($n pixels differ)"
stop_app
stop_xvfb

echo "-- apt-get remove takes every installed file, not the user's"
if DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq jamloom >"$WORK/remove.log" 2>&1; then
  ok "removed"
else
  bad "apt-get remove failed: $(tail -n 5 "$WORK/remove.log")"
fi
left=""
while IFS= read -r f; do
  [ -d "$f" ] && continue
  [ -e "$f" ] || [ -L "$f" ] && left="$left $f"
done <"$WORK/installed.txt"
check '[ -z "$left" ]' "no installed file is left${left:+:$(echo "$left" | cut -c1-200)}"
check '[ ! -d /usr/share/jamloom ]' "/usr/share/jamloom is gone"
check '[ ! -e /usr/share/mime/application/x-jamloom-mix.xml ]' "the system mime database forgot the type"
check '[ -s "$MIX" ] && [ -d "$library/Song" ] && [ -f "$UHOME/.config/jamloom/Jamloom.prf" ]' \
  "the user's mix, library and preferences stay"
e2e_end
