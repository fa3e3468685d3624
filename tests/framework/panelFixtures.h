// Builds small skins for the panel, screen, pop-up and help tests and for
// the skin viewer's demonstration: casts (16-bit pictures with optional
// 8-bit masks), layouts and text items, written through the program's own
// container, cast-header and layout writers. Free of the test framework so
// that tools can use it too.
#pragma once
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "framework/casts/uloCasts.h"
#include "framework/layout/uloLayouts.h"
#include "framework/res/uloRes.h"

namespace skinfix {

inline uint16_t rgb(int r, int g, int b) { return uint16_t(((r & 31) << 10) | ((g & 31) << 5) | (b & 31)); }

struct Picture {
  int width = 0, height = 0;
  std::vector<uint16_t> pixels;  // top-down
  std::vector<uint8_t> mask;     // top-down, 0 opaque .. 255 transparent; empty: none

  uint16_t& at(int x, int y) { return pixels[size_t(y) * width + x]; }
  uint8_t& maskAt(int x, int y) { return mask[size_t(y) * width + x]; }
};

inline Picture solid(int w, int h, uint16_t colour) {
  Picture p;
  p.width = w;
  p.height = h;
  p.pixels.assign(size_t(w) * h, colour);
  return p;
}

inline Picture withMask(Picture p, const std::function<bool(int, int)>& opaque) {
  p.mask.assign(size_t(p.width) * p.height, 255);
  for (int y = 0; y < p.height; y++)
    for (int x = 0; x < p.width; x++) p.maskAt(x, y) = opaque(x, y) ? 0 : 255;
  return p;
}

// A vertical film strip: frame k is filled with colours[k].
inline Picture film(int w, int h, const std::vector<uint16_t>& colours) {
  Picture p = solid(w, h * int(colours.size()), 0);
  for (size_t k = 0; k < colours.size(); k++)
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) p.at(x, int(k) * h + y) = colours[k];
  return p;
}

// A font strip of the 256 glyphs: printable characters get 5 x 7 blocks
// (a frame, so texts are visible), the others 1-pixel glyphs; the marker
// row lies 3 pixels above the bottom.
inline Picture fontStrip(uint16_t colour) {
  const int glyphH = 9, h = glyphH + 5;
  std::vector<int> widths(256);
  int total = 0;
  for (int c = 0; c < 256; c++) total += (widths[c] = (c >= 32 && c < 127) || c == 201 ? 6 : 1) + 1;
  Picture p = solid(total, h, 0);
  p.mask.assign(size_t(total) * h, 255);
  int x = 0;
  for (int c = 0; c < 256; c++) {
    for (int i = 0; i < widths[c]; i++) {
      p.at(x + i, h - 3) = rgb(31, 31, 31);
      if (widths[c] > 1 && c != ' ' && i < 5)
        for (int y = 1; y < 8; y++)
          if (i == 0 || i == 4 || y == 1 || y == 7 || ((c + y) % 3 == 0 && i == 2)) {
            p.at(x + i, y) = colour;
            p.maskAt(x + i, y) = 0;
          }
    }
    x += widths[c] + 1;
  }
  return p;
}

inline std::string castHeaderBytes(int w, int h, bool mask) {
  castHeaderRec hd;
  hd.width = int16_t(w);
  hd.height = int16_t(h);
  hd.depths[1].rowBytes = int16_t(w * 2);
  if (mask) hd.depths[3].rowBytes = int16_t(w);
  std::string s(kCastHeaderSize, '\0');
  ULO_CastHeaderToBytes(hd, reinterpret_cast<uint8_t*>(&s[0]));
  return s;
}

// One stored layout item.
struct Item {
  int16_t kind = 0;
  int16_t state = 2;
  int16_t x = 0, y = 0;
  std::vector<int32_t> casts;  // pictures 0..9; the first is also the base cast
  std::vector<std::pair<int, int16_t>> aux;
  int16_t width = 0, height = 0;  // 0: the base cast's size
};

inline layoutDataRec layoutOf(const std::vector<Item>& items, uloRect design = uloRect(0, 0, 640, 480)) {
  layoutDataRec rec;
  rec.design = design;
  rec.count = int16_t(items.size());
  for (size_t i = 0; i < items.size() && i < size_t(kLayoutMaxItems); i++) {
    const Item& it = items[i];
    layoutItemDataRec& r = rec.items[i];
    r.state = it.state;
    r.offset = uloPoint(it.x, it.y);
    r.baseCastId = it.casts.empty() ? 0 : it.casts[0];
    for (size_t k = 0; k < it.casts.size() && k < size_t(kLayoutPictures); k++) r.castIds[k] = it.casts[k];
    for (size_t k = it.casts.size(); k < size_t(kLayoutPictures); k++) r.castIds[k] = -1;
    r.auxValues[0] = it.kind;
    r.auxValues[9] = -1;
    for (auto& a : it.aux)
      if (a.first >= 0 && a.first < kLayoutAuxValues) r.auxValues[a.first] = a.second;
    r.size = uloPoint(it.width, it.height);
  }
  return rec;
}

