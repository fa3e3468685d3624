// The panel's dispatch of events to its controls and the standard controls'
// input behaviour.
#include <gtest/gtest.h>

#include "framework/panel/uloPanStdCtrls.h"
#include "framework/panel/uloPanel.h"
#include "tests/framework/panelTestSupport.h"

using namespace paneltest;

namespace {

struct Probe : uloPanelControl {
  explicit Probe(uloRect r, bool takesClick = true, bool takesDouble = false) : takes(takesClick), takesDbl(takesDouble) {
    rect = r;
  }
  bool click() override {
    clicks++;
    return takes;
  }
  bool doubleClick() override {
    doubles++;
    return takesDbl;
  }
  bool key() override {
    keys++;
    return takesKey;
  }
  void statusChanged() override { changes++; }
  bool takes, takesDbl, takesKey = false;
  int clicks = 0, doubles = 0, keys = 0, changes = 0;
};

struct Panel : uloPanel {
  void onItem() override { items.push_back(currentItem); }
  void onClick() override { clicks++; }
  void onDoubleClick() override { doubleClicks++; }
  void onKey() override { keys++; }
  void onIdle() override { idles++; }
  void onStandardExitButtonsItems() override { exits++; }
  std::vector<int16_t> items;
  int clicks = 0, doubleClicks = 0, keys = 0, idles = 0, exits = 0;
};

Probe* put(uloPanel& p, short slot, Probe* c) {
  p.newCtrl(slot, c);
  return c;
}

void key(int code, bool shift = false) {
  uloGlo.what = uloEvtKeyDown;
  uloGlo.keyCode = uint8_t(code);
  uloGlo.character = int16_t(code);
  uloGlo.shift = shift;
}

}  // namespace

TEST(PanelDispatch, LowerSlotWinsAndFallsThroughWhenItDeclines) {
  Panel p;
  Probe* low = put(p, 3, new Probe(uloRect(0, 0, 50, 50)));
  Probe* high = put(p, 7, new Probe(uloRect(10, 10, 60, 60)));
  mouseDown(20, 20, 1000);
  p.events();
  EXPECT_EQ(p.currentItem, 3);
  EXPECT_EQ(high->clicks, 0);
  ASSERT_EQ(p.items.size(), 1u);

  low->takes = false;
  mouseDown(20, 20, 2000);
  p.events();
  EXPECT_EQ(p.currentItem, 7);
  EXPECT_EQ(low->clicks, 2);
  EXPECT_EQ(high->clicks, 1);

  // Disabled, inactive and hidden controls are never asked.
  high->enabled = 0;
  mouseDown(20, 20, 3000);
  p.events();
  EXPECT_EQ(high->clicks, 1);
  EXPECT_EQ(p.currentItem, -1);
  EXPECT_EQ(p.clicks, 1);
  EXPECT_EQ(p.items.size(), 2u);
}

TEST(PanelDispatch, EdgesOfTheRectangleCountAndIdleRunsLast) {
  Panel p;
  put(p, 4, new Probe(uloRect(10, 10, 20, 20)));
  mouseDown(20, 20, 5000);
  p.events();
  EXPECT_EQ(p.currentItem, 4);
  EXPECT_EQ(p.idles, 1);
  uloGlo.what = uloEvtNull;
  p.events();
  EXPECT_EQ(p.idles, 3);  // onIdle for the null event, then always once more
}

TEST(PanelDispatch, DoubleClickTiming) {
  Panel p;
  Probe* c = put(p, 5, new Probe(uloRect(0, 0, 10, 10), true, true));
  mouseDown(5, 5, 1000);
  p.events();
  mouseDown(5, 5, 1029);
  p.events();
  EXPECT_EQ(c->doubles, 1);
  // A third press 20 ticks later is still measured against the first.
  mouseDown(5, 5, 1049);
  p.events();
  EXPECT_EQ(c->doubles, 1);
  EXPECT_EQ(c->clicks, 2);

  Panel q;
  Probe* d = put(q, 5, new Probe(uloRect(0, 0, 10, 10), true, true));
  mouseDown(5, 5, 1000);
  q.events();
  mouseDown(5, 5, 1030);
  q.events();
  EXPECT_EQ(d->doubles, 0);
  EXPECT_EQ(d->clicks, 2);

  // A double click nobody takes: doubleClick then click were asked, then
  // the panel's own handler.
  Panel r;
  Probe* e = put(r, 2, new Probe(uloRect(0, 0, 10, 10), false, false));
  mouseDown(5, 5, 1000);
  r.events();
  mouseDown(5, 5, 1010);
  r.events();
  EXPECT_EQ(e->doubles, 1);
  EXPECT_EQ(e->clicks, 2);
  EXPECT_EQ(r.doubleClicks, 1);
  EXPECT_EQ(r.clicks, 1);
}

