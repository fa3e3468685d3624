#include "framework/panel/uloPanelPro.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "framework/casts/uloCasts.h"
#include "framework/layout/uloLayouts.h"
#include "framework/platform/uloSys.h"

namespace {
bool mouseIn(const uloRect& r) { return r.contains(uloGlo.mouseX, uloGlo.mouseY); }
constexpr int32_t kKeyPressTicks = 30;
}  // namespace

uloPanelControl* uloPanelPro::newCustomControl(short kind) {
  switch (kind) {
    case 30: return new panProScrollControl;
    case 31: return new panProImageControl;
    case 32: return new panProImagesFilmControl;
    case 33: return new panProButtonControl;
    case 34: return new panProCheckControl;
    case 36: return new panProRotaryControl;
    case 37: return new panProHilButtonControl;
    case 38: return new panProTextControl;
    case 39: return new panProRadioControl;
    default: return uloPanel::newCustomControl(kind);
  }
}

void uloPanelPro::reportRealtime(int16_t item) {
  const int16_t keep = currentItem;
  realTime = 1;
  currentItem = item;
  onItem();
  realTime = 0;
  currentItem = keep;
}

// ------------------------------------------------------------------ image

void panProImageControl::setup() {
  uloPaCoStd_StaticCast::setup();
  backgroundItem = aux(9);
  if (composesOwn) {
    own.allocate(uloOffmapDefaultDepth, std::max<int>(rect.width(), 1), std::max<int>(rect.height(), 1));
    if (own.allocated) own.fill(own.bounds, 0);
  }
  picture = 1;
  active = 1;
  focusable = 0;
  prepare();
}

void panProImageControl::selectPicture(int16_t p) {
  picture = p;
  usePicture(p);
}

bool panProImageControl::sourceRect(const uloOffmap& image, uloRect* src) const {
  *src = uloRect(0, 0, std::min<int>(image.width(), rect.width()), std::min<int>(image.height(), rect.height()));
  return !src->isEmpty();
}

void panProImageControl::composeBackground(uloOffmap& into) {
  if (!layout || !into.allocated) return;
  const UloLayout& L = *layout;
  if (backgroundItem >= 0 && backgroundItem < L.itemsCount && backgroundItem != layoutItem) {
    const uloOffmap* bg = L.GetItemImage(backgroundItem, L.work[backgroundItem].picture);
    if (!bg) return;
    uloRect src = rect;
    src.offset(L.work[backgroundItem].pictureRect.topleft().invert());
    into.copy(bg, src, into.bounds);
  } else if (const uloOffmap* base = L.GetItemImage(layoutItem, 0)) {
    into.copy(base, base->bounds, into.bounds);
  }
}

void panProImageControl::prepare() {
  if (!layout || !own.allocated) return;
  const uloOffmap* image = layout->GetItemImage(layoutItem, picture);
  if (!image) return;
  const uloOffmap* mask = layout->GetItemMask(layoutItem, picture);
  composeBackground(own);
  uloRect src;
  if (!sourceRect(*image, &src)) return;
  const uloRect dst(0, 0, src.width(), src.height());
  if (mask) own.copyMask(image, src, mask, src, dst);
  else own.copy(image, src, dst);
  prepared = 1;
}

void panProImageControl::draw() {
  if (canDraw() && prepared) own.draw(own.bounds, uloRect(rect.left, rect.top, rect.left + own.width(), rect.top + own.height()));
}

void panProImageControl::setValue(short value) {
  selectPicture(int16_t(value + 1));
  prepare();
  draw();
}

void panProImageControl::getValue(short& value) { value = int16_t(picture - 1); }

void panProImageControl::setValue(short which, short value) {
  if (which != uloMsgSelectPicture) return;
  selectPicture(value);
  prepare();
  draw();
}

// ----------------------------------------------------------------- button

void panProButtonControl::setup() { panProImageControl::setup(); }

void panProButtonControl::setValue(short which, long value) {
  if (which == uloMsgSetTracker) tracker = reinterpret_cast<uloProTracker>(value);
}

void panProButtonControl::setValue(short which, short value) {
  if (which == uloMsgAutoRepeat) {
    autoRepeat = value ? 1 : 0;
    return;
  }
  panProImageControl::setValue(which, value);
}

