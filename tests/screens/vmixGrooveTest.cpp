// The virtual mixer over the real groove panel: going in keeps the music
// playing, RESTORE GROOVES brings back the groove that played, with its
// mutes, the bank, its selected ball and the playing.
#include <cstring>

#include "screens/JLVMixPanel.h"
#include "song/JLDiskMix.h"
#include "tests/screens/grooveTestSupport.h"

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

}  // namespace
