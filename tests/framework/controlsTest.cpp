// Skin controls painted through the screen's update buffer: hit tests
// through masks, faint disabled drawing, meters, radio groups, help lookup,
// sliders and a whole composed panel against a reference picture.
#include <gtest/gtest.h>

#include "tests/framework/panelTestSupport.h"

using namespace paneltest;
using skinfix::Item;

namespace {

// A skin panel at screen entry 0 made of the given items (layout id 4).
struct SkinPanel {
  Mouse m;  // tracking (and a drag after an unhandled click) never waits
  std::unique_ptr<LayoutSkin> skin;
  RecordingPanel p;
  explicit SkinPanel(const std::vector<Item>& items) {
    resetScreen();
    skin = std::make_unique<LayoutSkin>(std::vector<std::pair<int32_t, layoutDataRec>>{{4, skinfix::layoutOf(items)}});
    p.attachLayouts(4, -1, -1, &skin->casts, uloRect(0, 0, 640, 480));
    QXScreen.connect(&p, 0, 0);
    QXScreen.update(QXScreen.updateBuffer.bounds);
  }
  ~SkinPanel() { QXScreen.disconnect(0); }
  const uloOffmap* cast(int32_t id) { return &skin->casts.CastOfID(id)->image; }
  const uloOffmap* mask(int32_t id) { return &skin->casts.CastOfID(id)->mask; }
};

std::vector<int32_t> backs() {
  std::vector<int32_t> v;
  for (int i = 0; i < 10; i++) v.push_back(skinfix::kCastBack + i);
  return v;
}

Item background() { return Item{19, 1, 0, 0, backs(), {}, 0, 0}; }
Item filler() { return Item{0, 0, 0, 0, {}, {}, 0, 0}; }
const uint16_t kTint0 = skinfix::rgb(4, 6, 10);

}  // namespace

TEST(SkinControls, TransparentMaskPixelPassesTheClickOn) {
  SkinPanel s({background(),
               Item{33, 2, 100, 100, {skinfix::kCastRound, skinfix::kCastRound, skinfix::kCastRoundDown}, {}, 0, 0},
               Item{33, 2, 100, 100, {skinfix::kCastButton, skinfix::kCastButton, skinfix::kCastButtonDown}, {}, 0, 0}});
  Mouse& m = s.m;
  m.release(101, 101);
  mouseDown(101, 101, 1000);  // the round button's transparent corner
  QXScreen.events();
  EXPECT_EQ(s.p.currentItem, 2);
  m.release(120, 120);
  mouseDown(120, 120, 2000);
  QXScreen.events();
  EXPECT_EQ(s.p.currentItem, 1);
  EXPECT_EQ(s.p.items, (std::vector<int16_t>{2, 1}));
  // Released outside: no click, and the normal picture is back.
  m.hold(120, 120);
  m.release(300, 300);
  mouseDown(120, 120, 3000);
  QXScreen.events();
  EXPECT_EQ(s.p.currentItem, -1);
  EXPECT_EQ(pixel(120, 130), int16_t(skinfix::rgb(6, 16, 24)));
}

TEST(SkinControls, DisabledButtonIsPaintedAtLevel63) {
  SkinPanel s({background(), Item{33, 2, 100, 100, {skinfix::kCastButton, skinfix::kCastButton}, {}, 0, 0}});
  EXPECT_EQ(pixel(110, 110), int16_t(skinfix::rgb(12, 14, 18)));
  s.p.control(1)->disable();
  uloOffmap ref;
  ASSERT_TRUE(ref.allocate(uloDepthDirect16, 1, 1));
  ref.fill(ref.bounds, kTint0);
  ref.copyMaskBlend(s.cast(skinfix::kCastButton), uloRect(10, 10, 11, 11), s.mask(skinfix::kCastButton),
                    uloRect(10, 10, 11, 11), ref.bounds, 63);
  EXPECT_EQ(pixel(110, 110), ref.getPixel(0, 0));
  EXPECT_NE(pixel(110, 110), int16_t(skinfix::rgb(12, 14, 18)));
  // A disabled button takes no click, so it falls through to the panel.
  mouseDown(110, 110, 5000);
  QXScreen.events();
  EXPECT_EQ(s.p.currentItem, -1);
}

