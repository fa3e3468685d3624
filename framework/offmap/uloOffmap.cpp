#include "framework/offmap/uloOffmap.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "framework/platform/uloSys.h"
#include "framework/res/uloSwap.h"

int16_t uloOffmapDefaultDepth = uloDepthDirect16;

namespace {

constexpr int32_t kDibHeaderSize = 40;
constexpr int32_t kDibPaletteSize = 256 * 4;

// The destination pixels an operation touches, in image coordinates.
struct Span {
  int x0, x1, y0, y1;
  bool empty() const { return x1 <= x0 || y1 <= y0; }
};

Span spanOf(const uloRect& r) { return Span{r.left, r.right, r.top, r.bottom}; }

// Narrows the span so that pixel (x + dx, y + dy) of m, read bpp bytes at a
// time, lies inside m for every (x, y) of the span.
void narrow(Span& s, const uloOffmap& m, int bpp, int dx, int dy) {
  s.x0 = std::max(s.x0, -dx);
  s.x1 = std::min(s.x1, m.columnsFor(bpp) - dx);
  s.y0 = std::max(s.y0, -dy);
  s.y1 = std::min(s.y1, m.height() - dy);
}

// Sources and masks may be 8-bit bitmaps with odd row lengths, so 16-bit
// reads from them go through memcpy rather than a possibly misaligned cast.
inline uint16_t load16(const uint8_t* p) {
  uint16_t v;
  memcpy(&v, p, sizeof v);
  return v;
}

inline int red(int p) { return (p >> 10) & 31; }
inline int green(int p) { return (p >> 5) & 31; }
inline int blue(int p) { return p & 31; }
inline uint16_t pack(int r, int g, int b) { return static_cast<uint16_t>((r << 10) | (g << 5) | b); }

// 8-bit mask: m weighs the destination, 256 - m the source.
inline int mix8(int m, int d, int s) { return std::min(31, xround10(m * d) + xround10((256 - m) * s)); }
// 16-bit-mask and blend weighting in 32nds; each term truncated on its own.
inline int mix32(int c, int d, int s) { return ((31 - c) * d) / 32 + (c * s) / 32; }
// Blend weighting with t in 0..65536.
inline int mix64k(int t, int d, int s) {
  return std::min(31, xround100((65536 - t) * d) + xround100(t * s));
}

int clampLevel(int level) { return std::min(256, std::max(0, level)); }

}  // namespace

uloOffmap::uloOffmap() = default;

uloOffmap::~uloOffmap() {
  if (allocated || bitmapHeader) dispose();
}

uloOffmap::uloOffmap(uloOffmap&& other) noexcept { swapWith(other); }

uloOffmap& uloOffmap::operator=(uloOffmap&& other) noexcept {
  if (this != &other) {
    dispose();
    swapWith(other);
  }
  return *this;
}

void uloOffmap::swapWith(uloOffmap& o) noexcept {
  std::swap(bits, o.bits);
  std::swap(rowBytes, o.rowBytes);
  std::swap(size, o.size);
  std::swap(bitmapHeader, o.bitmapHeader);
  std::swap(headerSize, o.headerSize);
  std::swap(allocated, o.allocated);
  std::swap(depth, o.depth);
  std::swap(sizePoint, o.sizePoint);
  std::swap(bounds, o.bounds);
}

int uloOffmap::columnsFor(int bpp) const {
  if (!allocated || bpp <= 0) return 0;
  return std::min<int>(sizePoint.x, rowBytes / bpp);
}

