#include "framework/panel/QXPanel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "framework/intl/JLInternational.h"
#include "framework/panel/QXpopup.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"

UloCasts QXCasts;
uloFont QXFont;
int16_t QXSpectreTable[150];
const char* qxHelpPicturesPath = ":QXhelp.xrs";

namespace {

bool mouseIn(const uloRect& r) { return r.contains(uloGlo.mouseX, uloGlo.mouseY); }

// The part of a picture that fits at the control's top-left.
uloRect fittedDst(const uloRect& at, const uloRect& src) {
  return uloRect(at.left, at.top, at.left + src.width(), at.top + src.height());
}

void updateThroughScreen(uloPanelControl& c) {
  if (c.canDraw()) QXScreen.update(c.rect);
}

// Picture p of the item, falling back to picture 0.
const uloOffmap* pictureOr0(const UloLayout* L, int16_t item, int16_t p) {
  if (!L) return nullptr;
  const uloOffmap* img = L->GetItemImage(item, p);
  return img ? img : L->GetItemImage(item, 0);
}

const uloOffmap* maskOr0(const UloLayout* L, int16_t item, int16_t p) {
  if (!L) return nullptr;
  if (L->GetItemImage(item, p)) return L->GetItemMask(item, p);
  return L->GetItemMask(item, 0);
}

const uloOffmap* hitMaskOf(const UloLayout* L, int16_t item) {
  if (!L) return nullptr;
  const uloOffmap* m = L->GetItemMask(item, 1);
  return m ? m : L->GetItemMask(item, 0);
}

constexpr int16_t kDisabledLevel = 63;

}  // namespace

void QX_PaintPicture(const uloOffmap* image, const uloRect& src, const uloOffmap* mask, const uloRect& dst,
                     int level) {
  if (!image || src.isEmpty()) return;
  if (mask) QXScreen.copyMaskToUpdate(image, src, mask, src, dst, level);
  else if (level >= 256) QXScreen.copyToUpdate(image, src, dst);
  else QXScreen.copyBlendToUpdate(image, src, dst, level);
}

bool QX_MaskTransparentAt(const uloOffmap* mask, const uloRect& r, int x, int y) {
  if (!mask || !mask->allocated) return false;
  const int mx = x - r.left, my = y - r.top;
  if (mx < 0 || my < 0 || mx >= mask->width() || my >= mask->height()) return false;
  const int v = mask->getPixel(mx, my);
  return mask->depth == uloDepthMask8 ? v == 255 : v == 0;
}

// ------------------------------------------------------------------ panel

QXPanelClass::QXPanelClass() = default;

QXPanelClass::~QXPanelClass() {
  if (screenIndex >= 0 && QXScreen.panelAt(screenIndex) == this) QXScreen.disconnect(screenIndex);
  // Controls refer to the layouts: they go first.
  dispose();
}

uloPanelControl* QXPanelClass::newCustomControl(short kind) {
  switch (kind) {
    case 17: return new QXPanelStaticCastControl;
    case 19: return new QXPanelBackpaneControl;
    case 30: return new JLScroll;
    case 31: return new QXPanelImageControl;
    case 33: return new QXPanelButtonControl;
    case 34: return new QXPanelCheckControl;
    case 36: return new QXPanelRotaryControl;
    case 38: return new QXPanelTextControl;
    case 39: return new QXPanelRadioControl;
    case 61: return new imageIDControl;
    case 64: return new imagePtrControl;
    case 68: return new imageBarControl;
    case 70: return new QXpopupControl;
    case 72: return new QXPanelSpectreControl;
    case 73: return new QXPanelFluidFilmControl;
    case 90: return new JLRoundScroll;
    case 230: return new JLLevelBarControl;
    case 231: return new JLRotorControl;
    case 232: return new JLProgressControl;
    default: return uloPanelPro::newCustomControl(kind);
  }
}

void QXPanelClass::attachLayouts(int32_t id1, int32_t id2, int32_t id3, UloCasts* casts, const uloRect& rect) {
  const int32_t ids[3] = {id1, id2, id3};
  for (int k = 0; k < 3; k++) {
    if (k > 0 && ids[k] == -1) continue;
    UloLayout& L = layouts[k];
    L.Set(casts, ids[k]);
    L.Load();
    L.layoutRect = rect;
    L.RecalcAll();
    attachLayout(&L, int16_t(k * 50));
  }
}

