#include <gtest/gtest.h>

#include <cstring>

#include "castsTestSupport.h"
#include "framework/casts/uloCasts.h"

using skintest::bytes;
using skintest::castHeader;
using skintest::Container;
using skintest::MessageLog;

namespace {

struct Skin : Container {
  UloCasts casts;
  UloOneCast* parse(int32_t id) {
    reopen();
    casts.resFile = &res;
    casts.ParseResources();
    return casts.CastOfID(id);
  }
};

TEST(CastList, KeepsTheContainerTableOrder) {
  Skin s;
  s.put("MPIX", 500, castHeader(1, 1, {8, 16, 32, 8}));
  s.put("PX16", 500, bytes({0, 0}));
  s.put("MPIX", 12, castHeader(2, 2, {8, 16, 32, 8}));
  s.put("MPIX", 40, castHeader(3, 3, {8, 16, 32, 8}));
  s.parse(12);
  ASSERT_EQ(s.casts.count, 3);
  EXPECT_EQ(s.casts.casts[0]->id, 500);
  EXPECT_EQ(s.casts.casts[1]->id, 12);
  EXPECT_EQ(s.casts.casts[2]->id, 40);
  EXPECT_EQ(s.casts.MPixIDtoIndex(12), 1);
  EXPECT_EQ(s.casts.MPixIDtoIndex(7), -1);
  EXPECT_EQ(s.casts.casts[2]->size, uloPoint(3, 3));
  EXPECT_EQ(s.casts.casts[2]->bounds, uloRect(0, 0, 3, 3));
  EXPECT_EQ(s.casts.casts[0]->available[1], 1);
  EXPECT_EQ(s.casts.casts[0]->available[0], 0);
  // Nothing is loaded by parsing.
  EXPECT_FALSE(s.casts.casts[0]->imageLoaded);

  s.casts.UnloadResources();
  EXPECT_EQ(s.casts.count, 0);
  EXPECT_EQ(s.casts.MPixIDtoIndex(12), -1);
  EXPECT_TRUE(s.res.isOpen) << "a container the list does not own stays open";
}

TEST(CastList, OwnedContainerIsOpenedAndClosedByTheList) {
  Skin s;
  s.put("MPIX", 3, castHeader(1, 1, {8, 16, 32, 8}));
  ASSERT_TRUE(s.res.Close());
  UloCasts casts;
  EXPECT_EQ(casts.MPixIDtoIndex(3), -1);
  ASSERT_TRUE(casts.OpenResFile(s.path.c_str()));
  casts.ParseResources();
  EXPECT_EQ(casts.MPixIDtoIndex(3), 0);
  casts.UnloadResources();
  EXPECT_EQ(casts.resFile, nullptr);
  EXPECT_FALSE(casts.OpenResFile((s.dir.ulo() + "missing.xrs").c_str()));
}

TEST(CastHeader, StoredFieldsConvertAndReservedBytesSurvive) {
  std::string raw(kCastHeaderSize, '\0');
  for (int i = 0; i < kCastHeaderSize; i++) raw[i] = char(i * 7 + 1);
  castHeaderRec h;
  ULO_CastHeaderFromBytes(reinterpret_cast<const uint8_t*>(raw.data()), &h);
  EXPECT_EQ(h.width, 0x0108);
  EXPECT_EQ(h.height, 0x0F16);
  EXPECT_EQ(h.depths[1].rowBytes, ULO_GetBE16(reinterpret_cast<const uint8_t*>(&raw[24])));
  EXPECT_EQ(uint32_t(h.depths[3].reserved32), ULO_GetBEU32(reinterpret_cast<const uint8_t*>(&raw[12 + 48])));
  std::string back(kCastHeaderSize, '\0');
  ULO_CastHeaderToBytes(h, reinterpret_cast<uint8_t*>(&back[0]));
  EXPECT_EQ(back, raw);
}

TEST(CastLoading, SixteenBitImageAndMaskWithoutIndexedDepth) {
  Skin s;
  s.put("MPIX", 9, castHeader(1, 1, {8, 2, 4, 1}));
  s.put("PX16", 9, bytes({0x7C, 0x00}));  // pure red
  s.put("PXMK", 9, bytes({0x80}));
  UloOneCast* c = s.parse(9);
  ASSERT_NE(c, nullptr);
  c->LoadAvailable();
  ASSERT_TRUE(c->imageLoaded);
  ASSERT_TRUE(c->maskLoaded);
  EXPECT_EQ(c->image.depth, uloDepthDirect16);
  EXPECT_EQ(c->image.getPixel(0, 0), 0x7C00);
  EXPECT_EQ(c->mask.depth, uloDepthMask8);
  EXPECT_EQ(c->mask.getPixel(0, 0), 0x80);
  // A depth the cast does not have fails even with the image loaded; one it
  // has succeeds at once and keeps the image that was loaded.
  EXPECT_FALSE(c->LoadDepth(0));
  EXPECT_FALSE(c->LoadDepth(2));
  EXPECT_TRUE(c->LoadDepth(1));
  EXPECT_EQ(c->image.depth, uloDepthDirect16);

  c->Unload();
  EXPECT_FALSE(c->imageLoaded);
  EXPECT_FALSE(c->image.allocated);
  EXPECT_TRUE(c->LoadDepth(1));
}

TEST(CastLoading, ThirtyTwoBitPixelsBecomeBlueGreenRed) {
  Skin s;
  s.put("MPIX", 1, castHeader(2, 1, {8, 4, 8, 2}));
  s.put("PX32", 1, bytes({0x00, 0xFF, 0x80, 0x10, 0x00, 0x01, 0x02, 0x03}));
  UloOneCast* c = s.parse(1);
  c->LoadAvailable();
  ASSERT_TRUE(c->imageLoaded);
  EXPECT_EQ(c->image.depth, uloDepthDirect32);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(c->image.bits), 8),
            bytes({0x10, 0x80, 0xFF, 0x10, 0x03, 0x02, 0x01, 0x03}));
}

