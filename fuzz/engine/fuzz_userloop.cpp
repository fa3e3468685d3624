// Any bytes as a user-loop file, with the loop tuner's settings taken from
// the input's first bytes: loading keeps only what the file backs, and
// playing it at any speed, region, phase and cycle stays inside the loop
// and the work buffers.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/AudioFormat.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/userloop/Elast.h"

namespace {
std::string scratchPath() {
  static std::string path = [] {
    char tmpl[] = "/tmp/fuzz_userloopXXXXXX";
    const int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    return std::string(tmpl);
  }();
  return path;
}

constexpr size_t kSettingsBytes = 24;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool once = [] {
    SetRealtimeFreq(44100);
    wDBSetManualFeed(true);
    Elast_Init();
    ElastLoadLimitBytes = 1 << 20;
    return true;
  }();
  (void)once;
  if (size < kSettingsBytes) return 0;
  jlUserLoopSettingsRec s = {};
  s.on = true;
  int16_t bars;
  memcpy(&bars, data, 2);
  s.bars = bars;
  memcpy(&s.phase, data + 4, 4);
  memcpy(&s.volume, data + 8, 4);
  memcpy(&s.rate, data + 12, 4);
  memcpy(&s.startPercent, data + 16, 4);
  memcpy(&s.endPercent, data + 20, 4);

  const std::string path = scratchPath();
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size > kSettingsBytes) fwrite(data + kSettingsBytes, 1, size - kSettingsBytes, f);
  fclose(f);

  const bool ok = Elast_Load(path.c_str());
  if (ok) {
    // A take at a lower rate is converted to the engine's rate when loaded,
    // so it may hold more than the file: only the load limit bounds it.
    const int64_t held = int64_t(elastGlobalData.frames) * 2 * elastGlobalData.channels;
    if (held <= 0 || held > ElastLoadLimitBytes) abort();
  }
  Elast_Params(&s);

  StopPlay();
  SetSongBPM(60 + int(size % 200));
  ResetSongVTracks();
  if (BeginPlay() != 0) return 0;
  TimeLine.store(int32_t((size * 7919) % 1000000));
  static int16_t out[2 * 2048];
  for (int k = 0; k < 3; ++k) GetSamples(out, 2048);
  StopPlay();
  return 0;
}
