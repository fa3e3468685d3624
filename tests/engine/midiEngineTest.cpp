// MIDI through the engine's offline (disk) path: a fake keyboard's keys
// sound at the start of the next block with their velocity, release with a
// short fade unless the sustain pedal holds them; transport actions come
// back to the caller; the clock's ticks sit on the output sample clock.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "engine/JLEngine.h"
#include "engine/Mixer.h"
#include "engine/engineFixtures.h"
#include "engine/midi/JLMidi.h"
#include "engine/synth/Synth.h"

using namespace enginetest;

namespace {

constexpr int kBlock = 2048;
constexpr int16_t kNoteValue = 10000;

class MidiEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    // A synth whose lowest note is a constant, long enough for the test.
    mkdir((tf_.sys() + "synth").c_str(), 0755);
    std::vector<int16_t> note(2 * 8 * kBlock, kNoteValue);
    tf_.write("synth/c2.wav", wavFrom(note, 2));
    e_.init();
    e_.synth_SetFolder((tf_.ulo() + "synth:").c_str());
    e_.midi_setInput(&keys_);
    ASSERT_TRUE(keys_.open("Fake"));
  }
  void TearDown() override {
    if (e_.offline()) e_.offlineEnd();
    e_.midi_setInput(nullptr);
    e_.exit();
  }
  // An offline session at `songBpm` played at `bpm`, master volume 128.
  void begin(float songBpm, float bpm) {
    e_.samplesListReset();
    e_.samplesBpm(songBpm);
    ASSERT_TRUE(e_.offlineBegin());
    e_.play();
    e_.offlineStart();
    e_.setMixerBpm(bpm);
    e_.setMixerVolume(128);
  }
  std::vector<int16_t> pull(int blocks) {
    std::vector<int16_t> out(size_t(2 * kBlock * blocks));
    for (int b = 0; b < blocks; ++b) e_.offlinePull(out.data() + 2 * kBlock * b, kBlock);
    return out;
  }
  // A key pressed, the pedal put down, the key released.
  void releaseUnderThePedal(uint8_t key, uint8_t velocity) {
    keys_.inject({0x90, key, velocity});
    keys_.inject({0xB0, 64, 127});
    keys_.inject({0x80, key, 0});
  }
  ScopedDriver driver_{"dummy"};
  TempFolder tf_;
  JLEngine e_;
  JLFakeMidiPort keys_;
};

// The left channel of the synth at volume 128, centre-right pan 64, master
// 128: 1.5 / 2 of the sample, times the key's velocity gain.
int16_t expected(float gain) { return int16_t(float(kNoteValue) * (128 * 1.5f / 256.0f) * gain); }

TEST_F(MidiEngine, AKeySoundsFromTheNextBlockWithItsVelocityAndFadesOutOnRelease) {
  begin(120, 120);
  const std::vector<int16_t> silent = pull(3);
  for (int16_t v : silent) ASSERT_EQ(v, 0);
  keys_.inject({0x90, 36, 127});
  std::vector<int16_t> b = pull(1);
  EXPECT_EQ(b[0], expected(1.0f)) << "sounds at the block's first frame";
  EXPECT_EQ(b[2 * (kBlock - 1)], expected(1.0f));
  keys_.inject({0x80, 36, 0});
  b = pull(1);
  EXPECT_EQ(b[0], expected(1.0f)) << "the fade starts at the release";
  EXPECT_LT(b[2 * 128], expected(1.0f));
  EXPECT_GT(b[2 * 128], 0);
  EXPECT_EQ(b[2 * kSynthReleaseFrames], 0) << "silent after the fade";
  keys_.inject({0x90, 36, 64});
  b = pull(1);
  EXPECT_EQ(b[0], expected(JL_MidiVelocityGain(64)));
  EXPECT_NEAR(b[0], expected(1.0f) * 64.0 * 64.0 / (127.0 * 127.0), 1.0);
}

TEST_F(MidiEngine, TheSustainPedalHoldsReleasedKeysUntilItIsLifted) {
  begin(120, 120);
  pull(1);
  releaseUnderThePedal(36, 127);
  std::vector<int16_t> b = pull(2);
  EXPECT_EQ(b[2 * (2 * kBlock - 1)], expected(1.0f)) << "held by the pedal";
  keys_.inject({0xB0, 64, 0});
  b = pull(1);
  EXPECT_EQ(b[2 * kSynthReleaseFrames], 0) << "released when the pedal lifts";
}