void QXPanelClass::setIntlString(int16_t slot, int16_t number) {
  uloPanelControl* c = control(slot);
  if (!c) return;
  uloText line = jlIntl.message(number);
  c->setValue(line.data());
}

void QXPanelClass::getHelp(short* result) {
  if (!result || !panelShown) return;
  const uloPoint m(uloGlo.mouseX, uloGlo.mouseY);
  if (controls[0] && controls[0]->rect.contains(m)) *result = -1;
  for (int16_t i = 0; i < controlsCount; i++) {
    uloPanelControl* c = controls[i];
    if (!c || !c->layout || !c->rect.contains(m)) continue;
    const int16_t help = c->layout->itemAuxVal(c->layoutItem, 7);
    if (help > 0) *result = help;
  }
}

// ------------------------------------------------------------------ image

void QXPanelImageControl::setup() {
  composesOwn = 0;
  panProImageControl::setup();
  picture = 0;
  prepare();
}

void QXPanelImageControl::prepare() {
  image = layout ? layout->GetItemImage(layoutItem, picture) : nullptr;
  mask = layout ? layout->GetItemMask(layoutItem, picture) : nullptr;
  prepared = 1;
}

void QXPanelImageControl::draw() {
  if (prepared) updateThroughScreen(*this);
}

void QXPanelImageControl::paint() {
  if (!image) return;
  const uloRect src(0, 0, std::min<int>(image->width(), rect.width()), std::min<int>(image->height(), rect.height()));
  QX_PaintPicture(image, src, mask, fittedDst(rect, src), level);
}

bool QXPanelImageControl::click() { return !QX_MaskTransparentAt(mask, rect, uloGlo.mouseX, uloGlo.mouseY); }

void QXPanelImageControl::setValue(short value) {
  selectPicture(value);
  prepare();
  draw();
}

void QXPanelImageControl::getValue(short& value) { value = picture; }

void QXPanelImageControl::setValue(short which, short value) {
  switch (which) {
    case qxMsgPaint: paint(); break;
    case uloMsgSelectPicture: setValue(value); break;
    case qxMsgLevel:
      level = std::clamp<int16_t>(value, 0, 256);
      draw();
      break;
    default: break;
  }
}

// -------------------------------------------------------------- backpane

void QXPanelBackpaneControl::setup() {
  QXPanelImageControl::setup();
  variant = 0;
}

void QXPanelBackpaneControl::prepare() {
  QXPanelImageControl::prepare();
  if (image && !mask && layout) mask = layout->GetItemMask(layoutItem, 0);
}

void QXPanelBackpaneControl::setValue(short value) {
  variant = std::clamp<int16_t>(value, 0, 9);
  // Variants are loaded on demand and kept: another panel may show the
  // same cast, so unloading it here could blank that panel.
  if (layout && layoutItem >= 0 && layoutItem < layout->itemsCount && layout->casts) {
    const int16_t ci = layout->work[layoutItem].castIndex[variant];
    if (ci >= 0 && ci < layout->casts->count) layout->casts->casts[ci]->LoadAvailable();
  }
  QXPanelImageControl::setValue(variant);
}

void QXPanelBackpaneControl::getValue(short& value) { value = variant; }

// --------------------------------------------------------------- spectre

void QXPanelSpectreControl::setup() {
  QXPanelImageControl::setup();
  std::fill(std::begin(QXSpectreTable), std::end(QXSpectreTable), int16_t(0));
  wantsIdle = 1;
}

void QXPanelSpectreControl::idle() { draw(); }

bool QXPanelSpectreControl::click() {
  draw();
  return true;
}

