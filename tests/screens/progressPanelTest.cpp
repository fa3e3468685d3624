// The progress panel: bar arithmetic of amounts and sub-amounts, the stop
// button of long operations, and the free functions without a panel.
#include <gtest/gtest.h>

#include "screens/JLProgressPanel.h"
#include "tests/screens/vmixSkinSupport.h"

using mixtest::Mounted;

TEST(ProgressPanel, AmountsAndSubAmountsFillTheBar) {
  Mounted<JLProgressPanel> m(16, 10, false);
  JLProgressPanel& p = m.panel;
  p.show();
  EXPECT_TRUE(QXScreen.isShown(10));
  p.amount(0.5f);
  EXPECT_EQ(50, m.value(JLProgressPanel::kItemBar));
  p.subAmountRange(0.5f);
  p.subAmount(1.f);
  EXPECT_EQ(100, m.value(JLProgressPanel::kItemBar));
  p.subAmount(0.5f);
  EXPECT_EQ(75, m.value(JLProgressPanel::kItemBar));
  // Rounded to the nearest percent, never beyond the bar.
  p.amount(0.126f);
  EXPECT_EQ(13, p.barValue());
  p.subAmountRange(4.f);
  p.subAmount(1.f);
  EXPECT_EQ(100, p.barValue());
  p.message("Converting");
  EXPECT_EQ("Converting", m.text(JLProgressPanel::kItemMessage));
}

TEST(ProgressPanel, StopButtonEndsALongOperation) {
  Mounted<JLProgressPanel> m(16, 10, false);
  JLProgressPanel& p = m.panel;
  p.begin("Mixing to disk...");
  EXPECT_EQ("Mixing to disk...", m.text(JLProgressPanel::kItemMessage));
  EXPECT_TRUE(p.control(JLProgressPanel::kItemStop)->enabled);
  EXPECT_TRUE(p.set(0.25f));
  EXPECT_EQ(25, p.barValue());
  m.click(JLProgressPanel::kItemStop);
  EXPECT_FALSE(p.set(0.5f));
  EXPECT_FALSE(p.set(0.75f));
  // A new operation starts unstopped; one without stop mode has no button.
  p.begin("Again", false);
  EXPECT_FALSE(p.control(JLProgressPanel::kItemStop)->enabled);
  EXPECT_TRUE(p.set(2.f));
  EXPECT_EQ(100, p.barValue());
}

TEST(ProgressPanel, FreeFunctionsGoOnWithoutAPanel) {
  mixtest::openSkin();
  QXScreen.disconnect(10);
  EXPECT_EQ(nullptr, JL_ProgressPanel());
  JLProgress_begin("x");
  EXPECT_TRUE(JLProgress_set(0.5f));
  JLProgress_subAmount(0.5f);
  JLProgress_end();
}

namespace {

// How far from the left the bar is lit on its middle row, in pixels: the
// bar's blue, as the screen composes it (the trough around it is dark).
int litExtent(const uloRect& r) {
  QXScreen.update(r);
  const int y = (r.top + r.bottom) / 2;
  int lit = 0;
  for (int x = r.left; x < r.right; x++) {
    const uint16_t c = uint16_t(QXScreen.updateBuffer.getPixel(x, y));
    const int red = (c >> 10) & 31, blue = c & 31;
    if (blue >= 20 && blue > red + 6) lit = x - r.left + 1;
  }
  return lit;
}

}  // namespace

TEST(ProgressPanel, TheDrawnBarReachesTheShareTheMessageNames) {
  Mounted<JLProgressPanel> m(16, 10, false);
  JLProgressPanel& p = m.panel;
  p.begin("Disk mix: 0%");
  const uloRect r = p.control(JLProgressPanel::kItemBar)->rect;
  ASSERT_GT(r.width(), 100);
  EXPECT_LE(litExtent(r), 2) << "nothing done, nothing lit";
  for (int percent : {27, 50, 73, 100}) {
    char text[32];
    snprintf(text, sizeof text, "Disk mix: %d%%", percent);
    p.message(text);
    p.set(percent / 100.f);
    int named = -1;
    ASSERT_EQ(sscanf(m.text(JLProgressPanel::kItemMessage).c_str(), "Disk mix: %d%%", &named), 1);
    EXPECT_NEAR(litExtent(r), r.width() * named / 100, 2) << text;
  }
}
