// What the screens show follows what is heard: the beat and the level
// meters look back along the mixer's timeline by the output latency.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/JLEngine.h"
#include "engine/JLHeard.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"

using namespace enginetest;

TEST(HeardTime, BeatIsTheMixersPositionLessTheLatencyAtThePlayingTempo) {
  // A 120 BPM song played at 150 BPM through 18432 frames of queued
  // output, worked out in seconds instead of frames.
  const int32_t songBeat = kBeat, playBeat = 44100 * 60 / 150;
  const int latencyOut = 18432;
  const int64_t lat = JL_HeardMixerFrames(latencyOut, songBeat, playBeat);
  const double latencySeconds = latencyOut / 44100.0;
  int checked = 0;
  for (int64_t t = 0; t < 40 * int64_t(kBeat); t += 997) {
    const double mixedBeats = double(t) / songBeat;
    const double heardBeats = mixedBeats - latencySeconds * 150.0 / 60.0;
    if (std::fabs(heardBeats - std::round(heardBeats)) * songBeat < 2.0) continue;  // on an edge
    const int want = heardBeats < 0 ? 0 : int(std::floor(heardBeats)) % 32;
    ASSERT_EQ(want, JL_HeardBeat(t, lat, songBeat)) << "timeline " << t;
    ++checked;
  }
  EXPECT_GT(checked, 800);
  EXPECT_EQ(-1, JL_HeardBeat(5000, 0, 0));
  EXPECT_EQ(0, JL_HeardMixerFrames(18432, kBeat, 0));
}

TEST(HeardTime, WithoutOutputTheFacadeShowsTheMixersOwnBeat) {
  Harness h;  // fed by hand: nothing waits between the mixer and a device
  const int a = h.addLoop(1, 4 * kBeat, 8);
  ASSERT_EQ(0, TrackPlay(1, a));
  JLEngine e;
  EXPECT_EQ(0, e.outputLatencyFrames());
  std::vector<int16_t> out;
  // 3 beats and 2048 frames in: an engine that held back a fixed amount
  // would still show beat 2.
  h.runTo(3 * kBeat + kMixBlock, out);
  EXPECT_EQ(3, e.getMixerBeat());
  StopPlay();
  EXPECT_EQ(-1, e.getMixerBeat());
}

TEST(HeardTime, AMeterRisesInTheBlockWhereItsSoundIsHeard) {
  // Silent for 40 blocks, then loud: each latency (in mixer frames) must
  // bring the loud peak to the meter in the block heard at loud + latency,
  // to the nearest block, and never later than the 16-block queue allows.
  // Every case is a new playback after a loud one: the last one's peaks
  // must not show at the start of the next.
  const int B = kMixBlock, loudAt = 40 * B;
  std::vector<int16_t> pcm;
  for (int i = 0; i < 32 * kBeat; ++i) {
    const int16_t v = i < loudAt ? 0 : 20000;
    pcm.push_back(v);
    pcm.push_back(v);
  }
  const int16_t oldDistance = ttDistance.load();
  for (int64_t latency : {int64_t(B), int64_t(9 * B), int64_t(9 * B + 700), int64_t(9 * B + 1300),
                          int64_t(18432), int64_t(40 * B)}) {
    Harness h;
    const int a = h.addFile("step.wav", wavFrom(pcm, 2), 1);
    TrackVolume(1, 64);
    ASSERT_EQ(0, TrackPlay(1, a));
    ttDistance = JL_MeterDistance(latency, B);
    ttTrackPeaks[0].store(-1);
    std::vector<int16_t> out;
    int firstLoud = -1;
    for (int k = 0; k < 70 && firstLoud < 0; ++k) {
      h.block(out);
      if (ttTrackPeaks[0].exchange(-1) >= 20000) firstLoud = k;
    }
    const int64_t heardAt = loudAt + std::min<int64_t>(latency, 16 * B);
    EXPECT_LE(std::llabs(int64_t(firstLoud) * B - heardAt), B / 2) << "latency " << latency;
  }
  ttDistance = oldDistance;
}
