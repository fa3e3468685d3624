// What a loop costs when its song is loaded: a loop at the engine's rate is
// only checked; a 48 kHz loop is converted into the loop cache the first
// time and found there every time after. One 8-beat stereo loop at 120 BPM
// (4 s), 24-bit.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/JLLoopPrep.h"

namespace {

struct Scratch {
  Scratch() {
    char tmpl[] = "/tmp/jlbenchprepXXXXXX";
    dir = mkdtemp(tmpl);
    setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
  }
  ~Scratch() {
    if (system(("rm -rf '" + dir + "'").c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir.c_str());
    unsetenv("XDG_CACHE_HOME");
  }
  std::string write(int rate) {
    const std::string path = dir + "/loop" + std::to_string(rate) + ".wav";
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    const int frames = 4 * rate;
    std::vector<float> s(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i) s[2 * size_t(i)] = s[2 * size_t(i) + 1] = 0.4f * std::sin(0.05f * float(i));
    sf_writef_float(f, s.data(), frames);
    sf_close(f);
    return path;
  }
  std::string dir;
};

void BM_PrepareLoopNative(benchmark::State& state) {
  Scratch s;
  const std::string path = s.write(44100);
  for (auto _ : state) benchmark::DoNotOptimize(JL_PrepareLoop(path.c_str(), 44100).frames);
}
BENCHMARK(BM_PrepareLoopNative)->Unit(benchmark::kMillisecond);

void BM_PrepareLoopConverted48k(benchmark::State& state) {
  Scratch s;
  const std::string path = s.write(48000);
  for (auto _ : state) {
    const JLLoopPrep p = JL_PrepareLoop(path.c_str(), 44100);
    state.PauseTiming();
    unlink(p.playPath.c_str());  // the next round converts again
    state.ResumeTiming();
  }
  // Seconds of loop converted per second.
  state.counters["x_realtime"] = benchmark::Counter(4.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PrepareLoopConverted48k)->Unit(benchmark::kMillisecond);

void BM_PrepareLoopConvertedAgain48k(benchmark::State& state) {
  Scratch s;
  const std::string path = s.write(48000);
  JL_PrepareLoop(path.c_str(), 44100);
  for (auto _ : state) benchmark::DoNotOptimize(JL_PrepareLoop(path.c_str(), 44100).frames);
}
BENCHMARK(BM_PrepareLoopConvertedAgain48k)->Unit(benchmark::kMillisecond);

}  // namespace
