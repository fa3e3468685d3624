// Shared by the tests of the mixer as a live pull-mode output drives it:
// device-sized blocks, 5 ms fades and the ring cut's lead, set on a
// manual-feed engine (every start of play sets them back), and checks of
// the output against the loops' markers.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"

namespace livetest {

constexpr int kBlock = 512;
constexpr int kRamp = 220;                 // 5 ms at 44100 Hz
constexpr int kLead = 2 * kBlock + kRamp;  // the ring cut's lead

inline void goLive() {
  MixBlockFrames = kBlock;
  MixRampFrames = kRamp;
  ImmediateLeadFrames = kLead;
}

// One device block; the loader visits after it only when `loader`.
inline void liveBlock(std::vector<int16_t>& out, bool loader) {
  const size_t at = out.size();
  out.resize(at + 2 * kBlock);
  GetSamples(out.data() + at, kBlock);
  if (loader) LoaderVisitAll();
}

// Device-sized blocks up to `pos`.
inline void liveTo(int64_t pos, std::vector<int16_t>& out, bool loader = true) {
  while (TimeLine.load() < pos) liveBlock(out, loader);
}

// Left sample of loop `id` at `phase`, volume 64 (gain 0.5) times `fade`.
inline int faded(int id, int64_t phase, float fade) {
  return int16_t(float(enginetest::marker(id, phase)) * (0.5f * fade));
}

// Expected left sample at p when loop `a` (length la) switches at `at` to
// loop `b` (length lb), fading over kRamp on each side.
inline int across(int a, int64_t la, int b, int64_t lb, int64_t at, int64_t p) {
  if (p < at - kRamp) return faded(a, p % la, 1.0f);
  if (p < at) return faded(a, p % la, float(at - p) / kRamp);
  if (p < at + kRamp) return faded(b, p % lb, float(p - at) / kRamp);
  return faded(b, p % lb, 1.0f);
}

// Frames [from, to) of the left channel against `expect(p)`, within one
// step of rounding; the right channel is the negation.
template <class Fn>
void expectLeft(const std::vector<int16_t>& out, int64_t from, int64_t to, Fn expect, const char* what) {
  for (int64_t p = from; p < to; ++p) {
    const int want = expect(p);
    if (std::abs(out[2 * p] - want) > 1 || std::abs(out[2 * p + 1] + want) > 1) {
      ADD_FAILURE() << what << ": frame " << p << " is (" << out[2 * p] << "," << out[2 * p + 1] << "), expected "
                    << want;
      return;
    }
  }
}

// Loop A (4 beats) playing live on track 1 at volume 64, loop B (3 beats)
// registered next; `more` adds loop C (2 beats).
struct TwoLoops {
  explicit TwoLoops(bool more = false) {
    a = h.addLoop(1, int(la), 8);
    b = h.addLoop(2, int(lb), 0);
    if (more) c = h.addLoop(3, int(lc), 0);
    TrackVolume(1, 64);
    EXPECT_EQ(0, TrackPlay(1, a));
    goLive();
  }
  enginetest::Harness h;
  static constexpr int64_t la = 4 * enginetest::kBeat, lb = 3 * enginetest::kBeat, lc = 2 * enginetest::kBeat;
  int a = 0, b = 0, c = 0;
  std::vector<int16_t> out;
};


}  // namespace livetest
