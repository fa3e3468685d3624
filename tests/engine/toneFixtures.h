// Sine loops and the measures the keep-pitch tests take of them: frequency
// from zero crossings, cents, the largest step between frames, where
// sounds begin; and the output pulled through the tempo resampler.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/Mixer.h"

namespace tonetest {

// Interleaved stereo frames of a sine at 44100 Hz, both channels alike.
inline std::vector<int16_t> sineLoop(int frames, double hz, double amp) {
  std::vector<int16_t> d;
  for (int i = 0; i < frames; ++i) {
    const int16_t v = int16_t(std::lround(amp * std::sin(2 * M_PI * hz * i / 44100.0)));
    d.push_back(v);
    d.push_back(v);
  }
  return d;
}

// Frequency of the left channel over frames [a, b) from its first and last
// upward zero crossings (interpolated).
inline double measuredHz(const std::vector<int16_t>& s, int64_t a, int64_t b) {
  double first = -1, last = -1;
  int count = 0;
  for (int64_t i = a; i + 1 < b; ++i) {
    const double x0 = s[size_t(2 * i)], x1 = s[size_t(2 * i + 2)];
    if (x0 < 0 && x1 >= 0) {
      const double t = double(i) + (-x0) / (x1 - x0);
      if (first < 0)
        first = t;
      else
        ++count;
      last = t;
    }
  }
  return count > 0 ? count * 44100.0 / (last - first) : 0;
}

inline double cents(double hz, double ref) { return 1200.0 * std::log2(hz / ref); }

// Largest step between neighbouring frames of the left channel in [a, b).
inline int largestStep(const std::vector<int16_t>& s, int64_t a, int64_t b) {
  int worst = 0;
  for (int64_t i = a + 1; i < b; ++i) worst = std::max(worst, std::abs(s[size_t(2 * i)] - s[size_t(2 * i - 2)]));
  return worst;
}

// The same over a whole loop, the join (last frame to first) included.
inline int largestStepAround(const std::vector<int16_t>& s) {
  const int64_t n = int64_t(s.size() / 2);
  return std::max(largestStep(s, 0, n), std::abs(s[0] - s[size_t(2 * (n - 1))]));
}

// Where each sound begins: the first frame whose left sample passes
// `threshold` after at least `quiet` frames that do not.
inline std::vector<int64_t> onsetsAbove(const std::vector<int16_t>& s, int threshold, int64_t quiet) {
  std::vector<int64_t> at;
  int64_t still = quiet;
  for (size_t i = 0; i < s.size() / 2; ++i) {
    if (std::abs(s[2 * i]) > threshold) {
      if (still >= quiet) at.push_back(int64_t(i));
      still = 0;
    } else {
      ++still;
    }
  }
  return at;
}

// Output at the playing tempo through the tempo resampler, in requests of
// `request` frames (a device's), the loader's visit after each.
inline void playOut(int64_t frames, std::vector<int16_t>& out, int request = 512) {
  for (int64_t done = 0; done < frames; done += request) {
    const size_t at = out.size();
    out.resize(at + 2 * size_t(request));
    GetResampled(out.data() + at, request);
    LoaderVisitAll();
  }
}

}  // namespace tonetest
