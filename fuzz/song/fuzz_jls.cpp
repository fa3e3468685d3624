// Song descriptors of any bytes: both versions, full and header-only, then
// every lookup the screens make on the result.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "song/JLJlsParser.h"
#include "song/JLSongLibrary.h"

namespace {

void check(bool ok) {
  if (!ok) abort();
}

void readAll(JLSongLibrary& lib, const uint8_t* data, size_t size) {
  JLJlsParser p;
  p.openBuffer(data, size);
  if (!lib.load_12(&p, ":Library:Song:Fuzz:")) {
    p.restart();
    lib.load_10(&p, ":Library:Song:Fuzz:");
  }
  check(lib.groupCount >= 0 && lib.groupCount <= kJLMaxGroups);
  check(lib.trackCount >= 0 && lib.trackCount <= kJLMaxLoops);
  check(lib.randomSetCount >= 0 && lib.randomSetCount <= kJLMaxRandomSets);
  check(lib.styleCount >= 0 && lib.styleCount <= kJLMaxStyles);
  check(strlen(lib.songDescription) < sizeof lib.songDescription);
  for (int16_t i = -1; i <= lib.trackCount; ++i) {
    int16_t g = -1, v = -1;
    if (lib.getGroupAndIndex(i, &g, &v)) check(strlen(lib.getIndexStr(g, v)) < 32);
  }
  for (int16_t g = 0; g < lib.groupCount; ++g) {
    check(lib.groups[g].count >= 0 && lib.groups[g].count <= kJLMaxVariants);
    check(strlen(lib.groups[g].name) < sizeof lib.groups[g].name);
  }
  for (int s = 0; s < lib.styleCount; ++s)
    for (int r = 0; r < lib.styles[s].rowCount; ++r)
      for (int t = 0; t < kJLStyleTracks; ++t)
        check(lib.styles[s].rows[r][t] >= -1 && lib.styles[s].rows[r][t] < lib.styles[s].slotCount);
  lib.addUserLoop("fuzz take.wav");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One object reused across inputs, as the load panel reuses its library.
  static JLSongLibrary* lib = new JLSongLibrary();
  lib->headerOnly = 0;
  readAll(*lib, data, size);
  lib->headerOnly = 1;
  readAll(*lib, data, size);
  return 0;
}