void QXPanelSpectreControl::paint() {
  QXPanelImageControl::paint();
  const uloOffmap* bars = layout ? layout->GetItemImage(layoutItem, 1) : nullptr;
  if (!bars) return;
  const int w = std::min<int>(rect.width(), bars->width()), h = std::min<int>(rect.height(), bars->height());
  if (w <= 0 || h <= 0) return;
  const uloOffmap* barMask = layout->GetItemMask(layoutItem, 1);
  for (int x = 0; x < w; x++) {
    const int v = std::clamp<int>(QXSpectreTable[x * 150 / w], 0, 127);
    const int bh = v * h / 127;
    if (bh <= 0) continue;
    const uloRect src(x, h - bh, x + 1, h);
    QX_PaintPicture(bars, src, barMask, uloRect(rect.left + x, rect.top + h - bh, rect.left + x + 1, rect.top + h),
                    256);
  }
}

// ----------------------------------------------------------- static cast

void QXPanelStaticCastControl::draw() { updateThroughScreen(*this); }

void QXPanelStaticCastControl::setValue(short which, short value) {
  if (which == uloMsgSelectPicture) {
    setValue(value);
    return;
  }
  if (which != qxMsgPaint || !layout || layoutItem < 0 || layoutItem >= layout->itemsCount) return;
  const int16_t p = layout->work[layoutItem].picture;
  const uloOffmap* img = layout->GetItemImage(layoutItem, p);
  if (!img) return;
  // The picture lies where the layout places it, which may differ from the
  // item's frame when the pictures differ in size.
  const uloRect at = layout->work[layoutItem].pictureRect;
  QX_PaintPicture(img, img->bounds, layout->GetItemMask(layoutItem, p), fittedDst(at, img->bounds), 256);
}

// ----------------------------------------------------------------- button

void QXPanelButtonControl::setup() {
  composesOwn = 0;
  panProButtonControl::setup();
}

void QXPanelButtonControl::prepare() {
  image = layout ? layout->GetItemImage(layoutItem, picture) : nullptr;
  mask = layout ? layout->GetItemMask(layoutItem, picture) : nullptr;
  hitMask = hitMaskOf(layout, layoutItem);
  prepared = 1;
}

void QXPanelButtonControl::draw() {
  if (prepared) updateThroughScreen(*this);
}

void QXPanelButtonControl::setValue(short which, short value) {
  if (which == qxMsgPaint) {
    if (!image) return;
    const uloRect src(0, 0, std::min<int>(image->width(), rect.width()), std::min<int>(image->height(), rect.height()));
    QX_PaintPicture(image, src, mask, fittedDst(rect, src), enabled ? 256 : kDisabledLevel);
    return;
  }
  panProButtonControl::setValue(which, value);
}

bool QXPanelButtonControl::click() {
  if (QX_MaskTransparentAt(hitMask, rect, uloGlo.mouseX, uloGlo.mouseY)) return false;
  if (!enabled) return false;
  return trackPress();
}

void QXPanelButtonControl::enable() {
  if (enabled) return;
  enabled = 1;
  draw();
}

void QXPanelButtonControl::disable() {
  if (!enabled) return;
  enabled = 0;
  draw();
}

// ------------------------------------------------------------------ check

void QXPanelCheckControl::setup() {
  composesOwn = 0;
  panProCheckControl::setup();
}

void QXPanelCheckControl::prepare() {
  image = layout ? layout->GetItemImage(layoutItem, picture) : nullptr;
  mask = layout ? layout->GetItemMask(layoutItem, picture) : nullptr;
  hitMask = hitMaskOf(layout, layoutItem);
  prepared = 1;
}

void QXPanelCheckControl::draw() {
  if (prepared) updateThroughScreen(*this);
}

bool QXPanelCheckControl::click() {
  if (QX_MaskTransparentAt(hitMask, rect, uloGlo.mouseX, uloGlo.mouseY)) return false;
  return panProCheckControl::click();
}

void QXPanelCheckControl::setValue(short which, short value) {
  if (which == qxMsgPaint) {
    if (!image) return;
    const uloRect src(0, 0, std::min<int>(image->width(), rect.width()), std::min<int>(image->height(), rect.height()));
    QX_PaintPicture(image, src, mask, fittedDst(rect, src), enabled ? 256 : kDisabledLevel);
    return;
  }
  panProCheckControl::setValue(which, value);
}

// ------------------------------------------------------------------ radio

void QXPanelRadioControl::setup() {
  panProRadioControl::setup();
  hitMask = hitMaskOf(layout, layoutItem);
  usePicture(statePicture());
}

