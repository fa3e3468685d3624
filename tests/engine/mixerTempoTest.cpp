// Mixer gains, clipping, level meters and the tempo resampler.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/AudioFormat.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"

using namespace enginetest;

namespace {

// A constant stereo loop: every frame (l, r).
int addConstant(Harness& h, int l, int r, int frames = 4 * kBeat) {
  std::vector<int16_t> d;
  for (int i = 0; i < frames; ++i) {
    d.push_back(int16_t(l));
    d.push_back(int16_t(r));
  }
  static int n = 0;
  return h.addFile("const" + std::to_string(n++) + ".wav", wavFrom(d, 2), 0);
}

}  // namespace

TEST(Mixer, LinearPanLawAndVolumes) {
  Harness h;
  const int loop = h.addLoop(5, 4 * kBeat, 8);
  ASSERT_EQ(0, TrackPlay(1, loop));
  std::vector<int16_t> out;
  struct Case {
    int vol, pan, master;
  } cases[] = {{127, 63, 128}, {127, 64, 128}, {127, 0, 128}, {127, 127, 128},
               {100, 32, 128}, {90, 100, 63},  {127, 63, 0}};
  for (const Case& c : cases) {
    TrackVolume(1, c.vol);
    TrackPan(1, c.pan);
    MasterVolume(c.master);
    out.clear();
    const int32_t base = TimeLine.load();
    h.block(out);
    // Independent double-precision gains; the engine works in single
    // precision, so allow one step of truncation difference.
    const double v = c.vol / 128.0, m = c.master / 128.0;
    const double gl = c.pan > 63 ? v * m : v * (c.pan / 63.0) * m;
    const double gr = c.pan > 63 ? ((127 - c.pan) / 63.0) * v * m : v * m;
    for (int f = 0; f < kMixBlock; ++f) {
      const int s = marker(5, (base + f) % (4 * kBeat));
      ASSERT_NEAR(std::trunc(s * gl), out[2 * f], 1) << "vol " << c.vol << " pan " << c.pan << " f " << f;
      ASSERT_NEAR(std::trunc(-s * gr), out[2 * f + 1], 1) << "vol " << c.vol << " pan " << c.pan;
    }
    if (c.pan == 0) {
      EXPECT_EQ(0, out[0]);
    }
    if (c.pan == 127) {
      EXPECT_EQ(0, out[1]);
    }
    if (c.pan == 63 || c.pan == 64) {
      EXPECT_EQ(out[0], -out[1]);
    }
  }
}

TEST(Mixer, EightFullScaleTracksClipSymmetrically) {
  Harness h;
  const int up = addConstant(h, 32767, -32768);
  ASSERT_EQ(0, TrackPlay(1, up));
  for (int t = 2; t <= 8; ++t) ASSERT_EQ(0, TrackPlay(t, up));
  LoaderVisitAll();
  std::vector<int16_t> out;
  h.blocks(2, out);
  for (int f = kMixBlock; f < 2 * kMixBlock; ++f) {
    ASSERT_EQ(32767, out[2 * f]);
    ASSERT_EQ(-32767, out[2 * f + 1]);  // never -32768
  }
  // One track at 127/128: 32767 * 0.9921875 = 32511.0..., truncated.
  for (int t = 2; t <= 8; ++t) TrackPlay(t, 0);
  out.clear();
  h.block(out);
  EXPECT_EQ(32511, out[0]);
  EXPECT_EQ(-32512, out[1]);
}

TEST(Mixer, ScheduledVolumeAndPanApplyAtTheSyncPointUnlessOverridden) {
  Harness h;
  const int loop = addConstant(h, 1000, 1000);
  ASSERT_EQ(0, TrackPlay(1, loop));
  TrackVolume(1, 64);
  VolumeSync2(1, 32);
  PanSync2(1, 127);
  EXPECT_EQ(kSync, Tracks[0].syncAt.load());
  std::vector<int16_t> out;
  h.runTo(kSync, out);
  EXPECT_EQ(500, out[out.size() - 2]);
  EXPECT_EQ(500, out[out.size() - 1]);
  h.block(out);  // block at 706560 >= syncAt
  EXPECT_EQ(250, out[out.size() - 2]);
  EXPECT_EQ(0, out[out.size() - 1]);
  // An immediate volume cancels the scheduled one.
  VolumeSync2(1, 10);
  TrackVolume(1, 127);
  h.runTo(2 * kSync + kMixBlock, out);
  EXPECT_EQ(992, out[out.size() - 2]);
}

