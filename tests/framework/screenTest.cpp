// The screen: placement in larger windows, the black border, event
// distribution between overlapping panels, transitions, dragging, the close
// question and the hand-over of dialog answers.
#include <gtest/gtest.h>

#include "core/files/uloPath.h"
#include "tests/framework/castsTestSupport.h"
#include "tests/framework/panelTestSupport.h"

using namespace paneltest;
using skinfix::Item;

namespace {

std::vector<int32_t> backs() {
  std::vector<int32_t> v;
  for (int i = 0; i < 10; i++) v.push_back(skinfix::kCastBack + i);
  return v;
}

// Two panels of the demonstration background (480 x 360) and one button.
struct TwoPanels {
  Mouse m;
  std::unique_ptr<LayoutSkin> skin;
  RecordingPanel a, b;
  TwoPanels(int w = 640, int h = 480) {
    resetScreen(w, h);
    RecordingPanel::order().clear();
    std::vector<Item> items = {Item{19, 1, 0, 0, backs(), {}, 0, 0},
                               Item{33, 2, 40, 40, {skinfix::kCastButton, skinfix::kCastButton}, {}, 0, 0}};
    skin = std::make_unique<LayoutSkin>(std::vector<std::pair<int32_t, layoutDataRec>>{{2, skinfix::layoutOf(items)}});
    a.attachLayouts(2, -1, -1, &skin->casts, uloRect(0, 0, 640, 480));
    b.attachLayouts(2, -1, -1, &skin->casts, uloRect(0, 0, 640, 480));
    QXScreen.connect(&a, 0, 0);
    QXScreen.connect(&b, 3, 1);
    QXScreen.setProps(0, 0, 0, false, 0);
    QXScreen.setProps(3, 100, 100, true, 0);
  }
  ~TwoPanels() {
    QXScreen.disconnect(0);
    QXScreen.disconnect(3);
  }
};

}  // namespace

TEST(Screen, DesignAreaIsCentredWithABlackBorder) {
  TwoPanels t(800, 600);
  EXPECT_EQ(QXScreen.origin, uloPoint(80, 60));
  QXScreen.update(uloRect(0, 0, 800, 600));
  EXPECT_EQ(pixel(79, 300), 0);
  EXPECT_EQ(pixel(720, 300), 0);
  EXPECT_EQ(pixel(400, 59), 0);
  EXPECT_EQ(pixel(80 + 10, 60 + 10), int16_t(skinfix::rgb(4, 6, 10)));  // panel 0 at the origin
  EXPECT_EQ(QXScreen.backgroundRect(0), uloRect(80, 60, 560, 420));

  resetScreen(600, 400);
  EXPECT_EQ(QXScreen.origin, uloPoint(0, 0));
  QXScreen.update(uloRect(-50, -50, 5000, 5000));  // clipped, never outside the buffer
}

TEST(Screen, ClicksGoToTheTopPanelAndIdleReachesAllFromTheTop) {
  TwoPanels t;
  QXScreen.show(3);
  EXPECT_EQ(t.b.log, "c o bs as ");
  t.m.release(150, 150);
  mouseDown(150, 150, 1000);  // both backgrounds cover it; the button of panel 3 lies at 140,140
  QXScreen.events();
  EXPECT_EQ(RecordingPanel::order(), (std::vector<int16_t>{3}));
  EXPECT_EQ(t.b.items, (std::vector<int16_t>{1}));
  RecordingPanel::order().clear();
  uloGlo.what = uloEvtNull;
  QXScreen.events();
  EXPECT_EQ(RecordingPanel::order(), (std::vector<int16_t>{3, 0}));
  // Panel 3 paints over panel 0.
  EXPECT_EQ(pixel(150, 150), int16_t(skinfix::rgb(12, 14, 18)));
  QXScreen.hide(3);
  EXPECT_EQ(pixel(150, 150), int16_t(skinfix::rgb(4, 6, 10)));
}

// While a dialog window of ours is up, a press or a typed key never reaches
// the panels behind it; a key's release still does, so nothing stays held.
TEST(Screen, PressesAndKeysWaitWhileADialogIsUp) {
  TwoPanels t;
  QXScreen.show(3);
  RecordingPanel::order().clear();
  {
    const ULO_ExternalDialogScope dialogUp;
    EXPECT_TRUE(ULO_ExternalDialogOpen());
    t.m.release(150, 150);
    mouseDown(150, 150, 1000);
    QXScreen.events();
    EXPECT_TRUE(RecordingPanel::order().empty());
    EXPECT_TRUE(t.b.items.empty());
    QXScreen.keyPresses['s'] = 1;
    uloGlo.what = uloEvtKeyDown;
    uloGlo.keyCode = 's';
    QXScreen.events();
    EXPECT_EQ(QXScreen.keyPresses['s'], 1) << "the press was not counted";
    uloGlo.what = uloEvtKeyUp;
    QXScreen.events();
    EXPECT_EQ(QXScreen.keyPresses['s'], 0) << "the release still counts";
  }
  EXPECT_FALSE(ULO_ExternalDialogOpen());
  t.m.release(150, 150);
  mouseDown(150, 150, 2000);
  QXScreen.events();
  EXPECT_EQ(t.b.items, (std::vector<int16_t>{1}));
}