TEST_F(MidiEngine, TransportAndLatchedKeysComeBackToTheCaller) {
  JLMidiMap map;
  map.tap = 128 + 21;
  map.mute[7] = 30;
  map.latch = 128 + 22;
  e_.midi_setMap(map);
  begin(120, 120);
  keys_.inject({0xFA});
  keys_.inject({0xB0, 21, 127});
  keys_.inject({0x90, 30, 100});
  keys_.inject({0xB0, 22, 127});  // latching on: keys go to the arpeggio
  keys_.inject({0x90, 40, 100});
  keys_.inject({0xFC});
  JLMidiAction a[8];
  ASSERT_EQ(e_.midi_pump(a, 8), 6);
  EXPECT_EQ(a[0].kind, JLMidiAction::play);
  EXPECT_EQ(a[1].kind, JLMidiAction::tapTempo);
  EXPECT_EQ(a[2].kind, JLMidiAction::muteTrack);
  EXPECT_EQ(a[2].track, 7);
  EXPECT_EQ(a[3].kind, JLMidiAction::latch);
  EXPECT_TRUE(e_.midi_latching());
  EXPECT_EQ(a[4].kind, JLMidiAction::noteOn);
  EXPECT_EQ(a[4].note, 4);
  EXPECT_EQ(a[5].kind, JLMidiAction::stop);
  const std::vector<int16_t> b = pull(1);
  EXPECT_EQ(b[0], 0) << "a latched key does not sound by itself";
}

// While the synth's arpeggio runs, keys are handed back to be held in it
// (no voice of their own); every release comes back too, so a key pressed
// before the arpeggio started is still let go of in both places.
TEST_F(MidiEngine, WithTheArpeggioRunningKeysComeBackToBeHeldInIt) {
  begin(120, 120);
  keys_.inject({0x90, 36, 127});  // before: a voice of its own
  JLMidiAction a[4];
  EXPECT_EQ(e_.midi_pump(a, 4), 0);
  e_.midi_setKeysToArp(true);
  keys_.inject({0x80, 36, 0});
  keys_.inject({0x90, 36, 90});
  ASSERT_EQ(e_.midi_pump(a, 4), 2);
  EXPECT_EQ(a[0].kind, JLMidiAction::releaseNote);
  EXPECT_EQ(a[0].note, 0);
  EXPECT_EQ(a[1].kind, JLMidiAction::holdNote);
  EXPECT_EQ(a[1].note, 0);
  EXPECT_EQ(a[1].velocity, 90);
  std::vector<int16_t> b = pull(1);
  EXPECT_EQ(b[0], expected(1.0f)) << "the early key's voice fades from its release";
  EXPECT_EQ(b[2 * kSynthReleaseFrames], 0) << "and the key pressed again sounds nothing by itself";
  e_.midi_setKeysToArp(false);
  keys_.inject({0x90, 36, 127});
  EXPECT_EQ(e_.midi_pump(a, 4), 0);
  b = pull(1);
  EXPECT_EQ(b[0], expected(1.0f)) << "arpeggio off: keys sound again";
}

