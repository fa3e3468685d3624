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

SDL_Window* ULO_MainSDLWindow();  // defined by the window code, declared where it is used

namespace {

// The presenter's choice: never a renderer without a GPU device unless asked.
TEST(Presenter, ARendererOnlyWithAGpuDeviceOrWhenAskedFor) {
  EXPECT_EQ(ULO_ChoosePresenter(nullptr, false, nullptr), uloPresenter::surface);
  EXPECT_EQ(ULO_ChoosePresenter(nullptr, true, nullptr), uloPresenter::renderer);
  EXPECT_EQ(ULO_ChoosePresenter("auto", false, ""), uloPresenter::surface);
  EXPECT_EQ(ULO_ChoosePresenter("surface", true, "opengl"), uloPresenter::surface);
  EXPECT_EQ(ULO_ChoosePresenter("window-surface", true, "opengl"), uloPresenter::surface);
  EXPECT_EQ(ULO_ChoosePresenter("gpu", false, nullptr), uloPresenter::renderer);
  EXPECT_EQ(ULO_ChoosePresenter(nullptr, false, "opengl"), uloPresenter::renderer);
  EXPECT_EQ(ULO_ChoosePresenter(nullptr, true, "software"), uloPresenter::surface);

  EXPECT_TRUE(ULO_IsSoftwareGL("llvmpipe (LLVM 15.0.6, 256 bits)"));
  EXPECT_TRUE(ULO_IsSoftwareGL("Software Rasterizer"));
  EXPECT_TRUE(ULO_IsSoftwareGL("Mesa X11 SWRAST"));
  EXPECT_FALSE(ULO_IsSoftwareGL("AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6)"));
  EXPECT_FALSE(ULO_IsSoftwareGL(""));
  EXPECT_FALSE(ULO_IsSoftwareGL(nullptr));
}

// A window of 1300 x 1000 shows the logical 650 x 500 canvas at scale 2
// through the window surface: every logical pixel becomes a 2 x 2 block,
// and the column and row beyond the last whole pixel stay black.
TEST(Presenter, TheWindowSurfaceShowsEachLogicalPixelAsAWholeBlock) {
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
  ASSERT_TRUE(ULO_NewWindow(3, 1301, 1001));
  EXPECT_STREQ(ULO_PresenterName(), "window surface");
  ASSERT_EQ(ULO_WindowScale(), 2);
  ASSERT_EQ(uloGlo.windowWidth, 650);
  const uint16_t bits[] = {0x001F, 0x03E0, 0x7C00, 0x7FFF};  // bottom row first
  ULO_DrawBits16(bits, 4, 2, 2, 0, 0, 2, 2, 648, 498, 650, 500);
  ULO_PresentIfDirty();
  SDL_Surface* s = SDL_GetWindowSurface(ULO_MainSDLWindow());
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->format->BytesPerPixel, 4);
  auto px = [&](int x, int y) {
    Uint8 r, g, b;
    SDL_GetRGB(static_cast<const uint32_t*>(s->pixels)[(size_t)y * s->pitch / 4 + x], s->format, &r, &g, &b);
    return (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
  };
  const struct {
    int lx, ly;
    uint32_t rgb;
  } want[] = {{648, 498, 0xFF0000}, {649, 498, 0xFFFFFF}, {648, 499, 0x0000FF}, {649, 499, 0x00FF00}, {0, 0, 0}};
  for (const auto& w : want)
    for (int dy = 0; dy < 2; dy++)
      for (int dx = 0; dx < 2; dx++) EXPECT_EQ(px(2 * w.lx + dx, 2 * w.ly + dy), w.rgb) << w.lx << "," << w.ly;
  EXPECT_EQ(px(1300, 999), 0u);
  EXPECT_EQ(px(1299, 1000), 0u);

  // A later change repaints only its own block.
  ULO_BoxFill(10, 10, 10, 10, 2);
  ULO_PresentIfDirty();
  EXPECT_EQ(px(20, 20), 0xFF0000u);
  EXPECT_EQ(px(21, 21), 0xFF0000u);
  EXPECT_EQ(px(22, 20), 0u);
  EXPECT_EQ(px(1298, 998), 0x00FF00u);
  ULO_CloseWindow();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

}  // namespace
