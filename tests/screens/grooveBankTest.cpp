// The groove bank and the sequence: storing, ids, dragging balls into,
// within and out of the rows, clearing, scrolling and sequence play
// stepping on the 32-beat boundaries of the engine's schedule.
#include <chrono>
#include <cstring>
#include <thread>

#include "framework/intl/JLInternational.h"
#include "framework/text/uloFont.h"
#include "screens/JLDraggerCtrl.h"
#include "screens/JLLoopTunerPanel.h"
#include "tests/screens/grooveTestSupport.h"

namespace {

using groovetest::ballX;
using groovetest::ballY;
using groovetest::GroovePanelTest;
using groovetest::Mouse;

class GrooveBank : public GroovePanelTest {
 protected:
  // Stores a groove whose track 0 plays kick variant `kick` (so grooves
  // can be told apart by sound and by model).
  void storeKick(int kick) {
    item(1);
    if (gp().groove.tracks[0].group != 0) {
      set(77, 1);
      item(77);
    }
    set(94, short(kick + 1));
    item(94);
    ASSERT_TRUE(gp().grooveModified);
    item(12);
  }
  std::vector<int> ids() {
    std::vector<int> v;
    for (int i = 0; i < gp().sequence.grooveCount; i++) v.push_back(gp().sequence.grooves[i].id);
    return v;
  }
  std::vector<int> steps() {
    std::vector<int> v;
    for (int i = 0; i < gp().sequence.stepCount; i++) v.push_back(gp().sequence.steps[i]);
    return v;
  }
  // Drags bank or sequence ball `ball` of `row` to a window point.
  void drag(int row, int ball, int x, int y) {
    Mouse m;
    m.dragTo(ballX(ball), ballY(row), x, y);
    press(ballX(ball), ballY(row));
  }
  int shownNumber(int16_t itemNo) { return value(itemNo); }
};

TEST_F(GrooveBank, StoringNeedsAChangeAndIdsFollowTheLargest) {
  ASSERT_TRUE(loadDemo());
  storeKick(0);
  item(12);  // no change since: nothing stored
  storeKick(1);
  storeKick(2);
  EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(shownNumber(101), 1);
  EXPECT_EQ(shownNumber(103), 3);
  EXPECT_EQ(shownNumber(104), -1);
  EXPECT_EQ(gp().control(103)->get(jlMsgBallHighlight), 1) << "the new groove is selected";
  EXPECT_EQ(gp().groove.id, 3);

  // Dragging the largest id out of the rows removes it; its id is given out
  // again.
  drag(0, 2, 320, 200);
  EXPECT_EQ(ids(), (std::vector<int>{1, 2}));
  storeKick(3);
  EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3}));
  // Removing one below the largest does not free its id.
  drag(0, 1, 320, 200);
  storeKick(1);
  EXPECT_EQ(ids(), (std::vector<int>{1, 3, 4}));
}

TEST_F(GrooveBank, StoringAGrooveTheBankHoldsShowsItsBallAndSaysSo) {
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
  ASSERT_TRUE(loadDemo());
  storeKick(0);
  storeKick(1);
  // Edited back to what groove 1 holds: nothing new to store.
  storeKick(0);
  EXPECT_EQ(ids(), (std::vector<int>{1, 2}));
  EXPECT_EQ(text(99), "Same as groove 1");
  EXPECT_EQ(gp().control(101)->get(jlMsgBallHighlight), 1);
  EXPECT_EQ(gp().control(102)->get(jlMsgBallHighlight), 0);
  // A groove played from the bank, stored again, names its own ball.
  drag(0, 1, ballX(1) + 1, ballY(0));
  ASSERT_EQ(gp().groove.id, 2);
  item(12);
  EXPECT_EQ(ids(), (std::vector<int>{1, 2}));
  EXPECT_EQ(text(99), "Same as groove 2");
  EXPECT_EQ(gp().control(102)->get(jlMsgBallHighlight), 1);
  // A muted track is not stored, so muting a track of groove 2 makes a
  // groove of its own.
  item(26);
  item(12);
  EXPECT_EQ(ids(), (std::vector<int>{1, 2, 3}));
}

