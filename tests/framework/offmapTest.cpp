#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "framework/offmap/uloOffmap.h"
#include "framework/res/uloSwap.h"

namespace {

constexpr uint16_t kWhite = 0x7FFF;
uint16_t rgb(int r, int g, int b) { return uint16_t((r << 10) | (g << 5) | b); }

uloOffmap filled(int w, int h, uint16_t v, int rowBytes = -1) {
  uloOffmap m;
  EXPECT_TRUE(m.allocate(1, w, h, rowBytes));
  // Padding too, so that tests can see whether anything wrote into it.
  for (int32_t i = 0; i < m.size / 2; i++) reinterpret_cast<uint16_t*>(m.bits)[i] = v;
  return m;
}

uloOffmap mask8(int w, int h, uint8_t v) {
  uloOffmap m;
  EXPECT_TRUE(m.allocate(3, w, h, -1));
  memset(m.bits, v, m.size);
  return m;
}

TEST(Offmap, AllocateRoundsRowsToEightPixelsAndDescribesTheBitmap) {
  uloOffmap m;
  ASSERT_TRUE(m.allocate(1, 13, 5, -1));
  EXPECT_EQ(m.rowBytes, 32);
  EXPECT_EQ(m.size, 160);
  EXPECT_EQ(m.bounds, uloRect(0, 0, 13, 5));
  ASSERT_EQ(m.headerSize, 40);
  const uint8_t* h = m.bitmapHeader;
  EXPECT_EQ(ULO_GetLE32(h), 40);
  EXPECT_EQ(ULO_GetLE32(h + 4), 16);  // width from the row length
  EXPECT_EQ(ULO_GetLE32(h + 8), 5);   // positive: bottom-up
  EXPECT_EQ(ULO_GetLE16(h + 12), 1);
  EXPECT_EQ(ULO_GetLE16(h + 14), 16);
  EXPECT_EQ(ULO_GetLE32(h + 32), 0);

  ASSERT_TRUE(m.allocate(3, 13, 5, -1));  // reallocating replaces
  EXPECT_EQ(m.rowBytes, 16);
  EXPECT_EQ(m.headerSize, 1064);
  EXPECT_EQ(ULO_GetLE16(m.bitmapHeader + 14), 8);
  EXPECT_EQ(ULO_GetLE32(m.bitmapHeader + 32), 256);
  ASSERT_TRUE(m.allocate(2, 3, 2, -1));
  EXPECT_EQ(m.rowBytes, 32);

  ASSERT_TRUE(m.allocate(0, 13, 5, 13));  // casts pass their stored row length
  EXPECT_EQ(m.rowBytes, 13);
  EXPECT_EQ(ULO_GetLE32(m.bitmapHeader + 4), 13);

  // Rows that cannot hold their pixels, or split one, are refused.
  EXPECT_FALSE(m.allocate(1, 13, 5, 24));
  EXPECT_FALSE(m.allocated);
  EXPECT_FALSE(m.allocate(1, 13, 5, 33));
  EXPECT_FALSE(m.allocate(1, -1, 5, -1));
  EXPECT_FALSE(m.allocate(4, 1, 1, -1));
  EXPECT_FALSE(m.allocate(2, 20000, 1, -1));  // row length beyond 16 bits
}

TEST(Offmap, RowsAreStoredBottomUp) {
  uloOffmap m = filled(13, 5, 0);
  reinterpret_cast<uint16_t*>(m.bits + 4 * m.rowBytes)[0] = 0xFFFF;
  EXPECT_EQ(m.getPixel(0, 0), 0x7FFF);  // bit 15 is not part of the colour
  m.setPixel(2, 4, 0x1234);
  EXPECT_EQ(reinterpret_cast<uint16_t*>(m.bits)[2], 0x1234);
  EXPECT_EQ(m.getPixel(-1, 0), 0);
  EXPECT_EQ(m.getPixel(13, 0), 0);
  m.setPixel(0, 5, 1);  // outside: ignored
  uloOffmap empty;
  EXPECT_EQ(empty.getPixel(0, 0), 0);
}

TEST(Offmap, CopyAlignsRectanglesOnTheirBottomLeftPixel) {
  uloOffmap src = filled(4, 4, 0);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) src.setPixel(x, y, 10 * y + x);
  uloOffmap dst = filled(4, 4, 99);
  // The destination gives the size; a taller source only gives its corner.
  dst.copy(&src, uloRect(1, 0, 3, 4), uloRect(0, 1, 2, 3));
  EXPECT_EQ(dst.getPixel(0, 1), 21);
  EXPECT_EQ(dst.getPixel(1, 2), 32);
  EXPECT_EQ(dst.getPixel(2, 2), 99);
  EXPECT_EQ(dst.getPixel(0, 0), 99);
  EXPECT_EQ(dst.getPixel(0, 3), 99);

