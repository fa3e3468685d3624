// Time-stretching that keeps the pitch: Rubber Band in its offline mode
// with the finer engine, channels processed together so the stereo image
// holds. Used where a tempo change must not move the key (the live
// keep-pitch loops of JLStretch, the renderer's --keep-pitch, the bench).
//
// Threads: any but the audio thread (it allocates and takes its time).
// Failure: false with `out` empty, for a bad length or a library refusal.
#pragma once
#include <cstdint>
#include <functional>
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

// The pitches JL_PitchLoop makes (an octave either way).
constexpr double kPitchLoopLowest = 0.5;
constexpr double kPitchLoopHighest = 2.0;

// A loop that repeats, shifted in pitch by `pitch` (0.5 .. 2) with its
// length kept: `frames` frames in, exactly `frames` out, the result joins
// itself. The stretcher hears a second of the loop's own repetition either
// side, so its start and end sound as they do in the middle of a loop.
// `cancelled`, when given, is asked between chunks; a true answer ends the
// work early with false (and `out` empty).
bool JL_PitchLoop(const int16_t* in, int64_t frames, double pitch, std::vector<int16_t>& out, int rate = 44100,
                  const std::function<bool()>& cancelled = {});