bool panProButtonControl::trackPress() {
  if (panel && !focused) panel->select(index);
  setValue(short(1));
  short code = callTracker(uloTrackPressed, uloTrackContinue);
  auto* pro = autoRepeat ? dynamic_cast<uloPanelPro*>(panel) : nullptr;
  int32_t nextReport = uloGlo.when + kRepeatDelayTicks;
  if (pro && code == uloTrackContinue) pro->reportRealtime(index);
  while (code == uloTrackContinue && ULO_TrackButtonDown()) {
    if (tracker) code = tracker(uloTrackHeld);
    if (pro && code == uloTrackContinue && mouseIn(rect) && int32_t(uloGlo.when - nextReport) >= 0) {
      nextReport = uloGlo.when + kRepeatPeriodTicks;
      pro->reportRealtime(index);
    }
  }
  setValue(short(0));
  code = callTracker(uloTrackReleased, code);
  if (pro) {
    // Every step was reported while the button was held.
    if (panel) panel->reportItem = uloPanel::kReportNothing;
    return code != uloTrackCancel;
  }
  return mouseIn(rect) && code != uloTrackCancel;
}

bool panProButtonControl::click() {
  if (!enabled) return false;
  return trackPress();
}

bool panProButtonControl::key() {
  if (!focused || uloGlo.character != ' ') return false;
  setValue(short(1));
  short code = callTracker(uloTrackPressed, uloTrackContinue);
  if (code == uloTrackContinue) ULO_WaitTicks(kKeyPressTicks);
  setValue(short(0));
  code = callTracker(uloTrackReleased, code);
  return code != uloTrackCancel;
}

// ------------------------------------------------------------------ check

void panProCheckControl::setup() {
  panProImageControl::setup();
  value = 0;
}

bool panProCheckControl::click() {
  if (!enabled) return false;
  if (panel && !focused) panel->select(index);
  setValue(short(1 - value));
  return true;
}

bool panProCheckControl::key() {
  if (!focused || uloGlo.character != ' ') return false;
  setValue(short(1 - value));
  return true;
}

void panProCheckControl::setValue(short v) {
  value = v ? 1 : 0;
  panProImageControl::setValue(value);
}

void panProCheckControl::getValue(short& v) { v = value; }

// ------------------------------------------------------------------- film

void panProImagesFilmControl::setup() {
  panProImageControl::setup();
  // Films show frames of picture 0's strip unless told otherwise.
  frame = 0;
}

int16_t panProImagesFilmControl::frameCount() const {
  if (!layout || rect.height() <= 0) return 0;
  const uloOffmap* image = layout->GetItemImage(layoutItem, picture);
  if (!image) image = layout->GetItemImage(layoutItem, 0);
  return image ? int16_t(image->height() / rect.height()) : 0;
}

bool panProImagesFilmControl::sourceRect(const uloOffmap& image, uloRect* src) const {
  const int h = rect.height();
  const int top = frame * h;
  if (frame < 0 || h <= 0 || top + h > image.height()) return false;
  *src = uloRect(0, top, std::min<int>(image.width(), rect.width()), top + h);
  return !src->isEmpty();
}

void panProImagesFilmControl::showFrame(int16_t f) {
  frame = f;
  prepare();
  draw();
}

void panProImagesFilmControl::setValue(short which, short value) {
  if (which == uloMsgSelectPicture) {
    showFrame(value);
  } else if (which == uloMsgRefetchFilm) {
    if (layout && !layout->GetItemImage(layoutItem, picture)) picture = 0;
    prepare();
    draw();
  }
}

// ----------------------------------------------------------------- rotary

void panProRotaryControl::setup() {
  panProImagesFilmControl::setup();
  maximum = int16_t(std::max(0, aux(1) - 1));
  realtimeMarked = aux(8) != 0;
  value = 0;
}

void panProRotaryControl::setValue(short v) {
  value = std::clamp<int16_t>(v, 0, maximum);
  showFrame(value);
}

void panProRotaryControl::getValue(short& v) { v = value; }

bool panProRotaryControl::click() {
  if (!enabled) return false;
  if (panel && !focused) panel->select(index);
  const int startY = uloGlo.mouseY;
  const int startValue = value;
  const int direction = uloGlo.mouseX > rect.middleWidth() ? 1 : -1;
  while (ULO_TrackButtonDown()) {
    const int v = std::clamp(startValue + (uloGlo.mouseY - startY) * direction, 0, int(maximum));
    if (v == value) continue;
    setValue(short(v));
    if (realtimeMarked)
      if (auto* pro = dynamic_cast<uloPanelPro*>(panel)) pro->reportRealtime(index);
  }
  return true;
}

bool panProRotaryControl::key() {
  if (!focused) return false;
  if (uloGlo.keyCode == uloKeyLeft) setValue(short(value - 1));
  else if (uloGlo.keyCode == uloKeyRight) setValue(short(value + 1));
  else return false;
  return true;
}

// ------------------------------------------------------------ hover glow

