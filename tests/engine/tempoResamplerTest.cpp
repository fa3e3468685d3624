// The master tempo resampler: the Original interpolation pinned to its
// established output, and the band-limited High interpolation measured
// against ideal signals.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
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
  // The plain SSE path (machines without AVX2) computes the same frame.
  float l0, r0;
  JLTempoInterpolate(k, &xl[size_t(kTempoMaxTaps - k.half + 1)], &xr[size_t(kTempoMaxTaps - k.half + 1)],
                     float(double(den / 7) / double(den)), &l0, &r0);
  EXPECT_NEAR(out[0], l0, 0.05);
  EXPECT_NEAR(out[1], r0, 0.05);
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

namespace {

// A four-beat stereo loop from a frame function, playing on track 1 at full
// volume, centred.
template <typename F>
void playLoop(Harness& h, F frame) {
  std::vector<int16_t> d;
  for (int i = 0; i < 4 * kBeat; ++i) {
    d.push_back(frame(i));
    d.push_back(frame(i));
  }
  static int n = 0;
  const int v = h.addFile("tempo" + std::to_string(n++) + ".wav", wavFrom(d, 2), 0);
  TrackVolume(1, 127);
  TrackPan(1, 64);
  ASSERT_EQ(0, TrackPlay(1, v));
}

// The left channel of `total` frames taken in requests of the given sizes.
std::vector<int16_t> pull(int total, const std::vector<int>& sizes) {
  std::vector<int16_t> left, buf(2 * 8192);
  for (size_t k = 0; int(left.size()) < total; ++k) {
    const int n = std::min(sizes[k % sizes.size()], total - int(left.size()));
    GetResampled(buf.data(), n);
    LoaderVisitAll();
    for (int i = 0; i < n; ++i) left.push_back(buf[size_t(2 * i)]);
  }
  return left;
}

std::vector<int16_t> markerRun(int milliBpm, const std::vector<int>& sizes, int total) {
  Harness h;
  SetTempoQuality(kTempoHigh);
  playLoop(h, [](int i) { return marker(3, i); });
  SetMixBPM(milliBpm);
  return pull(total, sizes);
}

}  // namespace

// The position is carried exactly between requests, so how the output is
// asked for (the callback's 256 or 512 frames, odd sizes, whole blocks)
// never changes what is heard; at the song tempo the mix comes out as it is.
TEST(TempoHigh, OutputDoesNotDependOnRequestSizesAndTheSongTempoIsACopy) {
  const int total = 60000;
  const std::vector<int16_t> whole = markerRun(131500, {2048}, total);
  EXPECT_EQ(whole, markerRun(131500, {256}, total));
  EXPECT_EQ(whole, markerRun(131500, {512, 77, 1000, 1, 4096, 8192}, total));
  const std::vector<int16_t> song = markerRun(120000, {300, 2048}, total);
  for (int i = 0; i < total; ++i) ASSERT_EQ(int16_t(marker(3, i) * 127 / 128), song[size_t(i)]) << i;
}

// A click on every beat: after 60 beats at a tempo that is no whole number
// of frames per beat, each click still peaks on the output frame nearest to
// where the tempo set puts it (one frame in 1.2 million: under 1 ppm).
TEST(TempoHigh, PlayedTempoIsTheTempoSet) {
  Harness h;
  SetTempoQuality(kTempoHigh);
  playLoop(h, [](int i) { return int16_t(i % kBeat == 0 ? 30000 : 0); });
  SetMixBPM(131500);  // 44100 x 60000 / 131500 = 20121.67 frames per beat
  const std::vector<int16_t> out = pull(61 * 20122, {512});
  for (int b = 1; b <= 60; ++b) {
    const double ideal = b * 2646000000.0 / 131500.0;
    const int near = int(std::lround(ideal));
    int best = near - 5;
    for (int i = near - 5; i <= near + 5; ++i)
      if (out[size_t(i)] > out[size_t(best)]) best = i;
    ASSERT_EQ(near, best) << "beat " << b << " ideal " << ideal;
  }
}

// Hostile material: a new tempo (and now and then the other quality) every
// request across the whole band on a low tone gives no step larger than the
// tone's own slope; full-scale
// squares clip only at the 16-bit limits; silence stays exactly silent.
TEST(TempoHigh, TempoChangesEveryRequestSquaresAndSilenceStayClean) {
  {
    Harness h;
    SetTempoQuality(kTempoHigh);
    playLoop(h, [](int i) { return int16_t(std::lround(20000 * std::sin(2 * M_PI * i / 441.0))); });
    std::vector<int16_t> out;
    const int tempos[] = {156000, 60000, 119999, 1000, 400000, 131313, 120000, 95800};
    for (int k = 0; k < 64; ++k) {
      SetMixBPM(tempos[k % 8] + k);
      // The quality switched while playing, too.
      SetTempoQuality(k % 3 == 2 ? kTempoOriginal : kTempoHigh);
      const std::vector<int16_t> part = pull(700 + 97 * (k % 5), {700 + 97 * (k % 5)});
      out.insert(out.end(), part.begin(), part.end());
    }
    SetTempoQuality(kTempoHigh);
    // 100 Hz at up to 1.3 times: at most 2 pi 130 / 44100 x 20000 = 371 a
    // frame, and half a frame more where Original takes over from High.
    for (size_t i = 1; i < out.size(); ++i) ASSERT_LE(std::abs(out[i] - out[i - 1]), 380 + 190) << i;
  }
  {
    Harness h;
    SetTempoQuality(kTempoHigh);
    playLoop(h, [](int i) { return int16_t((i / 37) % 2 ? 32767 : -32768); });
    SetMixBPM(156000);
    const std::vector<int16_t> out = pull(20000, {512});
    int lo = 0, hi = 0;
    for (int16_t v : out) {
      lo = std::min<int>(lo, v);
      hi = std::max<int>(hi, v);
    }
    EXPECT_EQ(-32768, lo);
    EXPECT_EQ(32767, hi);
  }
  {
    Harness h;
    SetTempoQuality(kTempoHigh);
    playLoop(h, [](int) { return int16_t(0); });
    SetMixBPM(97000);
    for (int16_t v : pull(20000, {333})) ASSERT_EQ(0, v);
  }
}

