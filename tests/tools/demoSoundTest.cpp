// The first sound a new user hears: the default groove of every demo song,
// rendered by the program's own engine at the program's starting volumes,
// plays as loud as finished dance music (ITU-R BS.1770 integrated
// loudness), is bright enough, and no groove any random set can make clips.
// The loudness meter is checked first against the standard's references.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/files/uloPathNames.h"
#include "engine/JLEngine.h"
#include "song/JLDiskMix.h"
#include "framework/platform/uloSys.h"
#include "screens/vmixHost.h"
#include "song/JLSongLibrary.h"
#include "support/tempFolder.h"
#include "tools/demolib/loudness.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
const std::string kApp = JL_APP_DIR;

// A 1 kHz sine at `dbfs` (peak) for `seconds`, appended to each channel.
void sine(std::vector<std::vector<double>>& ch, double dbfs, double seconds, int rate = 44100) {
  const double a = std::pow(10.0, dbfs / 20.0);
  for (auto& c : ch) {
    const size_t from = c.size(), n = size_t(std::lround(seconds * rate));
    for (size_t i = 0; i < n; ++i) c.push_back(a * std::sin(2.0 * kPi * 1000.0 * double(from + i) / rate));
  }
}

TEST(Loudness, KWeightingHasTheStandardsCoefficientsAt48kHz) {
  demolib::Biquad shelf, highPass;
  demolib::kWeighting(48000, &shelf, &highPass);
  // The table of ITU-R BS.1770-4 (stage 1: shelf, stage 2: high pass).
  EXPECT_NEAR(shelf.b0, 1.53512485958697, 1e-12);
  EXPECT_NEAR(shelf.b1, -2.69169618940638, 1e-12);
  EXPECT_NEAR(shelf.b2, 1.19839281085285, 1e-12);
  EXPECT_NEAR(shelf.a1, -1.69065929318241, 1e-12);
  EXPECT_NEAR(shelf.a2, 0.73248077421585, 1e-12);
  EXPECT_EQ(highPass.b0, 1.0);
  EXPECT_EQ(highPass.b1, -2.0);
  EXPECT_EQ(highPass.b2, 1.0);
  EXPECT_NEAR(highPass.a1, -1.99004745483398, 1e-12);
  EXPECT_NEAR(highPass.a2, 0.99007225036621, 1e-12);
}

TEST(Loudness, SinesAndGatesMeasureAsTheReferencesSay) {
  // A full-scale 1 kHz sine in one channel reads -3.01: so -23.01 at
  // -20 dBFS, and -20.0 in both channels.
  std::vector<std::vector<double>> mono(1), stereo(2);
  sine(mono, -20.0, 5.0);
  sine(stereo, -20.0, 5.0);
  EXPECT_NEAR(demolib::integratedLoudness(mono, 44100), -23.01, 0.05);
  EXPECT_NEAR(demolib::integratedLoudness(stereo, 44100), -20.0, 0.05);
  // EBU Tech 3341 cases 4 and 5: quiet passages below the absolute and the
  // relative gate leave -23.0; a louder middle averages in energy.
  std::vector<std::vector<double>> gated(2), mixed(2);
  sine(gated, -72, 10), sine(gated, -36, 10), sine(gated, -23, 60), sine(gated, -36, 10), sine(gated, -72, 10);
  sine(mixed, -26, 20), sine(mixed, -20, 20.1), sine(mixed, -26, 20);
  EXPECT_NEAR(demolib::integratedLoudness(gated, 44100), -23.0, 0.1);
  EXPECT_NEAR(demolib::integratedLoudness(mixed, 44100), -23.0, 0.1);
  EXPECT_EQ(demolib::integratedLoudness({std::vector<double>(44100, 0.0)}, 44100), -200.0);
}

// A 16-bit stereo sound file, interleaved; empty when it cannot be read.
std::vector<int16_t> readStereo(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return {};
  std::vector<int16_t> pcm(info.channels == 2 ? size_t(info.frames * 2) : 0);
  if (!pcm.empty()) sf_readf_short(f, pcm.data(), info.frames);
  sf_close(f);
  return pcm;
}

