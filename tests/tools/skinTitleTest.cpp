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

namespace {

// Each balloon shape's tail lies where the placement hangs the balloon from
// its control: at the top or bottom corner it names (the other corner of
// that edge clear), or in the middle of the left or right edge for a
// balloon beside its control (clear above and below the tail).
TEST(SkinHelp, BalloonTailsPointFromWhereThePlacementHangsThem) {
  auto alpha = [](const skin::Picture& p, int x, int y) { return p.rgba[size_t(4 * (y * p.w + x) + 3)]; };
  for (int corner = 0; corner < skin::kBalloonShapes; corner++) {
    const int w = skin::BalloonWidth(corner), h = skin::BalloonHeight(corner);
    const skin::Picture b = skin::PaintBalloon(w, h, corner);
    ASSERT_EQ(b.w, w);
    ASSERT_EQ(b.h, h);
    if (corner < 4) {
      const bool top = corner < 2, left = corner % 2 == 0;
      const int y = top ? 6 : h - 1 - 6;
      EXPECT_GT(alpha(b, left ? 12 : w - 1 - 12, y), 0) << corner;
      EXPECT_EQ(alpha(b, left ? w - 1 - 12 : 12, y), 0) << corner;
    } else {
      const int x = corner == 4 ? 5 : w - 1 - 5;
      EXPECT_GT(alpha(b, x, h / 2), 0) << corner;
      EXPECT_EQ(alpha(b, x, 3), 0) << corner;
      EXPECT_EQ(alpha(b, x, h - 4), 0) << corner;
    }
  }
}

}  // namespace
