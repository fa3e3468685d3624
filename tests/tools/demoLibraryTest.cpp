// The demo library the build wrote into the program folder: every loop in
// tempo, at sane levels and seamless; every descriptor readable; synth notes
// in tune and even; and the generator repeatable byte for byte.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/files/uloPathNames.h"
#include "song/JLSongLibrary.h"
#include "support/tempFolder.h"
#include "tools/demolib/demoLibrary.h"
#include "tools/demolib/songs.h"

namespace {

const std::string kLibrary = std::string(JL_APP_DIR) + "/Library/";

std::vector<uint8_t> readAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | ((uint32_t)b[at + 3] << 24);
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return (uint16_t)(b[at] | (b[at + 1] << 8)); }

struct Wav {
  int channels = 0;
  std::vector<int16_t> samples;  // interleaved
  int frames() const { return channels ? (int)samples.size() / channels : 0; }
};

// Reads a file that must carry exactly the canonical 44-byte PCM header.
::testing::AssertionResult readWav(const std::string& path, Wav* wav) {
  const std::vector<uint8_t> b = readAll(path);
  if (b.size() < 44) return ::testing::AssertionFailure() << path << ": too short";
  const std::string tags = std::string(b.begin(), b.begin() + 4) + std::string(b.begin() + 8, b.begin() + 16) +
                           std::string(b.begin() + 36, b.begin() + 40);
  if (tags != "RIFFWAVEfmt data") return ::testing::AssertionFailure() << path << ": not the 44-byte layout";
  const int ch = le16(b, 22);
  if (le32(b, 16) != 16 || le16(b, 20) != 1 || le32(b, 24) != 44100 || le16(b, 34) != 16 ||
      le32(b, 28) != 44100u * ch * 2 || le16(b, 32) != ch * 2)
    return ::testing::AssertionFailure() << path << ": not 16-bit PCM at 44100 Hz";
  if (le32(b, 40) != b.size() - 44 || le32(b, 4) != b.size() - 8)
    return ::testing::AssertionFailure() << path << ": sizes in the header do not match the file";
  wav->channels = ch;
  wav->samples.resize((b.size() - 44) / 2);
  for (size_t i = 0; i < wav->samples.size(); ++i) wav->samples[i] = (int16_t)le16(b, 44 + 2 * i);
  return ::testing::AssertionSuccess();
}

std::vector<std::string> entries(const std::string& folder, bool folders) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      const bool isDir = e->d_type == DT_DIR;
      if (isDir == folders) names.push_back(e->d_name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::unique_ptr<JLSongLibrary> loadSong(const std::string& sysFolder) {
  char ulo[kUloPathMax];
  auto lib = std::make_unique<JLSongLibrary>();
  if (!ULO_SystemPathToUloPath((sysFolder + "/").c_str(), ulo, sizeof ulo) || !lib->load(ulo)) return nullptr;
  return lib;
}

double dbfs(double v) { return 20.0 * std::log10(std::max(v, 1e-9) / 32768.0); }

}  // namespace

