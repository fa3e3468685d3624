// Help texts: reading lines with missing fields, rollover and guided help,
// and the balloon as the last layer of every composition.
#include <gtest/gtest.h>

#include <vector>

#include "tests/framework/panelTestSupport.h"

using namespace paneltest;
using skinfix::Item;

namespace {

struct HelpScreen {
  Mouse m;
  std::unique_ptr<LayoutSkin> skin;
  RecordingPanel p;
  JLHelps helps{true};
  explicit HelpScreen(const std::string& text, const std::string& container = ":no-such-help-container.xrs") {
    resetScreen();
    std::vector<int32_t> back;
    for (int i = 0; i < 10; i++) back.push_back(skinfix::kCastBack + i);
    std::vector<Item> items = {Item{19, 1, 0, 0, back, {}, 0, 0},
                               Item{33, 2, 40, 40, {skinfix::kCastButton, skinfix::kCastButton}, {}, 0, 0},
                               Item{33, 2, 200, 200, {skinfix::kCastButton, skinfix::kCastButton}, {}, 0, 0}};
    skin = std::make_unique<LayoutSkin>(std::vector<std::pair<int32_t, layoutDataRec>>{{6, skinfix::layoutOf(items)}});
    p.attachLayouts(6, -1, -1, &skin->casts, uloRect(0, 0, 640, 480));
    QXScreen.connect(&p, 0, 0);
    helps.init(&QXCasts, nullptr, container.c_str());
    helps.loadTexts(text.data(), int32_t(text.size()));
    jlHelpp = &helps;
  }
  ~HelpScreen() {
    jlHelpp = nullptr;
    QXScreen.disconnect(0);
  }
  void idleAt(int x, int y, int32_t when) {
    uloGlo.what = uloEvtNull;
    uloGlo.mouseX = int16_t(x);
    uloGlo.mouseY = int16_t(y);
    uloGlo.when = when;
    QXScreen.events();
  }
};

const char* kTwo =
    "0]180]0]1]-20]14]6]8]1]0]A button]Click it\r\n"
    "0]180]0]2]10]10]6]8]1]0]Another\r\n";

}  // namespace

TEST(Helps, LinesWithMissingFieldsAndTooManyElements) {
  JLHelps h(true);
  const std::string text = "3]180]0]5\r1]]]]]]]]0]0]one]]three\n\n7]180]0]1\r";
  h.loadTexts(text.data(), int32_t(text.size()));
  EXPECT_EQ(h.count, 2);  // reading stops at the empty line
  EXPECT_EQ(h.elements[0].slot, 3);
  EXPECT_EQ(h.elements[0].control, 5);
  EXPECT_EQ(h.elements[0].balloonX, 0);
  EXPECT_EQ(h.elements[0].lines[0], nullptr);
  EXPECT_STREQ(h.elements[1].lines[0], "one");
  EXPECT_EQ(h.elements[1].lines[1], nullptr);
  EXPECT_STREQ(h.elements[1].lines[2], "three");

  std::string many;
  for (int i = 0; i < 520; i++) many += "40]1]99]250]1]1]1]1]1]0]x\r";
  h.loadTexts(many.data(), int32_t(many.size()));
  EXPECT_EQ(h.count, 500);
  uloRect r;
  EXPECT_FALSE(h.balloonRect(10, &r));  // names no panel that exists
}

TEST(Helps, F1TogglesRolloverAndTheBalloonFollowsTheMouse) {
  HelpScreen s(kTwo);
  const int16_t paper = int16_t(skinfix::rgb(30, 30, 20));
  uloGlo.what = uloEvtKeyDown;
  uloGlo.specialKey = 1;
  uloGlo.when = 1000;
  QXScreen.events();
  EXPECT_TRUE(s.helps.active);
  EXPECT_EQ(s.helps.current, -1);
  s.idleAt(50, 50, 1030);  // before the first minute of looking: nothing yet
  EXPECT_EQ(s.helps.current, -1);
  s.idleAt(50, 50, 1061);
  EXPECT_EQ(s.helps.current, 0);
  // Balloon at the button's centre (80, 52) moved by (-20, 14), painted over
  // everything, with text lines in the font.
  EXPECT_EQ(pixel(65, 70), paper);
  int glyphs = 0;
  for (int y = 74; y < 84; y++)
    for (int x = 66; x < 180; x++) glyphs += pixel(x, y) == int16_t(skinfix::rgb(31, 31, 31));
  EXPECT_GT(glyphs, 0);
  s.p.control(1)->disable();  // any recomposition keeps the balloon on top
  EXPECT_EQ(pixel(65, 70), paper);

  s.idleAt(500, 400, 1070);  // looked up at most every 20 ticks
  EXPECT_EQ(s.helps.current, 0);
  s.idleAt(500, 400, 1082);
  EXPECT_EQ(s.helps.current, -1);
  EXPECT_NE(pixel(65, 70), paper);

  uloGlo.what = uloEvtKeyDown;
  uloGlo.specialKey = 1;
  QXScreen.events();
  EXPECT_FALSE(s.helps.active);
  uloGlo.specialKey = 0;
}