TEST(CastLoading, RowsAreTurnedBottomUpAndIndexedIsPreferred) {
  Skin s;
  // Rows 4 bytes long for a 3-pixel width; the spare byte must travel too.
  s.put("MPIX", 2, castHeader(3, 3, {4, 6, 12, 4}));
  s.put("PX08", 2, bytes({1, 2, 3, 0xA, 4, 5, 6, 0xB, 7, 8, 9, 0xC}));
  s.put("PX16", 2, std::string(18, '\0'));
  s.put("CTP8", 2, std::string(10, '\x55'));  // short table: must not be read beyond
  UloOneCast* c = s.parse(2);
  c->LoadAvailable();
  ASSERT_TRUE(c->imageLoaded);
  EXPECT_EQ(c->image.depth, uloDepthIndexed8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(c->image.bits), 12),
            bytes({7, 8, 9, 0xC, 4, 5, 6, 0xB, 1, 2, 3, 0xA}));
  EXPECT_EQ(c->image.getPixel(0, 0), 1);
  EXPECT_EQ(c->image.getPixel(2, 2), 9);
  EXPECT_FALSE(c->maskLoaded);
  EXPECT_TRUE(c->LoadDepth(1)) << "succeeds at once";
  EXPECT_EQ(c->image.depth, uloDepthIndexed8);
}

