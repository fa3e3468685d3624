// Platform start and exit, the poll loop and mouse polling for tracking.
#include <SDL.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "framework/platform/uloEvents.h"
#include "framework/platform/uloMessageBox.h"
#include "framework/platform/uloSys.h"

void ULO_WindowResized(int w, int h);
uint32_t* ULO_CanvasPixels(int* w, int* h);
bool ULO_SignalPending();
SDL_Window* ULO_MainSDLWindow();

namespace {

constexpr int kPictureSlots = 50;
void* gPictures[kPictureSlots];

std::atomic<int> gSignals{0};
std::atomic<bool> gLooping{false};

void onSignal(int sig) {
  // In the poll loop the first signal asks for an orderly close (the
  // teardown saves what must be saved); a second one ends the process at
  // once. Before the loop runs there is nothing of the user's to save, and a
  // modal box of the start-up would keep the loop from ever seeing the flag.
  if (!gLooping.load() || gSignals.fetch_add(1) >= 1) _exit(128 + sig);
}

void dispatch(const SDL_Event& e) {
  if (uloSkipWndMsgs) return;
  if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
    ULO_WindowResized(e.window.data1, e.window.data2);
  if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
    // Keys held now may be let go in another window: the program lets go
    // of them here rather than keep them held until it is restarted.
    while (ULO_TakeHeldKeyRelease(uloGlo)) QXScreen_remoteevents(nullptr);
    return;
  }
  void* param = nullptr;
  char typed[sizeof e.text.text] = {0};
  if (e.type == SDL_KEYDOWN) ULO_TakeTypedText(typed, sizeof typed);
  switch (ULO_TranslateEvent(e, uloGlo, ULO_WindowScale(), (int32_t)ULO_Ticks(), &param, typed)) {
    case uloEventAction::none:
      break;
    case uloEventAction::handOver:
      if (e.type == SDL_MOUSEBUTTONDOWN) SDL_CaptureMouse(SDL_TRUE);
      if (e.type == SDL_MOUSEBUTTONUP) SDL_CaptureMouse(SDL_FALSE);
      QXScreen_remoteevents(nullptr);
      break;
    case uloEventAction::resize: {
      // The panels take the size the window has now: it may have grown
      // back to its minimum (ULO_WindowResized).
      int w = 0, h = 0;
      if (ULO_CanvasPixels(&w, &h)) {
        uloGlo.windowWidth = int16_t(w);
        uloGlo.windowHeight = int16_t(h);
      }
      QXScreen_remoteevents(nullptr);
      uloGlo.what = uloEvtUpdate;
      QXScreen_remoteevents(nullptr);
      break;
    }
    case uloEventAction::remote:
      QXScreen_remoteevents(param);
      break;
  }
}

// Test hook: with JAMLOOM_TEST_DROP naming a file, a path written into
// that file is dropped on the window as the desktop drops one (an
// SDL_DROPFILE event through the same translation), at the pointer, and the
// file is removed. X test tools can move the pointer but cannot drag.
void pollTestDrop() {
  static const char* request = getenv("JAMLOOM_TEST_DROP");
  static uint32_t next = 0;
  if (!request || !*request || SDL_GetTicks() < next) return;
  next = SDL_GetTicks() + 100;
  FILE* f = fopen(request, "rb");
  if (!f) return;
  char path[4096] = {0};
  const size_t n = fread(path, 1, sizeof path - 1, f);
  fclose(f);
  unlink(request);
  path[n] = 0;
  while (char* end = strrchr(path, '\n')) *end = 0;
  SDL_Window* w = SDL_GetMouseFocus() ? SDL_GetMouseFocus() : SDL_GetKeyboardFocus();
  SDL_Event e{};
  e.type = SDL_DROPFILE;
  e.drop.file = SDL_strdup(path);
  e.drop.windowID = w ? SDL_GetWindowID(w) : 0;
  if (SDL_PushEvent(&e) != 1) SDL_free(e.drop.file);
}

}  // namespace

