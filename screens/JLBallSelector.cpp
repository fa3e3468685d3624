#include "screens/JLBallSelector.h"

#include <algorithm>

#include "screens/JLDraggerCtrl.h"
#include "screens/JLGroovePanel.h"

short JLBallSelector::getID(short) { return 0; }
short JLBallSelector::getPanelItem(short ball) { return ball; }

void JLBallSelector::setup(QXPanelClass* owner, short visibleBalls, int16_t* countPtr, short ballStyle) {
  panel = owner;
  visible = int16_t(std::clamp<int>(visibleBalls, 1, kMaxBalls));
  count = countPtr;
  style = ballStyle;
  for (short i = 0; i < visible; i++) {
    items[i] = getPanelItem(i);
    if (uloPanelControl* c = panel ? panel->control(items[i]) : nullptr) {
      c->setValue(short(-1));
      c->setValue(jlMsgBallColour, style);
    }
  }
  reset();
}

void JLBallSelector::reset() {
  first = 0;
  selected = -1;
}

void JLBallSelector::refresh() {
  for (short i = 0; i < visible; i++) refresh(i);
}

void JLBallSelector::refresh(short ball) {
  if (ball < 0 || ball >= visible || !panel) return;
  uloPanelControl* c = panel->control(items[ball]);
  if (!c) return;
  const short p = short(first + ball);
  if (p < listCount()) {
    c->setValue(getID(p));
    c->setValue(jlMsgBallHighlight, short(p == selected));
  } else {
    c->setValue(short(-1));
    c->setValue(jlMsgBallHighlight, short(0));
  }
}

void JLBallSelector::select(short p) {
  selected = p;
  const short n = listCount();
  if (p >= 0 && p < n) {
    if (p < first) first = p;
    while (p >= first + visible) first++;
  }
  if (n > visible)
    while (first > n - visible) first--;
  refresh();
}

void JLBallSelector::scroll(short d) {
  const short n = listCount();
  int f = first + d;
  if (f < 0) f = 0;
  if (n >= visible) {
    f = std::min(f, n - visible + 1);
  } else {
    f = 0;
  }
  first = int16_t(f);
  refresh();
}

short JLBallGroovesSelector::getID(short position) {
  auto* g = dynamic_cast<JLGroovePanel*>(panel);
  if (!g || position < 0 || position >= JLSequence::kMaxGrooves) return 0;
  return g->sequence.grooves[position].id;
}

bool JLBallGroovesSelector::selectID(short id) {
  auto* g = dynamic_cast<JLGroovePanel*>(panel);
  if (!g) return false;
  for (short p = 0; p < listCount() && p < JLSequence::kMaxGrooves; p++)
    if (g->sequence.grooves[p].id == id) {
      select(p);
      return true;
    }
  return false;
}

short JLBallSequenceSelector::getID(short position) {
  auto* g = dynamic_cast<JLGroovePanel*>(panel);
  if (!g || position < 0 || position >= JLSequence::kMaxSteps) return 0;
  return g->sequence.steps[position];
}
