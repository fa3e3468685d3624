// Live keep pitch: loops made again for the playing tempo take over at a
// repetition boundary, hold their key through the tempo resampler and keep
// the beat grid; a tempo change or the preference turned off goes back to
// the file's frames the same way; the threads never trip over each other.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/JLEngine.h"
#include "engine/JLKeepPitch.h"
#include "engine/JLStretch.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"
#include "engine/liveFixtures.h"
#include "engine/toneFixtures.h"

using namespace enginetest;
using namespace tonetest;

namespace {

// A 2 kHz burst of 200 frames at the start of every beat, silence between.
std::vector<int16_t> clicks(int beats) {
  std::vector<int16_t> d(size_t(2 * beats * kBeat), 0);
  for (int b = 0; b < beats; ++b)
    for (int i = 0; i < 200; ++i) {
      const int16_t v = int16_t(std::lround(16000 * std::sin(2 * M_PI * 2000 * i / 44100.0)));
      d[size_t(2 * (b * kBeat + i))] = v;
      d[size_t(2 * (b * kBeat + i) + 1)] = v;
    }
  return d;
}

// Where each burst begins: the first frame above a quarter of full scale
// after at least 2000 quiet frames.
std::vector<int64_t> onsets(const std::vector<int16_t>& s) { return onsetsAbove(s, 8000, 2000); }

// The engine fed by hand, loops made only when asked: every test sees the
// same thing whatever the worker thread's timing.
class LiveKeepPitch : public ::testing::Test {
 protected:
  void SetUp() override { JLStretchSetHandFed(true); }
  void TearDown() override {
    SetTempoQuality(kTempoHigh);
    JLStretchShutdown();
    JLStretchSetHandFed(false);
  }
};

}  // namespace

