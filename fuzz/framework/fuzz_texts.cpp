// The skin's text tables (the language list and the message tables) are
// outside input, read from the skin container. Input: one byte for the
// system language, then the language list, a zero byte, then the message
// table (stored as tables 100 to 103). Choosing the table, reading every
// line, the box titles and the locale parser must stay inside the texts.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "core/files/uloPathNames.h"
#include "framework/intl/JLInternational.h"
#include "framework/platform/uloSys.h"
#include "framework/res/uloRes.h"

namespace {

int16_t quiet(const char*, const char* text, int16_t buttons) { return int16_t(strlen(text) % 3 + buttons % 2); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    ULO_SetMessageBoxHook(quiet);
    char ulo[kUloPathMax];
    const std::string sys = "/tmp/jl_fuzz_texts_" + std::to_string(getpid()) + ".xrs";
    if (!ULO_SystemPathToUloPath(sys.c_str(), ulo, sizeof ulo)) abort();
    return std::string(ulo);
  }();
  if (size < 1 || size > 65536) return 0;
  const int16_t language = int16_t(data[0] * 7);
  const uint8_t* rest = data + 1;
  const size_t restSize = size - 1;
  const uint8_t* zero = static_cast<const uint8_t*>(memchr(rest, 0, restSize));
  const size_t listSize = zero ? size_t(zero - rest) : restSize;
  const uint8_t* table = zero ? zero + 1 : rest + restSize;
  const size_t tableSize = restSize - listSize - (zero ? 1 : 0);

  // A fresh container each time, so it never grows with the run.
  char sys[kUloPathMax];
  if (!ULO_UloPathToSystemPath(path.c_str(), sys, sizeof sys)) abort();
  unlink(sys);
  {
    UloResFile res;
    res.SetWorkName(path.c_str());
    if (!res.Create()) abort();
    const int32_t text = ULO_FourCC("TEXT");
    if (!res.SaveData(rest, int32_t(listSize), text, 1)) abort();
    for (int32_t id = 100; id < 104; id++)
      if (!res.SaveData(table, int32_t(tableSize), text, id)) abort();
    if (!res.Close()) abort();
  }
  UloResFile res;
  res.SetWorkName(path.c_str());
  res.readOnly = 1;
  if (!res.Open()) abort();
  JLInternational intl;
  intl.startWithLanguage(&res, language);
  size_t total = 0;
  for (int16_t n = -2; n < 300; n++) total += intl.message(n).len();
  for (int16_t kind = -1; kind <= 3; kind++) intl.notify(int16_t(total % 200), kind);
  const std::string locale(reinterpret_cast<const char*>(rest), listSize < 16 ? listSize : 16);
  JL_PrimaryLanguageOfLocale(locale.c_str());
  return 0;
}