bool ULO_Platform_Init() {
  // Our own handlers replace SDL's, which would turn SIGINT into a close
  // request that asks the user.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  // A window surface (the start-up picture's, and the main window's unless
  // a GPU renderer is chosen) would otherwise be backed by an OpenGL
  // texture, which loads the whole GL stack for one picture. The
  // environment variable of the same name still overrides this.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // The program captures the mouse itself, from a press it handles to the
  // release; SDL's automatic capture would outlive a press whose release
  // went to a dialog, and a capture grabs the pointer for the whole desktop.
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
  struct sigaction sa = {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  // Without a display SDL quietly falls back to drawing off screen, which
  // would leave an invisible program running. Only an explicit request
  // (tests, headless tools) may run that way.
  const char* asked = getenv("SDL_VIDEODRIVER");
  const bool explicitDriver = asked && *asked;
  // A display that is named but does not answer at once (a session still
  // starting, an X server busy with other clients) gets a few seconds
  // before the program gives up on it.
  const char* x = getenv("DISPLAY");
  const char* wl = getenv("WAYLAND_DISPLAY");
  const bool named = (x && *x) || (wl && *wl);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (;;) {
    const bool up = SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0;
    const char* driver = up ? SDL_GetCurrentVideoDriver() : nullptr;
    const bool headless = driver && (strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0);
    if (up && (explicitDriver || !headless)) break;
    const std::string why = up ? std::string("only the off-screen driver started") : SDL_GetError();
    if (up) SDL_Quit();
    if (named && std::chrono::steady_clock::now() < until) {
      fprintf(stderr, "Jamloom: the display does not answer yet (%s); trying again\n", why.c_str());
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    if (!up) {
      fprintf(stderr, "Jamloom: cannot open the display: %s\n", why.c_str());
      winmainreturnvalue = 0;
      return false;
    }
    if (named)
      fprintf(stderr, "Jamloom: the display named by DISPLAY or WAYLAND_DISPLAY cannot be opened.\n");
    else
      fprintf(stderr, "Jamloom: no display found (DISPLAY or WAYLAND_DISPLAY is not set). Start it from a desktop session.\n");
    winmainreturnvalue = 1;
    return false;
  }
  uloGlo.running = 1;
  // A box waiting for an answer must not hold off a close that a signal asks for.
  ULO_SetBoxInterruptCheck(ULO_SignalPending);
  ULO_SeedRandom((uint32_t)SDL_GetTicks() ^ (uint32_t)getpid());
  return true;
}

int32_t ULO_Platform_Exit() {
  SDL_Quit();
  return winmainreturnvalue;
}

void ULO_Init() {
  for (auto& p : gPictures) p = nullptr;
}

void ULO_FreePicture(int16_t index) {
  if (index < 0 || index >= kPictureSlots) return;
  ULO_DisposePtr(&gPictures[index]);
}

void ULO_Exit() {
  for (int16_t i = 0; i < kPictureSlots; ++i) ULO_FreePicture(i);
}

bool ULO_SignalPending() { return gSignals.load() > 0; }

void ULO_RaiseMainWindow() {
  SDL_Window* w = ULO_MainSDLWindow();
  if (!w) return;
  if (SDL_GetWindowFlags(w) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(w);
  SDL_RaiseWindow(w);
  // A window manager hands the keyboard to a raised window; without one
  // nothing would.
  SDL_SetWindowInputFocus(w);
}

void ULO_Main2() {
  QX_InitAll();
  gLooping = true;
  SDL_Event e;
  bool toldReady = false;
  while (uloGlo.running) {
    if (gSignals.load() > 0) {
      uloGlo.running = 0;
      break;
    }
    if (SDL_PollEvent(&e)) {
      dispatch(e);
      continue;
    }
    SDL_Delay(1);
    pollTestDrop();
    // Every event queued so far has been handled: a key held for the
    // program but up on the keyboard lost its release somewhere.
    int keys = 0;
    const Uint8* down = SDL_GetKeyboardState(&keys);
    while (down && ULO_TakeHeldKeyRelease(uloGlo, down, keys)) QXScreen_remoteevents(nullptr);
    uloGlo.what = uloEvtNull;
    uloGlo.when = (int32_t)ULO_Ticks();
    QXScreen_remoteevents(nullptr);
    ULO_PresentIfDirty();
    if (!toldReady) {
      // Scripts that drive the program wait for this line instead of
      // guessing how long a start takes.
      toldReady = true;
      fprintf(stderr, "Jamloom: ready (%s)\n", ULO_PresenterName());
    }
  }
  QX_ExitAll();
  gLooping = false;
}

bool ULO_ButtonDown() {
  uloGlo.when = (int32_t)ULO_Ticks();
  uloGlo.what = uloEvtNull;
  ULO_PresentIfDirty();
  SDL_PumpEvents();
  SDL_Event e;
  if (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_MOUSEMOTION, SDL_MOUSEBUTTONUP) == 1) {
    const int s = ULO_WindowScale();
    if (e.type == SDL_MOUSEMOTION) {
      uloGlo.mouseX = (int16_t)(e.motion.x / s);
      uloGlo.mouseY = (int16_t)(e.motion.y / s);
    } else if (e.button.button == SDL_BUTTON_LEFT) {
      uloGlo.mouseX = (int16_t)(e.button.x / s);
      uloGlo.mouseY = (int16_t)(e.button.y / s);
      if (e.type == SDL_MOUSEBUTTONDOWN) {
        SDL_CaptureMouse(SDL_TRUE);
        uloGlo.what = uloEvtMouseDown;
        uloGlo.buttonDown = 1;
      } else {
        SDL_CaptureMouse(SDL_FALSE);
        uloGlo.buttonDown = 0;
      }
    }
  } else {
    // Nothing pending: yield instead of spinning a core.
    SDL_Delay(1);
  }
  // A window closed during a drag must not leave the loop tracking forever.
  if (gSignals.load() > 0 || !ULO_HasWindow()) uloGlo.buttonDown = 0;
  return uloGlo.buttonDown != 0;
}
