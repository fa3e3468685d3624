// jl_tempo_quality: the tempo resamplers side by side on the same input.
//
// A tone (1 kHz, and 0.35 of the sample rate) is played 1.02 and 1.3 times
// faster by Jamloom's Original interpolation (as the engine runs it, 2048
// output frames a request), Jamloom's High interpolation (16-bit in and out
// as the engine runs it, 16-bit in with float out, and its float kernel
// alone), libsoxr very-high
// quality and libsamplerate's best sinc (given the float tone, and the
// same tone rounded to 16 bits as a loop holds it); Keep pitch stretches the same tone
// with Rubber Band. Prints a Markdown table:
//   SNR    against the ideal tone at the exact ratio (amplitude and phase
//          fitted, frequency fixed: a wrong tempo counts as error);
//   THD+N  everything but the tone, its frequency fitted as well;
//   CPU    milliseconds per second of output, one core.
// Then the pitch of a 1.2 times Keep-pitch loop and its length.
#include <samplerate.h>
#include <soxr.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "engine/JLKeepPitch.h"
#include "engine/JLTempo.h"
#include "engine/Mixer.h"

namespace {

constexpr double kRate = 44100;
constexpr int kOut = 441000;  // ten seconds of output
constexpr double kAmp = 32000;
constexpr int kEdge = 4096;  // frames left out at both ends

double cpuSeconds() { return double(clock()) / CLOCKS_PER_SEC; }

// Residual power of `y` (frames kEdge..n-kEdge) after the best fit of a
// sine at `f` cycles per frame, relative to the fitted tone, in dB.
double fitDb(const std::vector<float>& y, double f) {
  double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
  const size_t n = y.size() - kEdge;
  for (size_t i = kEdge; i < n; ++i) {
    const double s = std::sin(2 * M_PI * f * double(i)), c = std::cos(2 * M_PI * f * double(i));
    ss += s * s;
    cc += c * c;
    sc += s * c;
    ys += y[i] * s;
    yc += y[i] * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
  // The residual summed directly: yy minus the tone's power would lose it
  // to rounding once it is 120 dB down.
  double tone = 0, rest = 0;
  for (size_t i = kEdge; i < n; ++i) {
    const double t = a * std::sin(2 * M_PI * f * double(i)) + b * std::cos(2 * M_PI * f * double(i));
    tone += t * t;
    rest += (y[i] - t) * (y[i] - t);
  }
  return 10 * std::log10(tone / std::max(rest, 1e-300));
}

// THD+N: the fit at the frequency (searched near `f`) that leaves least.
double thdnDb(const std::vector<float>& y, double f) {
  double best = fitDb(y, f), step = f * 2e-3;
  double at = f;
  for (int round = 0; round < 30; ++round) {
    const double up = fitDb(y, at + step), down = fitDb(y, at - step);
    if (up > best) {
      best = up;
      at += step;
    } else if (down > best) {
      best = down;
      at -= step;
    } else {
      step /= 2;
    }
  }
  return best;
}

struct Result {
  double snr, thdn, ms;
};

std::vector<float> tone(int frames, double f) {
  std::vector<float> x(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) x[size_t(i)] = float(kAmp * std::sin(2 * M_PI * f * i));
  return x;
}

std::vector<int16_t> stereo16(const std::vector<float>& x) {
  std::vector<int16_t> s(2 * x.size());
  for (size_t i = 0; i < x.size(); ++i) s[2 * i] = s[2 * i + 1] = int16_t(std::lrint(x[i]));
  return s;
}

Result measure(double fOut, const std::function<std::vector<float>()>& run) {
  const double t0 = cpuSeconds();
  const std::vector<float> y = run();
  const double t = cpuSeconds() - t0;
  return {fitDb(y, fOut), thdnDb(y, fOut), 1000 * t / (double(y.size()) / kRate)};
}

// The engine's Original path: per 2048-frame request the input frames are
// the song's frames per beat times 2048 over the playing tempo's (both
// whole numbers, as SetMixBPM makes them), then linear interpolation.
std::vector<float> runOriginal(const std::vector<float>& x, double ratio) {
  const std::vector<int16_t> in = stereo16(x);
  const int bpm = 22050;  // 120 BPM at 44100 Hz
  const int r = int(float(kRate * 60) / (float(int(120000 * ratio)) * 0.001f));
  const int nIn = int(int64_t(bpm) * 2048 / r);
  std::vector<int16_t> out(2 * 2048);
  std::vector<float> y;
  for (size_t at = 0; y.size() < kOut; at += size_t(nIn)) {
    Resample(out.data(), in.data() + 2 * at, 2048, nIn);
    for (int i = 0; i < 2048; ++i) y.push_back(out[size_t(2 * i)]);
  }
  y.resize(kOut);
  return y;
}

void exactRatio(double ratio, int64_t* num, int64_t* den) {
  *den = 1000000;
  *num = std::llround(ratio * double(*den));
}

// 16-bit in (the loops' rings) or the float tone; 16-bit out (the engine's
// output) or the kernel's floats (what a 24-bit or float file could keep).
std::vector<float> runHigh(const std::vector<float>& x, double ratio, bool sixteenIn, bool sixteen) {
  JLTempoPrepare(ratio);
  const JLTempoKernel& k = *JLTempoAcquire();
  int64_t num, den, acc = 0;
  exactRatio(ratio, &num, &den);
  std::vector<float> l(x.size()), r;
  for (size_t i = 0; i < x.size(); ++i) l[i] = sixteenIn ? float(std::lrint(x[i])) : x[i];
  r = l;
  std::vector<float> y;
  std::vector<int16_t> o16(2 * 512);
  std::vector<float> of(2 * 512);
  size_t pos = kTempoMaxTaps;  // the kernel's history lies before it
  while (y.size() < kOut) {
    const int64_t moved = sixteen ? JLTempoRun(k, &l[pos], &r[pos], &acc, num, den, 512, o16.data())
                                  : JLTempoRunFloat(k, &l[pos], &r[pos], &acc, num, den, 512, of.data());
    for (int i = 0; i < 512; ++i) y.push_back(sixteen ? float(o16[size_t(2 * i)]) : of[size_t(2 * i)]);
    pos += size_t(moved);
  }
  // Output frame 0 sits at input frame kTempoMaxTaps: the fitted phase
  // takes the offset.
  y.resize(kOut);
  return y;
}

std::vector<float> runSoxr(const std::vector<float>& x, double ratio) {
  soxr_quality_spec_t q = soxr_quality_spec(SOXR_VHQ, 0);
  soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  soxr_error_t err = nullptr;
  soxr_t s = soxr_create(ratio, 1.0, 1, &err, &io, &q, nullptr);
  std::vector<float> y(size_t(kOut) + 64);
  size_t done = 0, used = 0;
  soxr_process(s, x.data(), x.size(), &used, y.data(), y.size(), &done);
  soxr_delete(s);
  y.resize(done);
  return y;
}

std::vector<float> runSrc(const std::vector<float>& x, double ratio) {
  std::vector<float> y(static_cast<size_t>(kOut));
  SRC_DATA d = {};
  d.data_in = x.data();
  d.input_frames = long(x.size());
  d.data_out = y.data();
  d.output_frames = long(y.size());
  d.src_ratio = 1.0 / ratio;
  src_simple(&d, SRC_SINC_BEST_QUALITY, 1);
  y.resize(size_t(d.output_frames_gen));
  return y;
}

std::vector<float> runKeepPitch(const std::vector<float>& x, double ratio) {
  const std::vector<int16_t> in = stereo16(x);
  const int64_t frames = int64_t(x.size());
  std::vector<int16_t> out;
  JL_StretchKeepPitch(in.data(), frames, std::llround(double(frames) / ratio), out);
  std::vector<float> y(out.size() / 2);
  for (size_t i = 0; i < y.size(); ++i) y[i] = out[2 * i];
  return y;
}

double zeroCrossHz(const std::vector<int16_t>& s, int a, int b) {
  double first = -1, last = -1;
  int count = 0;
  for (int i = a; i + 1 < b; ++i) {
    const double x0 = s[size_t(2 * i)], x1 = s[size_t(2 * i + 2)];
    if (x0 < 0 && x1 >= 0) {
      const double t = i + (-x0) / (x1 - x0);
      if (first < 0) first = t;
      else ++count;
      last = t;
    }
  }
  return count > 0 ? count * kRate / (last - first) : 0;
}

}  // namespace

int main() {
  printf("| Method | Tone | Ratio | SNR dB | THD+N dB | CPU ms per s |\n|---|---|---|---|---|---|\n");
  for (double fIn : {1000.0 / kRate, 0.35})
    for (double ratio : {1.02, 1.3}) {
      const int nIn = int(kOut * ratio) + 4096;
      const std::vector<float> x = tone(nIn, fIn);
      // The same tone as 16-bit loops hold it: what every method gets when
      // it plays a song's loops.
      std::vector<float> x16(x.size());
      for (size_t i = 0; i < x.size(); ++i) x16[i] = float(std::lrint(x[i]));
      const double fOut = fIn * ratio;
      const std::string toneName = fIn < 0.1 ? "1 kHz" : "0.35 fs";
      const struct {
        const char* name;
        std::function<std::vector<float>()> run;
        double f;
      } rows[] = {
          {"Jamloom Original", [&] { return runOriginal(x, ratio); }, fOut},
          {"Jamloom High (16-bit, as played)", [&] { return runHigh(x, ratio, true, true); }, fOut},
          {"Jamloom High (16-bit in, float out)", [&] { return runHigh(x, ratio, true, false); }, fOut},
          {"Jamloom High (float kernel)", [&] { return runHigh(x, ratio, false, false); }, fOut},
          {"libsoxr VHQ", [&] { return runSoxr(x, ratio); }, fOut},
          {"libsoxr VHQ (16-bit in, float out)", [&] { return runSoxr(x16, ratio); }, fOut},
          {"libsamplerate best sinc", [&] { return runSrc(x, ratio); }, fOut},
          {"libsamplerate best sinc (16-bit in, float out)", [&] { return runSrc(x16, ratio); }, fOut},
          {"Jamloom Keep pitch (Rubber Band)", [&] { return runKeepPitch(x, ratio); }, fIn},
      };
      for (const auto& row : rows) {
        const Result res = measure(row.f, row.run);
        printf("| %s | %s | %.2f | %.1f | %.1f | %.2f |\n", row.name, toneName.c_str(), ratio, res.snr, res.thdn,
               res.ms);
      }
    }
  // Keep pitch: four beats at 120 BPM (88200 frames) of 441 Hz played 1.2
  // times faster as a loop.
  std::vector<float> x = tone(88200, 441.0 / kRate);
  const std::vector<int16_t> in = stereo16(x);
  std::vector<int16_t> out;
  const double t0 = cpuSeconds();
  JL_StretchLoop(in.data(), 88200, 73500, out);
  const double t = cpuSeconds() - t0;
  const double hz = zeroCrossHz(out, 1000, 72500);
  printf("\nKeep pitch, 441 Hz loop of 88200 frames at 1.2 times: %zu frames (want 73500), %.3f Hz, %+.3f cents, "
         "%.0f ms CPU\n",
         out.size() / 2, hz, 1200 * std::log2(hz / 441.0), 1000 * t);
  return 0;
}
