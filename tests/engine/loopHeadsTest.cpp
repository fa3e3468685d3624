// Immediate loop changes carried by audio in memory (a loop's start decoded
// at the change, or its head kept since the song was loaded): the switch
// comes right after the block being mixed, that audio plays until the
// loader has refilled the ring, and the new loop keeps the timeline's phase.
// Checked sample by sample against the loops' markers, with the loader held
// back to show that memory, not the ring, is what plays.
#include <gtest/gtest.h>

#include "engine/JLLoopHeads.h"
#include "engine/liveFixtures.h"

using namespace enginetest;
using namespace livetest;

namespace {

// With no block being mixed the old loop fades out from the next block on.
constexpr int kGuard = kRamp;

}  // namespace

TEST(LoopHeads, RegisteringALoopKeepsItsFirstFramesInMemory) {
  Harness h;
  JL_LoopHeadsForget();
  const int a = h.addLoop(1, 4 * kBeat, 8);
  const int shortLoop = h.addLoop(2, 5000, 8, 1);  // mono, shorter than a head
  const int16_t* frames = nullptr;
  int32_t count = 0;
  ASSERT_TRUE(JL_LoopHead(a - 1, VTracks[a - 1].name, &frames, &count));
  ASSERT_EQ(kLoopHeadFrames, count);
  for (int i : {0, 1, 9999, kLoopHeadFrames - 1}) {
    EXPECT_EQ(marker(1, i), frames[2 * i]) << i;
    EXPECT_EQ(-marker(1, i), frames[2 * i + 1]) << i;
  }
  ASSERT_TRUE(JL_LoopHead(shortLoop - 1, VTracks[shortLoop - 1].name, &frames, &count));
  EXPECT_EQ(5000, count);
  EXPECT_EQ(marker(2, 4999), frames[2 * 4999]);
  EXPECT_EQ(marker(2, 4999), frames[2 * 4999 + 1]) << "mono on both sides";
  EXPECT_FALSE(JL_LoopHead(a - 1, "/elsewhere/other.wav", &frames, &count)) << "a head belongs to its file";
  EXPECT_EQ(int64_t(kLoopHeadFrames + 5000) * 4, JL_LoopHeadsBytes());
  JL_LoopHeadsForget();
  EXPECT_EQ(0, JL_LoopHeadsBytes());
  EXPECT_FALSE(JL_LoopHead(a - 1, VTracks[a - 1].name, &frames, &count));
}

// Changes in quick succession fill both buffers a loop's start is decoded
// into; a third whose phase lies in its loop's head then plays the head from
// the next block, with no loader visit at all until well past it.
TEST(LoopHeads, WithBothBuffersBusyAChangeInTheHeadPlaysItWithoutTheLoader) {
  TwoLoops s(true);
  const int64_t la = s.la, lb = s.lb, lc = s.lc;
  const int a = s.a, b = s.b, c = s.c;
  std::vector<int16_t>& out = s.out;
  liveTo(255 * kBlock, out);
  const int64_t at1 = TimeLine.load() + kGuard;
  ASSERT_EQ(0, TrackPlay(1, c));
  liveTo(257 * kBlock, out, false);
  const int64_t at2 = TimeLine.load() + kGuard;
  ASSERT_EQ(0, TrackPlay(1, a));
  liveTo(259 * kBlock, out, false);
  // The switch lands 528 frames into loop B's third repetition.
  const int64_t at = TimeLine.load() + kGuard;
  ASSERT_EQ(528, at % lb);
  ASSERT_EQ(0, TrackPlay(1, b));
  EXPECT_EQ(at, Tracks[0].switchAt.load());
  const int16_t* head = nullptr;
  int32_t count = 0;
  ASSERT_TRUE(JL_LoopHead(b - 1, VTracks[b - 1].name, &head, &count));
  EXPECT_EQ(head, Tracks[0].heads[1].frames);
  TrackUnderruns = 0;
  liveTo(at + 20 * kBlock, out, false);
  EXPECT_EQ(at, Tracks[0].loadedTo.load()) << "the loader has not run";
  EXPECT_EQ(0u, TrackUnderruns.load());
  liveTo(at + 100000, out);  // the loader takes over from the head
  expectLeft(out, 0, at2 - kRamp, [&](int64_t p) { return across(1, la, 3, lc, at1, p); }, "A to C");
  expectLeft(out, at2 - kRamp, at - kRamp, [&](int64_t p) { return across(3, lc, 1, la, at2, p); }, "C to A");
  expectLeft(out, at - kRamp, at + 100000, [&](int64_t p) { return across(1, la, 2, lb, at, p); }, "A to B");
  EXPECT_EQ(0u, TrackUnderruns.load());
}

