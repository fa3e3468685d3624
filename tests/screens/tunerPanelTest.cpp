// The loop tuner: control arithmetic and displays, the settings that reach
// the engine (and none while a take records), loading files the engine
// cannot read as they are (converted, or refused with a message), and
// saving the loop's region.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cmath>
#include <string>
#include <vector>

#include "engine/JLEngine.h"
#include "core/files/uloPath.h"
#include "engine/userloop/Elast.h"
#include "framework/intl/JLInternational.h"
#include "framework/platform/uloSoundConvert.h"
#include "framework/platform/uloSys.h"
#include "screens/JLLoopTunerPanel.h"
#include "song/JLPlayer.h"
#include "tests/screens/vmixSkinSupport.h"
#include "tests/support/tempFolder.h"

using T = JLLoopTunerPanel;

namespace {

std::vector<std::string> gBoxes;
int16_t recordBox(const char*, const char* text, int16_t) {
  gBoxes.emplace_back(text ? text : "");
  return 1;
}

// A sine file through libsndfile, in any format it writes.
void writeSine(const std::string& path, int format, int rate, int channels, int frames) {
  SF_INFO info = {};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(nullptr, f) << sf_strerror(nullptr);
  std::vector<short> s(size_t(frames) * channels);
  for (int i = 0; i < frames; i++)
    for (int c = 0; c < channels; c++) s[size_t(i) * channels + c] = short(8000 * std::sin(i * 0.05));
  sf_writef_short(f, s.data(), frames);
  sf_close(f);
}

SF_INFO readInfo(const std::string& path) {
  SF_INFO info = {};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (f) sf_close(f);
  return info;
}

// The tuner in entry 4 with an engine (not started) and a player at 120 BPM;
// the current folder is a fresh one, where the converter's file goes.
struct Tuner {
  TempFolder dir;
  std::string oldDir;
  JLPlayer player;
  mixtest::Mounted<T> m{14, 4};
  Tuner() {
    char cwd[4096];
    oldDir = getcwd(cwd, sizeof cwd) ? cwd : ".";
    EXPECT_EQ(0, chdir(dir.sys().c_str()));
    player.setEngine(nullptr);
    player.bpm = 120.f;
    jlPlayer = &player;
    gep = new JLEngine();
    // The rate the program's engine always mixes at; loops are read at it.
    gep->setMixerFrequency(44100);
    gBoxes.clear();
    ULO_SetMessageBoxHook(recordBox);
    m.panel.onPanelOpened();
    m.panel.beforeShow();
  }
  ~Tuner() {
    gep->userLoop_load(nullptr);
    delete gep;
    gep = nullptr;
    jlPlayer = nullptr;
    ULO_SetMessageBoxHook([](const char*, const char*, int16_t b) -> int16_t { return b <= 0 ? 1 : b == 1 ? 2 : 3; });
    EXPECT_EQ(0, chdir(oldDir.c_str()));
  }
  void move(int16_t item, short v) {
    m.set(item, v);
    m.click(item);
  }
};

}  // namespace

TEST(TunerPanel, ControlArithmeticAndDisplays) {
  Tuner t;
  // Defaults after showing: 1 bar, phase 0, whole loop, rate 1, volume 0.5.
  EXPECT_EQ(1, t.m.panel.settings().bars);
  EXPECT_FLOAT_EQ(0.f, t.m.panel.settings().startPercent);
  EXPECT_FLOAT_EQ(100.f, t.m.panel.settings().endPercent);
  EXPECT_FLOAT_EQ(0.5f, t.m.panel.settings().volume);
  EXPECT_EQ("1.00 120", t.m.text(T::kRateText));
  EXPECT_EQ("0.00%", t.m.text(T::kStartText));
  EXPECT_EQ("100.00%", t.m.text(T::kEndText));

  const short barsAt[] = {-50, -26, -25, 0, 24, 25, 49, 50};
  const int bars[] = {1, 1, 2, 4, 4, 8, 8, 8};
  for (int i = 0; i < 8; i++) EXPECT_EQ(bars[i], T::barsOf(barsAt[i])) << barsAt[i];
  t.move(T::kBars, 50);
  EXPECT_EQ("8", t.m.text(T::kBarsText));
  t.move(T::kPhase, 0);
  EXPECT_EQ("4.00", t.m.text(T::kPhaseText));

  t.move(T::kRateCoarse, -50);
  EXPECT_FLOAT_EQ(0.5f, t.m.panel.settings().rate);
  EXPECT_EQ("0.50 240", t.m.text(T::kRateText));
  t.move(T::kRateCoarse, 50);
  EXPECT_FLOAT_EQ(2.f, t.m.panel.settings().rate);
  EXPECT_FLOAT_EQ(1.5f, T::rateOf(25, 0));
  EXPECT_FLOAT_EQ(0.75f, T::rateOf(-25, 0));

  // Region: coarse and fine, clamped at both ends.
  t.move(T::kStartCoarse, 0);
  t.move(T::kStartFine, 50);
  EXPECT_EQ("50.50%", t.m.text(T::kStartText));
  t.move(T::kEndCoarse, 50);
  t.move(T::kEndFine, 50);
  EXPECT_FLOAT_EQ(100.f, t.m.panel.settings().endPercent);
}

