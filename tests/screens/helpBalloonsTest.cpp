// Help on the main panel with the program's own help texts: the HELP and
// TOUR lamps, tour steps done only by finished actions, balloons only for
// what can be seen and clicked, and the commands that do nothing saying so.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "framework/intl/JLInternational.h"
#include "framework/panel/JLHelps.h"
#include "framework/panel/QXpopup.h"
#include "screens/JLRandMixPanel.h"
#include "tests/screens/grooveTestSupport.h"

namespace {

class HelpOnGroove : public groovetest::GroovePanelTest {
 protected:
  void SetUp() override {
    GroovePanelTest::SetUp();
    helps.init(&QXCasts, ":Helps.txt", ":no-predrawn-help.xrs");
    ASSERT_GT(helps.count, 5) << "the built Helps.txt";
    jlHelpp = &helps;
  }
  void TearDown() override {
    jlHelpp = nullptr;
    QXScreen.modalPanel = -1;
    GroovePanelTest::TearDown();
  }
  // Rollover help looking at a window point once its wait is over.
  int16_t balloonAt(int x, int y) {
    uloGlo.mouseX = int16_t(x);
    uloGlo.mouseY = int16_t(y);
    uloGlo.what = uloEvtNull;
    uloGlo.when = std::max(uloGlo.when + 1, helps.timer);
    QXScreen.events();
    return helps.current;
  }
  // The rollover element of a control, or -1.
  int16_t elementOf(int16_t entry, int16_t control) const {
    for (int16_t i = 0; i < helps.count; i++)
      if (helps.elements[i].rollover && helps.elements[i].panel == entry && helps.elements[i].control == control)
        return i;
    return -1;
  }
  std::string helpText(int16_t element) const {
    std::string t;
    for (const char* line : helps.elements[element].lines)
      if (line) t += std::string(line) + " ";
    return t;
  }
  static uloPoint centre(const uloPanelControl* c) { return c->rect.center(); }
  JLHelps helps{true};
};

TEST_F(HelpOnGroove, TheTourLampShowsTheTourAndTheHelpLampRolloverHelp) {
  item(126);
  ASSERT_TRUE(helps.active);
  EXPECT_FALSE(helps.rolloverMode);
  EXPECT_EQ(value(126), 1);
  EXPECT_EQ(value(58), 0);
  item(58);
  ASSERT_TRUE(helps.rolloverMode);
  EXPECT_EQ(value(58), 1);
  EXPECT_EQ(value(126), 0);
  item(58);
  EXPECT_FALSE(helps.active);
  EXPECT_EQ(value(58), 0);
  EXPECT_EQ(value(126), 0);
}

TEST_F(HelpOnGroove, ACancelledInstrumentPopupIsNoTourStepDone) {
  ASSERT_TRUE(loadDemo());
  item(126);
  helps.current = 2;  // "3. Change an instrument"
  ASSERT_EQ(helps.elements[2].panel, 0);
  ASSERT_EQ(helps.elements[2].control, 77);
  const int16_t before = gp().groove.tracks[0].group;
  groovetest::Mouse released;  // the button comes up before the list opens
  const uloPoint at = centre(gp().control(77));
  // The list opened by the click then closes unchosen: no need to wait out
  // its half minute.
  const int32_t wait = QXpopupControl::openWaitTicks;
  QXpopupControl::openWaitTicks = 2;
  press(at.x, at.y);
  QXpopupControl::openWaitTicks = wait;
  EXPECT_EQ(helps.timer, 0);
  EXPECT_EQ(gp().groove.tracks[0].group, before) << "nothing was chosen";
  // A group chosen in it is the step done.
  set(77, 2);
  item(77);
  EXPECT_EQ(helps.timer, uloGlo.when + 60);
  uloGlo.what = uloEvtNull;
  uloGlo.when = helps.timer;
  QXScreen.events();
  EXPECT_EQ(helps.current, 3);
}

// The tour's balloons leave in view what their step is done with: step 2
// the song list, LOAD SONG, NO PREVIEW and the picked song's name; step 3
// the instrument pop-ups and the loop pop-ups that show what a group plays;
// step 4 SOLO, GROUP, ALL, KEEP, the random set's name and those loop pop-ups
// that show what RND 1 chose; step 5 the transport (PLAY, STOP, SYNC and the status line), PLAY
// SEQUENCE and the sequence slots
// (a corner of a few pixels aside). Each still lies on the screen and
// touches its control with its tail (steps 4 and 5 hang beside theirs).
TEST_F(HelpOnGroove, TourBalloonsLeaveTheirStepsControlsInView) {
  ASSERT_TRUE(loadDemo());
  QXPanelClass songs;
  songs.attachLayouts(6, -1, -1, &QXCasts, uloRect(0, 0, 640, 480));
  QXScreen.connect(&songs, 6, 1);
  QXScreen.setProps(6, 20, 42, true, 0);
  QXScreen.show(6);
  // The share of a control's area under the balloon.
  auto covered = [](const uloRect& balloon, const uloRect& c) {
    const int w = std::min(balloon.right, c.right) - std::max(balloon.left, c.left);
    const int h = std::min(balloon.bottom, c.bottom) - std::max(balloon.top, c.top);
    return w > 0 && h > 0 ? double(w) * h / (double(c.width()) * c.height()) : 0.0;
  };
  struct Step {
    int16_t element;
    QXPanelClass* panel;
    std::vector<int16_t> inView;
  };
  const Step steps[] = {
      {1, &songs, {8, 28, 33, 19, 20, 14, 15, 16, 29, 17, 18, 30, 31, 32}},
      {2, &gp(), {77, 78, 79, 80, 81, 82, 83, 84, 94, 76, 92, 90, 87, 88, 98, 91}},
      {3, &gp(), {21, 86, 9, 16, 17, 60, 77, 78, 79, 80, 81, 82, 83, 84, 94, 76, 92, 90, 87, 88, 98, 91}},
      {4, &gp(), {12, 71, 25, 24, 15, 99, 22, 109, 110, 111, 112, 113, 114, 115, 116}},
  };
  for (const Step& step : steps) {
    const jlHelpsTextRec& e = helps.elements[step.element];
    ASSERT_EQ(step.panel->control(e.control), step.panel->control(step.inView.front())) << step.element;
    uloRect balloon;
    ASSERT_TRUE(helps.balloonRect(step.element, &balloon));
    EXPECT_TRUE(uloRect(0, 0, 640, 480).contains(balloon)) << "step " << step.element + 1;
    const uloRect& described = step.panel->control(e.control)->rect;
    EXPECT_TRUE(balloon.bottom == described.top || balloon.top == described.bottom ||
                balloon.left == described.right || balloon.right == described.left)
        << "step " << step.element + 1;
    for (int16_t item : step.inView)
      EXPECT_LT(covered(balloon, step.panel->control(item)->rect), 0.02)
          << "step " << step.element + 1 << " covers item " << item;
  }
  QXScreen.hide(6);
  QXScreen.disconnect(6);
}

// The tour's last step done, its balloon gives way to a closing word at the
// HELP lamp, in the user's language, cut to the balloon's width; the next
// click or key takes it away and still does what it does.
TEST_F(HelpOnGroove, TheTourEndsWithAClosingWordTheNextClickOrKeyTakesAway) {
  ASSERT_TRUE(loadDemo());
  helps.setClosing(0, 58);
  auto finishTour = [&] {
    item(126);
    helps.current = 4;  // "5. Store the groove"
    ASSERT_EQ(helps.elements[4].control, 12);
    item(12);
    ASSERT_NE(helps.timer, 0);
    uloGlo.what = uloEvtNull;
    uloGlo.when = helps.timer;
    QXScreen.events();
  };
  const int16_t helpLamp = elementOf(0, 58);
  ASSERT_GE(helpLamp, 0);
  for (int16_t language : {9, 7, 12, 16}) {
    jlIntl.startWithLanguage(QXCasts.resFile, language);
    finishTour();
    EXPECT_FALSE(helps.active) << language;
    EXPECT_EQ(value(126), 0) << "the TOUR lamp goes out";
    ASSERT_TRUE(helps.closing) << language;
    uloRect shown, atLamp;
    ASSERT_TRUE(helps.closingRect(&shown));
    ASSERT_TRUE(helps.balloonRect(helpLamp, &atLamp));
    EXPECT_EQ(shown, atLamp);
    EXPECT_EQ(helps.lastBalloon, shown) << "painted where it is";
    EXPECT_EQ(helps.closingLines[0], jlIntl.message(kJLMsgTourOver).c_str());
    // The hint's words, every one on a line that fits the balloon, at most
    // three lines.
    std::string joined;
    int lines = 0;
    for (int k = 1; k < kHelpLines; k++) {
      if (helps.closingLines[k].empty()) continue;
      lines++;
      joined += (joined.empty() ? "" : " ") + helps.closingLines[k];
      EXPECT_LE(helps.stringWidth(helps.closingLines[k].c_str()), shown.width() - 2 * helps.elements[helpLamp].textX)
          << helps.closingLines[k];
    }
    EXPECT_EQ(joined, jlIntl.message(kJLMsgTourHint).c_str());
    EXPECT_GE(lines, 1);
    EXPECT_LE(lines, 3) << joined;
    // A key takes it away (Space still plays).
    tap(' ');
    EXPECT_FALSE(helps.closing);
    EXPECT_TRUE(helps.lastBalloon.isEmpty());
  }
  // So does a click, which presses what it lands on: STOP.
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
  finishTour();
  ASSERT_TRUE(helps.closing);
  item(25);
  ASSERT_TRUE(player().isPlaying());
  const uloPoint stop = centre(gp().control(24));
  press(stop.x, stop.y);
  EXPECT_FALSE(helps.closing);
  EXPECT_FALSE(player().isPlaying());
  // A tour started again shows its first step, not the closing word.
  finishTour();
  ASSERT_TRUE(helps.closing);
  item(126);
  EXPECT_FALSE(helps.closing);
  EXPECT_TRUE(helps.active);
  EXPECT_EQ(helps.current, 0);
}

TEST_F(HelpOnGroove, BalloonsDescribeOnlyWhatCanBeSeenAndClicked) {
  // The song list lies over the tracks' pop-ups.
  QXPanelClass songs;
  songs.attachLayouts(6, -1, -1, &QXCasts, uloRect(0, 0, 640, 480));
  QXScreen.connect(&songs, 6, 1);
  QXScreen.setProps(6, 20, 42, true, 0);
  QXScreen.show(6);
  item(58);
  const uloPoint under = centre(gp().control(78));  // "Instrument 2"
  ASSERT_TRUE(QXScreen.backgroundRect(6).contains(under));
  ASSERT_GE(elementOf(0, 78), 0);
  // What the song list has there, if anything.
  int16_t onTop = -1;
  for (int16_t s = 0; s < songs.controlsCount && onTop < 0; s++) {
    const uloPanelControl* c = songs.controls[s];
    const int16_t e = c ? elementOf(6, s) : -1;
    if (e >= 0 && c->visible && c->rect.contains(under)) onTop = e;
  }
  EXPECT_EQ(balloonAt(under.x, under.y), onTop);
  QXScreen.hide(6);
  QXScreen.disconnect(6);
  EXPECT_EQ(balloonAt(under.x, under.y), elementOf(0, 78)) << "uncovered, the pop-up has its balloon";

  // A hidden control has none.
  const uloPoint tour = centre(gp().control(126));
  ASSERT_GE(elementOf(0, 126), 0);
  gp().control(126)->hide();
  EXPECT_EQ(balloonAt(tour.x, tour.y), -1);
  gp().control(126)->show();
  EXPECT_EQ(balloonAt(tour.x, tour.y), elementOf(0, 126));

  // While a modal panel is shown, nothing under it is described.
  QXScreen.modalPanel = 6;
  QXScreen.connect(&songs, 6, 1);
  QXScreen.setProps(6, 20, 42, true, 0);
  QXScreen.show(6);
  EXPECT_EQ(balloonAt(tour.x, tour.y), -1);
  QXScreen.hide(6);
  QXScreen.disconnect(6);
}

// Every control a new user points at has a balloon that shows there: a
// title and at most two lines of text (the skin's pre-drawn texts are
// checked to fit by the skin's own tests).
TEST_F(HelpOnGroove, TheOptionRandomSetsSynthKeysPatternAndTimeDisplaysHaveFittingBalloons) {
  QXPanelClass prefs, synth, mixer;
  prefs.attachLayouts(13, -1, -1, &QXCasts, uloRect(0, 0, 640, 480));
  synth.attachLayouts(3, 4, -1, &QXCasts, uloRect(0, 0, 640, 480));
  mixer.attachLayouts(5, -1, -1, &QXCasts, uloRect(0, 0, 640, 480));
  item(58);
  auto check = [&](int16_t entry, QXPanelClass& panel, std::initializer_list<int16_t> items) {
    for (int16_t n : items) {
      const int16_t e = elementOf(entry, n);
      ASSERT_GE(e, 0) << "panel " << entry << " item " << n;
      const jlHelpsTextRec& el = helps.elements[e];
      int lines = 0;
      for (const char* line : el.lines)
        if (line) lines++;
      EXPECT_GE(lines, 2) << "a title and a text: panel " << entry << " item " << n;
      EXPECT_LE(lines, 3) << "panel " << entry << " item " << n;
      uloPanelControl* c = panel.control(n);
      ASSERT_NE(c, nullptr) << n;
      const uloPoint at = centre(c);
      EXPECT_EQ(balloonAt(at.x, at.y), e) << "panel " << entry << " item " << n;
    }
  };
  // A panel shown where the program shows it, its balloons checked.
  auto checkShown = [&](int16_t entry, QXPanelClass& panel, int16_t x, bool floating,
                        std::initializer_list<int16_t> items) {
    QXScreen.connect(&panel, entry, 1);
    QXScreen.setProps(entry, x, x, floating, 0);
    QXScreen.show(entry);
    check(entry, panel, items);
    QXScreen.hide(entry);
    QXScreen.disconnect(entry);
  };
  // The groove panel's time and status displays.
  check(0, gp(), {96, 97, 99});
  // Preferences: the random sets' names and the option.
  checkShown(8, prefs, 100, true, {26, 27, 28, 29, 30, 31});
  // The synth: every key and the pattern.
  checkShown(2, synth, 100, true, {48, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68,
                                   69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 81, 82, 83, 84, 85, 86});
  // The virtual mixer over the hidden groove panel: its style name,
  // position, tempo and tour.
  QXScreen.hide(0);
  checkShown(1, mixer, 0, false, {38, 39, 40, 29, 30, 49});
  QXScreen.show(0);
}

TEST_F(HelpOnGroove, NetworkAndTheRandomMixSayTheyDoNothing) {
  // No link can be made: the button looks disabled, a press does nothing,
  // and its balloon says why.
  uloPanelControl* network = gp().control(123);
  EXPECT_FALSE(network->enabled);
  item(58);
  const uloPoint at = centre(network);
  const int16_t e = balloonAt(at.x, at.y);
  ASSERT_EQ(e, elementOf(0, 123));
  EXPECT_NE(helpText(e).find("cannot link"), std::string::npos) << helpText(e);
  item(58);
  groovetest::Mouse released;
  press(at.x, at.y);
  EXPECT_EQ(gp().currentItem, -1);

  // The random mix panel opens, and its cells look disabled and say so.
  JLRandMixPanel mix;
  mix.attachLayouts(11, -1, -1, &QXCasts, uloRect(0, 0, 640, 480));
  QXScreen.connect(&mix, 5, 1);
  QXScreen.setProps(5, 100, 100, true, 0);
  item(117);
  ASSERT_TRUE(QXScreen.isShown(5));
  for (int16_t cell = 1; cell <= 6; cell++) {
    EXPECT_FALSE(mix.control(cell)->enabled) << cell;
    ASSERT_GE(elementOf(5, cell), 0) << cell;
    EXPECT_NE(helpText(elementOf(5, cell)).find("does nothing"), std::string::npos);
  }
  // Disabled is drawn fainter than live.
  uloPanelControl* cell = mix.control(1);
  auto brightness = [&] {
    QXScreen.update(cell->rect);
    long sum = 0;
    for (int y = cell->rect.top; y < cell->rect.bottom; y++)
      for (int x = cell->rect.left; x < cell->rect.right; x++) {
        const uint16_t p = uint16_t(QXScreen.updateBuffer.getPixel(x, y));
        sum += (p >> 10 & 31) + (p >> 5 & 31) + (p & 31);
      }
    return sum;
  };
  const long faint = brightness();
  cell->enable();
  EXPECT_GT(brightness(), faint);
  item(117);
  EXPECT_FALSE(QXScreen.isShown(5));
  QXScreen.disconnect(5);
}

}  // namespace

