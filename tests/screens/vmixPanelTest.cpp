// The virtual mixer: building mixes from styles, choosing and stretching
// them, the duration display, the automatic change at the end of a mix and
// the way back to the groove panel. Driven with a host standing in for the
// groove panel.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "framework/intl/JLInternational.h"
#include "framework/panel/JLHelps.h"
#include "framework/platform/uloSys.h"
#include "screens/JLVMixPanel.h"
#include "screens/vmixHost.h"
#include "song/JLPlayer.h"
#include "tests/screens/vmixSkinSupport.h"

namespace {

struct FakeHost : JLVMixHost {
  JLSongLibrary lib;
  JLSequence seq, saved;
  int16_t step = -1;
  int nexts = 0, refreshed = 0, restored = 0, resumed = 0;
  const JLSongLibrary& song() override { return lib; }
  JLSequence& bank() override { return seq; }
  int16_t selectedStep() override { return step; }
  void setSelectedStep(int16_t s) override { step = s; }
  void seqActivateNext() override {
    nexts++;
    step = int16_t(step + 1);
  }
  void refreshRows() override { refreshed++; }
  void restoreBackup() override {
    seq = saved;
    restored++;
  }
  void resumePlay() override { resumed++; }
  bool trackHasLoop(int16_t t) override { return t == 0; }
};

// Two groups (drums with 4 loops, an empty one) and styles of 3 and 5 rows.
void twoStyles(JLSongLibrary& lib) {
  lib.groupCount = 2;
  std::strcpy(lib.groups[0].name, "drums");
  lib.groups[0].count = 4;
  for (int v = 0; v < 4; v++) {
    lib.groups[0].volume[v] = int16_t(100 + v);
    lib.groups[0].pan[v] = 70;
  }
  lib.groups[1].count = 0;
  lib.styleCount = 2;
  for (int s = 0; s < 2; s++) {
    JLMixStyle& st = lib.styles[s];
    st.slotCount = 3;
    st.slots[0] = 0;
    st.slots[1] = 0;
    st.slots[2] = 1;  // a group without loops
    st.rowCount = int16_t(3 + 2 * s);
    for (int r = 0; r < st.rowCount; r++)
      for (int t = 0; t < 8; t++) st.rows[r][t] = int16_t(t < 3 ? t : -1);
    std::snprintf(st.name, sizeof st.name, "style %d", s);
  }
}

struct Mixer {
  FakeHost host;
  JLPlayer player;
  mixtest::Mounted<JLVMixPanel> m{5, 1, false};
  Mixer() {
    ULO_SeedRandom(7);
    player.setEngine(nullptr);
    player.bpm = 120.f;
    player.connectPanels(nullptr, nullptr, &m.panel);
    jlPlayer = &player;
    twoStyles(host.lib);
    host.seq.grooveCount = 1;  // what the groove panel held
    host.seq.grooves[0].id = 42;
    host.seq.steps[0] = 42;
    host.seq.stepCount = 1;
    m.panel.setHost(&host);
    m.panel.onPanelOpened();
    QXScreen.show(1);
  }
  ~Mixer() { jlPlayer = nullptr; }
  JLVMixPanel& p() { return m.panel; }
};

}  // namespace

TEST(VMixBuild, RowsBecomeGroovesAndEmptyGroupsStaySilent) {
  JLSongLibrary lib;
  twoStyles(lib);
  for (int run = 0; run < 50; run++) {
    ULO_SeedRandom(uint32_t(run));
    JLSequence seq;
    JL_BuildVMix(lib, seq, 1);
    ASSERT_EQ(5, seq.grooveCount);
    ASSERT_EQ(5, seq.stepCount);
    for (int r = 0; r < 5; r++) {
      EXPECT_EQ(r + 1, seq.grooves[r].id);
      EXPECT_EQ(r + 1, seq.steps[r]);
      const JLTrack& a = seq.grooves[r].tracks[0];
      const JLTrack& b = seq.grooves[r].tracks[1];
      EXPECT_EQ(0, a.group);
      EXPECT_EQ(a.volume, 100 + a.variant);
      EXPECT_EQ(7, a.pan);
      // Two slots of one group get different loops (4 to choose from).
      EXPECT_NE(a.variant, b.variant);
      EXPECT_EQ(-1, seq.grooves[r].tracks[2].group);
      EXPECT_EQ(-1, seq.grooves[r].tracks[3].group);
    }
  }
  // A style the song does not have changes nothing.
  JLSequence seq;
  seq.grooveCount = 1;
  JL_BuildVMix(lib, seq, 2);
  EXPECT_EQ(1, seq.grooveCount);
}

