// The groove panel mounted as the program mounts it: the generated skin's
// layouts 1, 2 and 8 in screen entry 0, the real engine (manual feed: the
// test pulls the mixed blocks, so the timeline only moves when a test says
// so), the player connected, and the current folder at the built program's
// folder so that ":Library:Song:" holds the demo songs.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/JLEngine.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "framework/platform/uloSys.h"
#include "framework/prefs/JLprefs.h"
#include "framework/screen/QXScreen.h"
#include "screens/JLGroovePanel.h"
#include "screens/JLSynthPanel.h"
#include "song/JLPlayer.h"
#include "tests/screens/vmixSkinSupport.h"

namespace groovetest {

// A scripted mouse for tracking loops (drags): each step moves it and says
// whether the button is still held.
struct Mouse {
  struct Step {
    int x, y;
    bool down;
  };
  static std::deque<Step>& steps() {
    static std::deque<Step> s;
    return s;
  }
  static bool next() {
    if (steps().empty()) {
      uloGlo.buttonDown = 0;
      return false;
    }
    const Step s = steps().front();
    steps().pop_front();
    uloGlo.mouseX = int16_t(s.x);
    uloGlo.mouseY = int16_t(s.y);
    uloGlo.buttonDown = s.down;
    return s.down;
  }
  Mouse() {
    steps().clear();
    ULO_SetTrackingSource(next);
  }
  ~Mouse() {
    steps().clear();
    ULO_SetTrackingSource(nullptr);
  }
  // Holds the button while moving in a straight line to (x, y), then
  // releases there.
  void dragTo(int fromX, int fromY, int x, int y) {
    for (int i = 1; i <= 6; i++) steps().push_back({fromX + (x - fromX) * i / 6, fromY + (y - fromY) * i / 6, true});
    steps().push_back({x, y, false});
  }
};

// Centre of a groove ball (bank: row 0, sequence: row 1).
inline int ballX(int i) { return 168 + 36 * i + 14; }
inline int ballY(int row) { return row == 0 ? 378 : 428; }

// The synth panel in its screen entry, as the program has it, for the
// life of the object.
struct MountedSynthPanel {
  JLSynthPanel panel;
  MountedSynthPanel() {
    panel.attachLayouts(3, 4, -1, &QXCasts, uloRect(0, 0, 640, 480));
    QXScreen.connect(&panel, 2, 1);
  }
  ~MountedSynthPanel() { QXScreen.disconnect(2); }
};

class GroovePanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mixtest::openSkin();
    ASSERT_NE(getcwd(savedDir_, sizeof savedDir_), nullptr);
    ASSERT_EQ(chdir(JL_APP_DIR), 0);
    for (auto& k : QXScreen.keyPresses) k = 0;
    uloGlo.when = 1000;
    uloGlo.shift = 0;
    jlks = jlgpKeyStatusRec();
    JLGroovePanel::tickSource = nullptr;
    for (int s = 0; s < 4; s++) jlPrefs.randomLimit[s] = 8;
    engine = std::make_unique<JLEngine>();
    gep = engine.get();
    engine->init();
    wDBSetManualFeed(true);
    jlPlayer = new JLPlayer;
    panel = std::make_unique<JLGroovePanel>();
    panel->attachLayouts(1, 2, 8, &QXCasts, uloRect(0, 0, 640, 480));
    JL_ConnectGroovePanel(panel.get(), nullptr);
    QXScreen.connect(panel.get(), 0, 0);
    QXScreen.setProps(0, 0, 0, false, 0);
  }
  void TearDown() override {
    if (jlPlayer) jlPlayer->stop();
    QXScreen.hide(0);
    QXScreen.disconnect(0);
    panel.reset();
    delete jlPlayer;
    jlPlayer = nullptr;
    engine->stop();
    wDBSetManualFeed(false);
    engine->exit();
    gep = nullptr;
    engine.reset();
    JLGroovePanel::tickSource = ULO_Ticks;
    const int16_t defaults[4] = {4, 5, 6, 7};
    for (int s = 0; s < 4; s++) jlPrefs.randomLimit[s] = defaults[s];
    ASSERT_EQ(chdir(savedDir_), 0);
  }

  JLGroovePanel& gp() { return *panel; }
  JLPlayer& player() { return *jlPlayer; }

  bool loadDemo(const char* name = "NeonBoulevard") {
    char folder[128];
    snprintf(folder, sizeof folder, ":Library:Song:%s:", name);
    return gp().loadSong(folder);
  }

  // An item event as a click reports it.
  void item(int16_t n) {
    gp().currentItem = n;
    gp().onItem();
  }
  // A mouse press at a window point, through the screen (tracking loops
  // then read the scripted mouse).
  void press(int x, int y) {
    uloGlo.when += 100;  // never a double click
    uloGlo.what = uloEvtMouseDown;
    uloGlo.mouseX = int16_t(x);
    uloGlo.mouseY = int16_t(y);
    uloGlo.buttonDown = 1;
    QXScreen.events();
    uloGlo.what = uloEvtNull;
  }
  // A key going down or up, through the screen's key table.
  void key(int code, bool down = true) {
    uloGlo.what = down ? uloEvtKeyDown : uloEvtKeyUp;
    uloGlo.keyCode = uint8_t(code);
    uloGlo.character = int16_t(code);
    uloGlo.specialKey = 0;
    QXScreen.events();
    uloGlo.what = uloEvtNull;
  }
  void tap(int code) {
    key(code, true);
    key(code, false);
  }
  short value(int16_t n) { return gp().control(n) ? gp().control(n)->get() : -999; }
  std::string text(int16_t n) {
    char t[256] = {0};
    if (gp().control(n)) gp().control(n)->getValue(t);
    return t;
  }
  void set(int16_t n, short v) {
    if (gp().control(n)) gp().control(n)->set(v);
  }

  // Mixes blocks until the engine's beat reaches `beat` of cycle `cycle`,
  // letting the panel's idle work run after every block as the main loop
  // would. This thread is the loader meanwhile, so where the loader stands
  // against the mixer never depends on how busy the machine is.
  void runToBeat(int beat, int cycle = 0) {
    const int32_t target = (cycle * 32 + beat) * BPM.load();
    std::vector<int16_t> block(2 * 2048);
    // The engine's beat is the position of the block being heard, one block
    // behind the timeline.
    for (int guard = 0; guard < 100000 && TimeLine.load() - BLOCKLEN <= target; guard++) {
      if (dowldproc.load()) PauseLoader();  // idle work may have started playback
      LoaderVisitAll();
      GetResampled(block.data(), 2048);
      uloGlo.when++;
      uloGlo.what = uloEvtNull;
      gp().onIdle();
    }
  }

  // Fills the update buffer with a colour no composition produces, so a
  // later look shows whether anything was redrawn.
  static constexpr uint16_t kPoison = 0x5A5A;
  void poisonScreen() { QXScreen.updateBuffer.fill(QXScreen.updateBuffer.bounds, kPoison); }
  int redrawnPixels() {
    int n = 0;
    for (int y = 0; y < 480; y += 2)
      for (int x = 0; x < 640; x += 2)
        if (uint16_t(QXScreen.updateBuffer.getPixel(x, y)) != kPoison) n++;
    return n;
  }

  std::unique_ptr<JLEngine> engine;
  std::unique_ptr<JLGroovePanel> panel;

 private:
  char savedDir_[4096] = {0};
};

}  // namespace groovetest