TEST(DemoLibrary, SongsLoadWithTheirGroupsAndEveryLoopIsInTempoLevelledAndSeamless) {
  const std::vector<std::string> songs = entries(kLibrary + "Song", true);
  ASSERT_GE(songs.size(), 4u) << "no demo library in " << kLibrary;
  int v12 = 0, v10 = 0;
  std::vector<int> tempos;
  for (const std::string& name : songs) {
    SCOPED_TRACE(name);
    const std::string folder = kLibrary + "Song/" + name;
    auto lib = loadSong(folder);
    ASSERT_TRUE(lib);
    const bool is12 = std::string(lib->parserInfo) == "Parser: JLS 1.2";
    (is12 ? v12 : v10)++;
    tempos.push_back(lib->songBpm);
    ASSERT_EQ(2646000 % lib->songBpm, 0) << "a beat must be a whole number of frames";
    EXPECT_GE(lib->groupCount, 8);
    EXPECT_STRNE(lib->songTitle, "");
    EXPECT_TRUE(std::ifstream(folder + "/" + name + ".gif").good());
    if (is12) {
      EXPECT_EQ(lib->randomSetCount, 4);
      EXPECT_GE(lib->styleCount, 2);
      EXPECT_EQ(lib->categoryCount, lib->groupCount);
      EXPECT_TRUE(std::ifstream(kLibrary + "Images/" + lib->songLibraryName + ".gif").good());
      for (int g = 0; g < lib->groupCount; ++g) {
        EXPECT_GE(lib->groups[g].count, 4) << lib->groups[g].name;
        EXPECT_LE(lib->groups[g].count, 8) << lib->groups[g].name;
      }
      for (int s = 0; s < lib->randomSetCount; ++s)
        for (int m = 0; m < lib->randomSets[s].count; ++m) EXPECT_GE(lib->randomSets[s].members[m], 0);
      for (int s = 0; s < lib->styleCount; ++s)
        for (int k = 0; k < lib->styles[s].slotCount; ++k) EXPECT_GE(lib->styles[s].slots[k], 0);
    }
    int wavs = 0;
    for (const std::string& f : entries(folder, false)) wavs += f.size() > 4 && f.substr(f.size() - 4) == ".wav";
    EXPECT_EQ(lib->trackCount, wavs);

    const long beat = 2646000 / lib->songBpm;
    for (int g = 0; g < lib->groupCount; ++g) {
      const JLSongGroup& gr = lib->groups[g];
      for (int v = 0; v < gr.count; ++v) {
        SCOPED_TRACE(gr.files[v]);
        ASSERT_GE(gr.sampleIndex[v], 0);
        Wav w;
        ASSERT_TRUE(readWav(folder + "/" + gr.files[v] + ".wav", &w));
        EXPECT_EQ(w.channels, 2);
        const int divisor = gr.divisor[v];
        EXPECT_TRUE(divisor == 2 || divisor == 4 || divisor == 8) << "1, 2 or 4 bars";
        EXPECT_EQ(w.frames(), 32 / divisor * beat);
        int peak = 0;
        double sum[2] = {0, 0};
        for (size_t i = 0; i < w.samples.size(); ++i) {
          peak = std::max(peak, std::abs((int)w.samples[i]));
          sum[i % 2] += w.samples[i];
        }
        EXPECT_GE(dbfs(peak), -12.01);
        EXPECT_LE(dbfs(peak), -2.99);
        for (double s : sum) EXPECT_LT(std::fabs(s / w.frames()), 16.0) << "DC offset";
        // The repetitions join at (near) silence: no step at the seam.
        const size_t n = w.samples.size();
        for (size_t i : {(size_t)0, (size_t)1, n - 2, n - 1}) EXPECT_LE(std::abs(w.samples[i]), 64);
      }
    }
  }
  EXPECT_GE(v12, 3);
  EXPECT_GE(v10, 1);
  std::sort(tempos.begin(), tempos.end());
  EXPECT_GE(std::unique(tempos.begin(), tempos.end()) - tempos.begin(), 3) << "songs in different tempos";
}

namespace {

// Fundamental of a steady stretch by autocorrelation: the normalised
// correlation is searched around a lag of several expected periods and its
// peak refined by a parabola, which resolves far below a cent.
double measureHz(const std::vector<int16_t>& x, int channels, double expectedHz) {
  const int from = 2205, length = 13230;  // 50 ms .. 350 ms
  const double period = 44100.0 / expectedHz;
  const int periods = std::max(1, (int)std::lround(2000.0 / period));
  const int center = (int)std::lround(period * periods);
  auto at = [&](int i) { return (double)x[(size_t)i * channels]; };
  auto corr = [&](int lag) {
    double xy = 0, xx = 0, yy = 0;
    for (int i = from; i < from + length; ++i) {
      xy += at(i) * at(i + lag);
      xx += at(i) * at(i);
      yy += at(i + lag) * at(i + lag);
    }
    return xy / std::sqrt(xx * yy);
  };
  int best = center - 4;
  double r[3];
  for (int lag = center - 4; lag <= center + 4; ++lag)
    if (corr(lag) > corr(best)) best = lag;
  if (best == center - 4 || best == center + 4) return 0;  // no peak near the expected pitch
  for (int k = 0; k < 3; ++k) r[k] = corr(best - 1 + k);
  const double shift = 0.5 * (r[0] - r[2]) / (r[0] - 2 * r[1] + r[2]);
  return 44100.0 / ((best + shift) / periods);
}

}  // namespace

