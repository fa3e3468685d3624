// Why a loop file does not play as it is: kept per registered loop by the
// loader and handed to the interface once (JLEngine::takeLoadFailure), which
// words it for the user. Plain values, no thread rules.
#pragma once
#include <cstdint>

enum WaveFault : int32_t {
  kWaveFine = 0,
  kWaveUnreadable = 1,  // missing, not a regular file, or no sound file libsndfile reads
  kWaveEmpty = 2,       // a sound file without a single frame
  kWaveCut = 3,         // its sound data ends before its header says; plays what is there
  kWaveRate = 4,        // a sample rate that could not be converted to the engine's
};