std::vector<std::string> songFolders() {
  std::vector<std::string> names;
  if (DIR* d = opendir((kApp + "/Library/Song").c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.' && e->d_type == DT_DIR) names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The program's folder as the current folder, and its engine, for the
// duration of a test.
class DemoSongs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(saved_, sizeof saved_), nullptr);
    ASSERT_EQ(chdir(JL_APP_DIR), 0);
    gep = &engine_;
    engine_.init();
  }
  void TearDown() override {
    engine_.exit();
    gep = nullptr;
    ASSERT_EQ(chdir(saved_), 0);
  }
  std::unique_ptr<JLSongLibrary> load(const std::string& name) {
    auto lib = std::make_unique<JLSongLibrary>();
    const std::string folder = ":Library:Song:" + name + ":";
    return lib->load(folder.c_str()) ? std::move(lib) : nullptr;
  }
  // The image rendered as the program plays it: both channels in -1..1,
  // the largest sample and how many samples sit at full scale.
  void render(const JLIceimage& image, std::vector<std::vector<double>>& ch, int& peak, int& clipped) {
    const std::string out = tmp_.sys() + image.songName + ".wav";
    JLDiskMixReport report;
    ASSERT_TRUE(JL_DiskMix(image, out.c_str(), JLDiskMixOptions(), report)) << report.error;
    const std::vector<int16_t> pcm = readStereo(out);
    ASSERT_FALSE(pcm.empty());
    ch.assign(2, std::vector<double>(pcm.size() / 2));
    peak = clipped = 0;
    for (size_t i = 0; i < pcm.size(); ++i) {
      ch[i % 2][i / 2] = pcm[i] / 32768.0;
      peak = std::max(peak, std::abs(int(pcm[i])));
      clipped += std::abs(int(pcm[i])) >= 32767;
    }
  }
  char saved_[4096];
  JLEngine engine_;
  TempFolder tmp_;
};

TEST_F(DemoSongs, TheDefaultGrooveIsLoudBrightAndUnclippedAtTheStartingVolumes) {
  const std::vector<std::string> songs = songFolders();
  ASSERT_GE(songs.size(), 4u);
  for (const std::string& name : songs) {
    SCOPED_TRACE(name);
    auto lib = load(name);
    ASSERT_TRUE(lib);
    JLIceimage image;
    image.valid = 1;
    snprintf(image.songName, sizeof image.songName, "%s", name.c_str());
    image.bpm = float(lib->songBpm);
    JL_DefaultGroove(*lib, image.groove);
    std::vector<std::vector<double>> ch;
    int peak = 0, clipped = 0;
    ASSERT_NO_FATAL_FAILURE(render(image, ch, peak, clipped));
    const double lufs = demolib::integratedLoudness(ch, 44100);
    const std::vector<double> bands = demolib::bandLevels(ch, 44100, {20, 150, 500, 2000, 6000, 20000});
    const double loudest = *std::max_element(bands.begin(), bands.end());
    std::printf("[ sound    ] %-14s %6.2f LUFS  peak %6.2f dBFS  2-6 kHz %6.2f dB below the loudest band\n",
                name.c_str(), lufs, 20.0 * std::log10(peak / 32768.0), loudest - bands[3]);
    EXPECT_GE(lufs, -14.0);
    EXPECT_LE(lufs, -10.0);
    EXPECT_LT(peak, 32767) << "the mixer clipped";
    EXPECT_GE(bands[3], loudest - 12.0) << "hats, claps and leads too dull";
  }
}