// A phase too near the head's end for the loader to refill the ring behind
// it in time on a busy machine: the switch comes as soon, from the loop's
// start read from the file, which lasts much longer.
TEST(LoopHeads, APhaseNearTheHeadsEndIsReadFromTheFile) {
  TwoLoops s;
  const int64_t la = s.la, lb = s.lb;
  const int b = s.b;
  std::vector<int16_t>& out = s.out;
  liveTo(283 * kBlock, out);  // phase 12816 at the switch: 4824 frames (109 ms) of head left
  const int64_t at = TimeLine.load() + kGuard;
  ASSERT_EQ(0, TrackPlay(1, b));
  EXPECT_EQ(at, Tracks[0].switchAt.load());
  const int16_t* head = nullptr;
  int32_t count = 0;
  ASSERT_TRUE(JL_LoopHead(b - 1, VTracks[b - 1].name, &head, &count));
  EXPECT_NE(head, Tracks[0].heads[1].frames);
  EXPECT_EQ(at + kPrepFrames, Tracks[0].heads[1].to);
  TrackUnderruns = 0;
  liveTo(at + 20 * kBlock, out, false);
  EXPECT_EQ(0u, TrackUnderruns.load());
  liveTo(at + 50000, out);
  expectLeft(out, 0, at + 50000, [&](int64_t p) { return across(1, la, 2, lb, at, p); }, "A to B");
  EXPECT_EQ(0u, TrackUnderruns.load());
}

// A second change while the first one's start still plays from memory
// beyond the ring: it plays on to the second switch, over the ring the
// loader then refills with the newest loop, which takes over there.
TEST(LoopHeads, ASecondChangeWhileTheFirstHeadPlaysKeepsBothSwitchesExact) {
  TwoLoops s(true);
  const int64_t la = s.la, lb = s.lb, lc = s.lc;
  const int b = s.b, c = s.c;
  std::vector<int16_t>& out = s.out;
  liveTo(259 * kBlock, out);
  const int64_t at1 = TimeLine.load() + kGuard;
  ASSERT_EQ(0, TrackPlay(1, b));
  liveTo(at1 + kBlock, out, false);  // the mixer is inside B's start in memory
  const int64_t at2 = TimeLine.load() + kGuard;
  ASSERT_LT(Tracks[0].loadedTo.load(), at2);
  TrackUnderruns = 0;
  ASSERT_EQ(0, TrackPlay(1, c));
  EXPECT_EQ(at2, Tracks[0].switchAt.load());
  LoaderVisitAll();  // refills from the second switch... and only from there
  liveTo(at2 + 60000, out);
  expectLeft(out, 0, at2 - kRamp, [&](int64_t p) { return across(1, la, 2, lb, at1, p); }, "A to B");
  expectLeft(out, at2 - kRamp, at2 + 60000, [&](int64_t p) { return across(2, lb, 3, lc, at2, p); }, "B to C");
  EXPECT_EQ(0u, TrackUnderruns.load());
}

// The offline render and the queued output mix in whole blocks with no
// fades: heads never change where a switch falls there.
TEST(LoopHeads, WithoutFadesAChangeWaitsForTheLoaderAsBefore) {
  Harness h;
  const int a = h.addLoop(1, 4 * kBeat, 8);
  const int b = h.addLoop(2, 3 * kBeat, 0);
  ASSERT_EQ(0, TrackPlay(1, a));
  std::vector<int16_t> out;
  h.blocks(4, out);
  const int64_t loaded = Tracks[0].loadedTo.load();
  ASSERT_EQ(0, TrackPlay(1, b));
  EXPECT_EQ(loaded, Tracks[0].loadedTo.load());
  EXPECT_EQ(0, Tracks[0].headsTo.load());
}