TEST(TunerPanel, CoarseControlsResetTheirFinePartner) {
  Tuner t;
  const int16_t pairs[3][2] = {{T::kStartCoarse, T::kStartFine}, {T::kEndCoarse, T::kEndFine},
                               {T::kRateCoarse, T::kRateFine}};
  for (auto& p : pairs) {
    t.move(p[1], 40);
    EXPECT_EQ(40, t.m.value(p[1]));
    t.move(p[0], 10);
    EXPECT_EQ(0, t.m.value(p[1])) << p[0];
  }
  // The start is recomputed from the reset fine value.
  EXPECT_FLOAT_EQ(60.f, t.m.panel.settings().startPercent);
  EXPECT_FLOAT_EQ(1.2f, t.m.panel.settings().rate);
}

TEST(TunerPanel, SettingsReachTheEngineExceptWhileRecording) {
  Tuner t;
  t.move(T::kVolume, 80);
  t.move(T::kBars, 0);
  EXPECT_FLOAT_EQ(0.8f, elastRenderData.volume);
  EXPECT_EQ(4, elastRenderData.bars);
  t.m.panel.recording = 1;
  t.move(T::kVolume, 20);
  t.move(T::kBars, 50);
  EXPECT_FLOAT_EQ(0.8f, elastRenderData.volume);
  EXPECT_EQ(4, elastRenderData.bars);
  t.m.panel.recording = 0;
  t.move(T::kVolume, 20);
  EXPECT_FLOAT_EQ(0.2f, elastRenderData.volume);
  EXPECT_EQ(8, elastRenderData.bars);
}

