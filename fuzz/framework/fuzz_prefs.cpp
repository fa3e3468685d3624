// The preferences file is outside input (a user may copy one from anywhere,
// or a crash may leave one cut short). Any bytes must load without reading
// outside the file; what loads must save and load back to the very same
// settings.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/files/uloPathNames.h"
#include "framework/platform/uloSys.h"
#include "framework/prefs/JLprefs.h"

namespace {

int16_t quiet(const char*, const char*, int16_t) { return 1; }

std::string scratch(const char* name) { return "/tmp/jl_fuzz_prefs_" + std::to_string(getpid()) + name; }

void setName(jlPrefsClass& p, const std::string& sys) {
  if (!ULO_SystemPathToUloPath(sys.c_str(), p.fileName, sizeof p.fileName)) abort();
}

bool same(const jlPrefsClass& a, const jlPrefsClass& b) {
  bool eq = a.windowPosition.left == b.windowPosition.left && a.windowPosition.top == b.windowPosition.top &&
            a.windowPosition.right == b.windowPosition.right &&
            a.windowPosition.bottom == b.windowPosition.bottom && a.outputType == b.outputType &&
            a.mtrmValue == b.mtrmValue && a.interfaceColor == b.interfaceColor &&
            a.soundConvertLength == b.soundConvertLength;
  for (int k = 0; k < kRandomSets; k++) eq = eq && a.randomLimit[k] == b.randomLimit[k];
  if (eq && a.soundConvertLength > 0)
    eq = memcmp(a.soundConvertSettings, b.soundConvertSettings, size_t(a.soundConvertLength)) == 0;
  return eq;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool once = [] {
    ULO_SetMessageBoxHook(quiet);
    return true;
  }();
  (void)once;
  const std::string in = scratch(".prf"), out = scratch("-out.prf");
  FILE* f = fopen(in.c_str(), "wb");
  if (!f) abort();
  if (size) fwrite(data, 1, size, f);
  fclose(f);

  jlPrefsClass first;
  setName(first, in);
  first.load();
  // Loading only reads.
  FILE* back = fopen(in.c_str(), "rb");
  if (!back) abort();
  fseek(back, 0, SEEK_END);
  if (size_t(ftell(back)) != size) abort();
  fclose(back);

  setName(first, out);
  if (first.save()) {
    jlPrefsClass second;
    setName(second, out);
    second.load();
    if (!same(first, second)) abort();
  }
  unlink(in.c_str());
  unlink(out.c_str());
  return 0;
}
