// uloPoint and uloRect: the 16-bit geometry every control, panel, layout and
// bitmap speaks. y grows downwards; right and bottom are exclusive when
// drawing but inclusive for contains(), which is what mouse hit-testing of
// the original skins relies on.
//
// Plain values, no shared state: any thread may use them, though in practice
// only the user-interface thread does. Arithmetic wraps at 16 bits like the
// stored coordinates do.
#pragma once
#include <cstdint>

// Snap codes: the nine anchor points of a rectangle, clockwise from top-left,
// then the centre. Layout files store these numbers.
enum : int16_t {
  uloSnapTopLeft = 0,
  uloSnapTop = 1,
  uloSnapTopRight = 2,
  uloSnapRight = 3,
  uloSnapBottomRight = 4,
  uloSnapBottom = 5,
  uloSnapBottomLeft = 6,
  uloSnapLeft = 7,
  uloSnapCenter = 8,
};

struct uloPoint {
  int16_t x = 0;
  int16_t y = 0;

  uloPoint() = default;
  uloPoint(int x_, int y_) : x(static_cast<int16_t>(x_)), y(static_cast<int16_t>(y_)) {}

  void set(int x_, int y_) {
    x = static_cast<int16_t>(x_);
    y = static_cast<int16_t>(y_);
  }
  void set(const uloPoint& p) { *this = p; }
  void add(int dx, int dy) { set(x + dx, y + dy); }
  void add(const uloPoint& p) { add(p.x, p.y); }
  void sub(const uloPoint& p) { add(-p.x, -p.y); }
  bool equal(int x_, int y_) const { return x == x_ && y == y_; }
  bool equal(const uloPoint& p) const { return x == p.x && y == p.y; }
  uloPoint invert() const { return uloPoint(-x, -y); }

  uloPoint operator-(const uloPoint& p) const { return uloPoint(x - p.x, y - p.y); }
  bool operator==(const uloPoint& p) const { return equal(p); }
  bool operator!=(const uloPoint& p) const { return !equal(p); }
  uloPoint& operator+=(const uloPoint& p) {
    add(p);
    return *this;
  }
  uloPoint& operator-=(const uloPoint& p) {
    sub(p);
    return *this;
  }
};

struct uloRect {
  int16_t left = 0;
  int16_t top = 0;
  int16_t right = 0;
  int16_t bottom = 0;

  uloRect() = default;
  uloRect(int l, int t, int r, int b) { set(l, t, r, b); }

  void set(int l, int t, int r, int b) {
    left = static_cast<int16_t>(l);
    top = static_cast<int16_t>(t);
    right = static_cast<int16_t>(r);
    bottom = static_cast<int16_t>(b);
  }
  void set(int width, int height) { set(0, 0, width, height); }
  void set(const uloPoint& p) { set(0, 0, p.x, p.y); }
  void set(const uloRect& r) { *this = r; }

  void offset(int dx, int dy) { set(left + dx, top + dy, right + dx, bottom + dy); }
  void offset(const uloPoint& p) { offset(p.x, p.y); }
  void inset(int dx, int dy) { set(left + dx, top + dy, right - dx, bottom - dy); }
  void inset(int d) { inset(d, d); }
  // Moves the rectangle so that its top-left corner is (0, 0).
  void reset() { offset(-left, -top); }

  uloPoint topleft() const { return uloPoint(left, top); }
  int16_t width() const { return static_cast<int16_t>(right - left); }
  int16_t height() const { return static_cast<int16_t>(bottom - top); }
  int16_t middleWidth() const { return static_cast<int16_t>(left + (right - left) / 2); }
  int16_t middleHeight() const { return static_cast<int16_t>(top + (bottom - top) / 2); }
  uloPoint center() const { return uloPoint(middleWidth(), middleHeight()); }
  bool isEmpty() const { return right <= left || bottom <= top; }
  // Shrinks this rectangle to the area it shares with r; false when nothing
  // is shared, and the rectangle is then empty at its clipped top-left.
  bool intersect(const uloRect& r);

  bool contains(int x, int y) const { return left <= x && x <= right && top <= y && y <= bottom; }
  bool contains(const uloPoint& p) const { return contains(p.x, p.y); }
  bool containsStrict(int x, int y) const { return left < x && x < right && top < y && y < bottom; }
  bool contains(const uloRect& r) const {
    return left <= r.left && top <= r.top && r.right <= right && r.bottom <= bottom;
  }

  // The anchor point for a snap code; unknown codes give the top-left corner.
  uloPoint snap(int code) const;
  uloPoint relativeSnap(int code) const { return snap(code) - topleft(); }
  // Moves the rectangle so that its chosen anchor lands where its top-left was.
  void selfSnap(int code) { offset(relativeSnap(code).invert()); }

  bool operator==(const uloRect& r) const {
    return left == r.left && top == r.top && right == r.right && bottom == r.bottom;
  }
  bool operator!=(const uloRect& r) const { return !(*this == r); }
};

// 1 unless one rectangle lies entirely to one side of the other; rectangles
// that only touch count as intersecting (the screen redraws a neighbour too
// many rather than one too few).
int QX_RectIntersects(const uloRect& a, const uloRect& b);
// Enlarges b so that it also covers a.
void QX_RectUnion(const uloRect& a, uloRect& b);
// The common area of a and b in *out; false (and an empty *out) when they
// share no pixel. Unlike QX_RectIntersects, touching
// edges do not share pixels.
bool ULO_RectIntersection(const uloRect& a, const uloRect& b, uloRect* out);