void QXPanelRadioControl::draw() { updateThroughScreen(*this); }

void QXPanelRadioControl::showState() {
  usePicture(statePicture());
  draw();
}

bool QXPanelRadioControl::click() {
  if (QX_MaskTransparentAt(hitMask, rect, uloGlo.mouseX, uloGlo.mouseY)) return false;
  if (!enabled || !panel) return false;
  if (!checked) setMeAndResetOthers();
  // The group speaks with one item: its member whose own value is 0.
  for (int16_t i = 0; i < panel->controlsCount; i++) {
    auto* r = dynamic_cast<uloPaCoStd_StandardRadio*>(panel->controls[i]);
    if (sameGroup(r) && r->ownValue == 0) {
      panel->reportItem = i;
      break;
    }
  }
  return true;
}

void QXPanelRadioControl::setValue(short which, short value) {
  if (which != qxMsgPaint) {
    panProRadioControl::setValue(which, value);
    return;
  }
  if (!layout || layoutItem < 0 || layoutItem >= layout->itemsCount) return;
  const int16_t p = layout->work[layoutItem].picture;
  const uloOffmap* img = layout->GetItemImage(layoutItem, p);
  if (!img) return;
  const uloRect src(0, 0, std::min<int>(img->width(), rect.width()), std::min<int>(img->height(), rect.height()));
  QX_PaintPicture(img, src, layout->GetItemMask(layoutItem, p), fittedDst(rect, src), enabled ? 256 : kDisabledLevel);
}

// ----------------------------------------------------------------- rotary

void QXPanelRotaryControl::setup() {
  composesOwn = 0;
  panProRotaryControl::setup();
}

void QXPanelRotaryControl::prepare() { prepared = 1; }

void QXPanelRotaryControl::draw() {
  if (prepared) updateThroughScreen(*this);
}

void QXPanelRotaryControl::setValue(short which, short value) {
  if (which != qxMsgPaint) {
    panProRotaryControl::setValue(which, value);
    return;
  }
  const uloOffmap* img = pictureOr0(layout, layoutItem, picture);
  uloRect src;
  if (!img || !sourceRect(*img, &src)) return;
  QX_PaintPicture(img, src, maskOr0(layout, layoutItem, picture), fittedDst(rect, src), 256);
}

// ------------------------------------------------------------ fluid film

void QXPanelFluidFilmControl::setup() {
  composesOwn = 0;
  panProImagesFilmControl::setup();
  frames = aux(1) > 0 ? aux(1) : frameCount();
  stepUp = int16_t(std::max(1, int(aux(2))));
  stepDown = int16_t(std::max(1, int(aux(3))));
  delayUp = int16_t(std::max(1, int(aux(4))));
  delayDown = int16_t(std::max(1, int(aux(5))));
  restFrame = aux(6);
  restTicks = aux(8);
  target = frame = restFrame;
  wantsIdle = 1;
  animating = 1;
}

void QXPanelFluidFilmControl::prepare() { prepared = 1; }

void QXPanelFluidFilmControl::draw() {
  if (prepared) updateThroughScreen(*this);
}

void QXPanelFluidFilmControl::idle() {
  if (!animating) return;
  const int32_t now = uloGlo.when;
  if (restTicks > 0 && target != restFrame && now - lastTarget >= restTicks) target = restFrame;
  if (frame == target || now < nextStep) return;
  if (frame < target) {
    frame = int16_t(std::min<int>(target, frame + stepUp));
    nextStep = now + delayUp;
  } else {
    frame = int16_t(std::max<int>(target, frame - stepDown));
    nextStep = now + delayDown;
  }
  draw();
}

void QXPanelFluidFilmControl::setValue(short value) {
  target = std::clamp<int16_t>(value, 0, int16_t(std::max(0, frames - 1)));
  lastTarget = uloGlo.when;
}

void QXPanelFluidFilmControl::getValue(short& value) { value = frame; }

