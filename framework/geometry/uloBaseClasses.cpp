#include "framework/geometry/uloBaseClasses.h"

#include <algorithm>

uloPoint uloRect::snap(int code) const {
  switch (code) {
    case uloSnapTop: return uloPoint(middleWidth(), top);
    case uloSnapTopRight: return uloPoint(right, top);
    case uloSnapRight: return uloPoint(right, middleHeight());
    case uloSnapBottomRight: return uloPoint(right, bottom);
    case uloSnapBottom: return uloPoint(middleWidth(), bottom);
    case uloSnapBottomLeft: return uloPoint(left, bottom);
    case uloSnapLeft: return uloPoint(left, middleHeight());
    case uloSnapCenter: return center();
    default: return topleft();
  }
}

int QX_RectIntersects(const uloRect& a, const uloRect& b) {
  if (a.right < b.left || b.right < a.left) return 0;
  if (a.bottom < b.top || b.bottom < a.top) return 0;
  return 1;
}

void QX_RectUnion(const uloRect& a, uloRect& b) {
  b.set(std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
        std::max(a.bottom, b.bottom));
}

bool uloRect::intersect(const uloRect& r) {
  set(std::max(left, r.left), std::max(top, r.top), std::min(right, r.right), std::min(bottom, r.bottom));
  if (!isEmpty()) return true;
  set(left, top, left, top);
  return false;
}

bool ULO_RectIntersection(const uloRect& a, const uloRect& b, uloRect* out) {
  uloRect r = a;
  bool shared = r.intersect(b);
  if (out) *out = r;
  return shared;
}
