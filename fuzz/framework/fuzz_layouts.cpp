// Layouts come from skin containers, outside input. Input: one byte choosing
// the record size (100 or 50 items), then the record's bytes (zero-filled
// or cut to that size), then placement values. The record is stored in a
// container that also holds casts 1-3 and run through Set, Load, placement
// at several layout rectangles, picture selection and every accessor. The
// raw input also goes through the record conversion at its own length.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/files/uloPathNames.h"
#include "framework/casts/uloCasts.h"
#include "framework/layout/uloLayouts.h"
#include "framework/platform/uloSys.h"
#include "framework/res/uloRes.h"

namespace {

int16_t quiet(const char*, const char*, int16_t) { return 1; }

struct Skin {
  UloResFile res;
  UloCasts casts;
  Skin() {
    ULO_SetMessageBoxHook(quiet);
    char tmpl[] = "/tmp/fuzzlayouts.XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir) abort();
    char ulo[kUloPathMax];
    if (!ULO_SystemPathToUloPath((std::string(dir) + "/l.xrs").c_str(), ulo, sizeof ulo)) abort();
    res.SetWorkName(ulo);
    if (!res.Create()) abort();
    for (int id = 1; id <= 3; id++) {
      castHeaderRec h;
      h.width = int16_t(4 * id);
      h.height = int16_t(3 * id);
      h.depths[1].rowBytes = int16_t(h.width * 2);
      h.depths[3].rowBytes = h.width;
      uint8_t raw[kCastHeaderSize];
      ULO_CastHeaderToBytes(h, raw);
      res.SaveData(raw, kCastHeaderSize, ULO_FourCC("MPIX"), id);
      std::vector<uint8_t> px(size_t(h.width) * 2 * h.height, 0x11);
      res.SaveData(px.data(), int32_t(px.size()), ULO_FourCC("PX16"), id);
      if (id != 2) res.SaveData(px.data(), h.width * h.height, ULO_FourCC("PXMK"), id);
    }
    casts.resFile = &res;
    casts.ParseResources();
  }
};

unsigned sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Skin skin;
  {
    UloLayout raw;
    raw.casts = &skin.casts;
    raw.PlatformConvert(data, int32_t(size > 20000 ? 20000 : size));
    raw.Load();
    raw.RecalcAll();
  }
  if (size < 1) return 0;
  const int32_t length = (data[0] & 1) ? kLayoutShortRecordSize : kLayoutRecordSize;
  std::vector<uint8_t> record(length, 0);
  const size_t body = size - 1 < size_t(length) ? size - 1 : size_t(length);
  memcpy(record.data(), data + 1, body);
  const uint8_t* extra = data + 1 + body;
  const size_t extraSize = size - 1 - body;
  if (!skin.res.SaveData(record.data(), length, uloLayoutType, 1)) abort();

  UloLayout layout;
  layout.Set(&skin.casts, 1);
  layout.Load();
  for (size_t k = 0; k + 8 <= extraSize && k < 64; k += 8) {
    layout.layoutRect.set(ULO_GetBE16(extra + k), ULO_GetBE16(extra + k + 2), ULO_GetBE16(extra + k + 4),
                          ULO_GetBE16(extra + k + 6));
    layout.RecalcAll();
  }
  layout.layoutRect.set(-32768, -32768, 32767, 32767);
  layout.RecalcAll();
  for (int16_t i = -1; i <= kLayoutMaxItems; i++) {
    for (int16_t j = -1; j <= kLayoutPictures; j++) {
      layout.ItemUseIndex(i, j);
      layout.RecalcItem(i);
      if (uloOffmap* m = layout.GetItemImage(i, j)) sink += m->getPixel(m->width() - 1, m->height() - 1);
      if (uloOffmap* m = layout.GetItemMask(i, j)) sink += m->getPixel(0, 0);
    }
    for (int16_t k = -1; k <= kLayoutAuxValues; k++) sink += layout.itemAuxVal(i, k);
    layout.DrawItem(i);
  }
  return 0;
}