TEST(Mixer, MeterShowsBlockPeaksAfterTheQueueDelay) {
  Harness h;
  // Block k of the loop has peak 100 * (k % 20 + 1) on the left and half
  // that on the right; a silent track never moves its meter.
  std::vector<int16_t> d;
  for (int i = 0; i < 80 * kMixBlock; ++i) {
    const int k = i / kMixBlock;
    const int pk = 100 * (k % 20 + 1);
    d.push_back(int16_t(i % kMixBlock == 7 ? pk : -pk));
    d.push_back(int16_t(i % kMixBlock == 9 ? pk / 2 : 0));
  }
  const int loop = h.addFile("meter.wav", wavFrom(d, 2), 1);
  const int other = h.addLoop(3, kBeat, 32);
  ASSERT_EQ(0, TrackPlay(1, loop));
  TrackPlay(2, other);
  TrackVolume(2, 0);
  ttDistance = 8;
  std::atomic<int16_t>*l, *r, *l2;
  LGetTrackPeaks(0, &l, &r);
  LGetTrackPeaks(1, &l2, nullptr);
  std::vector<int16_t> out;
  l2->store(-1);
  for (int k = 0; k < 36; ++k) {
    l->store(-1);
    r->store(-1);
    h.block(out);
    if (k < 17) continue;  // the queue still holds other tests' blocks
    const int src = k - 8;
    EXPECT_EQ(100 * (src % 20 + 1), l->load()) << k;
    EXPECT_EQ(50 * (src % 20 + 1), r->load()) << k;
  }
  EXPECT_EQ(-1, l2->load());
  // At 1.3 times the tempo the distance shrinks and the delay grows.
  SetMixBPM(200000);
  EXPECT_EQ(6, ttDistance.load());
  const int32_t base = TimeLine.load() / kMixBlock;
  for (int k = 0; k < 20; ++k) {
    l->store(-1);
    h.block(out);
    if (k < 16) continue;
    EXPECT_EQ(100 * ((base + k - 10) % 20 + 1), l->load()) << k;
  }
  ttDistance = 8;
}

TEST(Tempo, RatesAndClamping) {
  Harness h;
  EXPECT_EQ(22050, BPM.load());
  EXPECT_EQ(22049, SetMixBPM(120000));
  EXPECT_EQ(29399, SetMixBPM(90000));
  EXPECT_EQ(16961, SetMixBPM(156000));  // 1.3 times: the bound
  EXPECT_EQ(16961, SetMixBPM(400000));
  EXPECT_EQ(16961, ResampledBPM.load());
  StopPlay();
  SetRealtimeFreq(22050);
  EXPECT_EQ(8192, BLOCKLEN);
  SetRealtimeFreq(44100);
  EXPECT_EQ(16384, BLOCKLEN);
  BeginPlay();
  SetRealtimeFreq(22050);  // ignored while armed
  EXPECT_EQ(44100, SAMPFREQ);
}

TEST(Tempo, ResamplerFrameCountsAndInterpolation) {
  Harness h;
  SetTempoQuality(kTempoOriginal);
  const int loop = h.addLoop(4, 4 * kBeat, 8);
  TrackVolume(1, 64);
  ASSERT_EQ(0, TrackPlay(1, loop));
  std::vector<int16_t> out(2 * kMixBlock);
  // Song tempo through SetMixBPM: a plain copy of the mixed stream.
  SetMixBPM(120000);
  int64_t consumed = 0;
  for (int k = 0; k < 30; ++k) {
    GetResampled(out.data(), kMixBlock);
    LoaderVisitAll();
    for (int f = 0; f < kMixBlock; ++f)
      ASSERT_EQ(marker(4, (consumed + f) % (4 * kBeat)) / 2, out[2 * f]) << k << " " << f;
    consumed += kMixBlock;
  }
  // 1.3 times: 22050 * 2048 / 16961 = 2662 input frames per request; the
  // timeline advances in whole blocks as the resampler needs them.
  SetMixBPM(156000);
  for (int k = 1; k <= 50; ++k) {
    GetResampled(out.data(), kMixBlock);
    LoaderVisitAll();
    consumed += 2662;
    ASSERT_EQ((consumed + kMixBlock - 1) / kMixBlock * kMixBlock, TimeLine.load()) << k;
  }
  // Half tempo: 1024 input frames per request; odd output frames sit half
  // way between neighbouring input frames.
  EXPECT_EQ(44099, SetMixBPM(60000));
  for (int k = 0; k < 3; ++k) {
    GetResampled(out.data(), kMixBlock);
    LoaderVisitAll();
    for (int f = 0; f < kMixBlock; ++f) {
      const int64_t i = consumed + f / 2;
      const int a = marker(4, i % (4 * kBeat)) / 2;
      const int b = marker(4, (i + 1) % (4 * kBeat)) / 2;
      const int want = f == kMixBlock - 1 ? a : (f % 2 ? int(std::trunc(a + (b - a) * 0.5)) : a);
      ASSERT_EQ(want, out[2 * f]) << k << " " << f;
    }
    consumed += 1024;
  }
  SetTempoQuality(kTempoHigh);
}

TEST(Tempo, ResampleEdgeFrames) {
  // The last input frame is copied, never read past.
  std::vector<int16_t> in = {0, 0, 100, -100, 200, -200};
  std::vector<int16_t> out(2 * 5, 7);
  Resample(out.data(), in.data(), 5, 3);
  // ratio 0.6: positions 0, 0.6, 1.2, 1.8, 2.4
  EXPECT_EQ((std::vector<int16_t>{0, 0, 60, -60, 120, -120, 180, -180, 200, -200}), out);
}
