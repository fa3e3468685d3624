// The mixer as a live pull-mode output drives it: device-sized blocks,
// fades over MixRampFrames, and immediate changes that cut the ring a short
// lead ahead instead of waiting for everything loaded. Checked sample by
// sample against values computed from the loops' markers.
#include <gtest/gtest.h>

#include "engine/liveFixtures.h"

using namespace enginetest;
using namespace livetest;

// Past the new loop's head its start is read from the file at once and the
// switch comes at the next block, at the phase the loop has had since
// timeline 0; what was read lasts a loader held back for 290 ms.
TEST(LiveMix, ImmediateChangeSwitchesAtTheNextBlockAndOutlastsALateLoader) {
  TwoLoops s;
  const int b = s.b;
  std::vector<int16_t>& out = s.out;
  liveTo(75 * kBlock, out);
  ASSERT_GT(Tracks[0].loadedTo.load(), TimeLine.load() + 20 * kBlock) << "the ring is far ahead";
  TrackUnderruns = 0;
  ASSERT_EQ(0, TrackPlay(1, b));
  const int64_t at = 75 * kBlock + kRamp;  // the old loop fades out over the next block's start
  EXPECT_EQ(at, Tracks[0].switchAt.load());
  EXPECT_EQ(at, Tracks[0].loadedTo.load());
  EXPECT_EQ(-1, Tracks[0].prepVariant.load());
  liveTo(100 * kBlock, out, false);
  EXPECT_EQ(at, Tracks[0].loadedTo.load()) << "the loader has not run";
  EXPECT_EQ(0u, TrackUnderruns.load());
  liveTo(at + 100000, out);
  // Loop A up to the fade, out of A and into B around the switch, then B
  // where it would be had it always played from timeline 0.
  expectLeft(out, 0, at - kRamp, [](int64_t p) { return faded(1, p % (4 * kBeat), 1.0f); }, "A");
  expectLeft(out, at - kRamp, at,
             [at](int64_t p) { return faded(1, p % (4 * kBeat), float(at - p) / kRamp); }, "A fading");
  expectLeft(out, at, at + kRamp,
             [at](int64_t p) { return faded(2, p % (3 * kBeat), float(p - at) / kRamp); }, "B rising");
  expectLeft(out, at + kRamp, at + 100000, [](int64_t p) { return faded(2, p % (3 * kBeat), 1.0f); }, "B");
  EXPECT_EQ(0u, TrackUnderruns.load());
}

// A block the mixer is still mixing keeps what it read: the switch waits
// for the block after it.
TEST(LiveMix, ASwitchNeverFallsInsideTheBlockBeingMixed) {
  TwoLoops s;
  liveTo(75 * kBlock, s.out);
  MixingTo = TimeLine.load() + kBlock;  // as while a block is being mixed
  ASSERT_EQ(0, TrackPlay(1, s.b));
  EXPECT_EQ(76 * kBlock + kRamp, Tracks[0].switchAt.load());
}

TEST(LiveMix, ImmediateSelectionOnAStoppedTrackDropsWhatItsRingHeld) {
  Harness h;
  const int a = h.addLoop(1, 4 * kBeat, 8);
  const int b = h.addLoop(2, 2 * kBeat, 16);
  TrackVolume(1, 64);
  ASSERT_EQ(0, TrackPlay(1, a));
  goLive();
  std::vector<int16_t> out;
  liveTo(20 * kBlock, out);
  ASSERT_EQ(0, TrackPlay(1, 0));  // stop: fades out from the next block
  liveTo(30 * kBlock, out);
  const int64_t x = TimeLine.load();
  ASSERT_EQ(0, TrackPlay(1, b));
  LoaderVisitAll();
  const int64_t at = x + kRamp;
  ASSERT_EQ(at, Tracks[0].switchAt.load());
  liveTo(at + 50000, out);
  expectLeft(out, 20 * kBlock, 20 * kBlock + kRamp,
             [](int64_t p) { return faded(1, p % (4 * kBeat), 1.0f - float(p - 20 * kBlock) / kRamp); }, "stop fade");
  expectLeft(out, 20 * kBlock + kRamp, at, [](int64_t) { return 0; }, "stopped");
  expectLeft(out, at, at + kRamp, [at](int64_t p) { return faded(2, p % (2 * kBeat), float(p - at) / kRamp); },
             "B rising");
  expectLeft(out, at + kRamp, at + 50000, [](int64_t p) { return faded(2, p % (2 * kBeat), 1.0f); }, "B");
}