TEST_F(GrooveBank, AFullBankSaysSoAndTheAnswersFitTheStatusLineInEveryLanguage) {
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
  ASSERT_TRUE(loadDemo());
  item(1);
  for (int v = 0; v < 64; v++) {
    set(34, short(v));
    item(34);
    item(12);
  }
  ASSERT_EQ(gp().sequence.grooveCount, 64);
  set(34, 100);
  item(34);
  item(12);
  EXPECT_EQ(gp().sequence.grooveCount, 64);
  EXPECT_EQ(text(99), "The bank is full.");
  // Each language's answers fit the status line, with the largest number.
  const int room = gp().control(99)->rect.width() - 4;
  for (int16_t language : {9, 7, 12, 16}) {
    jlIntl.startWithLanguage(QXCasts.resFile, language);
    std::string inBank = jlIntl.message(kJLMsgGrooveInBank).c_str();
    ASSERT_NE(inBank.find("%d"), std::string::npos) << language;
    inBank.replace(inBank.find("%d"), 2, "64");
    EXPECT_LE(QXFont.stringWidth(inBank.c_str()), room) << inBank;
    const std::string full = jlIntl.message(kJLMsgBankFull).c_str();
    EXPECT_FALSE(full.empty()) << language;
    EXPECT_LE(QXFont.stringWidth(full.c_str()), room) << full;
  }
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
}

TEST_F(GrooveBank, OnlySoundingTracksAreStored) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  item(29);  // mute track 3
  item(12);
  const JLGroove& stored = gp().sequence.grooves[0];
  EXPECT_EQ(stored.tracks[3].group, -1);
  EXPECT_EQ(stored.tracks[3].volume, 0);
  EXPECT_EQ(stored.tracks[2].group, 2);
}

TEST_F(GrooveBank, AShortDragIsAClickThatPlaysTheGroove) {
  ASSERT_TRUE(loadDemo());
  storeKick(0);
  storeKick(3);
  drag(0, 0, ballX(0) + 2, ballY(0) + 2);
  EXPECT_EQ(gp().groove.id, 1);
  EXPECT_EQ(gp().groove.tracks[0].variant, 0);
  EXPECT_TRUE(player().playing);
  EXPECT_FALSE(gp().grooveModified);
  EXPECT_EQ(ids(), (std::vector<int>{1, 2})) << "nothing removed";
}