// The UI thread rebuilds kernels while the audio thread keeps reading: the
// kernel the audio thread holds is never the one being rebuilt, so every
// read sees a whole kernel (unit gain at DC in every phase, the width that
// goes with its length).
TEST(TempoHigh, KernelsRebuiltWhileTheAudioThreadReadsStayWhole) {
  JLTempoPrepare(1.0);
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0}, reads{0};
  std::thread audio([&] {
    while (!stop.load()) {
      const JLTempoKernel* k = JLTempoAcquire();
      const int half = k->half;
      const float width = k->width;
      double sum = 0;
      for (int j = 0; j < k->taps; ++j) sum += k->coef[(kTempoPhases / 2) * kTempoMaxTaps + j];
      if (std::fabs(sum - 1.0) > 1e-4 || half != int(std::ceil(51.0 * width))) torn.fetch_add(1);
      reads.fetch_add(1);
    }
  });
  for (int i = 0; i < 40 || reads.load() < 40; ++i) JLTempoPrepare(i % 2 ? 1.3 : 1.05 + 0.01 * (i % 7));
  stop = true;
  audio.join();
  EXPECT_EQ(0, torn.load());
}

namespace {

// The tone a run of `out` (left channel) fits best at `f` cycles per frame,
// and what is left over, as a ratio in dB.
double toneSnr(const std::vector<double>& out, double f) {
  double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const double s = std::sin(2 * M_PI * f * double(i)), c = std::cos(2 * M_PI * f * double(i));
    ss += s * s, cc += c * c, sc += s * c, ys += out[i] * s, yc += out[i] * c;
  }
  const double det = ss * cc - sc * sc, a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
  double tone = 0, rest = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = a * std::sin(2 * M_PI * f * double(i)) + b * std::cos(2 * M_PI * f * double(i));
    tone += t * t;
    rest += (out[i] - t) * (out[i] - t);
  }
  return 10 * std::log10(tone / rest);
}

// Left channels of a 1102.5 Hz tone loop at `milliBpm`, as 16-bit frames
// and as the float output of a second, identical run.
void toneRuns(int quality, int milliBpm, std::vector<int16_t>& s16, std::vector<float>& f32) {
  const int total = 40000;
  for (int pass = 0; pass < 2; ++pass) {
    Harness h;
    SetTempoQuality(quality);
    playLoop(h, [](int i) { return int16_t(std::lround(32000 * std::sin(2 * M_PI * i / 40.0))); });
    SetMixBPM(milliBpm);
    std::vector<int16_t> b16(2 * 512);
    std::vector<float> bf(2 * 512);
    for (int done = 0; done < total; done += 512) {
      if (pass == 0) GetResampled(b16.data(), 512);
      else GetResampledFloat(bf.data(), 512);
      LoaderVisitAll();
      for (int i = 0; i < 512; ++i) {
        if (pass == 0) s16.push_back(b16[size_t(2 * i)]);
        else f32.push_back(bf[size_t(2 * i)]);
      }
    }
  }
  SetTempoQuality(kTempoHigh);
}

}  // namespace

// A render into a 24-bit or float file takes High's output before it is
// rounded to 16 bits: the same frames (rounding one gives the other), with
// the rounding's noise gone; the mix at the song tempo and Original's
// output stay their 16-bit selves.
TEST(TempoHigh, FloatOutputIsTheSixteenBitOutputUnrounded) {
  std::vector<int16_t> s16;
  std::vector<float> f32;
  toneRuns(kTempoHigh, 156000, s16, f32);
  ASSERT_EQ(s16.size(), f32.size());
  int unrounded = 0;
  for (size_t i = 0; i < s16.size(); ++i) {
    ASSERT_EQ(s16[i], int16_t(std::lrint(f32[i]))) << i;
    unrounded += f32[i] != std::nearbyint(f32[i]);
  }
  EXPECT_GT(unrounded, int(s16.size()) * 9 / 10);
  // 1.3 times faster: the tone comes out at 1433.25 Hz. Past the first
  // kernel's reach, the float output keeps what 16-bit rounding loses
  // (16-bit loops bound it near 98 dB; 16-bit output adds its own noise).
  const double f = 1.3 / 40.0;
  std::vector<double> a(s16.begin() + 4096, s16.end()), b(f32.begin() + 4096, f32.end());
  const double snr16 = toneSnr(a, f), snrFloat = toneSnr(b, f);
  EXPECT_GT(snrFloat, 98.5);
  EXPECT_GT(snrFloat, snr16 + 3.0) << snr16;

  // The mix itself is 16-bit: at the song tempo, and through Original.
  for (const int quality : {kTempoHigh, kTempoOriginal}) {
    s16.clear();
    f32.clear();
    toneRuns(quality, quality == kTempoHigh ? 120000 : 156000, s16, f32);
    ASSERT_EQ(s16.size(), f32.size());
    for (size_t i = 0; i < s16.size(); ++i) ASSERT_EQ(float(s16[i]), f32[i]) << quality << " at " << i;
  }
}
