// The groove panel's tracks: loading a song into the engine, choosing
// loops, selection, mute and solo, group and all modes, Keep, randomising
// and the guards for songs without groups or loops.
#include <cstring>

#include "engine/synth/Synth.h"
#include "framework/panel/QXpopup.h"
#include "tests/screens/grooveTestSupport.h"

namespace {

using groovetest::GroovePanelTest;

// What the engine's schedule says track t plays (its sample number), or -1.
int engineSample(int t) { return Tracks[t].currentVariant.load(); }

TEST_F(GroovePanelTest, LoadingASongRegistersEveryLoopInTrackOrder) {
  ASSERT_TRUE(loadDemo());
  EXPECT_EQ(gp().library.groupCount, 9);
  EXPECT_EQ(gp().library.trackCount, 36);
  EXPECT_EQ(NumVTracks.load(), 36);
  // Sample numbers are track indices: kick01 is 0, bass03 is 18.
  EXPECT_NE(strstr(VTracks[0].name, "kick01.wav"), nullptr);
  EXPECT_NE(strstr(VTracks[18].name, "bass03.wav"), nullptr);
  EXPECT_STREQ(gp().songShortName, "NeonBoulevard");
  EXPECT_EQ(text(89), "Neon Boulevard - House");
  EXPECT_FLOAT_EQ(player().bpm, 125.0f);
  EXPECT_EQ(text(97), "125.0");
  // The group pop-ups list " -" and the groups with a capital.
  char entry[128] = {0};
  gp().control(77)->getValue(short(1), entry);
  EXPECT_STREQ(entry, "Kick");
  gp().control(84)->getValue(short(9), entry);
  EXPECT_STREQ(entry, "Fx");
}

TEST_F(GroovePanelTest, AFailedLoadLeavesTheLoadedSongPlayingAndShown) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(0);  // plays
  ASSERT_TRUE(player().playing);
  const JLGroove before = gp().groove;
  ASSERT_GE(before.tracks[0].group, 0);
  EXPECT_FALSE(gp().loadSong(":Library:Song:NoSuchSong:"));
  EXPECT_STREQ(gp().songFolder, ":Library:Song:NeonBoulevard:");
  EXPECT_EQ(memcmp(&before, &gp().groove, sizeof before), 0) << "the working groove stays";
  EXPECT_EQ(text(89), "Neon Boulevard - House");
  char entry[128] = {0};
  gp().control(77)->getValue(short(1), entry);
  EXPECT_STREQ(entry, "Kick");
  EXPECT_EQ(value(77), before.tracks[0].group + 1);
  // Still heard: the song's loops and the groove's tracks.
  EXPECT_TRUE(player().playing);
  EXPECT_EQ(NumVTracks.load(), 36);
  for (int t = 0; t < 8; t++) EXPECT_EQ(engineSample(t), gp().tracks[t].active ? gp().tracks[t].sampleNo : -1) << t;
  EXPECT_GE(engineSample(0), 0);
}

// Play starts the timeline of a groove whose tracks are all muted, so the
// synth is heard on its own; a failed load under it must do the same.
TEST_F(GroovePanelTest, AFailedLoadWhilePlayingRunsTheTimelineOfAnAllMutedGrooveAgain) {
  groovetest::MountedSynthPanel synth;
  ASSERT_TRUE(loadDemo());
  for (short t = 0; t < 8; t++) gp().onItem_trackLed(t);
  synth.panel.setup.arpProg = 0;
  synth.panel.noteHit(0);  // the synth plays an arpeggio
  ASSERT_EQ(synth.panel.synthOn, 1);
  player().play();
  ASSERT_EQ(PlayingStatus.load(), 2) << "play runs the timeline";
  EXPECT_FALSE(gp().loadSong(":Library:Song:NoSuchSong:"));
  EXPECT_TRUE(player().playing);
  for (int t = 0; t < 8; t++) EXPECT_EQ(engineSample(t), -1) << t;
  EXPECT_EQ(PlayingStatus.load(), 2) << "the timeline runs again, as play starts it";
  EXPECT_NE(RealtimeSynth.arpMode, 0) << "and the arpeggio with it";
  const int32_t from = TimeLine.load();
  runToBeat(2);
  EXPECT_GT(TimeLine.load(), from + 2 * BPM.load()) << "the beat goes on";
}

