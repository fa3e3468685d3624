// A MIDI device driving the program as it is mounted: a fake port chosen in
// the preferences feeds the player's idle work, which reaches the groove
// panel and the real engine. Realtime Start, Stop and Continue and the
// configurable note or controller map drive the transport, tap the tempo
// and switch the eight tracks; an outside clock sets the tempo as far as
// the song can follow it; keyboard keys reach the synth with their
// velocity and the sustain pedal.
#include <cmath>
#include <cstring>

#include "engine/midi/JLMidi.h"
#include "engine/synth/Synth.h"
#include "tests/screens/grooveTestSupport.h"

namespace {

using groovetest::GroovePanelTest;

class GrooveMidi : public GroovePanelTest {
 protected:
  void SetUp() override {
    GroovePanelTest::SetUp();
    memcpy(savedInput_, jlPrefs.midiInput, sizeof savedInput_);
    memcpy(savedBindings_, jlPrefs.midiBindings, sizeof savedBindings_);
    savedClockIn_ = jlPrefs.midiClockIn;
    savedChannel_ = jlPrefs.midiChannel;
    snprintf(jlPrefs.midiInput, sizeof jlPrefs.midiInput, "Fake");
    keys_.present = {"Fake Keyboard 20:0"};
    player().midiUsePorts(&keys_, nullptr);
  }
  void TearDown() override {
    player().midiUsePorts(nullptr, nullptr);
    memcpy(jlPrefs.midiInput, savedInput_, sizeof savedInput_);
    memcpy(jlPrefs.midiBindings, savedBindings_, sizeof savedBindings_);
    jlPrefs.midiClockIn = savedClockIn_;
    jlPrefs.midiChannel = savedChannel_;
    GroovePanelTest::TearDown();
  }
  // One pass of the panel's idle work, a second of ticks later than the
  // last, so the player looks at its ports and map again.
  void idle() {
    uloGlo.when += 61;
    uloGlo.what = uloEvtNull;
    gp().onIdle();
  }
  // Mixes `n` blocks, the loader visiting between them.
  void mix(int n) {
    std::vector<int16_t> block(2 * 2048);
    for (int i = 0; i < n; i++) {
      if (dowldproc.load()) PauseLoader();
      LoaderVisitAll();
      GetResampled(block.data(), 2048);
    }
  }
  // The demo song playing and the synth's arpeggio on with no note
  // latched, a note on every step: only held keys make it sound.
  void runArpeggioOfHeldKeys(JLSynthPanel& synth) {
    ASSERT_TRUE(loadDemo());
    gp().randomize(0);
    idle();
    for (int k = 0; k < kSynthKeys; k++) synth.setup.notes[k] = 0;
    synth.setup.arpProg = 0;
    synth.switchSynth(true);
  }
  char savedInput_[sizeof jlPrefs.midiInput];
  int16_t savedBindings_[12];
  int16_t savedClockIn_ = 0, savedChannel_ = -1;
  JLFakeMidiPort keys_;
};

TEST_F(GrooveMidi, StartStopContinueAndTheMappedControlsDriveTheTransport) {
  jlPrefs.midiBindings[0] = 20;        // note 20 plays
  jlPrefs.midiBindings[1] = 128 + 20;  // controller 20 stops
  ASSERT_TRUE(loadDemo());
  gp().randomize(0);
  item(24);
  ASSERT_FALSE(player().isPlaying());
  idle();
  ASSERT_TRUE(keys_.isOpen()) << "the port named in the preferences is connected";
  EXPECT_EQ(keys_.openName(), "Fake Keyboard 20:0");

  keys_.inject({0xFA});
  idle();
  EXPECT_TRUE(player().isPlaying());
  EXPECT_EQ(value(121), 1) << "play lamp";
  runToBeat(9);
  const int64_t stoppedAt = gep->heardFrame();
  ASSERT_GT(stoppedAt, 8 * BPM.load());
  keys_.inject({0xFC});
  idle();
  EXPECT_FALSE(player().isPlaying());
  EXPECT_EQ(value(122), 1) << "stop lamp";
  // Continue goes on where the stop left it.
  keys_.inject({0xFB});
  idle();
  ASSERT_TRUE(player().isPlaying());
  mix(2);
  EXPECT_GE(TimeLine.load(), stoppedAt);
  EXPECT_LT(TimeLine.load(), stoppedAt + 4 * 2048);
  // Start after a stop begins at the top.
  keys_.inject({0xFC});
  idle();
  keys_.inject({0xFA});
  idle();
  ASSERT_TRUE(player().isPlaying());
  mix(2);
  EXPECT_LT(TimeLine.load(), 4 * 2048);

  // The mapped controls: a controller acts when pressed (value 64 or
  // more), its release does nothing; a bound note's release does nothing.
  keys_.inject({0xB0, 20, 0});
  idle();
  EXPECT_TRUE(player().isPlaying());
  keys_.inject({0xB0, 20, 127});
  idle();
  EXPECT_FALSE(player().isPlaying());
  keys_.inject({0x80, 20, 0});
  idle();
  EXPECT_FALSE(player().isPlaying());
  keys_.inject({0x90, 20, 100});
  idle();
  EXPECT_TRUE(player().isPlaying());
  // A Continue with no MIDI stop before it plays from the top, also after
  // a MIDI stop that a play from the screen has left behind.
  runToBeat(5);
  keys_.inject({0xFC});
  idle();
  item(25);
  idle();
  item(24);
  keys_.inject({0xFB});
  idle();
  EXPECT_TRUE(player().isPlaying());
  mix(2);
  EXPECT_LT(TimeLine.load(), 4 * 2048);
}

// Each of the eight mutes, half of them notes and half controllers, on
// another channel than the one listened to does nothing; on it, it
// switches its track in the panel and in the engine, and back.
TEST_F(GrooveMidi, TheEightMappedMutesSwitchTheirTracksInThePanelAndTheEngine) {
  jlPrefs.midiChannel = 2;
  for (int t = 0; t < 8; t++) jlPrefs.midiBindings[4 + t] = int16_t(t % 2 ? 128 + 40 + t : 90 + t);
  auto press = [&](int t, int channel) {
    if (t % 2) keys_.inject({uint8_t(0xB0 | channel), uint8_t(40 + t), 127});
    else keys_.inject({uint8_t(0x90 | channel), uint8_t(90 + t), 100});
  };
  ASSERT_TRUE(loadDemo());
  gp().randomize(3);  // the full set: every track plays
  runToBeat(2);
  uint8_t was[8];
  int playing = 0;
  for (int t = 0; t < 8; t++) {
    was[t] = gp().tracks[t].active;
    if (was[t]) {
      playing++;
      EXPECT_EQ(Tracks[t].currentVariant.load(), gp().tracks[t].sampleNo) << t;
    }
  }
  ASSERT_GE(playing, 3) << "the random groove plays several tracks";
  idle();
  for (int t = 0; t < 8; t++) press(t, 5);
  idle();
  for (int t = 0; t < 8; t++) EXPECT_EQ(gp().tracks[t].active, was[t]) << "another channel, track " << t;
  for (int t = 0; t < 8; t++) {
    SCOPED_TRACE(t);
    press(t, 2);
    idle();
    EXPECT_EQ(gp().tracks[t].active, was[t] ? 0 : 1);
    for (int u = t + 1; u < 8; u++) EXPECT_EQ(gp().tracks[u].active, was[u]) << "only its own track";
  }
  mix(3);
  for (int t = 0; t < 8; t++)
    if (was[t]) EXPECT_LT(Tracks[t].currentVariant.load(), 0) << "muted in the engine: track " << t;
  for (int t = 0; t < 8; t++) press(t, 2);
  idle();
  mix(3);
  for (int t = 0; t < 8; t++) {
    EXPECT_EQ(gp().tracks[t].active, was[t]) << t;
    if (was[t]) EXPECT_EQ(Tracks[t].currentVariant.load(), gp().tracks[t].sampleNo) << "back: track " << t;
  }
}

// Ticks of an outside clock at exact spacing (their arrival times as a
// device would have them), 26 of them: a whole beat and one more.
void clockAt(JLFakeMidiPort& port, double bpm, int64_t* at, const std::function<void()>& idle) {
  const double tick = 60e9 / (bpm * 24);
  for (int k = 0; k < 26; ++k) {
    port.injectAt(*at + int64_t(std::llround(k * tick)), {0xF8});
    if (k % 5 == 4) idle();
  }
  idle();
  *at += int64_t(26 * tick) + 1'000'000'000;  // a pause: the next tempo counts afresh
}

TEST_F(GrooveMidi, AnOutsideClockSetsTheTempoAsFarAsTheSongCanFollow) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(0);
  const float song = float(player().songBpm);
  ASSERT_GT(song, 60.0f);
  // The playable band, from the engine's own bound: the song's tempo less
  // 50 up to the lower of + 50 and the fastest the engine plays, in tenths.
  const double fastest = std::min(double(song) + 50.0, std::floor(JLEngine::fastestBpm(song) * 10.0) / 10.0);
  const double slowest = double(song) - 50.0;
  auto expected = [&](double bpm) { return std::min(std::max(std::round(bpm * 10.0) / 10.0, slowest), fastest); };
  int64_t at = JLMidiClockOut::steadyNs();
  auto pass = [&] { idle(); };
  const float before = player().bpm;
  clockAt(keys_, 100, &at, pass);
  EXPECT_EQ(player().bpm, before) << "clock in is off";
  jlPrefs.midiClockIn = 1;
  for (double bpm : {100.0, 140.0, 1.5 * song, song - 70.0, 123.4}) {
    SCOPED_TRACE(bpm);
    clockAt(keys_, bpm, &at, pass);
    EXPECT_NEAR(player().bpm, expected(bpm), 1e-3);
    EXPECT_EQ(MixMilliBPM.load(), int32_t(std::lround(expected(bpm) * 1000.0))) << "the engine plays it";
    EXPECT_EQ(text(97), [&] {
      char t[16];
      snprintf(t, sizeof t, "%.1f", expected(bpm));
      return std::string(t);
    }()) << "the display shows it";
  }
  EXPECT_NEAR(expected(1.5 * song), fastest, 1e-9) << "the test reached the band's top";
  EXPECT_NEAR(expected(song - 70.0), slowest, 1e-9) << "and its bottom";
  // Start from the outside sequencer restarts the count: ticks before it
  // do not mix into the tempo after it.
  const double tick = 60e9 / (90.0 * 24);
  for (int k = 0; k < 20; ++k) keys_.injectAt(at + int64_t(k * tick), {0xF8});
  keys_.injectAt(at + int64_t(20 * tick), {0xFA});
  at += int64_t(20 * tick);
  idle();
  EXPECT_NEAR(player().bpm, expected(123.4), 1e-3) << "less than a beat since Start";
  clockAt(keys_, 110, &at, pass);
  EXPECT_NEAR(player().bpm, expected(110), 1e-3);
}

