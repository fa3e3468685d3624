#include "engine/JLTempo.h"

#include <atomic>
#include <mutex>
#include <cmath>
#if defined(__x86_64__) || defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

alignas(32) JLTempoKernel slots[3];
std::atomic<int> published{-1};
std::atomic<int> inUse{-1};
// Serialises the builders (the UI thread and a disk mix's thread); the
// audio thread never takes it.
std::mutex buildLock;

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

// The Kaiser window over |t| / half in 0..1, tabulated once: rebuilding a
// kernel then costs a sine and a lookup per coefficient, not a Bessel
// series, which keeps a moving tempo slider smooth.
constexpr int kWindowSteps = 8192;
float windowTable[kWindowSteps + 2];
bool windowReady = false;

double window(double r) {
  if (!windowReady) {
    const double i0b = besselI0(kBeta);
    for (int i = 0; i <= kWindowSteps + 1; ++i) {
      const double x = std::fmin(1.0, double(i) / kWindowSteps);
      windowTable[i] = float(besselI0(kBeta * std::sqrt(std::fmax(0.0, 1.0 - x * x))) / i0b);
    }
    windowReady = true;
  }
  const double at = std::fabs(r) * kWindowSteps;
  const int i = int(at);
  if (i >= kWindowSteps) return windowTable[kWindowSteps];
  return windowTable[i] + (at - i) * (windowTable[i + 1] - windowTable[i]);
}

