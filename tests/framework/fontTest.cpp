#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "castsTestSupport.h"
#include "framework/text/uloFont.h"

using skintest::castHeader;
using skintest::Container;

namespace {

constexpr uint16_t kInk = 0x7FFF;
constexpr uint16_t kPaper = 0x0421;

int widthOf(int c) { return c == 'A' ? 10 : c == 'B' ? 20 : c == kUloEllipsis ? 3 : 1; }

// A glyph strip: every glyph is solid ink, one zero column between glyphs,
// the marker row at height - 3. Decoy rows right above and below the marker
// row are ink across the whole width, so reading the wrong row shows.
struct Strip {
  int width = 0, height;
  std::vector<uint16_t> px;  // top-down
  std::vector<uint8_t> mask;
  explicit Strip(int h, bool withMarker = true) : height(h) {
    for (int c = 0; c < 256; c++) width += widthOf(c) + 1;
    px.assign(width * height, 0);
    mask.assign(width * height, 0);
    int x = 1;
    for (int c = 0; c < 256; c++) {
      for (int i = 0; i < widthOf(c); i++, x++) {
        for (int y = 0; y < height - 5; y++) px[y * width + x] = kInk;
        if (withMarker) px[(height - 3) * width + x] = 1;
        // 'A' is see-through on its right half.
        if (c == 'A' && i >= 5)
          for (int y = 0; y < height; y++) mask[y * width + x] = 255;
      }
      x++;
    }
    for (int x2 = 0; x2 < width; x2++) px[(height - 2) * width + x2] = px[(height - 4) * width + x2] = kInk;
  }
  std::string px16() const {
    std::string s;
    for (uint16_t v : px) s += char(v >> 8), s += char(v & 0xFF);
    return s;
  }
  std::string px32() const {
    std::string s;
    for (uint16_t v : px) {
      s += char(0);
      s += char(((v >> 10) & 31) << 3);
      s += char(((v >> 5) & 31) << 3);
      s += char((v & 31) << 3);
    }
    return s;
  }
  std::string pxmk() const { return std::string(mask.begin(), mask.end()); }
};

struct FontSkin : Container {
  UloCasts casts;
  uloFont font;
  void add(int32_t id, const Strip& s, bool thirtyTwo = false) {
    put("MPIX", id, castHeader(s.width, s.height, {s.width, s.width * 2, s.width * 4, s.width}));
    if (thirtyTwo) put("PX32", id, s.px32());
    else put("PX16", id, s.px16());
    put("PXMK", id, s.pxmk());
  }
  void setup(int32_t id) {
    reopen();
    casts.resFile = &res;
    casts.ParseResources();
    font.setup(&casts, id);
  }
};

struct Canvas {
  uloOffmap map;
  Canvas(int w, int h) {
    map.allocate(uloDepthDirect16, w, h);
    map.fill(map.bounds, kPaper);
  }
  // Columns of row y that carry ink, as a string of '#' and '.'.
  std::string row(int y) const {
    std::string s;
    for (int x = 0; x < map.width(); x++) s += map.getPixel(x, y) == kPaper ? '.' : '#';
    return s;
  }
};

TEST(FontSetup, GlyphsAreMeasuredOnTheMarkerRow) {
  FontSkin s;
  s.add(500, Strip(40));
  s.setup(500);
  ASSERT_TRUE(s.font.parsed);
  EXPECT_EQ(s.font.glyphHeight, 35);
  EXPECT_EQ(s.font.glyphs[0], uloRect(1, 0, 2, 35));
  EXPECT_EQ(s.font.glyphs[1], uloRect(3, 0, 4, 35));
  EXPECT_EQ(s.font.glyphWidth('A'), 10);
  EXPECT_EQ(s.font.glyphWidth('B'), 20);
  EXPECT_EQ(s.font.glyphWidth(kUloEllipsis), 3);
  EXPECT_EQ(s.font.glyphs[255].right, s.font.image.width());
  EXPECT_EQ(s.font.stringWidth("AB\xC9"), 33);
}

TEST(FontSetup, PicturesWithoutMarkersOrGlyphsStayUnparsed) {
  FontSkin s;
  s.add(1, Strip(40, false));
  s.add(2, Strip(5));  // no room for glyphs above the marker row
  s.setup(1);
  EXPECT_FALSE(s.font.parsed);
  s.font.setup(&s.casts, 2);
  EXPECT_FALSE(s.font.parsed);
  s.font.setup(&s.casts, 3);  // no such cast
  EXPECT_FALSE(s.font.parsed);
  Canvas c(40, 10);
  s.font.copyString(&c.map, "AAA", 0, 0, 0);
  EXPECT_EQ(c.row(0), std::string(40, '.'));
  EXPECT_EQ(s.font.stringWidth("AAA"), 0);
}

TEST(FontDrawing, JustificationMovesTheStart) {
  FontSkin s;
  s.add(500, Strip(10));
  s.setup(500);
  ASSERT_EQ(s.font.glyphHeight, 5);
  for (int just : {0, 1, 2}) {
    Canvas c(200, 8);
    s.font.copyString(&c.map, "AAAAA", 100, 2, int16_t(just));
    const int start = just == 0 ? 100 : just == 1 ? 75 : 50;
    const std::string expect = std::string(start, '.') + std::string(50, '#') + std::string(150 - start, '.');
    EXPECT_EQ(c.row(2), expect) << just;
    EXPECT_EQ(c.row(6), expect) << just;
    EXPECT_EQ(c.row(1), std::string(200, '.'));
    EXPECT_EQ(c.row(7), std::string(200, '.')) << "glyphs are height - 5 high";
  }
}

TEST(FontDrawing, MaskAndCharactersOutsideTheBitmap) {
  FontSkin s;
  s.add(500, Strip(10), true);  // stored at 32 bits: converted for drawing
  s.setup(500);
  ASSERT_TRUE(s.font.parsed);
  ASSERT_NE(s.font.mask, nullptr);
  Canvas c(25, 5);
  s.font.copyMaskString(&c.map, "AB", 0, 0, 0);
  EXPECT_EQ(c.row(0), "#####" + std::string(20, '.')) << "B does not fit and is skipped, not clipped";
  Canvas d(25, 5);
  s.font.copyString(&d.map, "AB", 0, 0, 0);
  EXPECT_EQ(d.row(4), std::string(10, '#') + std::string(15, '.'));
  s.font.copyString(&d.map, "A", -3, 0, 0);
  s.font.copyString(&d.map, "A", 0, 1, 0);
  EXPECT_EQ(d.map.getPixel(0, 0), kInk);
  EXPECT_EQ(d.map.getPixel(12, 0), kPaper);
}

TEST(FontDrawing, ColorizeTintsTheGlyphs) {
  FontSkin s;
  s.add(500, Strip(10));
  s.setup(500);
  s.font.colorize(256, 256, 0);
  Canvas c(20, 5);
  s.font.copyString(&c.map, "A", 0, 0, 0);
  EXPECT_EQ(c.map.getPixel(3, 3), 0x7FE0);
}

TEST(FontFit, CutsAndEndsWithTheEllipsis) {
  FontSkin s;
  s.add(500, Strip(10));
  s.setup(500);
  struct Case {
    int width;
    const char* expect;
  } cases[] = {{50, "AAAAA"}, {60, "AAAAA"}, {45, "AAAA\xC9"}, {42, "AAA\xC9"}, {3, "\xC9"}, {2, ""}};
  for (const Case& k : cases) {
    char text[16] = "AAAAA";
    const int16_t n = s.font.stringFitWidth(text, int16_t(k.width));
    EXPECT_STREQ(text, k.expect) << k.width;
    EXPECT_EQ(n, int16_t(strlen(k.expect)));
    EXPECT_LE(s.font.stringWidth(text), k.width);
  }
  char one[] = "B";
  EXPECT_EQ(s.font.stringFitWidth(one, 10), 1);
  EXPECT_STREQ(one, "\xC9") << "the ellipsis replaces, never lengthens";
}

}  // namespace