void QXPanelFluidFilmControl::setValue(short which, short value) {
  switch (which) {
    case qxMsgPaint: {
      const uloOffmap* img = pictureOr0(layout, layoutItem, picture);
      uloRect src;
      if (!img || !sourceRect(*img, &src)) return;
      QX_PaintPicture(img, src, maskOr0(layout, layoutItem, picture), fittedDst(rect, src), 256);
      break;
    }
    case uloMsgSelectPicture:
      target = value;
      lastTarget = uloGlo.when;
      showFrame(value);
      break;
    case qxMsgAnimate: animating = value != 0; break;
    default: panProImagesFilmControl::setValue(which, value); break;
  }
}

// ------------------------------------------------------------------- text

void QXPanelTextControl::setup() {
  composesOwn = 0;
  panProTextControl::setup();
}

void QXPanelTextControl::prepare() {
  image = pictureOr0(layout, layoutItem, picture);
  mask = maskOr0(layout, layoutItem, picture);
  prepared = 1;
}

void QXPanelTextControl::draw() {
  if (prepared) updateThroughScreen(*this);
}

void QXPanelTextControl::setValue(char* t) {
  snprintf(text, sizeof text, "%s", t ? t : "");
  draw();
}

void QXPanelTextControl::setValue(short value) {
  char s[16];
  snprintf(s, sizeof s, "%0d", value);
  setValue(s);
}

void QXPanelTextControl::setValue(short which, short value) {
  if (which != qxMsgPaint) {
    panProTextControl::setValue(which, value);
    return;
  }
  // A disabled text (a setting not in use) is drawn faint.
  const int level = enabled ? 256 : kDisabledLevel;
  if (image) {
    const uloRect src(0, 0, std::min<int>(image->width(), rect.width()), std::min<int>(image->height(), rect.height()));
    QX_PaintPicture(image, src, mask, fittedDst(rect, src), level);
  }
  if (!text[0]) return;
  const int16_t y = int16_t(rect.middleHeight() - QXFont.glyphHeight / 2);
  const int16_t x = justification == 1 ? rect.middleWidth() : justification == 2 ? int16_t(rect.right - 2)
                                                                                   : int16_t(rect.left + 2);
  QXScreen.copyStringToUpdate(QXFont, text, x, y, justification == 1 || justification == 2 ? justification : 0,
                              level);
}

// ----------------------------------------------------- picture by cast id

namespace {
UloCasts* helpPictures() {
  static UloResFile res;
  static UloCasts casts;
  static bool tried = false;
  if (!tried) {
    tried = true;
    res.SetWorkName(qxHelpPicturesPath);
    res.readOnly = 1;
    if (res.Open()) {
      casts.resFile = &res;
      casts.ParseResources();
    }
  }
  return &casts;
}
}  // namespace

imageIDControl::~imageIDControl() = default;

void imageIDControl::setup() {
  helpPictures();
  castId = -1;
  cast = nullptr;
}

void imageIDControl::draw() { updateThroughScreen(*this); }

void imageIDControl::setValue(short id) {
  if (id == castId && cast) return;
  if (cast) cast->Unload();
  castId = id;
  cast = id >= 0 ? helpPictures()->CastOfID(id) : nullptr;
  if (cast) cast->LoadAvailable();
  draw();
}

void imageIDControl::getValue(short& id) { id = castId; }

void imageIDControl::setValue(short which, short) {
  if (which != qxMsgPaint || !cast) return;
  // Another control may have unloaded the shared cast since.
  if (!cast->imageLoaded) cast->LoadAvailable();
  if (!cast->imageLoaded) return;
  const uloRect src(0, 0, std::min<int>(cast->image.width(), rect.width()),
                    std::min<int>(cast->image.height(), rect.height()));
  QX_PaintPicture(&cast->image, src, cast->maskLoaded ? &cast->mask : nullptr, fittedDst(rect, src), 256);
}

// -------------------------------------------------- picture by reference

void imagePtrControl::draw() { updateThroughScreen(*this); }

void imagePtrControl::setValue(short, unsigned char* b) {
  bitmap = reinterpret_cast<const uloOffmap*>(b);
  draw();
}

void imagePtrControl::setValue(short which, short) {
  if (which != qxMsgPaint || !bitmap || !bitmap->allocated) return;
  const uloRect src(0, 0, std::min<int>(bitmap->width(), rect.width()), std::min<int>(bitmap->height(), rect.height()));
  QXScreen.copyToUpdate(bitmap, src, fittedDst(rect, src));
}