void build(JLTempoKernel& k, float width) {
  const double s = width;
  int half = int(std::ceil(kHalfWidth * s));
  if (half > kTempoMaxTaps / 2) half = kTempoMaxTaps / 2;
  const int taps = (2 * half + 7) / 8 * 8;
  const double fc = 0.5 / s;  // cycles per input frame
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
          v = 2.0 * fc * sinc * window(r);
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
  std::lock_guard<std::mutex> g(buildLock);
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

namespace {

struct Phase {
  const float* a;
  const float* b;
  float w;
};

Phase phaseOf(const JLTempoKernel& k, float frac) {
  const float ph = frac * float(kTempoPhases);
  int p = int(ph);
  if (p >= kTempoPhases) p = kTempoPhases - 1;
  if (p < 0) p = 0;
  const float* a = k.coef + p * kTempoMaxTaps;
  return {a, a + kTempoMaxTaps, ph - float(p)};
}

// Eight taps per step in two SSE registers per channel (SSE2 is part of
// every x86-64); other machines take the plain loop.
inline void dotBase(int taps, Phase f, const float* __restrict xl, const float* __restrict xr, float* outL,
                    float* outR) {
  const float* __restrict a = f.a;
  const float* __restrict b = f.b;
#if defined(__SSE2__)
  const __m128 vw = _mm_set1_ps(f.w);
  __m128 l0 = _mm_setzero_ps(), l1 = l0, r0 = l0, r1 = l0;
  for (int j = 0; j < taps; j += 8) {
    const __m128 a0 = _mm_load_ps(a + j), a1 = _mm_load_ps(a + j + 4);
    const __m128 c0 = _mm_add_ps(a0, _mm_mul_ps(vw, _mm_sub_ps(_mm_load_ps(b + j), a0)));
    const __m128 c1 = _mm_add_ps(a1, _mm_mul_ps(vw, _mm_sub_ps(_mm_load_ps(b + j + 4), a1)));
    l0 = _mm_add_ps(l0, _mm_mul_ps(c0, _mm_loadu_ps(xl + j)));
    l1 = _mm_add_ps(l1, _mm_mul_ps(c1, _mm_loadu_ps(xl + j + 4)));
    r0 = _mm_add_ps(r0, _mm_mul_ps(c0, _mm_loadu_ps(xr + j)));
    r1 = _mm_add_ps(r1, _mm_mul_ps(c1, _mm_loadu_ps(xr + j + 4)));
  }
  alignas(16) float sl[4], sr[4];
  _mm_store_ps(sl, _mm_add_ps(l0, l1));
  _mm_store_ps(sr, _mm_add_ps(r0, r1));
  *outL = (sl[0] + sl[2]) + (sl[1] + sl[3]);
  *outR = (sr[0] + sr[2]) + (sr[1] + sr[3]);
#else
  float sl[8] = {}, sr[8] = {};
  for (int j = 0; j < taps; j += 8) {
    for (int m = 0; m < 8; ++m) {
      const float c = a[j + m] + f.w * (b[j + m] - a[j + m]);
      sl[m] += c * xl[j + m];
      sr[m] += c * xr[j + m];
    }
  }
  *outL = ((sl[0] + sl[4]) + (sl[1] + sl[5])) + ((sl[2] + sl[6]) + (sl[3] + sl[7]));
  *outR = ((sr[0] + sr[4]) + (sr[1] + sr[5])) + ((sr[2] + sr[6]) + (sr[3] + sr[7]));
#endif
}

#if defined(__x86_64__) && defined(__GNUC__)
#define JL_TEMPO_AVX 1
// Eight taps per step in one AVX register per channel, with fused
// multiply-adds; chosen at run time where the processor has them.
__attribute__((target("avx2,fma"))) inline void dotAvx(int taps, Phase f, const float* __restrict xl,
                                                      const float* __restrict xr, float* outL, float* outR) {
  const __m256 vw = _mm256_set1_ps(f.w);
  __m256 l0 = _mm256_setzero_ps(), r0 = l0;
  for (int j = 0; j < taps; j += 8) {
    const __m256 a0 = _mm256_load_ps(f.a + j);
    const __m256 c0 = _mm256_fmadd_ps(vw, _mm256_sub_ps(_mm256_load_ps(f.b + j), a0), a0);
    l0 = _mm256_fmadd_ps(c0, _mm256_loadu_ps(xl + j), l0);
    r0 = _mm256_fmadd_ps(c0, _mm256_loadu_ps(xr + j), r0);
  }
  const __m128 l = _mm_add_ps(_mm256_castps256_ps128(l0), _mm256_extractf128_ps(l0, 1));
  const __m128 r = _mm_add_ps(_mm256_castps256_ps128(r0), _mm256_extractf128_ps(r0, 1));
  alignas(16) float sl[4], sr[4];
  _mm_store_ps(sl, l);
  _mm_store_ps(sr, r);
  *outL = (sl[0] + sl[2]) + (sl[1] + sl[3]);
  *outR = (sr[0] + sr[2]) + (sr[1] + sr[3]);
}
#endif

int16_t toSample(float v) {
  if (!(v > -32768.0f)) return v == v ? -32768 : 0;
  if (v >= 32767.0f) return 32767;
  return int16_t(std::lrint(v));
}

void put(int16_t* o, float l, float r) {
  o[0] = toSample(l);
  o[1] = toSample(r);
}
void put(float* o, float l, float r) {
  o[0] = l;
  o[1] = r;
}

template <void (*Dot)(int, Phase, const float*, const float*, float*, float*), typename Out>
int64_t run(const JLTempoKernel& k, const float* xl, const float* xr, int64_t* acc, int64_t num, int64_t den,
            int m, Out* out) {
  const double invDen = 1.0 / double(den);
  int64_t idx = 0, a = *acc;
  for (int i = 0; i < m; ++i) {
    const int64_t first = idx - k.half + 1;
    float l, r;
    Dot(k.taps, phaseOf(k, float(double(a) * invDen)), xl + first, xr + first, &l, &r);
    put(out + 2 * i, l, r);
    a += num;
    while (a >= den) {
      a -= den;
      ++idx;
    }
  }
  *acc = a;
  return idx;
}

#if JL_TEMPO_AVX
template <typename Out>
__attribute__((target("avx2,fma"))) int64_t runAvx(const JLTempoKernel& k, const float* xl, const float* xr,
                                                   int64_t* acc, int64_t num, int64_t den, int m, Out* out) {
  return run<dotAvx>(k, xl, xr, acc, num, den, m, out);
}
const bool haveAvx = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#endif

template <typename Out>
int64_t runBest(const JLTempoKernel& k, const float* xl, const float* xr, int64_t* acc, int64_t num, int64_t den,
                int m, Out* out) {
#if JL_TEMPO_AVX
  if (haveAvx) return runAvx(k, xl, xr, acc, num, den, m, out);
#endif
  return run<dotBase>(k, xl, xr, acc, num, den, m, out);
}

}  // namespace

void JLTempoInterpolate(const JLTempoKernel& k, const float* xl, const float* xr, float frac, float* outL,
                        float* outR) {
  dotBase(k.taps, phaseOf(k, frac), xl, xr, outL, outR);
}

int64_t JLTempoRun(const JLTempoKernel& k, const float* xl, const float* xr, int64_t* acc, int64_t num,
                   int64_t den, int m, int16_t* out) {
  return runBest(k, xl, xr, acc, num, den, m, out);
}

int64_t JLTempoRunFloat(const JLTempoKernel& k, const float* xl, const float* xr, int64_t* acc, int64_t num,
                        int64_t den, int m, float* out) {
  return runBest(k, xl, xr, acc, num, den, m, out);
}
