#include "framework/text/uloFont.h"

#include <algorithm>
#include <cstring>

#include "framework/casts/uloCasts.h"

namespace {

// The own bitmap is always 16-bit; casts stored at other depths are
// converted pixel by pixel (an indexed picture as grey levels, since the
// platform keeps no colour tables).
bool copyAs16(const uloOffmap& src, uloOffmap& dst) {
  if (!dst.allocate(uloDepthDirect16, src.width(), src.height(), -1)) return false;
  if (src.depth == uloDepthDirect16) {
    dst.copy(&src, src.bounds, dst.bounds);
    return true;
  }
  for (int y = 0; y < src.height(); y++) {
    const uint8_t* row = src.rowAddress(y);
    for (int x = 0; x < src.width(); x++) {
      int r, g, b;
      if (src.depth == uloDepthDirect32) {
        b = row[4 * x] >> 3;
        g = row[4 * x + 1] >> 3;
        r = row[4 * x + 2] >> 3;
      } else {
        r = g = b = row[x] >> 3;
      }
      dst.setPixel(x, y, (r << 10) | (g << 5) | b);
    }
  }
  return true;
}

}  // namespace

uloFont::uloFont() = default;
uloFont::~uloFont() = default;

void uloFont::setup(UloCasts* casts, int32_t castId) {
  parsed = 0;
  mask = nullptr;
  image.dispose();
  UloOneCast* cast = casts ? casts->CastOfID(castId) : nullptr;
  if (!cast) return;
  cast->LoadAvailable();
  if (!cast->imageLoaded) return;
  if (cast->maskLoaded) mask = &cast->mask;
  if (!copyAs16(cast->image, image)) return;
  parseImage();
}

void uloFont::parseImage() {
  parsed = 0;
  for (auto& g : glyphs) g = uloRect();
  memset(reserved, 0, sizeof reserved);
  const int w = image.width(), h = image.height();
  // Glyphs need at least one row above the marker row's band.
  if (!image.allocated || w <= 0 || h < 6) return;
  glyphHeight = static_cast<int16_t>(h - 5);
  const int markerY = h - 3;
  int x = 0;
  bool anyGlyph = false;
  for (int c = 0; c < 256; c++) {
    while (x < w && image.getPixel(x, markerY) == 0) x++;
    const int start = x;
    while (x < w && image.getPixel(x, markerY) != 0) x++;
    glyphs[c].set(start, 0, x, glyphHeight);
    anyGlyph = anyGlyph || x > start;
  }
  // A picture without any marker is not a font strip.
  if (!anyGlyph) {
    glyphHeight = 0;
    return;
  }
  parsed = 1;
}

void uloFont::colorize(int red, int green, int blue) {
  if (parsed) image.colorize(red, green, blue);
}

int32_t uloFont::stringWidth(const char* text) const {
  if (!parsed || !text) return 0;
  int32_t total = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) total += glyphs[*p].width();
  return total;
}

int16_t uloFont::stringFitWidth(char* text, int16_t width) const {
  if (!text) return 0;
  const int32_t n = static_cast<int32_t>(strlen(text));
  int32_t sum = 0;
  int32_t cut = -1;
  for (int32_t i = 0; i < n; i++) {
    sum += glyphWidth(static_cast<unsigned char>(text[i]));
    if (sum > width) {
      cut = i;
      break;
    }
  }
  if (cut < 0) return static_cast<int16_t>(std::min<int32_t>(n, INT16_MAX));
  // Keep characters 0 .. kept-1 and put the ellipsis behind them; kept never
  // exceeds cut, so the ellipsis lands inside the original text.
  int32_t kept = cut;
  int32_t keptWidth = sum - glyphWidth(static_cast<unsigned char>(text[cut]));
  const int32_t dots = glyphWidth(kUloEllipsis);
  while (kept > 0 && keptWidth + dots > width) {
    kept--;
    keptWidth -= glyphWidth(static_cast<unsigned char>(text[kept]));
  }
  if (keptWidth + dots > width) {
    text[0] = 0;
    return 0;
  }
  text[kept] = static_cast<char>(kUloEllipsis);
  text[kept + 1] = 0;
  return static_cast<int16_t>(kept + 1);
}

void uloFont::copyText(uloOffmap* bitmap, const char* text, int16_t x, int16_t y, int16_t justification,
                       bool throughMask) const {
  if (!parsed || !bitmap || !bitmap->allocated || !text) return;
  // Glyph pixels are 16-bit; writing them into another depth would mix formats.
  if (bitmap->depth != uloDepthDirect16) return;
  int32_t px = x;
  if (justification != 0) {
    const int32_t total = stringWidth(text);
    px -= justification == 2 ? total : total / 2;
  }
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
    const uloRect& g = glyphs[*p];
    const int32_t w = g.width();
    if (px >= INT16_MIN && px + w <= INT16_MAX && int32_t(y) + glyphHeight <= INT16_MAX) {
      const uloRect dst(px, y, px + w, y + glyphHeight);
      if (w > 0 && bitmap->bounds.contains(dst)) {
        if (throughMask && mask) bitmap->copyMask(&image, g, mask, g, dst);
        else bitmap->copy(&image, g, dst);
      }
    }
    px += w;
  }
}

void uloFont::copyString(uloOffmap* bitmap, const char* text, int16_t x, int16_t y, int16_t justification) const {
  copyText(bitmap, text, x, y, justification, false);
}

void uloFont::copyMaskString(uloOffmap* bitmap, const char* text, int16_t x, int16_t y,
                             int16_t justification) const {
  copyText(bitmap, text, x, y, justification, true);
}
