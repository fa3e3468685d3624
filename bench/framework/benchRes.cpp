// Item lookup in a full container: the skin holds close to the 1000-item
// limit, and a lookup of a different item each time defeats the one-entry
// memory, so every call is a linear scan.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "core/files/uloPathNames.h"
#include "framework/res/uloRes.h"

namespace {

void BM_ContainerLookup1000(benchmark::State& state) {
  char tmpl[] = "/tmp/benchres.XXXXXX";
  const char* dir = mkdtemp(tmpl);
  if (!dir) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string sys = std::string(dir) + "/b.xrs";
  char ulo[kUloPathMax];
  ULO_SystemPathToUloPath(sys.c_str(), ulo, sizeof ulo);
  const int32_t types[4] = {ULO_FourCC("MPIX"), ULO_FourCC("PX16"), ULO_FourCC("PXMK"), ULO_FourCC("LAYA")};
  {
    UloResFile r;
    r.SetWorkName(ulo);
    r.Create();
    for (int i = 0; i < 1000; i++) r.SaveData(&i, 4, types[i % 4], i / 4);
  }
  UloResFile r;
  r.SetWorkName(ulo);
  r.readOnly = 1;
  if (!r.Open()) {
    state.SkipWithError("container did not open");
    return;
  }
  uint32_t seed = 99;
  int64_t found = 0;
  for (auto _ : state) {
    seed = seed * 1664525u + 1013904223u;
    const int i = int(seed >> 8) % 1000;
    found += r.GetDataLen(types[i % 4], i / 4);
  }
  benchmark::DoNotOptimize(found);
  r.Close();
  unlink(sys.c_str());
  rmdir(dir);
}
BENCHMARK(BM_ContainerLookup1000);

}  // namespace
