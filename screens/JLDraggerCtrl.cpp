#include "screens/JLDraggerCtrl.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "framework/layout/uloLayouts.h"
#include "framework/panel/QXPanel.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "framework/text/uloFont.h"

JLDraggerCtrl::JLDraggerCtrl() = default;
JLDraggerCtrl::~JLDraggerCtrl() = default;

uint16_t JLDraggerCtrl::styleColour(short s) {
  switch (s) {
    case 2: return 0x7C00;
    case 3: return 0x001F;
    case 4: return 0x03FF;
    case 5: return 0x03E0;
    default: return 0x7FFF;
  }
}

void JLDraggerCtrl::setup() {
  uloPaCoStd_StaticCast::setup();
  if (layout) {
    normal = layout->GetItemImage(layoutItem, 0);
    normalMask = layout->GetItemMask(layoutItem, 0);
    highlight = layout->GetItemImage(layoutItem, 1);
    highlightMask = layout->GetItemMask(layoutItem, 1);
  }
  dragRect = rect;
  value = -1;
  renderNumber();
}

void JLDraggerCtrl::draw() {
  if (!dragging) dragRect = rect;
  if (canDraw()) QXScreen.update(rect);
}

void JLDraggerCtrl::renderNumber() {
  numberMap.dispose();
  numberMask.dispose();
  if (value < 0 || !QXFont.parsed) return;
  char text[16];
  snprintf(text, sizeof text, "%0d", value);
  const int w = QXFont.stringWidth(text), h = QXFont.glyphHeight;
  if (w <= 0 || h <= 0) return;
  if (!numberMap.allocate(uloDepthDirect16, w, h) || !numberMask.allocate(uloDepthMask8, w, h)) {
    numberMap.dispose();
    numberMask.dispose();
    return;
  }
  numberMap.fill(numberMap.bounds, styleColour(style));
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) numberMask.setPixel(x, y, 255);  // (fill is for 16-bit maps only)
  // The glyphs' own (antialiased) coverage shapes the number; the colour is
  // the style's.
  int x = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
    const uloRect& g = QXFont.glyphs[*p];
    const uloRect dst(int16_t(x), 0, int16_t(x + g.width()), int16_t(std::min<int>(h, g.height())));
    if (QXFont.mask && QXFont.mask->depth == uloDepthMask8) {
      numberMask.copy(QXFont.mask, g, dst);
    } else {
      for (int gy = 0; gy < dst.height(); gy++)
        for (int gx = 0; gx < dst.width(); gx++) {
          const int v = QXFont.mask ? QXFont.mask->getPixel(g.left + gx, g.top + gy)
                                    : QXFont.image.getPixel(g.left + gx, g.top + gy);
          numberMask.setPixel(x + gx, gy, v != 0 ? 0 : 255);
        }
    }
    x += g.width();
  }
}

void JLDraggerCtrl::paint() {
  const uloRect& r = dragging ? dragRect : rect;
  if (normal) {
    const uloRect src(0, 0, std::min<int>(normal->width(), r.width()), std::min<int>(normal->height(), r.height()));
    QX_PaintPicture(normal, src, normalMask, uloRect(r.left, r.top, r.left + src.width(), r.top + src.height()),
                    256);
  }
  if (highlighted && highlight) {
    const uloRect src(0, 0, std::min<int>(highlight->width(), r.width()),
                      std::min<int>(highlight->height(), r.height()));
    QX_PaintPicture(highlight, src, highlightMask,
                    uloRect(r.left, r.top, r.left + src.width(), r.top + src.height()), 256);
  }
  if (numberMap.allocated) {
    const int w = numberMap.width(), h = numberMap.height();
    const int x = r.left + (r.width() - w) / 2, y = r.top + (r.height() - h) / 2;
    QXScreen.copyMaskToUpdate(&numberMap, numberMap.bounds, &numberMask, numberMask.bounds,
                              uloRect(x, y, x + w, y + h), 256);
  }
}

void JLDraggerCtrl::setValue(short v) {
  const int16_t shown = v < 0 ? int16_t(-1) : v;
  if (shown == value && (numberMap.allocated || shown < 0)) return;
  value = shown;
  renderNumber();
  draw();
}

