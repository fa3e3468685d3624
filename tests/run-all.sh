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
# The skin painter's tests draw text, and the font library keeps its caches
# to the end as in the generators: those are suppressed by name, ours are not.
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$ROOT/tests/lsan-suppressions.txt" ctest --test-dir build-asan -j"$JOBS" --output-on-failure -E '^(Window|InWindowBox|Presenter)\.' || FAILED=1
# The window and presenter tests load the display's drivers, which SDL unloads again at
# exit: their allocations cannot be attributed, so leaks are not checked there.
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan -j"$JOBS" --output-on-failure -R '^(Window|InWindowBox|Presenter)\.' || FAILED=1

if ls "$ROOT"/tests/engine/*.cpp >/dev/null 2>&1; then
  step "Threaded engine and core tests under ThreadSanitizer"
  cmake -G Ninja -S "$ROOT" -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DJL_SANITIZE=thread -DJL_BENCH=OFF >/dev/null
  ninja -C build-tsan -j"$JOBS" jl_tests_engine jl_tests_core jl_soak
  # core: the file dialog's worker against the interface thread.
  TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -L 'engine|core' --timeout 600 --output-on-failure || FAILED=1
  # The playback soak with the real threads is a long run, outside the
  # default path (bench/README.md); JL_SOAK_SECONDS=N asks for it here. Any
  # race fails it; its underruns depend on the machine's load and are
  # printed as a figure.
  if [ -n "${JL_SOAK_SECONDS:-}" ]; then
    TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/jl_soak || FAILED=1
  fi
fi

step "Fuzz smoke run"
"$ROOT/fuzz/run.sh" "${FUZZ_SECONDS:-10}" || FAILED=1

step "End to end"
# Each script runs once: they wait for states with deadlines instead of
# sleeping, so a failure is a fault to look at, not a miss to retry.
for script in "$ROOT"/tests/e2e/*.sh; do
  echo "-- $(basename "$script")"
  "$script" || FAILED=1
done

echo
if [ "$FAILED" -ne 0 ]; then
  echo "SOME TESTS FAILED"
  exit 1
fi
echo "ALL TESTS PASSED"