bool uloOffmap::allocate(int newDepth, int width, int height, int newRowBytes) {
  dispose();
  if (newDepth < 0 || newDepth > 3 || width < 0 || height < 0 || width > INT16_MAX || height > INT16_MAX)
    return false;
  const int bpp = bytesPerPixel(newDepth);
  int64_t rb = newRowBytes;
  if (newRowBytes == -1) rb = int64_t((width - 1) / 8 + 1) * 8 * bpp;
  // A row that cannot hold its pixels, or that would split a pixel, would
  // make rows overlap or misalign every 16- and 32-bit access.
  if (rb < int64_t(width) * bpp || rb % bpp != 0 || rb > INT16_MAX) return false;

  sizePoint.set(width, height);
  bounds.set(0, 0, width, height);
  depth = static_cast<int16_t>(newDepth);
  rowBytes = static_cast<int16_t>(rb);
  size = rowBytes * height;

  const bool paletted = newDepth == uloDepthIndexed8 || newDepth == uloDepthMask8;
  headerSize = paletted ? kDibHeaderSize + kDibPaletteSize : kDibHeaderSize;
  if (!ULO_NewPtrT(&bitmapHeader, headerSize)) {
    headerSize = 0;
    return false;
  }
  uint8_t* h = bitmapHeader;
  memset(h, 0, headerSize);
  ULO_PutLE32(h + 0, kDibHeaderSize);
  ULO_PutLE32(h + 4, rowBytes / bpp);
  ULO_PutLE32(h + 8, height);  // positive: rows bottom-up
  ULO_PutLE16(h + 12, 1);      // planes
  ULO_PutLE16(h + 14, bpp * 8);
  // compression, image size and both resolutions stay 0
  ULO_PutLE32(h + 32, paletted ? 256 : 0);  // colours used

  if (!ULO_NewPtrT(&bits, size)) {
    ULO_DisposePtrT(&bitmapHeader);
    headerSize = 0;
    return false;
  }
  allocated = 1;
  return true;
}

void uloOffmap::dispose() {
  if (bits) ULO_DisposePtrT(&bits);
  if (bitmapHeader) ULO_DisposePtrT(&bitmapHeader);
  headerSize = 0;
  allocated = 0;
}


int16_t uloOffmap::getPixel(int x, int y) const {
  const int bpp = bytesPerPixel(depth);
  if (x < 0 || y < 0 || x >= columnsFor(bpp) || y >= sizePoint.y) return 0;
  const uint8_t* p = rowAddress(y) + x * bpp;
  if (bpp == 1) return *p;
  return static_cast<int16_t>(load16(p) & 0x7FFF);
}

void uloOffmap::setPixel(int x, int y, int value) {
  const int bpp = bytesPerPixel(depth);
  if (x < 0 || y < 0 || x >= columnsFor(bpp) || y >= sizePoint.y) return;
  uint8_t* p = rowAddress(y) + x * bpp;
  if (bpp == 1) {
    *p = static_cast<uint8_t>(value);
  } else {
    const uint16_t v = static_cast<uint16_t>(value);
    memcpy(p, &v, sizeof v);
  }
}

void uloOffmap::copy(const uloOffmap* source) {
  if (!allocated || !source || !source->allocated || source == this) return;
  if (source->size == size) {
    memcpy(bits, source->bits, size);
    return;
  }
  copy(source, source->bounds, bounds);
}

void uloOffmap::copy(const uloOffmap* source, const uloRect& srcRect, const uloRect& dstRect) {
  if (!allocated || !source || !source->allocated) return;
  const int bpp = bytesPerPixel(depth);
  const int sdx = srcRect.left - dstRect.left, sdy = srcRect.bottom - dstRect.bottom;
  Span s = spanOf(dstRect);
  narrow(s, *this, bpp, 0, 0);
  narrow(s, *source, bpp, sdx, sdy);
  if (s.empty()) return;
  const size_t n = size_t(s.x1 - s.x0) * bpp;
  // Bottom row first; memmove because a bitmap may copy within itself.
  for (int y = s.y1 - 1; y >= s.y0; y--)
    memmove(rowAddress(y) + s.x0 * bpp, source->rowAddress(y + sdy) + (s.x0 + sdx) * bpp, n);
}

