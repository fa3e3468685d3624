// Mix documents of any bytes. A document that reads must write back to
// bytes that read to the very same image (the reader's clean-up is stable),
// and its synth block gives an arpeggio text the engine's buffer holds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "song/JLMixDocument.h"
#include "song/JLSynthSetup.h"

namespace {

std::string scratch(const char* name) {
  return "/:tmp:jl_fuzz_mixdoc_" + std::to_string(getpid()) + "_" + name;
}

std::string sysPath(const std::string& uloPath) {
  std::string sys = "/" + uloPath.substr(2);
  for (char& c : sys)
    if (c == ':') c = '/';
  return sys;
}

void put(const std::string& uloPath, const uint8_t* data, size_t size) {
  FILE* f = fopen(sysPath(uloPath).c_str(), "wb");
  if (!f) abort();
  if (size) fwrite(data, 1, size, f);
  fclose(f);
}

int readBack(const uint8_t* data, size_t size, const std::string& in, const std::string& out) {
  put(in, data, size);
  static JLIceimage image, again;
  static uint8_t synth[kJLSynthBlockBytes], synthAgain[kJLSynthBlockBytes];
  bool synthOk = false;
  if (JL_ReadMixDocument(in.c_str(), image, synth, &synthOk) != JLMixReadResult::ok) return 0;
  char folder[128];
  JL_MixSongFolder(image, folder, sizeof folder);
  if (synthOk) {
    SynthSetup setup{};
    const uint8_t* p = synth;
    JL_ReadSynthSetup(p, setup);
    static char text[kSynthArpTextMax + 2];
    JL_SynthArpText(setup, text, sizeof text);
    if (strlen(text) > size_t(kSynthArpTextMax)) abort();
  }

  if (!JL_WriteMixDocument(out.c_str(), image, synthOk ? synth : nullptr)) abort();
  if (JL_ReadMixDocument(out.c_str(), again, synthAgain) != JLMixReadResult::ok) abort();
  static uint8_t a[kJLIceimageBytes], b[kJLIceimageBytes];
  JL_PutIceimage(image, a);
  JL_PutIceimage(again, b);
  if (memcmp(a, b, sizeof a) != 0) abort();
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string in = scratch("in.jld");
  static const std::string out = scratch("out.jld");
  readBack(data, size, in, out);
  // Nothing is left behind in /tmp, however the run ends.
  unlink(sysPath(in).c_str());
  unlink(sysPath(out).c_str());
  return 0;
}
