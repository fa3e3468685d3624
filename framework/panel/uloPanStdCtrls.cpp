#include "framework/panel/uloPanStdCtrls.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "framework/layout/uloLayouts.h"
#include "framework/platform/uloSys.h"

namespace {

void copyText(char* dst, size_t capacity, const char* src) {
  if (!src) src = "";
  snprintf(dst, capacity, "%s", src);
}

bool mouseIn(const uloRect& r) { return r.contains(uloGlo.mouseX, uloGlo.mouseY); }

constexpr char kStars[] = "***************************";
constexpr int16_t kDisabledColour = 7;
constexpr int32_t kShortcutFlashTicks = 15;

}  // namespace

// ------------------------------------------------------------ static cast

void uloPaCoStd_StaticCast::calc() {
  if (!layout) return;
  layout->RecalcItem(layoutItem);
  rect = itemFrame();
  position = rect.topleft();
}

void uloPaCoStd_StaticCast::draw() {
  if (canDraw() && layout) layout->DrawItem(layoutItem);
}

void uloPaCoStd_StaticCast::usePicture(int16_t picture) {
  pictureIndex = picture;
  if (!layout) return;
  layout->ItemUseIndex(layoutItem, picture);
  layout->RecalcItem(layoutItem);
}

void uloPaCoStd_StaticCast::setValue(short value) {
  if (value == pictureIndex) return;
  usePicture(value);
  draw();
}

void uloPaCoStd_StaticCast::getValue(short& value) { value = pictureIndex; }

// ---------------------------------------------------------- static string

void uloPaCoStd_StaticString::usePicture(int16_t picture) {
  if (!layout) return;
  layout->ItemUseIndex(layoutItem, picture);
  layout->RecalcItem(layoutItem);
}

void uloPaCoStd_StaticString::drawPicture() {
  if (layout) layout->DrawItem(layoutItem);
}

void uloPaCoStd_StaticString::drawText(const char* shown, int16_t colour) {
  if (!shown[0]) return;
  const int16_t x = rect.left;
  const int16_t y = int16_t(rect.middleHeight() - (size / 2 + 1));
  ULO_TextStyle(shown, int16_t(strlen(shown)), size, x, y, colour, rect.width(), justification, style);
}

void uloPaCoStd_StaticString::draw() {
  if (!canDraw()) return;
  drawPicture();
  drawText(text, textColour);
}

void uloPaCoStd_StaticString::setValue(char* t) {
  copyText(text, sizeof text, t);
  calc();
  draw();
}

void uloPaCoStd_StaticString::getValue(char* t) {
  if (t) strcpy(t, text);
}

void uloPaCoStd_StaticString::setValue(short which, short value) {
  if (which == 0) size = value;
  else if (which == 1) style = value;
  else if (which == 2) justification = value;
}

// ---------------------------------------------------------------- button

void uloPaCoStd_StandardButton::setup() { style = 1; }

void uloPaCoStd_StandardButton::draw() {
  if (!canDraw()) return;
  drawPicture();
  drawText(text, enabled ? textColour : kDisabledColour);
}

bool uloPaCoStd_StandardButton::click() {
  if (!enabled) return false;
  bool inside = false;
  while (ULO_TrackButtonDown()) {
    const bool now = mouseIn(itemFrame());
    if (now == inside) continue;
    inside = now;
    usePicture(inside ? 1 : 0);
    draw();
  }
  // The release itself moved the mouse record: that point decides.
  inside = mouseIn(itemFrame());
  usePicture(0);
  draw();
  return inside;
}

bool uloPaCoStd_StandardButton::key() {
  const int16_t shortcut = aux(3);
  if (!enabled || shortcut == 0 || uloGlo.character != shortcut) return false;
  usePicture(1);
  draw();
  ULO_WaitTicks(kShortcutFlashTicks);
  usePicture(0);
  draw();
  return true;
}

void uloPaCoStd_StandardButton::setValue(short value) {
  enabled = value != 0;
  usePicture(enabled ? 0 : 2);
  draw();
}

// ----------------------------------------------------------------- check

void uloPaCoStd_StandardCheck::setup() { focusable = 1; }

void uloPaCoStd_StandardCheck::draw() {
  if (!canDraw()) return;
  usePicture(int16_t(value + 3 * focused));
  drawPicture();
  drawText(text, textColour);
}

void uloPaCoStd_StandardCheck::statusChanged() { draw(); }

