#include "tools/demolib/instruments.h"

#include <algorithm>

namespace demolib {

namespace {

long frames(double seconds) { return (long)(seconds * kRate); }

}  // namespace

void kick(Loop& loop, long at, const KickTone& k, double gain) {
  double phase = 0;
  const long n = frames(k.seconds);
  const double norm = std::tanh(k.drive);
  for (long i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    const double hz = k.endHz + (k.startHz - k.endHz) * std::exp(-t * k.pitchDecay);
    phase += kTwoPi * hz / kRate;
    double body = std::sin(phase) * std::exp(-t * k.ampDecay);
    // The beater: a short, bright blip at the very start.
    body += k.click * std::sin(kTwoPi * 1400.0 * t) * std::exp(-t * 900.0);
    double v = std::tanh(body * k.drive) / norm;
    // Last 5 ms fade to zero.
    if (i > n - 220) v *= (double)(n - i) / 220.0;
    loop.add(at + i, v * gain, v * gain);
  }
}

void snare(Loop& loop, long at, Rng& rng, double toneHz, double noiseDecay, double gain, double pan) {
  Svf hp;
  hp.set(1800, 0.7);
  const long n = frames(0.35);
  double p1 = 0, p2 = 0;
  for (long i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    const double drop = 1.0 + 0.5 * std::exp(-t * 60.0);
    p1 += kTwoPi * toneHz * drop / kRate;
    p2 += kTwoPi * toneHz * 1.63 * drop / kRate;
    const double body = (std::sin(p1) + 0.5 * std::sin(p2)) * std::exp(-t * 28.0);
    hp.run(rng.bi());
    const double noise = (hp.high * 0.8 + hp.band * 0.5) * std::exp(-t * noiseDecay);
    double v = 0.55 * body + 0.75 * noise;
    if (i < 20) v *= i / 20.0;
    loop.addPanned(at + i, v * gain, pan);
  }
}

void clap(Loop& loop, long at, Rng& rng, double gain, double pan, double tail) {
  Svf bp;
  bp.set(1250, 1.4);
  Svf bp2;
  bp2.set(2400, 1.1);
  const long n = frames(0.05 + tail * 5);
  const double bursts[4] = {0.0, 0.009, 0.019, 0.031};
  for (long i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    double env = 0;
    for (int b = 0; b < 3; ++b)
      if (t >= bursts[b]) env = std::max(env, std::exp(-(t - bursts[b]) * 140.0));
    if (t >= bursts[3]) env = std::max(env, std::exp(-(t - bursts[3]) / tail));
    const double x = rng.bi();
    bp.run(x);
    bp2.run(x);
    const double v = (bp.band * 1.6 + bp2.band * 0.6) * env;
    loop.addPanned(at + i, v * gain, pan);
  }
}

void hat(Loop& loop, long at, Rng& rng, double decay, double gain, double pan, double brightness) {
  // Six detuned square waves, the classic metallic cluster, plus noise.
  static const double kRatios[6] = {2.0, 3.0, 4.16, 5.43, 6.79, 8.21};
  const double base = 40.0 * brightness;
  Svf hp1, hp2;
  // Open down to the 3-6 kHz presence range: a hat that is only air above
  // 8 kHz vanishes under a bass line.
  hp1.set(3600 * brightness, 0.7);
  hp2.set(4800 * brightness, 0.6);
  const long n = frames(decay * 7 + 0.005);
  double ph[6] = {0.1, 0.3, 0.5, 0.7, 0.2, 0.9};
  for (long i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    double metal = 0;
    for (int k = 0; k < 6; ++k) {
      ph[k] += base * kRatios[k] * 8.0 / kRate;
      ph[k] -= std::floor(ph[k]);
      metal += ph[k] < 0.5 ? 1.0 : -1.0;
    }
    const double x = metal * 0.12 + rng.bi() * 0.6;
    hp1.run(x);
    hp2.run(hp1.high);
    double env = std::exp(-t / decay);
    if (i < 12) env *= i / 12.0;
    loop.addPanned(at + i, hp2.high * env * gain, pan);
  }
}

void ride(Loop& loop, long at, Rng& rng, double gain, double pan) {
  static const double kHz[5] = {3120.0, 4270.0, 5380.0, 6630.0, 8110.0};
  Svf hp;
  hp.set(5000, 0.7);
  const long n = frames(0.9);
  for (long i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    double bell = 0;
    for (int k = 0; k < 5; ++k) bell += std::sin(kTwoPi * kHz[k] * t + k) * std::exp(-t * (3.0 + k));
    hp.run(rng.bi() * 0.5 + bell * 0.12);
    double env = 0.25 * std::exp(-t * 3.0) + 0.75 * std::exp(-t * 25.0);
    if (i < 15) env *= i / 15.0;
    if (i > n - 400) env *= (double)(n - i) / 400.0;
    loop.addPanned(at + i, hp.high * env * gain, pan);
  }
}

void tom(Loop& loop, long at, double hz, double decay, double gain, double pan) {
  const long n = frames(decay * 6);
  double phase = 0;
  for (long i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    phase += kTwoPi * hz * (1.0 + 0.45 * std::exp(-t * 40.0)) / kRate;
    double v = (std::sin(phase) + 0.15 * std::sin(2.0 * phase)) * std::exp(-t / decay);
    v += 0.3 * std::sin(kTwoPi * 2200.0 * t) * std::exp(-t * 600.0);  // the slap of the hand
    if (i > n - 200) v *= (double)(n - i) / 200.0;
    loop.addPanned(at + i, v * gain, pan);
  }
}

void rim(Loop& loop, long at, Rng& rng, double gain, double pan) {
  Svf bp;
  bp.set(3200, 2.0);
  const long n = frames(0.06);
  for (long i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    bp.run(rng.bi());
    const double v = (std::sin(kTwoPi * 1700.0 * t) * 0.8 + bp.band * 0.8) * std::exp(-t * 90.0);
    loop.addPanned(at + i, v * gain, pan);
  }
}

void clave(Loop& loop, long at, double hz, double gain, double pan) {
  const long n = frames(0.12);
  for (long i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    double v = std::sin(kTwoPi * hz * t) * std::exp(-t * 45.0);
    if (i < 8) v *= i / 8.0;
    loop.addPanned(at + i, v * gain, pan);
  }
}

void shaker(Loop& loop, long at, Rng& rng, double gain, double pan) {
  Svf bp;
  bp.set(6500, 1.2);
  const long n = frames(0.09);
  for (long i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    bp.run(rng.bi());
    const double env = std::min(1.0, t / 0.012) * std::exp(-t * 45.0);
    loop.addPanned(at + i, bp.band * env * gain, pan);
  }
}

void cowbell(Loop& loop, long at, double gain, double pan) {
  Svf bp;
  bp.set(2600, 1.5);
  const long n = frames(0.3);
  double a = 0, b = 0.25;
  for (long i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    a += 587.0 / kRate;
    b += 845.0 / kRate;
    a -= std::floor(a);
    b -= std::floor(b);
    bp.run((a < 0.5 ? 1.0 : -1.0) + (b < 0.5 ? 1.0 : -1.0));
    double env = 0.6 * std::exp(-t * 60.0) + 0.4 * std::exp(-t * 12.0);
    if (i > n - 200) env *= (double)(n - i) / 200.0;
    loop.addPanned(at + i, bp.band * env * gain, pan);
  }
}

void synthNote(Loop& loop, long at, long gate, double note, const Patch& p, double gain, double pan,
               uint32_t seed, double accent) {
  Rng rng(seed * 2654435761u + 17u);
  const int nv = std::max(1, p.voices);
  std::vector<BlepSaw> oscs;
  std::vector<double> detune(nv), side(nv);
  for (int v = 0; v < nv; ++v) {
    oscs.emplace_back(rng.uni());
    const double pos = nv == 1 ? 0.0 : (double)v / (nv - 1) * 2.0 - 1.0;  // -1 .. 1
    detune[v] = std::pow(2.0, pos * p.detuneCents / 1200.0);
    side[v] = (v % 2 ? 1.0 : -1.0) * p.width * std::fabs(pos);
  }
  const double hz = midiHz(note);
  const double baseCut = p.cutoff * (p.keyTrack ? std::pow(hz / 110.0, 0.5) : 1.0);
  Svf fl, fr;
  double subPhase = 0;
  const long releaseEnd = gate + frames(p.release * 6.0);
  double gateLevel = 0, env = 0;
  const double driveNorm = p.drive > 0 ? std::tanh(1.0 + p.drive) : 1.0;
  const double unisonNorm = 1.0 / std::sqrt((double)nv);
  for (long i = 0; i < releaseEnd; ++i) {
    const double t = (double)i / kRate;
    if (i < gate) {
      env = t < p.attack ? t / p.attack : p.sustain + (1.0 - p.sustain) * std::exp(-(t - p.attack) / p.decay);
      gateLevel = env;
    } else {
      env = gateLevel * std::exp(-(double)(i - gate) / kRate / p.release);
    }
    if ((i & 7) == 0) {
      const double cut = baseCut * std::pow(2.0, (p.envOctaves + accent) * std::exp(-t / p.filterDecay));
      fl.set(cut, p.q);
      fr.set(cut, p.q);
    }
    double l = 0, r = 0;
    for (int v = 0; v < nv; ++v) {
      const double f = hz * detune[v];
      double saw, pulse;
      oscs[v].both(f, p.pulseWidth, &saw, &pulse);
      const double x = (p.saw * saw + p.pulse * pulse) * unisonNorm;
      l += x * (1.0 - side[v]);
      r += x * (1.0 + side[v]);
    }
    if (p.sub > 0) {
      subPhase += kTwoPi * hz * 0.5 / kRate;
      const double s = std::sin(subPhase) * p.sub;
      l += s;
      r += s;
    }
    fl.run(l);
    fr.run(r);
    double ol = fl.low, orr = fr.low;
    if (p.drive > 0) {
      ol = std::tanh(ol * (1.0 + p.drive)) / driveNorm;
      orr = std::tanh(orr * (1.0 + p.drive)) / driveNorm;
    }
    if (releaseEnd - i < 64) env *= (double)(releaseEnd - i) / 64.0;
    const double a = (pan + 1.0) * 0.25 * kPi;
    loop.add(at + i, ol * env * gain * std::cos(a) * 1.41421356, orr * env * gain * std::sin(a) * 1.41421356);
  }
}

void riser(Loop& loop, long at, long length, Rng& rng, double gain) {
  Svf fl, fr;
  double phase = 0;
  for (long i = 0; i < length; ++i) {
    const double x = (double)i / length;  // 0 .. 1
    if ((i & 7) == 0) {
      const double cut = 300.0 * std::pow(30.0, x);
      fl.set(cut, 2.5);
      fr.set(cut * 1.07, 2.5);
    }
    fl.run(rng.bi());
    fr.run(rng.bi());
    phase += kTwoPi * (180.0 * std::pow(4.0, x)) / kRate;
    const double tone = std::sin(phase) * 0.25;
    double env = x * x;
    if (length - i < 300) env *= (double)(length - i) / 300.0;
    loop.add(at + i, (fl.band + tone) * env * gain, (fr.band + tone) * env * gain);
  }
}

void downlifter(Loop& loop, long at, long length, Rng& rng, double gain) {
  Svf fl, fr;
  for (long i = 0; i < length; ++i) {
    const double x = (double)i / length;
    if ((i & 7) == 0) {
      const double cut = 9000.0 * std::pow(1.0 / 40.0, x);
      fl.set(cut, 3.0);
      fr.set(cut * 0.93, 3.0);
    }
    fl.run(rng.bi());
    fr.run(rng.bi());
    double env = std::exp(-x * 3.5);
    if (i < 200) env *= i / 200.0;
    if (length - i < 300) env *= (double)(length - i) / 300.0;
    loop.add(at + i, fl.band * env * gain, fr.band * env * gain);
  }
}

void impact(Loop& loop, long at, Rng& rng, double gain) {
  Svf hl, hr;
  hl.set(3500, 0.7);
  hr.set(3700, 0.7);
  const long n = frames(1.6);
  double phase = 0;
  for (long i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    phase += kTwoPi * (38.0 + 70.0 * std::exp(-t * 12.0)) / kRate;
    const double boom = std::tanh(2.0 * std::sin(phase) * std::exp(-t * 2.2));
    hl.run(rng.bi());
    hr.run(rng.bi());
    const double crash = std::exp(-t * 2.6) * 0.6;
    double env = 1.0;
    if (i < 30) env = i / 30.0;
    if (i > n - 500) env *= (double)(n - i) / 500.0;
    loop.add(at + i, (boom * 0.8 + hl.high * crash) * env * gain, (boom * 0.8 + hr.high * crash) * env * gain);
  }
}

void noiseSweep(Loop& loop, long at, long length, Rng& rng, double gain, double cycles) {
  Svf fl, fr;
  for (long i = 0; i < length; ++i) {
    const double x = (double)i / length;
    if ((i & 7) == 0) {
      const double lfo = 0.5 - 0.5 * std::cos(kTwoPi * cycles * x);
      const double cut = 500.0 * std::pow(14.0, lfo);
      fl.set(cut, 4.0);
      fr.set(cut * 1.12, 4.0);
    }
    fl.run(rng.bi());
    fr.run(rng.bi());
    double env = 0.7 + 0.3 * std::sin(kPi * x);
    if (i < 300) env *= i / 300.0;
    if (length - i < 300) env *= (double)(length - i) / 300.0;
    loop.add(at + i, fl.band * env * gain, fr.band * env * gain);
  }
}

}  // namespace demolib
