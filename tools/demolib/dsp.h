// Building blocks of the demo library's synthesis: a reproducible noise
// source, a looped stereo buffer, band-limited oscillators, a state-variable
// filter and loop-steady effects. Everything is plain double arithmetic with
// no hidden state, so every build writes the same bytes.
#pragma once
#include <cmath>
#include <cstdint>
#include <vector>

namespace demolib {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

inline double midiHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }
inline double dbToGain(double db) { return std::pow(10.0, db / 20.0); }

// xorshift32: the same sequence on every machine.
class Rng {
 public:
  explicit Rng(uint32_t seed) : s_(seed ? seed : 0x9E3779B9u) {}
  uint32_t next() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 17;
    s_ ^= s_ << 5;
    return s_;
  }
  double uni() { return (next() >> 8) * (1.0 / 16777216.0); }  // 0 .. 1
  double bi() { return uni() * 2.0 - 1.0; }                      // -1 .. 1
  int below(int n) { return (int)(uni() * n); }

 private:
  uint32_t s_;
};

// A stereo loop in floating point. Writes past the end wrap to the start, so
// a sound ringing over the loop end is heard again where the loop restarts.
struct Loop {
  explicit Loop(int frameCount) : frames(frameCount), l(frameCount), r(frameCount) {}
  void add(long frame, double left, double right) {
    const int i = (int)(((frame % frames) + frames) % frames);
    l[i] += left;
    r[i] += right;
  }
  // Equal-power pan: -1 left .. 1 right.
  void addPanned(long frame, double v, double pan) {
    const double a = (pan + 1.0) * 0.25 * kPi;
    add(frame, v * std::cos(a) * 1.41421356, v * std::sin(a) * 1.41421356);
  }
  void mixIn(const Loop& o, double gain) {
    for (int i = 0; i < frames; ++i) {
      l[i] += o.l[i] * gain;
      r[i] += o.r[i] * gain;
    }
  }
  double peak() const;
  int frames;
  std::vector<double> l, r;
};

// Saw with polyBLEP edges: bright and nearly free of aliasing.
class BlepSaw {
 public:
  explicit BlepSaw(double startPhase = 0.0) : phase_(startPhase) {}
  double next(double hz) {
    const double dt = hz / kRate;
    double v = 2.0 * phase_ - 1.0 - blep(phase_, dt);
    phase_ += dt;
    if (phase_ >= 1.0) phase_ -= 1.0;
    return v;
  }
  // Saw and pulse of the given width from the same phase (the pulse is the
  // difference of two shifted saws).
  void both(double hz, double width, double* saw, double* pulse) {
    const double dt = hz / kRate;
    double p2 = phase_ + width;
    if (p2 >= 1.0) p2 -= 1.0;
    const double a = 2.0 * phase_ - 1.0 - blep(phase_, dt);
    const double b = 2.0 * p2 - 1.0 - blep(p2, dt);
    *saw = a;
    *pulse = a - b;
    phase_ += dt;
    if (phase_ >= 1.0) phase_ -= 1.0;
  }

 private:
  static double blep(double t, double dt) {
    if (t < dt) {
      t /= dt;
      return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
      t = (t - 1.0) / dt;
      return t * t + t + t + 1.0;
    }
    return 0.0;
  }
  double phase_;
};

// Trapezoidal state-variable filter (zero-delay feedback): low, band and high
// pass outputs from one state, stable under fast cutoff sweeps.
class Svf {
 public:
  void set(double hz, double q) {
    if (hz > kRate * 0.45) hz = kRate * 0.45;
    if (hz < 10.0) hz = 10.0;
    g_ = std::tan(kPi * hz / kRate);
    k_ = 1.0 / q;
    a1_ = 1.0 / (1.0 + g_ * (g_ + k_));
  }
  void run(double x) {
    const double v3 = x - ic2_;
    const double v1 = a1_ * ic1_ + g_ * a1_ * v3;
    const double v2 = ic2_ + g_ * v1;
    ic1_ = 2.0 * v1 - ic1_;
    ic2_ = 2.0 * v2 - ic2_;
    low = v2;
    band = v1;
    high = x - k_ * v1 - v2;
  }
  double low = 0, band = 0, high = 0;

 private:
  double g_ = 0.1, k_ = 1.0, a1_ = 1.0, ic1_ = 0, ic2_ = 0;
};

// Loop effects. Each runs the loop through the effect several times over and
// keeps the last pass, so the result is the effect's steady state and the
// echoes of the loop's end are already in its beginning.
void loopDelay(Loop& loop, int delayFrames, double feedback, double wet, bool pingPong, double toneHz = 5000.0);
void loopReverb(Loop& loop, double wet, double size, double dampHz = 6000.0);
// Multiplies the loop by a side-chain style dip at every beat.
void loopPump(Loop& loop, int beatFrames, double depth, double releaseSeconds);

// Removes the mean, fades the first and last few samples, scales to the
// given peak in dBFS.
void finishLoop(Loop& loop, double peakDb);
// A second-order high shelf (RBJ): `gainDb` above about `hz`.
void loopShelf(Loop& loop, double hz, double gainDb);
// Soft saturation that keeps the peak: x -> tanh(d x / p) p / tanh(d) with
// p the loop's peak. Lifts the body of a sound against its transients,
// the way a mastering limiter would; d <= 0 leaves the loop alone.
void loopSaturate(Loop& loop, double drive);
// A look-ahead peak limiter linked over both channels: everything above
// the loop's peak less `reductionDb` is turned down by a gain that moves
// smoothly over +-5 ms around each peak, so no sample stays above it. The
// loop is treated as circular (its end joins its start).
void loopLimit(Loop& loop, double reductionDb);

}  // namespace demolib
