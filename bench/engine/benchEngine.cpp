// Cost of one 2048-frame output request with eight tracks playing at 1.3
// times the song tempo (the heaviest case: 2662 mixed frames per request),
// alone and with the synth's 16 voices sounding and the user loop playing.
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
#include "engine/synth/Synth.h"
#include "engine/userloop/Elast.h"

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

// Two-second notes at eight steps per beat: once 16 steps have passed,
// every one of the 16 voices is sounding.
void writeSynthSet(const std::string& dir, std::vector<std::string>& files) {
  static const char* const names[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};
  for (int k = 0; k < 36; ++k) {
    const std::string from = writeLoop(dir, 100 + k, 2 * 44100);
    const std::string to = dir + "/" + names[k % 12] + char('2' + k / 12) + ".wav";
    rename(from.c_str(), to.c_str());
    files.push_back(to);
  }
}

enum Extras { kPlain = 0, kSynth = 1, kUserLoop = 2, kOriginalTempo = 4 };

void runGetResampled(benchmark::State& state, int extras) {
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
  SetTempoQuality(extras & kOriginalTempo ? kTempoOriginal : kTempoHigh);
  SetMixBPM(156000);
  std::vector<int16_t> out(2 * 2048);
  if (extras & kSynth) {
    InitSynth(&RealtimeSynth, &SynthSamps);
    SetSynthBPM(&RealtimeSynth, BPM.load());
    writeSynthSet(dir, files);
    SetSynth(&SynthSamps, (dir + "/").c_str());
    SetSynthPoly(&RealtimeSynth, 16);
    SetSynthVolume(&RealtimeSynth, 40);
    ArpeggiatorOn(&RealtimeSynth, 0, 8, "c1d#1g1a#1c2d#2g2a#2c3", TimeLine.load());
  }
  if (extras & kUserLoop) {
    Elast_Init();
    files.push_back(writeLoop(dir, 50, 4 * 4 * 22050));
    Elast_Load(files.back().c_str());
    // A speed that is not 1 takes the interpolating path.
    const jlUserLoopSettingsRec s = {true, 4, 1.0f, 0.8f, 1.1f, 0.0f, 0.0f, 100.0f};
    Elast_Params(&s);
  }
  for (int k = 0; k < 64; ++k) {  // the arpeggio fills its 16 voices
    GetResampled(out.data(), 2048);
    LoaderVisitAll();
  }
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
  if (extras & kSynth) {
    int sounding = 0;
    for (const SYNTHVOICE& v : RealtimeSynth.voices) sounding += v.start != -1 && v.note >= 0;
    state.counters["voices"] = sounding;
    ArpeggiatorOff(&RealtimeSynth);
    FreeSynth(&SynthSamps);
  }
  if (extras & kUserLoop) {
    Elast_Replace(nullptr, 0, 2, false);
    Elast_Exit();
  }
  SetTempoQuality(kTempoHigh);
  StopPlay();
  wDBSetManualFeed(false);
  ResetSongVTracks();
  for (const std::string& f : files) unlink(f.c_str());
  rmdir(dir.c_str());
}

void BM_GetResampled8TracksAt130Percent(benchmark::State& state) { runGetResampled(state, kPlain); }
void BM_GetResampled8TracksAt130PercentSynth16(benchmark::State& state) {
  runGetResampled(state, kSynth);
}
void BM_GetResampled8TracksAt130PercentUserLoop(benchmark::State& state) {
  runGetResampled(state, kUserLoop);
}
void BM_GetResampled8TracksAt130PercentSynth16UserLoop(benchmark::State& state) {
  runGetResampled(state, kSynth | kUserLoop);
}
void BM_GetResampled8TracksAt130PercentOriginalTempo(benchmark::State& state) {
  runGetResampled(state, kOriginalTempo);
}
BENCHMARK(BM_GetResampled8TracksAt130Percent)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetResampled8TracksAt130PercentOriginalTempo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetResampled8TracksAt130PercentSynth16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetResampled8TracksAt130PercentUserLoop)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetResampled8TracksAt130PercentSynth16UserLoop)->Unit(benchmark::kMicrosecond);

}  // namespace
