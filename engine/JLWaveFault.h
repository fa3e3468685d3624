// What the rest of the program may know of loop files without reaching
// into the engine: why a loop file does not play as it is (kept per
// registered loop by the loader and handed to the interface once by
// JLEngine::takeLoadFailure, which words it for the user), the rates a loop
// may have, and how a float sample becomes a 16-bit one. Any thread.
#pragma once
#include <cstdint>

enum WaveFault : int32_t {
  kWaveFine = 0,
  kWaveUnreadable = 1,  // missing, not a regular file, or no sound file libsndfile reads
  kWaveEmpty = 2,       // a sound file without a single frame
  kWaveCut = 3,         // its sound data ends before its header says; plays what is there
  kWaveRate = 4,        // a sample rate that could not be converted to the engine's
};

// Rates a loop may have; beyond them it is refused (kWaveRate).
constexpr int kLoopMinRate = 1000;
constexpr int kLoopMaxRate = 1536000;

// A sample with full scale 1 as 16 bits, rounded; beyond full scale (and
// NaN, as 0) it clips instead of wrapping into noise.
int16_t ToSample16(double x);