TEST(SkinControls, LevelBarSegmentsAtValue25AndPeak) {
  SkinPanel s({background(), Item{230, 1, 200, 50, {skinfix::kCastLevelOff, skinfix::kCastLevelOn}, {}, 0, 0}});
  s.p.control(1)->set(25);
  const int16_t on = int16_t(skinfix::rgb(4, 31, 4)), off = int16_t(skinfix::rgb(2, 6, 2));
  uloOffmap ref;
  ASSERT_TRUE(ref.allocate(uloDepthDirect16, 1, 1));
  ref.fill(ref.bounds, off);
  ref.copyBlend(s.cast(skinfix::kCastLevelOn), uloRect(0, 0, 1, 1), ref.bounds, 63);
  // Segments are 10 pixels high, counted from the bottom (y = 150).
  auto seg = [](int i) { return pixel(208, 150 - 10 * i - 5); };
  EXPECT_EQ(seg(0), on);
  EXPECT_EQ(seg(1), on);
  EXPECT_EQ(seg(2), ref.getPixel(0, 0));
  for (int i = 3; i < 10; i++) EXPECT_EQ(seg(i), off) << i;
  s.p.control(1)->set(qxMsgLevel, 75);
  EXPECT_EQ(seg(7), on);
  EXPECT_EQ(seg(6), off);
  s.p.control(1)->set(500);
  EXPECT_EQ(s.p.control(1)->get(), 99);
  // At 0, and with no mark, every segment is dark; the lowest one glows
  // only above 0.
  s.p.control(1)->set(qxMsgLevel, -1);
  s.p.control(1)->set(0);
  for (int i = 0; i < 10; i++) EXPECT_EQ(seg(i), off) << i;
  s.p.control(1)->set(1);
  EXPECT_NE(seg(0), off);
}

TEST(SkinControls, RadioGroupReportsOneItem) {
  const std::vector<int32_t> pics = {skinfix::kCastRadioOff, skinfix::kCastRadioOff, skinfix::kCastRadioOn};
  SkinPanel s({background(), Item{39, 2, 40, 140, pics, {{1, 0}, {2, 1}}, 0, 0},
               Item{39, 2, 80, 140, pics, {{1, 1}, {2, 1}}, 0, 0}, Item{39, 2, 120, 140, pics, {{1, 2}, {2, 1}}, 0, 0},
               Item{39, 2, 160, 140, pics, {{1, 0}, {2, 2}}, 0, 0}});
  mouseDown(130, 150, 1000);
  QXScreen.events();
  EXPECT_EQ(s.p.currentItem, 1);  // the member whose own value is 0
  EXPECT_EQ(s.p.control(1)->get(), 2);
  EXPECT_EQ(s.p.control(4)->get(), -1);
  EXPECT_EQ(pixel(130, 150), int16_t(skinfix::rgb(30, 12, 4)));
  EXPECT_EQ(pixel(90, 150), int16_t(skinfix::rgb(8, 8, 8)));
  // A click on a radio's transparent corner is not the radio's.
  mouseDown(81, 141, 2000);
  QXScreen.events();
  EXPECT_EQ(s.p.currentItem, -1);
  EXPECT_EQ(s.p.control(1)->get(), 2);
}

TEST(SkinControls, HelpOfTheInnermostControlWins) {
  std::vector<Item> items = {background()};
  while (items.size() < 10) items.push_back(filler());
  items[3] = Item{31, 1, 100, 100, {skinfix::kCastButton}, {{7, 12}}, 0, 0};
  items[9] = Item{31, 1, 110, 102, {skinfix::kCastCheckOff}, {{7, 40}}, 0, 0};
  SkinPanel s(items);
  auto help = [&](int x, int y) {
    short h = 99;
    uloGlo.mouseX = int16_t(x);
    uloGlo.mouseY = int16_t(y);
    s.p.getHelp(&h);
    return h;
  };
  EXPECT_EQ(help(115, 110), 40);
  EXPECT_EQ(help(101, 101), 12);
  EXPECT_EQ(help(10, 10), -1);
  EXPECT_EQ(help(600, 450), 99);
  QXScreen.hide(0);
  EXPECT_EQ(help(115, 110), 99);
}

TEST(SkinControls, KnobAndSliderTrackTheMouseAndReportLive) {
  SkinPanel s({background(), Item{36, 2, 240, 40, {skinfix::kCastKnob, skinfix::kCastKnob}, {{1, 8}, {8, 1}}, 32, 32},
               Item{30, 2, 320, 40, {skinfix::kCastThumb}, {{1, 0}, {2, 100}}, 24, 160}});
  uloPanelControl* knob = s.p.control(1);
  knob->set(5);
  EXPECT_EQ(pixel(256, 56), int16_t(skinfix::rgb(19, 19, 10)));  // frame 5
  Mouse& m = s.m;
  m.hold(245, 57);
  m.hold(245, 59);
  m.release(245, 59);
  mouseDown(245, 56, 1000);  // left of the middle: moving down decreases
  QXScreen.events();
  EXPECT_EQ(knob->get(), 2);
  ASSERT_GE(s.p.items.size(), 3u);
  EXPECT_EQ(s.p.items[0], 1);
  EXPECT_EQ(s.p.realtimeSeen[0], 1);
  EXPECT_EQ(s.p.realtimeSeen.back(), 0);  // the final report
  knob->set(50);
  EXPECT_EQ(knob->get(), 7);

  uloPanelControl* slider = s.p.control(2);
  EXPECT_EQ(slider->get(), 0);
  m.hold(332, 44 + 72);
  m.release(332, 44 + 72);
  mouseDown(332, 44, 2000);
  QXScreen.events();
  EXPECT_EQ(slider->get(), 50);
  EXPECT_EQ(pixel(332, 40 + 72 + 1), int16_t(skinfix::rgb(26, 26, 28)));  // the thumb moved with it
  EXPECT_EQ(pixel(332, 41), kTint0);
}