TEST(TunerPanel, OnOffAndClosingDiscardTheLoop) {
  Tuner t;
  EXPECT_EQ(1, t.m.panel.loopOn);
  t.m.click(T::kOnOff);
  EXPECT_EQ(0, t.m.panel.loopOn);
  EXPECT_FALSE(t.m.panel.settings().on);
  EXPECT_EQ(0, t.m.value(T::kLamp));
  t.m.click(T::kOnOff);
  EXPECT_TRUE(t.m.panel.settings().on);

  writeSine(t.dir.file("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 44100);
  t.m.panel.loadResult((t.dir.ulo() + "a.wav").c_str());
  EXPECT_EQ(1, t.m.panel.loopOn);
  EXPECT_NE(nullptr, elastGlobalData.samples);
  EXPECT_EQ("a.wav", t.m.text(T::kName));
  t.m.click(T::kClose);
  EXPECT_EQ(nullptr, elastGlobalData.samples);
  EXPECT_EQ(0, t.m.panel.loopOn);
  EXPECT_FALSE(QXScreen.isShown(4));
}

// The lamp says whether the user's loop plays: dark (as painted too) while
// there is nothing to tune, lit once a loop is there and switched on.
TEST(TunerPanel, TheLampStaysDarkUntilThereIsALoopToPlay) {
  Tuner t;
  QXScreen.show(4);
  auto greenOfLamp = [&t] {
    const uloPoint c = t.m.panel.control(T::kLamp)->rect.center();
    return (uint16_t(QXScreen.updateBuffer.getPixel(c.x, c.y)) >> 5) & 31;
  };
  EXPECT_EQ(0, t.m.value(T::kLamp)) << "no loop yet";
  const int dark = greenOfLamp();
  t.m.click(T::kOnOff);
  t.m.click(T::kOnOff);
  EXPECT_EQ(1, t.m.panel.loopOn);
  EXPECT_EQ(0, t.m.value(T::kLamp)) << "switched on, still nothing to hear";

  writeSine(t.dir.file("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 44100);
  t.m.panel.loadResult((t.dir.ulo() + "a.wav").c_str());
  EXPECT_EQ(1, t.m.value(T::kLamp));
  EXPECT_GT(greenOfLamp(), dark + 8) << "painted lit";
  t.m.click(T::kOnOff);
  EXPECT_EQ(0, t.m.value(T::kLamp));
  t.m.click(T::kOnOff);
  EXPECT_EQ(1, t.m.value(T::kLamp));
  t.move(T::kStartCoarse, 50);  // the region from 100 % to 100 %: empty
  EXPECT_EQ(0, t.m.value(T::kLamp));
  t.m.click(T::kReset);
  EXPECT_EQ(1, t.m.value(T::kLamp));

  // A file that cannot be read takes the loop away.
  t.dir.write("junk.wav", "RIFF");
  t.m.panel.loadResult((t.dir.ulo() + "junk.wav").c_str());
  EXPECT_EQ(0, t.m.value(T::kLamp));
  EXPECT_EQ(dark, greenOfLamp());
}

// A RECORD that could not start leaves no loop: the name box says none
// rather than the name a take would have had.
TEST(TunerPanel, ARecordThatCannotStartNamesNoLoop) {
  Tuner t;
  const char* was = getenv("SDL_AUDIODRIVER");
  const std::string old = was ? was : "";
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  writeSine(t.dir.file("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 44100);
  t.m.panel.loadResult((t.dir.ulo() + "a.wav").c_str());
  ASSERT_EQ("a.wav", t.m.text(T::kName));
  t.m.click(T::kRecord);
  was ? setenv("SDL_AUDIODRIVER", old.c_str(), 1) : unsetenv("SDL_AUDIODRIVER");
  ASSERT_EQ(1u, gBoxes.size());
  EXPECT_EQ(0u, gBoxes[0].rfind("Recording could not start", 0)) << gBoxes[0];
  EXPECT_EQ(0, t.m.panel.recording);
  EXPECT_EQ(0, t.m.value(T::kLamp));
  EXPECT_EQ("", t.m.text(T::kName));
}

TEST(TunerPanel, OtherRatesAndFormatsAreConvertedAndLoaded) {
  Tuner t;
  writeSine(t.dir.file("low.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 1, 22050);
  t.m.panel.loadResult((t.dir.ulo() + "low.flac").c_str());
  EXPECT_TRUE(gBoxes.empty()) << gBoxes.front();
  EXPECT_EQ(1, t.m.panel.loopOn);
  EXPECT_EQ(2, elastGlobalData.channels);
  EXPECT_NEAR(44100, elastGlobalData.frames, 64);
  // The converted file does not stay behind.
  EXPECT_NE(0, access(t.dir.file("JLTempLoopFile.wav").c_str(), F_OK));
}

TEST(TunerPanel, UnreadableFilesGiveTheMessageNeverACrash) {
  Tuner t;
  const std::string junk[] = {"", "RIFF", std::string("RIFF\x10\0\0\0WAVEfmt ", 16), std::string(5000, '\xff'),
                              "fLaC\0\0\0\x22garbage"};
  int k = 0;
  for (const std::string& bytes : junk) {
    const std::string name = "junk" + std::to_string(k++) + ".wav";
    t.dir.write(name, bytes);
    gBoxes.clear();
    t.m.panel.loadResult((t.dir.ulo() + name).c_str());
    EXPECT_EQ(1u, gBoxes.size()) << name;
    EXPECT_EQ(0, t.m.panel.loopOn);
    EXPECT_EQ(0, t.m.value(T::kLamp));
    EXPECT_EQ(nullptr, elastGlobalData.samples);
  }
  // A file that is not there at all; the box names it.
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
  gBoxes.clear();
  t.m.panel.loadResult((t.dir.ulo() + "missing.wav").c_str());
  ASSERT_EQ(1u, gBoxes.size());
  EXPECT_EQ("The sound file \"missing.wav\" cannot be read or converted.", gBoxes[0]);
}

// OPEN offers the sound files a loop can come from, not every file (mix
// documents beside the loops among them).
TEST(TunerPanel, OpenOffersSoundFiles) {
  Tuner t;
  t.dir.write("chooser.sh", "#!/bin/sh\necho \"$@\" > " + t.dir.file("args.tmp") + "\nmv " +
                                t.dir.file("args.tmp") + " " + t.dir.file("args") + "\nexit 1\n");
  chmod(t.dir.file("chooser.sh").c_str(), 0755);
  ULO_SetFileChooserProgram(t.dir.file("chooser.sh").c_str());
  t.m.click(T::kOpen);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((asyncPanThreadPathRef.load() || access(t.dir.file("args").c_str(), F_OK) != 0) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ULO_SetFileChooserProgram(nullptr);
  const std::string args = t.dir.read("args");
  EXPECT_NE(args.find("--file-filter=Sound files | *.wav *.WAV *.aif *.aiff"), std::string::npos) << args;
  for (const char* kind : {"*.flac", "*.ogg", "*.mp3"}) EXPECT_NE(args.find(kind), std::string::npos) << kind;
  EXPECT_EQ(args.find(".jld"), std::string::npos) << args;
}

TEST(TunerPanel, SaveWritesTheRegionAsWave) {
  Tuner t;
  EXPECT_FALSE(t.m.panel.saveResult((t.dir.ulo() + "none.wav").c_str()));
  writeSine(t.dir.file("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 40000);
  t.m.panel.loadResult((t.dir.ulo() + "a.wav").c_str());
  t.move(T::kStartCoarse, -25);  // 25 %
  t.move(T::kEndCoarse, 25);     // 75 %
  ASSERT_TRUE(t.m.panel.saveResult((t.dir.ulo() + "out.wav").c_str()));
  const SF_INFO info = readInfo(t.dir.file("out.wav"));
  EXPECT_EQ(20000, info.frames);
  EXPECT_EQ(2, info.channels);
  EXPECT_EQ(44100, info.samplerate);
  EXPECT_NE(0, access(t.dir.file("out.wav.part").c_str(), F_OK));
}

TEST(SoundConvert, RefusesWhatItCannotDoAndLeavesNoFile) {
  TempFolder dir;
  writeSine(dir.file("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 4800);
  const std::string from = dir.ulo() + "a.wav", to = dir.ulo() + "b.wav";
  EXPECT_FALSE(uloQt_soundConvert_toWave(from.c_str(), to.c_str(), 2, 24, 44100));
  EXPECT_FALSE(uloQt_soundConvert_toWave(from.c_str(), to.c_str(), 2, 16, 44100,
                                         [](void*, float) { return false; }, nullptr));
  EXPECT_NE(0, access(dir.file("b.wav").c_str(), F_OK));
  ASSERT_TRUE(uloQt_soundConvert_toWave(from.c_str(), to.c_str(), 2, 16, 44100));
  EXPECT_NEAR(4410, readInfo(dir.file("b.wav")).frames, 8);
  // Only a canonical 16-bit 44100 Hz WAV goes to the engine as it is.
  EXPECT_TRUE(uloQt_soundIsPlainWave(to.c_str()));
  EXPECT_FALSE(uloQt_soundIsPlainWave(from.c_str()));
  writeSine(dir.file("c.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, 100);
  EXPECT_FALSE(uloQt_soundIsPlainWave((dir.ulo() + "c.wav").c_str()));
  EXPECT_FALSE(uloQt_soundIsPlainWave((dir.ulo() + "missing.wav").c_str()));
  // The format list has the usual writable formats, WAV among them.
  EXPECT_GE(uloQt_soundConvert_indexOf(SF_FORMAT_WAV), 0);
  EXPECT_GE(uloQt_soundConvert_indexOf(SF_FORMAT_FLAC), 0);
  EXPECT_EQ(-1, uloQt_soundConvert_indexOf(0x7fff0000));
}
