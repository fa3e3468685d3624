// The virtual mixer over the real groove panel: going in keeps the music
// playing, RESTORE GROOVES brings back the groove that played, with its
// mutes, the bank, its selected ball and the playing.
#include <cstring>

#include "framework/platform/uloQuickTime.h"
#include "screens/JLLoadPanel.h"
#include "screens/JLVMixPanel.h"
#include "song/JLDiskMix.h"
#include "tests/screens/grooveTestSupport.h"
#include "tests/screens/loadTestSupport.h"

namespace {

int engineSample(int t) { return Tracks[t].currentVariant.load(); }

class MixerOverGroove : public groovetest::GroovePanelTest {
 protected:
  void SetUp() override {
    GroovePanelTest::SetUp();
    QXScreen.show(0);
    mixer = std::make_unique<mixtest::Mounted<JLVMixPanel>>(5, 1, false);
    JL_ConnectGroovePanel(panel.get(), &mixer->panel);
  }
  void TearDown() override {
    if (jlPlayer) jlPlayer->stop();
    mixer.reset();
    GroovePanelTest::TearDown();
  }
  std::unique_ptr<mixtest::Mounted<JLVMixPanel>> mixer;

  // The song browser (screen entry 6) over the panels, on the demo library.
  struct Songs {
    loadtest::Mounted<JLLoadPanel> m{6, -1, 6};
    Songs() { m.connect(); }
    ~Songs() { uloQt_PlaySoundStop(); }
    // Clicks the first listed row of a song other than `not`.
    void previewOther(const char* not_) {
      for (int j = 0; j < JLLoadPanel::kRows && j < m.panel.songCount; j++)
        if (strcmp(m.panel.songs[m.panel.listFirst + j].folderName, not_) != 0) {
          m.click(JLLoadPanel::listItems[j]);
          return;
        }
      ADD_FAILURE() << "no other song listed";
    }
  };
  static bool sameBank(const JLSequence& a, const JLSequence& b) {
    return a.grooveCount == b.grooveCount && a.stepCount == b.stepCount &&
           memcmp(a.grooves, b.grooves, sizeof(JLGroove) * size_t(a.grooveCount)) == 0 &&
           memcmp(a.steps, b.steps, sizeof(int16_t) * size_t(a.stepCount)) == 0;
  }
};

TEST_F(MixerOverGroove, RestoreGroovesBringsBackThePlayingGroove) {
  ASSERT_TRUE(loadDemo());
  item(25);
  item(12);  // one groove in the bank
  item(29);  // track 3 muted
  ASSERT_TRUE(player().playing);
  const JLGroove before = gp().groove;
  int samples[8];
  for (int t = 0; t < 8; t++) samples[t] = engineSample(t);
  ASSERT_EQ(samples[3], -1);
  ASSERT_GE(samples[0], 0);

  item(63);  // the mixer
  ASSERT_TRUE(QXScreen.isShown(1));
  EXPECT_TRUE(player().playing) << "going into the mixer keeps the music playing";
  EXPECT_EQ(engineSample(0), samples[0]);
  ASSERT_GT(gp().library.styleCount, 0);
  mixer->click(1);  // mix 1 plays: its grooves replace the working groove
  EXPECT_TRUE(player().sequenceMode);
  EXPECT_NE(memcmp(&gp().groove, &before, sizeof before), 0);

  mixer->click(28);  // RESTORE GROOVES
  EXPECT_TRUE(QXScreen.isShown(0));
  EXPECT_EQ(memcmp(&gp().groove, &before, sizeof before), 0);
  EXPECT_EQ(gp().sequence.grooveCount, 1);
  EXPECT_EQ(gp().sequence.stepCount, 0);
  EXPECT_EQ(gp().grooveRow.selected, 0) << "the stored groove's ball is selected again";
  EXPECT_TRUE(player().playing) << "what played before plays again";
  EXPECT_FALSE(player().sequenceMode);
  for (int t = 0; t < 8; t++) EXPECT_EQ(engineSample(t), samples[t]) << t;
  EXPECT_EQ(value(29), 3) << "track 3's lamp still shows it muted";
}

TEST_F(MixerOverGroove, RestoringAfterAStoppedEntryLeavesItStopped) {
  ASSERT_TRUE(loadDemo());
  const JLGroove before = gp().groove;
  item(63);
  EXPECT_FALSE(player().playing);
  mixer->click(1);
  mixer->click(28);
  EXPECT_FALSE(player().playing);
  EXPECT_EQ(memcmp(&gp().groove, &before, sizeof before), 0);
}

TEST_F(MixerOverGroove, KeepThisMixPlaysTheKeptMixOnOnlyWhenItPlayed) {
  ASSERT_TRUE(loadDemo());
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t) -> int16_t { return 1; });  // Yes, keep it
  item(63);
  ASSERT_GT(gp().library.styleCount, 0);
  mixer->click(1);  // mix 1 plays as a sequence
  ASSERT_TRUE(player().playing);
  ASSERT_TRUE(player().sequenceMode);
  const JLGroove playing = gp().groove;
  mixer->click(9);  // KEEP THIS MIX
  EXPECT_TRUE(QXScreen.isShown(0));
  EXPECT_TRUE(player().playing) << "the kept mix plays on in the groove panel";
  EXPECT_TRUE(player().sequenceMode);
  EXPECT_EQ(player().target(), static_cast<JLPlayCommon*>(&gp()));
  EXPECT_EQ(memcmp(&gp().groove, &playing, sizeof playing), 0) << "from the step that played";
  ASSERT_GE(gp().grooveRow.selected, 0);
  EXPECT_EQ(memcmp(&gp().sequence.grooves[gp().grooveRow.selected], &playing, sizeof playing), 0)
      << "the ball of the groove heard is selected";
  for (int t = 0; t < 8; t++)
    EXPECT_EQ(engineSample(t), gp().tracks[t].active && gp().groove.tracks[t].group >= 0 ? gp().tracks[t].sampleNo : -1)
        << t;

  // Stopped in the mixer: the kept mix waits for PLAY.
  item(63);
  mixer->click(2);
  mixer->click(13);  // STOP
  ASSERT_FALSE(player().playing);
  mixer->click(9);
  EXPECT_TRUE(QXScreen.isShown(0));
  EXPECT_FALSE(player().playing);
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t b) -> int16_t { return b <= 0 ? 1 : b == 1 ? 2 : 3; });
}

