// Looping schedule, streaming and the mixer, checked sample by sample
// against positions computed independently from the timeline.
#include <gtest/gtest.h>

#include "engine/AudioFormat.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"

using namespace enginetest;

namespace {

// Expected left sample at volume 64, pan centre, master 128 (gain 0.5).
int half(int id, int64_t i) { return marker(id, i) / 2; }

// Compares frames [from, to) of the left channel with `expect(p)`; reports
// the first mismatch only.
template <class Fn>
void expectLeft(const std::vector<int16_t>& out, int64_t from, int64_t to, Fn expect, const char* what) {
  for (int64_t p = from; p < to; ++p) {
    const int want = expect(p);
    if (out[2 * p] != want || out[2 * p + 1] != -want) {
      ADD_FAILURE() << what << ": frame " << p << " is (" << out[2 * p] << "," << out[2 * p + 1]
                    << "), expected " << want;
      return;
    }
  }
}

}  // namespace

TEST(TrackLooping, LoopRepeatsOnItsOwnGridAndFollowsASyncChangeExactly) {
  Harness h;
  const int a = h.addLoop(1, 4 * kBeat, 8);  // 4 beats
  const int b = h.addLoop(2, 2 * kBeat, 16);  // 2 beats
  TrackVolume(1, 64);
  ASSERT_EQ(0, TrackPlay(1, a));
  ASSERT_EQ(2, PlayingStatus.load());
  std::vector<int16_t> out;
  h.runTo(100 * kMixBlock, out);
  ASSERT_EQ(0, TrackPlaySync(1, b));
  EXPECT_EQ(kSync, Tracks[0].syncPoint.load());
  // Choosing B again keeps the pending change and its sync point.
  ASSERT_EQ(0, TrackPlaySync(1, b));
  h.runTo(kSync + 40 * kMixBlock, out);
  const int64_t end = out.size() / 2;
  expectLeft(out, 0, kSync, [](int64_t p) { return half(1, p % (4 * kBeat)); }, "loop A");
  expectLeft(out, kSync, end, [](int64_t p) { return half(2, (p - kSync) % (2 * kBeat)); }, "loop B");
  EXPECT_EQ(-2, Tracks[0].pendingVariant.load());
  EXPECT_EQ(0u, TrackUnderruns.load());
}

TEST(TrackLooping, ImmediateChangeKeepsTheTimelinePhase) {
  Harness h;
  const int a = h.addLoop(1, 4 * kBeat, 8);
  const int b = h.addLoop(2, 3 * kBeat, 0);  // length from the file: 3 beats
  ASSERT_EQ(3, VTracks[b - 1].lengthBeats.load());
  TrackVolume(1, 64);
  ASSERT_EQ(0, TrackPlay(1, a));
  std::vector<int16_t> out;
  h.runTo(37 * kMixBlock, out);
  const int32_t switchAt = Tracks[0].loadedTo.load();
  ASSERT_GT(switchAt, TimeLine.load());
  ASSERT_EQ(0, TrackPlay(1, b));
  h.runTo(switchAt + 200000, out);
  // The audio already buffered plays first; the new loop then sits where it
  // would be had it always played from timeline 0.
  expectLeft(out, 0, switchAt, [](int64_t p) { return half(1, p % (4 * kBeat)); }, "before");
  expectLeft(out, switchAt, switchAt + 200000, [](int64_t p) { return half(2, p % (3 * kBeat)); },
             "after");
}

