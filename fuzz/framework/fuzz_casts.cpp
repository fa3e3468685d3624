// Casts come from skin containers, outside input: whatever the headers and
// pixel items say, loading must refuse them or stay inside every buffer.
// Input: records of [type selector][id][length, 2 bytes big-endian][data]
// that become container items (types MPIX, PX08, PX16, PX32, PXMK, CTP8,
// ids 0-3). Every cast is parsed, loaded at every depth and read back
// pixel by pixel; cast 0 is also set up as a font and printed with.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "core/files/uloPathNames.h"
#include "framework/casts/uloCasts.h"
#include "framework/platform/uloSys.h"
#include "framework/res/uloRes.h"
#include "framework/text/uloFont.h"

namespace {

int16_t quiet(const char*, const char*, int16_t) { return 1; }

struct Paths {
  std::string ulo;
  Paths() {
    char tmpl[] = "/tmp/fuzzcasts.XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir) abort();
    char out[kUloPathMax];
    if (!ULO_SystemPathToUloPath((std::string(dir) + "/c.xrs").c_str(), out, sizeof out)) abort();
    ulo = out;
    ULO_SetMessageBoxHook(quiet);
  }
};

const int32_t kTypes[6] = {ULO_FourCC("MPIX"), ULO_FourCC("PX08"), ULO_FourCC("PX16"),
                           ULO_FourCC("PX32"), ULO_FourCC("PXMK"), ULO_FourCC("CTP8")};

unsigned sink;

void readAll(const uloOffmap& m) {
  if (!m.allocated) return;
  for (int y = 0; y < m.height(); y++)
    for (int x = 0; x < m.width(); x++) sink += m.getPixel(x, y);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Paths paths;
  ULO_FileDelete(paths.ulo.c_str());
  {
    UloResFile res;
    res.SetWorkName(paths.ulo.c_str());
    if (!res.Create()) abort();
    size_t p = 0;
    while (p + 4 <= size) {
      const int32_t type = kTypes[data[p] % 6];
      const int32_t id = data[p + 1] % 4;
      size_t len = (size_t(data[p + 2]) << 8) | data[p + 3];
      p += 4;
      if (len > size - p) len = size - p;
      res.SaveData(data + p, int32_t(len), type, id);
      p += len;
    }
    if (!res.Close()) abort();
  }

  UloResFile res;
  res.SetWorkName(paths.ulo.c_str());
  res.readOnly = 1;
  if (!res.Open()) abort();
  UloCasts casts;
  casts.resFile = &res;
  casts.ParseResources();
  for (int16_t i = 0; i < casts.count; i++) {
    UloOneCast* c = casts.casts[i];
    if (!c) continue;
    for (int16_t d = 3; d >= 0; d--) {
      c->LoadDepth(d);
      readAll(c->image);
      readAll(c->mask);
      if (d != 3) c->Unload();
    }
    c->LoadAvailable();
    readAll(c->image);
    readAll(c->mask);
    c->Draw(0, 0);
  }
  uloFont font;
  font.setup(&casts, 0);
  uloOffmap canvas;
  canvas.allocate(uloDepthDirect16, 64, 16);
  char text[] = "Jam\xC9loom";
  font.stringFitWidth(text, 20);
  font.copyString(&canvas, text, 32, 2, 1);
  font.copyMaskString(&canvas, "abc", 0, 0, 0);
  casts.UnloadResources();
  return 0;
}