TEST(Helps, GuidedSequenceAdvancesASecondAfterTheClick) {
  HelpScreen s("0]180]0]1]0]0]0]0]0]0]Step one\r0]180]0]2]0]0]0]0]0]0]Step two\r");
  uloGlo.when = 1000;
  s.helps.start(true);
  s.helps.toggle(false);  // the guided sequence replaces rollover help
  EXPECT_TRUE(s.helps.active);
  EXPECT_FALSE(s.helps.rolloverMode);
  EXPECT_EQ(s.helps.current, 0);
  s.helps.hit(0, 2);  // not this step's control
  EXPECT_EQ(s.helps.timer, 0);
  s.helps.hit(0, 1);
  EXPECT_EQ(s.helps.timer, 1060);
  s.idleAt(0, 0, 1059);
  EXPECT_EQ(s.helps.current, 0);
  s.idleAt(0, 0, 1060);
  EXPECT_EQ(s.helps.current, 1);
  s.helps.toggle(false);
  EXPECT_FALSE(s.helps.active);
}

TEST(Helps, TheTourEndsASecondAfterItsLastStepAndItsBalloonGoes) {
  HelpScreen s("0]180]0]1]0]0]0]0]0]0]Step one\r0]180]0]2]0]0]0]0]0]0]Last step\r0]180]0]2]0]0]0]0]1]0]Rollover\r");
  std::vector<int16_t> told;
  static std::vector<int16_t>* sink;
  sink = &told;
  jlHelpsModeDisplay = [](int16_t mode) { sink->push_back(mode); };
  uloGlo.when = 2000;
  s.helps.toggle(false);
  s.helps.hit(0, 1);
  s.idleAt(0, 0, 2060);
  ASSERT_EQ(s.helps.current, 1);
  uloRect balloon;
  ASSERT_TRUE(s.helps.balloonRect(1, &balloon));
  const int16_t shown = pixel(balloon.left + 2, balloon.top + 2);
  s.helps.hit(0, 2);  // the last step: the rollover element after it is no step
  EXPECT_EQ(s.helps.timer, 2060 + 60);
  s.idleAt(0, 0, 2119);
  EXPECT_TRUE(s.helps.active);
  s.idleAt(0, 0, 2120);
  EXPECT_FALSE(s.helps.active);
  EXPECT_NE(pixel(balloon.left + 2, balloon.top + 2), shown) << "the balloon is painted away";
  EXPECT_EQ(told, (std::vector<int16_t>{kHelpModeTour, kHelpModeOff}));
  // Rollover help tells its own mode.
  s.helps.toggle(true);
  EXPECT_EQ(told.back(), kHelpModeRollover);
  s.helps.toggle(true);
  EXPECT_EQ(told.back(), kHelpModeOff);
  jlHelpsModeDisplay = nullptr;
}

TEST(Helps, APressReportedBeforeAnythingIsChosenIsNoStepDone) {
  HelpScreen s("0]180]0]1]0]0]0]0]0]0]Choose\r0]180]0]2]0]0]0]0]0]0]Next\r");
  uloGlo.when = 3000;
  s.helps.toggle(false);
  s.p.realTime = 1;  // a pop-up telling its owner it was pressed
  s.helps.hit(0, 1);
  EXPECT_EQ(s.helps.timer, 0);
  s.p.realTime = 0;  // the choice made
  s.helps.hit(0, 1);
  EXPECT_EQ(s.helps.timer, 3060);
}

// Pre-drawn help texts are drawn through their mask only, and only the
// balloon on show keeps its pictures: looking at every control in turn must
// not gather every text.
TEST(Helps, OnlyTheShownBalloonsTextMaskStaysLoaded) {
  TempFolder dir;
  const std::string path = dir.ulo() + "helps.xrs";
  {
    skinfix::SkinWriter w(path);
    for (int32_t id : {1000, 1001}) {
      skinfix::Picture text{12, 6, std::vector<uint16_t>(72, 0x1234), std::vector<uint8_t>(72, 0)};
      w.cast(id, text);
    }
    ASSERT_TRUE(w.close());
  }
  HelpScreen s(kTwo, path);
  UloOneCast* first = s.helps.helpCasts.CastOfID(1000);
  UloOneCast* second = s.helps.helpCasts.CastOfID(1001);
  ASSERT_TRUE(first && second);
  uloGlo.what = uloEvtKeyDown;
  uloGlo.specialKey = 1;
  uloGlo.when = 1000;
  QXScreen.events();
  s.idleAt(50, 50, 1061);
  ASSERT_EQ(s.helps.current, 0);
  EXPECT_TRUE(first->maskLoaded);
  EXPECT_FALSE(first->imageLoaded);
  EXPECT_FALSE(second->maskLoaded);
  // White text through the mask, where the test text is fully opaque.
  EXPECT_EQ(pixel(80 - 20 + 6 + 1, 52 + 14 + 8 + 1), int16_t(0x7FFF));

  s.idleAt(210, 210, 1100);
  s.idleAt(210, 210, 1200);
  ASSERT_EQ(s.helps.current, 1);
  EXPECT_TRUE(second->maskLoaded);
  EXPECT_FALSE(second->imageLoaded);
  EXPECT_FALSE(first->maskLoaded) << "the balloon no longer shown let its text go";
  uloGlo.what = uloEvtKeyDown;
  uloGlo.specialKey = 1;
  QXScreen.events();
  uloGlo.specialKey = 0;
}
