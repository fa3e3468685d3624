// For the browser and synth panel tests: a library folder that becomes the
// current directory (the panels read ":Library:..."), song and synth
// folders written into it, panels mounted with their real layouts in a
// screen entry, a stand-in for the groove panel and scripted message-box
// answers.
#pragma once
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "screens/loadHost.h"
#include "core/net/JLNet.h"
#include "song/JLGroove.h"
#include "support/tempFolder.h"
#include "tests/screens/vmixSkinSupport.h"

namespace loadtest {

// A temporary program folder with an empty library, made current.
struct Library {
  TempFolder tmp;
  char saved[PATH_MAX] = {};
  Library() {
    EXPECT_NE(getcwd(saved, sizeof saved), nullptr);
    for (const char* f : {"Library", "Library/Song", "Library/Synth", "Library/Images"}) mkdir(tmp.file(f).c_str(), 0755);
    EXPECT_EQ(chdir(tmp.sys().c_str()), 0);
  }
  ~Library() { EXPECT_EQ(chdir(saved), 0); }
  std::string path(const std::string& rel) const { return tmp.file(rel); }
  bool exists(const std::string& rel) const { return access(path(rel).c_str(), F_OK) == 0; }
  void mkdirs(const std::string& rel) const {
    std::string p;
    for (size_t i = 0; i <= rel.size(); i++)
      if (i == rel.size() || rel[i] == '/') mkdir(path(rel.substr(0, i)).c_str(), 0755);
  }
  // A song descriptor in `dir` (relative), version 1.2.
  void song(const std::string& dir, const std::string& title, int bpm = 120, const std::string& collection = "Demo",
            const std::string& description = "A song.") const {
    mkdirs(dir);
    tmp.write(dir + "/info.jls", "JAMLOOM-JLS-1.2 test\nSONGLIBRARY: " + collection + "\nSONGTITLE: " + title +
                                     "\nSONGDESCRIPTION: " + description + "\nSONGBPM: " + std::to_string(bpm) +
                                     "\nSONGMIX: 0\nARPNOTE: C E G\n");
  }
  void wav(const std::string& rel, int frames = 2000) const {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path(rel).c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<short> d(size_t(frames) * 2);
    for (size_t i = 0; i < d.size(); i++) d[i] = short(6000 * std::sin(double(i) * 0.03));
    sf_writef_short(f, d.data(), frames);
    sf_close(f);
  }
};

// A panel with up to three layouts in a screen entry.
template <typename P>
struct Mounted {
  P panel;
  int16_t entry;
  Mounted(int32_t l1, int32_t l2, int16_t entry_) : entry(entry_) {
    mixtest::openSkin();
    panel.attachLayouts(l1, l2, -1, &QXCasts, uloRect(0, 0, 640, 480));
  }
  // Connecting calls onPanelOpened: tests set hosts first.
  void connect(bool show = true) {
    QXScreen.connect(&panel, entry, 1);
    QXScreen.setProps(entry, 0, 0, false, 0);
    if (show) QXScreen.show(entry);
  }
  ~Mounted() {
    QXScreen.hide(entry);
    QXScreen.disconnect(entry);
    QXScreen.modalPanel = -1;
  }
  void click(int16_t item) {
    panel.currentItem = item;
    panel.onItem();
  }
  void key(int code, int16_t what = uloEvtKeyDown) {
    uloGlo.what = what;
    uloGlo.keyCode = uint8_t(code);
    uloGlo.character = int16_t(code);
    panel.onKey();
  }
  short value(int16_t item) { return panel.control(item) ? panel.control(item)->get() : -999; }
  std::string text(int16_t item) {
    char t[256] = {0};
    if (panel.control(item)) panel.control(item)->getValue(t);
    return t;
  }
  bool enabled(int16_t item) { return panel.control(item) && panel.control(item)->enabled; }
};

// The groove panel as the song browser sees it.
struct FakeGroove : JLLoadHost {
  std::vector<std::string> loaded;
  std::vector<short> randomized;
  // How often a load asked whether the bank may go, and the answer.
  int bankQuestions = 0;
  std::vector<std::string> bankQuestionSongs;
  bool bankMayGo = true;
  std::vector<int32_t> chases;
  int chaseEnds = 0;
  bool loadOk = true;
  JLNet link;
  JLGroove g;
  std::string folder;
  bool loadSong(const char* f) override {
    loaded.push_back(f);
    if (loadOk) folder = f;
    return loadOk;
  }
  void randomize(short set) override { randomized.push_back(set); }
  bool mayReplaceBank(const char* f) override {
    bankQuestions++;
    bankQuestionSongs.push_back(f ? f : "");
    return bankMayGo;
  }
  void lightGame_Start(int32_t period) override { chases.push_back(period); }
  void lightGame_End() override { chaseEnds++; }
  JLNet* net() override { return &link; }
  const JLGroove* groove() override { return &g; }
  const char* songFolder() override { return folder.c_str(); }
  void forgetSong() override { folder.clear(); }
  // A preview remembers the song before it; ending it brings that back.
  std::string before;
  bool borrowed = false;
  std::vector<std::string> restored;
  void beginPreview() override {
    if (!borrowed) before = folder;
    borrowed = true;
  }
  bool endPreview(bool, bool) override {
    if (!borrowed) return false;
    borrowed = false;
    folder = before;
    restored.push_back(before);
    return !before.empty();
  }
  void keepPreview() override { borrowed = false; }
  bool previewing() override { return borrowed; }
  const char* previewedFrom() override { return borrowed ? before.c_str() : ""; }
};

// Message boxes answered with `answer` while it lives (default answers
// otherwise), counting the questions.
struct Answer {
  static int16_t& value() {
    static int16_t v = 1;
    return v;
  }
  static int& asked() {
    static int n = 0;
    return n;
  }
  // The text of the last box asked.
  static std::string& text() {
    static std::string t;
    return t;
  }
  static int16_t hook(const char*, const char* box, int16_t) {
    asked()++;
    text() = box ? box : "";
    return value();
  }
  explicit Answer(int16_t a) {
    value() = a;
    asked() = 0;
    ULO_SetMessageBoxHook(hook);
  }
  ~Answer() {
    ULO_SetMessageBoxHook([](const char*, const char*, int16_t b) -> int16_t { return b <= 0 ? 1 : b == 1 ? 2 : 3; });
  }
};

// Message boxes answered in turn from a list (then with the last answer),
// keeping each text.
struct Answers {
  static std::vector<int16_t>& list() {
    static std::vector<int16_t> v;
    return v;
  }
  static std::vector<std::string>& texts() {
    static std::vector<std::string> t;
    return t;
  }
  static int16_t hook(const char*, const char* text, int16_t) {
    texts().push_back(text ? text : "");
    const size_t n = texts().size() - 1;
    return list().empty() ? 1 : list()[std::min(n, list().size() - 1)];
  }
  explicit Answers(std::vector<int16_t> answers) {
    list() = std::move(answers);
    texts().clear();
    ULO_SetMessageBoxHook(hook);
  }
  ~Answers() {
    ULO_SetMessageBoxHook([](const char*, const char*, int16_t b) -> int16_t { return b <= 0 ? 1 : b == 1 ? 2 : 3; });
  }
};

// NEXT DISK's message when no removable disk is mounted.
inline const std::string kNoDiskMessage =
    "No removable disk was found. Insert a CD or connect a USB stick, then click NEXT DISK again.";

// NEXT DISK (item `next`) twice from home with one disk mounted: the disk
// (its name in item `name`), then home again past it, which is no failure
// and asks nothing.
template <typename M>
void nextDiskThereAndHomeQuietly(M& m, int16_t next, int16_t name, const std::string& disk) {
  Answers none({1});
  m.click(next);
  ASSERT_EQ(m.text(name), disk);
  m.click(next);
  EXPECT_EQ(m.text(name), "Home");
  EXPECT_TRUE(Answers::texts().empty());
}

}  // namespace loadtest
