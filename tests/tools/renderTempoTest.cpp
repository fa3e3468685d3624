// jamloom-render's tempo options: both tempo qualities copy the song at its
// own tempo, differ away from it with the same length, and --keep-pitch
// gives the faster tempo's exact length with the song's pitch.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

#include "support/tempFolder.h"

namespace {

// Runs the renderer and reads back what it wrote, as 16-bit or float
// samples; empty when it failed. `format` (if given) gets the file's kind.
template <typename T>
std::vector<T> renderAs(const std::string& out, const std::string& args, int* format = nullptr) {
  const std::string command =
      std::string("'") + JL_RENDER + "' --song NeonBoulevard '" + out + "' --cycles 1 " + args + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return {};
  SF_INFO info{};
  SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
  if (!f) return {};
  if (format) *format = info.format;
  std::vector<T> pcm(info.channels == 2 ? size_t(info.frames * 2) : 0);
  if (!pcm.empty()) {
    if constexpr (std::is_same_v<T, float>)
      sf_readf_float(f, pcm.data(), info.frames);
    else
      sf_readf_short(f, pcm.data(), info.frames);
  }
  sf_close(f);
  return pcm;
}

std::vector<int16_t> render(const std::string& out, const std::string& args) { return renderAs<int16_t>(out, args); }

// Sign changes per frame of the left channel's low end (three passes of a
// one-pole low-pass near 150 Hz, where the bass line lives): moves with
// the pitch, and leaves out the top octave a faster tempo filters away.
double crossingRate(const std::vector<int16_t>& pcm) {
  std::vector<double> x(pcm.size() / 2);
  for (size_t i = 0; i < x.size(); ++i) x[i] = pcm[2 * i];
  for (int pass = 0; pass < 3; ++pass) {
    double y = 0;
    for (double& v : x) v = y += 0.021 * (v - y);
  }
  int n = 0;
  for (size_t i = 1; i < x.size(); ++i) n += (x[i] >= 0) != (x[i - 1] >= 0);
  return double(n) / double(x.size());
}

}  // namespace

TEST(RenderTool, TempoQualityAndKeepPitchOptions) {
  TempFolder tmp;
  const std::string out = tmp.sys() + "t.wav";
  // Neon Boulevard is at 125 BPM: 32 beats are 677376 frames.
  const std::vector<int16_t> songHigh = render(out, "--bpm 125 --tempo-quality high");
  ASSERT_EQ(size_t(2 * 677376), songHigh.size());
  EXPECT_EQ(songHigh, render(out, "--bpm 125 --tempo-quality original"));
  EXPECT_EQ(songHigh, render(out, "--bpm 125 --keep-pitch"));

  // 150 BPM: 32 beats of 17640 frames.
  const std::vector<int16_t> high = render(out, "--bpm 150");
  const std::vector<int16_t> original = render(out, "--bpm 150 --tempo-quality original");
  ASSERT_EQ(size_t(2 * 564480), high.size());
  ASSERT_EQ(high.size(), original.size());
  EXPECT_NE(high, original);
  const std::vector<int16_t> kept = render(out, "--bpm 150 --keep-pitch");
  ASSERT_EQ(size_t(2 * 564480), kept.size());
  // Resampled, everything is 1.2 times higher; kept, it stays where it was
  // (the measure is rough on a full mix: the bench measures exact pitch).
  const double song = crossingRate(songHigh);
  EXPECT_NEAR(1.2, crossingRate(high) / song, 0.08);
  EXPECT_NEAR(1.0, crossingRate(kept) / song, 0.05);

  EXPECT_TRUE(render(out, "--bpm 150 --tempo-quality medium").empty());
}


// --depth 24 and 32 write the same mix as the 16-bit file, before its last
// rounding: every sample within half a 16-bit step (and a 24-bit step) of
// the 16-bit one, most of them between two 16-bit values. A container that
// cannot hold the depth is refused before anything is rendered.
TEST(RenderTool, DeeperFilesKeepTheResampledMixUnrounded) {
  TempFolder tmp;
  const std::vector<int16_t> s16 = render(tmp.sys() + "m.wav", "--bpm 150");
  ASSERT_EQ(size_t(2 * 564480), s16.size());
  for (const char* depth : {"24", "32"}) {
    int format = 0;
    const std::vector<float> wide =
        renderAs<float>(tmp.sys() + "m" + depth + ".wav", std::string("--bpm 150 --depth ") + depth, &format);
    ASSERT_EQ(s16.size(), wide.size()) << depth;
    EXPECT_EQ(depth[0] == '2' ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT, format & SF_FORMAT_SUBMASK);
    size_t between = 0;
    for (size_t i = 0; i < s16.size(); ++i) {
      const double v = double(wide[i]) * 32768.0;
      ASSERT_LE(std::fabs(v - s16[i]), 0.5 + 1.0 / 256) << depth << " at " << i;
      between += std::fabs(v - std::nearbyint(v)) > 1.5 / 256;
    }
    EXPECT_GT(between, s16.size() / 2) << depth;
  }
  int format = 0;
  EXPECT_TRUE(renderAs<float>(tmp.sys() + "m.ogg", "--bpm 150 --depth 24", &format).empty());
  EXPECT_TRUE(renderAs<float>(tmp.sys() + "m.flac", "--bpm 150 --depth 32", &format).empty());
  EXPECT_TRUE(renderAs<float>(tmp.sys() + "m.wav", "--bpm 150 --depth 20", &format).empty());
}
