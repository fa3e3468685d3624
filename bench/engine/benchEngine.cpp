// Cost of one 2048-frame output request with eight tracks playing at 1.3
// times the song tempo (the heaviest case: 2662 mixed frames per request).
// Reported as a real-time factor: seconds of audio produced per CPU second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"

namespace {

std::string writeLoop(const std::string& dir, int id, int frames) {
  const std::string path = dir + "/loop" + std::to_string(id) + ".wav";
  std::vector<int16_t> d(size_t(frames) * 2);
  for (int i = 0; i < frames; ++i) {
    d[2 * i] = int16_t((i * (id + 3)) % 20000 - 10000);
    d[2 * i + 1] = int16_t((i * (id + 5)) % 16000 - 8000);
  }
  FILE* f = fopen(path.c_str(), "wb");
  unsigned char h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                         1,   0,   2,   0,   0x44, 0xac, 0, 0, 0x10, 0xb1, 2, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a'};
  const uint32_t bytes = uint32_t(frames) * 4;
  for (int k = 0; k < 4; ++k) h[40 + k] = uint8_t(bytes >> (8 * k));
  fwrite(h, 1, 44, f);
  fwrite(d.data(), 4, size_t(frames), f);
  fclose(f);
  return path;
}

void BM_GetResampled8TracksAt130Percent(benchmark::State& state) {
  char tmpl[] = "/tmp/jlbenchXXXXXX";
  const std::string dir = mkdtemp(tmpl);
  StopPlay();
  SetRealtimeFreq(44100);
  SetSongBPM(120);
  ResetSongVTracks();
  MasterVolume(100);
  std::vector<std::string> files;
  for (int i = 0; i < 8; ++i) {
    files.push_back(writeLoop(dir, i, 4 * 22050));
    AddSongVTrack(files.back().c_str(), 8, 0);
  }
  wDBSetManualFeed(true);
  BeginPlay();
  TrackPlay(1, 1);
  for (int t = 2; t <= 8; ++t) TrackPlay(t, t);
  LoaderVisitAll();
  for (int t = 1; t <= 8; ++t) TrackPan(t, 20 + 12 * t);
  SetMixBPM(156000);
  std::vector<int16_t> out(2 * 2048);
  for (auto _ : state) {
    GetResampled(out.data(), 2048);
    benchmark::DoNotOptimize(out.data());
    // The loader's work is disk streaming, not the audio thread's; keep
    // the rings full outside the measurement.
    state.PauseTiming();
    LoaderVisitAll();
    state.ResumeTiming();
  }
  const double audioSeconds = double(state.iterations()) * 2048 / 44100.0;
  // Real-time factor: audio seconds per CPU second.
  state.counters["x_realtime"] =
      benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
  StopPlay();
  wDBSetManualFeed(false);
  ResetSongVTracks();
  for (const std::string& f : files) unlink(f.c_str());
  rmdir(dir.c_str());
}
BENCHMARK(BM_GetResampled8TracksAt130Percent)->Unit(benchmark::kMicrosecond);

}  // namespace