// Keys of the keyboard reach the synth through the player's idle work:
// a voice at the key's velocity gain, released by its note-off unless the
// sustain pedal holds it; notes outside the synth's 36 keys do nothing.
TEST_F(GrooveMidi, KeyboardKeysPlayTheSynthWithTheirVelocityAndTheSustainPedal) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(0);
  runToBeat(1);
  auto voiceOf = [](int note) -> const SYNTHVOICE* {
    for (const SYNTHVOICE& v : RealtimeSynth.voices)
      if (v.start >= 0 && v.key && v.note == note) return &v;
    return nullptr;
  };
  idle();
  keys_.inject({0x90, 36 + 7, 64});
  keys_.inject({0x90, 36 + 12, 127});
  keys_.inject({0x90, 20, 127});  // below the synth's keys
  idle();
  const SYNTHVOICE* a = voiceOf(7);
  const SYNTHVOICE* b = voiceOf(12);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_FLOAT_EQ(a->gain, (64.0f / 127.0f) * (64.0f / 127.0f));
  EXPECT_FLOAT_EQ(b->gain, 1.0f);
  EXPECT_EQ(a->releaseAt, INT64_MAX) << "held";
  int keyVoices = 0;
  for (const SYNTHVOICE& v : RealtimeSynth.voices) keyVoices += v.start >= 0 && v.key;
  EXPECT_EQ(keyVoices, 2);
  // Note-off (and note-on at velocity 0, as many keyboards send it).
  keys_.inject({0x80, 36 + 7, 0});
  keys_.inject({0xB0, 64, 127});  // pedal down
  keys_.inject({0x90, 36 + 12, 0});
  idle();
  ASSERT_NE(voiceOf(7), nullptr);
  EXPECT_NE(voiceOf(7)->releaseAt, INT64_MAX) << "released";
  ASSERT_NE(voiceOf(12), nullptr);
  EXPECT_EQ(voiceOf(12)->releaseAt, INT64_MAX) << "held by the pedal";
  keys_.inject({0xB0, 64, 0});
  idle();
  ASSERT_NE(voiceOf(12), nullptr);
  EXPECT_NE(voiceOf(12)->releaseAt, INT64_MAX) << "released with the pedal";
}

