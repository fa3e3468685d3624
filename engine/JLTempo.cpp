#include "engine/JLTempo.h"

#include <atomic>
#include <cmath>

namespace {

JLTempoKernel slots[3];
std::atomic<int> published{-1};
std::atomic<int> inUse{-1};

// Attenuation 110 dB: the stop band sits 0.035 of the sample rate either
// side of the cutoff, so tones up to 0.465 of the output rate stay clean.
constexpr double kBeta = 11.16;  // 0.1102 * (110 - 8.7)
constexpr double kHalfWidth = 51.0;

double besselI0(double x) {
  double sum = 1.0, term = 1.0;
  const double q = x * x / 4.0;
  for (int k = 1; k < 60; ++k) {
    term *= q / (double(k) * double(k));
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

void build(JLTempoKernel& k, float width) {
  const double s = width;
  int half = int(std::ceil(kHalfWidth * s));
  if (half > kTempoMaxTaps / 2) half = kTempoMaxTaps / 2;
  const int taps = (2 * half + 7) / 8 * 8;
  const double fc = 0.5 / s;  // cycles per input frame
  const double i0b = besselI0(kBeta);
  for (int p = 0; p <= kTempoPhases; ++p) {
    float* row = k.coef + p * kTempoMaxTaps;
    const double frac = double(p) / kTempoPhases;
    double sum = 0.0;
    double vals[kTempoMaxTaps];
    for (int j = 0; j < taps; ++j) {
      double v = 0.0;
      if (j < 2 * half) {
        const double t = double(j - half + 1) - frac;
        const double r = t / double(half);
        if (std::fabs(r) <= 1.0) {
          const double x = 2.0 * fc * t;
          const double sinc = x == 0.0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
          v = 2.0 * fc * sinc * besselI0(kBeta * std::sqrt(std::fmax(0.0, 1.0 - r * r))) / i0b;
        }
      }
      vals[j] = v;
      sum += v;
    }
    // Each phase passes DC at exactly unity.
    for (int j = 0; j < taps; ++j) row[j] = float(vals[j] / sum);
    for (int j = taps; j < kTempoMaxTaps; ++j) row[j] = 0.0f;
  }
  k.width = width;
  k.taps = taps;
  k.half = half;
}

}  // namespace

float JLTempoWidth(double ratio) {
  if (!(ratio > 1.0)) return 1.0f;
  // Rounded up to 1/128: the cutoff sits at most 0.8 % under the output's
  // Nyquist frequency, and a slowly moving tempo rebuilds seldom.
  return float(std::ceil(ratio * 128.0) / 128.0);
}

int JLTempoPrepare(double ratio) {
  const float w = JLTempoWidth(ratio);
  const int cur = published.load();
  if (cur >= 0 && slots[cur].width == w) return 0;
  // A slot neither published nor read by the audio thread: the audio thread
  // only ever moves to the published slot, so this one stays untouched.
  const int used = inUse.load();
  int free = 0;
  while (free == cur || free == used) ++free;
  build(slots[free], w);
  published.store(free);
  return 0;
}

const JLTempoKernel* JLTempoAcquire() {
  int cur;
  do {
    cur = published.load();
    inUse.store(cur);
  } while (published.load() != cur);
  return cur >= 0 ? &slots[cur] : nullptr;
}

void JLTempoInterpolate(const JLTempoKernel& k, const float* __restrict xl, const float* __restrict xr, float frac,
                        float* outL, float* outR) {
  const float ph = frac * float(kTempoPhases);
  int p = int(ph);
  if (p >= kTempoPhases) p = kTempoPhases - 1;
  if (p < 0) p = 0;
  const float w = ph - float(p);
  const float* __restrict a = k.coef + p * kTempoMaxTaps;
  const float* __restrict b = a + kTempoMaxTaps;
  float sl[8] = {}, sr[8] = {};
  for (int j = 0; j < k.taps; j += 8) {
    for (int m = 0; m < 8; ++m) {
      const float c = a[j + m] + w * (b[j + m] - a[j + m]);
      sl[m] += c * xl[j + m];
      sr[m] += c * xr[j + m];
    }
  }
  *outL = ((sl[0] + sl[4]) + (sl[1] + sl[5])) + ((sl[2] + sl[6]) + (sl[3] + sl[7]));
  *outR = ((sr[0] + sr[4]) + (sr[1] + sr[5])) + ((sr[2] + sr[6]) + (sr[3] + sr[7]));
}