TEST(LiveMix, MuteAndVolumeStepsRampOverFiveMilliseconds) {
  Harness h;
  const int a = h.addLoop(1, 4 * kBeat, 8);
  TrackVolume(1, 64);
  ASSERT_EQ(0, TrackPlay(1, a));
  goLive();
  std::vector<int16_t> out;
  liveTo(10 * kBlock, out);
  TrackVolume(1, 0);  // mute: heard from the next block, without a step
  liveTo(14 * kBlock, out);
  TrackVolume(1, 64);
  liveTo(18 * kBlock, out);
  const int64_t m = 10 * kBlock, u = 14 * kBlock;
  auto loopA = [](int64_t p) { return p % (4 * kBeat); };
  expectLeft(out, 0, m, [&](int64_t p) { return faded(1, loopA(p), 1.0f); }, "before");
  expectLeft(out, m, m + kRamp, [&](int64_t p) { return faded(1, loopA(p), 1.0f - float(p - m) / kRamp); },
             "muting");
  expectLeft(out, m + kRamp, u, [](int64_t) { return 0; }, "muted");
  expectLeft(out, u, u + kRamp, [&](int64_t p) { return faded(1, loopA(p), float(p - u) / kRamp); }, "unmuting");
  expectLeft(out, u + kRamp, 18 * kBlock, [&](int64_t p) { return faded(1, loopA(p), 1.0f); }, "after");
}

TEST(LiveMix, ScheduledStopAndVolumeFadeFromTheSyncPointExactly) {
  Harness h;
  const int a = h.addLoop(1, 4 * kBeat, 8);
  const int c = h.addLoop(3, 8 * kBeat, 4);
  TrackVolume(1, 64);
  TrackVolume(2, 64);
  ASSERT_EQ(0, TrackPlay(1, a));
  ASSERT_EQ(0, TrackPlay(2, c));
  TrackVolume(1, 0);
  goLive();
  std::vector<int16_t> out;
  liveTo(4 * kBlock, out);
  TrackVolume(1, 64);  // track 1 alone would hide nothing: mute track 2 below
  TrackVolume(2, 0);
  liveTo(8 * kBlock, out);
  ASSERT_EQ(0, TrackPlaySync(1, 0));
  liveTo(kSync + 4 * kBlock, out);
  // 705600 is not a multiple of 512: the stop falls inside a block.
  ASSERT_NE(0, kSync % kBlock);
  expectLeft(out, 8 * kBlock, kSync, [](int64_t p) { return faded(1, p % (4 * kBeat), 1.0f); }, "A to the end");
  expectLeft(out, kSync, kSync + kRamp,
             [](int64_t p) { return faded(1, p % (4 * kBeat), 1.0f - float(p - kSync) / kRamp); }, "fade after");
  expectLeft(out, kSync + kRamp, kSync + 4 * kBlock, [](int64_t) { return 0; }, "stopped");

  // A scheduled volume change in the same way.
  ASSERT_EQ(0, TrackPlay(2, c));
  TrackVolume(2, 64);
  VolumeSync2(2, 0);
  const int64_t next = 2 * kSync;
  std::vector<int16_t> more;
  const int64_t from = TimeLine.load();
  liveTo(next + 2 * kBlock, more);
  auto at = [&](int64_t p) { return p - from; };
  for (int64_t p = next - 100; p < next + kRamp + 10; ++p) {
    const float g = p < next ? 1.0f : p < next + kRamp ? 1.0f - float(p - next) / kRamp : 0.0f;
    const int want = faded(3, p % (8 * kBeat), g);
    ASSERT_LE(std::abs(more[2 * at(p)] - want), 1) << "frame " << p;
  }
}

