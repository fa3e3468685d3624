// Preferences: random-set limit lamps, the export format list, colour
// schemes tried live and Cancel restoring the stored one, OK storing.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <string>

#include "framework/prefs/JLprefs.h"
#include "screens/JLPrefsPanel.h"
#include "song/JLSongLibrary.h"
#include "tests/screens/vmixSkinSupport.h"
#include "tests/support/tempFolder.h"

namespace {

struct Prefs {
  TempFolder dir;
  JLSongLibrary lib;
  QXPanelClass groove;  // stands for a recoloured main panel
  mixtest::Mounted<JLPrefsPanel> m{13, 8, false};
  Prefs() {
    snprintf(jlPrefs.fileName, sizeof jlPrefs.fileName, "%s", (dir.ulo() + "Jamloom.prf").c_str());
    jlPrefs.interfaceColor = 2;
    jlPrefs.randomLimit[2] = 3;
    lib.randomSetCount = 3;
    for (int s = 0; s < 3; s++) {
      lib.randomSets[s].count = 8;
      snprintf(lib.randomSets[s].name, sizeof lib.randomSets[s].name, "set %d", s);
    }
    groove.attachLayouts(5, -1, -1, &QXCasts, uloRect(0, 0, 640, 480));
    QXScreen.connect(&groove, 1, 1);
    QXScreen.show(1);
    m.panel.setSong(&lib);
    QXScreen.show(8);
  }
  ~Prefs() {
    QXScreen.hide(1);
    QXScreen.disconnect(1);
    jlPrefs.interfaceColor = 0;
  }
  short backgroundOfMain() { return groove.background()->get(); }
};

}  // namespace

TEST(PrefsPanel, LimitLampsFollowTheSetsAndTheChosenLimit) {
  Prefs p;
  EXPECT_EQ("set 1", p.m.text(27));
  EXPECT_EQ("", p.m.text(29));
  // Lamp 4 of set 2: the limit becomes 7 and lamps 0-4 are drawn bright.
  p.m.click(6 + 5 * 2 + 4);
  EXPECT_EQ(7, p.m.panel.randLimits[2]);
  for (int j = 0; j < 5; j++) {
    EXPECT_EQ(1, p.m.value(int16_t(6 + 10 + j)));
    auto* lamp = dynamic_cast<QXPanelImageControl*>(p.m.panel.control(int16_t(6 + 10 + j)));
    ASSERT_NE(nullptr, lamp);
    EXPECT_EQ(255, lamp->level) << j;
  }
  p.m.click(6 + 5 * 1 + 0);
  EXPECT_EQ(3, p.m.panel.randLimits[1]);
  // A set the song does not have shows no lamp.
  EXPECT_EQ(0, p.m.value(6 + 15));
  p.m.click(1);
  EXPECT_EQ(7, jlPrefs.randomLimit[2]);
  EXPECT_EQ(3, jlPrefs.randomLimit[1]);
  EXPECT_FALSE(QXScreen.isShown(8));
}

TEST(PrefsPanel, CancelRestoresTheStoredColoursAndOkStoresTheLast) {
  Prefs p;
  EXPECT_EQ(2, p.backgroundOfMain());
  EXPECT_EQ(1, p.m.value(34));
  p.m.click(32 + 5);
  EXPECT_EQ(5, p.backgroundOfMain());
  p.m.click(32 + 6);
  EXPECT_EQ(6, p.backgroundOfMain());
  EXPECT_EQ(1, p.m.value(38));
  EXPECT_EQ(0, p.m.value(37));
  p.m.click(2);
  EXPECT_EQ(2, p.backgroundOfMain());
  EXPECT_EQ(2, jlPrefs.interfaceColor);
  QXScreen.show(8);
  p.m.click(32 + 4);
  p.m.click(1);
  EXPECT_EQ(4, jlPrefs.interfaceColor);
  EXPECT_EQ(4, p.backgroundOfMain());
}

TEST(PrefsPanel, ExportFormatsListTheOwnFormatFirst) {
  Prefs p;
  auto* pop = p.m.panel.control(4);
  char name[128] = "";
  pop->getValue(0, name);
  EXPECT_STREQ("Jamloom", name);
  EXPECT_EQ(0, pop->get());
  pop->set(1);
  p.m.click(4);
  EXPECT_NE(JLPrefsPanel::kOwnFormat, p.m.panel.formatCode);
  p.m.click(1);
  EXPECT_EQ(p.m.panel.formatCode, jlPrefs.outputType);
  // Shown again, the stored format is the one chosen.
  QXScreen.show(8);
  EXPECT_EQ(1, pop->get());
  jlPrefs.outputType = JLPrefsPanel::kOwnFormat;
}