// KEEP THIS MIX at once, before a mix was started: the groove still
// playing is the user's, which the kept mix replaced, so the kept mix starts.
TEST_F(MixerOverGroove, KeepRightAfterOpeningTheMixerPlaysTheKeptMix) {
  ASSERT_TRUE(loadDemo());
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t) -> int16_t { return 1; });  // Yes, keep it
  item(25);
  ASSERT_TRUE(player().playing);
  item(63);
  ASSERT_FALSE(player().sequenceMode) << "the user's groove plays on in the mixer";
  mixer->click(9);  // KEEP THIS MIX
  EXPECT_TRUE(QXScreen.isShown(0));
  EXPECT_TRUE(player().playing);
  EXPECT_TRUE(player().sequenceMode) << "the kept mix plays";
  ASSERT_GT(gp().sequence.stepCount, 0);
  ASSERT_GE(gp().grooveRow.selected, 0) << "a ball of the kept mix is selected";
  EXPECT_EQ(memcmp(&gp().sequence.grooves[gp().grooveRow.selected], &gp().groove, sizeof gp().groove), 0)
      << "the selected ball holds the groove heard";
  for (int t = 0; t < 8; t++)
    EXPECT_EQ(engineSample(t), gp().tracks[t].active && gp().groove.tracks[t].group >= 0 ? gp().tracks[t].sampleNo : -1)
        << t;
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t b) -> int16_t { return b <= 0 ? 1 : b == 1 ? 2 : 3; });
}

TEST_F(MixerOverGroove, ASongLoadedFromTheMixerRestoresToThatSong) {
  ASSERT_TRUE(loadDemo());
  item(12);
  item(63);
  ASSERT_TRUE(loadDemo("IronPulse"));  // SONGS from the mixer
  JLGroove first;
  JL_DefaultGroove(gp().library, first);
  mixer->click(28);
  EXPECT_EQ(gp().sequence.grooveCount, 0) << "the other song's grooves do not come back";
  EXPECT_EQ(memcmp(&gp().groove, &first, sizeof first), 0);
}