// Changes on every track, over and over: with one loader visit after each
// mixed block every one switches at the next block, and no ring runs dry.
TEST(LiveMix, ConstantImmediateChangesNeverRunARingDry) {
  Harness h;
  int loops[6];
  for (int i = 0; i < 6; ++i) loops[i] = h.addLoop(10 + i, (1 + i) * kBeat, 0);
  for (int t = 1; t <= kTracks; ++t) ASSERT_EQ(0, TrackPlay(t, loops[t % 6]));
  goLive();
  TrackUnderruns = 0;
  std::vector<int16_t> out;
  uint32_t seed = 11;
  int switches = 0;
  for (int step = 0; step < 800; ++step) {
    seed = seed * 1103515245u + 12345u;
    const int t = 1 + int(seed >> 8) % kTracks;
    const int v = loops[(seed >> 16) % 6];
    const bool same = Tracks[t - 1].currentVariant.load() == v - 1;
    const int64_t x = TimeLine.load();
    ASSERT_EQ(0, TrackPlay(t, v));
    liveTo(x + kBlock, out);
    if (same) continue;
    ASSERT_EQ(v - 1, Tracks[t - 1].currentVariant.load()) << "step " << step;
    ASSERT_LE(Tracks[t - 1].switchAt.load(), x + kBlock + kRamp) << "step " << step;
    ++switches;
  }
  EXPECT_GT(switches, 600);
  EXPECT_EQ(0u, TrackUnderruns.load());
}

// What the loader decodes for an immediate change is what the ring would
// hold there: each repetition from its file's start, a longer file cut at
// the next repetition, a shorter one followed by silence, mono on both sides.
TEST(LiveMix, DecodedSpanFollowsTheLoopsRepetitions) {
  Harness h;
  const int64_t len = kBeat;                     // one beat: divisor 32
  const int longer = h.addLoop(4, 30000, 32);    // cut at 22050
  const int shorter = h.addLoop(5, 5000, 32, 1);  // mono, silent after 5000
  const int64_t from = 3 * len - 1000;
  std::vector<int16_t> span(2 * 4000, 7);
  ASSERT_EQ(4000, DecodeLoopSpan(VTracks[longer - 1].name, longer - 1, 0, len, from, span.data(), 4000));
  for (int i = 0; i < 4000; ++i) {
    const int64_t off = (from + i) % len;
    ASSERT_EQ(marker(4, off), span[2 * i]) << i;
    ASSERT_EQ(-marker(4, off), span[2 * i + 1]) << i;
  }
  ASSERT_EQ(4000, DecodeLoopSpan(VTracks[shorter - 1].name, shorter - 1, 0, len, 4000, span.data(), 4000));
  for (int i = 0; i < 4000; ++i) {
    const int want = 4000 + i < 5000 ? marker(5, 4000 + i) : 0;
    ASSERT_EQ(want, span[2 * i]) << i;
    ASSERT_EQ(want, span[2 * i + 1]) << i;
  }
  h.addFile("garbage.wav", std::string(3000, 'Z'), 32);
  EXPECT_EQ(-1, DecodeLoopSpan(VTracks[NumVTracks.load() - 1].name, NumVTracks.load() - 1, 0, len, 0, span.data(), 100));
}

