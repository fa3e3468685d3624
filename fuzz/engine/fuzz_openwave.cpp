// Any bytes as a loop file: the reader must report a frame count the file
// really backs and decode it in bounds; the check made at song load (chunk
// walk, conversion of other rates into the loop cache) and the whole-file
// read of user loops and synth notes must survive it; and streaming the
// file through a track must stay in bounds whatever its header says.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/AudioFormat.h"
#include "engine/JLLoopPrep.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"

namespace {
std::string scratchFolder() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/fuzz_openwaveXXXXXX";
    const char* d = mkdtemp(tmpl);
    std::string s = d ? std::string(d) + "/" : std::string("/tmp/");
    // Converted copies go to a cache of the fuzzer's own.
    setenv("XDG_CACHE_HOME", (s + "cache").c_str(), 1);
    return s;
  }();
  return dir;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = scratchFolder() + "loop.wav";
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size) fwrite(data, 1, size, f);
  fclose(f);

  WaveInfo info;
  if (WaveFile* w = OpenWave(path.c_str(), &info)) {
    if (info.frames < 0 || info.channels < 1 || info.rate < 1) abort();
    static int16_t buf[2 * 4096];
    int64_t total = 0;
    for (int got; total < (int64_t(1) << 22) && (got = ReadWave(w, buf, 4096, 2)) > 0;) total += got;
    // Back to a frame the loader may ask for, and read on from there.
    if (info.frames > 0 && SeekWave(w, info.frames / 2)) ReadWave(w, buf, 4096, 1);
    CloseWave(w);
  }

  const JLLoopPrep prep = JL_PrepareLoop(path.c_str(), 44100);
  if (prep.fault == kWaveFine && prep.frames <= 0) abort();
  if (prep.playPath != path) {
    // A converted copy: exactly at the engine's rate and of the reported length.
    WaveInfo copy;
    WaveFile* c = OpenWave(prep.playPath.c_str(), &copy);
    if (!c || copy.rate != 44100 || copy.frames != prep.frames) abort();
    CloseWave(c);
    unlink(prep.playPath.c_str());
  }
  int ch = 0;
  int32_t frames = 0, fault = 0;
  if (int16_t* whole = JL_ReadWholeLoop(path.c_str(), 44100, 1 << 16, 1 << 18, size % 2 == 0, &ch, &frames, &fault)) {
    if ((ch != 1 && ch != 2) || frames <= 0 || int64_t(frames) * ch * 2 > (1 << 18)) abort();
    M_free(whole);
  }

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
  if (VTracks[0].name[0] && std::string(VTracks[0].name) != path) unlink(VTracks[0].name);
  return 0;
}
