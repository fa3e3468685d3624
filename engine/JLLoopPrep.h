// Getting loop files ready before they play. A song's loops are checked
// once when it is loaded: what the file really holds (whatever its chunk
// order, sample format or channel count), whether its sound data is cut
// short, and its rate. A loop at another rate than the engine's is
// converted with a band-limited resampler (libsoxr, very high quality), as
// it sounds repeated so its ends join without a click, into a 16-bit copy
// in the private loop cache, which the loader then streams
// like any loop; the copy is kept under a name made from the file's
// identity, so loading the song again reuses it. Whole-file reads (the user
// loop, synth notes) convert in memory the same way.
//
// Threads: the user-interface thread (song, user-loop and synth-set
// loading); never the audio thread. Failures never throw: they come back as
// a WaveFault (see AudioFormat.h).
#pragma once
#include <cstdint>
#include <string>

#include "engine/JLWaveFault.h"

struct JLLoopPrep {
  std::string playPath;  // what to stream: the file itself or its converted copy
  int64_t frames = 0;    // at the engine's rate; 0 when it cannot play
  int channels = 0;      // the file's own
  int rate = 0;          // the file's own
  int32_t fault = 0;     // WaveFault; kWaveCut still plays what is there
};

// A converted copy never holds more than this many seconds.
constexpr int kLoopMaxConvertedSeconds = 600;

// Checks the loop file at `path` (a system path) and converts it when its
// rate is not `engineRate`. On kWaveUnreadable, kWaveEmpty and kWaveRate
// playPath is still the file itself, so the loader names it when played.
JLLoopPrep JL_PrepareLoop(const char* path, int engineRate);

// Reads a whole sound file as 16-bit frames at `engineRate`, with the
// file's channel count (1, or 2 for two or more), at most `maxFrames` of
// them and at most `maxBytes` of samples. A `looped` file is converted as
// it sounds repeated (its ends joined), a one-shot as it is. Returns an M_alloc block (the caller frees it with M_free) and sets
// *channels and *frames, or null with *fault set (and the outputs untouched);
// kWaveFine there means the memory ran out.
int16_t* JL_ReadWholeLoop(const char* path, int engineRate, int64_t maxFrames, int64_t maxBytes, bool looped,
                          int* channels, int32_t* frames, int32_t* fault);

// The folder of converted copies, created (private to the user) when
// missing: $XDG_CACHE_HOME/jamloom/loops/ with a trailing '/'. Empty when
// it cannot be made.
std::string JL_LoopCacheFolder();
// Removes the least recently used copies until the folder holds at most
// `keepBytes`, once it holds more than `maxBytes`; also leftovers of
// conversions that never finished. Creates nothing. Returns the bytes removed.
int64_t JL_TrimLoopCache(int64_t maxBytes, int64_t keepBytes);
