// Presenting in bands: the block scaling both presenters share, the band
// image's size, and the picture an X11 window really shows (in a private
// Xvfb), pixel for pixel against the canvas.
#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "framework/platform/uloPresentBands.h"
#include "framework/platform/uloSys.h"

// Xlib's macros (None, Bool) would break the test framework's headers.
#include <SDL_syswm.h>

#if __has_include(<X11/Xlib.h>)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#define HAVE_XLIB 1
#endif

extern char** environ;
SDL_Window* ULO_MainSDLWindow();

namespace {

TEST(PresentBands, ScaledBlocksRepeatEachLogicalPixelAndLeaveTheRestAlone) {
  const int cw = 7, ch = 5, k = 3;
  std::vector<uint32_t> canvas(cw * ch);
  std::mt19937 rng(7);
  for (auto& p : canvas) p = 0xFF000000u | (rng() & 0xFFFFFF);
  // Columns 2..5, rows 1..3, into a buffer with a spare column each side
  // and a row pitch wider than the blocks.
  const int x0 = 2, x1 = 6, y0 = 1, y1 = 4;
  const int outW = (x1 - x0) * k + 2, outH = (y1 - y0) * k, pitchPixels = outW + 3;
  const uint32_t sentinel = 0x12345678;
  std::vector<uint32_t> out((size_t)pitchPixels * outH, sentinel);
  ULO_ScaleBlocks(canvas.data(), cw, k, x0, x1, y0, y1, reinterpret_cast<uint8_t*>(&out[1]), pitchPixels * 4);
  for (int py = 0; py < outH; ++py)
    for (int px = 0; px < pitchPixels; ++px) {
      const int bx = px - 1;
      const bool inside = bx >= 0 && bx < (x1 - x0) * k;
      const uint32_t want = inside ? canvas[(size_t)(y0 + py / k) * cw + x0 + bx / k] : sentinel;
      ASSERT_EQ(out[(size_t)py * pitchPixels + px], want) << px << "," << py;
    }
}

TEST(PresentBands, TheBandImageStaysNearAMegabyteAndHoldsWholeBlocks) {
  int rows = 0;
  // 3840 pixels across at scale 4: 15360 bytes a row, 68 rows fit, 17
  // logical rows of 4.
  EXPECT_EQ(ULO_BandBytes(3840, 4, &rows), 15360u * 68);
  EXPECT_EQ(rows, 17);
  EXPECT_EQ(ULO_BandBytes(640, 1, &rows), 2560u * 409);
  EXPECT_EQ(rows, 409);
  // Wider than the budget at a large scale: still one whole logical row.
  EXPECT_EQ(ULO_BandBytes(200000, 8, &rows), 800000u * 8);
  EXPECT_EQ(rows, 1);
}

#if HAVE_XLIB

// A private X server for one test; its display name, or "" when it did not
// come up within the deadline.
class PrivateXvfb {
 public:
  PrivateXvfb() {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string fd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "2048x1536x24", "-nolisten", "tcp",
                          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const bool started =
        posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (!started) {
      pid_ = -1;
      close(fds[0]);
      return;
    }
    // The server writes its display number once it accepts clients.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline && number.find('\n') == std::string::npos) {
      pollfd p = {fds[0], POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      char buf[32];
      const ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      number.append(buf, (size_t)n);
    }
    close(fds[0]);
    if (number.find('\n') != std::string::npos) name_ = ":" + number.substr(0, number.find('\n'));
  }
  ~PrivateXvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// Pixel (x, y) of the window that `info` names as the server holds it,
// read through a connection of our own once the server has handled all
// that the presenting connection sent (two connections are not ordered).
std::vector<uint32_t> windowPixels(Display* d, const SDL_SysWMinfo& info, int width, int height) {
  XSync(info.info.x11.display, False);
  const ::Window w = info.info.x11.window;
  std::vector<uint32_t> out((size_t)width * height, 0xDEADBEEF);
  XImage* image = XGetImage(d, w, 0, 0, width, height, AllPlanes, ZPixmap);
  if (!image) return out;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) out[(size_t)y * width + x] = XGetPixel(image, x, y) & 0xFFFFFF;
  XDestroyImage(image);
  return out;
}

// The canvas as it should look in a window of width x height at scale k:
// each logical pixel a k x k block, black beyond the last whole block.
std::vector<uint32_t> expectedPixels(const std::vector<uint32_t>& canvas, int lw, int lh, int k, int width,
                                     int height) {
  std::vector<uint32_t> out((size_t)width * height, 0);
  for (int y = 0; y < std::min(height, lh * k); ++y)
    for (int x = 0; x < std::min(width, lw * k); ++x)
      out[(size_t)y * width + x] = canvas[(size_t)(y / k) * lw + x / k] & 0xFFFFFF;
  return out;
}

size_t differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  size_t n = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) n += a[i] != b[i];
  return n + (a.size() > b.size() ? a.size() - b.size() : b.size() - a.size());
}

