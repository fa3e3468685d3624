#include "tools/demolib/dsp.h"

#include <algorithm>
#include <deque>

namespace demolib {

double Loop::peak() const {
  double p = 0;
  for (int i = 0; i < frames; ++i) p = std::max(p, std::max(std::fabs(l[i]), std::fabs(r[i])));
  return p;
}

namespace {

// One-pole low pass for the tone of echoes and the damping of the reverb.
struct OnePole {
  void set(double hz) { a = std::exp(-kTwoPi * hz / kRate); }
  double run(double x) { return z = x * (1.0 - a) + z * a; }
  double a = 0, z = 0;
};

struct Comb {
  explicit Comb(int n) : buf(n) {}
  double run(double x, double fb) {
    double y = buf[pos];
    buf[pos] = x + damp.run(y) * fb;
    if (++pos == (int)buf.size()) pos = 0;
    return y;
  }
  std::vector<double> buf;
  int pos = 0;
  OnePole damp;
};

struct Allpass {
  explicit Allpass(int n) : buf(n) {}
  double run(double x) {
    double b = buf[pos];
    buf[pos] = x + b * 0.5;
    if (++pos == (int)buf.size()) pos = 0;
    return b - x;
  }
  std::vector<double> buf;
  int pos = 0;
};

}  // namespace

void loopDelay(Loop& loop, int delayFrames, double feedback, double wet, bool pingPong, double toneHz) {
  const int n = loop.frames;
  std::vector<double> bl(delayFrames), br(delayFrames);
  OnePole tl, tr;
  tl.set(toneHz);
  tr.set(toneHz);
  Loop out(n);
  int pos = 0;
  const int passes = 4;
  for (int pass = 0; pass < passes; ++pass) {
    for (int i = 0; i < n; ++i) {
      const double dl = bl[pos], dr = br[pos];
      const double inL = loop.l[i], inR = loop.r[i];
      if (pingPong) {
        // The mono input enters on the left; each echo crosses sides.
        bl[pos] = tl.run(0.5 * (inL + inR) + dr * feedback);
        br[pos] = tr.run(dl * feedback);
      } else {
        bl[pos] = tl.run(inL + dl * feedback);
        br[pos] = tr.run(inR + dr * feedback);
      }
      if (++pos == delayFrames) pos = 0;
      if (pass == passes - 1) {
        out.l[i] = inL + dl * wet;
        out.r[i] = inR + dr * wet;
      }
    }
  }
  loop = out;
}

void loopReverb(Loop& loop, double wet, double size, double dampHz) {
  static const int kCombs[4] = {1116, 1188, 1277, 1356};
  static const int kAllpasses[2] = {556, 441};
  const int spread = 23;
  std::vector<Comb> cl, cr;
  std::vector<Allpass> al, ar;
  for (int c : kCombs) {
    cl.emplace_back(c);
    cr.emplace_back(c + spread);
  }
  for (auto& c : cl) c.damp.set(dampHz);
  for (auto& c : cr) c.damp.set(dampHz);
  for (int a : kAllpasses) {
    al.emplace_back(a);
    ar.emplace_back(a + spread);
  }
  const double fb = 0.70 + 0.28 * size;
  const int n = loop.frames;
  Loop out(n);
  for (int pass = 0; pass < 3; ++pass) {
    for (int i = 0; i < n; ++i) {
      const double in = (loop.l[i] + loop.r[i]) * 0.015;
      double yl = 0, yr = 0;
      for (auto& c : cl) yl += c.run(in, fb);
      for (auto& c : cr) yr += c.run(in, fb);
      for (auto& a : al) yl = a.run(yl);
      for (auto& a : ar) yr = a.run(yr);
      if (pass == 2) {
        out.l[i] = loop.l[i] + yl * wet;
        out.r[i] = loop.r[i] + yr * wet;
      }
    }
  }
  loop = out;
}

void loopPump(Loop& loop, int beatFrames, double depth, double releaseSeconds) {
  for (int i = 0; i < loop.frames; ++i) {
    const double t = (double)(i % beatFrames) / kRate;
    const double attack = std::min(1.0, t / 0.004);  // a few milliseconds into the dip
    const double g = 1.0 - depth * attack * std::exp(-t / releaseSeconds) - depth * (1.0 - attack);
    loop.l[i] *= g;
    loop.r[i] *= g;
  }
}

void loopShelf(Loop& loop, double hz, double gainDb) {
  const double a = std::pow(10.0, gainDb / 40.0), w0 = kTwoPi * hz / kRate;
  const double c = std::cos(w0), alpha = std::sin(w0) / 2.0 * std::sqrt(2.0), sa = 2.0 * std::sqrt(a) * alpha;
  const double a0 = (a + 1) - (a - 1) * c + sa;
  const double b0 = a * ((a + 1) + (a - 1) * c + sa) / a0, b1 = -2 * a * ((a - 1) + (a + 1) * c) / a0,
               b2 = a * ((a + 1) + (a - 1) * c - sa) / a0, a1 = 2 * ((a - 1) - (a + 1) * c) / a0,
               a2 = ((a + 1) - (a - 1) * c - sa) / a0;
  for (std::vector<double>* ch : {&loop.l, &loop.r}) {
    // Two passes over the loop: the second starts with the state the end
    // of the first left, so the seam carries the filter's own tail.
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    std::vector<double> out(ch->size());
    for (int pass = 0; pass < 2; ++pass)
      for (size_t i = 0; i < ch->size(); ++i) {
        const double x = (*ch)[i];
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        out[i] = y;
      }
    *ch = out;
  }
}

void loopSaturate(Loop& loop, double drive) {
  const double p = loop.peak();
  if (drive <= 0 || p <= 0) return;
  const double k = p / std::tanh(drive);
  for (int i = 0; i < loop.frames; ++i) {
    loop.l[i] = k * std::tanh(drive * loop.l[i] / p);
    loop.r[i] = k * std::tanh(drive * loop.r[i] / p);
  }
}

void loopLimit(Loop& loop, double reductionDb) {
  const int n = loop.frames;
  const double p = loop.peak();
  if (reductionDb <= 0 || p <= 0 || n <= 0) return;
  const double threshold = p * dbToGain(-reductionDb);
  const int radius = std::min(n / 2, (int)(0.005 * kRate));
  std::vector<double> need((size_t)n);
  for (int i = 0; i < n; ++i) {
    const double a = std::max(std::fabs(loop.l[i]), std::fabs(loop.r[i]));
    need[(size_t)i] = a > threshold ? threshold / a : 1.0;
  }
  auto at = [&](const std::vector<double>& v, long i) { return v[(size_t)(((i % n) + n) % n)]; };
  // Smallest need within +-radius (a sliding minimum), then its average
  // over +-radius: every value averaged at a peak is at most that peak's
  // need, so the peak lands at or below the threshold.
  std::vector<double> low((size_t)n);
  std::deque<long> window;
  for (long i = -2L * radius; i < n + radius; ++i) {
    while (!window.empty() && at(need, window.back()) >= at(need, i)) window.pop_back();
    window.push_back(i);
    while (window.front() < i - 2L * radius) window.pop_front();
    const long centre = i - radius;
    if (centre >= 0 && centre < n) low[(size_t)centre] = at(need, window.front());
  }
  double sum = 0;
  for (long i = -radius; i <= radius; ++i) sum += at(low, i);
  const double width = 2.0 * radius + 1.0;
  for (int i = 0; i < n; ++i) {
    const double g = std::min(1.0, sum / width);
    loop.l[i] *= g;
    loop.r[i] *= g;
    sum += at(low, i + radius + 1) - at(low, i - radius);
  }
}

void finishLoop(Loop& loop, double peakDb) {
  const int n = loop.frames;
  double ml = 0, mr = 0;
  for (int i = 0; i < n; ++i) {
    ml += loop.l[i];
    mr += loop.r[i];
  }
  ml /= n;
  mr /= n;
  for (int i = 0; i < n; ++i) {
    loop.l[i] -= ml;
    loop.r[i] -= mr;
  }
  // A raised-cosine fade of under 1.5 ms at both ends: the repetitions join
  // at silence instead of a step.
  const int fade = 64;
  for (int i = 0; i < fade && i < n / 2; ++i) {
    const double g = 0.5 - 0.5 * std::cos(kPi * i / fade);
    loop.l[i] *= g;
    loop.r[i] *= g;
    loop.l[n - 1 - i] *= g;
    loop.r[n - 1 - i] *= g;
  }
  const double p = loop.peak();
  if (p <= 0) return;
  const double k = dbToGain(peakDb) / p;
  for (int i = 0; i < n; ++i) {
    loop.l[i] *= k;
    loop.r[i] *= k;
  }
}

}  // namespace demolib