namespace {

TEST_F(HelpOnGroove, PrefsAndTempoBalloonsNameWhatThePanelHoldsAndTheKeys) {
  auto says = [&](int16_t item, std::initializer_list<const char*> words) {
    const int16_t e = elementOf(0, item);
    ASSERT_GE(e, 0) << item;
    const std::string text = helpText(e);
    int lines = 0;
    for (const char* line : helps.elements[e].lines)
      if (line) lines++;
    EXPECT_LE(lines, 3) << "a title and at most two lines: item " << item;
    for (const char* w : words) EXPECT_NE(text.find(w), std::string::npos) << "item " << item << ": " << text;
  };
  // Everything the preferences hold (tempo: its quality and keep pitch).
  says(57, {"Random limits", "export", "latency", "tempo", "stems", "MIDI", "colours"});
  // The tempo's keys: + and - (or Up and Down) step 0.2 BPM, 1 BPM with
  // an upper-case B held (Shift+B); the plain b key steps 0.2 BPM.
  says(97, {"+ - Up Down", "0.2 BPM", "Shift+B held", "1 BPM"});
  says(67, {"Down 0.2 BPM", "repeats while held", "Down or - key", "Shift+B: 1 BPM"});
  says(66, {"Up 0.2 BPM", "repeats while held", "Up or + key", "Shift+B: 1 BPM"});
  // The tempo's range: 50 BPM each way, but never past 1.3 times the
  // song's tempo (the fastest the engine plays).
  says(35, {"+-50 BPM", "1.3 x", "hold Shift+B, press + or -"});
  // The export format list's first entry says what it writes.
  const int16_t format = elementOf(8, 4);
  ASSERT_GE(format, 0);
  EXPECT_NE(helpText(format).find("Standard is WAV 16-bit"), std::string::npos) << helpText(format);
}

}  // namespace
