// The demo installer reads its package from a disk the user inserts: the
// configuration line naming the program's folder and every loop, which it
// decodes to 16-bit PCM. Any bytes as a loop must give a result and, on
// success only, a sound file that reads back at the announced size; any
// bytes as the configuration line must give a folder that exists or nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "installer/jlDemoInstaller.h"
#include "installer/jlLoopDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string base = "/tmp/jl_fuzz_package_" + std::to_string(getpid());
  const std::string in = base + ".wav", out = base + "-out.wav";
  if (size > 1 << 20) return 0;
  FILE* f = fopen(in.c_str(), "wb");
  if (!f) abort();
  if (size) fwrite(data, 1, size, f);
  fclose(f);

  unlink(out.c_str());
  const JLConvertResult r = JL_DecompressLoop(in, out);
  struct stat st;
  const bool written = stat(out.c_str(), &st) == 0;
  if (written != (r == JLConvertResult::ok)) abort();
  // No temporary is left behind, whatever happened.
  if (stat((out + ".part").c_str(), &st) == 0) abort();

  const std::string folder = JL_ReadApplicationFolder(in);
  if (!folder.empty() && (folder[0] != '/' || folder.back() != '/' || stat(folder.c_str(), &st) != 0 ||
                          !S_ISDIR(st.st_mode)))
    abort();
  unlink(in.c_str());
  unlink(out.c_str());
  return 0;
}