TEST_F(GroovePanelTest, ALoadedSongPlaysItsFirstGroove) {
  ASSERT_TRUE(loadDemo());
  item(25);  // play, without choosing anything
  ASSERT_TRUE(player().playing);
  // Track t plays the first loop of group t at that loop's own volume and
  // pan, as the song descriptor gives them.
  const JLSongLibrary& lib = gp().library;
  for (int t = 0; t < 8; t++) {
    EXPECT_EQ(engineSample(t), lib.groups[t].sampleIndex[0]) << t;
    EXPECT_EQ(Tracks[t].volume.load(), lib.groups[t].volume[0]) << t;
    EXPECT_EQ(gp().groove.tracks[t].pan, lib.groups[t].pan[0] - 63) << t;
    EXPECT_EQ(value(int16_t(26 + t)), 2) << "track " << t << "'s lamp shows a loop";
  }
  EXPECT_EQ(engineSample(0), 0) << "kick01";
  EXPECT_TRUE(gp().grooveModified) << "it can be stored at once";
}

TEST_F(GroovePanelTest, APopupChoiceReachesTheEngineWithTheLoopsDefaults) {
  ASSERT_TRUE(loadDemo());
  item(25);  // play
  ASSERT_TRUE(player().playing);
  set(79, 5);  // track 2: group 4 (bass)
  item(79);
  // Like the group slider, a group alone gives its first loop, playing at
  // its own volume.
  EXPECT_EQ(gp().groove.tracks[2].group, 4);
  EXPECT_EQ(gp().groove.tracks[2].variant, 0);
  EXPECT_EQ(engineSample(2), 16) << "bass01";
  EXPECT_EQ(Tracks[2].volume.load(), gp().library.groups[4].volume[0]);
  EXPECT_EQ(value(92), 1) << "the loop pop-up shows the first loop";
  EXPECT_EQ(value(28), 2) << "its lamp shows a loop";
  set(92, 3);  // track 2's index pop-up: bass03
  item(92);
  EXPECT_EQ(gp().groove.tracks[2].variant, 2);
  EXPECT_EQ(gp().tracks[2].sampleNo, 18);
  EXPECT_EQ(engineSample(2), 18);
  // The loop's own default volume (the demo library's levelling sets it).
  const int16_t volume = gp().library.groups[4].volume[2];
  EXPECT_GT(volume, 0);
  EXPECT_EQ(gp().groove.tracks[2].volume, volume);
  EXPECT_EQ(gp().groove.tracks[2].pan, 0);
  EXPECT_EQ(Tracks[2].volume.load(), volume);
  EXPECT_EQ(gp().selectedTrack, 2);
  EXPECT_EQ(text(93), "Bass:Sub");
  EXPECT_EQ(value(28), 2);
  EXPECT_TRUE(gp().grooveModified);
  // Entry 0 of the group pop-up: no loop, silent, lamp 1.
  set(79, 0);
  item(79);
  EXPECT_EQ(gp().groove.tracks[2].group, -1);
  EXPECT_EQ(engineSample(2), -1);
  EXPECT_EQ(value(28), 1);
}

TEST_F(GroovePanelTest, SelectingTheSelectedTrackDoesNothingAtAll) {
  ASSERT_TRUE(loadDemo());
  item(9);  // solo: follows the selection (track 0)
  ASSERT_TRUE(gp().tracks[0].soloOn);
  poisonScreen();
  item(1);
  EXPECT_EQ(redrawnPixels(), 0) << "nothing was redrawn";
  EXPECT_TRUE(gp().tracks[0].soloOn);
  EXPECT_EQ(gp().selectedTrack, 0);
  item(2);
  EXPECT_GT(redrawnPixels(), 0);
}