// With the latch control pressed, keys switch their notes in the synth
// panel's arpeggio as its on-screen keys do (and sound nothing by
// themselves); pressed again, keys play the synth again.
TEST_F(GrooveMidi, WithTheLatchOnKeysSwitchTheirNotesInTheSynthPanelsArpeggio) {
  groovetest::MountedSynthPanel mounted;
  JLSynthPanel& synth = mounted.panel;
  jlPrefs.midiBindings[3] = 128 + 22;  // latch
  ASSERT_TRUE(loadDemo());
  gp().randomize(0);
  idle();
  for (int k = 0; k < kSynthKeys; k++) synth.setup.notes[k] = 0;
  keys_.inject({0xB0, 22, 127});
  keys_.inject({0x90, 36 + 4, 100});
  keys_.inject({0x90, 36 + 9, 100});
  keys_.inject({0x80, 36 + 9, 0});
  idle();
  ASSERT_TRUE(gep->midi_latching());
  for (int k = 0; k < kSynthKeys; k++) EXPECT_EQ(synth.setup.notes[k], k == 4 || k == 9 ? 1 : 0) << k;
  EXPECT_TRUE(synth.synthPlaying()) << "a latched note starts the synth, as a click does";
  for (const SYNTHVOICE& v : RealtimeSynth.voices) EXPECT_FALSE(v.start >= 0 && v.key) << "no key sounds by itself";
  keys_.inject({0x90, 36 + 4, 100});  // off again
  idle();
  EXPECT_EQ(synth.setup.notes[4], 0);
  EXPECT_EQ(synth.setup.notes[9], 1);
  keys_.inject({0xB0, 22, 127});  // latch off: keys are held, not latched
  keys_.inject({0x90, 36 + 2, 100});
  idle();
  EXPECT_FALSE(gep->midi_latching());
  EXPECT_EQ(synth.setup.notes[2], 0);
  EXPECT_TRUE(synth.midiHeld[2]) << "the arpeggio runs: the held key joins it";
  keys_.inject({0x80, 36 + 2, 0});
  synth.switchSynth(false);  // with the synth off a key sounds by itself
  keys_.inject({0x90, 36 + 2, 100});
  idle();
  EXPECT_FALSE(synth.midiHeld[2]);
  bool sounding = false;
  for (const SYNTHVOICE& v : RealtimeSynth.voices) sounding |= v.start >= 0 && v.key && v.note == 2;
  EXPECT_TRUE(sounding);
}

