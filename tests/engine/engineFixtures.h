// Shared fixtures for the engine tests: WAV files with known content and a
// harness that runs the engine with no device and no loader thread, pulling
// blocks and making the loader's visits on the test thread.
#pragma once
#include <cstdint>
#include <functional>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/tempFolder.h"

namespace enginetest {

constexpr int kBeat = 22050;  // frames per beat at 120 BPM, 44100 Hz
constexpr int kSync = 32 * kBeat;

// Sample value of frame i for a content id: even, nonzero and different
// for every frame of a loop and every loop, so halving it is exact and any
// phase or loop mix-up shows. Right channel is the negation.
inline int16_t marker(int id, int64_t i) { return int16_t(2 * ((i * 7 + id * 1013) % 9973 + 1)); }

// Canonical 44-byte header followed by `frames` frames of marker(id, i).
// dataBytesOverride replaces the count stored at offset 40.
std::string wavBytes(int id, int frames, int channels = 2, int64_t dataBytesOverride = -1);
std::string wavFrom(const std::vector<int16_t>& interleaved, int channels);

// SDL_AUDIODRIVER set to `value` for the object's life (the dummy driver
// starts an engine with no device; an unknown one makes it find none).
struct ScopedDriver {
  explicit ScopedDriver(const char* value) {
    const char* old = getenv("SDL_AUDIODRIVER");
    had = old != nullptr;
    if (had) saved = old;
    setenv("SDL_AUDIODRIVER", value, 1);
  }
  ~ScopedDriver() {
    if (had) setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    else unsetenv("SDL_AUDIODRIVER");
  }
  bool had;
  std::string saved;
};

struct Loop {
  std::string path;
  int frames;
  int id;
};

// Runs the engine on the test thread: configured at 44100 Hz and 120 BPM,
// armed with manual feed, loops registered in order (sample n = variant n + 1).
class Harness {
 public:
  explicit Harness(int songBpm = 120);
  ~Harness();
  // Registers a loop of `frames` frames with the given divisor; returns its
  // 1-based variant number.
  int addLoop(int id, int frames, int divisor, int channels = 2);
  int addFile(const std::string& name, const std::string& bytes, int divisor);
  // Mixes one 2048-frame block (then lets the loader visit every track),
  // appending the interleaved output.
  void block(std::vector<int16_t>& out);
  void blocks(int n, std::vector<int16_t>& out);
  // Mixes until TimeLine reaches `pos` (a multiple of 2048).
  void runTo(int32_t pos, std::vector<int16_t>& out);
  TempFolder folder;

 private:
  int next_ = 0;
};

}  // namespace enginetest