TEST_F(GrooveBank, DroppingOnTheSequenceInsertsAndBeyondTheEndAppends) {
  ASSERT_TRUE(loadDemo());
  storeKick(0);
  storeKick(1);
  storeKick(2);
  drag(0, 2, ballX(0), ballY(1));  // groove 3 to the first step
  EXPECT_EQ(steps(), (std::vector<int>{3}));
  drag(0, 0, ballX(6), ballY(1));  // far beyond the last step: appended
  EXPECT_EQ(steps(), (std::vector<int>{3, 1}));
  drag(0, 1, ballX(1), ballY(1));  // before step 1
  EXPECT_EQ(steps(), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(gp().sequenceRow.selected, 1) << "stopped: the inserted step is selected";
  EXPECT_EQ(shownNumber(110), 2);
  // Within the sequence: the first step moves to the end.
  drag(1, 0, ballX(2), ballY(1));
  EXPECT_EQ(steps(), (std::vector<int>{2, 1, 3}));
  // Out of the rows: the step goes.
  drag(1, 1, 320, 200);
  EXPECT_EQ(steps(), (std::vector<int>{2, 3}));
  // Removing a bank groove removes its steps.
  drag(0, 2, 320, 200);
  EXPECT_EQ(steps(), (std::vector<int>{2}));
}

// A click whose button comes up at the first poll of the tracking loop.
bool releasedAtOnce() {
  uloGlo.buttonDown = 0;
  return false;
}

void pressCentre(JLGroovePanel& gp, int16_t n, int32_t after) { mixtest::pressCentreOf(gp.control(n)->rect, after); }

TEST_F(GrooveBank, ADoubleClickOnSequencePlayLeavesTheSequencePlaying) {
  ASSERT_TRUE(loadDemo());
  storeKick(0);
  storeKick(1);
  item(70);  // add all
  QXScreen.show(0);
  ULO_SetTrackingSource(releasedAtOnce);
  auto clickOn = [&](int16_t n, int32_t after) { pressCentre(gp(), n, after); };
  clickOn(71, 100);
  clickOn(71, 10);
  EXPECT_TRUE(player().playing && player().sequenceMode) << "the second press must not stop it";
  EXPECT_EQ(value(71), 1);
  // A click of its own still stops it, and a double click starts it again.
  clickOn(71, 100);
  EXPECT_FALSE(player().playing);
  EXPECT_EQ(value(71), 0);
  clickOn(71, 100);
  clickOn(71, 10);
  EXPECT_TRUE(player().playing && player().sequenceMode);
  // Only a second press on the same button is passed over: Stop and then
  // at once the sequence button starts it.
  clickOn(24, 100);
  ASSERT_FALSE(player().playing);
  clickOn(71, 10);
  EXPECT_TRUE(player().playing && player().sequenceMode);
  EXPECT_EQ(value(71), 1);
  // Play only starts, so a double click on it plays the groove.
  clickOn(24, 100);
  clickOn(25, 100);
  clickOn(25, 10);
  EXPECT_TRUE(player().playing);
  EXPECT_FALSE(player().sequenceMode);
  ULO_SetTrackingSource(nullptr);
}

// SYNTH opens or closes the synth panel, TUNER opens the loop tuner: a
// double click on either leaves the panel open, as one click does.
TEST_F(GrooveBank, ADoubleClickOnSynthOrTunerLeavesThePanelOpen) {
  groovetest::MountedSynthPanel synth;
  mixtest::Mounted<JLLoopTunerPanel> tuner(14, 4, false);
  QXScreen.show(0);
  ULO_SetTrackingSource(releasedAtOnce);
  pressCentre(gp(), 14, 100);
  pressCentre(gp(), 14, 10);
  EXPECT_TRUE(QXScreen.isShown(2)) << "the second press must not close it";
  pressCentre(gp(), 14, 100);
  EXPECT_FALSE(QXScreen.isShown(2)) << "a click of its own still closes it";
  pressCentre(gp(), 59, 100);
  pressCentre(gp(), 59, 10);
  EXPECT_TRUE(QXScreen.isShown(4));
  tuner.panel.close();
  ULO_SetTrackingSource(nullptr);
}

TEST_F(GrooveBank, InsertingBeforeThePlayingStepKeepsItPlaying) {
  ASSERT_TRUE(loadDemo());
  storeKick(0);
  storeKick(1);
  storeKick(2);
  item(70);  // add all
  EXPECT_EQ(steps(), (std::vector<int>{1, 2, 3}));
  gp().sequenceRow.select(1);
  item(71);  // play the sequence from the selected step
  ASSERT_TRUE(player().playing && player().sequenceMode);
  EXPECT_EQ(gp().groove.id, 2);
  drag(0, 2, ballX(0), ballY(1));  // groove 3 before everything
  EXPECT_EQ(steps(), (std::vector<int>{3, 1, 2, 3}));
  EXPECT_EQ(gp().sequenceRow.selected, 2);
  EXPECT_EQ(gp().sequence.steps[gp().sequenceRow.selected], 2) << "the same step still plays";
  // Removing a step before it while playing keeps it too.
  drag(1, 0, 320, 200);
  EXPECT_EQ(steps(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(gp().sequenceRow.selected, 1);
}

// A ball dragged into the sequence is not chosen: the bank's highlight
// stays on the ball of the groove heard and shown, playing or stopped.
TEST_F(GrooveBank, DraggingABallIntoTheSequenceLeavesTheHighlightOnTheGrooveHeard) {
  ASSERT_TRUE(loadDemo());
  storeKick(0);
  storeKick(1);
  storeKick(2);
  auto highlighted = [&] {
    std::vector<int> lit;
    for (int i = 0; i < 3; i++) {
      short v = 0;
      gp().control(gp().grooveRow.items[i])->getValue(jlMsgBallHighlight, v);
      if (v) lit.push_back(i);
    }
    return lit;
  };
  drag(0, 0, ballX(0) + 2, ballY(0) + 2);  // a click: groove 1 plays
  ASSERT_EQ(gp().groove.id, 1);
  ASSERT_TRUE(player().playing);
  drag(0, 2, ballX(0), ballY(1));  // groove 3 into the sequence
  EXPECT_EQ(steps(), (std::vector<int>{3}));
  EXPECT_EQ(gp().groove.id, 1) << "groove 1 still plays";
  EXPECT_EQ(gp().grooveRow.selected, 0);
  EXPECT_EQ(highlighted(), (std::vector<int>{0}));
  player().stop();
  drag(0, 1, ballX(1), ballY(1));
  EXPECT_EQ(steps(), (std::vector<int>{3, 2}));
  EXPECT_EQ(gp().groove.id, 1);
  EXPECT_EQ(highlighted(), (std::vector<int>{0}));
}

TEST_F(GrooveBank, ClearingEmptiesTheStepsThenAsksBeforeTheBank) {
  ASSERT_TRUE(loadDemo());
  storeKick(0);
  storeKick(1);
  item(70);
  static int asked;
  static int16_t answer;
  asked = 0;
  answer = 2;
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t) -> int16_t {
    asked++;
    return answer;
  });
  item(68);
  EXPECT_EQ(gp().sequence.stepCount, 0);
  EXPECT_EQ(gp().sequence.grooveCount, 2);
  EXPECT_EQ(asked, 0);
  item(68);  // answered no
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(gp().sequence.grooveCount, 2);
  answer = 1;
  item(68);
  EXPECT_EQ(gp().sequence.grooveCount, 0);
  EXPECT_EQ(shownNumber(101), -1);
  storeKick(2);
  uloGlo.shift = 1;  // with Shift: no question
  item(68);
  uloGlo.shift = 0;
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(gp().sequence.grooveCount, 0);
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t b) -> int16_t { return b <= 0 ? 1 : b == 1 ? 2 : 3; });
}

