#include "tools/demolib/dsp.h"

#include <algorithm>

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
