// The floating panels over the groove panel, as the program mounts them:
// Escape closes the one on top (the modal one first, the tour's balloon
// next, then the last shown entry), the mixer leaves through its keep or
// restore question, and the random mix panel has an X and opens where it
// covers no other floating panel (or as little as can be).
#include <memory>
#include <string>

#include "framework/intl/JLInternational.h"
#include "framework/panel/JLHelps.h"
#include "screens/JLLoopTunerPanel.h"
#include "screens/JLPrefsPanel.h"
#include "screens/JLRandMixPanel.h"
#include "screens/JLSynthPanel.h"
#include "screens/JLVMixPanel.h"
#include "tests/screens/grooveTestSupport.h"

namespace {

// A floating panel where the program puts it: draggable, at its place.
template <class P>
struct Floating {
  P panel;
  int16_t entry;
  Floating(int32_t l1, int32_t l2, int16_t entry_, int16_t x, int16_t y) : entry(entry_) {
    panel.attachLayouts(l1, l2, -1, &QXCasts, uloRect(0, 0, 640, 480));
    QXScreen.connect(&panel, entry, 1);
    QXScreen.setProps(entry, x, y, true, 0);
  }
  ~Floating() {
    QXScreen.hide(entry);
    QXScreen.disconnect(entry);
  }
};

int16_t gLastButtons = -1;
int16_t gAnswer = 3;
int16_t answerBox(const char*, const char*, int16_t buttons) {
  gLastButtons = buttons;
  return gAnswer;
}

class FloatingPanels : public groovetest::GroovePanelTest {
 protected:
  void SetUp() override {
    GroovePanelTest::SetUp();
    QXScreen.show(0);
    gLastButtons = -1;
    ULO_SetMessageBoxHook(answerBox);
  }
  void TearDown() override {
    ULO_SetMessageBoxHook(nullptr);
    jlHelpp = nullptr;
    QXScreen.modalPanel = -1;
    GroovePanelTest::TearDown();
  }
  // Escape pressed and let go, through the screen.
  void escape() {
    uloGlo.specialKey = 20;
    key(uloKeyEscape);
    uloGlo.specialKey = 0;
    key(uloKeyEscape, false);
  }
  static bool overlap(const uloRect& a, const uloRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
  }
};

TEST_F(FloatingPanels, EscapeClosesTheFloatingPanelOnTopOneAtATime) {
  Floating<JLSynthPanel> synth(3, 4, 2, 100, 100);
  Floating<JLLoopTunerPanel> tuner(14, -1, JLLoopTunerPanel::kEntry, 100, 100);
  Floating<JLRandMixPanel> mix(11, -1, JLRandMixPanel::kEntry, 100, 100);
  QXScreen.show(2);
  QXScreen.show(JLLoopTunerPanel::kEntry);
  QXScreen.show(JLRandMixPanel::kEntry);
  ASSERT_EQ(tuner.panel.loopOn, 1);

  escape();
  EXPECT_FALSE(QXScreen.isShown(JLRandMixPanel::kEntry));
  EXPECT_TRUE(QXScreen.isShown(JLLoopTunerPanel::kEntry));
  EXPECT_TRUE(QXScreen.isShown(2));
  escape();
  EXPECT_FALSE(QXScreen.isShown(JLLoopTunerPanel::kEntry));
  EXPECT_EQ(tuner.panel.loopOn, 0) << "closed as its X closes it: the user loop goes";
  EXPECT_TRUE(QXScreen.isShown(2));
  escape();
  EXPECT_FALSE(QXScreen.isShown(2));
  // Nothing floats any more: the main panel stays, and no box was asked.
  escape();
  EXPECT_TRUE(QXScreen.isShown(0));
  EXPECT_EQ(gLastButtons, -1);
}

TEST_F(FloatingPanels, EscapeIsCancelForThePreferencesAboveOtherPanels) {
  ASSERT_TRUE(loadDemo());
  Floating<JLSynthPanel> synth(3, 4, 2, 100, 100);
  Floating<JLPrefsPanel> prefs(13, -1, JLPrefsPanel::kEntry, 100, 100);
  QXScreen.show(2);
  const int16_t stored = jlPrefs.interfaceColor;
  QXScreen.show(JLPrefsPanel::kEntry);
  ASSERT_EQ(QXScreen.modalPanel, JLPrefsPanel::kEntry);
  prefs.panel.chooseNewColor(int16_t((stored + 3) % JLPrefsPanel::kSchemes));
  escape();
  EXPECT_FALSE(QXScreen.isShown(JLPrefsPanel::kEntry));
  EXPECT_EQ(prefs.panel.colorScheme, stored) << "the colours tried are dropped";
  EXPECT_EQ(jlPrefs.interfaceColor, stored);
  EXPECT_EQ(QXScreen.modalPanel, -1);
  EXPECT_TRUE(QXScreen.isShown(2)) << "one Escape, one panel";
}

TEST_F(FloatingPanels, EscapeEndsTheTourBeforeClosingAPanel) {
  JLHelps helps{true};
  helps.init(&QXCasts, ":Helps.txt", ":no-predrawn-help.xrs");
  ASSERT_GT(helps.count, 5);
  jlHelpp = &helps;
  Floating<JLSynthPanel> synth(3, 4, 2, 100, 100);
  QXScreen.show(2);
  item(126);  // TOUR
  ASSERT_TRUE(helps.active);
  ASSERT_FALSE(helps.rolloverMode);
  escape();
  EXPECT_FALSE(helps.active);
  EXPECT_EQ(value(126), 0) << "the TOUR lamp goes out";
  EXPECT_TRUE(QXScreen.isShown(2));
  // Rollover help is no panel: Escape passes it by.
  item(58);
  ASSERT_TRUE(helps.rolloverMode);
  escape();
  EXPECT_TRUE(helps.active);
  EXPECT_FALSE(QXScreen.isShown(2));
}

TEST_F(FloatingPanels, EscapeLeavesTheMixerThroughItsKeepOrRestoreQuestion) {
  ASSERT_TRUE(loadDemo());
  mixtest::Mounted<JLVMixPanel> mixer(5, JLVMixPanel::kEntry, false);
  JL_ConnectGroovePanel(panel.get(), &mixer.panel);
  item(12);  // one groove in the bank
  const JLGroove before = gp().groove;

  item(63);  // MIXER
  ASSERT_TRUE(QXScreen.isShown(JLVMixPanel::kEntry));
  gAnswer = 3;  // Cancel: stay
  escape();
  EXPECT_EQ(gLastButtons, jlNotifyYesNoCancel);
  EXPECT_TRUE(QXScreen.isShown(JLVMixPanel::kEntry));
  EXPECT_FALSE(QXScreen.isShown(0));

  mixer.click(1);  // a mix replaces the working groove
  ASSERT_NE(memcmp(&gp().groove, &before, sizeof before), 0);
  gAnswer = 2;  // No: the grooves come back
  escape();
  EXPECT_FALSE(QXScreen.isShown(JLVMixPanel::kEntry));
  EXPECT_TRUE(QXScreen.isShown(0));
  EXPECT_EQ(memcmp(&gp().groove, &before, sizeof before), 0);

  item(63);
  mixer.click(1);
  const int16_t mixGrooves = gp().sequence.grooveCount;
  gAnswer = 1;  // Yes: the mix is kept
  escape();
  EXPECT_TRUE(QXScreen.isShown(0));
  EXPECT_EQ(gp().sequence.grooveCount, mixGrooves);
  JL_ConnectGroovePanel(panel.get(), nullptr);
}

TEST_F(FloatingPanels, TheRandomMixPanelHasAnXAndOpensClearOfOtherPanels) {
  Floating<JLLoopTunerPanel> tuner(14, -1, JLLoopTunerPanel::kEntry, 100, 100);
  Floating<JLRandMixPanel> mix(11, -1, JLRandMixPanel::kEntry, 100, 100);
  uloPanelControl* x = mix.panel.control(JLRandMixPanel::kClose);
  ASSERT_NE(x, nullptr) << "the skin gives the panel an X";
  EXPECT_TRUE(x->enabled);

  // Alone it opens at its place, and its X closes it.
  item(117);
  ASSERT_TRUE(QXScreen.isShown(JLRandMixPanel::kEntry));
  uloRect r = QXScreen.backgroundRect(JLRandMixPanel::kEntry);
  EXPECT_EQ(r.left, QXScreen.origin.x + JLRandMixPanel::kHomeX);
  EXPECT_EQ(r.top, QXScreen.origin.y + JLRandMixPanel::kHomeY);
  mix.panel.currentItem = JLRandMixPanel::kClose;
  mix.panel.onItem();
  EXPECT_FALSE(QXScreen.isShown(JLRandMixPanel::kEntry));

  // Over the synth (dragged to the top left) it takes the free place of
  // the main panel nearest to its own.
  Floating<JLSynthPanel> synth(3, 4, 2, 0, 0);
  QXScreen.show(2);
  const uloRect s = QXScreen.backgroundRect(2);
  ASSERT_TRUE(overlap(s, r)) << "its usual place lies on the synth";
  item(117);
  ASSERT_TRUE(QXScreen.isShown(JLRandMixPanel::kEntry));
  r = QXScreen.backgroundRect(JLRandMixPanel::kEntry);
  EXPECT_FALSE(overlap(s, r)) << r.left << "," << r.top;
  EXPECT_EQ(r.left, QXScreen.origin.x + JLRandMixPanel::kHomeX);
  EXPECT_EQ(r.top, QXScreen.origin.y + 270) << "the first row of the grid below the synth's 262";
  EXPECT_TRUE(QXScreen.screenRect.contains(r)) << "on the main panel";
  EXPECT_EQ(r.width(), 260);
  item(117);
  QXScreen.hide(2);

  // The tuner leaves no free place big enough: it covers as little of the
  // tuner as can be, and none of the tuner's controls.
  QXScreen.show(JLLoopTunerPanel::kEntry);
  const uloRect t = QXScreen.backgroundRect(JLLoopTunerPanel::kEntry);
  item(117);
  r = QXScreen.backgroundRect(JLRandMixPanel::kEntry);
  EXPECT_TRUE(QXScreen.screenRect.contains(r));
  // Above the tuner only 100 of the mix's 130 rows fit; every place
  // across the tuner's 440 columns shares at least 160 of them.
  const int cw = std::min(r.right, t.right) - std::max(r.left, t.left);
  const int ch = std::min(r.bottom, t.bottom) - std::max(r.top, t.top);
  EXPECT_EQ(long(std::max(cw, 0)) * std::max(ch, 0), 160L * 30) << r.left << "," << r.top;
  for (int16_t i = 1; i < tuner.panel.controlsCount; i++)
    if (uloPanelControl* c = tuner.panel.controls[i]; c && c->visible)
      EXPECT_FALSE(overlap(c->rect, r)) << "tuner control " << i;
  item(117);
  QXScreen.hide(JLLoopTunerPanel::kEntry);

  // Where it was put it stays while that place is free.
  item(117);
  EXPECT_EQ(QXScreen.backgroundRect(JLRandMixPanel::kEntry).left, r.left);
  EXPECT_EQ(QXScreen.backgroundRect(JLRandMixPanel::kEntry).top, r.top);
}

}  // namespace
