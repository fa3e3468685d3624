// A playback soak: the real loader, feeder and audio threads run while this
// thread keeps changing loops, tempo, volumes, synth sets, arpeggios and
// user loops, as a restless user would. It is a long run, not a unit test:
// how many blocks a ring ran dry and how long the output stood still depend
// on how busy the machine is, so they are reported as figures
// ("soak: ... underruns ..."), not checked. Under ThreadSanitizer the run
// fails on any race. JL_SOAK_SECONDS sets the length (default 60).
// Built as jl_soak, outside ctest; see bench/README.md.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/JLEngine.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"
#include "engine/userloop/Elast.h"

using namespace enginetest;

namespace {

int soakSeconds() {
  const char* s = getenv("JL_SOAK_SECONDS");
  const int n = s ? atoi(s) : 60;
  return n > 0 ? n : 60;
}

void writeSynthSet(const TempFolder& tf, const std::string& sub, int id) {
  static const char* const names[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};
  mkdir(tf.file(sub).c_str(), 0755);
  for (int k = 0; k < 36; ++k)
    tf.write(sub + "/" + names[k % 12] + char('2' + k / 12) + ".wav", wavBytes(id * 40 + k, 11025, 1 + k % 2));
}

}  // namespace

TEST(EngineSoak, EverythingChangesWhilePlaying) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  TempFolder tf;
  const int beats[] = {4, 2, 8, 1, 4, 16, 2, 32, 4, 8, 1, 4};
  for (int i = 0; i < 12; ++i) tf.write("l" + std::to_string(i) + ".wav", wavBytes(i + 1, beats[i] * kBeat, 1 + i % 2));
  tf.write("user.wav", wavBytes(99, 3 * kBeat, 2));
  tf.write("garbage.wav", std::string(5000, '\x5a'));
  writeSynthSet(tf, "setA", 1);
  writeSynthSet(tf, "setB", 2);

  JLEngine e;
  e.init();
  e.stop();
  e.setMixerFrequency(44100);
  e.samplesListReset();
  e.samplesBpm(120.0f);
  for (int i = 0; i < 12; ++i) e.samplesListAdd((tf.ulo() + "l" + std::to_string(i) + ".wav").c_str(), 0);
  e.samplesListAdd((tf.ulo() + "garbage.wav").c_str(), 0);
  TrackUnderruns = 0;
  e.play();
  for (short t = 0; t < 8; ++t) e.setTrackSample(t, t);
  e.setMixerBpm(120.0f);
  e.setMixerVolume(100);
  ASSERT_EQ(2, PlayingStatus.load());

  std::mt19937 rng(2026);
  const auto start = std::chrono::steady_clock::now();
  const auto until = start + std::chrono::seconds(soakSeconds());
  int32_t lastTimeLine = TimeLine.load();
  auto lastProgress = start;
  std::chrono::steady_clock::duration longestStill{};
  while (std::chrono::steady_clock::now() < until) {
    const short t = short(rng() % 8);
    switch (rng() % 12) {
      case 0: case 1: e.setTrackSample(t, short(int(rng() % 14) - 1)); break;
      case 2: e.sync_atGrooveSet(short(rng() % 2)); break;
      case 3: e.setTrackVolume(t, short(rng() % 128)); break;
      case 4: e.setTrackPan(t, short(int(rng() % 128) - 64)); break;
      case 5: e.setMixerBpm(90.0f + float(rng() % 70)); break;
      case 6: e.synth_SetFolder((tf.ulo() + (rng() % 2 ? "setA:" : "setB:")).c_str()); break;
      case 7: e.synth_Arp(short(rng() % 4), short(1 + rng() % 4), rng() % 3 ? "c1e1g1" : ""); break;
      case 8: e.synth_SetPoly(short(1 + rng() % 16)); break;
      case 9: e.userLoop_load((tf.ulo() + (rng() % 4 ? "user.wav" : "garbage.wav")).c_str()); break;
      case 10: {
        jlUserLoopSettingsRec s = {};
        s.on = rng() % 4 != 0;
        s.bars = short(1 << (rng() % 4));
        s.rate = 0.5f + float(rng() % 150) / 100.0f;
        s.volume = float(rng() % 100) / 100.0f;
        s.startPercent = float(rng() % 40);
        s.endPercent = 60.0f + float(rng() % 40);
        e.userLoop_params(&s);
        break;
      }
      default: e.getMixerBeat(); break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (TimeLine.load() != lastTimeLine) {
      lastTimeLine = TimeLine.load();
      lastProgress = now;
    } else {
      longestStill = std::max(longestStill, now - lastProgress);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  const int32_t played = TimeLine.load();
  e.stop();
  e.exit();
  const long stillMs = (long)std::chrono::duration_cast<std::chrono::milliseconds>(longestStill).count();
  printf("soak: %d s, %d frames played, %u ring underruns, output still for at most %ld ms\n", soakSeconds(),
         played, TrackUnderruns.load(), stillMs);
  ::testing::Test::RecordProperty("underruns", int(TrackUnderruns.load()));
  ::testing::Test::RecordProperty("longest_still_ms", int(stillMs));
  EXPECT_GT(played, 0);  // the output ran at all
}