TEST_F(GroovePanelTest, SoloFollowsTheSelectionUntilASoloLampIsToggled) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);  // no such set: track t plays group t
  ASSERT_TRUE(player().playing);
  item(9);
  EXPECT_EQ(value(9), 1);
  for (int t = 0; t < 8; t++) EXPECT_EQ(gp().tracks[t].active, t == 0) << t;
  EXPECT_EQ(engineSample(1), -1);
  item(3);  // select track 2: the solo moves with it
  EXPECT_FALSE(gp().tracks[0].active);
  EXPECT_TRUE(gp().tracks[2].active);
  EXPECT_NE(engineSample(2), -1);
  EXPECT_EQ(value(28), 4) << "soloed lamp";
  EXPECT_EQ(value(26), 3) << "muted lamp";
  item(31);  // the solo lamp of track 5 by hand
  EXPECT_FALSE(gp().soloFollows);
  EXPECT_TRUE(gp().tracks[5].active);
  EXPECT_EQ(gp().selectedTrack, 5) << "a track soloed by hand becomes the selection";
  item(2);  // selecting no longer moves the solo
  EXPECT_EQ(gp().selectedTrack, 1);
  EXPECT_FALSE(gp().tracks[1].active);
  EXPECT_TRUE(gp().tracks[2].active);
  EXPECT_TRUE(gp().tracks[5].active);
  item(9);  // leaving solo: every track by its own lamp
  for (int t = 0; t < 8; t++) EXPECT_TRUE(gp().tracks[t].active) << t;
}

TEST_F(GroovePanelTest, MuteInGroupModeTakesTheWholeGroup) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  item(16);  // group mode
  item(2);
  item(4);  // tracks 1 and 3 grouped
  EXPECT_EQ(value(2), 2);
  EXPECT_EQ(value(4), 2);
  EXPECT_EQ(value(1), 1);
  EXPECT_EQ(text(93), "GROUP");
  item(27);  // lamp of track 1
  EXPECT_FALSE(gp().tracks[1].on);
  EXPECT_FALSE(gp().tracks[3].on);
  EXPECT_TRUE(gp().tracks[2].on);
  EXPECT_EQ(engineSample(3), -1);
  item(17);  // all mode leaves group mode
  EXPECT_FALSE(gp().groupMode);
  EXPECT_EQ(value(16), 0);
  for (int t = 1; t <= 8; t++) EXPECT_EQ(value(int16_t(t)), 2);
}

TEST_F(GroovePanelTest, GroupVolumeIsRelativeToWhatEachMemberHad) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  item(16);
  item(1);
  item(5);  // tracks 0 and 4
  const int16_t v0 = gp().groove.tracks[0].volume, v4 = gp().groove.tracks[4].volume;
  const int16_t v2 = gp().groove.tracks[2].volume;
  EXPECT_EQ(value(34), 64);
  EXPECT_EQ(text(118), "--");
  set(34, 64);
  item(34);
  EXPECT_EQ(gp().groove.tracks[0].volume, v0);
  EXPECT_EQ(gp().groove.tracks[4].volume, v4);
  EXPECT_EQ(value(118), 0);
  set(34, 127);
  item(34);
  EXPECT_EQ(gp().groove.tracks[0].volume, 127) << "saved + 126, clamped";
  EXPECT_EQ(gp().groove.tracks[4].volume, 127);
  EXPECT_EQ(gp().groove.tracks[2].volume, v2) << "not a member";
  EXPECT_EQ(Tracks[0].volume.load(), 127);
  set(34, 40);
  item(34);
  EXPECT_EQ(gp().groove.tracks[0].volume, v0 - 48);
  set(36, -63);
  item(36);
  EXPECT_EQ(gp().groove.tracks[4].pan, -63);
  item(16);  // leaving shows the selected track again
  EXPECT_EQ(value(34), gp().groove.tracks[0].volume);
}

TEST_F(GroovePanelTest, KeepHoldsATrackThroughEveryRandomise) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(0);
  item(4);   // select track 3
  item(60);  // keep it
  EXPECT_EQ(gp().keepCount, 1);
  const JLTrack kept = gp().groove.tracks[3];
  set(34, 11);
  item(34);
  for (int i = 0; i < 20; i++) {
    gp().randomize(int16_t(i % 5));
    EXPECT_EQ(gp().groove.tracks[3].group, kept.group);
    EXPECT_EQ(gp().groove.tracks[3].variant, kept.variant);
    EXPECT_EQ(gp().groove.tracks[3].volume, 11);
  }
  // All eight kept: randomising only starts playback. (Keep in all mode
  // copies the selected track's new state, so the first press clears.)
  item(17);
  item(60);
  EXPECT_EQ(gp().keepCount, 0);
  item(60);
  item(17);
  EXPECT_EQ(gp().keepCount, 8);
  player().stop();
  const JLGroove before = gp().groove;
  gp().randomize(1);
  EXPECT_EQ(memcmp(&before, &gp().groove, sizeof before), 0);
  EXPECT_TRUE(player().playing);
}

