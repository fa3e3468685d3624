// Time-stretching that keeps the pitch: Rubber Band in its offline mode
// with the finer engine, channels processed together so the stereo image
// holds. Used where a tempo change must not move the key (the renderer's
// --keep-pitch, the quality bench).
//
// Threads: any but the audio thread (it allocates and takes its time).
// Failure: false with `out` empty, for a bad length or a library refusal.
#pragma once
#include <cstdint>
#include <vector>

// Stretches `frames` interleaved stereo frames to exactly `outFrames`.
bool JL_StretchKeepPitch(const int16_t* in, int64_t frames, int64_t outFrames, std::vector<int16_t>& out,
                         int rate = 44100);

// The same for a loop that repeats: it is stretched as it sounds repeated,
// and the few frames after its end are blended into its start, so the
// result is exactly `outFrames` long and joins itself without a step.
// Works for loops of any length, also shorter than the stretcher's window.
bool JL_StretchLoop(const int16_t* in, int64_t frames, int64_t outFrames, std::vector<int16_t>& out,
                    int rate = 44100);