// With the synth's arpeggio running, a held key joins the arpeggio from
// its press to its release, as a computer key does, drawn down meanwhile,
// and sounds no voice of its own; with the arpeggio off keys play again.
TEST_F(GrooveMidi, WithTheArpeggioOnAHeldKeyJoinsItUntilItsRelease) {
  groovetest::MountedSynthPanel mounted;
  JLSynthPanel& synth = mounted.panel;
  ASSERT_NO_FATAL_FAILURE(runArpeggioOfHeldKeys(synth));
  auto keyVoices = [] {
    int n = 0;
    for (const SYNTHVOICE& v : RealtimeSynth.voices) n += v.start >= 0 && v.key;
    return n;
  };
  auto drawnDown = [&](int item) { return synth.control(item) ? synth.control(item)->get() : -1; };
  keys_.inject({0x90, 36 + 12, 100});
  idle();
  EXPECT_STREQ(RealtimeSynth.pattern, "c2") << "the held key is the arpeggio";
  EXPECT_NE(RealtimeSynth.arpMode, 0);
  EXPECT_EQ(synth.setup.notes[12], 0) << "held, not latched";
  EXPECT_EQ(keyVoices(), 0) << "no voice of its own";
  EXPECT_EQ(drawnDown(53), 1) << "key 12 drawn down";
  // A latched note stays; the held one joins it and leaves again.
  synth.noteHit(0);
  EXPECT_STREQ(RealtimeSynth.pattern, "c1c2");
  keys_.inject({0x80, 36 + 12, 0});
  idle();
  EXPECT_STREQ(RealtimeSynth.pattern, "c1");
  EXPECT_EQ(drawnDown(53), 0);
  EXPECT_EQ(synth.setup.notes[0], 1);
  synth.noteHit(0);
  EXPECT_EQ(RealtimeSynth.arpMode, 0) << "nothing held or latched: the arpeggio stops";
  // The arpeggio switched off: a key sounds by itself again.
  synth.switchSynth(false);
  keys_.inject({0x90, 36 + 2, 100});
  idle();
  EXPECT_EQ(keyVoices(), 1);
  EXPECT_EQ(drawnDown(57), 0) << "not held in the arpeggio";
}