void uloOffmap::copyMask(const uloOffmap* source, const uloRect& srcRect, const uloOffmap* mask,
                         const uloRect& maskRect, const uloRect& dstRect) {
  if (!allocated || depth != uloDepthDirect16 || !source || !source->allocated || !mask || !mask->allocated)
    return;
  const int mbpp = mask->depth == uloDepthMask8 ? 1 : 2;
  const int sdx = srcRect.left - dstRect.left, sdy = srcRect.bottom - dstRect.bottom;
  const int mdx = maskRect.left - dstRect.left, mdy = maskRect.bottom - dstRect.bottom;
  Span s = spanOf(dstRect);
  narrow(s, *this, 2, 0, 0);
  narrow(s, *source, 2, sdx, sdy);
  narrow(s, *mask, mbpp, mdx, mdy);
  if (s.empty()) return;
  const int n = s.x1 - s.x0;
  for (int y = s.y1 - 1; y >= s.y0; y--) {
    uint16_t* d = reinterpret_cast<uint16_t*>(rowAddress(y)) + s.x0;
    const uint8_t* sp = source->rowAddress(y + sdy) + (s.x0 + sdx) * 2;
    const uint8_t* mp = mask->rowAddress(y + mdy) + (s.x0 + mdx) * mbpp;
    if (mbpp == 1) {
      for (int i = 0; i < n; i++, sp += 2) {
        const int m = mp[i];
        if (m == 255) continue;
        const uint16_t sv = load16(sp);
        if (m == 0) {
          d[i] = sv;
          continue;
        }
        const int dv = d[i];
        d[i] = pack(mix8(m, red(dv), red(sv)), mix8(m, green(dv), green(sv)), mix8(m, blue(dv), blue(sv)));
      }
    } else {
      for (int i = 0; i < n; i++, sp += 2, mp += 2) {
        const int k = load16(mp) & 0x7FFF;
        if (k == 0) continue;
        const uint16_t sv = load16(sp);
        if (k == 0x7FFF) {
          d[i] = sv;
          continue;
        }
        const int dv = d[i];
        d[i] = pack(mix32(red(k), red(dv), red(sv)), mix32(green(k), green(dv), green(sv)),
                    mix32(blue(k), blue(dv), blue(sv)));
      }
    }
  }
}

void uloOffmap::copyMaskBlend(const uloOffmap* source, const uloRect& srcRect, const uloOffmap* mask,
                              const uloRect& maskRect, const uloRect& dstRect, int level) {
  if (!allocated || depth != uloDepthDirect16 || !source || !source->allocated || !mask || !mask->allocated)
    return;
  level = clampLevel(level);
  const int mbpp = mask->depth == uloDepthMask8 ? 1 : 2;
  const int sdx = srcRect.left - dstRect.left, sdy = srcRect.bottom - dstRect.bottom;
  const int mdx = maskRect.left - dstRect.left, mdy = maskRect.bottom - dstRect.bottom;
  Span s = spanOf(dstRect);
  narrow(s, *this, 2, 0, 0);
  narrow(s, *source, 2, sdx, sdy);
  narrow(s, *mask, mbpp, mdx, mdy);
  if (s.empty()) return;
  const int n = s.x1 - s.x0;
  for (int y = s.y1 - 1; y >= s.y0; y--) {
    uint16_t* d = reinterpret_cast<uint16_t*>(rowAddress(y)) + s.x0;
    const uint8_t* sp = source->rowAddress(y + sdy) + (s.x0 + sdx) * 2;
    const uint8_t* mp = mask->rowAddress(y + mdy) + (s.x0 + mdx) * mbpp;
    if (mbpp == 1) {
      for (int i = 0; i < n; i++, sp += 2) {
        const int t = (256 - mp[i]) * level;
        const int sv = load16(sp), dv = d[i];
        d[i] = pack(mix64k(t, red(dv), red(sv)), mix64k(t, green(dv), green(sv)), mix64k(t, blue(dv), blue(sv)));
      }
    } else {
      for (int i = 0; i < n; i++, sp += 2, mp += 2) {
        const int t = ((level * blue(load16(mp))) / 256) & 31;
        const int sv = load16(sp), dv = d[i];
        d[i] = pack(mix32(t, red(dv), red(sv)), mix32(t, green(dv), green(sv)), mix32(t, blue(dv), blue(sv)));
      }
    }
  }
}