TEST_F(GrooveBank, RowsScrollWithinTheirLists) {
  ASSERT_TRUE(loadDemo());
  for (int i = 0; i < 3; i++) storeKick(i % 4);
  item(74);
  item(74);
  EXPECT_EQ(gp().grooveRow.first, 0);
  for (int i = 3; i < 10; i++) {
    gp().randomize(4);
    item(12);
  }
  ASSERT_EQ(gp().sequence.grooveCount, 10);
  for (int i = 0; i < 6; i++) item(74);
  EXPECT_EQ(gp().grooveRow.first, 3) << "one empty ball may show at the end";
  EXPECT_EQ(shownNumber(108), -1);
  EXPECT_EQ(shownNumber(101), 4);
  for (int i = 0; i < 6; i++) item(73);
  EXPECT_EQ(gp().grooveRow.first, 0);
  // Selecting a groove beyond the visible balls brings it into view.
  gp().grooveRow.select(9);
  EXPECT_EQ(gp().grooveRow.first, 2);
  EXPECT_EQ(gp().control(108)->get(jlMsgBallHighlight), 1);
}

TEST_F(GrooveBank, SequencePlayStepsOnEveryThirtyTwoBeatBoundary) {
  ASSERT_TRUE(loadDemo());
  storeKick(0);
  storeKick(1);
  storeKick(2);
  item(70);
  item(71);
  ASSERT_TRUE(player().sequenceMode);
  EXPECT_EQ(value(71), 1);
  EXPECT_EQ(Tracks[0].currentVariant.load(), 0) << "step 1 plays kick01 at once";
  const int32_t cycle = 32 * BPM.load();
  runToBeat(22);
  EXPECT_EQ(Tracks[0].pendingVariant.load(), -2) << "nothing waits before beat 23";
  runToBeat(23);
  EXPECT_EQ(gp().sequenceRow.selected, 1);
  EXPECT_EQ(Tracks[0].pendingVariant.load(), 1) << "step 2 waits for the boundary";
  EXPECT_EQ(Tracks[0].syncPoint.load(), cycle);
  EXPECT_FALSE(gp().syncMode) << "sync mode only for the change itself";
  runToBeat(23, 1);
  EXPECT_EQ(Tracks[0].pendingVariant.load(), 2);
  EXPECT_EQ(Tracks[0].syncPoint.load(), 2 * cycle);
  EXPECT_EQ(player().cycleCount, 1);
  runToBeat(23, 2);
  EXPECT_EQ(gp().sequenceRow.selected, 0) << "wraps to the first step";
  EXPECT_EQ(Tracks[0].pendingVariant.load(), 0);
  EXPECT_EQ(Tracks[0].syncPoint.load(), 3 * cycle);
  item(71);
  EXPECT_FALSE(player().playing);
  EXPECT_EQ(value(71), 0);
}