// ------------------------------------------------------------ picture bar

void imageBarControl::setup() { value = 1; }
void imageBarControl::draw() { updateThroughScreen(*this); }

void imageBarControl::setValue(short v) {
  value = std::clamp<int16_t>(v, 1, 180);
  draw();
}

void imageBarControl::getValue(short& v) { v = value; }

void imageBarControl::setValue(short which, short) {
  if (which != qxMsgPaint || !layout || layoutItem < 0 || layoutItem >= layout->itemsCount) return;
  const int16_t p = layout->work[layoutItem].picture;
  const uloOffmap* img = layout->GetItemImage(layoutItem, p);
  if (!img) return;
  const uloRect src(0, 0, std::min<int>({img->width(), rect.width(), int(value)}), std::min<int>(img->height(), rect.height()));
  QX_PaintPicture(img, src, layout->GetItemMask(layoutItem, p), fittedDst(rect, src), 256);
}

// ----------------------------------------------------------- round scroll

void JLRoundScroll::setup() {
  composesOwn = 0;
  panProImageControl::setup();
  picture = 0;
  minimum = aux(1);
  maximum = aux(2);
  startAngle = aux(4);
  endAngle = aux(5);
  const int dx = aux(6), dy = aux(7);
  centre = rect.center();
  centre.add(dx, dy);
  radius = int16_t(std::lround(std::sqrt(double(dx) * dx + double(dy) * dy)));
  value = minimum;
  prepare();
  placeThumb();
}

void JLRoundScroll::calc() {
  panProImageControl::calc();
  // The thumb moves with the control (panel placed, dragged or resized).
  placeThumb();
}

void JLRoundScroll::prepare() {
  image = layout ? layout->GetItemImage(layoutItem, picture) : nullptr;
  mask = layout ? layout->GetItemMask(layoutItem, picture) : nullptr;
  prepared = 1;
}

void JLRoundScroll::placeThumb() {
  const int w = image ? image->width() : 0, h = image ? image->height() : 0;
  // The centre moves with the control (calc after a drag or resize).
  centre = rect.center();
  centre.add(aux(6), aux(7));
  float angle;
  if (maximum == minimum) {
    angle = 3.14159265f;
  } else {
    const int degrees = startAngle + (endAngle - startAngle) * (value - minimum) / (maximum - minimum);
    angle = float(degrees) * (3.14159265f / 180.0f);
  }
  const int left = int(float(centre.x) + float(radius) * std::cos(angle) - float(w) / 2.0f);
  const int top = int(float(centre.y) + float(radius) * std::sin(angle) - float(h) / 2.0f);
  thumb.set(left, top, left + w, top + h);
}

void JLRoundScroll::draw() {
  if (prepared) updateThroughScreen(*this);
}

void JLRoundScroll::setValue(short v) {
  const int16_t lo = std::min(minimum, maximum), hi = std::max(minimum, maximum);
  value = std::clamp<int16_t>(v, lo, hi);
  placeThumb();
  draw();
}

void JLRoundScroll::getValue(short& v) { v = value; }

void JLRoundScroll::setValue(short which, short v) {
  switch (which) {
    case qxMsgPaint:
      if (image) {
        // A thumb partly outside the control is painted as far as it shows.
        QX_PaintPicture(image, image->bounds, mask, thumb, 256);
      }
      break;
    case qxMsgSetMaximum:
      maximum = v;
      setValue(value);
      break;
    case uloMsgSelectPicture: break;
    default: panProImageControl::setValue(which, v); break;
  }
}

void JLRoundScroll::setRealtime() {
  auto* pro = dynamic_cast<uloPanelPro*>(panel);
  if (!pro) return;
  pro->reportRealtime(index);
  pro->onIdle();
}

