// Shared by the panel, control, screen, pop-up and help tests: a scripted
// mouse for tracking loops, a skin container built once per test program,
// a clean screen for every test and readers of the update buffer.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <thread>

#include "framework/panel/JLHelps.h"
#include "framework/panel/QXPanel.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "support/tempFolder.h"
#include "tests/framework/panelFixtures.h"

namespace paneltest {

// What the mouse does while a control tracks it: each step moves the mouse,
// says whether the button is held and may wait (ticks are real time).
struct Mouse {
  struct Step {
    int x, y;
    bool down;
    int waitMs;
  };
  static std::deque<Step>& steps() {
    static std::deque<Step> s;
    return s;
  }
  static bool next() {
    if (steps().empty()) {
      uloGlo.buttonDown = 0;
      return false;
    }
    const Step s = steps().front();
    steps().pop_front();
    uloGlo.mouseX = int16_t(s.x);
    uloGlo.mouseY = int16_t(s.y);
    uloGlo.buttonDown = s.down;
    if (s.waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(s.waitMs));
    return s.down;
  }
  Mouse() {
    steps().clear();
    ULO_SetTrackingSource(next);
  }
  ~Mouse() {
    steps().clear();
    ULO_SetTrackingSource(nullptr);
  }
  void hold(int x, int y, int waitMs = 0) { steps().push_back({x, y, true, waitMs}); }
  void release(int x, int y) { steps().push_back({x, y, false, 0}); }
};

// The demonstration skin, written once; QXCasts and QXFont read it.
struct SharedSkin {
  TempFolder dir;
  std::string path = dir.ulo() + "skin.xrs";
  UloResFile res;
  static SharedSkin& get() {
    static SharedSkin s;
    return s;
  }

 private:
  SharedSkin() {
    skinfix::SkinWriter w(path);
    skinfix::writeDemoCasts(w);
    w.layout(1, skinfix::layoutOf(skinfix::demoItems(), uloRect(0, 0, 480, 360)));
    w.text("DATA", 100, skinfix::demoHelps());
    EXPECT_TRUE(w.close());
    res.SetWorkName(path.c_str());
    res.readOnly = 1;
    EXPECT_TRUE(res.Open());
    QXCasts.UnloadResources();
    QXCasts.resFile = &res;
    QXCasts.ParseResources();
    QXFont.setup(&QXCasts, skinfix::kCastFont);
  }
};

// A container of one test's own layouts over the shared casts.
struct LayoutSkin {
  TempFolder dir;
  std::string path = dir.ulo() + "layouts.xrs";
  UloResFile res;
  UloCasts casts;

  explicit LayoutSkin(const std::vector<std::pair<int32_t, layoutDataRec>>& layouts) {
    SharedSkin::get();
    skinfix::SkinWriter w(path);
    skinfix::writeDemoCasts(w);
    for (auto& l : layouts) w.layout(l.first, l.second);
    EXPECT_TRUE(w.close());
    res.SetWorkName(path.c_str());
    res.readOnly = 1;
    EXPECT_TRUE(res.Open());
    casts.resFile = &res;
    casts.ParseResources();
  }
};

// Every screen test starts from a 640 x 480 window and an empty screen.
inline void resetScreen(int w = 640, int h = 480) {
  for (int16_t i = 0; i < kScreenEntries; i++) QXScreen.disconnect(i);
  uloGlo.windowWidth = int16_t(w);
  uloGlo.windowHeight = int16_t(h);
  uloGlo.running = 1;
  uloGlo.buttonDown = 0;
  uloGlo.shift = 0;
  jlHelpp = nullptr;
  surfaceUpdateOnly = 0;
  QXScreen.blitting = true;
  QXScreen.setup(int16_t(w), int16_t(h));
}

inline int16_t pixel(int x, int y) { return QXScreen.updateBuffer.getPixel(x, y); }
inline int red(int16_t p) { return (p >> 10) & 31; }
inline int green(int16_t p) { return (p >> 5) & 31; }
inline int blue(int16_t p) { return p & 31; }

// A skin panel that records what it is told.
class RecordingPanel : public QXPanelClass {
 public:
  void onItem() override {
    items.push_back(currentItem);
    realtimeSeen.push_back(realTime);
  }
  void onClick() override { clicks++; }
  void onDoubleClick() override { doubleClicks++; }
  void onIdle() override { idles++; }
  void onStandardExitButtonsItems() override { exitButtons++; }
  void beforeShow() override { log += "bs "; }
  void afterShow() override { log += "as "; }
  void beforeHide() override { log += "bh "; }
  void afterHide() override { log += "ah "; }
  void connected() override { log += "c "; }
  void onPanelOpened() override { log += "o "; }
  void asyncDialogMessage(JLPath*) override { dialogs++; }
  void onMenuCommand(int16_t, int16_t item) override { menuItems.push_back(item); }
  void events() override {
    order().push_back(screenIndex);
    QXPanelClass::events();
  }

  std::vector<int16_t> items;
  std::vector<uint8_t> realtimeSeen;
  std::vector<int16_t> menuItems;
  int clicks = 0, doubleClicks = 0, idles = 0, exitButtons = 0, dialogs = 0;
  std::string log;
  static std::vector<int16_t>& order() {
    static std::vector<int16_t> o;
    return o;
  }
};

inline void mouseDown(int x, int y, int32_t when = 100000) {
  uloGlo.what = uloEvtMouseDown;
  uloGlo.mouseX = int16_t(x);
  uloGlo.mouseY = int16_t(y);
  uloGlo.when = when;
  uloGlo.buttonDown = 1;
}

}  // namespace paneltest