TEST_F(GroovePanelTest, RandomSetsFollowTheirMembersAndThePreferenceLimit) {
  ASSERT_TRUE(loadDemo());
  // Set 1 ("Rhythm": kick clap hats perc bass) with the limit at 3.
  jlPrefs.randomLimit[1] = 3;
  item(20);
  EXPECT_EQ(text(86), "Rhythm");
  for (int t = 0; t < 3; t++) {
    EXPECT_EQ(gp().groove.tracks[t].group, t) << t;
    EXPECT_GE(gp().groove.tracks[t].variant, 0);
    EXPECT_LT(gp().groove.tracks[t].variant, 4);
    EXPECT_EQ(gp().groove.tracks[t].pan, gp().library.groups[t].pan[gp().groove.tracks[t].variant] - 63);
  }
  for (int t = 3; t < 8; t++) EXPECT_EQ(gp().groove.tracks[t].group, -1) << t;
  EXPECT_EQ(value(20), 0) << "the button is released when done";
  // Without a limit the set's own count rules: five tracks.
  jlPrefs.randomLimit[1] = 8;
  item(20);
  EXPECT_EQ(gp().groove.tracks[4].group, 4);
  EXPECT_EQ(gp().groove.tracks[5].group, -1);
}

TEST_F(GroovePanelTest, RandomisingASetTheSongLacksGivesEachTrackItsOwnGroup) {
  ASSERT_TRUE(loadDemo("RobotFunk"));  // an old-format song: four generated sets
  const int16_t groups = gp().library.groupCount;
  ASSERT_EQ(groups, 8);
  gp().library.randomSetCount = 2;
  item(18);  // set 3
  EXPECT_EQ(text(86), "Unkn");
  for (int t = 0; t < 8; t++) EXPECT_EQ(gp().groove.tracks[t].group, t);
}

TEST_F(GroovePanelTest, WithoutASongNothingDividesByZero) {
  // No song loaded: no groups, no loops.
  set(85, 3);
  item(85);
  set(62, 5);
  item(62);
  gp().randomize(0);
  gp().randomize(3);
  item(10);
  for (int t = 0; t < 8; t++) EXPECT_EQ(gp().groove.tracks[t].group, -1);
  // A group whose loops are all gone.
  ASSERT_TRUE(loadDemo());
  gp().library.groups[2].count = 0;
  item(3);
  item(10);  // empty track 2
  set(79, 3);
  item(79);
  set(62, 2);
  item(62);
  EXPECT_EQ(gp().groove.tracks[2].group, -1) << "a group without loops leaves the track empty";
  EXPECT_EQ(gp().groove.tracks[2].variant, -1);
  EXPECT_EQ(value(79), 0);
}

// An emptied track looks like the unused track of a freshly loaded song: no
// volume or pan of the loop that is gone, in the numbers or on the sliders.
TEST_F(GroovePanelTest, EmptyingATrackClearsItsVolumeAndPan) {
  ASSERT_TRUE(loadDemo());
  item(2);  // track 1
  JLTrack& tr = gp().groove.tracks[1];
  ASSERT_GE(tr.group, 0);
  tr.volume = 106;
  tr.pan = 3;
  set(34, 106);
  item(34);
  set(36, 3);
  item(36);
  ASSERT_EQ(text(118), "106");
  item(10);  // empty it
  const JLTrack unused;
  EXPECT_EQ(tr.group, -1);
  EXPECT_EQ(tr.volume, unused.volume);
  EXPECT_EQ(tr.pan, unused.pan);
  EXPECT_EQ(text(118), std::to_string(unused.volume));
  EXPECT_EQ(text(119), std::to_string(unused.pan));
  EXPECT_EQ(value(34), unused.volume);
  EXPECT_EQ(value(36), unused.pan);
  // A loop chosen afterwards brings its own volume and pan again.
  set(85, 2);
  item(85);
  ASSERT_EQ(tr.group, 2);
  ASSERT_EQ(tr.variant, 0);
  EXPECT_EQ(tr.volume, gp().library.groups[tr.group].volume[tr.variant]);
}