bool JLRoundScroll::click() {
  if (!enabled) return false;
  const float span = float(endAngle - startAngle);
  while (ULO_TrackButtonDown()) {
    if (span == 0.f || maximum == minimum) continue;
    float deg = std::atan2(float(uloGlo.mouseY - centre.y), float(uloGlo.mouseX - centre.x)) * (180.0f / 3.14159265f);
    float d = deg - startAngle;
    // Of the turns of this angle, the one nearest the arc.
    const float lo = std::min(0.f, span), hi = std::max(0.f, span);
    float best = d, bestDist = 1e9f;
    for (int k = -2; k <= 2; k++) {
      const float c = d + 360.f * k;
      const float dist = c < lo ? lo - c : c > hi ? c - hi : 0.f;
      if (dist < bestDist) best = c, bestDist = dist;
    }
    const float t = std::clamp(best / span, 0.f, 1.f);
    const int v = minimum + int(std::lround(t * float(maximum - minimum)));
    if (v == value) continue;
    setValue(short(v));
    setRealtime();
  }
  return true;
}

// ------------------------------------------------------------ straight scroll

int JLScroll::trackRoom() const {
  const int thumbLength = image ? (vertical() ? image->height() : image->width()) : 0;
  return (vertical() ? rect.height() : rect.width()) - thumbLength;
}

void JLScroll::placeThumb() {
  const int w = image ? image->width() : 0, h = image ? image->height() : 0;
  const int along = maximum == minimum ? 0 : trackRoom() * (value - minimum) / (maximum - minimum);
  if (vertical()) {
    const int left = rect.left + (rect.width() - w) / 2;
    thumb.set(left, rect.top + along, left + w, rect.top + along + h);
  } else {
    const int top = rect.top + (rect.height() - h) / 2;
    thumb.set(rect.left + along, top, rect.left + along + w, top + h);
  }
}

bool JLScroll::click() {
  if (!enabled) return false;
  if (!mouseIn(thumb) || trackRoom() <= 0) return true;
  const int startX = uloGlo.mouseX, startY = uloGlo.mouseY, startValue = value;
  while (ULO_TrackButtonDown()) {
    const int moved = vertical() ? uloGlo.mouseY - startY : uloGlo.mouseX - startX;
    const int v = startValue + (maximum - minimum) * moved / trackRoom();
    const int lo = std::min(minimum, maximum), hi = std::max(minimum, maximum);
    const int clamped = std::clamp(v, lo, hi);
    if (clamped == value) continue;
    setValue(short(clamped));
    setRealtime();
  }
  return true;
}

// -------------------------------------------------------------- level bar

void JLLevelBarControl::setup() {
  value = 0;
  peak = -1;
}

void JLLevelBarControl::draw() { updateThroughScreen(*this); }

void JLLevelBarControl::setValue(short v) {
  value = std::clamp<int16_t>(v, 0, 99);
  draw();
}

void JLLevelBarControl::getValue(short& v) { v = value; }

uloRect JLLevelBarControl::segmentRect(int i) const {
  const int w = rect.width(), h = rect.height();
  if (h > w) return uloRect(0, h - (i + 1) * h / 10, w, h - i * h / 10);
  return uloRect(i * w / 10, 0, (i + 1) * w / 10, h);
}

int JLLevelBarControl::segmentLevel(int i) const {
  const int low = 10 * i, top = 10 * i + 9;
  if (value > top) return 256;
  // A meter at 0 is dark: the lowest segment glows only above it.
  if (value > low) return std::max(32, (value - low) * 127 / 10);
  if (peak >= low && peak <= top) return 256;
  return 0;
}

void JLLevelBarControl::setValue(short which, short v) {
  if (which == qxMsgLevel) {
    peak = std::clamp<int16_t>(v, -1, 99);
    draw();
    return;
  }
  if (which != qxMsgPaint || !layout) return;
  const uloOffmap* off = layout->GetItemImage(layoutItem, 0);
  const uloOffmap* lit = layout->GetItemImage(layoutItem, 1);
  const uloOffmap* litMask = layout->GetItemMask(layoutItem, 1);
  // A meter with one picture has its unlit slots drawn on the background
  // beneath: that picture is the lit one.
  if (!lit) {
    lit = off;
    litMask = layout->GetItemMask(layoutItem, 0);
    off = nullptr;
  }
  if (off) {
    const uloRect src(0, 0, std::min<int>(off->width(), rect.width()), std::min<int>(off->height(), rect.height()));
    QX_PaintPicture(off, src, layout->GetItemMask(layoutItem, 0), fittedDst(rect, src), 256);
  }
  if (!lit) return;
  for (int i = 0; i < 10; i++) {
    const int level = segmentLevel(i);
    if (level == 0) continue;
    uloRect src = segmentRect(i);
    src.intersect(lit->bounds);
    if (src.isEmpty()) continue;
    uloRect dst = src;
    dst.offset(rect.left, rect.top);
    QX_PaintPicture(lit, src, litMask, dst, level);
  }
}