// SDL on X11 in a private server, with a second connection to read the
// windows back; the test program's own display settings come back
// afterwards. (Plain tests of the Presenter suite, not a fixture: those run
// outside the leak check, which the display's libraries would upset.)
class X11Session {
 public:
  X11Session() {
    if (server_.name().empty()) return;
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("DISPLAY", server_.name().c_str(), 1);
    unsetenv("JAMLOOM_PRESENT");
    videoUp_ = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    if (videoUp_) viewer_ = XOpenDisplay(server_.name().c_str());
  }
  ~X11Session() {
    if (viewer_) XCloseDisplay(viewer_);
    ULO_CloseWindow();
    if (videoUp_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    unsetenv("DISPLAY");
  }
  bool ready() const { return viewer_ != nullptr; }
  Display* viewer() const { return viewer_; }
  // How many pixels of the main window (w x h) differ from its canvas
  // shown at scale k.
  size_t differingFromCanvas(int w, int h, int k) {
    const int lw = uloGlo.windowWidth, lh = uloGlo.windowHeight;
    std::vector<uint32_t> canvas((size_t)lw * lh);
    if (!ULO_ReadWindowPixels(canvas.data(), lw, lh)) return SIZE_MAX;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(ULO_MainSDLWindow(), &info)) return SIZE_MAX;
    return differing(windowPixels(viewer_, info, w, h), expectedPixels(canvas, lw, lh, k, w, h));
  }

 private:
  PrivateXvfb server_;
  Display* viewer_ = nullptr;
  bool videoUp_ = false;
};

// On X11 the picture reaches the window in bands, with no window surface:
// a 1301 x 1001 window shows the 650 x 500 canvas at scale 2, every logical
// pixel a whole block, the odd column and row black, and a later small
// change arrives without disturbing the rest.
TEST(Presenter, X11BandsShowTheCanvasPixelForPixel) {
  X11Session x;
  ASSERT_TRUE(x.ready()) << "no private X server: " << SDL_GetError();
  ASSERT_TRUE(ULO_NewWindow(3, 1301, 1001));
  EXPECT_STREQ(ULO_PresenterName(), "X11 bands");
  ASSERT_EQ(ULO_WindowScale(), 2);
  const int lw = uloGlo.windowWidth, lh = uloGlo.windowHeight;
  ASSERT_EQ(lw, 650);
  ASSERT_EQ(lh, 500);
  // Every 5-5-5 colour in a scattered order, so no two bands look alike
  // and a band put at the wrong height shows.
  std::vector<uint16_t> bits((size_t)lw * lh);
  for (size_t i = 0; i < bits.size(); ++i) bits[i] = (uint16_t)(((i * 2654435761u) >> 17) & 0x7FFF);
  ULO_DrawBits16(bits.data(), lw * 2, lw, lh, 0, 0, lw, lh, 0, 0, lw, lh);
  ULO_PresentIfDirty();
  EXPECT_EQ(x.differingFromCanvas(1301, 1001, 2), 0u);

  ULO_BoxFill(10, 10, 12, 11, 2);
  ULO_PresentIfDirty();
  std::vector<uint32_t> canvas((size_t)lw * lh);
  ASSERT_TRUE(ULO_ReadWindowPixels(canvas.data(), lw, lh));
  EXPECT_EQ(canvas[(size_t)10 * lw + 10] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(x.differingFromCanvas(1301, 1001, 2), 0u);
}

// Where shared memory cannot be had, the bands travel in the requests and
// the window shows the same: a 3 x 2 canvas at scale 5 in a window of 16 x
// 11, changed in its middle column afterwards.
TEST(Presenter, X11BandsWithoutSharedMemoryShowTheSame) {
  X11Session x;
  ASSERT_TRUE(x.ready()) << "no private X server: " << SDL_GetError();
  SDL_Window* w = SDL_CreateWindow("", 0, 0, 16, 11, SDL_WINDOW_SHOWN);
  ASSERT_NE(w, nullptr) << SDL_GetError();
  uloX11Bands* bands = ULO_X11BandsOpen(w, false);
  ASSERT_NE(bands, nullptr);
  std::vector<uint32_t> canvas = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF123456, 0xFF808080};
  ASSERT_TRUE(ULO_X11BandsShow(bands, canvas.data(), 3, 2, 5, {0, 0, 0, 0}, true, 16, 11));
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  ASSERT_TRUE(SDL_GetWindowWMInfo(w, &info));
  EXPECT_EQ(differing(windowPixels(x.viewer(), info, 16, 11), expectedPixels(canvas, 3, 2, 5, 16, 11)),
            0u);
  canvas[1] = canvas[4] = 0xFFABCDEF;
  ASSERT_TRUE(ULO_X11BandsShow(bands, canvas.data(), 3, 2, 5, {1, 0, 1, 2}, false, 16, 11));
  EXPECT_EQ(differing(windowPixels(x.viewer(), info, 16, 11), expectedPixels(canvas, 3, 2, 5, 16, 11)),
            0u);
  ULO_X11BandsClose(bands);
  SDL_DestroyWindow(w);
}

// Asked for, SDL's window surface is used on X11 too, and shows the same.
TEST(Presenter, TheWindowSurfaceAskedForOnX11ShowsTheSame) {
  X11Session x;
  ASSERT_TRUE(x.ready()) << "no private X server: " << SDL_GetError();
  setenv("JAMLOOM_PRESENT", "window-surface", 1);
  ASSERT_TRUE(ULO_NewWindow(3, 1923, 1445));
  unsetenv("JAMLOOM_PRESENT");
  EXPECT_STREQ(ULO_PresenterName(), "window surface");
  ASSERT_EQ(ULO_WindowScale(), 3);
  const int lw = uloGlo.windowWidth, lh = uloGlo.windowHeight;
  std::vector<uint16_t> bits((size_t)lw * lh);
  for (size_t i = 0; i < bits.size(); ++i) bits[i] = (uint16_t)(((i * 40503u) >> 3) & 0x7FFF);
  ULO_DrawBits16(bits.data(), lw * 2, lw, lh, 0, 0, lw, lh, 0, 0, lw, lh);
  ULO_PresentIfDirty();
  EXPECT_EQ(x.differingFromCanvas(1923, 1445, 3), 0u);
}

#endif

}  // namespace
