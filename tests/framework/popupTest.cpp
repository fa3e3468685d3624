// The pop-up: entries, the geometry of the open list, the press that opens
// it and the choice made by releasing on an entry.
#include <gtest/gtest.h>

#include <SDL.h>

#include <string>
#include <vector>

#include "framework/panel/QXpopup.h"
#include "framework/platform/uloEvents.h"
#include "tests/framework/panelTestSupport.h"

using namespace paneltest;
using skinfix::Item;

namespace {

struct PopupPanel {
  Mouse m;
  std::unique_ptr<LayoutSkin> skin;
  RecordingPanel p;
  QXpopupControl* pop = nullptr;
  explicit PopupPanel(int top = 200, int16_t height = 0) {
    resetScreen();
    std::vector<int32_t> pics;
    for (int k = 0; k < 8; k++) pics.push_back(skinfix::kCastPopClosed + k);
    std::vector<Item> items = {Item{70, 2, 40, int16_t(top), pics, {{2, 4}}, 0, height}};
    skin = std::make_unique<LayoutSkin>(std::vector<std::pair<int32_t, layoutDataRec>>{{5, skinfix::layoutOf(items)}});
    p.attachLayouts(5, -1, -1, &skin->casts, uloRect(0, 0, 640, 480));
    QXScreen.connect(&p, 0, 0);
    pop = dynamic_cast<QXpopupControl*>(p.control(0));
  }
  ~PopupPanel() { QXScreen.disconnect(0); }
  void fill(int n) {
    for (short i = 0; i < n; i++) {
      char t[32];
      snprintf(t, sizeof t, i == 4 ? "-" : "Entry %d", i);
      pop->setValue(i, t);
    }
  }
};

}  // namespace

TEST(Popup, EntriesAndChoiceByText) {
  PopupPanel s;
  ASSERT_NE(s.pop, nullptr);
  s.fill(3);
  char a[] = "Entry 1", empty[] = "";
  s.pop->setValue(short(1), a);
  EXPECT_EQ(s.pop->count, 2);  // setting entry k makes the count k + 1
  s.pop->setValue(short(7), empty);
  s.pop->setValue(short(180), a);
  EXPECT_EQ(s.pop->count, 2);
  s.pop->setValue(a);
  EXPECT_EQ(s.pop->get(), 1);
  s.pop->set(50);
  EXPECT_EQ(s.pop->get(), 1);
  s.pop->set(-3);
  EXPECT_EQ(s.pop->get(), 0);
  char out[128];
  s.pop->getValue(out);
  EXPECT_STREQ(out, "Entry 0");
  s.pop->chosen = 9;
  s.pop->getValue(out);
  EXPECT_STREQ(out, "");
}

TEST(Popup, OpenListGeometry) {
  PopupPanel s;
  s.fill(3);
  s.pop->set(1);
  s.pop->openGeometry();
  EXPECT_EQ(s.pop->first, 0);
  EXPECT_EQ(s.pop->last, 2);
  EXPECT_EQ(s.pop->listRect, uloRect(40, 180, 160, 240));  // entry 1 over the control

  s.fill(150);
  s.pop->set(75);
  s.pop->openGeometry();
  // 20-pixel entries stop once the list's top is within 40 pixels of the
  // window's top and the last entry's top within 40 of its bottom.
  EXPECT_EQ(s.pop->first, 67);
  EXPECT_EQ(s.pop->last, 87);
  EXPECT_EQ(s.pop->listRect, uloRect(40, 40, 160, 460));
}

TEST(Popup, MarkersAndSeparatorsInTheOpenList) {
  PopupPanel s;
  s.fill(150);
  s.pop->set(75);
  s.pop->openGeometry();
  ASSERT_TRUE(s.pop->list.allocate(uloDepthDirect16, s.pop->listRect.width(), s.pop->listRect.height()));
  s.pop->drawPopOpen(70);
  auto at = [&](int entry) { return s.pop->list.getPixel(60, (entry - s.pop->first) * 20 + 10); };
  EXPECT_EQ(at(67), int16_t(skinfix::rgb(14, 4, 4)));  // more above
  EXPECT_EQ(at(87), int16_t(skinfix::rgb(4, 4, 14)));  // more below
  EXPECT_EQ(at(71), int16_t(skinfix::rgb(8, 8, 14)));  // a middle entry
  EXPECT_EQ(s.pop->list.getPixel(0, (70 - 67) * 20 + 10), int16_t(skinfix::rgb(31, 20, 0)));  // highlight frame
  s.pop->first = 0;
  s.pop->last = 5;
  s.pop->drawPopOpen(-1);
  EXPECT_EQ(s.pop->list.getPixel(60, 10), int16_t(skinfix::rgb(10, 10, 16)));  // the first entry
  EXPECT_EQ(s.pop->list.getPixel(60, 4 * 20 + 10), int16_t(skinfix::rgb(4, 4, 4)));  // "-" separator
  s.pop->list.dispose();
}

