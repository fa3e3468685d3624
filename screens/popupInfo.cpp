#include "screens/popupInfo.h"

#include <SDL.h>

#include "framework/casts/uloCasts.h"
#include "framework/panel/QXPanel.h"
#include "framework/platform/uloSys.h"

uint8_t jldoingInfo = 0;

namespace {
constexpr int32_t kPictureCast = 742;
SDL_Window* gWindow = nullptr;
}  // namespace

void JL_PopupInfo_Open() {
  jldoingInfo = 1;
  uloSkipWndMsgs = 1;
  UloOneCast* cast = QXCasts.CastOfID(kPictureCast);
  if (!cast) return;
  cast->LoadAvailable();
  const uloOffmap& img = cast->image;
  const int w = img.width(), h = img.height();
  if (!cast->imageLoaded || w <= 0 || h <= 0) return;
  SDL_DisplayMode mode;
  int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
  if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
    // Half the screen less half the picture, rounded up.
    x = (mode.w + 1) / 2 - (w + 1) / 2;
    y = (mode.h + 1) / 2 - (h + 1) / 2;
  }
  gWindow = SDL_CreateWindow("Jamloom", x, y, w, h, SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR);
  if (!gWindow) return;
  SDL_Surface* surface = SDL_GetWindowSurface(gWindow);
  SDL_Surface* picture = SDL_CreateRGBSurfaceWithFormat(0, w, h, 16, SDL_PIXELFORMAT_RGB555);
  if (surface && picture) {
    SDL_LockSurface(picture);
    for (int row = 0; row < h; row++) {
      auto* line = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(picture->pixels) + row * picture->pitch);
      for (int col = 0; col < w; col++) line[col] = uint16_t(img.getPixel(col, row));
    }
    SDL_UnlockSurface(picture);
    SDL_BlitSurface(picture, nullptr, surface, nullptr);
    SDL_UpdateWindowSurface(gWindow);
  }
  if (picture) SDL_FreeSurface(picture);
  SDL_PumpEvents();
}

void JL_PopupInfo_Close() {
  if (gWindow) {
    // A press that began on the picture must not land on the main window;
    // but a button state that never clears (a release delivered elsewhere)
    // must not hold the start-up forever either.
    const Uint32 until = SDL_GetTicks() + 2000;
    while ((SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK) && !SDL_TICKS_PASSED(SDL_GetTicks(), until)) {
      SDL_PumpEvents();
      SDL_Delay(10);
    }
    SDL_DestroyWindow(gWindow);
    gWindow = nullptr;
  }
  // What arrived for the picture window is not the main window's.
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  uloSkipWndMsgs = 0;
  jldoingInfo = 0;
}