TEST(VMixPanel, ShowingBuildsFourMixesMissingStylesCopyTheBank) {
  Mixer x;
  x.p().beforeShow();
  EXPECT_EQ(1, x.p().generated);
  EXPECT_EQ(3, x.p().mixes[0].stepCount);
  EXPECT_EQ(5, x.p().mixes[1].stepCount);
  for (int n : {2, 3}) {
    EXPECT_EQ(5, x.p().mixes[n].grooveCount);
    EXPECT_EQ(0, std::memcmp(&x.p().mixes[1].grooves, &x.p().mixes[n].grooves, sizeof(JLGroove) * 5));
  }
  // Mix 0 is in use: the bank holds it and its lamp alone is lit.
  EXPECT_EQ(3, x.host.seq.stepCount);
  EXPECT_EQ(1, x.m.value(23));
  EXPECT_EQ(0, x.m.value(25));
  x.m.click(2);
  EXPECT_EQ(1, x.p().current);
  EXPECT_EQ(1, x.m.value(25));
  EXPECT_EQ(0, x.m.value(23));
  EXPECT_TRUE(x.player.isPlaying());
  EXPECT_EQ("style 1", x.m.text(38));
}

TEST(VMixPanel, DurationStretchesAndZeroRestoresTheNaturalLength) {
  Mixer x;
  x.p().beforeShow();
  EXPECT_EQ("24 Bars", std::string(x.p().durationText()));
  x.m.set(11, 8);
  x.m.click(11);
  EXPECT_EQ(8, x.host.seq.stepCount);
  const int16_t ids[8] = {1, 2, 3, 1, 2, 3, 1, 2};
  for (int i = 0; i < 8; i++) EXPECT_EQ(ids[i], x.host.seq.steps[i]);
  EXPECT_EQ("64 Bars", x.m.text(41));
  x.m.click(41);
  EXPECT_EQ("Time 02:08", x.m.text(41));
  // The time follows the tempo.
  x.player.bpm = 128.f;
  x.p().common_setBpmLabel("128.0");
  EXPECT_EQ("Time 02:00", x.m.text(41));
  x.m.click(41);
  x.m.set(11, 0);
  x.m.click(11);
  EXPECT_EQ(3, x.host.seq.stepCount);
  EXPECT_EQ(3, x.p().mixes[0].userStepCount);
  EXPECT_EQ("24 Bars", x.m.text(41));
}

TEST(VMixPanel, EndOfAMixMovesOnInListOrRandomOrder) {
  Mixer x;
  x.p().beforeShow();
  // Not at the last step: the sequence just moves on.
  x.host.step = 0;
  x.p().common_eventGrooveSync();
  EXPECT_EQ(0, x.p().current);
  EXPECT_EQ(1, x.host.nexts);
  // Neither order: the same mix again, from its first step.
  x.host.step = 2;
  x.p().common_eventGrooveSync();
  EXPECT_EQ(0, x.p().current);
  EXPECT_EQ(0, x.host.step);
  EXPECT_EQ(1, x.p().switchPending);
  // The lamp of the mix goes dark while the switch waits.
  x.p().common_setSyncingLed(true);
  EXPECT_EQ(0, x.m.value(23));
  x.p().common_eventGrooveStart();
  EXPECT_EQ(0, x.p().switchPending);

  x.m.click(6);
  EXPECT_EQ(1, x.p().listOrder);
  for (int want : {1, 2, 3, 0}) {
    x.host.step = int16_t(x.host.seq.stepCount - 1);
    x.p().common_eventGrooveSync();
    EXPECT_EQ(want, x.p().current);
    EXPECT_EQ(0, x.host.step);
  }
  x.m.click(7);
  EXPECT_EQ(0, x.p().listOrder);
  EXPECT_EQ(1, x.p().randomOrder);
  for (int i = 0; i < 20; i++) {
    const int16_t before = x.p().current;
    x.host.step = int16_t(x.host.seq.stepCount - 1);
    x.p().common_eventGrooveSync();
    EXPECT_NE(before, x.p().current);
  }
}