TEST(Popup, PressReleaseChoosesAndAPlainClickOpensTheListForASecondClick) {
  PopupPanel s;
  s.fill(6);
  s.pop->set(2);
  s.m.hold(50, 210);
  s.m.release(50, 210);  // released within 6 ticks: the list stays open
  s.m.release(50, 235);  // the pointer moves one entry down
  s.m.hold(50, 235);     // and clicks there
  s.m.release(50, 235);
  mouseDown(50, 210, 1000);
  QXScreen.events();
  EXPECT_EQ(s.p.currentItem, 0);
  EXPECT_EQ(s.pop->get(), 3);
  EXPECT_FALSE(s.pop->list.allocated);

  // A second click outside the open list closes it unchosen.
  s.pop->set(2);
  s.m.hold(50, 210);
  s.m.release(50, 210);
  s.m.hold(400, 400);
  s.m.release(400, 400);
  mouseDown(50, 210, 2000);
  QXScreen.events();
  EXPECT_EQ(s.pop->get(), 2);

  // Nobody clicks: the list closes by itself.
  const int32_t wait = QXpopupControl::openWaitTicks;
  QXpopupControl::openWaitTicks = 2;
  s.m.hold(50, 210);
  s.m.release(50, 210);
  mouseDown(50, 210, 3000);
  QXScreen.events();
  QXpopupControl::openWaitTicks = wait;
  EXPECT_EQ(s.pop->get(), 2);
  EXPECT_FALSE(s.pop->list.allocated);

  s.m.hold(50, 210, 120);  // held past 6 ticks: the list opens
  s.m.hold(50, 235);
  s.m.release(50, 235);  // one entry below the control
  mouseDown(50, 210, 5000);
  QXScreen.events();
  EXPECT_EQ(s.p.currentItem, 0);
  EXPECT_EQ(s.pop->get(), 3);
  EXPECT_FALSE(s.pop->list.allocated);

  s.m.hold(50, 210, 120);
  s.m.release(400, 400);  // outside the list: nothing chosen
  mouseDown(50, 210, 9000);
  QXScreen.events();
  EXPECT_EQ(s.pop->get(), 3);

  PopupPanel none;
  none.m.hold(50, 210, 120);
  none.m.release(50, 210);
  mouseDown(50, 210, 1000);
  QXScreen.events();
  EXPECT_EQ(none.p.currentItem, -1);
}

namespace {

// SDL's event queue without a window, as the program's own queue.
struct EventQueue {
  EventQueue() { SDL_InitSubSystem(SDL_INIT_EVENTS); }
  ~EventQueue() {
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    SDL_QuitSubSystem(SDL_INIT_EVENTS);
  }
  static void key(SDL_Keycode sym, bool down) {
    SDL_Event e;
    SDL_zero(e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
    SDL_PushEvent(&e);
  }
  // What is left queued, as "down:sym" / "up:sym".
  static std::vector<std::string> left() {
    std::vector<std::string> out;
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_KEYDOWN, SDL_KEYUP) == 1)
      out.push_back(std::string(e.type == SDL_KEYDOWN ? "down:" : "up:") + SDL_GetKeyName(e.key.keysym.sym));
    return out;
  }
};

}  // namespace

TEST(Popup, EscapeTakesOnlyEscapePressesFromTheQueue) {
  EventQueue q;
  EXPECT_FALSE(ULO_TakeEscapePress());
  q.key(SDLK_a, true);
  q.key(SDLK_ESCAPE, true);
  q.key(SDLK_ESCAPE, true);  // a repeat
  q.key(SDLK_ESCAPE, false);
  q.key(SDLK_a, false);
  EXPECT_TRUE(ULO_TakeEscapePress());
  EXPECT_FALSE(ULO_TakeEscapePress());
  EXPECT_EQ(q.left(), (std::vector<std::string>{"down:A", "up:Escape", "up:A"}));
}

TEST(Popup, EscapeClosesTheOpenListAtOnceChoosingNothing) {
  EventQueue q;
  PopupPanel s;
  s.fill(6);
  s.pop->set(2);
  // Opened by a click; the pointer rests on entry 3 when Escape comes.
  s.m.hold(50, 210);
  s.m.release(50, 210);
  s.m.release(50, 235);
  q.key(SDLK_ESCAPE, true);
  q.key(SDLK_ESCAPE, false);
  mouseDown(50, 210, 1000);
  QXScreen.events();
  EXPECT_EQ(s.pop->get(), 2);
  EXPECT_FALSE(s.pop->list.allocated);
  EXPECT_EQ(q.left(), std::vector<std::string>{"up:Escape"}) << "the press went nowhere else";

  // Held open and dragged onto entry 3: Escape closes it, and the release
  // that follows chooses nothing.
  s.m.hold(50, 210, 120);
  s.m.hold(50, 235);
  s.m.hold(50, 235);
  s.m.release(50, 235);
  q.key(SDLK_ESCAPE, true);
  mouseDown(50, 210, 5000);
  QXScreen.events();
  EXPECT_EQ(s.pop->get(), 2);
  EXPECT_FALSE(s.pop->list.allocated);
  EXPECT_TRUE(Mouse::steps().empty()) << "the press was followed to its release";
  EXPECT_TRUE(q.left().empty());
}
