#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "castsTestSupport.h"
#include "framework/layout/uloLayouts.h"

using skintest::castHeader;
using skintest::Container;

namespace {

std::string record(const layoutDataRec& rec, int32_t size = kLayoutRecordSize) {
  std::string s(kLayoutRecordSize, '\0');
  ULO_LayoutToBytes(rec, reinterpret_cast<uint8_t*>(&s[0]));
  s.resize(size);
  return s;
}

layoutItemDataRec item(int32_t cast0, int16_t anchor = 0, int16_t self = 0) {
  layoutItemDataRec it;
  it.state = uloItemClickable;
  it.baseCastId = cast0;
  for (int32_t& id : it.castIds) id = -1;
  it.castIds[0] = cast0;
  it.anchor = anchor;
  it.selfAnchor = self;
  return it;
}

// A skin with casts 10 (20 x 10, with mask), 11 (6 x 4) and a layout.
struct LayoutSkin : Container {
  UloCasts casts;
  UloLayout layout;
  LayoutSkin() {
    put("MPIX", 10, castHeader(20, 10, {20, 40, 80, 20}));
    put("PX16", 10, std::string(400, '\0'));
    put("PXMK", 10, std::string(200, '\0'));
    put("MPIX", 11, castHeader(6, 4, {8, 12, 24, 8}));
    put("PX16", 11, std::string(48, '\0'));
  }
  void attach(const std::string& laya, int32_t id = 7) {
    put("LAYA", id, laya);
    reopen();
    casts.resFile = &res;
    casts.ParseResources();
    layout.Set(&casts, id);
    layout.Load();
  }
};

TEST(LayoutRecord, FieldsLieAtTheirStoredOffsets) {
  layoutDataRec rec;
  rec.design.set(1, 2, 640, 480);
  rec.count = 2;
  layoutItemDataRec& it = rec.items[1];
  it.state = 2;
  it.offset.set(-3, 4);
  it.baseCastId = 0x01020304;
  it.castIds[9] = 77;
  it.value52 = 52;
  it.selfAnchor = 8;
  it.anchor = 0x41;
  it.auxValues[7] = 1234;
  it.auxValues[19] = -2;
  it.size.set(30, 40);
  it.reserved1[0] = 0xEE;
  const std::string s = record(rec);
  auto at = [&](int off) { return ULO_GetBE16(reinterpret_cast<const uint8_t*>(&s[off])); };
  EXPECT_EQ(at(6), 1);
  EXPECT_EQ(at(12), 480);
  EXPECT_EQ(at(46), 2);
  const int b = 48 + 116;
  EXPECT_EQ(at(b), 2);
  EXPECT_EQ(at(b + 2), -3);
  EXPECT_EQ(at(b + 4), 4);
  EXPECT_EQ(ULO_GetBE32(reinterpret_cast<const uint8_t*>(&s[b + 8])), 0x01020304);
  EXPECT_EQ(ULO_GetBE32(reinterpret_cast<const uint8_t*>(&s[b + 48])), 77);
  EXPECT_EQ(at(b + 52), 52);
  EXPECT_EQ(at(b + 54), 8);
  EXPECT_EQ(at(b + 56), 0x41);
  EXPECT_EQ(uint8_t(s[b + 58]), 0xEE);
  EXPECT_EQ(at(b + 68 + 14), 1234);
  EXPECT_EQ(at(b + 68 + 38), -2);
  EXPECT_EQ(at(b + 108), 30);
  EXPECT_EQ(at(b + 110), 40);

  layoutDataRec back;
  ULO_LayoutFromBytes(reinterpret_cast<const uint8_t*>(s.data()), int32_t(s.size()), &back);
  EXPECT_EQ(record(back), s);
}

TEST(LayoutRecord, OnlyTheTwoStoredSizesAreAccepted) {
  layoutDataRec rec;
  rec.count = 80;
  for (int i = 0; i < 100; i++) rec.items[i] = item(11);
  rec.items[49].auxValues[0] = 5;
  rec.items[50].auxValues[0] = 6;
  {
    LayoutSkin s;
    s.attach(record(rec, kLayoutShortRecordSize));
    EXPECT_EQ(s.layout.itemsCount, 50) << "the count is held to the items the record has";
    EXPECT_EQ(s.layout.itemAuxVal(49, 0), 5);
    EXPECT_EQ(s.layout.itemAuxVal(50, 0), 0);
  }
  {
    LayoutSkin s;
    s.attach(record(rec, 11000));
    EXPECT_EQ(s.layout.itemsCount, 0);
  }
  {
    LayoutSkin s;
    s.attach(record(rec));
    EXPECT_EQ(s.layout.itemsCount, 80);
    EXPECT_EQ(s.layout.itemAuxVal(50, 0), 6);
    EXPECT_EQ(s.layout.itemAuxVal(80, 0), 0);
    EXPECT_EQ(s.layout.itemAuxVal(-1, 0), 0);
    EXPECT_EQ(s.layout.itemAuxVal(0, 20), 0);
  }
  for (int16_t bad : {int16_t(-1), int16_t(101), int16_t(32767)}) {
    rec.count = bad;
    LayoutSkin s;
    s.attach(record(rec));
    EXPECT_EQ(s.layout.itemsCount, bad < 0 ? 0 : 100) << bad;
  }
  UloLayout none;
  none.Set(nullptr, 7);
  EXPECT_EQ(none.itemsCount, 0);
}

TEST(LayoutPlacement, StretchAnchorGrowsWithTheLayout) {
  layoutDataRec rec;
  rec.design.set(0, 0, 200, 100);
  rec.count = 1;
  rec.items[0] = item(10, 0x41, uloSnapTop);
  LayoutSkin s;
  s.attach(record(rec));
  const layoutItemWorkRec& w = s.layout.work[0];
  EXPECT_EQ(w.frame, uloRect(90, 0, 110, 10));
  s.layout.layoutRect.set(0, 0, 300, 140);
  s.layout.RecalcAll();
  EXPECT_EQ(w.frame, uloRect(140, 0, 160 + 100, 10 + 40));
  // The picture keeps its cast's size at the anchor.
  EXPECT_EQ(w.pictureRect, uloRect(140, 0, 160, 10));
  EXPECT_EQ(w.position, uloPoint(140, 0));
}

TEST(LayoutPlacement, AnchorsSelfAnchorsOffsetsAndSizes) {
  layoutDataRec rec;
  rec.design.set(0, 0, 200, 100);
  rec.count = 4;
  rec.items[0] = item(10, uloSnapBottomRight, uloSnapBottomRight);
  rec.items[0].offset.set(-5, -6);
  rec.items[1] = item(10, uloSnapCenter, uloSnapCenter);
  rec.items[1].size.set(50, 30);  // explicit size for the frame only
  rec.items[2] = item(999, uloSnapLeft, uloSnapTopLeft);  // no such cast
  rec.items[2].size.set(0, 12);
  rec.items[3] = item(10, 0x99, 77);  // snap 9, stretch 9 and self anchor 77 name nothing
  LayoutSkin s;
  s.attach(record(rec));
  s.layout.layoutRect.set(10, 20, 210, 120);
  s.layout.RecalcAll();
  const layoutItemWorkRec* w = s.layout.work;
  EXPECT_EQ(w[0].frame, uloRect(210 - 20 - 5, 120 - 10 - 6, 210 - 5, 120 - 6));
  EXPECT_EQ(w[0].position, uloPoint(185, 104));
  EXPECT_EQ(w[1].frame, uloRect(110 - 25, 70 - 15, 110 + 25, 70 + 15));
  EXPECT_EQ(w[1].pictureRect, uloRect(100, 65, 120, 75));
  EXPECT_EQ(w[2].frame, uloRect(10, 70, 10, 82));
  EXPECT_EQ(w[2].pictureRect, w[2].frame) << "no cast: the picture is the frame";
  EXPECT_EQ(w[2].position, uloPoint(10, 70));
  EXPECT_EQ(w[3].frame, uloRect(10, 20, 30, 30)) << "unknown codes place top-left, without stretching";
  s.layout.layoutRect.set(10, 20, 1000, 1000);
  s.layout.RecalcItem(3);
  EXPECT_EQ(w[3].frame, uloRect(10, 20, 30, 30));
  s.layout.RecalcItem(100);  // out of range: ignored
}

TEST(LayoutPictures, PictureIndicesSelectCastsWithinBounds) {
  layoutDataRec rec;
  rec.design.set(0, 0, 100, 100);
  rec.count = 1;
  rec.items[0] = item(10);
  rec.items[0].castIds[1] = 11;
  rec.items[0].castIds[2] = 12345;
  LayoutSkin s;
  s.attach(record(rec));
  UloLayout& l = s.layout;
  ASSERT_NE(l.GetItemImage(0, 0), nullptr);
  EXPECT_EQ(l.GetItemImage(0, 0)->width(), 20);
  EXPECT_NE(l.GetItemMask(0, 0), nullptr);
  EXPECT_EQ(l.GetItemImage(0, 1)->width(), 6);
  EXPECT_EQ(l.GetItemMask(0, 1), nullptr);
  EXPECT_EQ(l.GetItemImage(0, 2), nullptr);
  EXPECT_EQ(l.work[0].castIndex[2], -1);
  EXPECT_EQ(l.GetItemImage(0, 10), nullptr);
  EXPECT_EQ(l.GetItemImage(0, -1), nullptr);
  EXPECT_EQ(l.GetItemImage(1, 0), nullptr);

  l.ItemUseIndex(0, 1);
  l.RecalcItem(0);
  EXPECT_EQ(l.work[0].picture, 1);
  EXPECT_EQ(l.work[0].pictureRect, uloRect(0, 0, 6, 4));
  EXPECT_EQ(l.work[0].frame, uloRect(0, 0, 20, 10)) << "the frame follows the base cast";
  l.ItemUseIndex(0, 10);
  l.ItemUseIndex(0, -1);
  EXPECT_EQ(l.work[0].picture, 1);
  l.ItemUseIndex(0, 2);
  EXPECT_EQ(l.work[0].currentCast, -1);
  l.DrawItem(0);  // nothing to draw, and no message for it
}

// Load reads only headers; a picture's pixels are read the first time the
// picture is asked for or drawn, and a picture that cannot be read is not
// read again on every use.
TEST(LayoutPictures, PixelsAreReadWhenAPictureIsFirstUsed) {
  layoutDataRec rec;
  rec.design.set(0, 0, 100, 100);
  rec.count = 2;
  rec.items[0] = item(10);
  rec.items[0].castIds[1] = 11;
  rec.items[1] = item(12);
  LayoutSkin s;
  s.put("MPIX", 12, castHeader(4, 4, {4, 8, 16, 4}));  // header without pixels
  s.attach(record(rec));
  UloLayout& l = s.layout;
  UloOneCast* c10 = s.casts.CastOfID(10);
  UloOneCast* c11 = s.casts.CastOfID(11);
  UloOneCast* c12 = s.casts.CastOfID(12);
  ASSERT_TRUE(c10 && c11 && c12);
  EXPECT_FALSE(c10->imageLoaded || c11->imageLoaded || c12->loadTried);
  EXPECT_EQ(l.work[1].pictureRect, uloRect(0, 0, 4, 4)) << "placement needs only the header";

  EXPECT_NE(l.GetItemMask(0, 0), nullptr);
  EXPECT_TRUE(c10->imageLoaded);
  EXPECT_FALSE(c11->imageLoaded) << "the other picture of the item stays unread";
  l.ItemUseIndex(0, 1);
  l.DrawItem(0);
  EXPECT_TRUE(c11->imageLoaded);

  EXPECT_EQ(l.GetItemImage(1, 0), nullptr);
  EXPECT_TRUE(c12->loadTried);
  c10->Unload();
  EXPECT_FALSE(c10->loadTried);
  EXPECT_NE(l.GetItemImage(0, 0), nullptr) << "an unloaded picture is read again when used";
}

}  // namespace