void panProHilButtonControl::setup() {
  panProImageControl::setup();
  stepUp = int16_t(std::max(1, int(aux(1))));
  stepDown = int16_t(std::max(1, int(aux(2))));
  glow = 0;
  wantsIdle = 1;
}

void panProHilButtonControl::idle() {
  const bool inside = mouseIn(rect);
  if (inside && glow < 255) glow = int16_t(std::min(255, glow + stepUp));
  else if (!inside && glow > 0) glow = int16_t(std::max(0, glow - stepDown));
  else return;
  drawOffAndHilite();
}

void panProHilButtonControl::drawOffAndHilite() {
  if (!layout || !own.allocated) return;
  // Normal picture first, then the highlight (picture 2) weighted by the glow.
  prepare();
  const uloOffmap* hi = layout->GetItemImage(layoutItem, 2);
  if (hi && glow > 0) {
    uloOffmap top;
    if (top.allocate(uloOffmapDefaultDepth, own.width(), own.height())) {
      top.copy(&own);
      uloRect src;
      if (sourceRect(*hi, &src)) {
        const uloRect dst(0, 0, src.width(), src.height());
        if (const uloOffmap* m = layout->GetItemMask(layoutItem, 2)) top.copyMask(hi, src, m, src, dst);
        else top.copy(hi, src, dst);
      }
      if (glow >= 255) own.copy(&top);
      else own.copyBlend(&top, top.bounds, own.bounds, glow * 256 / 255);
    }
  }
  draw();
}

bool panProHilButtonControl::click() {
  if (!enabled) return false;
  if (panel && !focused) panel->select(index);
  selectPicture(3);
  prepare();
  draw();
  while (ULO_TrackButtonDown()) {
  }
  selectPicture(1);
  drawOffAndHilite();
  return true;
}

// ------------------------------------------------------------------- text

void panProTextControl::draw() {
  panProImageControl::draw();
  if (!canDraw() || !text[0]) return;
  const int16_t y = int16_t(rect.middleHeight() - (size / 2 + 1));
  ULO_TextStyle(text, int16_t(strlen(text)), size, rect.left, y, textColour, rect.width(), justification, style);
}

void panProTextControl::setValue(char* t) {
  snprintf(text, sizeof text, "%s", t ? t : "");
  calc();
  draw();
}

void panProTextControl::getValue(char* t) {
  if (t) strcpy(t, text);
}

// ----------------------------------------------------------------- scroll

void panProScrollControl::setup() {
  minimum = aux(1);
  maximum = aux(2);
  backgroundItem = aux(9);
  value = minimum;
  computeFactor();
}

void panProScrollControl::computeFactor() {
  const uloOffmap* thumb = layout ? layout->GetItemImage(layoutItem, pictureIndex) : nullptr;
  const int track = vertical() ? rect.height() : rect.width();
  const int length = thumb ? (vertical() ? thumb->height() : thumb->width()) : 0;
  factor = maximum != minimum ? float(track - length) / float(maximum - minimum) : 0.f;
}

uloRect panProScrollControl::thumbRect() const {
  const uloOffmap* thumb = layout ? layout->GetItemImage(layoutItem, pictureIndex) : nullptr;
  const int w = thumb ? thumb->width() : 0, h = thumb ? thumb->height() : 0;
  const int along = int((value - minimum) * factor);
  if (vertical()) return uloRect(rect.left, rect.bottom - along - h, rect.left + w, rect.bottom - along);
  return uloRect(rect.left + along, rect.top, rect.left + along + w, rect.top + h);
}

void panProScrollControl::draw() {
  if (!canDraw() || !layout) return;
  const uloOffmap* thumb = layout->GetItemImage(layoutItem, pictureIndex);
  if (!thumb) return;
  const uloRect t = thumbRect();
  thumb->draw(thumb->bounds, t);
}

void panProScrollControl::setValue(short v) {
  const int16_t lo = std::min(minimum, maximum), hi = std::max(minimum, maximum);
  value = std::clamp<int16_t>(v, lo, hi);
  computeFactor();
  draw();
}

void panProScrollControl::getValue(short& v) { v = value; }

bool panProScrollControl::click() {
  if (!enabled) return false;
  if (!mouseIn(thumbRect()) || factor == 0.f) return true;
  const int startX = uloGlo.mouseX, startY = uloGlo.mouseY, startValue = value;
  while (ULO_TrackButtonDown()) {
    const int moved = vertical() ? startY - uloGlo.mouseY : uloGlo.mouseX - startX;
    const int v = startValue + int(moved / factor);
    if (v != value) setValue(short(std::clamp(v, -32768, 32767)));
  }
  return true;
}
