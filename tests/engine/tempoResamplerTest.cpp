// The master tempo resampler: the Original interpolation pinned to its
// established output, and the band-limited High interpolation measured
// against ideal signals.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/JLTempo.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"

using namespace enginetest;

namespace {

uint64_t fnv(const std::vector<int16_t>& v) {
  uint64_t h = 1469598103934665603ull;
  for (int16_t s : v) {
    h ^= uint16_t(s);
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

// Tempo changes between requests of several sizes, both ends of the band
// included: the Original interpolation gives exactly what it always gave.
TEST(TempoOriginal, OutputIsBitExactWithTheEstablishedInterpolation) {
  Harness h;
  SetTempoQuality(kTempoOriginal);
  const int loop = h.addLoop(4, 4 * kBeat, 8);
  TrackVolume(1, 100);
  ASSERT_EQ(0, TrackPlay(1, loop));
  std::vector<int16_t> all, out(2 * 8192);
  const int tempos[] = {120000, 156000, 131500, 96000, 60000, 120001, 400000, 1000, 119999};
  const int sizes[] = {2048, 256, 512, 1000, 4096, 333, 2048, 77, 8192};
  for (int k = 0; k < 9; ++k) {
    SetMixBPM(tempos[k]);
    for (int rep = 0; rep < 6; ++rep) {
      GetResampled(out.data(), sizes[k]);
      LoaderVisitAll();
      all.insert(all.end(), out.begin(), out.begin() + 2 * sizes[k]);
    }
  }
  EXPECT_EQ(0x67346755140dcf93ull, fnv(all)) << std::hex << fnv(all);
  EXPECT_EQ(102400, TimeLine.load());
  SetTempoQuality(kTempoHigh);
}

namespace {

// Signal to noise of the band-limited interpolation of a full-scale tone,
// read at `ratio` input frames per output frame, against the tone computed
// directly at each output position. The tone sits at `f` of the sample rate
// on the side where it is higher (the output when the tempo rises).
double highSnr(double ratio, double f) {
  JLTempoPrepare(ratio);
  const JLTempoKernel& k = *JLTempoAcquire();
  const double fIn = ratio > 1 ? f / ratio : f;
  const int64_t den = 1000003;
  const int64_t num = std::llround(ratio * den);
  const double step = double(num) / double(den);
  const int nOut = 6000;
  const int nIn = int(nOut * step) + 2 * kTempoMaxTaps + 16;
  std::vector<float> xl(static_cast<size_t>(nIn)), xr(static_cast<size_t>(nIn));
  for (int i = 0; i < nIn; ++i) {
    xl[size_t(i)] = float(32767.0 * std::sin(2 * M_PI * fIn * i + 0.3));
    xr[size_t(i)] = float(32767.0 * std::cos(2 * M_PI * fIn * i));
  }
  // Two passes of half the frames each: the position carries over.
  std::vector<float> out(2 * nOut);
  int64_t acc = den / 7;
  const int64_t moved = JLTempoRunFloat(k, &xl[kTempoMaxTaps], &xr[kTempoMaxTaps], &acc, num, den, nOut / 2, &out[0]);
  JLTempoRunFloat(k, &xl[size_t(kTempoMaxTaps + moved)], &xr[size_t(kTempoMaxTaps + moved)], &acc, num, den, nOut / 2,
                  &out[nOut]);
  double sig = 0, err = 0;
  for (int i = 0; i < nOut; ++i) {
    const double pos = kTempoMaxTaps + (double(den / 7) + double(i) * double(num)) / double(den);
    const double wl = 32767.0 * std::sin(2 * M_PI * fIn * pos + 0.3);
    const double wr = 32767.0 * std::cos(2 * M_PI * fIn * pos);
    sig += wl * wl + wr * wr;
    err += (out[2 * i] - wl) * (out[2 * i] - wl) + (out[2 * i + 1] - wr) * (out[2 * i + 1] - wr);
  }
  return 10 * std::log10(sig / err);
}

}  // namespace

TEST(TempoHigh, FullScaleTonesStayAbove100dBAcrossTheTempoBand) {
  for (double ratio : {1 / 1.3, 1 / 1.02, 1.0, 1.001, 1.02, 1.1, 1.3})
    for (double f : {0.001, 0.0227, 0.1, 0.25, 0.35, 0.4, 0.45}) {
      const double snr = highSnr(ratio, f);
      EXPECT_GE(snr, 100.0) << ratio << " " << f;
    }
}
