// The facade's offline entry: a render pulls the engine by hand and puts
// the live engine back as it found it, whether the live output runs on a
// device, has no device, or is fed by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/JLEngine.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"
#include "engine/synth/Synth.h"

using namespace enginetest;

namespace {

// Everything of the live engine that the user can hear or the program
// relies on afterwards, read straight from the engine's tables.
struct LiveState {
  std::vector<std::string> loops;
  int32_t songBpm, beat, status, resampled, master;
  int32_t volume[kTracks], pan[kTracks], variant[kTracks];
  int16_t trackSample[8];
  int16_t playing, syncMode;
  int32_t synthMode, synthSteps, synthVolume, synthPan, synthPoly;
  std::string synthPattern;
  bool manualFeed;
};

LiveState capture(const JLEngine& e) {
  LiveState s;
  for (int i = 0; i < NumVTracks.load(); ++i) s.loops.push_back(VTracks[i].name);
  s.songBpm = SongBPM.load();
  s.beat = BPM.load();
  s.status = PlayingStatus.load();
  s.resampled = ResampledBPM.load();
  s.master = MasterVol.load();
  for (int t = 0; t < kTracks; ++t) {
    s.volume[t] = Tracks[t].volume.load();
    s.pan[t] = Tracks[t].pan.load();
    s.variant[t] = Tracks[t].currentVariant.load();
  }
  memcpy(s.trackSample, e.trackSample, sizeof s.trackSample);
  s.playing = e.playing;
  s.syncMode = e.syncMode;
  s.synthMode = RealtimeSynth.arpMode;
  s.synthSteps = RealtimeSynth.stepsPerBeat;
  s.synthVolume = RealtimeSynth.volume;
  s.synthPan = RealtimeSynth.pan;
  s.synthPoly = RealtimeSynth.poly;
  s.synthPattern = RealtimeSynth.pattern;
  s.manualFeed = wDBManualFeed();
  return s;
}

void expectSame(const LiveState& a, const LiveState& b) {
  EXPECT_EQ(a.loops, b.loops);
  EXPECT_EQ(a.songBpm, b.songBpm);
  EXPECT_EQ(a.beat, b.beat);
  EXPECT_EQ(a.status, b.status);
  EXPECT_EQ(a.resampled, b.resampled);
  EXPECT_EQ(a.master, b.master);
  for (int t = 0; t < kTracks; ++t) {
    EXPECT_EQ(a.volume[t], b.volume[t]) << "track " << t;
    EXPECT_EQ(a.pan[t], b.pan[t]) << "track " << t;
    EXPECT_EQ(a.variant[t], b.variant[t]) << "track " << t;
  }
  EXPECT_EQ(0, memcmp(a.trackSample, b.trackSample, sizeof a.trackSample));
  EXPECT_EQ(a.playing, b.playing);
  EXPECT_EQ(a.syncMode, b.syncMode);
  EXPECT_EQ(a.synthMode, b.synthMode);
  EXPECT_EQ(a.synthSteps, b.synthSteps);
  EXPECT_EQ(a.synthVolume, b.synthVolume);
  EXPECT_EQ(a.synthPan, b.synthPan);
  EXPECT_EQ(a.synthPoly, b.synthPoly);
  EXPECT_EQ(a.synthPattern, b.synthPattern);
  EXPECT_EQ(a.manualFeed, b.manualFeed);
}


enum class Output { device, noDevice, fedByHand, stopped };

// A live song of two loops playing loop 2 on track 1 with its own mix,
// the synth arpeggiating; then a render of another song at another tempo.
void renderLeavesTheEngineAsFound(Output output) {
  ScopedDriver driver(output == Output::noDevice ? "jl-no-such-driver" : "dummy");
  TempFolder tf;
  tf.write("a.wav", wavBytes(1, 4 * kBeat));
  tf.write("b.wav", wavBytes(2, 2 * kBeat));
  tf.write("c.wav", wavBytes(3, 8 * kBeat));
  JLEngine e;
  e.init();
  wDBSetManualFeed(output == Output::fedByHand);
  e.stop();
  e.samplesListReset();
  e.samplesBpm(120.0f);
  ASSERT_EQ(0, e.samplesListAdd((tf.ulo() + "a.wav").c_str(), 8));
  ASSERT_EQ(0, e.samplesListAdd((tf.ulo() + "b.wav").c_str(), 16));
  e.play();
  e.changesBegin();
  e.setTrackSample(0, 1);
  e.setTrackVolume(0, 90);
  e.setTrackPan(0, -20);
  e.changesEnd();
  e.setMixerBpm(131.4f);
  e.setMixerVolume(100);
  e.synth_SetVolume(77);
  e.synth_SetPan(30);
  e.synth_Arp(1, 4, "c1e1g1");
  if (output == Output::stopped) e.stop();
  ASSERT_EQ(PlayingStatus.load(), output == Output::stopped ? 0 : output == Output::noDevice ? 1 : 2)
      << "the live start as expected";
  const LiveState before = capture(e);

  ASSERT_TRUE(e.offlineBegin());
  EXPECT_FALSE(e.offlineBegin()) << "one session at a time";
  e.samplesListReset();
  e.samplesBpm(90.0f);
  ASSERT_EQ(0, e.samplesListAdd((tf.ulo() + "c.wav").c_str(), 4));
  e.play();
  e.setTrackSample(3, 0);
  e.setTrackVolume(3, 10);
  e.offlineStart();
  e.setMixerVolume(128);
  e.synth_Arp(2, 8, "a2");
  std::vector<int16_t> out(2 * 2048);
  for (int i = 0; i < 8; ++i) e.offlinePull(out.data(), 2048);
  EXPECT_NE(out[0], 0) << "the render plays its own loop";
  EXPECT_EQ(e.offlineUnderruns(), 0u);
  e.offlineEnd();

  expectSame(before, capture(e));
  wDBSetManualFeed(false);
  e.exit();
}

TEST(OfflineRender, LeavesAnEnginePlayingOnADeviceAsItFoundIt) { renderLeavesTheEngineAsFound(Output::device); }
TEST(OfflineRender, LeavesAnEngineWithoutADeviceAsItFoundIt) { renderLeavesTheEngineAsFound(Output::noDevice); }
TEST(OfflineRender, LeavesAnEngineFedByHandAsItFoundIt) { renderLeavesTheEngineAsFound(Output::fedByHand); }
TEST(OfflineRender, LeavesAStoppedEngineAsItFoundIt) { renderLeavesTheEngineAsFound(Output::stopped); }

TEST(OfflineRender, TheSynthAloneStartsTheTimeline) {
  ScopedDriver driver("dummy");
  JLEngine e;
  e.init();
  e.samplesListReset();
  e.samplesBpm(120.0f);
  ASSERT_TRUE(e.offlineBegin());
  e.play();
  std::vector<int16_t> out(2 * 2048, 7);
  e.offlinePull(out.data(), 2048);
  EXPECT_EQ(out[0], 0) << "armed, nothing started: silence";
  EXPECT_EQ(e.offlineCyclesBegun(), 0);
  e.offlineStart();
  e.offlinePull(out.data(), 2048);
  EXPECT_EQ(e.offlineCyclesBegun(), 1);
  // 32 beats of 22050 frames: the second cycle begins with block 345.
  for (int i = 1; i < 344; ++i) e.offlinePull(out.data(), 2048);
  EXPECT_EQ(e.offlineCyclesBegun(), 1);
  e.offlinePull(out.data(), 2048);
  EXPECT_EQ(e.offlineCyclesBegun(), 2);
  e.offlineEnd();
  e.exit();
}

}  // namespace
