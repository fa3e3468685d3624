// A mix that plays for days: the timeline is moved to where 32-bit
// positions used to fail (the old never-value at 12.6 h, the overflow at
// 13.5 h) and to 48 h, and every loop, sync point, user-loop cycle and
// arpeggio step must still fall on the frame that the grid from timeline 0
// puts it on.
#include <gtest/gtest.h>

#include <vector>

#include "engine/AudioFormat.h"
#include "engine/JLEngine.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"
#include "engine/synth/Synth.h"
#include "engine/userloop/Elast.h"

using namespace enginetest;

namespace {

// Block-aligned starting positions just before each old limit, and at 48 h.
constexpr int64_t kOldNever = 2000000000;           // 12.6 h at 44.1 kHz
constexpr int64_t kInt32Wrap = int64_t(1) << 31;    // 13.5 h
constexpr int64_t k48Hours = int64_t(48) * 3600 * 44100;
int64_t blockBefore(int64_t p, int blocks) { return (p / kMixBlock - blocks) * kMixBlock; }

// Moves a playing engine's timeline to `at` and lets the loader catch up
// there, as it does after any lag: the tracks continue on their grid.
void jumpTo(int64_t at) {
  TimeLine.store(at);
  LoaderVisitAll();
}

}  // namespace

TEST(LongPlay, SyncPointsStayOnThe32BeatGridForDays) {
  Harness h;
  for (int64_t p : {int64_t(0), kOldNever - 1, kOldNever, kInt32Wrap - 1, kInt32Wrap, k48Hours,
                    int64_t(1) << 40}) {
    EXPECT_EQ((p / kSync + 1) * kSync, SyncPointAfter(p)) << p;
    EXPECT_LT(SyncPointAfter(p), kNever);
  }
}

TEST(LongPlay, LoopsAndASyncChangeAreSampleExactPastTheOldLimits) {
  for (int64_t start : {blockBefore(kOldNever, 40), blockBefore(kInt32Wrap, 40), blockBefore(k48Hours, 0)}) {
    SCOPED_TRACE(start);
    Harness h;
    const int a = h.addLoop(1, 4 * kBeat, 8);   // 4 beats
    const int b = h.addLoop(2, 2 * kBeat, 16);  // 2 beats
    TrackVolume(1, 64);
    ASSERT_EQ(0, TrackPlay(1, a));
    jumpTo(start);
    std::vector<int16_t> out;
    h.blocks(60, out);  // across the old limit
    ASSERT_EQ(0, TrackPlaySync(1, b));
    const int64_t sync = (TimeLine.load() / kSync + 1) * kSync;
    ASSERT_EQ(sync, Tracks[0].syncPoint.load());
    while (TimeLine.load() < sync + 40 * kMixBlock) h.block(out);
    const int64_t frames = int64_t(out.size() / 2);
    int64_t bad = -1;
    for (int64_t i = 0; i < frames && bad < 0; ++i) {
      const int64_t p = start + i;
      const int want = p < sync ? marker(1, p % (4 * kBeat)) / 2 : marker(2, (p - sync) % (2 * kBeat)) / 2;
      if (out[size_t(2 * i)] != want || out[size_t(2 * i + 1)] != -want) bad = p;
    }
    EXPECT_EQ(-1, bad) << "first wrong frame at timeline " << bad;
    EXPECT_EQ(-2, Tracks[0].pendingVariant.load());
    // The beat lamp counts from the same grid.
    EXPECT_EQ(int((TimeLine.load() - BLOCKLEN) / kBeat % 32), GetCurrentBeat());
  }
}

TEST(LongPlay, VolumeChangeLandsOnTheSyncPointAt48Hours) {
  Harness h;
  const int a = h.addLoop(3, 8 * kBeat, 4);
  TrackVolume(1, 64);
  ASSERT_EQ(0, TrackPlay(1, a));
  jumpTo(blockBefore(k48Hours, 0));
  std::vector<int16_t> out;
  h.blocks(4, out);
  ASSERT_EQ(0, VolumeSync2(1, 32));
  const int64_t sync = (TimeLine.load() / kSync + 1) * kSync;
  EXPECT_EQ(sync, Tracks[0].syncAt.load());
  // The volume changes at the first block that starts at or after the sync
  // point, exactly as it does near timeline 0.
  const int64_t from = TimeLine.load();
  while (TimeLine.load() < sync + 3 * kMixBlock) h.block(out);
  const int64_t changeBlock = (sync + kMixBlock - 1) / kMixBlock * kMixBlock;
  for (int64_t p : {changeBlock - 1, changeBlock, changeBlock + 1}) {
    const int64_t i = p - from + 4 * kMixBlock;
    const int raw = marker(3, p % (8 * kBeat));
    const int want = int16_t(float(raw) * (p < changeBlock ? 64 : 32) / 128.0f);
    EXPECT_EQ(want, out[size_t(2 * i)]) << p;
  }
}

TEST(LongPlay, UserLoopCycleKeepsItsPhaseAt48Hours) {
  Harness h;
  JLEngine e;
  Elast_Init();
  MasterVolume(127);
  const int bar = 4 * kBeat;
  h.folder.write("bar.wav", wavBytes(5, bar, 2));
  ASSERT_TRUE(e.userLoop_load((h.folder.ulo() + "bar.wav").c_str()));
  jlUserLoopSettingsRec s = {};
  s.on = true;
  s.bars = 1;
  s.phase = 0.0f;
  s.volume = 1.0f;
  s.rate = 1.0f;
  s.startPercent = 0.0f;
  s.endPercent = 100.0f;
  e.userLoop_params(&s);
  const int64_t start = blockBefore(k48Hours, 0);
  TimeLine.store(start);
  std::vector<int16_t> out;
  h.blocks(2 * bar / kMixBlock + 2, out);
  for (int64_t i = 0; i < int64_t(out.size() / 2); ++i) {
    const int64_t q = (start + i) % bar;
    const double edge = q < 50 ? q * 0.02 : q > bar - 50 ? (bar - q) * 0.02 : 1.0;
    ASSERT_NEAR(marker(5, q) * edge, out[size_t(2 * i)], 1.0) << "timeline " << start + i;
  }
  Elast_Replace(nullptr, 0, 2, false);
  Elast_Exit();
}

TEST(LongPlay, ArpeggioStepsStayOnTheBeatGridPastTheOldLimits) {
  for (int64_t start : {kOldNever - 100, kInt32Wrap - 100, k48Hours + 100}) {
    SYNTHETIZER s;
    SYNTHDATA d = {};
    InitSynth(&s, &d);
    SetSynthBPM(&s, kBeat);
    ArpeggiatorOn(&s, 0, 4, "c1e1g1", start);
    // Steps on the quarter-beat grid that every beat from timeline 0 has:
    // the first grid point after the previous step.
    int64_t t = start;
    for (int k = 0; k < 8; ++k) {
      int64_t want = -1;
      for (int64_t beat = t / kBeat; want < 0; ++beat)
        for (int j = 0; j < 4 && want < 0; ++j)
          if (beat * kBeat + j * (kBeat / 4) + (j * (kBeat % 4)) / 4 > t)
            want = beat * kBeat + j * (kBeat / 4) + (j * (kBeat % 4)) / 4;
      EXPECT_EQ(want, s.nextStep) << start << " step " << k;
      t = s.nextStep;
      ArpeggiatorSync(&s, t);
    }
    FreeSynth(&d);
  }
}