// Two changes in quick succession with the loader held back fill both
// buffers: a third waits for the loader, the track playing on from memory,
// and gives way to whatever the user chooses before it is served: a change
// at the sync point, or a stop.
TEST(LiveMix, AChangeWaitingForABufferYieldsToALaterChoice) {
  TwoLoops s(true);
  const int a = s.a, b = s.b, c = s.c;
  std::vector<int16_t>& out = s.out;
  liveTo(75 * kBlock, out);
  TrackUnderruns = 0;
  ASSERT_EQ(0, TrackPlay(1, b));
  const int64_t s1 = 75 * kBlock + kRamp;
  liveTo(77 * kBlock, out, false);
  ASSERT_EQ(0, TrackPlay(1, c));
  const int64_t s2 = 77 * kBlock + kRamp;
  EXPECT_EQ(s2, Tracks[0].switchAt.load());
  liveTo(79 * kBlock, out, false);
  ASSERT_EQ(0, TrackPlay(1, a));
  EXPECT_EQ(a - 1, Tracks[0].prepVariant.load()) << "no buffer free";
  EXPECT_EQ(c - 1, Tracks[0].currentVariant.load());
  ASSERT_EQ(0, TrackPlaySync(1, b));
  EXPECT_EQ(-1, Tracks[0].prepVariant.load());
  EXPECT_EQ(b - 1, Tracks[0].pendingVariant.load()) << "B waits for the sync point";
  ASSERT_EQ(0, TrackPlay(1, a));
  EXPECT_EQ(a - 1, Tracks[0].prepVariant.load());
  EXPECT_EQ(-2, Tracks[0].pendingVariant.load()) << "the immediate change replaces the sync change";
  liveTo(85 * kBlock, out, false);
  EXPECT_EQ(0u, TrackUnderruns.load()) << "memory carried the track";
  ASSERT_EQ(0, TrackPlay(1, 0));  // stop
  EXPECT_EQ(-1, Tracks[0].prepVariant.load());
  liveTo(100 * kBlock, out);
  EXPECT_EQ(-1, Tracks[0].currentVariant.load());
  EXPECT_EQ(s2, Tracks[0].switchAt.load());
  expectLeft(out, 0, s2 - kRamp, [&](int64_t p) { return across(1, 4 * kBeat, 2, 3 * kBeat, s1, p); }, "A to B");
  expectLeft(out, s2 - kRamp, 85 * kBlock, [&](int64_t p) { return across(2, 3 * kBeat, 3, 2 * kBeat, s2, p); },
             "B to C");
  expectLeft(out, 85 * kBlock, 85 * kBlock + kRamp,
             [](int64_t p) { return faded(3, p % (2 * kBeat), 1.0f - float(p - 85 * kBlock) / kRamp); }, "C fading");
  expectLeft(out, 85 * kBlock + kRamp, 100 * kBlock, [](int64_t) { return 0; }, "stopped");
}

// A track whose loop could not be played is silent up to an immediate
// change, and the new loop fades in from the switch within the block that
// holds it: before the loader has read a frame of it (its decoded start
// plays from the switch on), and after the loader has already refilled the
// ring from the timeline (nothing of the new loop before the switch).
TEST(LiveMix, AChangeFromASilentTrackFadesInAtTheSwitchInItsOwnBlock) {
  for (const bool loaderFirst : {false, true}) {
    SCOPED_TRACE(loaderFirst ? "the loader refills before the block" : "the loader is held back");
    Harness h;
    const int bad = h.addFile("garbage.wav", std::string(3000, 'Z'), 8);
    const int b = h.addLoop(2, 3 * kBeat, 0);
    TrackVolume(1, 64);
    ASSERT_EQ(0, TrackPlay(1, bad));
    goLive();
    std::vector<int16_t> out;
    liveTo(20 * kBlock, out);
    TrackUnderruns = 0;
    ASSERT_EQ(0, TrackPlay(1, b));
    const int64_t at = 20 * kBlock + kRamp;
    ASSERT_EQ(at, Tracks[0].switchAt.load());
    if (loaderFirst) LoaderVisitAll();
    liveTo(21 * kBlock, out, false);
    liveTo(40 * kBlock, out);
    expectLeft(out, 0, at, [](int64_t) { return 0; }, "silent before the switch");
    expectLeft(out, at, at + kRamp, [at](int64_t p) { return faded(2, p % (3 * kBeat), float(p - at) / kRamp); },
               "B rising");
    expectLeft(out, at + kRamp, 40 * kBlock, [](int64_t p) { return faded(2, p % (3 * kBeat), 1.0f); }, "B");
    EXPECT_EQ(0u, TrackUnderruns.load());
  }
}