void JLDraggerCtrl::getValue(short& v) { v = value; }

void JLDraggerCtrl::setValue(short message, short v) {
  switch (message) {
    case jlMsgBallHighlight:
      if (highlighted != (v ? 1 : 0)) {
        highlighted = v ? 1 : 0;
        draw();
      }
      break;
    case jlMsgBallColour:
      if (style != v) {
        style = v;
        renderNumber();
        draw();
      }
      break;
    case qxMsgPaint:
      paint();
      break;
    default:
      uloPaCoStd_StaticCast::setValue(message, v);
      break;
  }
}

void JLDraggerCtrl::getValue(short message, short& v) {
  switch (message) {
    case jlMsgBallHighlight:
      v = highlighted;
      break;
    case jlMsgBallDrag:
      v = doDragIt();
      break;
    default:
      uloPaCoStd_StaticCast::getValue(message, v);
      break;
  }
}

short JLDraggerCtrl::doDragIt() {
  const int startX = uloGlo.mouseX, startY = uloGlo.mouseY;
  const uloRect home = rect;
  dragging = 1;
  dragRect = home;
  bool moving = false;
  int lastX = startX, lastY = startY;
  short target = -1;
  JLDraggerReceiverCtrl* targetCtrl = nullptr;
  while (ULO_TrackButtonDown()) {
    const int mx = uloGlo.mouseX, my = uloGlo.mouseY;
    if (!moving && (std::abs(mx - startX) > 2 || std::abs(my - startY) > 2)) moving = true;
    if (!moving || (mx == lastX && my == lastY)) continue;
    lastX = mx;
    lastY = my;
    const uloRect old = dragRect;
    dragRect = home;
    dragRect.offset(int16_t(mx - startX), int16_t(my - startY));
    // The ball paints where it is dragged: its rectangle follows the mouse
    // while the drag lasts.
    rect = dragRect;
    if (canDraw()) {
      QXScreen.update(old);
      QXScreen.update(home);
      QXScreen.update(dragRect);
    }
    short found = -1;
    JLDraggerReceiverCtrl* foundCtrl = nullptr;
    if (panel)
      for (int s = 0; s < kPanelSlots; s++) {
        if (s == index) continue;
        auto* r = dynamic_cast<JLDraggerReceiverCtrl*>(panel->control(s));
        if (!r || !r->visible) continue;
        short inside = 0;
        r->getValue(jlMsgBallMouseInside, inside);
        if (inside) {
          found = short(s);
          foundCtrl = r;
        }
      }
    if (found != target) {
      if (foundCtrl) foundCtrl->setValue(jlMsgBallHovered, short(1));
      if (targetCtrl) targetCtrl->setValue(jlMsgBallHovered, short(0));
      target = found;
      targetCtrl = foundCtrl;
    }
  }
  if (targetCtrl) targetCtrl->setValue(jlMsgBallHovered, short(0));
  const uloRect last = dragRect;
  rect = home;
  dragRect = home;
  dragging = 0;
  if (canDraw()) {
    QXScreen.update(last);
    QXScreen.update(home);
  }
  if (home.contains(uloGlo.mouseX, uloGlo.mouseY)) return -2;
  return target;
}

void JLDraggerReceiverCtrl::setValue(short message, short v) {
  if (message == jlMsgBallHovered) {
    if (hovered != (v ? 1 : 0)) {
      hovered = v ? 1 : 0;
      draw();
    }
    return;
  }
  JLDraggerCtrl::setValue(message, v);
}

void JLDraggerReceiverCtrl::getValue(short message, short& v) {
  if (message == jlMsgBallMouseInside) {
    v = rect.contains(uloGlo.mouseX, uloGlo.mouseY) ? 1 : 0;
    return;
  }
  JLDraggerCtrl::getValue(message, v);
}

void JLDraggerReceiverCtrl::paint() {
  const uint8_t wasHighlighted = highlighted;
  if (hovered) highlighted = 1;
  JLDraggerCtrl::paint();
  highlighted = wasHighlighted;
}
