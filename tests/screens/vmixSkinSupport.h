// The program's own generated skin, opened once for the panel tests of the
// mixer, tuner and small panels: panels attach their real layouts, are
// connected to the screen (a 640 x 480 update buffer) and driven through
// onItem with the item set, as a click would.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "core/files/uloPath.h"
#include "framework/casts/uloCasts.h"
#include "framework/panel/QXPanel.h"
#include "framework/platform/uloSys.h"
#include "framework/res/uloRes.h"
#include "framework/screen/QXScreen.h"
#include "framework/text/uloFont.h"

namespace mixtest {

inline void openSkin() {
  static bool opened = false;
  static UloResFile res;
  if (opened) return;
  opened = true;
  uloPath p;
  ASSERT_TRUE(p.fromSystemPath((std::string(JL_APP_DIR) + "/Jamloom.xrs").c_str()));
  res.SetWorkName(p.c_str());
  res.readOnly = 1;
  ASSERT_TRUE(res.Open()) << "the generated skin is missing: build the jl_skin target";
  QXCasts.resFile = &res;
  QXCasts.ownsResFile = 0;
  QXCasts.ParseResources();
  QXFont.setup(&QXCasts, 500);
  QXScreen.setup(640, 480);
}

// A press on the centre of `r` through the screen, `after` ticks after the
// previous one (two presses less than 30 ticks apart are a double click).
// Whatever tracking loop it starts reads the tracking source in use.
inline void pressCentreOf(const uloRect& r, int32_t after) {
  uloGlo.when += after;
  uloGlo.what = uloEvtMouseDown;
  uloGlo.mouseX = int16_t((r.left + r.right) / 2);
  uloGlo.mouseY = int16_t((r.top + r.bottom) / 2);
  uloGlo.buttonDown = 1;
  QXScreen.events();
  uloGlo.what = uloEvtNull;
}

// A panel with its layout in a screen entry; disconnected on destruction.
template <typename P>
struct Mounted {
  P panel;
  int16_t entry;
  Mounted(int32_t layout, int16_t entry_, bool show = true) : entry(entry_) {
    openSkin();
    panel.attachLayouts(layout, -1, -1, &QXCasts, uloRect(0, 0, 640, 480));
    QXScreen.connect(&panel, entry, 1);
    QXScreen.setProps(entry, 0, 0, false, 0);
    if (show) QXScreen.show(entry);
  }
  ~Mounted() {
    QXScreen.hide(entry);
    QXScreen.disconnect(entry);
  }
  void click(int16_t item) {
    panel.currentItem = item;
    panel.onItem();
  }
  short value(int16_t item) { return panel.control(item) ? panel.control(item)->get() : -999; }
  std::string text(int16_t item) {
    char t[256] = {0};
    if (panel.control(item)) panel.control(item)->getValue(t);
    return t;
  }
  void set(int16_t item, short v) {
    if (panel.control(item)) panel.control(item)->set(v);
  }
};

}  // namespace mixtest