  uloOffmap whole = filled(4, 4, 0);
  whole.copy(&src);
  EXPECT_EQ(memcmp(whole.bits, src.bits, src.size), 0);
  uloOffmap bigger = filled(6, 2, 7);  // other size: copies the common corner
  bigger.copy(&src);
  EXPECT_EQ(bigger.getPixel(0, 1), 30);
  EXPECT_EQ(bigger.getPixel(3, 0), 23);
  EXPECT_EQ(bigger.getPixel(4, 0), 7);

  // Overlapping copy inside one bitmap behaves like a copy through a buffer.
  src.copy(&src, uloRect(0, 0, 3, 4), uloRect(1, 0, 4, 4));
  EXPECT_EQ(src.getPixel(1, 3), 30);
  EXPECT_EQ(src.getPixel(3, 3), 32);
}

TEST(Offmap, EightBitMaskWeighsTheDestination) {
  uloOffmap dst = filled(4, 1, kWhite);
  uloOffmap src = filled(4, 1, kWhite);
  uloOffmap m = mask8(4, 1, 128);
  dst.copyMask(&src, src.bounds, &m, m.bounds, dst.bounds);
  EXPECT_EQ(dst.getPixel(0, 0), kWhite);  // 16 + 16 is limited to 31, not wrapped

  uloOffmap black = filled(4, 1, 0);
  m.bits[0] = 0, m.bits[1] = 255, m.bits[2] = 64, m.bits[3] = 200;
  dst.copyMask(&black, black.bounds, &m, m.bounds, dst.bounds);
  EXPECT_EQ(dst.getPixel(0, 0), 0);
  EXPECT_EQ(dst.getPixel(1, 0), kWhite);
  EXPECT_EQ(dst.getPixel(2, 0), rgb(8, 8, 8));     // 64*31/256 = 7.75, rounded up
  EXPECT_EQ(dst.getPixel(3, 0), rgb(24, 24, 24));  // 200*31/256 = 24.2

  uloOffmap deep;  // only depth-1 destinations are composed into
  ASSERT_TRUE(deep.allocate(2, 4, 1, -1));
  memset(deep.bits, 0x55, deep.size);
  deep.copyMask(&black, black.bounds, &m, m.bounds, deep.bounds);
  EXPECT_EQ(deep.bits[0], 0x55);
}

TEST(Offmap, SixteenBitMaskIsOpaqueWhereWhite) {
  uloOffmap src = filled(3, 1, rgb(31, 0, 31));
  uloOffmap dst = filled(3, 1, rgb(0, 31, 2));
  uloOffmap m = filled(3, 1, 0);
  m.setPixel(0, 0, kWhite);
  m.setPixel(2, 0, rgb(16, 16, 0));
  dst.copyMask(&src, src.bounds, &m, m.bounds, dst.bounds);
  EXPECT_EQ(dst.getPixel(0, 0), rgb(31, 0, 31));
  EXPECT_EQ(dst.getPixel(1, 0), rgb(0, 31, 2));
  // Per channel with the mask's own channel: (31-c)*d/32 + c*s/32.
  EXPECT_EQ(dst.getPixel(2, 0), rgb(0 + 15, 14 + 0, 1 + 0));
}