TEST_F(GroovePanelTest, BrowsersWrapAndEmptyingInGroupModeMarksModified) {
  ASSERT_TRUE(loadDemo());
  item(3);  // track 2
  set(85, 31);  // the browser's range is the song's groups
  EXPECT_EQ(value(85), 8);
  set(85, 4);
  item(85);
  EXPECT_EQ(gp().groove.tracks[2].group, 4);
  EXPECT_EQ(gp().groove.tracks[2].variant, 0);
  set(62, 2);
  item(62);
  EXPECT_EQ(gp().groove.tracks[2].variant, 2);
  gp().grooveModified = 0;
  item(16);  // group mode with no member
  const JLGroove before = gp().groove;
  item(10);
  EXPECT_EQ(memcmp(&before, &gp().groove, sizeof before), 0);
  EXPECT_TRUE(gp().grooveModified);
}

TEST_F(GroovePanelTest, SyncModeMakesChangesWaitForTheNextCycle) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  runToBeat(3);
  item(15);
  EXPECT_EQ(value(15), 1);
  EXPECT_TRUE(gp().syncMode);
  EXPECT_EQ(engine->syncMode, 1);
  const int16_t other = int16_t((gp().groove.tracks[0].variant + 1) % 4);
  set(94, short(other + 1));  // track 0's index pop-up: another kick
  item(94);
  EXPECT_EQ(Tracks[0].pendingVariant.load(), other);
  EXPECT_EQ(Tracks[0].syncPoint.load(), 32 * BPM.load());
  item(15);
  EXPECT_EQ(engine->syncMode, 0);
}

}  // namespace

namespace {

TEST_F(GroovePanelTest, AForgottenSongLeavesNothingOfItOnScreenOrInTheEngine) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(0);
  item(12);  // a groove in the bank
  ASSERT_TRUE(player().playing);
  gp().forgetSong();
  EXPECT_FALSE(player().playing);
  EXPECT_EQ(gp().songFolder[0], 0);
  EXPECT_EQ(text(89), "");
  EXPECT_EQ(NumVTracks.load(), 0);
  EXPECT_EQ(gp().library.groupCount, 0);
  for (int t = 0; t < 8; t++) EXPECT_EQ(gp().groove.tracks[t].group, -1) << t;
  item(25);  // PLAY now plays nothing
  for (int t = 0; t < 8; t++) EXPECT_EQ(engineSample(t), -1) << t;
  item(24);
  auto* pop = dynamic_cast<QXpopupControl*>(gp().control(77));
  ASSERT_NE(pop, nullptr);
  EXPECT_EQ(pop->count, 1) << "only \" -\" is left";
  EXPECT_EQ(text(77), " -");
  EXPECT_EQ(gp().sequence.grooveCount, 0) << "the bank held grooves of that song";
  // A song loads again as usual.
  ASSERT_TRUE(loadDemo());
  EXPECT_EQ(NumVTracks.load(), 36);
}

}  // namespace

// With the preferences' default limits (4, 5, 6, 7 tracks for sets 0-3),
// every demo song's "Full" set fills more tracks than any other set, and
// each set fills as many as its members and its limit allow.
TEST_F(GroovePanelTest, TheFullRandomSetFillsTheMostTracksAtTheDefaultLimits) {
  const int16_t limits[4] = {4, 5, 6, 7};
  for (int s = 0; s < 4; s++) jlPrefs.randomLimit[s] = limits[s];
  int songsWithFull = 0;
  for (const char* song : {"NeonBoulevard", "StarlightRun", "IronPulse", "RobotFunk"}) {
    ASSERT_TRUE(loadDemo(song)) << song;
    int filled[4] = {0, 0, 0, 0}, full = -1;
    for (short set = 0; set < gp().library.randomSetCount && set < 4; set++) {
      gp().randomize(set);
      for (const JLTrack& t : gp().groove.tracks) filled[set] += t.group >= 0;
      const JLRandomSet& rs = gp().library.randomSets[set];
      EXPECT_EQ(filled[set], std::min<int>(std::min<int>(rs.count, 8), limits[set])) << song << " set " << set;
      if (std::string(rs.name) == "Full") full = set;
    }
    if (full < 0) continue;
    songsWithFull++;
    EXPECT_EQ(filled[full], 7) << song;
    for (int set = 0; set < gp().library.randomSetCount && set < 4; set++)
      EXPECT_LE(filled[set], filled[full]) << song << " set " << set;
  }
  EXPECT_EQ(songsWithFull, 3);
}
