// The player on its own: the tempo band, tempo steps, tap tempo, main
// volume, transport and what idle makes of the engine's beat. A recording
// panel stands in for the groove panel and no engine is attached.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/JLEngine.h"
#include "framework/platform/uloSys.h"
#include "framework/prefs/JLprefs.h"
#include "song/JLPlayer.h"
#include "tests/support/tempFolder.h"

namespace {

struct Recorder : JLPlayCommon, JLPlayerTransport {
  std::vector<std::string> log;
  std::string bpmLabel, playbar, label0;
  short scroll = -999, mainVol = -1;
  short lamps[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  int syncs = 0, starts = 0, seqStarts = 0, seqStops = 0, syncLedChanges = 0;
  bool syncLed = false;

  void common_setPlayDisplay(bool on) override { log.push_back(on ? "display:play" : "display:stop"); }
  void common_setSeqPlayLed(bool on) override { log.push_back(on ? "seqled:on" : "seqled:off"); }
  void common_setPlaybarLed(short i, short state) override { lamps[i] = state; }
  void common_setSyncingLed(bool on) override {
    syncLed = on;
    syncLedChanges++;
  }
  using JLPlayCommon::common_setPlaybarLabel;
  void common_setPlaybarLabel(const char* t) override { playbar = t; }
  void common_setMainVolLabel(short v) override { mainVol = v; }
  void common_eventGrooveStart() override { starts++; }
  void common_eventGrooveSync() override { syncs++; }
  void common_eventSeqPlayStart() override {
    seqStarts++;
    log.push_back("event:seqstart");
  }
  void common_eventSeqPlayStop() override { seqStops++; }
  void common_setBpmLabel(const char* t) override { bpmLabel = t; }
  void common_setBpmScroll(short v) override { scroll = v; }
  void common_setLabel(short n, const char* t) override {
    if (n == 0) label0 = t;
  }
  void setPlayMode(bool on) override { log.push_back(on ? "transport:play" : "transport:stop"); }
  void onItem_seq_Play() override { log.push_back("transport:seq"); }
};

int16_t gBeat = -1;
int16_t beatSource(void*) { return gBeat; }
int gSynthPlays = 0;

class Player : public ::testing::Test {
 protected:
  void SetUp() override {
    player.setEngine(nullptr);
    player.setBeatSource(beatSource, nullptr);
    gSynthPlays = 0;
    player.connectPanels(&panel, &panel, nullptr, [](void*) { gSynthPlays++; }, nullptr);
    player.userGroove();
    gBeat = -1;
    uloGlo.when = 1000;
  }
  void tapAt(int32_t tick) {
    uloGlo.when = tick;
    player.hitBpmTap();
  }
  void beatIs(int16_t b) {
    gBeat = b;
    player.idle();
  }
  Recorder panel;
  JLPlayer player;
};

// The engine plays a song of tempo T at most at 44100 * 60 / r BPM, where
// r = (44100 * 60 / T) * 10 / 13 output frames a beat (integer steps): for
// 125 BPM r = 16283, 162.50 BPM; for 120 BPM r = 16961, 156.00 BPM.
TEST(EngineTempo, FastestTempoIsTheEnginesOneAndAThirdBound) {
  EXPECT_NEAR(JLEngine::fastestBpm(125.f), 2646000.0 / 16283.0, 1e-9);
  EXPECT_NEAR(JLEngine::fastestBpm(120.f), 2646000.0 / 16961.0, 1e-9);
  EXPECT_GT(JLEngine::fastestBpm(0.f), 1e6) << "no song, no bound";
}

TEST_F(Player, TempoStaysWithinWhatTheEngineCanPlay) {
  player.gotSongBpm(125);
  EXPECT_EQ(panel.bpmLabel, "125.0");
  EXPECT_EQ(panel.scroll, 0);
  player.hitBpmScroll(10);
  EXPECT_FLOAT_EQ(player.bpm, 135.0f);
  // Above 162.5 nothing is heard faster: such requests are refused.
  player.adjustBpm(175.0f);
  EXPECT_FLOAT_EQ(player.bpm, 135.0f);
  player.adjustBpm(162.6f);
  EXPECT_FLOAT_EQ(player.bpm, 135.0f);
  player.adjustBpm(162.5f);
  EXPECT_FLOAT_EQ(player.bpm, 162.5f);
  // The scroll's far end gives the fastest tempo heard, and the scroll
  // moves back to where that tempo sits.
  player.hitBpmScroll(20);
  player.hitBpmScroll(50);
  EXPECT_FLOAT_EQ(player.bpm, 162.5f);
  EXPECT_EQ(panel.bpmLabel, "162.5");
  EXPECT_EQ(panel.scroll, 37);
  player.adjustBpm(74.9f);
  EXPECT_FLOAT_EQ(player.bpm, 162.5f);
  player.adjustBpm(75.0f);
  EXPECT_FLOAT_EQ(player.bpm, 75.0f);
  EXPECT_EQ(player.bpmScroll(), -50);
  // A fast song reaches the band's edge before the engine's bound.
  player.gotSongBpm(200);
  player.hitBpmScroll(50);
  EXPECT_FLOAT_EQ(player.bpm, 250.0f);
}

// The scroll sits at the whole BPM at or below the tempo on both sides of
// the song's, so one step of it (Shift+B with + or -) goes to the next
// whole BPM above or below that one.
TEST_F(Player, TheTempoScrollSitsAtTheWholeBpmAtOrBelowTheTempo) {
  player.gotSongBpm(135);
  for (int i = 0; i < 4; i++) player.hitBpmUp(-0.2f);
  ASSERT_EQ(panel.bpmLabel, "134.2");
  EXPECT_EQ(panel.scroll, -1);
  player.hitBpmScroll(short(player.bpmScroll() + 1));
  EXPECT_EQ(panel.bpmLabel, "135.0");
  player.hitBpmScroll(-2);
  player.hitBpmUp(0.2f);
  ASSERT_EQ(panel.bpmLabel, "133.2");
  player.hitBpmScroll(short(player.bpmScroll() + 1));
  EXPECT_EQ(panel.bpmLabel, "134.0");
  player.hitBpmScroll(1);
  player.hitBpmUp(0.2f);
  ASSERT_EQ(panel.bpmLabel, "136.2");
  EXPECT_EQ(panel.scroll, 1);
  player.hitBpmScroll(short(player.bpmScroll() - 1));
  EXPECT_EQ(panel.bpmLabel, "135.0");
}

TEST_F(Player, TempoStepsOfATenthGridStopAtTheFastestTempoHeard) {
  player.gotSongBpm(120);
  for (int i = 0; i < 5; i++) player.hitBpmUp(0.2f);
  EXPECT_FLOAT_EQ(player.bpm, 121.0f);
  EXPECT_EQ(panel.bpmLabel, "121.0");
  EXPECT_EQ(panel.scroll, 1);
  player.adjustBpm(155.0f);
  for (int i = 0; i < 5; i++) player.hitBpmUp(0.2f);
  EXPECT_FLOAT_EQ(player.bpm, 156.0f) << "the steps stop at 156.0, what the engine plays at most";
  EXPECT_EQ(panel.bpmLabel, "156.0");
  player.hitBpmUp(0.2f);
  EXPECT_FLOAT_EQ(player.bpm, 156.0f);
  for (int i = 0; i < 3; i++) player.hitBpmUp(-0.2f);
  EXPECT_EQ(panel.bpmLabel, "155.4");
  player.adjustBpm(70.2f);
  player.hitBpmUp(-0.2f);
  player.hitBpmUp(-0.2f);
  EXPECT_FLOAT_EQ(player.bpm, 70.0f);
}

TEST_F(Player, RestoringATempoThatCannotBePlayedOpensAtTheNearestThatCan) {
  player.gotSongBpm(120);
  player.setBpm(180.5f);
  EXPECT_FLOAT_EQ(player.bpm, 156.0f);
  EXPECT_EQ(panel.bpmLabel, "156.0");
  EXPECT_EQ(panel.scroll, 36);
  player.setBpm(131.4f);
  EXPECT_FLOAT_EQ(player.bpm, 131.4f);
  EXPECT_EQ(panel.scroll, 11);
  player.setBpm(12.0f);
  EXPECT_FLOAT_EQ(player.bpm, 70.0f);
  player.setBpm(std::nanf(""));
  EXPECT_FLOAT_EQ(player.bpm, 120.0f);
  player.setBpm(131.4f);
  player.setBpm(0.0f);
  EXPECT_FLOAT_EQ(player.bpm, 120.0f);
}

TEST_F(Player, TapTempoChangesOnTheFourthTapAndFollowsTheLastTenIntervals) {
  player.gotSongBpm(120);
  player.adjustBpm(110.0f);
  tapAt(5000);  // starts a measurement
  tapAt(5030);
  tapAt(5060);
  EXPECT_FLOAT_EQ(player.bpm, 110.0f) << "two intervals are not enough";
  tapAt(5090);
  EXPECT_FLOAT_EQ(player.bpm, 120.0f);
  EXPECT_EQ(panel.scroll, 0);
  // Ten more taps at 36 ticks (100 BPM): the window holds the last nine
  // intervals after it is full, so the tempo ends at 100.
  int32_t t = 5090;
  for (int i = 0; i < 10; i++) tapAt(t += 36);
  EXPECT_FLOAT_EQ(player.bpm, 100.0f);
  EXPECT_EQ(player.tapCount, 9);
}

TEST_F(Player, APauseOfMoreThanTwoSecondsRestartsTheTapMeasurement) {
  player.gotSongBpm(120);
  player.adjustBpm(110.0f);
  tapAt(100);
  tapAt(130);
  tapAt(160);
  tapAt(281);  // 121 ticks later: a new start
  EXPECT_EQ(player.tapCount, 0);
  tapAt(311);
  tapAt(341);
  EXPECT_FLOAT_EQ(player.bpm, 110.0f);
  tapAt(371);
  EXPECT_FLOAT_EQ(player.bpm, 120.0f);
  // Taps far outside the band measure but change nothing.
  tapAt(1000);
  for (int i = 1; i <= 3; i++) tapAt(1000 + 10 * i);  // 360 BPM
  EXPECT_FLOAT_EQ(player.bpm, 120.0f);
}

TEST_F(Player, MainVolumeIsClampedAndShown) {
  EXPECT_EQ(player.mainVolume, 63);
  player.addMainVolume(100);
  EXPECT_EQ(player.mainVolume, 127);
  EXPECT_EQ(panel.mainVol, 127);
  player.addMainVolume(-200);
  EXPECT_EQ(player.mainVolume, 0);
  EXPECT_EQ(panel.mainVol, 0);
  player.dragMainVolume(60, 30);
  EXPECT_EQ(player.mainVolume, 90);
  player.dragMainVolume(60, 500);
  EXPECT_EQ(player.mainVolume, 127);
  player.dragMainVolume(60, -80);
  EXPECT_EQ(player.mainVolume, 0);
}

// A restart: the main volume is put into the preferences before they are
// written and taken from them by the next start once they are read.
TEST_F(Player, TheMainVolumeOutlivesARestartThroughThePreferences) {
  TempFolder dir;
  char saved[sizeof jlPrefs.fileName];
  memcpy(saved, jlPrefs.fileName, sizeof saved);
  snprintf(jlPrefs.fileName, sizeof jlPrefs.fileName, "%s", (dir.ulo() + "Jamloom.prf").c_str());
  player.addMainVolume(29);  // 63 + 29
  player.keepMainVolumeInPrefs();
  ASSERT_TRUE(jlPrefs.save());
  jlPrefs.masterVolume = 63;  // what a fresh process starts with

  jlPrefs.load();
  Recorder nextPanel;
  JLPlayer next;
  next.setEngine(nullptr);
  next.connectPanels(&nextPanel, &nextPanel, nullptr, nullptr, nullptr);
  next.userGroove();
  next.takeMainVolumeFromPrefs();
  EXPECT_EQ(next.mainVolume, 92);
  EXPECT_EQ(nextPanel.mainVol, 92) << "MASTER shows it from the start";
  jlPrefs.masterVolume = 63;
  memcpy(jlPrefs.fileName, saved, sizeof saved);
}

TEST_F(Player, PlayAndStopTellThePanelOnceAndInOrder) {
  player.play();
  player.play();
  EXPECT_EQ(panel.log, (std::vector<std::string>{"display:play", "transport:play"}));
  EXPECT_EQ(panel.label0, "Groove play");
  EXPECT_EQ(gSynthPlays, 1);
  panel.log.clear();
  player.stop();
  player.stop();
  EXPECT_EQ(panel.log, (std::vector<std::string>{"transport:stop", "display:stop"}));
  EXPECT_EQ(panel.label0, "Stop");
  EXPECT_FALSE(player.playing);
}

TEST_F(Player, ToggleSwitchesAPlayingGrooveToTheSequence) {
  player.play();
  panel.log.clear();
  player.togglePlaySequence();
  EXPECT_EQ(panel.log, (std::vector<std::string>{"transport:stop", "display:stop", "display:play", "transport:seq",
                                                 "seqled:on", "event:seqstart"}));
  EXPECT_TRUE(player.playing && player.sequenceMode);
  EXPECT_EQ(panel.label0, "Sequence play");
  panel.log.clear();
  player.togglePlaySequence();
  EXPECT_FALSE(player.playing);
  EXPECT_EQ(panel.seqStops, 1);
  EXPECT_EQ(panel.log.back(), "seqled:off");
  player.togglePlaySequence();
  EXPECT_TRUE(player.playing && player.sequenceMode);
}

TEST_F(Player, LampsShowBarsReachedAndTheCurrentBeat) {
  player.play();
  beatIs(13);
  const short want[8] = {1, 1, 1, 1, 0, 2, 0, 0};
  for (int i = 0; i < 8; i++) EXPECT_EQ(panel.lamps[i], want[i]) << "lamp " << i;
  EXPECT_EQ(panel.playbar, "04:02");
  beatIs(31);
  EXPECT_EQ(panel.lamps[7], 2);
  EXPECT_EQ(panel.lamps[6], 1);
  EXPECT_EQ(panel.playbar, "08:04");
  panel.lamps[0] = -1;
  beatIs(31);  // no change, no notification
  EXPECT_EQ(panel.lamps[0], -1);
  beatIs(-1);
  EXPECT_EQ(panel.lamps[0], -1);
}

TEST_F(Player, SequenceEventsComeOncePerCycle) {
  player.playSequence();
  for (int cycle = 0; cycle < 3; cycle++)
    for (int16_t b = 0; b < 32; b += 1) {
      beatIs(b);
      beatIs(b);  // several idle passes per beat
    }
  beatIs(0);
  EXPECT_EQ(panel.syncs, 3);
  EXPECT_EQ(panel.starts, 3);
  EXPECT_EQ(player.cycleCount, 3);
  // A skipped beat (24 seen, 23 not) still syncs once.
  beatIs(5);
  beatIs(24);
  beatIs(30);
  beatIs(2);
  EXPECT_EQ(panel.syncs, 4);
  EXPECT_EQ(panel.starts, 4);
}

TEST_F(Player, TheSyncEventMayResetSyncingWithoutLosingTheCycle) {
  // The groove panel switches sync mode on and off while it answers the
  // sync event; the player still counts one cycle per wrap.
  struct Resetting : Recorder {
    JLPlayer* p = nullptr;
    void common_eventGrooveSync() override {
      Recorder::common_eventGrooveSync();
      p->setSync(true);
      p->setSync(false);
    }
  } resetting;
  resetting.p = &player;
  player.connectPanels(&resetting, &resetting, nullptr);
  player.userGroove();
  player.playSequence();
  for (int16_t b : {20, 23, 24, 25, 31, 0, 10, 23, 30, 1}) beatIs(b);
  EXPECT_EQ(resetting.syncs, 2);
  EXPECT_EQ(resetting.starts, 2);
}

TEST_F(Player, VirtualMixerPositionCountsCycles) {
  Recorder vmix;
  player.connectPanels(&panel, &panel, &vmix);
  player.userVMix();
  player.playSequence();
  beatIs(5);
  EXPECT_EQ(vmix.playbar, "01:02:02");
  beatIs(23);
  beatIs(0);
  EXPECT_EQ(vmix.playbar, "02:01:01");
  EXPECT_EQ(panel.playbar, "") << "only the target hears the player";
}

TEST_F(Player, SyncingLampBlinksFourTimesASecondWhileWaiting) {
  player.setSync(true);
  int changes = 0;
  bool last = false;
  for (int32_t t = 0; t < 60; t++) {
    uloGlo.when = t;
    player.idle();
    if (panel.syncLed != last) {
      changes++;
      last = panel.syncLed;
      EXPECT_EQ(last, t % 15 > 10) << "tick " << t;
    }
  }
  EXPECT_EQ(changes, 7);
  player.setSync(false);
  uloGlo.when = 71;  // would be lit
  player.idle();
  EXPECT_FALSE(panel.syncLed);
}

TEST_F(Player, RefreshSendsTheWholeState) {
  player.gotSongBpm(130);
  player.adjustBpm(140.0f);
  player.addMainVolume(10);
  player.setSynthLed(true);
  Recorder fresh;
  player.connectPanels(&fresh, &fresh, nullptr);
  player.userGroove();
  player.refreshCommon();
  EXPECT_EQ(fresh.scroll, 10);
  EXPECT_EQ(fresh.mainVol, 73);
  EXPECT_EQ(fresh.bpmLabel, "140.0");
  EXPECT_EQ(fresh.log, (std::vector<std::string>{"display:stop", "seqled:off"}));
}

}  // namespace

namespace {

// A MIDI keyboard through the player: realtime Start/Stop drive the
// transport, a bound controller taps the tempo, a bound key switches a
// track's mute and, with latching on, keys go to the panel to latch.
struct MidiRecorder : Recorder {
  std::vector<short> mutes, latched;
  void common_midiMuteTrack(short t) override { mutes.push_back(t); }
  void common_midiLatchNote(short n) override { latched.push_back(n); }
};

TEST(PlayerMidi, KeyboardTransportTapMuteAndLatchReachTheirTargets) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  JLEngine engine;
  engine.init();
  MidiRecorder panel;
  JLPlayer player;
  player.setEngine(&engine);
  player.connectPanels(&panel, &panel, &panel, nullptr, nullptr);
  player.userGroove();
  JLFakeMidiPort keys;
  player.midiUsePorts(&keys, nullptr);
  const jlPrefsClass saved;
  snprintf(jlPrefs.midiInput, sizeof jlPrefs.midiInput, "Fake");
  jlPrefs.midiBindings[2] = 128 + 21;  // tap
  jlPrefs.midiBindings[3] = 128 + 22;  // latch
  jlPrefs.midiBindings[4 + 5] = 30;    // track 6's mute
  uloGlo.when = 5000;
  player.idle();
  ASSERT_TRUE(keys.isOpen()) << "the chosen port is connected";
  keys.inject({0xFA});
  player.idle();
  EXPECT_TRUE(player.isPlaying());
  keys.inject({0xFC});
  player.idle();
  EXPECT_FALSE(player.isPlaying());
  keys.inject({0x90, 30, 100});
  keys.inject({0xB0, 22, 127});
  keys.inject({0x90, 38, 90});
  player.idle();
  EXPECT_EQ(panel.mutes, std::vector<short>{5});
  EXPECT_EQ(panel.latched, std::vector<short>{2});
  // Four taps half a second apart: 120 BPM.
  for (int i = 0; i < 4; ++i) {
    uloGlo.when = 6000 + 30 * i;
    keys.inject({0xB0, 21, 127});
    player.idle();
  }
  EXPECT_NEAR(player.bpm, 120.0f, 0.5f);
  player.midiUsePorts(nullptr, nullptr);
  jlPrefs.midiInput[0] = 0;
  memcpy(jlPrefs.midiBindings, saved.midiBindings, sizeof saved.midiBindings);
  engine.exit();
}

}  // namespace
