// uloOffmap: an off-screen bitmap. Every picture the framework composes lives
// in one: cast images and masks, panel and screen back buffers, control
// pictures. Composition is done in memory on 16-bit 5-5-5 pixels (red in
// bits 10-14); only draw() touches the window.
//
// Rows are stored bottom-up (the first rowBytes bytes hold the bottom row),
// with (0, 0) at the top-left corner, because the platform blitter and the
// stored cast pixels both use that order.
//
// Rectangles are (left, top, right, bottom) with right/bottom exclusive. In
// the copy operations the destination rectangle gives the size; the source
// and mask rectangles only give where their bottom-left pixel is. Every
// operation clips: pixels that would fall outside the destination, or be read
// from outside the source or mask, are skipped, so a wrong rectangle can lose
// pixels but never touch memory outside a buffer.
//
// User-interface thread only. Operations on a bitmap without a buffer, or on
// a destination of the wrong depth, do nothing (getPixel returns 0).
#pragma once
#include <cstdint>

#include "framework/geometry/uloBaseClasses.h"

// Depth codes.
enum : int16_t {
  uloDepthIndexed8 = 0,  // 8-bit indices into a 256-entry colour table
  uloDepthDirect16 = 1,  // 5-5-5, bit 15 unused
  uloDepthDirect32 = 2,  // bytes blue, green, red, unused
  uloDepthMask8 = 3,     // one opacity byte per pixel
};

// The depth of every panel, control and screen buffer.
extern int16_t uloOffmapDefaultDepth;

// v / 256 and v / 65536, rounded half up (v >= 0).
inline int32_t xround10(int32_t v) { return (v >> 8) + ((v >> 7) & 1); }
inline int32_t xround100(int32_t v) { return (v >> 16) + ((v >> 15) & 1); }

class uloOffmap {
 public:
  uloOffmap();
  ~uloOffmap();
  uloOffmap(const uloOffmap&) = delete;
  uloOffmap& operator=(const uloOffmap&) = delete;
  uloOffmap(uloOffmap&& other) noexcept;
  uloOffmap& operator=(uloOffmap&& other) noexcept;

  // rowBytes -1 rounds the row up to a multiple of 8 pixels. Fails (and
  // leaves the bitmap empty) for an unknown depth, a negative size, a row
  // length that cannot hold the row or is not a whole number of pixels, or
  // when memory runs out. Pixels are left undefined.
  bool allocate(int depth, int width, int height, int rowBytes = -1);
  void dispose();

  // Depths 0 and 3: the byte; others: the 16-bit value with bit 15 cleared.
  int16_t getPixel(int x, int y) const;
  void setPixel(int x, int y, int value);

  // Whole image: one block copy when the buffers are the same size.
  void copy(const uloOffmap* source);
  // Bytes per pixel of this bitmap's depth; no conversion.
  void copy(const uloOffmap* source, const uloRect& srcRect, const uloRect& dstRect);
  // Into a depth-1 bitmap. A depth-3 mask byte is the weight of what is
  // already there (0 = source, 255 = keep); any other mask is read as 5-5-5
  // where white means source and black means keep.
  void copyMask(const uloOffmap* source, const uloRect& srcRect, const uloOffmap* mask,
                const uloRect& maskRect, const uloRect& dstRect);
  // As copyMask with an overall strength 0..256 (256 = full); every pixel is
  // written. Levels outside 0..256 are taken as the nearest end.
  void copyMaskBlend(const uloOffmap* source, const uloRect& srcRect, const uloOffmap* mask,
                     const uloRect& maskRect, const uloRect& dstRect, int level);
  // Blend with strength 0..256, weighted in 32nds: even 256 gives 31/32 of
  // the source and nothing of the destination, so fades never reach an exact
  // copy (use copy for that).
  void copyBlend(const uloOffmap* source, const uloRect& srcRect, const uloRect& dstRect, int level);
  void fill(const uloRect& rect, int value);
  // Scales every channel by factor / 256 (256 keeps, 0 clears).
  void colorize(int red, int green, int blue);
  // Hands a depth-1 image to the window blitter; a destination of another
  // size is stretched there.
  void draw(const uloRect& srcRect, const uloRect& dstRect) const;
  // Digital differential line; the end point is not drawn.
  void line(int x1, int y1, int x2, int y2, int colour);

  int width() const { return sizePoint.x; }
  int height() const { return sizePoint.y; }
  // Pixels a row offers to an operation that reads bpp bytes per pixel.
  int columnsFor(int bpp) const;
  // Start of the row that holds image row y (counted from the top).
  uint8_t* rowAddress(int y) const { return bits + int32_t(sizePoint.y - 1 - y) * rowBytes; }

  static int bytesPerPixel(int d) { return d == 1 ? 2 : d == 2 ? 4 : 1; }

  // Read freely; change only through allocate and dispose (casts and picture
  // import fill the pixels through bits).
  uint8_t* bits = nullptr;
  int16_t rowBytes = 0;
  int32_t size = 0;
  uint8_t* bitmapHeader = nullptr;
  int32_t headerSize = 0;
  uint8_t allocated = 0;
  int16_t depth = 0;
  uloPoint sizePoint;
  uloRect bounds;

 private:
  void swapWith(uloOffmap& other) noexcept;
};
