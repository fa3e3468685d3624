// Keep pitch for the synth and in Original tempo quality: notes sound at
// their own pitch whatever the tempo while the arpeggio keeps the tempo's
// grid, and the loops' kept pitch follows the ratio the resampler really
// plays in either quality.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/JLEngine.h"
#include "engine/JLKeepPitch.h"
#include "engine/JLStretch.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"
#include "engine/synth/Synth.h"
#include "engine/toneFixtures.h"

using namespace enginetest;
using namespace tonetest;

namespace {

// Mono 44.1 kHz frames of a sine; `decay` frames of exponential decay
// (0: steady), so a note has a sharp attack to place it by.
std::vector<int16_t> monoTone(int frames, double hz, double amp, double decay = 0) {
  std::vector<int16_t> d;
  for (int i = 0; i < frames; ++i) {
    const double env = decay > 0 ? std::exp(-i / decay) : 1.0;
    d.push_back(int16_t(std::lround(amp * env * std::sin(2 * M_PI * hz * i / 44100.0))));
  }
  return d;
}

// The first frame of each note: above 3000 after at least 1500 frames
// below it.
std::vector<int64_t> noteOnsets(const std::vector<int16_t>& s) { return onsetsAbove(s, 3000, 1500); }

// The engine fed by hand with a silent loop playing (so the transport
// runs) and the synth's set in the harness's folder: note "a1" is a2.wav.
class SynthKeepPitch : public ::testing::Test {
 protected:
  void SetUp() override {
    JLStretchSetHandFed(true);
    InitSynth(&RealtimeSynth, &SynthSamps);
    h = std::make_unique<Harness>();
  }
  void TearDown() override {
    RealtimeArpeggiatorOff();
    InitSynthFStop(&RealtimeSynth, &SynthSamps);
    FreeSynth(&SynthSamps);
    h.reset();
    SetTempoQuality(kTempoHigh);
    JLStretchShutdown();
    JLStretchSetHandFed(false);
  }
  void start(const std::vector<int16_t>& note, bool keep, int milliBpm) {
    h->folder.write("a2.wav", wavFrom(note, 1));
    h->folder.write("quiet.wav", wavFrom(std::vector<int16_t>(2 * kBeat, 0), 2));
    RealtimeSetSynth(h->folder.sys().c_str());
    RealtimeSetSynthVolume(127);
    RealtimeSetSynthPan(63);
    RealtimeSetSynthPoly(1);
    ASSERT_EQ(0, AddSongVTrack(h->folder.file("quiet.wav").c_str(), 16, 0));
    JLStretchSetEnabled(keep);
    ASSERT_EQ(0, TrackPlay(1, 1));
    SetMixBPM(milliBpm);
  }
  std::unique_ptr<Harness> h;
};

}  // namespace

// A held key's note at 1.2 times the song tempo: with keep pitch it sounds
// within 2 cents of the same note at the song tempo, and lasts as long in
// output frames; without, it rises by the tempo ratio as before.
TEST_F(SynthKeepPitch, ANoteKeepsItsPitchAtAFasterTempo) {
  const std::vector<int16_t> note = monoTone(60000, 441.0, 12000);
  double ratio = 1;
  auto play = [&](bool keep, int milli, int quality) {
    SetTempoQuality(quality);
    start(note, keep, milli);
    SynthKeyOn(&RealtimeSynth, 9, 1.0f, TimeLine.load());
    std::vector<int16_t> out;
    playOut(80000, out, 512);
    ratio = PlayedTempoRatio();
    TearDown();
    SetUp();
    return out;
  };
  const std::vector<int16_t> song = play(true, 120000, kTempoHigh);
  const double songHz = measuredHz(song, 1000, 58000);
  EXPECT_LT(std::fabs(cents(songHz, 441.0)), 0.5) << songHz;
  for (int quality : {kTempoHigh, kTempoOriginal}) {
    const std::vector<int16_t> kept = play(true, 144000, quality);
    const double hz = measuredHz(kept, 1000, 58000);
    EXPECT_LT(std::fabs(cents(hz, songHz)), 2.0) << "kept, quality " << quality << ": " << hz;
    // The note ends where it does at the song tempo (60000 output frames).
    const std::vector<int64_t> on = noteOnsets(kept);
    int64_t last = 0;
    for (size_t i = 0; i < kept.size() / 2; ++i)
      if (std::abs(kept[2 * i]) > 3000) last = int64_t(i);
    EXPECT_NEAR(60000.0, double(last), 30.0) << quality;
    ASSERT_EQ(1u, on.size());

    const std::vector<int16_t> moved = play(false, 144000, quality);
    EXPECT_LT(std::fabs(cents(measuredHz(moved, 1000, 48000), songHz * ratio)), 2.0) << quality;
  }
}