// Writes a container item by item; close() makes it ready for reading.
class SkinWriter {
 public:
  explicit SkinWriter(const std::string& uloPath) {
    res.SetWorkName(uloPath.c_str());
    ok = res.Create();
  }
  void cast(int32_t id, const Picture& p) {
    const bool hasMask = !p.mask.empty();
    const std::string h = castHeaderBytes(p.width, p.height, hasMask);
    put("MPIX", id, h.data(), int32_t(h.size()));
    std::string px(size_t(p.width) * p.height * 2, '\0');
    for (size_t i = 0; i < p.pixels.size(); i++) {
      px[2 * i] = char(p.pixels[i] >> 8);
      px[2 * i + 1] = char(p.pixels[i] & 0xFF);
    }
    put("PX16", id, px.data(), int32_t(px.size()));
    if (hasMask) put("PXMK", id, p.mask.data(), int32_t(p.mask.size()));
  }
  void layout(int32_t id, const layoutDataRec& rec) {
    std::vector<uint8_t> bytes(kLayoutRecordSize);
    ULO_LayoutToBytes(rec, bytes.data());
    put("LAYA", id, bytes.data(), kLayoutRecordSize);
  }
  void text(const char (&type)[5], int32_t id, const std::string& s) { put(type, id, s.data(), int32_t(s.size())); }
  bool close() { return res.Close() && ok; }

  bool ok = false;

 private:
  void put(const char (&type)[5], int32_t id, const void* data, int32_t n) {
    ok = res.SaveData(data, n, ULO_FourCC(type), id) && ok;
  }
  UloResFile res;
};

// Cast ids of the demonstration skin.
enum : int32_t {
  kCastBack = 100,  // 10 colour variants: 100..109
  kCastButton = 120,
  kCastButtonDown = 121,
  kCastRound = 122,
  kCastRoundDown = 123,
  kCastCheckOff = 130,
  kCastCheckOn = 131,
  kCastRadioOff = 132,
  kCastRadioOn = 133,
  kCastKnob = 140,
  kCastThumb = 141,
  kCastTrack = 142,
  kCastLevelOff = 150,
  kCastLevelOn = 151,
  kCastPopClosed = 160,  // 160..167: the pop-up pieces
  kCastText = 170,
  kCastProgressOff = 171,
  kCastProgressOn = 172,
  kCastBalloon = 180,
  kCastFont = 500,
};

// The demonstration layout (id 1): background, buttons, checks, radios,
// a knob, a slider, a level bar, a pop-up, a text and a progress bar.
inline std::vector<Item> demoItems() {
  std::vector<Item> items;
  auto add = [&](Item it) { items.push_back(it); };
  std::vector<int32_t> back;
  for (int v = 0; v < 10; v++) back.push_back(kCastBack + v);
  add({19, 1, 0, 0, back, {}, 0, 0});                                                       // 0 background
  add({33, 2, 40, 40, {kCastButton, kCastButton, kCastButtonDown}, {{7, 11}}, 0, 0});        // 1 button
  add({33, 2, 140, 40, {kCastRound, kCastRound, kCastRoundDown}, {{7, 12}}, 0, 0});          // 2 round button
  add({34, 2, 40, 100, {kCastCheckOff, kCastCheckOff, kCastCheckOn}, {{7, 13}}, 0, 0});      // 3 check
  add({39, 2, 40, 140, {kCastRadioOff, kCastRadioOff, kCastRadioOn}, {{1, 0}, {2, 1}}, 0, 0});   // 4 radio a
  add({39, 2, 80, 140, {kCastRadioOff, kCastRadioOff, kCastRadioOn}, {{1, 1}, {2, 1}}, 0, 0});   // 5 radio b
  add({39, 2, 120, 140, {kCastRadioOff, kCastRadioOff, kCastRadioOn}, {{1, 2}, {2, 1}}, 0, 0});  // 6 radio c
  add({36, 2, 240, 40, {kCastKnob, kCastKnob}, {{1, 8}, {8, 1}, {7, 14}}, 32, 32});          // 7 knob
  add({30, 2, 320, 40, {kCastThumb}, {{1, 0}, {2, 100}}, 24, 160});                         // 8 slider
  add({230, 1, 380, 40, {kCastLevelOff, kCastLevelOn}, {}, 0, 0});                           // 9 level bar
  add({70, 2, 40, 200, {kCastPopClosed, kCastPopClosed + 1, kCastPopClosed + 2, kCastPopClosed + 3,
                        kCastPopClosed + 4, kCastPopClosed + 5, kCastPopClosed + 6, kCastPopClosed + 7},
       {{2, 4}, {7, 15}}, 0, 0});                                                            // 10 pop-up
  add({38, 1, 40, 260, {kCastText, kCastText}, {}, 0, 0});                                   // 11 text
  add({232, 1, 40, 300, {kCastProgressOff, kCastProgressOn}, {}, 0, 0});                     // 12 progress
  return items;
}

