// Any bytes as a loop file: the header reader must report a frame count the
// file really backs, and streaming the file through a track must stay in
// bounds whatever the channel count and data size say.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/AudioFormat.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"

namespace {
std::string scratchPath() {
  static std::string path = [] {
    char tmpl[] = "/tmp/fuzz_openwaveXXXXXX";
    const int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    return std::string(tmpl);
  }();
  return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = scratchPath();
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size) fwrite(data, 1, size, f);
  fclose(f);

  int ch = 0, frames = 0;
  const int h = OpenWave(path.c_str(), &ch, &frames);
  if (h < 0) return 0;
  const long avail = size > 44 ? long(size) - 44 : 0;
  if (frames < 0 || long(frames) * (ch == 2 ? 4 : 2) > avail) abort();
  F_close(h);

  // Stream it: arm, start a track on it, mix a few blocks.
  static bool once = [] {
    SetRealtimeFreq(44100);
    wDBSetManualFeed(true);
    return true;
  }();
  (void)once;
  StopPlay();
  SetSongBPM(120 + int(size % 60));
  ResetSongVTracks();
  AddSongVTrack(path.c_str(), size % 3 ? int(size % 33) : 0, 0);
  if (BeginPlay() != 0) return 0;
  TrackPlay(1, 1);
  static int16_t out[2 * 2048];
  for (int k = 0; k < 4; ++k) {
    GetResampled(out, 2048);
    LoaderVisitAll();
  }
  StopPlay();
  return 0;
}