TEST(PanelDispatch, AFirstPressSoonAfterTheProgramStartsIsASingleClick) {
  // The tick count starts at 0 with the program: a first press at tick 10
  // has no earlier press to pair with.
  Panel p;
  Probe* c = put(p, 5, new Probe(uloRect(0, 0, 10, 10), true, true));
  mouseDown(5, 5, 10);
  p.events();
  EXPECT_EQ(c->doubles, 0);
  EXPECT_EQ(c->clicks, 1);
  mouseDown(5, 5, 25);
  p.events();
  EXPECT_EQ(c->doubles, 1);
}

TEST(PanelDispatch, ExitButtonSlotsAlsoReportAsExitButtons) {
  Panel p;
  put(p, 1, new Probe(uloRect(0, 0, 10, 10)));
  put(p, 3, new Probe(uloRect(20, 0, 30, 10)));
  mouseDown(5, 5, 1000);
  p.events();
  mouseDown(25, 5, 2000);
  p.events();
  EXPECT_EQ(p.items, (std::vector<int16_t>{1, 3}));
  EXPECT_EQ(p.exits, 1);
}

TEST(PanelDispatch, KeysGoToTheFirstTakerThenTabCyclesFocus) {
  Panel p;
  Probe* a = put(p, 2, new Probe(uloRect()));
  Probe* b = put(p, 4, new Probe(uloRect()));
  Probe* hidden = put(p, 6, new Probe(uloRect()));
  Probe* c = put(p, 8, new Probe(uloRect()));
  put(p, 9, new Probe(uloRect()));  // not focusable
  a->focusable = b->focusable = hidden->focusable = c->focusable = 1;
  hidden->visible = 0;
  b->takesKey = true;
  key('x');
  p.events();
  EXPECT_EQ(p.currentItem, 4);
  EXPECT_EQ(a->keys, 1);
  b->takesKey = false;

  p.select(2);
  EXPECT_TRUE(a->focused);
  key(9, true);  // Shift+Tab from the first focusable wraps to the last
  p.events();
  EXPECT_EQ(p.focusItem, 8);
  EXPECT_FALSE(a->focused);
  EXPECT_TRUE(c->focused);
  key(9);
  p.events();
  EXPECT_EQ(p.focusItem, 2);
  key(9);
  p.events();
  EXPECT_EQ(p.focusItem, 4);  // the hidden slot 6 is skipped later
  key(9);
  p.events();
  EXPECT_EQ(p.focusItem, 8);
  EXPECT_EQ(p.keys, 4);
}

TEST(PanelDispatch, CloseEndsTheLoopAndBadSlotsAreIgnored) {
  Panel p;
  uloGlo.running = 1;
  uloGlo.what = uloEvtClose;
  p.events();
  EXPECT_EQ(uloGlo.running, 0);
  uloGlo.running = 1;

  p.newCtrl(200, new Probe(uloRect()));
  p.newCtrl(-1, new Probe(uloRect()));
  p.newCtrl(3, nullptr);
  EXPECT_EQ(p.controlsCount, 0);
  for (int i = 0; i < kPanelSlots; i++) ASSERT_NE(p.control(i), nullptr);
}

TEST(PanelLayouts, AttachFillsSlotsFromTheFirstIndex) {
  std::vector<skinfix::Item> items;
  for (int i = 0; i < 12; i++) items.push_back({13, int16_t(i % 3), int16_t(10 * i), 0, {skinfix::kCastCheckOff}, {}, 0, 0});
  items[5].kind = 4;  // a kind without a class
  LayoutSkin skin({{7, skinfix::layoutOf(items)}});
  UloLayout L;
  L.Set(&skin.casts, 7);
  L.Load();
  Panel p;
  uloPanelControl* before = p.control(25);
  p.attachLayout(&L, 20);
  EXPECT_GE(p.controlsCount, 32);
  EXPECT_EQ(p.mainLayout, &L);
  EXPECT_EQ(p.control(25), before);
  EXPECT_NE(dynamic_cast<uloPaCoStd_StaticString*>(p.control(31)), nullptr);
  EXPECT_EQ(p.control(21)->layoutItem, 1);
  EXPECT_EQ(p.control(21)->rect, uloRect(10, 0, 30, 20));
  // Display states: 0 hidden, 1 shown only, 2 clickable.
  EXPECT_FALSE(p.control(20)->visible);
  EXPECT_TRUE(p.control(21)->visible);
  EXPECT_FALSE(p.control(21)->active);
  EXPECT_TRUE(p.control(22)->active);
}

namespace {
struct StdSkin {
  std::unique_ptr<LayoutSkin> skin;
  UloLayout L;
  Panel p;
  explicit StdSkin(std::vector<skinfix::Item> items) {
    skin = std::make_unique<LayoutSkin>(std::vector<std::pair<int32_t, layoutDataRec>>{{3, skinfix::layoutOf(items)}});
    L.Set(&skin->casts, 3);
    L.Load();
    p.attachLayout(&L, 0);
  }
};
}  // namespace