bool uloPaCoStd_StandardCheck::click() {
  if (!enabled) return false;
  bool inside = false;
  while (ULO_TrackButtonDown()) {
    const bool now = mouseIn(itemFrame());
    if (now == inside) continue;
    inside = now;
    if (canDraw()) {
      usePicture(int16_t((inside ? 1 - value : value) + 3 * focused));
      drawPicture();
    }
  }
  inside = mouseIn(itemFrame());
  if (inside) value = int16_t(1 - value);
  draw();
  return inside;
}

bool uloPaCoStd_StandardCheck::key() {
  if (!focused || uloGlo.character != ' ') return false;
  value = int16_t(1 - value);
  draw();
  return true;
}

void uloPaCoStd_StandardCheck::setValue(short v) {
  value = v ? 1 : 0;
  draw();
}

void uloPaCoStd_StandardCheck::getValue(short& v) { v = value; }

// ----------------------------------------------------------------- radio

void uloPaCoStd_StandardRadio::setup() {
  focusable = 1;
  ownValue = aux(1);
  group = aux(2);
}

int16_t uloPaCoStd_StandardRadio::statePicture() const {
  if (pressed) return 4;
  if (mixed) return 2;
  return int16_t(checked + 3 * focused);
}

void uloPaCoStd_StandardRadio::showState() {
  usePicture(statePicture());
  draw();
}

void uloPaCoStd_StandardRadio::draw() {
  if (!canDraw()) return;
  drawPicture();
  drawText(text, textColour);
}

void uloPaCoStd_StandardRadio::statusChanged() { showState(); }

bool uloPaCoStd_StandardRadio::sameGroup(const uloPaCoStd_StandardRadio* o) const {
  return o && o->kind == kind && o->group == group;
}

void uloPaCoStd_StandardRadio::setMeAndResetOthers() {
  if (!panel) return;
  for (int16_t i = 0; i < panel->controlsCount; i++) {
    auto* r = dynamic_cast<uloPaCoStd_StandardRadio*>(panel->controls[i]);
    if (!sameGroup(r)) continue;
    const uint8_t want = r == this;
    if (r->checked == want && !r->mixed) continue;
    r->checked = want;
    r->mixed = 0;
    r->showState();
  }
}

bool uloPaCoStd_StandardRadio::trackPress() {
  bool inside = false;
  while (ULO_TrackButtonDown()) {
    const bool now = mouseIn(itemFrame());
    if (now == inside) continue;
    inside = now;
    pressed = inside;
    showState();
  }
  pressed = 0;
  return mouseIn(itemFrame());
}

bool uloPaCoStd_StandardRadio::click() {
  if (!enabled) return false;
  const bool inside = trackPress();
  if (inside) setMeAndResetOthers();
  else showState();
  return inside;
}

bool uloPaCoStd_StandardRadio::key() {
  if (!focused || uloGlo.character != ' ') return false;
  setMeAndResetOthers();
  return true;
}

void uloPaCoStd_StandardRadio::setValue(short v) {
  if (!panel) return;
  for (int16_t i = 0; i < panel->controlsCount; i++) {
    auto* r = dynamic_cast<uloPaCoStd_StandardRadio*>(panel->controls[i]);
    if (!sameGroup(r)) continue;
    const uint8_t want = r->ownValue == v;
    if (r->checked == want && !r->mixed) continue;
    r->checked = want;
    r->mixed = 0;
    r->showState();
  }
}

void uloPaCoStd_StandardRadio::getValue(short& v) {
  v = -1;
  if (!panel) return;
  for (int16_t i = 0; i < panel->controlsCount; i++) {
    auto* r = dynamic_cast<uloPaCoStd_StandardRadio*>(panel->controls[i]);
    if (sameGroup(r) && r->checked) {
      v = r->ownValue;
      return;
    }
  }
}

void uloPaCoStd_StandardRadio::setValue(short which, short v) {
  if (which != 3) {
    uloPaCoStd_StaticString::setValue(which, v);
    return;
  }
  if (!panel) return;
  for (int16_t i = 0; i < panel->controlsCount; i++) {
    auto* r = dynamic_cast<uloPaCoStd_StandardRadio*>(panel->controls[i]);
    if (sameGroup(r) && r->ownValue == v && !r->mixed) {
      r->mixed = 1;
      r->showState();
    }
  }
}

void uloPaCoStd_StandardRadio::getValue(short which, short& v) {
  if (which != 3) return;
  v = 0;
  if (!panel) return;
  for (int16_t i = 0; i < panel->controlsCount; i++) {
    auto* r = dynamic_cast<uloPaCoStd_StandardRadio*>(panel->controls[i]);
    if (sameGroup(r) && r->mixed) v = 1;
  }
}