TEST_F(GrooveBank, AnEmptySequenceDoesNotPlay) {
  ASSERT_TRUE(loadDemo());
  static int notified;
  notified = 0;
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t) -> int16_t {
    notified++;
    return 1;
  });
  item(71);
  EXPECT_EQ(notified, 1);
  EXPECT_FALSE(player().playing);
  EXPECT_EQ(value(71), 0);
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t b) -> int16_t { return b <= 0 ? 1 : b == 1 ? 2 : 3; });
  // Emptying the sequence while it plays stops the player.
  storeKick(0);
  item(70);
  item(71);
  ASSERT_TRUE(player().playing);
  item(68);
  EXPECT_FALSE(player().playing);
}

TEST_F(GrooveBank, RewriteKeepsTheIdSoStepsPlayTheNewContent) {
  ASSERT_TRUE(loadDemo());
  storeKick(0);
  storeKick(1);
  item(70);
  drag(0, 0, ballX(0), ballY(0));  // click groove 1
  item(69);  // no change: nothing rewritten
  set(94, 4);
  item(94);
  item(69);
  EXPECT_EQ(gp().sequence.grooves[0].id, 1);
  EXPECT_EQ(gp().sequence.grooves[0].tracks[0].variant, 3);
  EXPECT_EQ(gp().sequence.grooves[1].tracks[0].variant, 1);
  EXPECT_EQ(steps(), (std::vector<int>{1, 2}));
}

TEST_F(GrooveBank, AVirtualMixFillsBankAndSequenceFromAStyle) {
  ASSERT_TRUE(loadDemo());
  storeKick(0);
  const JLMixStyle& st = gp().library.styles[0];
  gp().setupVMix(0);
  EXPECT_EQ(gp().sequence.grooveCount, st.rowCount);
  EXPECT_EQ(gp().sequence.stepCount, st.rowCount);
  for (int r = 0; r < st.rowCount; r++) {
    EXPECT_EQ(gp().sequence.grooves[r].id, r + 1);
    EXPECT_EQ(gp().sequence.steps[r], r + 1);
  }
  const JLSequence before = gp().sequence;
  gp().setupVMix(gp().library.styleCount);
  EXPECT_EQ(memcmp(&before, &gp().sequence, sizeof before), 0);
  // The switch to the mixer keeps a copy to return to.
  item(63);
  EXPECT_EQ(memcmp(&gp().sequenceBackup, &gp().sequence, sizeof before), 0);
}

}  // namespace