TEST(Offmap, MaskBlendScalesTheMaskByTheLevel) {
  uloOffmap src = filled(2, 1, rgb(31, 10, 0));
  uloOffmap dst = filled(2, 1, rgb(0, 20, 31));
  uloOffmap m = mask8(2, 1, 0);
  m.bits[1] = 255;
  dst.copyMaskBlend(&src, src.bounds, &m, m.bounds, dst.bounds, 256);
  EXPECT_EQ(dst.getPixel(0, 0), rgb(31, 10, 0));
  EXPECT_EQ(dst.getPixel(1, 0), rgb(0, 20, 31));
  uloOffmap half = filled(2, 1, rgb(0, 20, 31));
  half.copyMaskBlend(&src, src.bounds, &m, m.bounds, half.bounds, 128);
  EXPECT_EQ(half.getPixel(0, 0), rgb(16, 15, 16));  // 15.5 each way rounds up
  half.copyMaskBlend(&src, src.bounds, &m, m.bounds, half.bounds, 0);
  EXPECT_EQ(half.getPixel(0, 0), rgb(16, 15, 16));

  // 16-bit mask: only its blue channel counts, scaled by the level.
  uloOffmap m16 = filled(2, 1, rgb(0, 0, 31));
  m16.setPixel(1, 0, rgb(31, 31, 16));
  uloOffmap d16 = filled(2, 1, rgb(0, 20, 31));
  d16.copyMaskBlend(&src, src.bounds, &m16, m16.bounds, d16.bounds, 256);
  EXPECT_EQ(d16.getPixel(0, 0), rgb(30, 9, 0));
  EXPECT_EQ(d16.getPixel(1, 0), rgb(15, 9 + 5, 14));
}

TEST(Offmap, CopyBlendNeverReachesFullStrength) {
  uloOffmap src = filled(1, 1, kWhite);
  uloOffmap dst = filled(1, 1, rgb(31, 16, 0));
  dst.copyBlend(&src, src.bounds, dst.bounds, 0);
  EXPECT_EQ(dst.getPixel(0, 0), rgb(30, 15, 0));
  dst.copyBlend(&src, src.bounds, dst.bounds, 256);
  EXPECT_EQ(dst.getPixel(0, 0), rgb(30, 30, 30));
  uloOffmap mid = filled(1, 1, 0);
  mid.copyBlend(&src, src.bounds, mid.bounds, 128);  // m = 15
  EXPECT_EQ(mid.getPixel(0, 0), rgb(14, 14, 14));
}

TEST(Offmap, FillAndColorize) {
  uloOffmap m = filled(4, 3, kWhite);
  m.colorize(256, 256, 0);
  EXPECT_EQ(m.getPixel(3, 2), rgb(31, 31, 0));
  m.colorize(128, 0, 256);
  EXPECT_EQ(m.getPixel(0, 0), rgb(15, 0, 0));
  m.fill(uloRect(1, 1, 3, 2), 0x1111);
  EXPECT_EQ(m.getPixel(1, 1), 0x1111);
  EXPECT_EQ(m.getPixel(2, 1), 0x1111);
  EXPECT_EQ(m.getPixel(3, 1), rgb(15, 0, 0));
  EXPECT_EQ(m.getPixel(1, 0), rgb(15, 0, 0));
}

std::vector<uloPoint> drawn(const uloOffmap& m) {
  std::vector<uloPoint> out;
  for (int y = 0; y < m.height(); y++)
    for (int x = 0; x < m.width(); x++)
      if (m.getPixel(x, y)) out.push_back(uloPoint(x, y));
  return out;
}

TEST(Offmap, LinesStopBeforeTheirEndPoint) {
  uloOffmap m = filled(8, 8, 0);
  m.line(0, 0, 3, 0, 1);
  EXPECT_EQ(drawn(m), (std::vector<uloPoint>{{0, 0}, {1, 0}, {2, 0}}));

  m = filled(8, 8, 0);
  m.line(2, 2, 2, 2, 1);
  EXPECT_TRUE(drawn(m).empty());

  m = filled(8, 8, 0);
  m.line(3, 5, 3, 2, 1);  // upwards
  EXPECT_EQ(drawn(m), (std::vector<uloPoint>{{3, 3}, {3, 4}, {3, 5}}));

  m = filled(8, 8, 0);
  m.line(0, 0, 4, 2, 1);  // y rises half a pixel a step, rounded to nearest
  EXPECT_EQ(drawn(m), (std::vector<uloPoint>{{0, 0}, {1, 1}, {2, 1}, {3, 2}}));

  m = filled(8, 8, 0);
  m.line(6, 6, -10, -10, 1);  // leaves the bitmap: clipped per pixel
  EXPECT_EQ(drawn(m).size(), 7u);
}