// The arpeggio's steps keep the tempo's grid with keep pitch on: every
// note starts where it does with keep pitch off, at 96, 144 and 156 BPM.
TEST_F(SynthKeepPitch, TheArpeggioKeepsTheTemposRhythm) {
  const std::vector<int16_t> ping = monoTone(8000, 880.0, 20000, 1500);
  for (int milli : {96000, 144000, 156000}) {
    std::vector<int64_t> at[2];
    for (int keep = 0; keep < 2; ++keep) {
      start(ping, keep != 0, milli);
      RealtimeArpeggiatorOn(0, 2, "a1");
      std::vector<int16_t> out;
      playOut(6 * 44100, out, 512);
      at[keep] = noteOnsets(out);
      TearDown();
      SetUp();
    }
    // Half a beat at the playing tempo apart, from the first.
    const double step = 44100.0 * 60000.0 / milli / 2;
    ASSERT_GE(at[0].size(), 10u) << milli;
    ASSERT_EQ(at[0].size(), at[1].size()) << milli;
    for (size_t k = 0; k < at[0].size(); ++k) {
      EXPECT_NEAR(double(at[0][k] - at[0][0]), k * step, 2.0) << milli << " note " << k;
      EXPECT_NEAR(double(at[1][k]), double(at[0][k]), 2.0) << milli << " note " << k;
    }
  }
}

// Original quality reads whole frames per request, so at 156 BPM with
// 256-frame requests it plays 332 / 256 instead of 1.30004: a loop made
// for the nominal ratio came out 4 cents flat. Made for the ratio played,
// the sine stays within 2 cents in both qualities.
TEST_F(SynthKeepPitch, LoopsKeepTheirPitchInBothQualities) {
  for (int quality : {kTempoOriginal, kTempoHigh}) {
    h->folder.write("sine.wav", wavFrom(sineLoop(4 * kBeat, 441.0, 20000), 2));
    ASSERT_EQ(0, AddSongVTrack(h->folder.file("sine.wav").c_str(), 8, 0));
    SetTempoQuality(quality);
    JLStretchSetEnabled(true);
    ASSERT_EQ(0, TrackPlay(1, 1));
    SetMixBPM(156000);
    std::vector<int16_t> out;
    playOut(256, out, 256);  // the request size Original's ratio depends on
    EXPECT_EQ(1, JLStretchPrepareNow());
    LoaderVisitAll();
    out.clear();
    playOut(3 * 44100, out, 256);
    // A switch into the made loop lands on the next repetition (88200
    // mixed frames): measure past it.
    const double hz = measuredHz(out, 72000, 3 * 44100 - 1000);
    EXPECT_LT(std::fabs(cents(hz, 441.0)), 2.0) << "quality " << quality << ": " << hz;
    TearDown();
    SetUp();
  }
}

// An offline session (the disk mix, jamloom-render --keep-pitch) plays the
// synth through the same path: its arpeggio's note keeps its pitch at 1.2
// times the song tempo from the first block on.
TEST(SynthKeepPitchOffline, RenderHoldsTheNotesPitch) {
  ScopedDriver driver("dummy");
  TempFolder tf;
  tf.write("a2.wav", wavFrom(monoTone(30000, 441.0, 12000, 3000), 1));
  tf.write("quiet.wav", wavFrom(std::vector<int16_t>(2 * kBeat, 0), 2));
  JLEngine e;
  e.init();
  e.setKeepPitch(true);
  ASSERT_TRUE(e.offlineBegin());
  e.samplesListReset();
  e.samplesBpm(120.0f);
  ASSERT_EQ(0, e.samplesListAdd((tf.ulo() + "quiet.wav").c_str(), 16));
  e.synth_SetFolder(tf.ulo().c_str());
  e.synth_SetPoly(1);
  e.play();
  e.setTrackSample(0, 0);
  e.offlineStart();
  e.setMixerBpm(144.0f);
  e.synth_Arp(0, 1, "a1");
  std::vector<int16_t> out(2 * 12 * 2048);
  for (int at = 0; at < 12 * 2048; at += 2048) e.offlinePull(out.data() + 2 * at, 2048);
  e.offlineEnd();
  e.exit();
  // One note a beat (18375 output frames at 144 BPM), from the start.
  const std::vector<int64_t> on = noteOnsets(out);
  ASSERT_EQ(2u, on.size());
  EXPECT_NEAR(18375.0, double(on[1] - on[0]), 2.0);
  EXPECT_LT(on[0], 30);
  EXPECT_LT(std::fabs(cents(measuredHz(out, on[0] + 200, on[0] + 3000), 441.0)), 2.0);
}

