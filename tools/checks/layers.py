#!/usr/bin/env python3
"""Checks the include lines of the program's sources against its layers.

    app/ -> screens/ -> song/ -> engine/ (its facade only) ; framework/ -> core/

A folder may include its own headers and those of the folders it stands on;
song/ and screens/ reach the engine through engine/JLEngine.h and
engine/JLWaveFault.h only, and nothing below app/ includes app/. Tests,
benches, fuzz targets and build tools may include anything. Prints every
forbidden include as FILE:LINE and exits 1 when there is one.
"""
import os
import re
import sys

FACADE = {"engine/JLEngine.h", "engine/JLWaveFault.h"}
# Folder -> folders whose every header it may include.
ALLOWED = {
    "core": {"core"},
    "framework": {"framework", "core"},
    "engine": {"engine", "core"},
    "song": {"song", "framework", "core"},
    "screens": {"screens", "song", "framework", "core"},
    "installer": {"installer", "framework", "core"},
    "app": {"app", "screens", "song", "engine", "framework", "installer", "core"},
}
FACADE_USERS = {"song", "screens"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def allowed(layer, target):
    top = target.split("/", 1)[0]
    if top in ALLOWED[layer]:
        return True
    return layer in FACADE_USERS and target in FACADE


def main(root):
    bad = 0
    for layer in ALLOWED:
        for folder, _, files in os.walk(os.path.join(root, layer)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for n, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if m and "/" in m.group(1) and not allowed(layer, m.group(1)):
                            print("%s:%d: %s may not include %s" % (os.path.relpath(path, root), n, layer, m.group(1)))
                            bad += 1
    if bad:
        print("%d include(s) cross the layers" % bad)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")))
