// The user loop as the mixer plays it: every output frame is compared with
// the loop's own frame at the position the cycle, phase, region and speed
// put there, including the bar lines that fall inside a mixed block.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/JLEngine.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"
#include "engine/userloop/Elast.h"

using namespace enginetest;

namespace {

constexpr int kBar = 4 * kBeat;

struct Rig {
  Harness h;
  JLEngine e;
  Rig() {
    Elast_Init();
    TimeLine.store(0);
    MasterVolume(127);  // user-loop gain 127/127
  }
  ~Rig() {
    Elast_Replace(nullptr, 0, 2, false);
    Elast_Exit();
  }
  bool load(const std::string& name, const std::string& bytes) {
    h.folder.write(name, bytes);
    return e.userLoop_load((h.folder.ulo() + name).c_str());
  }
  void params(int bars, float phase, float rate, float sp, float ep, float volume = 1.0f, bool on = true) {
    jlUserLoopSettingsRec s = {};
    s.on = on;
    s.bars = int16_t(bars);
    s.phase = phase;
    s.volume = volume;
    s.rate = rate;
    s.startPercent = sp;
    s.endPercent = ep;
    e.userLoop_params(&s);
  }
  std::vector<int16_t> render(int frames) {
    std::vector<int16_t> out;
    h.runTo(frames, out);
    return out;
  }
};

// Gain of region frame q for a region [ls, le): 50-frame edges.
double edge(int64_t q, int64_t ls, int64_t le) {
  if (q < ls + 50) return (q - ls) * 0.02;
  if (q > le - 50) return (le - q) * 0.02;
  return 1.0;
}

}  // namespace

TEST(UserLoop, RegionStartsAtEveryBarLine) {
  Rig r;
  ASSERT_TRUE(r.load("bar.wav", wavBytes(3, kBar, 2)));
  r.params(1, 0.0f, 1.0f, 0.0f, 100.0f);
  ASSERT_EQ(1, elastRenderData.enabled.load());
  const std::vector<int16_t> out = r.render(3 * kBar + 3000);
  for (int t = 0; t < 3 * kBar + 3000; ++t) {
    const int q = t % kBar;
    const double want = marker(3, q) * edge(q, 0, kBar);
    ASSERT_NEAR(want, out[size_t(2 * t)], 1.0) << t;
    ASSERT_NEAR(-want, out[size_t(2 * t + 1)], 1.0) << t;
  }
  // A bar line inside a block: the new cycle begins on its first frame.
  ASSERT_NE(0, kBar % kMixBlock);
  EXPECT_EQ(0, out[2 * kBar]);
  EXPECT_NEAR(marker(3, 60), out[2 * (kBar + 60)], 1.0);
}

TEST(UserLoop, PhaseMovesTheRegionAheadWithinTheCycle) {
  Rig r;
  ASSERT_TRUE(r.load("phase.wav", wavBytes(4, kBar, 2)));
  // Two bars, phase one bar (half the cycle), region 25 %..50 % of the loop.
  r.params(2, 1.0f, 1.0f, 25.0f, 50.0f, 0.5f);
  const int cycle = 2 * kBar;
  const int ls = kBar / 4, le = kBar / 2;
  const std::vector<int16_t> out = r.render(cycle + cycle / 2 + 4096);
  int sounding = 0;
  for (int t = 0; t < cycle + cycle / 2 + 4096; ++t) {
    const int64_t q = ls + (t + cycle / 2) % cycle;
    const double want = q < le ? marker(4, q) * 0.5 * edge(q, ls, le) : 0.0;
    sounding += want != 0.0;
    ASSERT_NEAR(want, out[size_t(2 * t)], 1.0) << t;
    ASSERT_NEAR(-want, out[size_t(2 * t + 1)], 1.0) << t;
  }
  // The region sounds from half a cycle before each cycle boundary.
  EXPECT_EQ(0, out[2 * (cycle / 2)]);
  EXPECT_NE(0, out[2 * (cycle / 2 + 100)]);
  EXPECT_EQ(0, out[2 * (cycle / 2 - 100)]);
  EXPECT_GT(sounding, (le - ls) + 4000);  // one whole region and the start of the next
}

TEST(UserLoop, HalfRateLastsTwiceAsLong) {
  Rig r;
  ASSERT_TRUE(r.load("slow.wav", wavBytes(5, kBar, 2)));
  r.params(2, 0.0f, 0.5f, 0.0f, 100.0f);
  const int cycle = 2 * kBar;
  const std::vector<int16_t> out = r.render(cycle + 4096);
  auto src = [](int64_t x) { return marker(5, x) * edge(x, 0, kBar); };
  for (int t = 0; t < cycle + 4096; ++t) {
    const int p = t % cycle;
    const int l = out[size_t(2 * t)];
    if (p % 2 == 0) {
      ASSERT_NEAR(src(p / 2), l, 1.0) << t;
    } else {
      // Between the two source frames it falls between.
      const double a = src(p / 2), b = p / 2 + 1 < kBar ? src(p / 2 + 1) : 0.0;
      ASSERT_GE(l, std::min(a, b) - 1.0) << t;
      ASSERT_LE(l, std::max(a, b) + 1.0) << t;
    }
    ASSERT_NEAR(-l, out[size_t(2 * t + 1)], 1.0) << t;
  }
  // Still sounding in the second bar, where rate 1 would have ended.
  EXPECT_NEAR(marker(5, kBar / 2 + 500), out[2 * (kBar + 1000)], 1.0);
}