// Made loops are exactly as long as the loop for every tempo in the band,
// sound at the pitch that the resampler brings back to the original, and
// join themselves without a step beyond the tone's own.
TEST(KeepPitch, PitchLoopKeepsTheLengthAndMovesThePitchExactly) {
  const std::vector<int16_t> in = sineLoop(88200, 441.0, 20000);
  for (double tempo : {0.8, 1.1, 1.2, 1.3}) {
    std::vector<int16_t> out;
    ASSERT_TRUE(JL_PitchLoop(in.data(), 88200, 1.0 / tempo, out)) << tempo;
    ASSERT_EQ(size_t(2 * 88200), out.size()) << tempo;
    EXPECT_LT(std::fabs(cents(measuredHz(out, 2000, 86000), 441.0 / tempo)), 2.0) << tempo;
    // The tone's own slope is 2 pi f / 44100 x 20000 a frame.
    const int slope = int(2 * M_PI * 441.0 / tempo / 44100.0 * 20000) + 60;
    EXPECT_LE(largestStepAround(out), slope) << tempo;
  }
  std::vector<int16_t> out;
  EXPECT_FALSE(JL_PitchLoop(in.data(), 88200, 3.0, out));
  EXPECT_FALSE(JL_PitchLoop(in.data(), 0, 1.0, out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(JL_PitchLoop(in.data(), 88200, 0.8, out, 44100, [] { return true; })) << "cancelled";
}

// 1.2 times the song tempo through the whole live path: the sine stays at
// 441 Hz within 2 cents; without keep pitch it rises to 529.2 Hz.
TEST_F(LiveKeepPitch, SineKeepsItsPitchAtAFasterTempo) {
  for (bool keep : {true, false}) {
    Harness h;
    h.folder.write("sine.wav", wavFrom(sineLoop(4 * kBeat, 441.0, 20000), 2));
    ASSERT_EQ(0, AddSongVTrack(h.folder.file("sine.wav").c_str(), 8, 0));
    JLStretchSetEnabled(keep);
    ASSERT_EQ(0, TrackPlay(1, 1));
    SetMixBPM(144000);
    EXPECT_EQ(keep ? 1 : -1, JLStretchPrepareNow());
    LoaderVisitAll();
    std::vector<int16_t> out;
    playOut(3 * 44100, out);
    const double hz = measuredHz(out, 4000, 3 * 44100 - 1000);
    EXPECT_LT(std::fabs(cents(hz, keep ? 441.0 : 529.2)), 2.0) << (keep ? "kept: " : "moved: ") << hz;
    if (keep) {
      EXPECT_EQ(1, JLStretchGetStats().loops);
      EXPECT_EQ(int64_t(4 * kBeat) * 4, JLStretchGetStats().bytes);
      EXPECT_EQ(1, JLStretchGetStats().tracksOnMade);
    }
  }
}

// The made loop takes over exactly at the next repetition of the loop: up
// to it the mix holds the file's frames unchanged, after it the tone an
// octave-fraction lower that the resampler lifts back; no step around the
// boundary exceeds the steady tones'. Turning keep pitch off goes back to
// the file's frames at the following boundary, again without a step.
TEST_F(LiveKeepPitch, SwitchesLandOnRepetitionBoundariesWithoutSteps) {
  Harness h;
  const std::vector<int16_t> tone = sineLoop(2 * kBeat, 441.0, 20000);
  h.folder.write("sine.wav", wavFrom(tone, 2));
  ASSERT_EQ(0, AddSongVTrack(h.folder.file("sine.wav").c_str(), 16, 0));
  JLStretchSetEnabled(true);
  ASSERT_EQ(0, TrackPlay(1, 1));
  SetMixBPM(144000);
  std::vector<int16_t> out;
  h.blocks(3, out);
  const int64_t len = 2 * kBeat;
  ASSERT_EQ(1, JLStretchPrepareNow());
  const int64_t b = len;  // the first repetition boundary after 3 blocks
  h.runTo(int32_t(3 * len + 2048), out);
  auto fileFrame = [&](int64_t p) { return int16_t(float(tone[size_t(2 * (p % len))]) * (127.0f / 128.0f)); };
  for (int64_t p = 0; p < b; ++p) ASSERT_EQ(fileFrame(p), out[size_t(2 * p)]) << "file frames up to the boundary, " << p;
  EXPECT_NE(fileFrame(b + 300), out[size_t(2 * (b + 300))]);
  EXPECT_LT(std::fabs(cents(measuredHz(out, b + 1000, 3 * len), 441.0 / 1.2)), 2.0);
  const int steady = std::max(largestStep(out, 0, b - 1000), largestStep(out, b + 1000, 3 * len));
  EXPECT_LE(largestStep(out, b - 1000, b + 1000), steady);

  // Off: back to the file's frames at the next boundary after the mixer.
  JLStretchSetEnabled(false);
  JLStretchFollowHandFed();
  const int64_t back = (TimeLine.load() + len - 1) / len * len;
  h.runTo(int32_t(back + len + 4096), out);
  for (int64_t p = back + 256; p < back + len; ++p)
    ASSERT_EQ(fileFrame(p), out[size_t(2 * p)]) << "file frames again, " << p;
  EXPECT_LE(largestStep(out, back - 1000, back + 1000), steady);
  EXPECT_EQ(0, JLStretchGetStats().tracksOnMade);
}

// Over 40 beats at several tempos the bursts of a one-beat loop start
// where they do with keep pitch off, beat after beat: the made loop has the
// loop's exact length, so the grid never drifts.
TEST_F(LiveKeepPitch, TheBeatGridDoesNotDriftOverManyRepetitions) {
  for (int milli : {144000, 96000, 156000}) {
    std::vector<int64_t> at[2];
    for (int keep = 0; keep < 2; ++keep) {
      Harness h;
      h.folder.write("clicks.wav", wavFrom(clicks(1), 2));
      ASSERT_EQ(0, AddSongVTrack(h.folder.file("clicks.wav").c_str(), 32, 0));
      JLStretchSetEnabled(keep != 0);
      ASSERT_EQ(0, TrackPlay(1, 1));
      SetMixBPM(milli);
      JLStretchPrepareNow();
      LoaderVisitAll();  // as an offline block does before mixing
      std::vector<int16_t> out;
      const double beatOut = 44100.0 * 60000.0 / milli;
      playOut(int64_t(40.5 * beatOut), out);
      at[keep] = onsets(out);
      ASSERT_EQ(41u, at[keep].size()) << milli << (keep ? " kept" : " moved");
      // The burst passes the threshold on its third frame; made again, its
      // attack is smeared by a few milliseconds at most, the same every beat.
      for (size_t k = 0; k < at[keep].size(); ++k)
        ASSERT_NEAR(double(at[keep][k]), double(k) * beatOut + 2, keep ? 100.0 : 1.0) << milli << " beat " << k;
    }
    const int64_t first = at[1][1] - at[0][1];
    for (size_t k = 1; k < at[0].size(); ++k) ASSERT_NEAR(at[1][k] - at[0][k], first, 2) << milli << " beat " << k;
  }
}

// An immediate change to a loop already made for the tempo is in key from
// its first frames: what the asking thread reads ahead of the ring comes
// from the made loop, as the ring after it does, not from the file (which
// would sound a tempo ratio sharp until the ring took over).
TEST_F(LiveKeepPitch, AnImmediateChangeToAMadeLoopIsInKeyFromItsFirstFrames) {
  Harness h;
  h.folder.write("a.wav", wavFrom(sineLoop(4 * kBeat, 441.0, 20000), 2));
  h.folder.write("b.wav", wavFrom(sineLoop(4 * kBeat, 551.25, 20000), 2));
  ASSERT_EQ(0, AddSongVTrack(h.folder.file("a.wav").c_str(), 8, 0));
  ASSERT_EQ(0, AddSongVTrack(h.folder.file("b.wav").c_str(), 8, 0));
  JLStretchSetEnabled(true);
  ASSERT_EQ(0, TrackPlay(1, 1));
  ASSERT_EQ(0, TrackPlay(2, 2));  // so that b is made too, unheard
  TrackVolume(2, 0);
  SetMixBPM(144000);
  ASSERT_EQ(2, JLStretchPrepareNow());
  LoaderVisitAll();
  livetest::goLive();
  std::vector<int16_t> out;
  livetest::liveTo(40 * livetest::kBlock, out);
  ASSERT_EQ(0, TrackPlay(1, 2));
  const int64_t at = Tracks[0].switchAt.load();
  ASSERT_GT(at, TimeLine.load());
  livetest::liveTo(at + 30000, out, false);  // the loader held back: the read-ahead alone plays
  // Before the tempo resampler the made loop sounds a ratio low (the
  // resampler lifts it back to 551.25 Hz); the file would be 551.25 here.
  const double hz = measuredHz(out, at + 2 * livetest::kRamp, at + 29000);
  EXPECT_LT(std::fabs(cents(hz, 551.25 / 1.2)), 2.0) << hz;
}

// An offline session (disk mix, renderer) with keep pitch on makes the
// playing loops itself before its first block: the sine is in key from the
// start, and two renders are the same to the sample whatever the worker
// thread does meanwhile.
TEST(LiveKeepPitchOffline, RenderKeepsThePitchFromTheStartAndRepeatsExactly) {
  ScopedDriver driver("dummy");
  TempFolder tf;
  tf.write("a.wav", wavFrom(sineLoop(4 * kBeat, 441.0, 20000), 2));
  JLEngine e;
  e.init();
  e.setKeepPitch(true);
  std::vector<int16_t> renders[2];
  for (std::vector<int16_t>& out : renders) {
    ASSERT_TRUE(e.offlineBegin());
    e.samplesListReset();
    e.samplesBpm(120.0f);
    ASSERT_EQ(0, e.samplesListAdd((tf.ulo() + "a.wav").c_str(), 8));
    e.play();
    e.setTrackSample(0, 0);
    e.offlineStart();
    e.setMixerBpm(144.0f);
    out.resize(2 * 3 * 44100);
    for (int at = 0; at < 3 * 44100; at += 2048) e.offlinePull(out.data() + 2 * at, std::min(2048, 3 * 44100 - at));
    EXPECT_EQ(0u, e.offlineUnderruns());
    e.offlineEnd();
  }
  EXPECT_LT(std::fabs(cents(measuredHz(renders[0], 1000, 3 * 44100 - 1000), 441.0)), 2.0);
  EXPECT_EQ(renders[0], renders[1]);
  e.exit();
}

// The real threads: audio on SDL's dummy device, the loader, the worker,
// and the tempo changed after every mixed block. Nothing crashes or races
// (the sanitizer build runs this), and once the tempo rests both tracks
// play made loops; with keep pitch off both go back to the file.
TEST(LiveKeepPitchThreads, TempoChangedEveryBlockThenSettled) {
  ScopedDriver driver("dummy");
  TempFolder tf;
  tf.write("a.wav", wavFrom(sineLoop(kBeat, 441.0, 12000), 2));
  tf.write("b.wav", wavFrom(clicks(2), 2));
  JLEngine e;
  e.init();
  e.setOutputFrames(512);
  e.samplesListReset();
  e.samplesBpm(120.0f);
  ASSERT_EQ(0, e.samplesListAdd((tf.ulo() + "a.wav").c_str(), 32));
  ASSERT_EQ(0, e.samplesListAdd((tf.ulo() + "b.wav").c_str(), 16));
  e.setKeepPitch(true);
  e.play();
  e.changesBegin();
  e.setTrackSample(0, 0);
  e.setTrackSample(1, 1);
  e.changesEnd();
  ASSERT_EQ(2, PlayingStatus.load());
  using Clock = std::chrono::steady_clock;
  auto waitFor = [](auto done, int seconds) {
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    while (!done() && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
  };
  uint32_t seed = 5;
  for (int i = 0; i < 200; ++i) {
    const int64_t t = TimeLine.load();
    if (!waitFor([t] { return TimeLine.load() != t; }, 10)) break;
    seed = seed * 1103515245u + 12345u;
    e.setMixerBpm(95.0f + float((seed >> 16) % 60));
    if (i % 50 == 0) e.setTempoQuality(i % 100 != 0);
  }
  e.setTempoQuality(true);
  e.setMixerBpm(140.0f);
  EXPECT_TRUE(waitFor([] { return JLStretchGetStats().tracksOnMade == 2; }, 120)) << "both tracks on made loops";
  e.setKeepPitch(false);
  EXPECT_TRUE(waitFor([] { return JLStretchGetStats().tracksOnMade == 0; }, 120)) << "both back on the file";
  EXPECT_TRUE(waitFor([] { return JLStretchGetStats().loops == 0; }, 120)) << "made loops given up";
  e.exit();
}
