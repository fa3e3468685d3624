#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds each (default 10),
# starting from its seed corpus in fuzz/corpus/<name>/. New inputs go to a
# scratch folder, so the committed corpus only changes by hand.
#   fuzz/run.sh 10        smoke run (CI)
#   fuzz/run.sh 3600      a long run by hand
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
SECONDS_EACH=${1:-10}
BUILD=${JL_FUZZ_BUILD:-$ROOT/build-fuzz}
if ! command -v clang++ >/dev/null; then
  echo "clang++ not found: fuzz targets skipped"
  exit 0
fi
CC=clang CXX=clang++ cmake -G Ninja -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DJL_FUZZ=ON -DJL_TESTS=OFF -DJL_BENCH=OFF >/dev/null
targets=$(cd "$ROOT/fuzz" && ls */*.cpp 2>/dev/null | xargs -r -n1 basename | sed -e 's/\.cpp$//' -e 's/^fuzz_//')
[ -n "$targets" ] || { echo "no fuzz targets"; exit 0; }
ninja -C "$BUILD" -j"${JOBS:-2}" $(for t in $targets; do echo "fuzz_$t"; done)
# Belt and braces with -fno-sanitize-recover: a UBSan report ends the run
# with a stack, and counts as a failure.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
status=0
for t in $targets; do
  name=$t
  corpus="$ROOT/fuzz/corpus/$name"
  scratch="$BUILD/corpus-$name"
  mkdir -p "$scratch"
  echo "-- $t for ${SECONDS_EACH}s"
  if ! "$BUILD/fuzz/fuzz_$t" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$BUILD/crash-$name-" -print_final_stats=0 "$scratch" \
       $( [ -d "$corpus" ] && echo "$corpus" ) >"$BUILD/$t.log" 2>&1; then
    echo "   FAILED: see $BUILD/$t.log"; tail -n 30 "$BUILD/$t.log"; status=1
  else
    grep -E '^#[0-9]+.*DONE' "$BUILD/$t.log" | tail -n 1 || true
  fi
done
exit $status
