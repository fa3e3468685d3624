// Panel backgrounds: a panel's title is drawn beside the logo and nothing
// of it runs through the logo.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tools/skingen/skinDecl.h"
#include "tools/skingen/skinGen.h"
#include "tools/skingen/skinPaint.h"

namespace {

const skin::PanelDecl* panelNamed(const char* name) {
  for (const skin::PanelDecl& p : skin::AllPanels())
    if (std::strcmp(p.name, name) == 0) return &p;
  return nullptr;
}

uint32_t pixel(const skin::Picture& p, int x, int y) {
  const uint8_t* q = &p.rgba[size_t(4 * (y * p.w + x))];
  return uint32_t(q[0]) << 24 | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3];
}

TEST(SkinTitle, TheMixerTitleLeavesTheLogoAndTheGapBeforeItAsTheGroovePanelHasThem) {
  const skin::PanelDecl* mixer = panelNamed("mixer");
  const skin::PanelDecl* groove = panelNamed("groove");
  ASSERT_NE(mixer, nullptr);
  ASSERT_NE(groove, nullptr);
  const skin::Layout* main = skin::FindLayout(mixer->layouts[0]);
  ASSERT_NE(main, nullptr);
  ASSERT_EQ(main->title, "VIRTUAL MIXER");
  // Both panels share the logo and the title bar's colours (scheme 0); the
  // mixer adds its title at x = 150. Up to there, logo included, the title
  // bars are the same pixel for pixel.
  const skin::Picture m = skin::PaintBackground(*mixer, 0);
  const skin::Picture g = skin::PaintBackground(*groove, 0);
  ASSERT_EQ(m.w, 640);
  ASSERT_EQ(g.w, 640);
  int differing = 0;
  for (int y = 0; y < 29; y++)
    for (int x = 0; x < 146; x++)
      if (pixel(m, x, y) != pixel(g, x, y)) differing++;
  EXPECT_EQ(differing, 0);
  // The title itself is there.
  int titlePixels = 0;
  for (int y = 0; y < 29; y++)
    for (int x = 150; x < 250; x++)
      if (pixel(m, x, y) != pixel(g, x, y)) titlePixels++;
  EXPECT_GT(titlePixels, 100);
}

}  // namespace

namespace {

// Every balloon's text fits the two lines its pre-drawn picture shows under
// the title (the skin generator refuses a skin with one that does not).
TEST(SkinHelp, EveryHelpTextFitsItsBalloon) {
  int checked = 0;
  for (const skin::Layout& l : skin::AllLayouts())
    for (const skin::Item& it : l.items) {
      if (it.helpTitle.empty()) continue;
      checked++;
      EXPECT_FALSE(it.helpText.empty()) << it.helpTitle;
      EXPECT_LE(skin::WrapHelpText(skin::kHelpTextW, it.helpText).size(), size_t(skin::kHelpTextLines))
          << "layout " << l.id << " item " << it.number << ": " << it.helpText;
    }
  for (const skin::TourStep& s : skin::TourSteps())
    EXPECT_LE(skin::WrapHelpText(skin::kHelpTextW, s.text).size(), size_t(skin::kHelpTextLines)) << s.text;
  EXPECT_GT(checked, 100);
}

}  // namespace
