#include "framework/panel/QXpopup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "framework/layout/uloLayouts.h"
#include "framework/panel/QXPanel.h"
#include "framework/platform/uloEvents.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"

void QXpopupControl::setup() {
  uloPaCoStd_StaticCast::setup();
  aux1 = aux(1);
  margin = aux(2);
  aux3m1 = int16_t(aux(3) - 1);
  realTime = aux1 != 0;
  for (int16_t p = 0; p < 9; p++) {
    pictures[p] = layout ? layout->GetItemImage(layoutItem, p) : nullptr;
    masks[p] = layout ? layout->GetItemMask(layoutItem, p) : nullptr;
  }
  focusable = 0;
  count = 0;
  chosen = 0;
  sizeRect = uloRect(0, 0, rect.width(), rect.height());
}

void QXpopupControl::draw() {
  if (canDraw()) QXScreen.update(rect);
}

void QXpopupControl::setValue(short value) {
  chosen = count > 0 ? std::clamp<int16_t>(value, 0, int16_t(count - 1)) : int16_t(0);
  draw();
}

void QXpopupControl::getValue(short& value) { value = chosen; }

void QXpopupControl::setValue(short index, char* text) {
  if (index < 0 || index >= kMaxEntries || !text || !text[0]) return;
  snprintf(entries[index], kEntryBytes, "%s", text);
  count = int16_t(index + 1);
}

void QXpopupControl::getValue(short index, char* text) {
  if (!text) return;
  if (index < 0 || index >= kMaxEntries) return;
  strcpy(text, entries[index]);
}

void QXpopupControl::setValue(char* text) {
  if (!text) return;
  for (int16_t i = 0; i < count; i++)
    if (strcmp(entries[i], text) == 0) chosen = i;
  draw();
}

void QXpopupControl::getValue(char* text) {
  if (!text) return;
  if (chosen >= 0 && chosen < count) strcpy(text, entries[chosen]);
  else text[0] = 0;
}

void QXpopupControl::drawImg(int16_t p, const uloRect& r) {
  if (p < 0 || p > 8 || !pictures[p]) return;
  const uloOffmap* img = pictures[p];
  const uloRect src(0, 0, std::min<int>(img->width(), r.width()), std::min<int>(img->height(), r.height()));
  QX_PaintPicture(img, src, masks[p], uloRect(r.left, r.top, r.left + src.width(), r.top + src.height()), 256);
}

void QXpopupControl::setValue(short which, short) {
  if (which != qxMsgPaint) return;
  drawImg(0, rect);
  if (chosen < 0 || chosen >= count) return;
  char shown[kEntryBytes];
  strcpy(shown, entries[chosen]);
  if (shorten) QXFont.stringFitWidth(shown, int16_t(std::max(0, rect.width() - 2 * margin)));
  const int16_t y = int16_t(rect.middleHeight() - QXFont.glyphHeight / 2);
  QXScreen.copyStringToUpdate(QXFont, shown, int16_t(rect.left + margin), y, 0);
}

void QXpopupControl::openGeometry() {
  const int h = rect.height();
  const int sel = std::clamp<int>(chosen, 0, std::max(0, count - 1));
  int f = sel, l = sel;
  while (f > 0 && rect.top - (sel - f) * h > 2 * h) f--;
  while (l < count - 1 && rect.top + (l - sel) * h < uloGlo.windowHeight - 2 * h) l++;
  first = int16_t(f);
  last = int16_t(l);
  visibleCount = int16_t(l - f + 1);
  const int top = rect.top - (sel - f) * h;
  listRect.set(rect.left, top, rect.right, top + visibleCount * h);
}

int16_t QXpopupControl::entryAt(int x, int y) const {
  const int h = rect.height();
  if (h <= 0 || x < listRect.left || x >= listRect.right || y < listRect.top || y >= listRect.bottom) return -1;
  const int e = first + (y - listRect.top) / h;
  return e >= first && e <= last ? int16_t(e) : int16_t(-1);
}

void QXpopupControl::drawPopOpenItem(int16_t entry, const uloRect& r, bool highlighted) {
  if (!list.allocated || entry < 0 || entry >= count) return;
  int16_t p;
  if (entry == first && first > 0) p = 6;
  else if (entry == last && last < count - 1) p = 7;
  else if (entry == 0) p = 1;
  else if (entry == count - 1) p = 3;
  else p = 2;
  auto paint = [&](int16_t q) {
    const uloOffmap* img = pictures[q];
    if (!img) return;
    const uloRect src(0, 0, std::min<int>(img->width(), r.width()), std::min<int>(img->height(), r.height()));
    const uloRect dst(r.left, r.top, r.left + src.width(), r.top + src.height());
    if (masks[q]) list.copyMask(img, src, masks[q], src, dst);
    else list.copy(img, src, dst);
  };
  const bool marker = p == 6 || p == 7;
  const bool separator = !marker && entries[entry][0] == '-';
  paint(separator ? int16_t(5) : p);
  if (highlighted && !separator) paint(4);
  if (separator || marker) return;
  char shown[kEntryBytes];
  strcpy(shown, entries[entry]);
  if (shorten) QXFont.stringFitWidth(shown, int16_t(std::max(0, r.width() - 2 * margin)));
  const int16_t y = int16_t(r.top + (r.height() - QXFont.glyphHeight) / 2);
  QXFont.copyMaskString(&list, shown, int16_t(r.left + margin), y, 0);
}