TEST(StandardControls, ButtonCountsOnlyAReleaseOverIt) {
  StdSkin s({{10, 2, 10, 10, {skinfix::kCastButton, skinfix::kCastButtonDown}, {{3, 'k'}}, 0, 0}});
  Mouse m;
  m.hold(20, 20);
  m.hold(200, 200);
  m.release(200, 200);
  mouseDown(20, 20, 1000);
  s.p.events();
  EXPECT_EQ(s.p.currentItem, -1);
  EXPECT_EQ(s.L.work[0].picture, 0);

  m.hold(20, 20);
  m.release(21, 21);
  mouseDown(20, 20, 2000);
  s.p.events();
  EXPECT_EQ(s.p.currentItem, 0);
  EXPECT_EQ(s.L.work[0].picture, 0);

  // The shortcut character presses it; disabling shows picture 2.
  uloGlo.what = uloEvtKeyDown;
  uloGlo.character = 'k';
  s.p.events();
  EXPECT_EQ(s.p.currentItem, 0);
  s.p.control(0)->set(0);
  EXPECT_EQ(s.L.work[0].picture, 2);
  EXPECT_FALSE(s.p.control(0)->click());
}

TEST(StandardControls, RadioGroupsAndMixedMarks) {
  using skinfix::Item;
  const std::vector<int32_t> pics = {skinfix::kCastRadioOff, skinfix::kCastRadioOn, skinfix::kCastCheckOff,
                                     skinfix::kCastCheckOn, skinfix::kCastButtonDown};
  StdSkin s({Item{11, 2, 0, 0, pics, {{1, 10}, {2, 1}}, 0, 0}, Item{11, 2, 30, 0, pics, {{1, 20}, {2, 1}}, 0, 0},
             Item{11, 2, 60, 0, pics, {{1, 30}, {2, 2}}, 0, 0}});
  Mouse m;
  m.release(35, 5);
  mouseDown(35, 5, 1000);
  s.p.events();
  EXPECT_EQ(s.p.currentItem, 1);
  EXPECT_EQ(s.p.control(0)->get(), 20);
  EXPECT_EQ(s.p.control(2)->get(), -1);  // another group
  s.p.control(1)->set(10);
  auto* a = dynamic_cast<uloPaCoStd_StandardRadio*>(s.p.control(0));
  auto* b = dynamic_cast<uloPaCoStd_StandardRadio*>(s.p.control(1));
  EXPECT_TRUE(a->checked);
  EXPECT_FALSE(b->checked);
  EXPECT_EQ(s.L.work[0].picture, 1);
  s.p.control(0)->set(3, 20);
  EXPECT_EQ(s.L.work[1].picture, 2);
  EXPECT_EQ(s.p.control(0)->get(3), 1);
  s.p.control(0)->set(20);  // a new selection clears the mark
  EXPECT_EQ(s.p.control(0)->get(3), 0);
}

TEST(StandardControls, TextAndNumberFields) {
  using skinfix::Item;
  StdSkin s({Item{15, 2, 0, 0, {skinfix::kCastText}, {}, 0, 0}, Item{16, 2, 0, 40, {skinfix::kCastText}, {{1, 3}, {2, 9}}, 0, 0},
             Item{20, 2, 0, 80, {skinfix::kCastText}, {}, 0, 0}});
  char out[256];
  uloPanelControl* text = s.p.control(0);
  text->setString("old");
  s.p.select(0);
  key('a');
  s.p.events();
  text->getValue(out);
  EXPECT_STREQ(out, "a");  // the first character after setValue starts afresh
  for (int i = 0; i < 30; i++) {
    key('b');
    s.p.events();
  }
  text->getValue(out);
  EXPECT_EQ(strlen(out), 20u);
  key(8);
  s.p.events();
  text->getValue(out);
  EXPECT_EQ(strlen(out), 19u);
  key(127);
  s.p.events();
  text->getValue(out);
  EXPECT_STREQ(out, "");

  uloPanelControl* num = s.p.control(1);
  EXPECT_EQ(num->get(), 3);
  num->set(50);
  EXPECT_EQ(num->get(), 9);
  s.p.select(1);
  key(uloKeyRight);
  s.p.events();
  EXPECT_EQ(num->get(), 9);
  num->set(3, 0);  // blank: left sets the maximum
  key(uloKeyLeft);
  s.p.events();
  EXPECT_EQ(num->get(), 9);
  mouseDown(1, 50, 5000);  // a click left of the middle steps down
  s.p.events();
  EXPECT_EQ(num->get(), 8);

  auto* pw = dynamic_cast<uloPaCoStd_StandardEditPassword*>(s.p.control(2));
  ASSERT_NE(pw, nullptr);
  pw->setString("secret");
  pw->getValue(out);
  EXPECT_STREQ(out, "secret");
}
