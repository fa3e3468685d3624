// A song whose loops come from other programs (24-bit with chunks before
// the sound data, float at 48 kHz, a cut file), rendered to disk by the
// real engine: each plays at its true level and length, measured against
// plain 16-bit loops of the same sound.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/JLEngine.h"
#include "engine/loopFileFixtures.h"
#include "song/JLDiskMix.h"
#include "support/tempFolder.h"

using namespace loopfiles;

namespace {

constexpr int kBeat = 22050;  // 120 BPM at 44100 Hz

std::vector<double> tone(int rate, int frames) {
  std::vector<double> v;
  for (int i = 0; i < frames; ++i) v.push_back(0.5 * std::sin(2 * M_PI * 1000.0 * i / rate));
  return v;
}

std::vector<double> constant(int frames, int channels, double x) {
  return std::vector<double>(size_t(frames) * channels, x);
}

double rms(const std::vector<int16_t>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += double(s[2 * i]) * s[2 * i];
  return std::sqrt(sum / double(to - from));
}

class LoopFormatsMix : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(saved_, sizeof saved_), nullptr);
    ASSERT_EQ(chdir(tmp_.sys().c_str()), 0);
    setenv("XDG_CACHE_HOME", (tmp_.sys() + "cache").c_str(), 1);
    mkdir("Library", 0755);
    mkdir("Library/Song", 0755);
    mkdir("Library/Song/Odd", 0755);
    tmp_.write("Library/Song/Odd/info.jls",
               "JLS 1.0 test\naaa01 A 127 63 0 8\nbbb01 B 127 63 0 8\nccc01 C 127 63 0 8\nddd01 D 127 63 0 8\n"
               "eee01 E 127 63 0 8\n*120\n*C3\n*0\n*Odd\n*Test.\n*0\n*0\n");
    const double v = 1000.0 / 32768;
    const std::vector<Chunk> extra = {{"LIST", std::string("INFOISFT\x05\0\0\0tool\0\0", 18)},
                                      {"bext", std::string(602, '\0')}};
    write("aaa01.wav", wave(Format::s24, 2, 44100, encode(Format::s24, constant(4 * kBeat, 2, v)), extra));
    write("bbb01.wav", wave(Format::s16, 2, 44100, encode(Format::s16, constant(4 * kBeat, 2, v)), {}));
    // Three beats of tone at 48 kHz in a four-beat loop.
    write("ccc01.wav", wave(Format::f32, 1, 48000, encode(Format::f32, tone(48000, 3 * 24000)), {}));
    // Four beats declared, two there.
    const std::string full = wave(Format::s24, 2, 44100, encode(Format::s24, constant(4 * kBeat, 2, v)), {});
    write("ddd01.wav", full.substr(0, full.size() - 2 * kBeat * 6));
    write("eee01.wav", wave(Format::s16, 1, 44100, encode(Format::s16, tone(44100, 3 * kBeat)), {}));
    gep = &engine_;
    engine_.init();
  }
  void TearDown() override {
    engine_.exit();
    gep = nullptr;
    unsetenv("XDG_CACHE_HOME");
    ASSERT_EQ(chdir(saved_), 0);
  }
  void write(const std::string& name, const std::string& bytes) { tmp_.write("Library/Song/Odd/" + name, bytes); }

  // One 32-beat cycle of the group's loop alone, left and right.
  std::vector<int16_t> render(int16_t group) {
    JLIceimage image;
    image.valid = 1;
    strcpy(image.songName, "Odd");
    image.bpm = 120;
    image.groove.tracks[0].group = group;
    image.groove.tracks[0].variant = 0;
    image.groove.tracks[0].volume = 127;
    image.groove.tracks[0].pan = 0;
    const std::string out = tmp_.sys() + "mix" + std::to_string(group) + ".wav";
    JLDiskMixReport report;
    EXPECT_TRUE(JL_DiskMix(image, out.c_str(), JLDiskMixOptions(), report)) << report.error;
    EXPECT_EQ(0u, report.underruns);
    SF_INFO info;
    memset(&info, 0, sizeof info);
    SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
    EXPECT_NE(nullptr, f);
    EXPECT_EQ(32 * kBeat, info.frames);
    std::vector<int16_t> s(size_t(info.frames) * 2);
    if (f) {
      sf_readf_short(f, s.data(), info.frames);
      sf_close(f);
    }
    return s;
  }

  TempFolder tmp_;
  char saved_[4096];
  JLEngine engine_;
};

}  // namespace

TEST_F(LoopFormatsMix, EachLoopPlaysAtItsTrueLevelAndLength) {
  const std::vector<int16_t> plain = render(1);
  ASSERT_GT(plain[0], 0);
  // The 24-bit loop with chunks before its data is the plain loop exactly.
  EXPECT_EQ(plain, render(0));
  // The cut loop: the plain loop's level for the two beats it holds, then
  // silence, in every repetition.
  const std::vector<int16_t> cut = render(3);
  for (size_t i = 0; i < cut.size(); ++i)
    ASSERT_EQ((i / 2) % (4 * kBeat) < 2 * kBeat ? plain[i] : 0, cut[i]) << "frame " << i / 2;
  // The 48 kHz tone: the same level as the 44.1 kHz one, three beats long.
  const std::vector<int16_t> native = render(4), converted = render(2);
  for (int rep = 0; rep < 8; ++rep) {
    const size_t at = size_t(rep) * 4 * kBeat;
    const double dB = 20 * std::log10(rms(converted, at + 500, at + 3 * kBeat - 500) /
                                      rms(native, at + 500, at + 3 * kBeat - 500));
    EXPECT_NEAR(0.0, dB, 0.1) << "repetition " << rep;
    EXPECT_GT(rms(converted, at + 3 * kBeat - 600, at + 3 * kBeat - 100), 1000) << rep;
    EXPECT_EQ(0.0, rms(converted, at + 3 * kBeat + 64, at + 4 * kBeat)) << rep;
  }
}