// An immediate change to a loop that cannot be played fades the old loop
// out at the cut and is silent after it; with the loader held back for
// many blocks meanwhile, that silence is what was asked for, no underrun.
TEST(LiveMix, AChangeToAnUnplayableLoopIsSilenceNotAnUnderrun) {
  TwoLoops s;
  const int bad = s.h.addFile("garbage.wav", std::string(3000, 'Z'), 8);
  liveTo(75 * kBlock, s.out);
  TrackUnderruns = 0;
  ASSERT_EQ(0, TrackPlay(1, bad));
  const int64_t at = 75 * kBlock + kLead;  // the ring's cut, as without a decoded start
  EXPECT_EQ(at, Tracks[0].switchAt.load());
  liveTo(95 * kBlock, s.out, false);
  EXPECT_EQ(0u, TrackUnderruns.load());
  liveTo(100 * kBlock, s.out);
  expectLeft(s.out, 0, at - kRamp, [](int64_t p) { return faded(1, p % (4 * kBeat), 1.0f); }, "A");
  expectLeft(s.out, at - kRamp, at, [at](int64_t p) { return faded(1, p % (4 * kBeat), float(at - p) / kRamp); },
             "A fading");
  expectLeft(s.out, at, 100 * kBlock, [](int64_t) { return 0; }, "silent");
  EXPECT_EQ(0u, TrackUnderruns.load());
  EXPECT_EQ(bad - 1, Tracks[0].currentVariant.load());
}

// A live loader keeps every ring within a chunk of full, so a loader that
// the machine holds up for three quarters of a ring never lets a track run
// dry. (Filling only once half the ring had played, it could be left with
// little more than half a ring when held up.)
TEST(LiveMix, RingsStayNearlyFullAndOutlastALoaderHeldUpForMostOfARing) {
  Harness h;
  const int lens[3] = {kBeat, 3 * kBeat, 8 * kBeat};  // a one-beat loop opens its file twice a second
  for (int t = 0; t < 3; ++t) {
    const int v = h.addLoop(20 + t, lens[t], 0);
    TrackVolume(t + 1, 64);
    ASSERT_EQ(0, TrackPlay(t + 1, v));
  }
  TrackVolume(2, 0);
  TrackVolume(3, 0);
  goLive();
  const int R = Tracks[0].ringFrames;
  std::vector<int16_t> out;
  TrackUnderruns = 0;
  // Just short of where the ring would be refilled from half full.
  liveTo(R / 2 - 4 * kBlock, out);
  for (int t = 0; t < 3; ++t)
    EXPECT_GT(Tracks[t].loadedTo.load(), TimeLine.load() + R - kRefillChunk) << "track " << t + 1;
  const int64_t held = TimeLine.load();
  liveTo(held + R * 3 / 4, out, false);
  EXPECT_EQ(0u, TrackUnderruns.load());
  liveTo(held + R, out);
  expectLeft(out, 0, held + R, [](int64_t p) { return faded(20, p % kBeat, 1.0f); }, "track 1");
  EXPECT_EQ(0u, TrackUnderruns.load());
}

// The loader's round begins with the track that runs dry first: one whose
// ring an immediate change cut, and it reads a chunk at a time there, so a
// long refill of one track never keeps the loader from another for long.
TEST(LiveMix, TheLoaderVisitsTheTrackWithTheLeastLoadedFirstAChunkAtATime) {
  Harness h;
  int loops[4];
  for (int i = 0; i < 4; ++i) loops[i] = h.addLoop(30 + i, (1 + i) * kBeat, 0);
  for (int t = 1; t <= 3; ++t) ASSERT_EQ(0, TrackPlay(t, loops[t - 1]));
  goLive();
  std::vector<int16_t> out;
  liveTo(40 * kBlock, out);
  ASSERT_EQ(0, TrackPlay(2, loops[3]));
  const int64_t cut = Tracks[1].loadedTo.load();
  ASSERT_EQ(40 * kBlock + kRamp, cut) << "the ring is cut at the switch";
  for (int k = 1; k <= 3; ++k) {
    ASSERT_EQ(1, LoaderVisitOnce()) << "visit " << k;
    EXPECT_EQ(cut + k * kRefillChunk, Tracks[1].loadedTo.load()) << "visit " << k;
  }
  LoaderVisitAll();
  for (int t = 0; t < 3; ++t) EXPECT_GT(Tracks[t].loadedTo.load(), TimeLine.load() + Tracks[t].ringFrames - kRefillChunk);
  TrackUnderruns = 0;
  liveTo(100 * kBlock, out);
  EXPECT_EQ(0u, TrackUnderruns.load());
}
