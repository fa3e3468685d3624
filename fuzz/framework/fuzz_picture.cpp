// Song pictures (the ".gif" beside a song's descriptor, or any picture the
// user points the browser at) are decoded by the program into the skin's
// 16-bit bitmaps. Any bytes, at several bitmap sizes, must either fill the
// bitmap or leave it alone, with no read or write outside it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/files/uloPathNames.h"
#include "framework/offmap/uloOffmap.h"
#include "framework/platform/uloQuickTime.h"

// SDL's own decoders leak 16 bytes on some damaged bitmaps (seen with a
// plain IMG_Load in a program of its own); that is not ours to find here.
extern "C" const char* __lsan_default_suppressions() { return "leak:libSDL2-2.0.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string sys = [] {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    uloQt_Init();
    return "/tmp/jl_fuzz_picture_" + std::to_string(getpid()) + ".gif";
  }();
  if (size > 1 << 20) return 0;
  FILE* f = fopen(sys.c_str(), "wb");
  if (!f) abort();
  if (size) fwrite(data, 1, size, f);
  fclose(f);
  char ulo[kUloPathMax];
  if (!ULO_SystemPathToUloPath(sys.c_str(), ulo, sizeof ulo)) abort();
  static const int16_t kSizes[][2] = {{84, 84}, {1, 1}, {3, 200}};
  for (const auto& s : kSizes) {
    uloOffmap map;
    if (!map.allocate(uloDepthDirect16, s[0], s[1])) abort();
    map.fill(map.bounds, 0x1234);
    if (uloQt_imageToOffmap(ulo, &map) != 1 && map.getPixel(s[0] - 1, s[1] - 1) != 0x1234) abort();
  }
  return 0;
}