// The pedal holds a released key in the arpeggio as it holds a voice: its
// release comes back only when the pedal lifts, and then only for keys no
// longer down; a key struck again meanwhile joins once. Releases owed by
// the lift come before anything that followed it, across calls when the
// caller's room is small.
TEST_F(MidiEngine, ThePedalKeepsReleasedKeysInTheArpeggioUntilItLifts) {
  begin(120, 120);
  e_.midi_setKeysToArp(true);
  auto pump = [&](int room) {
    std::vector<std::pair<int, int>> got;  // kind, note
    JLMidiAction a[8];
    for (int n; (n = e_.midi_pump(a, room)) > 0;)
      for (int i = 0; i < n; ++i) got.emplace_back(a[i].kind, a[i].note);
    return got;
  };
  using P = std::vector<std::pair<int, int>>;
  const int hold = JLMidiAction::holdNote, release = JLMidiAction::releaseNote;
  keys_.inject({0x90, 36, 100});
  keys_.inject({0x90, 40, 100});
  keys_.inject({0xB0, 64, 127});
  keys_.inject({0x80, 36, 0});
  keys_.inject({0x90, 40, 0});
  EXPECT_EQ(pump(8), (P{{hold, 0}, {hold, 4}})) << "released under the pedal: still held";
  keys_.inject({0x90, 36, 90});
  EXPECT_EQ(pump(8), P{}) << "struck again while held: not a second time";
  keys_.inject({0xB0, 64, 0});
  keys_.inject({0x90, 40, 80});
  EXPECT_EQ(pump(8), (P{{release, 4}, {hold, 4}})) << "the lift lets go of key 4 only, then it is struck anew";
  keys_.inject({0x80, 36, 0});
  keys_.inject({0x80, 40, 0});
  EXPECT_EQ(pump(8), (P{{release, 0}, {release, 4}})) << "pedal up: a release is a release";
  // Five keys let go by one lift, with room for one action a call.
  for (int k = 0; k < 5; ++k) keys_.inject({0x90, uint8_t(50 + k), 100});
  keys_.inject({0xB0, 64, 100});
  for (int k = 0; k < 5; ++k) keys_.inject({0x80, uint8_t(50 + k), 0});
  keys_.inject({0xB0, 64, 10});
  keys_.inject({0xFC});
  EXPECT_EQ(pump(1), (P{{hold, 14}, {hold, 15}, {hold, 16}, {hold, 17}, {hold, 18}, {release, 14}, {release, 15},
                        {release, 16}, {release, 17}, {release, 18}, {JLMidiAction::stop, -1}}));
}

// STOP, the synth switched off or changed, and another input each count
// as the pedal lifted: keys it held leave the arpeggio and voices it held
// fade from the next block's first frame; the next release is a release.
// The input gone also lets go of the keys still down on it.
TEST_F(MidiEngine, StopTheSynthOrTheInputChangingLetsGoOfWhatThePedalHeld) {
  struct Case {
    const char* what;
    std::function<void()> reset;
  };
  JLFakeMidiPort other;
  const Case cases[] = {
      {"stop", [this] { e_.stop(); }},
      {"synth off", [this] { e_.synth_Stop(); }},
      {"synth changed", [this] { e_.synth_SetFolder((tf_.ulo() + "synth:").c_str()); }},
      {"input changed", [this, &other] { e_.midi_setInput(&other); }},
      {"input closed", [this] { e_.midi_inputChanged(); }},
  };
  JLMidiAction a[4];
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    e_.midi_setInput(&keys_);
    begin(120, 120);
    pull(1);
    e_.midi_setKeysToArp(true);
    releaseUnderThePedal(36, 100);
    ASSERT_EQ(e_.midi_pump(a, 4), 1);
    c.reset();
    ASSERT_EQ(e_.midi_pump(a, 4), 1);
    EXPECT_EQ(a[0].kind, JLMidiAction::releaseNote);
    EXPECT_EQ(a[0].note, 0);
    // A voice of its own (the arpeggio off), held by a pedal pressed
    // again, fades when the same happens.
    e_.midi_setInput(&keys_);
    if (!e_.playing) {
      e_.offlineEnd();
      begin(120, 120);
    }
    e_.midi_setKeysToArp(false);
    releaseUnderThePedal(36, 127);
    std::vector<int16_t> b = pull(2);
    ASSERT_EQ(b[2 * (2 * kBlock - 1)], expected(1.0f)) << "held by the pedal";
    c.reset();
    if (e_.playing) {
      b = pull(1);
      EXPECT_EQ(b[0], expected(1.0f));
      EXPECT_EQ(b[2 * kSynthReleaseFrames], 0) << "faded from the block's start";
    }
    // The pedal counts as up: a key now plays only while it is down.
    e_.midi_setInput(&keys_);
    if (!e_.playing) {
      e_.offlineEnd();
      begin(120, 120);
    }
    keys_.inject({0x90, 36, 127});
    keys_.inject({0x80, 36, 0});
    b = pull(1);
    EXPECT_EQ(b[2 * kSynthReleaseFrames], 0) << "released at once";
    e_.offlineEnd();
  }
  // The input gone while a key is still down: its voice fades too.
  e_.midi_setInput(&keys_);
  begin(120, 120);
  keys_.inject({0x90, 36, 127});
  pull(1);
  e_.midi_setInput(&other);
  std::vector<int16_t> b = pull(1);
  EXPECT_EQ(b[2 * kSynthReleaseFrames], 0);
  e_.midi_setInput(&keys_);  // `other` goes before the fixture lets go of its input
}