// ---------------------------------------------------------------- number

void uloPaCoStd_StandardNum::setValue(short v) {
  number = v;
  snprintf(text, sizeof text, "%d", v);
  draw();
}

void uloPaCoStd_StandardNum::getValue(short& v) { v = number; }

// ------------------------------------------------------------ text field

void uloPaCoStd_StandardEditString::setup() {
  focusable = 1;
  justification = 0;
}

void uloPaCoStd_StandardEditString::shownText(char* out) const { strcpy(out, text); }

void uloPaCoStd_StandardEditPassword::shownText(char* out) const {
  const size_t n = std::min(strlen(text), sizeof kStars - 1);
  memcpy(out, kStars, n);
  out[n] = 0;
}

void uloPaCoStd_StandardEditString::draw() {
  if (!canDraw()) return;
  usePicture(focused ? 1 : 0);
  drawPicture();
  char shown[256];
  shownText(shown);
  drawText(shown, textColour);
}

bool uloPaCoStd_StandardEditString::click() {
  if (!enabled) return false;
  if (panel && !focused) panel->select(index);
  return true;
}

bool uloPaCoStd_StandardEditString::key() {
  if (!focused || !enabled) return false;
  size_t n = strlen(text);
  if (uloGlo.keyCode == 8) {
    if (freshlySet) text[0] = 0;
    else if (n > 0) text[n - 1] = 0;
  } else if (uloGlo.keyCode == uloKeyDelete) {
    text[0] = 0;
  } else if (uloGlo.character >= 32 && uloGlo.character < 256) {
    if (freshlySet) {
      text[0] = 0;
      n = 0;
    }
    if (n < size_t(kMaxChars)) {
      text[n] = char(uloGlo.character);
      text[n + 1] = 0;
    }
  } else {
    return false;
  }
  freshlySet = 0;
  draw();
  return true;
}

void uloPaCoStd_StandardEditString::setValue(char* t) {
  char cut[kMaxChars + 1];
  copyText(cut, sizeof cut, t);
  uloPaCoStd_StaticString::setValue(cut);
  freshlySet = 1;
}

void uloPaCoStd_StandardEditString::setValue(short which, short value) {
  if (which == 3) {
    text[0] = 0;
    draw();
    return;
  }
  uloPaCoStd_StaticString::setValue(which, value);
}

// ---------------------------------------------------------- number field

void uloPaCoStd_StandardEditNum::setup() {
  focusable = 1;
  minimum = aux(1);
  maximum = aux(2);
  if (maximum < minimum) maximum = minimum;
  number = minimum;
  snprintf(text, sizeof text, "%01d", number);
}

void uloPaCoStd_StandardEditNum::draw() {
  if (!canDraw()) return;
  usePicture(focused ? 1 : 0);
  drawPicture();
  drawText(blank ? "" : text, textColour);
}

void uloPaCoStd_StandardEditNum::setValue(short v) {
  number = std::clamp<int16_t>(v, minimum, maximum);
  blank = 0;
  snprintf(text, sizeof text, "%d", number);
  draw();
}

void uloPaCoStd_StandardEditNum::getValue(short& v) { v = number; }

void uloPaCoStd_StandardEditNum::setValue(short which, short value) {
  if (which == 3) {
    blank = 1;
    draw();
    return;
  }
  uloPaCoStd_StaticString::setValue(which, value);
}

void uloPaCoStd_StandardEditNum::step(int delta) {
  if (blank) setValue(delta < 0 ? maximum : minimum);
  else setValue(short(std::clamp<int>(number + delta, minimum, maximum)));
}

bool uloPaCoStd_StandardEditNum::key() {
  if (!focused || !enabled) return false;
  switch (uloGlo.keyCode) {
    case uloKeyLeft:
    case uloKeyDown:
      step(-1);
      return true;
    case uloKeyRight:
    case uloKeyUp:
      step(+1);
      return true;
    default:
      return false;
  }
}

bool uloPaCoStd_StandardEditNum::click() {
  if (!enabled) return false;
  if (!focused) {
    if (panel) panel->select(index);
    return true;
  }
  if (blank) setValue(minimum);
  else step(uloGlo.mouseX < rect.middleWidth() ? -1 : +1);
  return true;
}

// ------------------------------------------------------------------ list