// The virtual mixer's four mixes of every demo song, each built as the
// mixer builds it and rendered whole at the starting volumes: four
// distinct named styles, no loop twice in one groove (the same loop on
// two tracks only doubles its level), no mix louder than -10 LUFS, and an
// old-format song's drawn mixes (several draws) never clip.
TEST_F(DemoSongs, EveryVirtualMixIsNamedDistinctNeverDoublesALoopAndDrawnMixesDoNotClip) {
  for (const std::string& name : songFolders()) {
    SCOPED_TRACE(name);
    auto lib = load(name);
    ASSERT_TRUE(lib);
    EXPECT_EQ(lib->styleCount, kJLMaxStyles) << "a style for each of the four mixes";
    const int16_t styles = std::min<int16_t>(lib->styleCount, kJLMaxStyles);
    const bool drawn = std::strcmp(lib->parserInfo, "Parser: JLS 1.0") == 0;
    for (int a = 0; a < styles; ++a) {
      EXPECT_NE(lib->styles[a].name[0], 0) << "mix " << a + 1 << " has a name";
      for (int b = 0; b < a; ++b) {
        EXPECT_STRNE(lib->styles[a].name, lib->styles[b].name);
        const JLMixStyle &x = lib->styles[a], &y = lib->styles[b];
        const bool same = x.rowCount == y.rowCount && x.slotCount == y.slotCount &&
                          std::memcmp(x.slots, y.slots, sizeof x.slots) == 0 &&
                          std::memcmp(x.rows, y.rows, sizeof(x.rows[0]) * size_t(x.rowCount)) == 0;
        EXPECT_FALSE(same) << "mixes " << b + 1 << " and " << a + 1 << " are the same";
      }
    }
    for (uint32_t seed : drawn ? std::vector<uint32_t>{1, 2} : std::vector<uint32_t>{1}) {
      if (drawn) {
        ULO_SeedRandom(seed);
        lib = load(name);
        ASSERT_TRUE(lib);
      }
      for (int16_t n = 0; n < styles; ++n) {
        SCOPED_TRACE(lib->styles[n].name);
        JLIceimage image;
        image.valid = 1;
        snprintf(image.songName, sizeof image.songName, "%s", name.c_str());
        image.bpm = float(lib->songBpm);
        ULO_SeedRandom(seed + uint32_t(n));
        JL_BuildVMix(*lib, image.sequence, n);
        ASSERT_GT(image.sequence.stepCount, 0);
        image.groove = image.sequence.grooves[0];
        for (int r = 0; r < image.sequence.grooveCount; ++r)
          for (int t = 0; t < 8; ++t)
            for (int u = 0; u < t; ++u) {
              const JLTrack &x = image.sequence.grooves[r].tracks[t], &y = image.sequence.grooves[r].tracks[u];
              EXPECT_FALSE(x.group >= 0 && x.group == y.group && x.variant == y.variant)
                  << "row " << r << ": tracks " << u << " and " << t << " play the same loop";
            }
        std::vector<std::vector<double>> ch;
        int peak = 0, clipped = 0;
        ASSERT_NO_FATAL_FAILURE(render(image, ch, peak, clipped));
        const double lufs = demolib::integratedLoudness(ch, 44100);
        std::printf("[ mix      ] %-14s %-8s seed %u %6.2f LUFS  peak %6.2f dBFS  %d clipped\n", name.c_str(),
                    lib->styles[n].name, seed, lufs, 20.0 * std::log10(peak / 32768.0), clipped);
        EXPECT_LE(lufs, -10.0);
        // Drawn styles play each instrument once, on its own track: their
        // mixes stay within the grooves the library's levels were made for.
        if (drawn) {
          EXPECT_EQ(clipped, 0) << "peak " << peak;
        }
      }
    }
  }
}

// jamloom-render --song: the song's first groove, centred pans on both
// sides (a descriptor pan of 63 is the middle, not the far right).
TEST(RenderTool, ASongRendersWithLeftAndRightBalanced) {
  TempFolder tmp;
  for (const std::string& name : songFolders()) {
    SCOPED_TRACE(name);
    const std::string out = tmp.sys() + name + ".wav";
    const std::string command = std::string("'") + JL_RENDER + "' --song " + name + " '" + out + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::vector<int16_t> pcm = readStereo(out);
    ASSERT_FALSE(pcm.empty());
    double sum[2] = {0, 0};
    for (size_t i = 0; i < pcm.size(); ++i) sum[i % 2] += double(pcm[i]) * pcm[i];
    const double frames = double(pcm.size() / 2);
    const double left = 10 * std::log10(sum[0] / frames / (32768.0 * 32768.0));
    const double right = 10 * std::log10(sum[1] / frames / (32768.0 * 32768.0));
    std::printf("[ render   ] %-14s left %6.2f dB  right %6.2f dB RMS\n", name.c_str(), left, right);
    EXPECT_GT(left, -30.0);
    EXPECT_NEAR(left, right, 1.0);
  }
}

struct Variant {
  std::vector<int16_t> pcm;  // interleaved stereo
  double left, right;        // gains at the default volumes and master
};