// A key struck again while the pedal holds its voice lets that voice fade:
// after the fade the note sounds once, not twice over; the new voice is
// the one the pedal and the key then hold.
TEST_F(MidiEngine, AKeyStruckAgainUnderThePedalSoundsOnce) {
  begin(120, 120);
  pull(1);
  releaseUnderThePedal(36, 127);
  pull(1);
  keys_.inject({0x90, 36, 127});
  std::vector<int16_t> b = pull(1);
  EXPECT_EQ(b[2 * (kSynthReleaseFrames - 1)] > expected(1.0f), true) << "the old voice still fading";
  EXPECT_EQ(b[2 * kSynthReleaseFrames], expected(1.0f)) << "then one voice";
  EXPECT_EQ(b[2 * (kBlock - 1)], expected(1.0f));
  keys_.inject({0xB0, 64, 0});
  b = pull(1);
  EXPECT_EQ(b[2 * (kBlock - 1)], expected(1.0f)) << "still down: the lift keeps it";
  keys_.inject({0x80, 36, 0});
  b = pull(1);
  EXPECT_EQ(b[2 * kSynthReleaseFrames], 0);
}

// More actions than the caller has room for wait for the next call: a
// burst of clock ticks ending in Stop loses nothing.
TEST_F(MidiEngine, ABurstLargerThanTheCallersRoomWaitsForTheNextCall) {
  begin(120, 120);
  for (int i = 0; i < 39; ++i) keys_.inject({0xF8});
  keys_.inject({0xFC});
  JLMidiAction a[16];
  EXPECT_EQ(e_.midi_pump(a, 16), 16);
  EXPECT_EQ(e_.midi_pump(a, 16), 16);
  ASSERT_EQ(e_.midi_pump(a, 16), 8);
  EXPECT_EQ(a[6].kind, JLMidiAction::clockTick);
  EXPECT_EQ(a[7].kind, JLMidiAction::stop);
  EXPECT_EQ(e_.midi_pump(a, 16), 0);
}

// The clock through the engine: its ticks at the tempo the mixer plays
// (output frames per beat), on output frames counted from the session's
// start; Start where the clock was started.
TEST_F(MidiEngine, ClockTicksFollowTheTempoHeardOnTheOutputSampleClock) {
  JLFakeMidiPort out;
  out.present = {"Fake Synth"};
  ASSERT_TRUE(out.open("Fake"));
  e_.midi_setOutput(&out);
  for (float bpm : {90.0f, 125.0f, 162.5f}) {
    SCOPED_TRACE(bpm);
    begin(125, bpm);
    pull(2);
    e_.midi_clockStart(0);
    pull(200);
    e_.midi_clockStop();
    pull(1);
    const std::vector<JLMidiClock::Event>& log = e_.offlineClockLog();
    ASSERT_GT(log.size(), 10u);
    EXPECT_EQ(log.front().message.bytes[0], 0xFA);
    EXPECT_EQ(log.front().frame, 2 * kBlock);
    EXPECT_EQ(log.back().message.bytes[0], 0xFC);
    EXPECT_EQ(log.back().frame, 202 * kBlock);
    // Frames per beat as the mixer plays it (the 1.3 x bound included).
    const double beat = double(ResampledBPM.load());
    EXPECT_NEAR(44100.0 * 60.0 / beat, std::min(double(bpm), e_.fastestBpm(125)), 0.01);
    double worstMs = 0;
    for (size_t i = 1; i + 1 < log.size(); ++i) {
      ASSERT_EQ(log[i].message.bytes[0], 0xF8);
      const double ideal = 2 * kBlock + double(i - 1) * beat / 24.0;
      worstMs = std::max(worstMs, std::abs(double(log[i].frame) - ideal) * 1000.0 / 44100.0);
    }
    EXPECT_LT(worstMs, 1.0);
    EXPECT_EQ(log.size() - 2, size_t(std::ceil(200.0 * kBlock / (beat / 24.0) - 1e-9)));
    EXPECT_EQ(out.sentMessages.size() >= log.size(), true);
    e_.offlineEnd();
    out.sentMessages.clear();
  }
}

}  // namespace
