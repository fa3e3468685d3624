// Keep-pitch stretching: the pitch stays, the length is the one asked for
// and a stretched loop joins itself.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/JLKeepPitch.h"
#include "engine/toneFixtures.h"

using namespace tonetest;

// Four beats at 120 BPM played 1.2 times faster: 73500 frames exactly,
// still 441 Hz within 2 cents, and the loop runs on into itself without a
// step larger than the tone's own slope.
TEST(KeepPitch, LoopAtAFasterTempoKeepsItsPitchLengthAndJoin) {
  const std::vector<int16_t> in = sineLoop(88200, 441.0, 20000);
  std::vector<int16_t> out;
  ASSERT_TRUE(JL_StretchLoop(in.data(), 88200, 73500, out));
  ASSERT_EQ(size_t(2 * 73500), out.size());
  EXPECT_LT(std::fabs(cents(measuredHz(out, 2000, 71500), 441.0)), 2.0);
  // 2 pi 441 / 44100 x 20000 = 1257 a frame for the clean tone.
  EXPECT_LE(largestStepAround(out), 1400);
  // Slower, too: 1/1.3 of the tempo.
  ASSERT_TRUE(JL_StretchLoop(in.data(), 88200, 114660, out));
  ASSERT_EQ(size_t(2 * 114660), out.size());
  EXPECT_LT(std::fabs(cents(measuredHz(out, 2000, 112000), 441.0)), 2.0);
  EXPECT_LE(largestStepAround(out), 1400);
}

// Loops far shorter than the stretcher's window, silence and full-scale
// squares: exact lengths, silence stays silent, no step at the join
// beyond what the material has.
TEST(KeepPitch, ShortSilentAndSquareLoopsKeepExactLengths) {
  const std::vector<int16_t> tiny = sineLoop(300, 441.0, 20000);
  std::vector<int16_t> out;
  ASSERT_TRUE(JL_StretchLoop(tiny.data(), 300, 250, out));
  ASSERT_EQ(size_t(500), out.size());
  EXPECT_LE(largestStepAround(out), 1400);

  const std::vector<int16_t> silence(2 * 5000, 0);
  ASSERT_TRUE(JL_StretchLoop(silence.data(), 5000, 6500, out));
  ASSERT_EQ(size_t(13000), out.size());
  for (int16_t v : out) ASSERT_EQ(0, v);

  std::vector<int16_t> square;
  for (int i = 0; i < 44100; ++i) {
    const int16_t v = (i / 50) % 2 ? 32767 : -32768;
    square.push_back(v);
    square.push_back(v);
  }
  ASSERT_TRUE(JL_StretchKeepPitch(square.data(), 44100, 36750, out));
  EXPECT_EQ(size_t(2 * 36750), out.size());

  EXPECT_FALSE(JL_StretchKeepPitch(square.data(), 0, 100, out));
  EXPECT_FALSE(JL_StretchLoop(square.data(), 100, 0, out));
  EXPECT_TRUE(out.empty());
}