void uloPaCoStd_StandardList::setup() {
  focusable = 1;
  if (layout) {
    if (uloOffmap* row = layout->GetItemImage(layoutItem, 1)) rowHeight = int16_t(row->height());
  }
  if (rowHeight <= 0) rowHeight = 14;
}

int16_t uloPaCoStd_StandardList::visibleRows() const {
  return int16_t(std::max(1, rect.height() / rowHeight));
}

void uloPaCoStd_StandardList::drawListElem(int16_t row, const uloRect& r, bool sel) {
  if (sel) ULO_BoxFill(r.left, r.top, int16_t(r.right - 1), int16_t(r.bottom - 1), 3);
  ULO_TextStyle(rows[row], int16_t(strlen(rows[row])), 12, r.left, r.top, sel ? 1 : textColour, r.width(), 0, 0);
}

void uloPaCoStd_StandardList::draw() {
  if (!canDraw()) return;
  if (layout) layout->DrawItem(layoutItem);
  const int16_t n = visibleRows();
  for (int16_t k = 0; k < n && firstRow + k < rowCount; k++) {
    const int16_t row = int16_t(firstRow + k);
    const uloRect r(rect.left, rect.top + k * rowHeight, rect.right, rect.top + (k + 1) * rowHeight);
    drawListElem(row, r, row == selected);
  }
}

void uloPaCoStd_StandardList::showSelected() {
  if (selected < 0) return;
  if (selected < firstRow) firstRow = selected;
  if (selected >= firstRow + visibleRows()) firstRow = int16_t(selected - visibleRows() + 1);
}

void uloPaCoStd_StandardList::doSelectionFlash() {
  for (int i = 0; i < 2; i++) {
    const int16_t keep = selected;
    selected = -1;
    draw();
    ULO_WaitTicks(4);
    selected = keep;
    draw();
    ULO_WaitTicks(4);
  }
}

bool uloPaCoStd_StandardList::click() {
  if (!enabled) return false;
  if (panel && !focused) panel->select(index);
  const int row = firstRow + (uloGlo.mouseY - rect.top) / rowHeight;
  if (row < 0 || row >= rowCount) return true;
  selected = int16_t(row);
  draw();
  doSelectionFlash();
  return true;
}

bool uloPaCoStd_StandardList::key() {
  if (!focused || rowCount == 0) return false;
  int16_t next = selected;
  if (uloGlo.keyCode == uloKeyUp) next = int16_t(std::max(0, selected - 1));
  else if (uloGlo.keyCode == uloKeyDown) next = int16_t(std::min<int>(rowCount - 1, selected + 1));
  else return false;
  selected = next;
  showSelected();
  draw();
  return true;
}

void uloPaCoStd_StandardList::setValue(short v) {
  selected = v >= 0 && v < rowCount ? v : int16_t(-1);
  showSelected();
  draw();
}

void uloPaCoStd_StandardList::getValue(short& v) { v = selected; }

void uloPaCoStd_StandardList::setValue(short which, char* t) {
  if (which < 0 || which >= kMaxRows) return;
  copyText(rows[which], sizeof rows[which], t);
  rowCount = std::max<int16_t>(rowCount, int16_t(which + 1));
}

void uloPaCoStd_StandardList::getValue(short which, char* t) {
  if (t && which >= 0 && which < kMaxRows) strcpy(t, rows[which]);
}

// ------------------------------------------------------------- level bar

void uloPaCoStd_StandardLevelBar::setup() {
  minimum = aux(1);
  maximum = aux(2);
  if (maximum == minimum) maximum = int16_t(minimum + 1);
  value = minimum;
}

void uloPaCoStd_StandardLevelBar::draw() {
  if (!canDraw()) return;
  if (layout) layout->DrawItem(layoutItem);
  const int h = rect.height() * (value - minimum) / (maximum - minimum);
  if (h > 0) ULO_BoxFill(rect.left, int16_t(rect.bottom - h), int16_t(rect.right - 1), int16_t(rect.bottom - 1), 5);
}

bool uloPaCoStd_StandardLevelBar::click() {
  if (!enabled || rect.height() <= 0) return false;
  setValue(short(minimum + (maximum - minimum) * (rect.bottom - uloGlo.mouseY) / rect.height()));
  return true;
}

void uloPaCoStd_StandardLevelBar::setValue(short v) {
  const int16_t lo = std::min(minimum, maximum), hi = std::max(minimum, maximum);
  value = std::clamp<int16_t>(v, lo, hi);
  draw();
}

void uloPaCoStd_StandardLevelBar::getValue(short& v) { v = value; }