TEST(UserLoop, MonoFeedsBothSides) {
  Rig r;
  ASSERT_TRUE(r.load("mono.wav", wavBytes(6, kBar / 2, 1)));
  EXPECT_EQ(1, elastGlobalData.channels);
  r.params(1, 0.0f, 1.0f, 0.0f, 100.0f, 0.25f);
  const std::vector<int16_t> out = r.render(kBar + 4096);
  for (int t = 0; t < kBar + 4096; ++t) {
    const int q = t % kBar;
    const double want = q < kBar / 2 ? marker(6, q) * 0.25 * edge(q, 0, kBar / 2) : 0.0;
    ASSERT_NEAR(want, out[size_t(2 * t)], 1.0) << t;
    ASSERT_EQ(out[size_t(2 * t)], out[size_t(2 * t + 1)]) << t;
  }
}

TEST(UserLoop, SettingsThatCannotPlayStaySilent) {
  Rig r;
  Elast_Replace(nullptr, 0, 2, false);
  r.params(1, 0.0f, 1.0f, 0.0f, 100.0f);
  EXPECT_EQ(0, elastRenderData.enabled.load());  // on, but no loop held

  ASSERT_TRUE(r.load("a.wav", wavBytes(7, kBar, 2)));
  EXPECT_EQ(0, elastRenderData.enabled.load());  // a new loop waits for settings
  r.params(1, 0.0f, 1.0f, 60.0f, 40.0f);         // empty region
  EXPECT_EQ(1, elastRenderData.enabled.load());
  std::vector<int16_t> out = r.render(kBar);
  for (int16_t v : out) ASSERT_EQ(0, v);

  // Nonsense settings are clamped, never trusted: no bars, a negative or
  // huge speed, NaN phase, percentages past the ends.
  const float nan = std::nanf("");
  for (float rate : {-3.0f, 0.0f, 1e9f, nan}) {
    r.params(0, nan, rate, -50.0f, 250.0f);
    EXPECT_EQ(1, elastRenderData.bars);
    EXPECT_GE(elastRenderData.rate, kElastMinRate);
    EXPECT_LE(elastRenderData.rate, kElastMaxRate);
    EXPECT_EQ(kBar, elastGlobalData.loopEnd);
    out.clear();
    r.h.blocks(3, out);
  }
  r.params(1, 0.0f, 1.0f, 0.0f, 100.0f, 1.0f, false);
  EXPECT_EQ(0, elastRenderData.enabled.load());
}

TEST(UserLoopFile, BadFilesFailOrPlayWhatTheyHold) {
  Rig r;
  ASSERT_TRUE(r.load("ok.wav", wavBytes(8, 1000, 2)));
  // A failed load has still dropped the old loop.
  EXPECT_FALSE(r.e.userLoop_load((r.h.folder.ulo() + "missing.wav").c_str()));
  EXPECT_EQ(nullptr, elastGlobalData.samples);
  EXPECT_FALSE(r.e.userLoop_load(nullptr));
  EXPECT_FALSE(r.load("empty.wav", ""));
  EXPECT_FALSE(r.load("header.wav", wavBytes(8, 0, 2)));
  // Data that holds less than one frame is no loop (found by fuzzing).
  std::string partial = wavBytes(8, 1, 2);
  partial.resize(partial.size() - 2);
  EXPECT_FALSE(r.load("partial.wav", partial));
  EXPECT_EQ(nullptr, elastGlobalData.samples);
  // Garbage and a lying header: only what the file backs.
  r.load("garbage.wav", std::string(300, '\x7f'));
  EXPECT_LE(int64_t(elastGlobalData.frames) * 2 * elastGlobalData.channels, 300 - 44);
  EXPECT_TRUE(r.load("liar.wav", wavBytes(8, 500, 2, 0x7ffffff0)));
  EXPECT_EQ(500, elastGlobalData.frames);
  r.params(1, 0.0f, 1.0f, 0.0f, 100.0f);
  std::vector<int16_t> out = r.render(4096);
  for (int t = 50; t < 450; ++t) ASSERT_NEAR(marker(8, t), out[size_t(2 * t)], 1.0) << t;
  for (int t = 500; t < 4096; ++t) ASSERT_EQ(0, out[size_t(2 * t)]) << t;
}

TEST(UserLoopFile, AHugeFileKeepsOnlyItsBeginning) {
  Rig r;
  const int32_t limit = 1 << 20;
  ElastLoadLimitBytes = limit;
  // A sparse 64 MB file whose header is honest about its size.
  std::string head = wavBytes(9, 2000, 2, 64 << 20);
  r.h.folder.write("huge.wav", head);
  ASSERT_EQ(0, truncate(r.h.folder.file("huge.wav").c_str(), 44 + (64 << 20)));
  const bool ok = r.e.userLoop_load((r.h.folder.ulo() + "huge.wav").c_str());
  ElastLoadLimitBytes = kElastMaxLoadBytes;
  ASSERT_TRUE(ok);
  EXPECT_EQ(limit / 4, elastGlobalData.frames);
  EXPECT_EQ(limit, elastGlobalData.bytes);
  EXPECT_EQ(marker(9, 1999), elastGlobalData.samples[2 * 1999]);
  EXPECT_EQ(0, elastGlobalData.samples[2 * 2000]);
}
