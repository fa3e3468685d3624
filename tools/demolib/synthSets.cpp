// Synth sets: one-shot notes made additively from exactly harmonic partials,
// so every note is in tune by construction (A4 = 440 Hz, equal temperament)
// and free of aliasing. Each partial is a complex phasor turned by a fixed
// step per sample, with its own decay folded into the step.
#include <algorithm>
#include <complex>

#include "tools/demolib/demoLibrary.h"
#include "tools/demolib/files.h"

namespace demolib {

const char* const kSynthNoteNames[36] = {
    "c2", "c#2", "d2", "d#2", "e2", "f2", "f#2", "g2", "g#2", "a2", "a#2", "b2",
    "c3", "c#3", "d3", "d#3", "e3", "f3", "f#3", "g3", "g#3", "a3", "a#3", "b3",
    "c4", "c#4", "d4", "d#4", "e4", "f4", "f#4", "g4", "g#4", "a4", "a#4", "b4"};

std::vector<SynthSetDef> synthSets() { return {{"Pluck", 0}, {"SawLead", 1}, {"Bell", 2}}; }

namespace {

constexpr double kNoteSeconds = 1.0;
constexpr double kTargetRmsDb = -20.0;  // over the first 0.4 s of every note

struct Partial {
  double amp;
  double decay;  // 1/s
};

// The partial of harmonic k (1-based) of a note at `hz` for a set.
Partial partial(int kind, int k, double hz) {
  const double top = k * hz;
  switch (kind) {
    case 0: {  // pluck: a saw whose highs die first
      return {1.0 / k, 2.2 + 0.9 * k * std::sqrt(hz / 220.0)};
    }
    case 1: {  // saw lead: bright saw with a hollow, square-ish middle
      const double tilt = 1.0 / (1.0 + std::pow(top / 4500.0, 2.0));
      return {(k % 2 ? 1.0 : 0.6) / k * tilt, 0.6};
    }
    case 2: {  // bell: strong odd and fourth partials, long fundamental
      static const double kAmp[9] = {0, 1.0, 0.35, 0.55, 0.45, 0.12, 0.22, 0.0, 0.18};
      if (k > 8) return {0.0, 1.0};
      return {kAmp[k], 1.3 + 1.6 * (k - 1)};
    }
    default: {  // organ: drawbars 8', 4', 2 2/3', 2'
      static const double kAmp[5] = {0, 1.0, 0.7, 0.5, 0.4};
      if (k > 4) return {0.0, 1.0};
      return {kAmp[k], 0.15};
    }
  }
}

double amplitudeEnvelope(int kind, double t) {
  const double end = kNoteSeconds;
  double e;
  switch (kind) {
    case 0: e = std::min(1.0, t / 0.002); break;
    case 1: e = std::min(1.0, t / 0.008); break;
    case 2: e = std::min(1.0, t / 0.001); break;
    default: e = std::min(1.0, t / 0.005); break;
  }
  // Every note closes smoothly before the file ends.
  const double release = kind == 1 || kind == 3 ? 0.2 : 0.05;
  if (t > end - release) e *= std::max(0.0, (end - t) / release);
  return e;
}

}  // namespace

std::vector<double> synthSetNote(int kind, int note) {
  const int n = (int)(kNoteSeconds * kRate);
  const double hz = midiHz(36 + note);  // note 0 is c2 (MIDI 36); note 33 is a4 = 440 Hz
  std::vector<double> out(n, 0.0);
  Rng rng(1000u + (uint32_t)kind * 97u);
  const int count = std::max(1, (int)(std::min(12000.0, kRate * 0.45) / hz));
  for (int k = 1; k <= count; ++k) {
    const double phase0 = rng.uni() * kTwoPi;  // drawn for every partial: same phases per set
    const Partial p = partial(kind, k, hz);
    if (p.amp <= 0) continue;
    const std::complex<double> step = std::polar(std::exp(-p.decay / kRate), kTwoPi * k * hz / kRate);
    std::complex<double> z = std::polar(p.amp, phase0);
    for (int i = 0; i < n; ++i) {
      out[(size_t)i] += z.imag();
      z *= step;
    }
  }
  for (int i = 0; i < n; ++i) out[(size_t)i] *= amplitudeEnvelope(kind, (double)i / kRate);
  // The same loudness for every note: RMS over the first 0.4 s.
  const int m = (int)(0.4 * kRate);
  double sum = 0;
  for (int i = 0; i < m; ++i) sum += out[(size_t)i] * out[(size_t)i];
  const double rms = std::sqrt(sum / m);
  const double k = rms > 0 ? dbToGain(kTargetRmsDb) / rms : 0.0;
  for (double& v : out) v *= k;
  return out;
}

bool writeSynthSet(const SynthSetDef& set, const std::string& folder, std::string* error) {
  if (!makeFolders(folder)) {
    *error = "cannot create " + folder;
    return false;
  }
  for (int note = 0; note < 36; ++note) {
    const std::string path = folder + "/" + kSynthNoteNames[note] + ".wav";
    if (!writeFile(path, wavBytes(toPcm16(synthSetNote(set.kind, note)), 1, kRate))) {
      *error = "cannot write " + path;
      return false;
    }
  }
  return true;
}

}  // namespace demolib