// The sustain pedal holds released keys in the running arpeggio, drawn
// down, until it lifts; then every key no longer down leaves. STOP, the
// synth switched off and another input each count as the pedal lifted.
TEST_F(GrooveMidi, WithTheArpeggioOnThePedalHoldsReleasedKeysInItUntilItLifts) {
  groovetest::MountedSynthPanel mounted;
  JLSynthPanel& synth = mounted.panel;
  ASSERT_NO_FATAL_FAILURE(runArpeggioOfHeldKeys(synth));
  auto drawnDown = [&](int item) { return synth.control(item) ? synth.control(item)->get() : -1; };
  keys_.inject({0x90, 36 + 12, 100});
  keys_.inject({0x90, 36 + 16, 100});
  keys_.inject({0xB0, 64, 127});
  keys_.inject({0x80, 36 + 12, 0});
  keys_.inject({0x80, 36 + 16, 0});
  idle();
  EXPECT_STREQ(RealtimeSynth.pattern, "c2e2") << "released under the pedal: still in the arpeggio";
  EXPECT_EQ(drawnDown(53), 1);
  keys_.inject({0x90, 36 + 12, 100});  // struck again, held on through the lift
  keys_.inject({0xB0, 64, 0});
  idle();
  EXPECT_STREQ(RealtimeSynth.pattern, "c2");
  EXPECT_EQ(drawnDown(53), 1);
  EXPECT_FALSE(synth.midiHeld[16]);
  keys_.inject({0x80, 36 + 12, 0});
  idle();
  EXPECT_EQ(RealtimeSynth.arpMode, 0) << "nothing held: the arpeggio stops";
  EXPECT_EQ(drawnDown(53), 0);

  // Each way of letting go, with key 12 released under the pedal.
  auto heldByThePedal = [&] {
    keys_.inject({0x90, 36 + 12, 100});
    keys_.inject({0xB0, 64, 127});
    keys_.inject({0x80, 36 + 12, 0});
    idle();
    return RealtimeSynth.arpMode != 0 && std::strcmp(RealtimeSynth.pattern, "c2") == 0;
  };
  ASSERT_TRUE(heldByThePedal());
  player().stop();
  idle();
  EXPECT_FALSE(synth.midiHeld[12]) << "STOP";
  EXPECT_EQ(drawnDown(53), 0);
  player().play();
  ASSERT_TRUE(heldByThePedal());
  synth.switchSynth(false);
  idle();
  EXPECT_FALSE(synth.midiHeld[12]) << "the synth switched off";
  synth.switchSynth(true);
  EXPECT_EQ(RealtimeSynth.arpMode, 0) << "and on again: nothing left held";
  ASSERT_TRUE(heldByThePedal());
  snprintf(jlPrefs.midiInput, sizeof jlPrefs.midiInput, "Other Keyboard");
  idle();
  EXPECT_FALSE(synth.midiHeld[12]) << "another input chosen";
  EXPECT_EQ(RealtimeSynth.arpMode, 0);
}

}  // namespace
