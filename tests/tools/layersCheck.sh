#!/usr/bin/env bash
# The layer check passes on the source tree and fails, naming each line, on
# a scratch tree where core reaches up, the engine includes the interface and
# the song model goes past the engine's facade.
set -u
CHECK="$1/tools/checks/layers.py"
SRC="$1"
fail() { echo "FAILED: $*"; exit 1; }

python3 "$CHECK" "$SRC" || fail "the source tree crosses its layers"

T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
mkdir -p "$T/core" "$T/engine" "$T/song" "$T/screens" "$T/app"
printf '#include "screens/JLGroovePanel.h"\n' >"$T/core/a.h"
printf '#include <SDL.h>\n#include "core/files/uloPath.h"\n#include "framework/panel/QXPanel.h"\n' >"$T/engine/b.cpp"
printf '#include "engine/JLEngine.h"\n#include "engine/Mixer.h"\n' >"$T/song/c.cpp"
printf '#include "engine/JLWaveFault.h"\n#include "song/JLPlayer.h"\n' >"$T/screens/d.cpp"
printf '#include "screens/JLGroovePanel.h"\n#include "engine/Mixer.h"\n' >"$T/app/e.cpp"
out=$(python3 "$CHECK" "$T")
rc=$?
[ "$rc" -eq 1 ] || fail "exit code $rc on forbidden includes"
for want in "core/a.h:1: core may not include screens/" "engine/b.cpp:3: engine may not include framework/" \
  "song/c.cpp:2: song may not include engine/Mixer.h" "3 include(s) cross the layers"; do
  grep -qF "$want" <<<"$out" || fail "not reported: $want (got: $out)"
done
echo "ok"