void QXpopupControl::drawPopOpen(int16_t hover) {
  if (!list.allocated) return;
  // What lies under the list shows through the pictures' transparent parts.
  list.copy(&QXScreen.updateBuffer, listRect, list.bounds);
  const int h = rect.height();
  for (int16_t e = first; e <= last; e++) {
    const uloRect r(0, (e - first) * h, list.width(), (e - first + 1) * h);
    drawPopOpenItem(e, r, e == hover);
  }
  list.draw(list.bounds, listRect);
}

void QXpopupControl::flash(int16_t entry) {
  for (int phase = 0; phase < kFlashPhases; phase++) {
    drawPopOpen(phase % 2 == 0 ? int16_t(-1) : entry);
    const uint32_t until = ULO_Ticks() + kFlashTicks;
    while (ULO_Ticks() < until) ULO_PresentIfDirty();
  }
}

bool QXpopupControl::click() {
  if (!enabled) return false;
  const uint32_t deadline = ULO_Ticks() + kPressTicks;
  if (realTime)
    if (auto* pro = dynamic_cast<uloPanelPro*>(panel)) pro->reportRealtime(index);
  // A press held opens the list to drag through; a plain click opens it
  // too, and it then stays open for a second click on an entry.
  // (Only for a press that is one: a panel may try its controls again
  // under the released pointer.)
  const bool pressed = uloGlo.buttonDown != 0;
  bool clicked = false;
  while (ULO_Ticks() < deadline) {
    if (!ULO_TrackButtonDown()) {
      if (!pressed) return false;
      clicked = true;
      break;
    }
    if (panel) panel->onIdle();
  }
  if (count <= 0 || rect.height() <= 0) {
    while (ULO_TrackButtonDown()) {
    }
    return false;
  }
  openGeometry();
  if (!list.allocate(uloOffmapDefaultDepth, listRect.width(), listRect.height())) return false;
  hovered = -1;
  drawPopOpen(hovered);
  int32_t scrollAt = 0;
  // Escape closes the open list at once, choosing nothing; the key is
  // taken, so it does not go on to close the panel afterwards.
  bool escaped = false;
  if (clicked) {
    // Open after a click: the pointer highlights, the next press decides
    // (where its release lands, as after a held press); one that waits
    // too long closes the list unchosen.
    const uint32_t until = ULO_Ticks() + uint32_t(std::max<int32_t>(1, openWaitTicks));
    bool again = false;
    while (ULO_Ticks() < until) {
      if (ULO_TrackButtonDown()) {
        again = true;
        break;
      }
      if (ULO_TakeEscapePress()) {
        escaped = true;
        break;
      }
      const int16_t now = entryAt(uloGlo.mouseX, uloGlo.mouseY);
      if (now != hovered) drawPopOpen(hovered = now);
      if (panel) panel->onIdle();
      list.draw(list.bounds, listRect);
    }
    if (!again) uloGlo.mouseX = uloGlo.mouseY = -32000;
  }
  while (!escaped && ULO_TrackButtonDown()) {
    if (ULO_TakeEscapePress()) {
      escaped = true;
      break;
    }
    const int16_t now = entryAt(uloGlo.mouseX, uloGlo.mouseY);
    const bool up = now >= 0 && now == first && first > 0;
    const bool down = now >= 0 && now == last && last < count - 1;
    bool changed = now != hovered;
    hovered = now;
    if (up || down) {
      const int32_t t = int32_t(ULO_Ticks());
      if (scrollAt == 0) scrollAt = t + kScrollTicks;
      if (t >= scrollAt) {
        const int d = up ? -1 : 1;
        first = int16_t(first + d);
        last = int16_t(last + d);
        scrollAt = t + kScrollTicks;
        changed = true;
      }
    } else {
      scrollAt = 0;
    }
    if (changed) drawPopOpen(hovered);
    if (panel) panel->onIdle();
    // Idle work may have recomposed what lies under the open list.
    list.draw(list.bounds, listRect);
  }
  // The release point decides.
  selected = escaped ? int16_t(-1) : entryAt(uloGlo.mouseX, uloGlo.mouseY);
  const bool onMarker = selected >= 0 && ((selected == first && first > 0) || (selected == last && last < count - 1));
  const bool chose = selected >= 0 && !onMarker;
  if (chose) {
    flash(selected);
    chosen = selected;
  }
  const uloRect under = listRect;
  list.dispose();
  QXScreen.update(under);
  QXScreen.update(rect);
  if (escaped) {
    // A press still held ends here too, on nothing.
    ULO_PresentIfDirty();
    while (ULO_TrackButtonDown()) {
    }
  }
  return chose;
}