TEST(DemoLibrary, SynthNotesAreTunedToA440AndEquallyLoud) {
  const std::vector<std::string> sets = entries(kLibrary + "Synth", true);
  ASSERT_GE(sets.size(), 3u);
  for (const std::string& set : sets) {
    SCOPED_TRACE(set);
    std::vector<double> rms;
    for (int n = 0; n < 36; ++n) {
      const std::string file = std::string(demolib::kSynthNoteNames[n]) + ".wav";
      SCOPED_TRACE(file);
      Wav w;
      ASSERT_TRUE(readWav(kLibrary + "Synth/" + set + "/" + file, &w));
      ASSERT_GE(w.frames(), 44100);
      // c2.wav is MIDI 36 (65.41 Hz); a4.wav, note 33, is 440 Hz.
      const double expected = 440.0 * std::pow(2.0, (n - 33) / 12.0);
      const double hz = measureHz(w.samples, w.channels, expected);
      ASSERT_GT(hz, 0);
      EXPECT_LT(std::fabs(1200.0 * std::log2(hz / expected)), 1.0) << hz << " Hz";
      double s = 0;
      for (int i = 0; i < 17640; ++i) s += (double)w.samples[(size_t)i * w.channels] * w.samples[(size_t)i * w.channels];
      rms.push_back(std::sqrt(s / 17640));
      int peak = 0;
      for (int16_t v : w.samples) peak = std::max(peak, std::abs((int)v));
      EXPECT_LE(dbfs(peak), -3.0);
      EXPECT_LE(std::abs(w.samples.back()), 64);
    }
    const double mid = rms[18];
    for (int n = 0; n < 36; ++n) EXPECT_NEAR(20 * std::log10(rms[n] / mid), 0.0, 0.5) << demolib::kSynthNoteNames[n];
  }
}

TEST(DemoLibrary, TheGeneratorWritesTheSameBytesEveryTimeAndThePackageSongReads) {
  const demolib::SongDef song = demolib::packageSong();
  TempFolder a, b;
  std::string error;
  demolib::SongReport report;
  ASSERT_TRUE(demolib::writeSong(song, a.sys() + song.folder, song.folder + ".jls", &report, &error)) << error;
  ASSERT_TRUE(demolib::writeSong(song, b.sys() + song.folder, song.folder + ".jls", nullptr, &error)) << error;
  const std::vector<std::string> files = entries(a.sys() + song.folder, false);
  EXPECT_EQ(files, entries(b.sys() + song.folder, false));
  EXPECT_EQ(std::count(files.begin(), files.end(), song.folder + ".jls"), 1);
  EXPECT_EQ(std::count(files.begin(), files.end(), song.folder + ".gif"), 1);
  for (const std::string& f : files) EXPECT_EQ(readAll(a.sys() + song.folder + "/" + f), readAll(b.sys() + song.folder + "/" + f)) << f;

  // Read as the installer will leave it: the descriptor found in the folder.
  auto lib = loadSong(a.sys() + song.folder);
  ASSERT_TRUE(lib);
  EXPECT_STREQ(lib->parserInfo, "Parser: JLS 1.2");
  EXPECT_EQ(lib->groupCount, 8);
  EXPECT_EQ(lib->trackCount, report.loops);
  EXPECT_EQ(lib->songBpm, 126);
  EXPECT_EQ(lib->styleCount, 2);
  EXPECT_LT(report.worstPeakDb, 0.0);
}