// Rectangles that stick out of any bitmap lose the pixels outside; nothing
// outside a buffer is read or written. Row padding stands guard for the
// columns; the AddressSanitizer build guards the rows.
TEST(Offmap, EveryOperationClipsToAllBitmapsInvolved) {
  const uloRect wild[] = {
      uloRect(-3, -3, 2, 2),  uloRect(2, 2, 9, 9),           uloRect(-32768, -32768, 32767, 32767),
      uloRect(5, 0, 10, 4),   uloRect(0, 4, 5, 9),           uloRect(-10, -10, -5, -5),
      uloRect(3, 1, 2, 0),    uloRect(0, -32768, 5, 32767),
  };
  const int kGuard = 0x5A5A;
  for (const uloRect& r : wild) {
    for (const uloRect& other : wild) {
      uloOffmap dst = filled(5, 4, kGuard, 16);  // 3 padding pixels per row
      uloOffmap src = filled(5, 4, 0x0421, 16);
      uloOffmap m8 = mask8(5, 4, 0);
      uloOffmap m16 = filled(5, 4, kWhite, 16);
      auto padIntact = [&] {
        for (int y = 0; y < 4; y++)
          for (int x = 5; x < 8; x++)
            if (reinterpret_cast<uint16_t*>(dst.rowAddress(y))[x] != kGuard) return false;
        return true;
      };
      dst.copy(&src, other, r);
      dst.copy(&src, r, other);
      dst.copyMask(&src, other, &m8, r, r);
      dst.copyMask(&src, r, &m16, other, r);
      dst.copyMaskBlend(&src, other, &m8, other, r, 200);
      dst.copyMaskBlend(&src, r, &m16, r, other, 200);
      dst.copyBlend(&src, other, r, 100);
      dst.fill(r, 0x1234);
      dst.line(r.left, r.top, r.right, r.bottom, 0x1234);
      EXPECT_TRUE(padIntact()) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
  }

  // The part that does lie inside is still done, at the right place.
  uloOffmap dst = filled(4, 4, 0);
  uloOffmap src = filled(4, 4, 0);
  for (int x = 0; x < 4; x++) src.setPixel(x, 3, x + 1);
  dst.copy(&src, uloRect(-2, 0, 2, 4), uloRect(0, 0, 4, 4));  // source sticks out left
  EXPECT_EQ(dst.getPixel(0, 3), 0);
  EXPECT_EQ(dst.getPixel(1, 3), 0);
  EXPECT_EQ(dst.getPixel(2, 3), 1);
  EXPECT_EQ(dst.getPixel(3, 3), 2);
  dst.fill(uloRect(0, 0, 4, 4), 0);
  // Both stick out below: destination rows 2 and 3 would come from source
  // rows 4 and 5, which do not exist.
  dst.copy(&src, uloRect(0, 0, 4, 8), uloRect(-1, 2, 3, 6));
  EXPECT_TRUE(drawn(dst).empty());
  dst.copy(&src, uloRect(0, 0, 4, 4), uloRect(-1, 0, 3, 4));
  EXPECT_EQ(dst.getPixel(0, 3), 2);
  EXPECT_EQ(dst.getPixel(2, 3), 4);
  EXPECT_EQ(dst.getPixel(3, 3), 0);

  uloOffmap empty;  // no buffer: nothing happens, nothing crashes
  dst.copy(&empty, empty.bounds, dst.bounds);
  dst.copyMask(&src, src.bounds, nullptr, src.bounds, dst.bounds);
  empty.fill(uloRect(0, 0, 10, 10), 1);
  empty.line(0, 0, 5, 5, 1);
}

}  // namespace
