#include <gtest/gtest.h>

#include <cstring>

#include "framework/geometry/uloBaseClasses.h"
#include "framework/res/uloSwap.h"

namespace {

TEST(Geometry, SnapPointsGoClockwiseFromTopLeftWithTruncatedMiddles) {
  uloRect r(10, 20, 30, 41);
  const uloPoint want[9] = {{10, 20}, {20, 20}, {30, 20}, {30, 30}, {30, 41},
                            {20, 41}, {10, 41}, {10, 30}, {20, 30}};
  for (int code = 0; code < 9; code++) EXPECT_EQ(r.snap(code), want[code]) << "code " << code;
  EXPECT_EQ(r.relativeSnap(4), uloPoint(20, 21));
  // Truncation is toward zero, also for negative extents.
  EXPECT_EQ(uloRect(-5, -5, 0, 0).center(), uloPoint(-3, -3));
}

TEST(Geometry, SelfSnapPutsTheChosenPointWhereTheTopLeftWas) {
  uloRect r(0, 0, 20, 10);
  r.selfSnap(8);
  EXPECT_EQ(r, uloRect(-10, -5, 10, 5));
  uloRect s(5, 5, 25, 15);
  s.selfSnap(4);
  EXPECT_EQ(s.snap(4), uloPoint(5, 5));
}

TEST(Geometry, ContainsIncludesTheFarEdgesAndStrictExcludesAllEdges) {
  uloRect r(0, 0, 10, 10);
  EXPECT_TRUE(r.contains(10, 10));
  EXPECT_TRUE(r.contains(uloPoint(0, 0)));
  EXPECT_FALSE(r.contains(11, 5));
  EXPECT_FALSE(r.containsStrict(0, 5));
  EXPECT_FALSE(r.containsStrict(5, 10));
  EXPECT_TRUE(r.containsStrict(5, 5));
  EXPECT_TRUE(r.contains(uloRect(0, 0, 10, 10)));
  EXPECT_FALSE(r.contains(uloRect(-1, 0, 10, 10)));
}

TEST(Geometry, IntersectsCountsTouchingEdgesAndUnionGrowsTheSecond) {
  uloRect a(0, 0, 10, 10);
  EXPECT_EQ(QX_RectIntersects(a, uloRect(10, 0, 20, 10)), 1);
  EXPECT_EQ(QX_RectIntersects(a, uloRect(0, 10, 10, 20)), 1);
  EXPECT_EQ(QX_RectIntersects(a, uloRect(11, 0, 20, 10)), 0);
  EXPECT_EQ(QX_RectIntersects(uloRect(-9, -9, -1, -1), a), 0);
  EXPECT_EQ(QX_RectIntersects(uloRect(2, 2, 3, 3), a), 1);

  uloRect b(5, -2, 12, 4);
  QX_RectUnion(a, b);
  EXPECT_EQ(b, uloRect(0, -2, 12, 10));
  EXPECT_EQ(a, uloRect(0, 0, 10, 10));
}

TEST(Geometry, IntersectionOfPixelsExcludesTouchingEdges) {
  uloRect out;
  EXPECT_TRUE(ULO_RectIntersection(uloRect(0, 0, 10, 10), uloRect(5, -5, 20, 3), &out));
  EXPECT_EQ(out, uloRect(5, 0, 10, 3));
  EXPECT_FALSE(ULO_RectIntersection(uloRect(0, 0, 10, 10), uloRect(10, 0, 20, 10), &out));
  EXPECT_TRUE(out.isEmpty());
  uloRect r(0, 0, 10, 10);
  EXPECT_FALSE(r.intersect(uloRect(20, 20, 30, 30)));
  EXPECT_LE(r.width(), 0);
}

TEST(ByteOrder, SwapsGiveBigEndianFileOrderAndBackOnThisHost) {
  int16_t s = 0x0102;
  ULO_PlatformSwap_Short(&s);
  EXPECT_EQ(memcmp(&s, "\x01\x02", 2), 0);
  ULO_PlatformSwap_Short(&s);
  EXPECT_EQ(s, 0x0102);

  int32_t l = -2;  // FF FF FF FE
  ULO_PlatformSwap_Long(&l);
  EXPECT_EQ(memcmp(&l, "\xFF\xFF\xFF\xFE", 4), 0);
  uint32_t u = 0x4D504958;
  ULO_PlatformSwap_UnsignedLong(&u);
  EXPECT_EQ(memcmp(&u, "MPIX", 4), 0);

  uloRect r(1, -2, 300, 4);
  ULO_PlatformSwap_Rect(&r);
  EXPECT_EQ(memcmp(&r, "\x00\x01\xFF\xFE\x01\x2C\x00\x04", 8), 0);
  ULO_PlatformSwap_Rect(&r);
  EXPECT_EQ(r, uloRect(1, -2, 300, 4));
  uloPoint p(256, 1);
  ULO_PlatformSwap_Point(&p);
  EXPECT_EQ(memcmp(&p, "\x01\x00\x00\x01", 4), 0);
  static_assert(ULO_FourCC("MPIX") == 0x4D504958, "first character is the high byte");
}

}  // namespace