TEST(VMixPanel, BackToTheGroovePanelKeepsOrRestores) {
  Mixer x;
  x.host.saved.grooveCount = 2;
  x.host.saved.stepCount = 1;
  x.p().beforeShow();
  x.m.set(11, 2);
  x.m.click(11);
  x.m.click(9);  // the question's default answer is No: nothing changes
  EXPECT_TRUE(QXScreen.isShown(1));
  x.p().onItem_switchToGroove(false);
  EXPECT_EQ(2, x.host.seq.grooveCount);  // cut to the played steps
  EXPECT_EQ(1, x.host.refreshed);
  EXPECT_EQ(0, x.host.resumed) << "keeping the mix plays nothing of before";
  EXPECT_FALSE(QXScreen.isShown(1));
  QXScreen.show(1);
  x.m.click(28);
  EXPECT_EQ(2, x.host.seq.grooveCount);
  EXPECT_EQ(1, x.host.seq.stepCount);
  EXPECT_EQ(1, x.host.restored);
  EXPECT_EQ(1, x.host.resumed) << "restoring plays again what played before";
}

// The message box: every question asked and its buttons, answered with
// `answer`.
struct Questions {
  static int16_t& answer() {
    static int16_t a = 3;
    return a;
  }
  static std::vector<int16_t>& kinds() {
    static std::vector<int16_t> k;
    return k;
  }
  Questions() {
    kinds().clear();
    ULO_SetMessageBoxHook([](const char*, const char*, int16_t kind) -> int16_t {
      kinds().push_back(kind);
      return answer();
    });
  }
  ~Questions() {
    ULO_SetMessageBoxHook([](const char*, const char*, int16_t b) -> int16_t { return b <= 0 ? 1 : b == 1 ? 2 : 3; });
  }
};

TEST(VMixPanel, TourAsksWhetherToKeepTheMixBeforeItLeavesTheMixer) {
  Mixer x;
  JLHelps helps(true);
  jlHelpp = &helps;
  Questions q;
  x.p().beforeShow();
  // Cancel: the mixer stays as it was and no tour starts.
  Questions::answer() = 3;
  x.m.click(49);
  EXPECT_EQ(Questions::kinds(), std::vector<int16_t>{jlNotifyYesNoCancel});
  EXPECT_TRUE(QXScreen.isShown(1));
  EXPECT_EQ(0, x.host.restored);
  EXPECT_EQ(0, x.host.refreshed);
  EXPECT_FALSE(helps.active);
  // Yes keeps the mix, then the tour starts.
  Questions::answer() = 1;
  x.m.click(49);
  EXPECT_EQ(Questions::kinds().size(), 2u);
  EXPECT_FALSE(QXScreen.isShown(1));
  EXPECT_EQ(1, x.host.refreshed);
  EXPECT_EQ(0, x.host.restored);
  EXPECT_TRUE(helps.active);
  EXPECT_FALSE(helps.rolloverMode);
  helps.stop();
  // No brings back the grooves from before.
  QXScreen.show(1);
  Questions::answer() = 2;
  x.m.click(49);
  EXPECT_FALSE(QXScreen.isShown(1));
  EXPECT_EQ(1, x.host.restored);
  EXPECT_EQ(1, x.host.refreshed);
  EXPECT_TRUE(helps.active);
  jlHelpp = nullptr;
}

TEST(VMixPanel, InterfaceResetRebuildsOrMarksForRebuilding) {
  Mixer x;
  x.p().beforeShow();
  x.m.set(11, 9);
  x.m.click(11);
  x.p().common_doInterfaceReset();
  EXPECT_EQ(3, x.p().mixes[0].userStepCount);
  EXPECT_EQ(1, x.p().generated);
  QXScreen.hide(1);
  x.p().common_doInterfaceReset();
  EXPECT_EQ(0, x.p().generated);
}

namespace {
bool releasedAtOnce() {
  uloGlo.buttonDown = 0;
  return false;
}
}  // namespace

// SYNTH opens the synth panel; the second press of a double click must not
// close it again.
TEST(VMixPanel, ADoubleClickOnSynthLeavesItOpen) {
  Mixer x;
  mixtest::Mounted<QXPanelClass> synth{3, 2, false};
  ULO_SetTrackingSource(releasedAtOnce);
  const uloRect r = x.p().control(10)->rect;
  auto press = [&](int32_t after) { mixtest::pressCentreOf(r, after); };
  press(100);
  press(10);
  EXPECT_TRUE(QXScreen.isShown(2));
  press(100);
  EXPECT_FALSE(QXScreen.isShown(2)) << "a click of its own closes it";
  ULO_SetTrackingSource(nullptr);
}
