#include "tools/demolib/songKit.h"

namespace demolib {

Grid::Grid(int bpm, std::vector<Chord> progression, int scaleRoot)
    : bpm_(bpm), beat_(kRate * 60L / bpm), prog_(std::move(progression)), scaleRoot_(scaleRoot) {}

long Grid::step(int s, double swing) const {
  long f = (long)s * stepFrames();
  if (s % 2) f += (long)(swing * stepFrames() * 0.5);
  return f;
}

int Grid::degree(int d, int octaveBase) const {
  static const int kMinor[7] = {0, 2, 3, 5, 7, 8, 10};
  const int oct = d >= 0 ? d / 7 : -((-d + 6) / 7);
  const int idx = d - oct * 7;
  return octaveBase + scaleRoot_ % 12 + oct * 12 + kMinor[idx];
}

double stepVelocity(char c) {
  switch (c) {
    case 'X': return 1.0;
    case 'x': return 0.75;
    case 'g': return 0.4;
    default: return 0.0;
  }
}

void playSteps(const Grid& g, const std::string& pattern, int bars, double swing, Rng& rng,
               const std::function<void(long, double, int)>& hit) {
  const int steps = bars * 16;
  for (int s = 0; s < steps; ++s) {
    const double v = stepVelocity(pattern[(size_t)s % pattern.size()]);
    if (v > 0) hit(g.step(s, swing), v * (0.93 + 0.07 * rng.uni()), s);
  }
}

void playNotes(const Grid& g, const std::string& pattern, int bars, double swing,
               const std::function<int(char, int)>& pitch,
               const std::function<void(long, long, int, int)>& play) {
  const int steps = bars * 16;
  const int n = (int)pattern.size();
  for (int s = 0; s < steps; ++s) {
    const char c = pattern[(size_t)(s % n)];
    if (c == '.' || c == '-') continue;
    const int note = pitch(c, s);
    if (note < 0) continue;
    int len = 1;
    while (len < steps && pattern[(size_t)((s + len) % n)] == '-') ++len;
    const long start = g.step(s, swing);
    const long end = g.step(s + len, swing);
    // Staccato by a hair so repeated notes re-trigger audibly.
    play(start, end - start - g.stepFrames() / 8, note, s);
  }
}

int bassPitch(const Grid& g, char c, int step) {
  const Chord& ch = g.chordAt(step);
  const int third = ch.notes.size() > 1 ? (ch.notes[1] - ch.notes[0]) % 12 : 3;
  switch (c) {
    case 'r': return ch.bassRoot;
    case 'R': return ch.bassRoot + 12;
    case 'o': return ch.bassRoot - 12;
    case 'f': return ch.bassRoot + 7;
    case 'F': return ch.bassRoot + 19;
    case 'm': return ch.bassRoot + third;
    case 's': return ch.bassRoot + 10;
    default: return -1;
  }
}

int arpPitch(const Grid& g, char c, int step, int transpose) {
  const Chord& ch = g.chordAt(step);
  const int n = (int)ch.notes.size();
  if (c >= '1' && c <= '4') return ch.notes[(size_t)((c - '1') % n)] + transpose;
  if (c >= '5' && c <= '8') return ch.notes[(size_t)((c - '5') % n)] + 12 + transpose;
  if (c == '9') return ch.notes[(size_t)(n - 1)] + 24 + transpose;
  return -1;
}

int melodyPitch(const Grid& g, char c, int octaveBase) {
  if (c >= '0' && c <= '9') return g.degree(c - '0', octaveBase);
  if (c >= 'a' && c <= 'c') return g.degree(10 + (c - 'a'), octaveBase);
  return -1;
}

void playChords(const Grid& g, Loop& loop, const std::string& pattern, int bars, const Patch& patch,
                double gain, int transpose, uint32_t seed, bool spread) {
  playNotes(g, pattern, bars, 0.0, [](char c, int) { return c == 'x' || c == 'X' ? 0 : -1; },
            [&](long at, long gate, int, int s) {
              const Chord& ch = g.chordAt(s);
              const int n = (int)ch.notes.size();
              for (int i = 0; i < n; ++i) {
                const double pan = spread ? (i - (n - 1) * 0.5) / n * 0.8 : 0.0;
                synthNote(loop, at, gate, ch.notes[(size_t)i] + transpose, patch, gain / std::sqrt((double)n), pan,
                          seed + (uint32_t)(s * 7 + i));
              }
            });
}

}  // namespace demolib