// --------------------------------------------------------------- progress

void JLProgressControl::setup() { value = 0; }
void JLProgressControl::draw() { updateThroughScreen(*this); }

void JLProgressControl::setValue(short v) {
  value = std::clamp<int16_t>(v, 0, 100);
  draw();
}

void JLProgressControl::getValue(short& v) { v = value; }

void JLProgressControl::setValue(short which, short) {
  if (which != qxMsgPaint || !layout) return;
  // With two pictures the bar (1) fills over its trough (0); a skin with one
  // picture gives only the full bar, and the panel behind shows the trough.
  const bool twoPictures = layout->GetItemImage(layoutItem, 1) != nullptr;
  const int16_t barPicture = twoPictures ? 1 : 0;
  const uloOffmap* back = twoPictures ? layout->GetItemImage(layoutItem, 0) : nullptr;
  const uloOffmap* bar = layout->GetItemImage(layoutItem, barPicture);
  if (back) {
    const uloRect src(0, 0, std::min<int>(back->width(), rect.width()), std::min<int>(back->height(), rect.height()));
    QX_PaintPicture(back, src, layout->GetItemMask(layoutItem, 0), fittedDst(rect, src), 256);
  }
  if (!bar) return;
  const int w = std::min<int>(bar->width(), rect.width()) * value / 100;
  const uloRect src(0, 0, w, std::min<int>(bar->height(), rect.height()));
  QX_PaintPicture(bar, src, layout->GetItemMask(layoutItem, barPicture), fittedDst(rect, src), 256);
}

// ------------------------------------------------------------------ rotor

void JLRotorControl::setup() {
  for (Part& p : parts) p = Part();
  wantsIdle = 1;
}

void JLRotorControl::draw() { updateThroughScreen(*this); }

void JLRotorControl::setValue(short n) {
  if (n > 0 && n <= 8) {
    Part& p = parts[n - 1];
    p.running = 1;
    p.direction = ULO_Random(2) ? 1 : -1;
    p.period = int16_t(1 + ULO_Random(20));
    p.next = uloGlo.when + p.period;
  } else if (n < 0 && n >= -8) {
    parts[-n - 1].running = 0;
    draw();
  }
}

void JLRotorControl::idle() {
  bool changed = false;
  for (Part& p : parts) {
    if (!p.running || uloGlo.when < p.next) continue;
    p.phase = int16_t((p.phase + p.direction + 8) % 8);
    p.next = uloGlo.when + p.period;
    changed = true;
  }
  if (changed) draw();
}

void JLRotorControl::setValue(short which, short) {
  if (which != qxMsgPaint || !layout) return;
  const uloOffmap* base = layout->GetItemImage(layoutItem, 0);
  const uloOffmap* lit = layout->GetItemImage(layoutItem, 1);
  if (base) {
    const uloRect src(0, 0, std::min<int>(base->width(), rect.width()), std::min<int>(base->height(), rect.height()));
    QX_PaintPicture(base, src, layout->GetItemMask(layoutItem, 0), fittedDst(rect, src), 256);
  }
  if (!lit) return;
  const int w = std::min<int>(lit->width(), rect.width()), h = std::min<int>(lit->height(), rect.height());
  for (int k = 0; k < 8; k++) {
    if (!parts[k].running || (parts[k].phase & 1) == 0) continue;
    const uloRect src(k * w / 8, 0, (k + 1) * w / 8, h);
    uloRect dst = src;
    dst.offset(rect.left, rect.top);
    QX_PaintPicture(lit, src, layout->GetItemMask(layoutItem, 1), dst, 256);
  }
}