inline void writeDemoCasts(SkinWriter& w) {
  const uint16_t tints[10] = {rgb(4, 6, 10), rgb(10, 7, 3), rgb(4, 9, 4),  rgb(8, 4, 10), rgb(10, 3, 3),
                              rgb(3, 9, 9),  rgb(9, 9, 3),  rgb(6, 6, 6),  rgb(2, 4, 8),  rgb(8, 6, 8)};
  for (int v = 0; v < 10; v++) {
    Picture bg = solid(480, 360, tints[v]);
    for (int y = 0; y < 360; y++)
      for (int x = 0; x < 480; x++)
        if (x < 2 || y < 2 || x >= 478 || y >= 358) bg.at(x, y) = rgb(20, 20, 22);
    w.cast(kCastBack + v, bg);
  }
  auto roundMask = [](int size) {
    return [size](int x, int y) {
      const int dx = 2 * x - size + 1, dy = 2 * y - size + 1;
      return dx * dx + dy * dy <= size * size;
    };
  };
  w.cast(kCastButton, withMask(solid(80, 24, rgb(12, 14, 18)), [](int, int) { return true; }));
  w.cast(kCastButtonDown, withMask(solid(80, 24, rgb(24, 20, 6)), [](int, int) { return true; }));
  w.cast(kCastRound, withMask(solid(40, 40, rgb(6, 16, 24)), roundMask(40)));
  w.cast(kCastRoundDown, withMask(solid(40, 40, rgb(28, 22, 4)), roundMask(40)));
  w.cast(kCastCheckOff, withMask(solid(20, 20, rgb(8, 8, 8)), [](int, int) { return true; }));
  w.cast(kCastCheckOn, withMask(solid(20, 20, rgb(4, 28, 6)), [](int, int) { return true; }));
  w.cast(kCastRadioOff, withMask(solid(20, 20, rgb(8, 8, 8)), roundMask(20)));
  w.cast(kCastRadioOn, withMask(solid(20, 20, rgb(30, 12, 4)), roundMask(20)));
  std::vector<uint16_t> frames;
  for (int k = 0; k < 8; k++) frames.push_back(rgb(4 + 3 * k, 4 + 3 * k, 10));
  w.cast(kCastKnob, withMask(film(32, 32, frames), [](int x, int y) {
           const int dx = 2 * x - 31, dy = 2 * (y % 32) - 31;
           return dx * dx + dy * dy <= 32 * 32;
         }));
  w.cast(kCastThumb, withMask(solid(24, 16, rgb(26, 26, 28)), [](int, int) { return true; }));
  w.cast(kCastLevelOff, solid(16, 100, rgb(2, 6, 2)));
  w.cast(kCastLevelOn, solid(16, 100, rgb(4, 31, 4)));
  w.cast(kCastPopClosed, solid(120, 20, rgb(6, 6, 12)));
  w.cast(kCastPopClosed + 1, solid(120, 20, rgb(10, 10, 16)));
  w.cast(kCastPopClosed + 2, solid(120, 20, rgb(8, 8, 14)));
  w.cast(kCastPopClosed + 3, solid(120, 20, rgb(10, 10, 16)));
  w.cast(kCastPopClosed + 4, withMask(solid(120, 20, rgb(31, 20, 0)), [](int x, int y) {
           return x < 2 || y < 2 || x >= 118 || y >= 18;
         }));
  w.cast(kCastPopClosed + 5, solid(120, 20, rgb(4, 4, 4)));
  w.cast(kCastPopClosed + 6, solid(120, 20, rgb(14, 4, 4)));
  w.cast(kCastPopClosed + 7, solid(120, 20, rgb(4, 4, 14)));
  w.cast(kCastText, solid(160, 20, rgb(2, 2, 2)));
  w.cast(kCastProgressOff, solid(160, 10, rgb(4, 4, 4)));
  w.cast(kCastProgressOn, solid(160, 10, rgb(6, 12, 30)));
  w.cast(kCastBalloon, withMask(solid(140, 40, rgb(30, 30, 20)), [](int x, int y) {
           return !((x < 3 || x > 136) && (y < 3 || y > 36));
         }));
  w.cast(kCastFont, fontStrip(rgb(31, 31, 31)));
}

// Help lines for the demonstration: rollover balloons over a few controls.
inline std::string demoHelps() {
  return "0]180]0]1]-20]14]6]8]1]0]A button]Click it\r"
         "0]180]0]2]-20]22]6]8]1]0]A round button]Masked corners\r"
         "0]180]0]7]-10]18]6]8]1]0]A knob]Drag up or down\r"
         "0]180]0]10]0]12]6]8]1]0]A pop-up]Hold to open\r";
}

// The whole demonstration skin at `uloPath` (layout id 1); true on success.
inline bool writeDemoSkin(const std::string& uloPath) {
  SkinWriter w(uloPath);
  writeDemoCasts(w);
  w.layout(1, layoutOf(demoItems(), uloRect(0, 0, 480, 360)));
  w.text("DATA", 100, demoHelps());
  return w.close();
}

}  // namespace skinfix
