// Song loading as the groove panel does it: a descriptor of 64 loops whose
// files differ in case from their names (so every loop goes through the
// loose matcher), then registration; and the song load panel's header-only
// reading of 64 songs. Budgets: 50 ms for the song, 100 ms for the 64
// headers.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/files/uloPathNames.h"
#include "engine/JLEngine.h"
#include "song/JLSongLibrary.h"
#include "song/JLSongLoading.h"

namespace {

const char* kGroups[8] = {"drums", "hats", "bass", "pad", "lead", "fx", "vox", "perc"};

std::string benchRoot() {
  static std::string root = [] {
    std::string r = "/tmp/jlbench-song-" + std::to_string(getpid()) + "/";
    mkdir(r.c_str(), 0755);
    return r;
  }();
  return root;
}

void writeFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

std::string descriptor(const std::string& title, int loops) {
  std::string d = "JAMLOOM-JLS-1.2\nSONGLIBRARY: Bench\nSONGTITLE: " + title +
                  "\nSONGDESCRIPTION: A song for measuring\nover two lines\nSONGBPM: 125\nSONGMIX: 0\n"
                  "ARPNOTE: C3 E3 G3\nLONGCOMMAND: CATEGORYLIST: 8\n";
  for (const char* g : kGroups) d += std::string(g) + "\n";
  d += "ENDCOMMAND:\nLONGCOMMAND: RANDOMSET: 2\nfull 8 drums hats bass pad lead fx vox perc\n"
       "light 3 pad fx vox\nENDCOMMAND:\nLONGCOMMAND: SONGTRACKS: " +
       std::to_string(loops) + "\n";
  for (int i = 0; i < loops; ++i) {
    char line[96];
    snprintf(line, sizeof line, "%s%02d 100 63 %d Variant%d\n", kGroups[i % 8], i / 8 + 1, 1 << (i % 3), i);
    d += line;
  }
  d += "ENDCOMMAND:\nLONGCOMMAND: SONGVMIX: 8 16 groove\n";
  for (const char* g : kGroups) d += std::string(g) + "\n";
  for (int r = 0; r < 16; ++r) d += "0 1 2 3 4 5 6 7\n";
  d += "ENDCOMMAND:\n";
  return d;
}

// Song folder as an internal path, with its loops (upper-case names, ".WAV").
std::string makeSong(const std::string& name, int loops, bool withLoops) {
  std::string sys = benchRoot() + "Library/";
  mkdir(sys.c_str(), 0755);
  sys += "Song/";
  mkdir(sys.c_str(), 0755);
  sys += name + "/";
  mkdir(sys.c_str(), 0755);
  writeFile(sys + "info.jls", descriptor(name, loops));
  for (int i = 0; withLoops && i < loops; ++i) {
    std::string file = std::string(kGroups[i % 8]) + (i / 8 + 1 < 10 ? "0" : "") + std::to_string(i / 8 + 1);
    for (char& c : file) c = (char)toupper((unsigned char)c);
    writeFile(sys + file + ".WAV", std::string(44, '\0'));
  }
  char ulo[kUloPathMax];
  ULO_SystemPathToUloPath(sys.c_str(), ulo, sizeof ulo);
  return ulo;
}

struct CountingEngine {
  int added = 0;
  void stop() {}
  void setMixerFrequency(long) {}
  void samplesListReset() { added = 0; }
  void samplesBpm(float) {}
  short samplesListAdd(const char*, short) { return (short)(++added, 0); }
};

void BM_LoadSong64Loops(benchmark::State& state) {
  std::string folder = makeSong("Song64", 64, true);
  auto lib = std::make_unique<JLSongLibrary>();
  CountingEngine engine;
  for (auto _ : state) {
    if (!JL_LoadSong(engine, *lib, folder.c_str()) || engine.added != 64) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(lib->groups[0].count);
  }
}
BENCHMARK(BM_LoadSong64Loops)->Unit(benchmark::kMillisecond);

// The same with the real engine facade (no output device is opened).
void BM_LoadSong64LoopsIntoEngine(benchmark::State& state) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  std::string folder = makeSong("Song64", 64, true);
  auto lib = std::make_unique<JLSongLibrary>();
  auto engine = std::make_unique<JLEngine>();
  engine->init();
  JLEngine* was = gep;
  gep = engine.get();
  for (auto _ : state) {
    if (!JL_LoadSongIntoEngine(*lib, folder.c_str())) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(lib->trackCount);
  }
  gep->stop();
  gep->exit();
  gep = was;
}
BENCHMARK(BM_LoadSong64LoopsIntoEngine)->Unit(benchmark::kMillisecond);

void BM_HeaderOnly64Songs(benchmark::State& state) {
  std::string folders[64];
  for (int i = 0; i < 64; ++i) folders[i] = makeSong("Head" + std::to_string(i), 64, false);
  auto lib = std::make_unique<JLSongLibrary>();
  lib->headerOnly = 1;
  for (auto _ : state) {
    for (const std::string& f : folders)
      if (!lib->load(f.c_str()) || lib->songBpm != 125) state.SkipWithError("load failed");
  }
}
BENCHMARK(BM_HeaderOnly64Songs)->Unit(benchmark::kMillisecond);

}  // namespace
