// The window's picture through the offscreen video driver: what the drawing
// calls put where, read back from the logical canvas.
#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "framework/platform/uloSys.h"

namespace {

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    // The software renderer loads no GL libraries, whose unloading at exit
    // would hide their allocations from the leak checker.
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    ASSERT_TRUE(ULO_NewWindow(0, 640, 480));
    pixels.resize(640 * 480);
  }
  void TearDown() override {
    ULO_CloseWindow();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  uint32_t at(int x, int y) {
    EXPECT_TRUE(ULO_ReadWindowPixels(pixels.data(), 640, 480));
    return pixels[(size_t)y * 640 + x] & 0xFFFFFF;
  }
  std::vector<uint32_t> pixels;
};

TEST_F(Window, LogicalSizeAtScaleOne) {
  EXPECT_EQ(ULO_WindowScale(), 1);
  EXPECT_EQ(uloGlo.windowWidth, 640);
  EXPECT_EQ(uloGlo.windowHeight, 480);
}

TEST_F(Window, BoxFillIncludesRightAndBottomEdges) {
  ULO_BoxFill(10, 10, 20, 20, 2);
  EXPECT_EQ(at(10, 10), 0xFF0000u);
  EXPECT_EQ(at(20, 20), 0xFF0000u);
  EXPECT_EQ(at(21, 20), 0u);
  ULO_BoxFill(0, 0, 5, 5, -1);  // "none" draws nothing
  EXPECT_EQ(at(0, 0), 0u);
}

TEST_F(Window, BoxFrameLeavesInsideAlone) {
  ULO_BoxFrame(100, 100, 120, 120, 1, 2);
  EXPECT_EQ(at(100, 110), 0xFFFFFFu);
  EXPECT_EQ(at(101, 110), 0xFFFFFFu);
  EXPECT_EQ(at(110, 110), 0u);
}

TEST_F(Window, BottomUpBitmapLandsUpright) {
  // 2 x 2 bitmap, rows bottom-up: the first row in memory is the bottom one.
  const uint16_t bits[] = {0x001F, 0x03E0,   // bottom: blue, green
                           0x7C00, 0x7FFF};  // top: red, white
  ULO_DrawBits16(bits, 4, 2, 2, 0, 0, 2, 2, 300, 200, 302, 202);
  EXPECT_EQ(at(300, 200), 0xFF0000u);
  EXPECT_EQ(at(301, 200), 0xFFFFFFu);
  EXPECT_EQ(at(300, 201), 0x0000FFu);
  EXPECT_EQ(at(301, 201), 0x00FF00u);
}

TEST_F(Window, DrawingOutsideTheWindowIsClipped) {
  const uint16_t bits[4] = {0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF};
  ULO_DrawBits16(bits, 4, 2, 2, 0, 0, 2, 2, 639, 479, 641, 481);
  ULO_BoxFill(-10, -10, 0, 0, 1);
  EXPECT_EQ(at(639, 479), 0xFFFFFFu);
  EXPECT_EQ(at(0, 0), 0xFFFFFFu);
}

TEST_F(Window, TextIsCentredInItsBox) {
  ULO_TextStyle("Jamloom", 7, 12, 200, 300, 1, 240, 1, 0);
  ASSERT_TRUE(ULO_ReadWindowPixels(pixels.data(), 640, 480));
  int minX = 640, maxX = -1, minY = 480, maxY = -1;
  for (int y = 280; y < 360; ++y)
    for (int x = 150; x < 500; ++x)
      if ((pixels[(size_t)y * 640 + x] & 0xFF) > 128) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
      }
  ASSERT_GE(maxX, 0) << "no text drawn";
  // A 30-pixel font: the ink is centred on the box's middle (320) and
  // starts at its top.
  EXPECT_NEAR((minX + maxX) / 2, 320, 4);
  EXPECT_GE(minY, 300);
  EXPECT_LE(maxY, 300 + 36);
  EXPECT_GT(maxY - minY, 15);
}

TEST_F(Window, CountLimitsTheCharactersDrawn) {
  ULO_TextStyle("WWWWWWWW", 2, 12, 0, 0, 1, 0, 0, 0);
  ASSERT_TRUE(ULO_ReadWindowPixels(pixels.data(), 640, 480));
  int maxX = -1;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 640; ++x)
      if ((pixels[(size_t)y * 640 + x] & 0xFF) > 128) maxX = std::max(maxX, x);
  EXPECT_GT(maxX, 20);
  EXPECT_LT(maxX, 70);  // two wide letters, not eight
}

}  // namespace