TEST(CastLoading, ShortPixelItemLoadsAndLongOneIsRefused) {
  Skin s;
  s.put("MPIX", 1, castHeader(2, 2, {2, 4, 8, 2}));
  s.put("PX16", 1, bytes({0x00, 0x1F}));  // one pixel of four
  s.put("MPIX", 2, castHeader(2, 2, {2, 4, 8, 2}));
  s.put("PX16", 2, std::string(9, '\0'));  // one byte too many
  s.put("PXMK", 2, std::string(5, '\0'));
  s.parse(1);
  UloOneCast* shortOne = s.casts.CastOfID(1);
  EXPECT_TRUE(shortOne->LoadDepth(1));
  EXPECT_EQ(shortOne->image.getPixel(0, 0), 0x1F) << "the first stored row is the top one";
  EXPECT_EQ(shortOne->image.getPixel(1, 1), 0) << "rows the item does not reach are black";

  MessageLog log;
  UloOneCast* longOne = s.casts.CastOfID(2);
  longOne->LoadAvailable();
  EXPECT_FALSE(longOne->imageLoaded);
  EXPECT_FALSE(longOne->image.allocated);
  EXPECT_FALSE(longOne->maskLoaded);
  EXPECT_FALSE(longOne->mask.allocated);
  EXPECT_TRUE(log.saw("No cast data available"));
}

TEST(CastLoading, HeadersThatDescribeNoBitmapOfferNoPixels) {
  Skin s;
  s.put("MPIX", 1, castHeader(4, 2, {4, 8, 16, 4}).substr(0, 100));  // short header
  s.put("PX08", 1, std::string(8, '\1'));
  s.put("MPIX", 2, castHeader(4, 2, {-4, -8, -16, -4}));  // negative row lengths
  s.put("PX16", 2, std::string(4, '\1'));
  s.put("MPIX", 3, castHeader(4, 2, {3, 6, 12, 3}));  // rows shorter than the width
  s.put("PX08", 3, std::string(6, '\1'));
  s.put("PX16", 3, std::string(12, '\1'));
  s.put("MPIX", 4, castHeader(-4, 2, {4, 8, 16, 4}));  // negative width
  s.put("PX08", 4, std::string(8, '\1'));
  s.put("MPIX", 5, castHeader(4, -2, {4, 8, 16, 4}));  // negative height
  s.put("PX08", 5, std::string(0, '\1'));
  s.put("MPIX", 6, castHeader(3, 1, {3, 5, 12, 3}));  // 16-bit row not whole pixels
  s.put("PX16", 6, std::string(5, '\1'));
  // Nearly a gigabyte claimed by 104 bytes (found by fuzzing).
  s.put("MPIX", 7, castHeader(16000, 30000, {16000, 32000, 32000, 16000}));
  s.put("PX16", 7, std::string(4, '\1'));
  s.parse(1);
  ASSERT_EQ(s.casts.count, 7);
  MessageLog log;
  for (int id = 1; id <= 7; id++) {
    UloOneCast* c = s.casts.CastOfID(id);
    for (int d = 0; d < kCastDepths; d++) EXPECT_FALSE(c->available[d]) << "cast " << id << " depth " << d;
    c->LoadAvailable();
    EXPECT_FALSE(c->imageLoaded) << id;
  }
  EXPECT_EQ(s.casts.CastOfID(1)->size, uloPoint(0, 0));
}

TEST(CastDrawing, UnloadedCastShowsTheDebugMessageOnly) {
  Skin s;
  s.put("MPIX", 1, castHeader(1, 1, {1, 2, 4, 1}));
  s.put("PX16", 1, bytes({0, 1}));
  UloOneCast* c = s.parse(1);
  MessageLog log;
  c->Draw(0, 0);
  c->DrawZone(uloRect(0, 0, 1, 1), 0, 0);
  ASSERT_EQ(MessageLog::boxes().size(), 2u);
  EXPECT_EQ(MessageLog::boxes()[0].title, "ERROR");
  EXPECT_EQ(MessageLog::boxes()[0].text, "Cant' draw image cast");
  c->LoadAvailable();
  c->Draw(0, 0);  // no window: nothing to see, but no message either
  EXPECT_EQ(MessageLog::boxes().size(), 2u);
}

}  // namespace