TEST_F(MixerOverGroove, RestoreAfterASongPreviewInTheMixerBringsBackTheUsersWork) {
  ASSERT_TRUE(loadDemo());
  item(25);
  item(12);
  gp().randomize(2);
  item(12);
  item(70);  // two grooves, both in the sequence
  item(29);  // track 3 muted
  ASSERT_TRUE(player().playing);
  const JLGroove before = gp().groove;
  const JLSequence bank = gp().sequence;
  ASSERT_EQ(bank.grooveCount, 2);
  ASSERT_EQ(bank.stepCount, 2);

  item(63);
  mixer->click(2);  // mix 2 plays
  const JLSequence mix = gp().sequence;
  ASSERT_TRUE(player().sequenceMode);
  {
    Songs songs;
    songs.previewOther("NeonBoulevard");
    EXPECT_NE(std::string(gp().songFolder).find(":Library:Song:"), std::string::npos);
    EXPECT_TRUE(player().playing);
    EXPECT_TRUE(gep->playing) << "the first click sounds: the engine plays the previewed groove";
    EXPECT_TRUE(gp().bankUnsaved()) << "the user's own bank, taken aside by the mixer, counts";
    songs.m.click(9);  // X
    EXPECT_FALSE(QXScreen.isShown(6));
  }
  EXPECT_TRUE(QXScreen.isShown(1));
  EXPECT_NE(std::string(gp().songFolder).find("NeonBoulevard"), std::string::npos);
  EXPECT_TRUE(sameBank(gp().sequence, mix)) << "the mix that played plays on";
  EXPECT_EQ(mixer->panel.current, 1);
  EXPECT_TRUE(sameBank(mixer->panel.mixes[1], mix)) << "the mixer keeps its mixes";
  EXPECT_TRUE(player().playing);
  EXPECT_TRUE(player().sequenceMode);

  mixer->click(28);  // RESTORE GROOVES
  EXPECT_TRUE(QXScreen.isShown(0));
  EXPECT_TRUE(sameBank(gp().sequence, bank)) << "bank " << gp().sequence.grooveCount << " steps "
                                             << gp().sequence.stepCount;
  EXPECT_EQ(memcmp(&gp().groove, &before, sizeof before), 0);
  EXPECT_EQ(gp().tracks[3].active, 0);
  EXPECT_TRUE(player().playing);
  EXPECT_FALSE(player().sequenceMode);
}

TEST_F(MixerOverGroove, TheFirstPreviewClickWhileMusicPlaysIsHeard) {
  ASSERT_TRUE(loadDemo());
  item(25);
  ASSERT_TRUE(player().playing);
  ASSERT_TRUE(gep->playing);
  Songs songs;
  songs.previewOther("NeonBoulevard");
  EXPECT_EQ(songs.m.panel.lastPreview, 2);
  EXPECT_TRUE(player().playing);
  EXPECT_TRUE(gep->playing);
  int sounding = 0;
  for (int t = 0; t < 8; t++) sounding += engineSample(t) >= 0;
  EXPECT_GT(sounding, 0) << "the previewed groove's loops are started";
}

TEST_F(MixerOverGroove, KeepThisMixAsksOnlyWhenGroovesWouldBeLostAndTheNameBoxNamesTheMix) {
  ASSERT_TRUE(loadDemo("IronPulse"));
  item(63);
  ASSERT_EQ(gp().library.styleCount, 4);
  EXPECT_EQ(mixer->text(38), gp().library.styles[0].name) << "the mix in use is named on showing";
  mixer->click(3);
  EXPECT_EQ(mixer->text(38), gp().library.styles[2].name);
  {
    loadtest::Answers no({2});
    mixer->click(9);  // KEEP THIS MIX: the bank from before is empty
    EXPECT_TRUE(loadtest::Answers::texts().empty()) << "nothing to lose, nothing asked";
  }
  EXPECT_TRUE(QXScreen.isShown(0));
  EXPECT_GT(gp().sequence.grooveCount, 0) << "the mix is kept";

  gp().sequence = JLSequence();
  item(12);  // a groove of the user's own in the bank
  ASSERT_EQ(gp().sequence.grooveCount, 1);
  item(63);
  {
    loadtest::Answers no({2});
    mixer->click(9);
    EXPECT_EQ(loadtest::Answers::texts().size(), 1u) << "an unsaved groove would be replaced: asked";
  }
  EXPECT_TRUE(QXScreen.isShown(1)) << "No stays in the mixer";
}

}  // namespace
