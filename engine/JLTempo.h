// Band-limited interpolation for the master tempo resampler.
//
// A Kaiser-windowed sinc, tabulated at kTempoPhases fractional positions
// (linear interpolation between neighbouring phases), low-pass at the
// output's Nyquist frequency: when the tempo rises the kernel widens by the
// ratio so nothing folds back. Tables are built on the UI thread whenever
// the ratio's width class changes and handed to the audio thread through
// three fixed slots, so the audio thread never allocates or waits.
//
// Threads: JLTempoPrepare on the UI or a render thread (callers are
// serialised); JLTempoAcquire, JLTempoInterpolate and JLTempoRun on the
// audio thread, which never waits.
#pragma once
#include <cstdint>

constexpr int kTempoPhases = 1024;
constexpr int kTempoMaxTaps = 144;   // multiple of 8
constexpr int kTempoHistory = 80;    // frames kept before the read position

struct JLTempoKernel {
  float width = 0;  // 1 for slower tempos, else the ratio rounded up
  int taps = 0;     // multiple of 8, the last ones may be zero
  int half = 0;     // tap k reads frame floor(pos) + k - half + 1
  alignas(32) float coef[(kTempoPhases + 1) * kTempoMaxTaps];
};

// The width class a ratio (input frames per output frame) needs.
float JLTempoWidth(double ratio);
// Makes the published kernel suit `ratio`; cheap when it already does.
// Returns 0.
int JLTempoPrepare(double ratio);
// AUDIO. The kernel last published (nullptr before the first Prepare); it
// stays valid until the next call.
const JLTempoKernel* JLTempoAcquire();
// AUDIO. One stereo frame at position `frac` (0..1) past frame x[half - 1]:
// x points at the kernel's first tap in planar float buffers.
void JLTempoInterpolate(const JLTempoKernel& k, const float* xl, const float* xr, float frac, float* outL,
                        float* outR);
// AUDIO. m output frames (16 bits, stereo, clipped) from planar floats
// whose read position is frame 0, with the kernel's history behind it and
// its reach ahead of the last position. The position's fraction is *acc /
// den and moves num / den per frame; returns the whole frames it moved.
int64_t JLTempoRun(const JLTempoKernel& k, const float* xl, const float* xr, int64_t* acc, int64_t num,
                   int64_t den, int m, int16_t* out);
// The same with float output, unclipped (measurements).
int64_t JLTempoRunFloat(const JLTempoKernel& k, const float* xl, const float* xr, int64_t* acc, int64_t num,
                        int64_t den, int m, float* out);
