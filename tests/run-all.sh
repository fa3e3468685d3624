#!/usr/bin/env bash
# Every test: the unit tests in a normal build, the same tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, the threaded engine tests
# under ThreadSanitizer, a short run of every fuzz target, and the
# end-to-end checks of the real program under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
# ccache keeps its cache in the default place, so later runs on the same
# machine start warm even from a fresh clone in another folder.
export CCACHE_BASEDIR=$ROOT CCACHE_NOHASHDIR=1
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen}
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
JOBS=${JOBS:-2}
FAILED=0

step() { echo; echo "==== $*"; }

step "Build"
cmake -G Ninja -S "$ROOT" -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j"$JOBS"

step "Unit tests"
ctest --test-dir build -j"$JOBS" --output-on-failure || FAILED=1

step "Unit tests under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -G Ninja -S "$ROOT" -B build-asan -DCMAKE_BUILD_TYPE=Debug -DJL_SANITIZE=address -DJL_BENCH=OFF >/dev/null
# The build runs the instrumented skin and library generators; the font
# libraries they use keep caches to the end, which is not ours to check.
ASAN_OPTIONS=detect_leaks=0 ninja -C build-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan -j"$JOBS" --output-on-failure -E '^(Window|InWindowBox)\.' || FAILED=1
# The window tests load the display's drivers, which SDL unloads again at
# exit: their allocations cannot be attributed, so leaks are not checked there.
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan -j"$JOBS" --output-on-failure -R '^(Window|InWindowBox)\.' || FAILED=1

if ls "$ROOT"/tests/engine/*.cpp >/dev/null 2>&1; then
  step "Threaded engine tests under ThreadSanitizer"
  cmake -G Ninja -S "$ROOT" -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DJL_SANITIZE=thread -DJL_BENCH=OFF >/dev/null
  ninja -C build-tsan -j"$JOBS" jl_tests_engine
  # The playback soak runs a full minute here.
  JL_SOAK_SECONDS=${JL_SOAK_SECONDS:-60} TSAN_OPTIONS=halt_on_error=1 \
    ctest --test-dir build-tsan -L engine --timeout 600 --output-on-failure || FAILED=1
fi

step "Fuzz smoke run"
"$ROOT/fuzz/run.sh" "${FUZZ_SECONDS:-10}" || FAILED=1

step "End to end"
# The scripts drive a real X server with timed steps; a loaded machine can
# make one step miss. A script that fails is run once more, and both runs
# are shown, so a real fault still fails while a lone miss does not.
for script in "$ROOT"/tests/e2e/*.sh; do
  echo "-- $(basename "$script")"
  if ! "$script"; then
    echo "-- $(basename "$script") failed; running it once more"
    "$script" || FAILED=1
  fi
done

echo
if [ "$FAILED" -ne 0 ]; then
  echo "SOME TESTS FAILED"
  exit 1
fi
echo "ALL TESTS PASSED"
