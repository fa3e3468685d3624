// Start-up cost of the skin's cast list: opening a container that holds
// 1000 cast headers and parsing them (one 104-byte read and four lookups
// per cast). Budget: 20 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>

#include "core/files/uloPathNames.h"
#include "framework/casts/uloCasts.h"
#include "framework/res/uloRes.h"

namespace {

std::string makeContainer(int casts) {
  char sys[64];
  snprintf(sys, sizeof sys, "/tmp/jlbench-casts-%d.xrs", int(getpid()));
  unlink(sys);
  char ulo[kUloPathMax];
  ULO_SystemPathToUloPath(sys, ulo, sizeof ulo);
  UloResFile res;
  res.SetWorkName(ulo);
  if (!res.Create()) return "";
  for (int i = 0; i < casts; i++) {
    castHeaderRec h;
    h.width = int16_t(16 + i % 64);
    h.height = 16;
    for (int d = 0; d < kCastDepths; d++) h.depths[d].rowBytes = int16_t(h.width * (d == 1 ? 2 : d == 2 ? 4 : 1));
    uint8_t raw[kCastHeaderSize];
    ULO_CastHeaderToBytes(h, raw);
    // Ids scattered like a real skin's, not in table order.
    if (!res.SaveData(raw, kCastHeaderSize, uloCastHeaderType, (i * 7919) % 100000)) return "";
  }
  res.Close();
  return ulo;
}

void BM_ParseCastHeaders(benchmark::State& state) {
  const std::string path = makeContainer(int(state.range(0)));
  if (path.empty()) {
    state.SkipWithError("cannot write the container");
    return;
  }
  for (auto _ : state) {
    UloResFile res;
    res.SetWorkName(path.c_str());
    res.readOnly = 1;
    res.Open();
    UloCasts casts;
    casts.resFile = &res;
    casts.ParseResources();
    benchmark::DoNotOptimize(casts.count);
    casts.UnloadResources();
  }
  char sys[kUloPathMax];
  ULO_UloPathToSystemPath(path.c_str(), sys, sizeof sys);
  unlink(sys);
}
BENCHMARK(BM_ParseCastHeaders)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