TEST(SkinControls, BadGeometryIsClippedOrSkipped) {
  SkinPanel s({background(), Item{36, 2, 620, 465, {skinfix::kCastKnob, skinfix::kCastKnob}, {{1, 8}}, 32, 32},
               Item{31, 1, -30, -10, {skinfix::kCastButton, 9999}, {}, 0, 0},
               Item{68, 1, 600, 300, {skinfix::kCastText}, {}, 0, 0}});
  QXScreen.update(QXScreen.updateBuffer.bounds);
  EXPECT_EQ(pixel(630, 470), int16_t(skinfix::rgb(4, 4, 10)));  // frame 0, clipped at the edge
  s.p.control(1)->set(uloMsgSelectPicture, 20);                   // beyond the strip: nothing
  QXScreen.update(QXScreen.updateBuffer.bounds);
  EXPECT_EQ(pixel(630, 470), int16_t(3 << 10 | 3 << 5 | 4));
  s.p.control(2)->set(1);  // a picture that does not exist
  QXScreen.update(QXScreen.updateBuffer.bounds);
  EXPECT_EQ(pixel(10, 5), kTint0);
  s.p.control(3)->set(1000);
  EXPECT_EQ(s.p.control(3)->get(), 180);
  QXScreen.update(uloRect(-100, -100, 2000, 2000));
}

TEST(SkinControls, ComposedPanelMatchesTheReferencePicture) {
  SkinPanel s({background(),
               Item{33, 2, 100, 100, {skinfix::kCastRound, skinfix::kCastRound, skinfix::kCastRoundDown}, {}, 0, 0},
               Item{34, 2, 200, 100, {skinfix::kCastCheckOff, skinfix::kCastCheckOff, skinfix::kCastCheckOn}, {}, 0, 0},
               Item{39, 2, 300, 100, {skinfix::kCastRadioOff, skinfix::kCastRadioOff, skinfix::kCastRadioOn}, {{2, 3}}, 0, 0}});
  s.p.control(2)->set(1);
  s.p.control(0)->set(2);  // colour variant 2
  auto expected = [](int x, int y) -> int16_t {
    const int dx = 2 * (x - 100) - 39, dy = 2 * (y - 100) - 39;
    if (x >= 100 && x < 140 && y >= 100 && y < 140 && dx * dx + dy * dy <= 1600) return int16_t(skinfix::rgb(6, 16, 24));
    if (x >= 200 && x < 220 && y >= 100 && y < 120) return int16_t(skinfix::rgb(4, 28, 6));
    const int rx = 2 * (x - 300) - 19, ry = 2 * (y - 100) - 19;
    if (x >= 300 && x < 320 && y >= 100 && y < 120 && rx * rx + ry * ry <= 400) return int16_t(skinfix::rgb(8, 8, 8));
    if (x < 480 && y < 360)
      return int16_t(x < 2 || y < 2 || x >= 478 || y >= 358 ? skinfix::rgb(20, 20, 22) : skinfix::rgb(4, 9, 4));
    return int16_t(3 << 10 | 3 << 5 | 4);
  };
  int bad = 0;
  for (int y = 0; y < 480; y++)
    for (int x = 0; x < 640; x++)
      if (pixel(x, y) != expected(x, y) && bad++ < 5) ADD_FAILURE() << "pixel " << x << "," << y;
  EXPECT_EQ(bad, 0);
  s.p.control(0)->set(12);
  EXPECT_EQ(s.p.control(0)->get(), 9);
}

TEST(SkinControls, TextAndImageBar) {
  SkinPanel s({background(), Item{38, 1, 40, 260, {skinfix::kCastText, skinfix::kCastText}, {}, 0, 0},
               Item{68, 1, 40, 300, {skinfix::kCastProgressOn}, {}, 0, 0}});
  auto lit = [](int l, int t, int r, int b) {
    int n = 0;
    for (int y = t; y < b; y++)
      for (int x = l; x < r; x++) n += pixel(x, y) == int16_t(skinfix::rgb(31, 31, 31));
    return n;
  };
  EXPECT_EQ(lit(40, 260, 200, 280), 0);
  s.p.control(1)->setString("Hello");
  const int hello = lit(40, 260, 200, 280);
  EXPECT_GT(hello, 0);
  EXPECT_EQ(lit(40, 260, 100, 280), 0);  // centred, so nothing near the left edge
  s.p.control(1)->setValue(static_cast<char*>(nullptr));
  EXPECT_EQ(lit(40, 260, 200, 280), 0);
  s.p.control(2)->set(30);
  EXPECT_EQ(pixel(69, 305), int16_t(skinfix::rgb(6, 12, 30)));
  EXPECT_EQ(pixel(70, 305), kTint0);
}