// Loops the live path makes that stress the stretcher: far shorter than
// its window, silent, and a full-scale square, at both ends of the band.
// Exact lengths, silence stays silent, the square keeps its level (no
// wrap-around) and every loop joins itself without a step beyond its own.
TEST(KeepPitchBadInput, TinySilentAndSquareLoopsAtBothEnds) {
  std::vector<int16_t> square;
  for (int i = 0; i < 22050; ++i) {
    const int16_t v = (i / 50) % 2 ? 32767 : -32767;
    square.push_back(v);
    square.push_back(v);
  }
  auto rms = [](const std::vector<int16_t>& s) {
    double sum = 0;
    for (size_t i = 0; i < s.size(); i += 2) sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(s.size() / 2));
  };
  for (double tempo : {1.0 / 1.3, 1.3}) {
    const std::vector<int16_t> tiny = sineLoop(300, 441.0, 20000);
    std::vector<int16_t> out;
    ASSERT_TRUE(JL_PitchLoop(tiny.data(), 300, 1.0 / tempo, out)) << tempo;
    ASSERT_EQ(size_t(600), out.size());
    // Its own slope is at most 2 pi 441 x 1.3 / 44100 x 20000 = 1634 a frame.
    EXPECT_LE(largestStepAround(out), 1700) << tempo;

    const std::vector<int16_t> silence(2 * 5000, 0);
    ASSERT_TRUE(JL_PitchLoop(silence.data(), 5000, 1.0 / tempo, out));
    ASSERT_EQ(size_t(10000), out.size());
    for (int16_t v : out) ASSERT_EQ(0, v);

    ASSERT_TRUE(JL_PitchLoop(square.data(), 22050, 1.0 / tempo, out));
    ASSERT_EQ(square.size(), out.size());
    // Made again its peaks would pass full scale: turned down, not
    // clipped, so no run of frames sits at the rail.
    int atRail = 0;
    for (size_t i = 0; i < out.size(); i += 2) atRail += std::abs(out[i]) >= 32767;
    EXPECT_LE(atRail, 4) << tempo;
    EXPECT_GT(rms(out), 0.4 * rms(square)) << tempo;
    EXPECT_LE(largestStepAround(out), largestStep(out, 0, int64_t(out.size() / 2))) << "join, " << tempo;
  }
}

// Tempos at the ends of the band: 1.3 times and 1 / 1.3 of the song's keep
// the loop's pitch and exact length; under half the song's tempo the
// stretcher makes nothing (an octave is its reach), so loops and notes
// alike are resampled rather than half of them kept.
TEST_F(SynthKeepPitch, TheEndsOfTheBandAndBeyond) {
  for (int milli : {156000, 92308}) {
    h->folder.write("sine.wav", wavFrom(sineLoop(4 * kBeat, 441.0, 20000), 2));
    ASSERT_EQ(0, AddSongVTrack(h->folder.file("sine.wav").c_str(), 8, 0));
    JLStretchSetEnabled(true);
    ASSERT_EQ(0, TrackPlay(1, 1));
    SetMixBPM(milli);
    EXPECT_EQ(1, JLStretchPrepareNow()) << milli;
    EXPECT_EQ(int64_t(4 * kBeat) * 4, JLStretchGetStats().bytes);
    LoaderVisitAll();
    std::vector<int16_t> out;
    playOut(2 * 44100, out, 512);
    EXPECT_LT(std::fabs(cents(measuredHz(out, 1000, 2 * 44100 - 1000), 441.0)), 2.0) << milli;
    TearDown();
    SetUp();
  }
  start(monoTone(30000, 441.0, 12000), true, 50000);
  EXPECT_EQ(0.0, JLStretchPitchNow());
  EXPECT_EQ(-1, JLStretchPrepareNow());
  SynthKeyOn(&RealtimeSynth, 9, 1.0f, TimeLine.load());
  std::vector<int16_t> out;
  playOut(40000, out, 512);
  EXPECT_LT(std::fabs(cents(measuredHz(out, 1000, 39000), 441.0 * PlayedTempoRatio())), 2.0);
}

// A held note while the tempo changes at every request: its sample
// position is carried across each change of rate, so the output never
// jumps, and once the tempo rests the note is in key.
TEST_F(SynthKeepPitch, ATempoChangeAtEveryRequestDoesNotClickANote) {
  start(monoTone(100000, 441.0, 12000), true, 144000);
  SynthKeyOn(&RealtimeSynth, 9, 1.0f, TimeLine.load());
  std::vector<int16_t> out;
  uint32_t seed = 7;
  for (int k = 0; k < 120; ++k) {
    seed = seed * 1103515245u + 12345u;
    SetMixBPM(95000 + int((seed >> 16) % 60000));
    playOut(512, out, 512);
  }
  // Then the tempo rests.
  SetMixBPM(132000);
  playOut(30000, out, 512);
  // The tone (gain 127 x 1.5 / 256 of 12000: 8930) bends where its rate
  // steps, by at most 8930 x 2 pi 441 / 44100 x 0.5 = 280; a jump of its
  // position by even one frame would add 8930 x 2 pi 441 / 44100 = 561.
  int bend = 0;
  for (size_t i = 2; i < out.size() / 2; ++i)
    bend = std::max(bend, std::abs(out[2 * i] - 2 * out[2 * i - 2] + out[2 * i - 4]));
  EXPECT_LE(bend, 450);
  const int64_t rest = 120 * 512 + 4096;
  EXPECT_LT(std::fabs(cents(measuredHz(out, rest, rest + 24000), 441.0)), 2.0);
}
