// QXpopupControl (kind 70): a skin pop-up menu. Closed, it shows the chosen
// entry's text on picture 0. A press held for 6 ticks opens the list of
// entries over the screen with the chosen entry over the control; the user
// drags to another entry (resting on the top or bottom entry scrolls when
// more lie beyond), the entry released on flashes and becomes the choice.
// A plain click opens the list as well: it stays open until the next press,
// whose release chooses the same way (outside the list: nothing), or until
// openWaitTicks pass. Escape closes an open list at once, choosing nothing,
// and goes no further (ULO_TakeEscapePress).
//
// Pictures of the item: 0 closed control, 1 first, 2 middle and 3 last
// entry, 4 highlight, 5 separator (an entry text starting with "-"), 6 the
// scroll-up marker, 7 the scroll-down marker. Aux 1 non-zero reports the
// press to the owner first (real-time), aux 2 is the text margin.
//
// User-interface thread only; the open list is drawn inside click(). Entry
// indices of 180 or more and empty texts are ignored; a release outside the
// list or on a marker chooses nothing; a pop-up without entries never opens.
#pragma once
#include <cstdint>

#include "framework/offmap/uloOffmap.h"
#include "framework/panel/uloPanStdCtrls.h"

class QXpopupControl : public uloPaCoStd_StaticCast {
 public:
  using uloPaCoStd_StaticCast::getValue;
  using uloPaCoStd_StaticCast::setValue;
  static constexpr int kMaxEntries = 180;
  static constexpr int kEntryBytes = 128;
  static constexpr int32_t kPressTicks = 6;
  static constexpr int32_t kScrollTicks = 6;
  static constexpr int kFlashPhases = 6;
  static constexpr int32_t kFlashTicks = 5;
  // How long a list opened by a click waits for the choosing press.
  static inline int32_t openWaitTicks = 60 * 30;

  void setup() override;
  void draw() override;
  bool click() override;
  void setValue(short value) override;
  void getValue(short& value) override;
  void setValue(short index, char* text) override;
  void getValue(short index, char* text) override;
  void setValue(char* text) override;
  void getValue(char* text) override;
  void setValue(short which, short value) override;

  // Paints the closed control into the screen's update buffer.
  void drawImg(int16_t picture, const uloRect& r);
  // One entry of the open list into the list bitmap (r in list pixels).
  void drawPopOpenItem(int16_t entry, const uloRect& r, bool highlighted);
  // The whole open list, `hovered` highlighted (-1 none), then to the window.
  void drawPopOpen(int16_t hovered);
  // Chooses first, last and the list rectangle for the chosen entry.
  void openGeometry();
  // The entry under the mouse in the open list, or -1.
  int16_t entryAt(int x, int y) const;

  const uloOffmap* pictures[9] = {};
  const uloOffmap* masks[9] = {};
  char entries[kMaxEntries][kEntryBytes] = {};
  int16_t count = 0;
  int16_t aux1 = 0;
  int16_t chosen = 0;
  int16_t selected = -1;
  uloRect listRect;
  uloRect sizeRect;
  int16_t margin = 0;
  int16_t aux3m1 = -1;
  int16_t first = 0, last = 0, visibleCount = 0;
  int16_t hovered = -1;
  uloOffmap list;
  uint8_t shorten = 1;
  uint8_t realTime = 0;

 private:
  // Flashes `entry` and returns; the list stays open.
  void flash(int16_t entry);
};