namespace {

using groovetest::GroovePanelTest;

class GrooveLabels : public groovetest::GroovePanelTest {
 protected:
  void SetUp() override {
    GroovePanelTest::SetUp();
    // The mouse rests away from the RND buttons, whose hover names a set.
    uloGlo.mouseX = uloGlo.mouseY = 0;
  }
  std::string setName(int s) { return gp().library.randomSets[s].name; }
};

TEST_F(GrooveLabels, ABankNoteInTheStatusLineGivesWayWhenTheGrooveChanges) {
  ASSERT_TRUE(loadDemo());
  item(21);  // RND 1: plays
  ASSERT_EQ(text(99), "Groove play");
  item(12);
  item(12);
  ASSERT_EQ(text(99), "Same as groove 1");
  item(20);  // RND 2: another groove, nothing to do with groove 1
  EXPECT_EQ(text(99), "Groove play");

  item(12);
  item(12);
  ASSERT_EQ(text(99), "Same as groove 2");
  set(34, 30);
  item(34);  // a volume change is a change of the groove too
  EXPECT_EQ(text(99), "Groove play");

  // Stopped, the note gives way to "Stop" when the pan changes.
  item(24);
  item(12);
  item(12);
  ASSERT_EQ(text(99), "Same as groove 3");
  set(36, 10);
  item(36);
  EXPECT_FALSE(player().playing);
  EXPECT_EQ(text(99), "Stop");
}

TEST_F(GrooveLabels, TheRandomSetLabelNamesTheSetOfTheGroovePlaying) {
  ASSERT_TRUE(loadDemo());
  ASSERT_GE(gp().library.randomSetCount, 3);
  item(21);
  EXPECT_EQ(text(86), setName(0));
  // A newly loaded song plays its first groove, made by no random set.
  ASSERT_TRUE(loadDemo());
  EXPECT_EQ(text(86), "-");

  item(21);  // set 0
  item(12);
  item(19);  // set 2
  item(12);
  ASSERT_EQ(gp().sequence.grooveCount, 2);
  item(70);  // both into the sequence
  item(71);  // play it
  EXPECT_EQ(text(86), setName(0)) << "step 1 is groove 1";
  runToBeat(23);
  EXPECT_EQ(gp().sequenceRow.selected, 1);
  EXPECT_EQ(text(86), setName(2)) << "step 2 is groove 2";
  runToBeat(23, 1);
  EXPECT_EQ(gp().sequenceRow.selected, 0);
  EXPECT_EQ(text(86), setName(0)) << "back to groove 1";
  // A groove whose set is not known (edited and stored before any RND
  // of this song is not) shows none.
  item(71);
  ASSERT_TRUE(loadDemo());
  set(34, 30);
  item(34);
  item(12);
  gp().selectGrooveById(1);
  EXPECT_EQ(text(86), "-");
}

TEST_F(GrooveLabels, TheHeaderNamesTheSongLoadedNotTheOnePreviewed) {
  // Nothing loaded yet: a preview borrows the panel, the header stays empty.
  gp().beginPreview();
  ASSERT_TRUE(loadDemo("IronPulse"));
  EXPECT_EQ(text(89), "");
  // Kept (LOAD SONG, or X with nothing to go back to): now it is loaded.
  gp().keepPreview();
  const std::string iron = text(89);
  EXPECT_NE(iron.find("Iron Pulse"), std::string::npos) << iron;

  // A preview of another song over it leaves the header on Iron Pulse...
  gp().beginPreview();
  ASSERT_TRUE(loadDemo("NeonBoulevard"));
  EXPECT_EQ(text(89), iron);
  ASSERT_TRUE(loadDemo("RobotFunk"));
  EXPECT_EQ(text(89), iron);
  // ... and when it ends Iron Pulse is back, named as before.
  ASSERT_TRUE(gp().endPreview(false));
  EXPECT_EQ(text(89), iron);
  EXPECT_EQ(std::string(gp().songFolder), ":Library:Song:IronPulse:");
  // Loaded for good, the previewed song is named.
  gp().beginPreview();
  ASSERT_TRUE(loadDemo("NeonBoulevard"));
  gp().keepPreview();
  EXPECT_NE(text(89).find("Neon Boulevard"), std::string::npos) << text(89);
}

}  // namespace