// Any random groove: every set gives each of its tracks one group (any
// group for an empty member), and any variant of it. At each frame of the
// song's longest loop the sum of each track's highest (and lowest)
// possible sample must stay inside 16 bits.
TEST_F(DemoSongs, NoGrooveOfAnyRandomSetClipsAtTheStartingVolumes) {
  for (const std::string& name : songFolders()) {
    SCOPED_TRACE(name);
    auto lib = load(name);
    ASSERT_TRUE(lib);
    std::vector<std::vector<Variant>> groups(size_t(lib->groupCount));
    int period = 0;
    const double master = kJLDefaultMasterVolume / 128.0;
    for (int g = 0; g < lib->groupCount; ++g) {
      const JLSongGroup& gr = lib->groups[g];
      for (int v = 0; v < gr.count; ++v) {
        SF_INFO info{};
        SNDFILE* f = sf_open((kApp + "/Library/Song/" + name + "/" + gr.files[v] + ".wav").c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr) << gr.files[v];
        ASSERT_EQ(info.channels, 2);
        Variant var;
        var.pcm.resize(size_t(info.frames * 2));
        sf_readf_short(f, var.pcm.data(), info.frames);
        sf_close(f);
        // Track pan = descriptor pan - 63; the engine's linear law puts
        // full gain on the near side and scales the far one.
        const int pan = gr.pan[v] - 63;
        const double vol = gr.volume[v] / 128.0 * master;
        var.left = pan > 0 ? vol * (63 - pan) / 63.0 : vol;
        var.right = pan < 0 ? vol * (63 + pan) / 63.0 : vol;
        period = std::max(period, int(info.frames));
        groups[size_t(g)].push_back(std::move(var));
      }
    }
    std::vector<std::vector<int>> sets;
    for (int s = 0; s < lib->randomSetCount; ++s) {
      std::vector<int> members;
      for (int m = 0; m < lib->randomSets[s].count && m < 8; ++m) members.push_back(lib->randomSets[s].members[m]);
      sets.push_back(members);
    }
    if (sets.empty()) {
      std::vector<int> first;
      for (int g = 0; g < lib->groupCount && g < 8; ++g) first.push_back(g);
      sets.push_back(first);
    }
    double worst = 0;
    for (const std::vector<int>& members : sets) {
      for (int i = 0; i < period; ++i) {
        double up[2] = {0, 0}, down[2] = {0, 0};
        for (int member : members) {
          double hi[2] = {0, 0}, lo[2] = {0, 0};
          for (int g = 0; g < lib->groupCount; ++g) {
            if (member >= 0 && g != member) continue;
            for (const Variant& v : groups[size_t(g)]) {
              const size_t j = size_t(i) % (v.pcm.size() / 2);
              const double l = v.pcm[2 * j] * v.left, r = v.pcm[2 * j + 1] * v.right;
              hi[0] = std::max(hi[0], l), lo[0] = std::min(lo[0], l);
              hi[1] = std::max(hi[1], r), lo[1] = std::min(lo[1], r);
            }
          }
          for (int c = 0; c < 2; ++c) up[c] += hi[c], down[c] += lo[c];
        }
        worst = std::max({worst, up[0], up[1], -down[0], -down[1]});
      }
    }
    std::printf("[ worst    ] %-14s %6.2f dBFS\n", name.c_str(), 20.0 * std::log10(worst / 32768.0));
    EXPECT_LT(worst, 32767.0);
  }
}

}  // namespace

namespace {

// jamloom-render --stems of every demo song's first groove at a tempo
// away from the song's: eight track stems and the master, whose sum is the
// master within one step per stem (each file is rounded once) wherever the
// master is below full scale. The songs take turns at the two tempo
// qualities.
TEST(RenderTool, StemsOfEachDemoSongSumToItsMaster) {
  TempFolder tmp;
  int turn = 0;
  for (const std::string& name : songFolders()) {
    const char* quality = turn++ % 2 ? "original" : "high";
    SCOPED_TRACE(name + " " + quality);
    const std::string dir = tmp.sys() + name;
    // Every other folder is left for the tool to make.
    if (turn % 2) ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    const std::string command = std::string("'") + JL_RENDER + "' --stems '" + dir +
                                "' --format flac --bpm 111 --tempo-quality " + quality + " --song " + name +
                                " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::vector<std::string> stems;
    DIR* d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    while (dirent* e = readdir(d))
      if (strncmp(e->d_name, "track", 5) == 0) stems.push_back(dir + "/" + e->d_name);
    closedir(d);
    ASSERT_GE(stems.size(), 4u);
    const std::vector<int16_t> master = readStereo(dir + "/master.flac");
    ASSERT_FALSE(master.empty());
    std::vector<int32_t> sum(master.size(), 0);
    for (const std::string& s : stems) {
      const std::vector<int16_t> pcm = readStereo(s);
      ASSERT_EQ(pcm.size(), master.size()) << s;
      for (size_t i = 0; i < pcm.size(); ++i) sum[i] += pcm[i];
    }
    int worst = 0;
    for (size_t i = 0; i < master.size(); ++i)
      if (std::abs(master[i]) < 32767) worst = std::max(worst, std::abs(sum[i] - master[i]));
    EXPECT_LE(worst, int(stems.size()));
  }
  // A folder whose parent is missing is refused, and nothing is left.
  const std::string lost = tmp.sys() + "missing/stems";
  const std::string command =
      std::string("'") + JL_RENDER + "' --stems '" + lost + "' --song " + songFolders().front() + " >/dev/null 2>&1";
  EXPECT_NE(std::system(command.c_str()), 0);
  struct stat st;
  EXPECT_NE(stat((tmp.sys() + "missing").c_str(), &st), 0);
}

}  // namespace