TEST(Screen, DraggingMovesTheDraggablePanelOnly) {
  TwoPanels t;
  QXScreen.show(3);
  t.m.hold(320, 320);
  t.m.hold(330, 325);
  t.m.release(330, 325);
  mouseDown(300, 300, 1000);  // panel 3's background, no control there
  QXScreen.events();
  // 25 down would put its bottom 5 pixels past the window: it stops at the edge.
  EXPECT_EQ(QXScreen.backgroundRect(3), uloRect(130, 120, 610, 480));
  EXPECT_EQ(pixel(131, 300), int16_t(skinfix::rgb(20, 20, 22)));  // its left frame moved along
  t.m.hold(100, 100);
  t.m.release(10, 10);
  QXScreen.hide(3);
  mouseDown(20, 20, 2000);  // panel 0 is not draggable
  QXScreen.events();
  EXPECT_EQ(QXScreen.backgroundRect(0), uloRect(0, 0, 480, 360));
}

TEST(Screen, APanelDraggedFarPastAnEdgeStaysWholeInTheWindow) {
  TwoPanels t(1000, 700);
  QXScreen.show(3);
  const uloRect start = QXScreen.backgroundRect(3);
  t.m.hold(start.left + 50, start.top + 50);
  t.m.hold(start.left + 50, start.top + 900);  // far below the window
  t.m.hold(start.left - 900, start.top + 900);  // and far left of it
  t.m.release(start.left - 900, start.top + 900);
  mouseDown(start.left + 10, start.top + 10, 1000);
  QXScreen.events();
  const uloRect r = QXScreen.backgroundRect(3);
  EXPECT_EQ(r, uloRect(0, int16_t(700 - start.height()), start.width(), 700));
}

TEST(Screen, CrossFadeEndsOnWhatLiesUnder) {
  TwoPanels t;
  QXScreen.setProps(3, 100, 100, true, 1);
  const uint32_t start = ULO_Ticks();
  QXScreen.show(3);
  EXPECT_GE(ULO_Ticks() - start, uint32_t(kTransitionTicks));
  EXPECT_EQ(pixel(300, 300), int16_t(skinfix::rgb(4, 6, 10)));
  EXPECT_EQ(pixel(150, 150), int16_t(skinfix::rgb(12, 14, 18)));
  QXScreen.hide(3);
  EXPECT_EQ(pixel(150, 150), int16_t(skinfix::rgb(4, 6, 10)));
  EXPECT_EQ(pixel(500, 400), int16_t(3 << 10 | 3 << 5 | 4));
  EXPECT_TRUE(QXScreen.blitting);
}

TEST(Screen, ResizeReanchorsAndKeepsDraggablePanelsInBounds) {
  TwoPanels t;
  QXScreen.setPanelPosition(3, 600, 400);
  EXPECT_EQ(QXScreen.backgroundRect(3).left, 600);
  uloGlo.windowWidth = 800;
  uloGlo.windowHeight = 600;
  uloGlo.what = uloEvtResize;
  QXScreen.events();
  EXPECT_EQ(QXScreen.backgroundRect(0), uloRect(80, 60, 560, 420));
  EXPECT_LE(QXScreen.backgroundRect(3).right, 790);
  EXPECT_LE(QXScreen.backgroundRect(3).bottom, 600);
  EXPECT_GE(QXScreen.updateBuffer.width(), 800);
}

TEST(Screen, FloatingPanelsOpenOnTheMainPanelAndFollowItWhenResized) {
  TwoPanels t;  // the floating panel placed at (100, 100) of the design area
  auto resize = [](int w, int h) {
    uloGlo.windowWidth = int16_t(w);
    uloGlo.windowHeight = int16_t(h);
    uloGlo.what = uloEvtResize;
    QXScreen.events();
  };
  auto fromMain = [] {
    const uloRect main = QXScreen.backgroundRect(0), floating = QXScreen.backgroundRect(3);
    return uloPoint(int16_t(floating.left - main.left), int16_t(floating.top - main.top));
  };
  resize(1000, 700);
  EXPECT_EQ(QXScreen.backgroundRect(0), uloRect(180, 110, 660, 470));
  EXPECT_EQ(fromMain(), uloPoint(100, 100));
  resize(800, 600);
  EXPECT_EQ(QXScreen.backgroundRect(3), uloRect(180, 160, 660, 520));
  // Moved by the user, it keeps its place on the main panel.
  QXScreen.setPanelPosition(3, 40, 30);
  resize(1000, 700);
  EXPECT_EQ(fromMain(), uloPoint(40, 30));
  resize(640, 480);
  EXPECT_EQ(QXScreen.backgroundRect(3), uloRect(40, 30, 520, 390));
}

TEST(Screen, CloseAsksAndMenusAndDialogAnswersAreRouted) {
  TwoPanels t;
  skintest::MessageLog log;
  uloGlo.what = uloEvtClose;
  QXScreen.events();
  EXPECT_EQ(uloGlo.running, 1);  // default answer: No
  ASSERT_EQ(log.boxes().size(), 1u);
  EXPECT_EQ(log.boxes()[0].buttons, 1);
  log.answer() = 1;
  uloGlo.what = uloEvtMenu;
  uloGlo.menuId = 129;
  uloGlo.menuItem = 6;  // Quit becomes a close request
  QXScreen.events();
  EXPECT_EQ(uloGlo.running, 0);
  uloGlo.running = 1;

  uloGlo.what = uloEvtMenu;
  uloGlo.menuItem = 4;
  QXScreen.events();
  EXPECT_EQ(t.a.menuItems, (std::vector<int16_t>{4}));

  JLPath path;
  path.request[0] = 3;
  QXScreen_remoteevents(&path);
  EXPECT_EQ(t.b.dialogs, 1);
  path.request[0] = 42;
  QXScreen_remoteevents(&path);
  EXPECT_EQ(t.a.dialogs + t.b.dialogs, 1);
}