void uloOffmap::copyBlend(const uloOffmap* source, const uloRect& srcRect, const uloRect& dstRect, int level) {
  if (!allocated || depth != uloDepthDirect16 || !source || !source->allocated) return;
  const int m = ((clampLevel(level) * 31) / 256) & 31;
  const int sdx = srcRect.left - dstRect.left, sdy = srcRect.bottom - dstRect.bottom;
  Span s = spanOf(dstRect);
  narrow(s, *this, 2, 0, 0);
  narrow(s, *source, 2, sdx, sdy);
  if (s.empty()) return;
  const int n = s.x1 - s.x0;
  for (int y = s.y1 - 1; y >= s.y0; y--) {
    uint16_t* d = reinterpret_cast<uint16_t*>(rowAddress(y)) + s.x0;
    const uint8_t* sp = source->rowAddress(y + sdy) + (s.x0 + sdx) * 2;
    for (int i = 0; i < n; i++, sp += 2) {
      const int sv = load16(sp), dv = d[i];
      d[i] = pack(mix32(m, red(dv), red(sv)), mix32(m, green(dv), green(sv)), mix32(m, blue(dv), blue(sv)));
    }
  }
}

void uloOffmap::fill(const uloRect& rect, int value) {
  if (!allocated || depth != uloDepthDirect16) return;
  Span s = spanOf(rect);
  narrow(s, *this, 2, 0, 0);
  if (s.empty()) return;
  const uint16_t v = static_cast<uint16_t>(value);
  for (int y = s.y0; y < s.y1; y++) {
    uint16_t* d = reinterpret_cast<uint16_t*>(rowAddress(y)) + s.x0;
    std::fill(d, d + (s.x1 - s.x0), v);
  }
}

void uloOffmap::colorize(int r, int g, int b) {
  if (!allocated || depth != uloDepthDirect16) return;
  const int n = columnsFor(2);
  for (int y = 0; y < sizePoint.y; y++) {
    uint16_t* d = reinterpret_cast<uint16_t*>(rowAddress(y));
    for (int i = 0; i < n; i++) {
      const int v = d[i];
      d[i] = pack(((red(v) * r) / 256) & 31, ((green(v) * g) / 256) & 31, ((blue(v) * b) / 256) & 31);
    }
  }
}

void uloOffmap::draw(const uloRect& srcRect, const uloRect& dstRect) const {
  if (!allocated || depth != uloDepthDirect16) return;
  ULO_DrawBits16(reinterpret_cast<const uint16_t*>(bits), rowBytes, columnsFor(2), sizePoint.y, srcRect.left,
                 srcRect.top, srcRect.right, srcRect.bottom, dstRect.left, dstRect.top, dstRect.right,
                 dstRect.bottom);
}

void uloOffmap::line(int x1, int y1, int x2, int y2, int colour) {
  if (!allocated) return;
  // Coordinates are 16-bit like all geometry; this also bounds the loop.
  x1 = int16_t(x1), y1 = int16_t(y1), x2 = int16_t(x2), y2 = int16_t(y2);
  const int dx = x2 - x1, dy = y2 - y1;
  const int adx = std::abs(dx), ady = std::abs(dy);
  if (ady < adx) {
    const float step = float(dy) / float(adx);
    const int sx = dx > 0 ? 1 : -1;
    float y = float(y1);
    for (int x = x1; x != x2; x += sx, y += step) setPixel(x, int(std::lround(y)), colour);
  } else if (ady > 0) {
    const float step = float(dx) / float(ady);
    const int sy = dy > 0 ? 1 : -1;
    float x = float(x1);
    for (int y = y1; y != y2; y += sy, x += step) setPixel(int(std::lround(x)), y, colour);
  }
}