TEST(TrackLooping, SyncSelectionOnAStoppedTrackIsSilentUntilTheSyncPoint) {
  Harness h;
  const int a = h.addLoop(1, 4 * kBeat, 8);
  const int b = h.addLoop(2, kBeat, 32);
  const int c = h.addLoop(3, 8 * kBeat, 4);
  ASSERT_EQ(0, TrackPlay(1, a));
  TrackVolume(1, 0);  // only track 2 is heard
  TrackVolume(2, 64);
  std::vector<int16_t> out;
  h.blocks(3, out);
  // Track 2 plays C for a while, then stops at once: what it had loaded
  // ahead must not come back with the next selection.
  ASSERT_EQ(0, TrackPlay(2, c));
  LoaderVisitAll();  // as the woken loader would before the next block
  h.blocks(40, out);
  const int32_t cStart = 3 * kMixBlock;
  const int32_t stopAt = TimeLine.load();
  ASSERT_GT(Tracks[1].loadedTo.load(), stopAt + kMixBlock);
  ASSERT_EQ(0, TrackPlay(2, 0));
  EXPECT_EQ(0, TrackPlay(2, 0));  // stopping a stopped track does nothing
  h.blocks(5, out);
  ASSERT_EQ(0, TrackPlaySync(2, b));
  h.runTo(kSync + 30 * kMixBlock, out);
  const int64_t end = out.size() / 2;
  expectLeft(out, 0, cStart, [](int64_t) { return 0; }, "before C");
  expectLeft(out, cStart, stopAt, [](int64_t p) { return half(3, p % (8 * kBeat)); }, "C");
  expectLeft(out, stopAt, kSync, [](int64_t) { return 0; }, "silence");
  expectLeft(out, kSync, end, [](int64_t p) { return half(2, p % kBeat); }, "B");
}

TEST(TrackLooping, ScheduledStopFallsOnTheBlockWhoseMiddleReachesTheSyncPoint) {
  Harness h;
  const int a = h.addLoop(1, 4 * kBeat, 8);
  TrackVolume(1, 64);
  ASSERT_EQ(0, TrackPlay(1, a));
  std::vector<int16_t> out;
  h.blocks(10, out);
  ASSERT_EQ(0, TrackPlaySync(1, 0));
  h.runTo(kSync + 10 * kMixBlock, out);
  // Blocks start at multiples of 2048: 704512 + 1024 < 705600 still plays
  // whole, the block at 706560 is the first silent one.
  const int64_t firstSilent = ((kSync - kMixBlock / 2 + kMixBlock - 1) / kMixBlock) * kMixBlock;
  ASSERT_EQ(706560, firstSilent);
  expectLeft(out, 0, firstSilent, [](int64_t p) { return half(1, p % (4 * kBeat)); }, "A");
  expectLeft(out, firstSilent, out.size() / 2, [](int64_t) { return 0; }, "stopped");
  EXPECT_EQ(-1, Tracks[0].currentVariant.load());
}

TEST(TrackLooping, ShortAndLongFilesAreFilledAndCutOnTheGrid) {
  Harness h;
  const int shortLoop = h.addLoop(1, 2 * kBeat - 1000, 16);  // 2-beat loop, 1000 frames short
  const int longLoop = h.addLoop(2, 2 * kBeat + 5000, 16);   // 5000 frames too long
  const int mono = h.addLoop(3, kBeat, 32, 1);
  TrackVolume(1, 64);
  TrackVolume(2, 64);
  TrackVolume(3, 64);
  TrackPan(2, 127);  // left only
  TrackPan(1, 0);    // right only
  ASSERT_EQ(0, TrackPlay(1, shortLoop));
  std::vector<int16_t> out;
  ASSERT_EQ(0, TrackPlay(2, longLoop));
  LoaderVisitAll();
  h.runTo(200000, out);
  for (int64_t p = 0; p < 200000; ++p) {
    const int64_t s = p % (2 * kBeat);
    const int wantR = s < 2 * kBeat - 1000 ? marker(1, s) / 2 : 0;
    const int wantL = marker(2, s) / 2;
    ASSERT_EQ(wantL, out[2 * p]) << p;
    ASSERT_EQ(-wantR, out[2 * p + 1]) << p;
  }
  // A mono file sounds on both sides with equal level.
  TrackPlay(1, 0);
  TrackPlay(2, 0);
  TrackPlay(3, mono);
  out.clear();
  h.blocks(80, out);
  const int64_t base = TimeLine.load() - 80 * kMixBlock;
  int heard = 0;
  for (size_t f = 0; f < out.size() / 2; ++f) {
    const int64_t p = base + int64_t(f);
    if (out[2 * f] == 0) continue;
    ++heard;
    ASSERT_EQ(marker(3, p % kBeat) / 2, out[2 * f]) << p;
    ASSERT_EQ(out[2 * f], out[2 * f + 1]) << p;
  }
  EXPECT_GT(heard, 100000);
}
