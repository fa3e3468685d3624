// Synth sets, user loops and arpeggiator settings changed by the UI thread
// while an audio thread mixes blocks: nothing the audio thread may be
// reading is freed under it (run under ThreadSanitizer and AddressSanitizer),
// and the audio it makes comes only from whole sets and loops.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "engine/JLEngine.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"
#include "engine/synth/Synth.h"
#include "engine/userloop/Elast.h"

using namespace enginetest;

namespace {

// A synth set whose every note is a constant `value`, mono, `frames` long.
void writeConstantSet(const TempFolder& tf, const std::string& sub, int16_t value, int frames) {
  static const char* const names[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};
  std::vector<int16_t> d(size_t(frames), value);
  const std::string bytes = wavFrom(d, 1);
  for (int k = 0; k < 36; ++k) tf.write(sub + "/" + names[k % 12] + char('2' + k / 12) + ".wav", bytes);
}

}  // namespace

TEST(EngineHandOver, SetsAndLoopsSwapWhileBlocksAreMixed) {
  TempFolder tf;
  mkdir((tf.sys() + "a").c_str(), 0755);
  mkdir((tf.sys() + "b").c_str(), 0755);
  writeConstantSet(tf, "a", 1000, 30000);
  writeConstantSet(tf, "b", 3000, 30000);
  tf.write("loopA.wav", wavBytes(1, kBeat, 2));
  tf.write("loopB.wav", wavBytes(2, 3 * kBeat, 1));

  Harness h;
  Elast_Init();
  InitSynth(&RealtimeSynth, &SynthSamps);
  SetSynthBPM(&RealtimeSynth, kBeat);
  TimeLine.store(0);
  MasterVolume(128);
  JLEngine e;

  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::atomic<int> heard{0};
  std::thread audio([&] {
    std::vector<int16_t> out(2 * kMixBlock);
    while (!stop.load()) {
      GetSamples(out.data(), kMixBlock);
      for (int16_t v : out)
        if (v != 0) {
          heard.fetch_add(1);
          break;
        }
      blocks.fetch_add(1);
    }
  });

  jlUserLoopSettingsRec s = {true, 1, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 100.0f};
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
  for (int k = 0; std::chrono::steady_clock::now() < until || blocks.load() < 50; ++k) {
    SetSynth(&SynthSamps, (tf.sys() + (k % 2 ? "b/" : "a/")).c_str());
    e.synth_SetPoly(short(1 + k % 16));
    e.synth_Arp(short(k % 4), short(1 << (k % 4)), k % 5 == 4 ? "" : "c1e1g1a#2c3");
    e.synth_SetVolume(short(100 + k % 28));
    e.synth_SetPan(short(k % 128));
    e.userLoop_load((tf.ulo() + (k % 2 ? "loopB.wav" : "loopA.wav")).c_str());
    s.rate = 0.5f + float(k % 7) * 0.5f;
    s.bars = int16_t(1 << (k % 4));
    s.phase = float(k % 3);
    e.userLoop_params(&s);
    if (k % 6 == 5) FreeSynth(&SynthSamps);
  }
  stop = true;
  audio.join();
  EXPECT_GE(blocks.load(), 50);
  EXPECT_GT(heard.load(), 0);

  // Whole sets only: with the loop off and one voice on set "b", the bus
  // holds 3000 x gain exactly, never a mix of the two sets.
  e.synth_Stop();
  s.on = false;
  e.userLoop_params(&s);
  SetSynth(&SynthSamps, (tf.sys() + "b/").c_str());
  InitSynthFStop(&RealtimeSynth, &SynthSamps);
  SetSynthPoly(&RealtimeSynth, 1);
  SetSynthPan(&RealtimeSynth, 64);
  SetSynthVolume(&RealtimeSynth, 128);
  SynthSetNote(&RealtimeSynth, "c1", TimeLine.load());
  std::vector<int16_t> out;
  h.block(out);
  for (int i = 0; i < kMixBlock; ++i) ASSERT_EQ(int16_t(3000 * 0.75f), out[size_t(2 * i)]) << i;

  FreeSynth(&SynthSamps);
  Elast_Replace(nullptr, 0, 2, false);
  Elast_Exit();
}
