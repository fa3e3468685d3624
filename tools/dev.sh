#!/usr/bin/env bash
# Set-up, build, run and test on Debian 12.
#   tools/dev.sh run    install what is missing, build, start the program
#   tools/dev.sh test   install what is missing, build, run every test
#   tools/dev.sh build  build only
#   tools/dev.sh package  build, then the Debian package in the build folder
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${JL_BUILD_DIR:-$ROOT/build}

PACKAGES=(build-essential cmake ninja-build ccache pkg-config git
  libsdl2-dev libsdl2-ttf-dev libsdl2-image-dev libgif-dev libsndfile1-dev libsamplerate0-dev libsoxr-dev
  libcairo2-dev librsvg2-dev libfontconfig-dev fonts-dejavu-core
  googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
  xvfb xauth x11-utils xdotool imagemagick zenity sox strace
  librubberband-dev
  dpkg-dev file lintian desktop-file-utils appstream shared-mime-info xdg-utils libfile-mimeinfo-perl
  librtmidi-dev libx11-dev libxext-dev)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure_build() {
  local dir=$1; shift
  cmake -G Ninja -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  ninja -C "$dir"
}

case "${1:-}" in
  run)
    install_missing
    configure_build "$BUILD"
    exec "$BUILD/app/jamloom" "${@:2}"
    ;;
  build)
    install_missing
    configure_build "$BUILD"
    ;;
  package)
    install_missing
    configure_build "$BUILD"
    (cd "$BUILD" && cpack -G DEB)
    ;;
  test)
    install_missing
    exec "$ROOT/tests/run-all.sh"
    ;;
  *)
    echo "usage: $0 run|build|test|package" >&2
    exit 2
    ;;
esac
