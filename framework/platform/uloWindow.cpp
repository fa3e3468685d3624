// The main window. What the program draws goes into a canvas of logical
// pixels (window size / scale); presenting scales the changed part by a
// whole number, nearest neighbour, straight to an X11 window in small
// bands (uloPresentBands.cpp) or into SDL's window surface, or uploads it
// to a texture of the logical size that an SDL renderer scales (see
// ULO_ChoosePresenter).
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>
#include <glob.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/sys/uloProcess.h"
#include "framework/platform/uloPresentBands.h"
#include "framework/platform/uloSys.h"

namespace {

struct Window {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  uloX11Bands* bands = nullptr;
  int scale = 1;
  int width = 0, height = 0;  // logical
  std::vector<uint32_t> canvas;
  SDL_Rect dirty = {0, 0, 0, 0};
  // Without a renderer: the next present repaints the margins too.
  bool wholeWindow = true;
  // Times in a row the window was grown back to its minimum size.
  int growTries = 0;
};

Window gWin;

void markDirty(int l, int t, int r, int b) {
  l = std::max(l, 0);
  t = std::max(t, 0);
  r = std::min(r, gWin.width);
  b = std::min(b, gWin.height);
  if (r <= l || b <= t) return;
  SDL_Rect add = {l, t, r - l, b - t};
  if (gWin.dirty.w == 0)
    gWin.dirty = add;
  else
    SDL_UnionRect(&gWin.dirty, &add, &gWin.dirty);
}

// Scale and logical size for a window of w x h pixels.
void layoutFor(int w, int h) {
  int s = std::max(1, std::min(w / 640, h / 480));
  gWin.scale = s;
  int lw = std::max(1, w / s), lh = std::max(1, h / s);
  if (lw != gWin.width || lh != gWin.height || (gWin.renderer && !gWin.texture)) {
    gWin.width = lw;
    gWin.height = lh;
    gWin.canvas.assign((size_t)lw * lh, 0xFF000000u);
    gWin.canvas.shrink_to_fit();
    if (gWin.texture) SDL_DestroyTexture(gWin.texture);
    gWin.texture = gWin.renderer ? SDL_CreateTexture(gWin.renderer, SDL_PIXELFORMAT_ARGB8888,
                                                     SDL_TEXTUREACCESS_STREAMING, lw, lh)
                                 : nullptr;
    markDirty(0, 0, lw, lh);
  }
}

// ---- fonts ----

struct FontKey {
  int pixels;
  int style;
  TTF_Font* font;
};
std::vector<FontKey> gFonts;
std::string gFontFile[2];  // regular, bold

TTF_Font* fontFor(int pixels, int style) {
  for (auto& f : gFonts)
    if (f.pixels == pixels && f.style == style) return f.font;
  if (!TTF_WasInit() && TTF_Init() != 0) return nullptr;
  const int bold = (style & 1) ? 1 : 0;
  if (gFontFile[bold].empty()) gFontFile[bold] = ULO_FindInterfaceFont(bold);
  if (gFontFile[bold].empty()) return nullptr;
  TTF_Font* font = TTF_OpenFont(gFontFile[bold].c_str(), std::max(1, pixels));
  if (!font) return nullptr;
  int ttfStyle = TTF_STYLE_NORMAL;
  if (style & 2) ttfStyle |= TTF_STYLE_ITALIC;
  if (style & 4) ttfStyle |= TTF_STYLE_UNDERLINE;
  TTF_SetFontStyle(font, ttfStyle);
  gFonts.push_back({pixels, style, font});
  return font;
}

void closeFonts() {
  for (auto& f : gFonts) TTF_CloseFont(f.font);
  gFonts.clear();
  if (TTF_WasInit()) TTF_Quit();
}

// The program's texts are 8-bit Latin-1.
std::string latin1ToUtf8(const char* text, int count) {
  std::string out;
  for (int i = 0; i < count && text[i]; ++i) {
    unsigned char c = (unsigned char)text[i];
    if (c < 0x80) {
      out += (char)c;
    } else {
      out += (char)(0xC0 | (c >> 6));
      out += (char)(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// A DRM render node is what a GPU driver offers; without one, any GL there
// is would be software.
bool gpuDeviceExists() {
  glob_t g;
  const bool found = glob("/dev/dri/renderD*", 0, nullptr, &g) == 0 && g.gl_pathc > 0;
  globfree(&g);
  return found;
}

// GL_RENDERER of an OpenGL-based renderer's context, or "" for another kind.
const char* glRendererOf(SDL_Renderer* renderer) {
  SDL_RendererInfo info;
  if (SDL_GetRendererInfo(renderer, &info) != 0 || !info.name || strncmp(info.name, "opengl", 6) != 0) return "";
  using GetString = const unsigned char* (*)(unsigned int);
  auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  const unsigned char* name = getString ? getString(0x1F01 /* GL_RENDERER */) : nullptr;
  return name ? reinterpret_cast<const char*>(name) : "";
}

// Presented in bands, nothing of the window is kept on our side: what the
// X server uncovers is sent again, whole (SDL does not say which part).
int onExposed(void*, SDL_Event* e) {
  if (e->type == SDL_WINDOWEVENT && e->window.event == SDL_WINDOWEVENT_EXPOSED && gWin.window &&
      e->window.windowID == SDL_GetWindowID(gWin.window))
    gWin.wholeWindow = true;
  return 0;
}

}  // namespace

uloPresenter ULO_ChoosePresenter(const char* asked, bool gpuDeviceExists, const char* sdlRenderDriver) {
  const std::string a = asked ? asked : "";
  if (a == "surface" || a == "window-surface") return uloPresenter::surface;
  if (a == "gpu") return uloPresenter::renderer;
  // SDL's own "software" renderer draws into the window surface too, with
  // more copies; asking for it means what "surface" does here.
  const std::string driver = sdlRenderDriver ? sdlRenderDriver : "";
  if (driver == "software") return uloPresenter::surface;
  return gpuDeviceExists || !driver.empty() ? uloPresenter::renderer : uloPresenter::surface;
}

bool ULO_IsSoftwareGL(const char* glRenderer) {
  if (!glRenderer) return false;
  std::string r = glRenderer;
  for (char& c : r) c = (char)tolower((unsigned char)c);
  for (const char* soft : {"llvmpipe", "softpipe", "swrast", "software rasterizer", "lavapipe"})
    if (r.find(soft) != std::string::npos) return true;
  return false;
}

const char* ULO_PresenterName() {
  if (!gWin.window) return "none";
  SDL_RendererInfo info;
  if (gWin.renderer && SDL_GetRendererInfo(gWin.renderer, &info) == 0 && info.name) return info.name;
  return gWin.bands ? "X11 bands" : "window surface";
}

SDL_Window* ULO_MainSDLWindow() { return gWin.window; }

// For the box drawn inside the window (uloMessageBox.cpp): the canvas, a
// note that all of it changed, and the interface font.
uint32_t* ULO_CanvasPixels(int* w, int* h) {
  *w = gWin.width;
  *h = gWin.height;
  return gWin.window && !gWin.canvas.empty() ? gWin.canvas.data() : nullptr;
}
void ULO_CanvasChanged() { markDirty(0, 0, gWin.width, gWin.height); }
TTF_Font* ULO_InterfaceFont(int pixels, bool bold) { return fontFor(pixels, bold ? 1 : 0); }

bool ULO_HasWindow() { return gWin.window != nullptr; }
int ULO_WindowScale() { return gWin.scale; }

void ULO_GetMonitorInfo(uloMonitorInfoRec* info) {
  if (!info) return;
  info->bitsPerPixel = 32;
  info->width = 640;
  info->height = 480;
  SDL_DisplayMode mode;
  if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetCurrentDisplayMode(0, &mode) == 0) {
    info->bitsPerPixel = (int16_t)SDL_BITSPERPIXEL(mode.format);
    info->width = (int16_t)mode.w;
    info->height = (int16_t)mode.h;
  }
}

bool ULO_NewWindow(int16_t mode, int16_t width, int16_t height) {
  ULO_CloseWindow();
  if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  Uint32 flags = SDL_WINDOW_SHOWN;
  int w = width, h = height;
  switch (mode) {
    case 1:
      flags |= SDL_WINDOW_RESIZABLE | SDL_WINDOW_MAXIMIZED;
      break;
    case 2:
      flags |= SDL_WINDOW_BORDERLESS;
      break;
    case 3:
      break;
    case 4:
      flags |= SDL_WINDOW_BORDERLESS;
      w = std::min<int>(w, 640);
      h = std::min<int>(h, 480);
      break;
    default:
      flags |= SDL_WINDOW_RESIZABLE;
      break;
  }
  if (mode == 1) {
    // A maximised window covers the usable part of the screen.
    SDL_Rect usable;
    if (SDL_GetDisplayUsableBounds(0, &usable) == 0) {
      w = usable.w;
      h = usable.h;
    }
  }
  w = std::max(w, kUloMinWindowWidth);
  h = std::max(h, kUloMinWindowHeight);
  gWin.window = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h, flags);
  if (!gWin.window) return false;
  SDL_SetWindowMinimumSize(gWin.window, kUloMinWindowWidth, kUloMinWindowHeight);
  const char* asked = getenv("JAMLOOM_PRESENT");
  if (ULO_ChoosePresenter(asked, gpuDeviceExists(), getenv("SDL_RENDER_DRIVER")) == uloPresenter::renderer) {
    gWin.renderer = SDL_CreateRenderer(gWin.window, -1, SDL_RENDERER_ACCELERATED);
    // Asked for outright, a software GL is the user's choice; found on its
    // own it is dropped (its libraries stay loaded, but not its buffers).
    const bool forced = asked && strcmp(asked, "gpu") == 0;
    if (gWin.renderer && !forced && ULO_IsSoftwareGL(glRendererOf(gWin.renderer))) {
      SDL_DestroyRenderer(gWin.renderer);
      gWin.renderer = nullptr;
    }
  }
  if (!gWin.renderer && !(asked && strcmp(asked, "window-surface") == 0)) {
    gWin.bands = ULO_X11BandsOpen(gWin.window);
    if (gWin.bands) SDL_AddEventWatch(onExposed, nullptr);
  }
  int ww = w, wh = h;
  SDL_GetWindowSize(gWin.window, &ww, &wh);
  gWin.texture = nullptr;
  gWin.width = gWin.height = 0;
  layoutFor(ww, wh);
  uloGlo.windowWidth = (int16_t)gWin.width;
  uloGlo.windowHeight = (int16_t)gWin.height;
  // The characters keys type come from text input (each follows its key's
  // press), so every keyboard layout types what its keys show.
  SDL_StartTextInput();
  return true;
}

void ULO_WindowResized(int w, int h) {
  if (!gWin.window) return;
  // The minimum size given to SDL is only a hint to a window manager:
  // without one the X server gives the window any size asked for, and a
  // smaller one would cut the interface. It grows back, unless something
  // keeps shrinking it (a tiling manager's tile): after three tries in a
  // row the size is left as given.
  if (w >= kUloMinWindowWidth && h >= kUloMinWindowHeight) {
    gWin.growTries = 0;
  } else if (gWin.growTries < 3) {
    gWin.growTries++;
    w = std::max(w, kUloMinWindowWidth);
    h = std::max(h, kUloMinWindowHeight);
    SDL_SetWindowSize(gWin.window, w, h);
  }
  layoutFor(w, h);
  gWin.wholeWindow = true;
}

namespace {
std::string gTitle;
}

void ULO_SetWindowTitle(const char* text) {
  gTitle = text ? text : "";
  if (gWin.window) SDL_SetWindowTitle(gWin.window, gTitle.c_str());
}

const char* ULO_WindowTitle() { return gTitle.c_str(); }

bool ULO_SetWindowIconFile(const char* sysPath) {
  if (!gWin.window || !sysPath || !sysPath[0]) return false;
  SDL_Surface* icon = IMG_Load(sysPath);
  if (!icon) return false;
  SDL_SetWindowIcon(gWin.window, icon);
  SDL_FreeSurface(icon);
  return true;
}

void ULO_CloseWindow() {
  closeFonts();
  if (gWin.texture) SDL_DestroyTexture(gWin.texture);
  if (gWin.renderer) SDL_DestroyRenderer(gWin.renderer);
  if (gWin.bands) {
    SDL_DelEventWatch(onExposed, nullptr);
    ULO_X11BandsClose(gWin.bands);
  }
  if (gWin.window) SDL_DestroyWindow(gWin.window);
  gWin = Window();
}

bool ULO_ColourOfIndex(int16_t index, uint8_t* r, uint8_t* g, uint8_t* b) {
  static const uint8_t table[10][3] = {{0, 0, 0},     {255, 255, 255}, {255, 0, 0},   {0, 0, 191},
                                       {255, 255, 0}, {0, 127, 0},     {0, 255, 255}, {127, 127, 127},
                                       {191, 191, 191}, {255, 127, 0}};
  if (index == -1) return false;
  uint8_t c[3] = {0, 0, 0};
  if (index == -2) {
    // A COLORREF holds red in its low byte.
    c[0] = (uint8_t)(magicCOLORREFvalue & 0xFF);
    c[1] = (uint8_t)((magicCOLORREFvalue >> 8) & 0xFF);
    c[2] = (uint8_t)((magicCOLORREFvalue >> 16) & 0xFF);
  } else if (index >= 0 && index <= 9) {
    memcpy(c, table[index], 3);
  }
  *r = c[0];
  *g = c[1];
  *b = c[2];
  return true;
}

namespace {

void fillCanvas(int l, int t, int r, int b, uint32_t argb) {
  l = std::max(l, 0);
  t = std::max(t, 0);
  r = std::min(r, gWin.width);
  b = std::min(b, gWin.height);
  for (int y = t; y < b; ++y) std::fill(&gWin.canvas[(size_t)y * gWin.width + l], &gWin.canvas[(size_t)y * gWin.width + r], argb);
  markDirty(l, t, r, b);
}

uint32_t argbOf(int16_t colour, bool* none) {
  uint8_t r = 0, g = 0, b = 0;
  *none = !ULO_ColourOfIndex(colour, &r, &g, &b);
  return 0xFF000000u | ((uint32_t)r << 16) | ((uint32_t)g << 8) | b;
}

}  // namespace

void ULO_BoxFill(int16_t left, int16_t top, int16_t right, int16_t bottom, int16_t colour) {
  bool none;
  uint32_t c = argbOf(colour, &none);
  if (none || !gWin.window) return;
  fillCanvas(left, top, right + 1, bottom + 1, c);
}

void ULO_BoxFrame(int16_t left, int16_t top, int16_t right, int16_t bottom, int16_t colour, int16_t width) {
  bool none;
  uint32_t c = argbOf(colour, &none);
  if (none || !gWin.window) return;
  if (width < 1) width = 1;
  // The pen lies inside the box, as with an inside-frame pen.
  int l = left, t = top, r = right, b = bottom;
  fillCanvas(l, t, r, t + width, c);
  fillCanvas(l, b - width, r, b, c);
  fillCanvas(l, t, l + width, b, c);
  fillCanvas(r - width, t, r, b, c);
}

void ULO_TextStyle(const char* text, int16_t count, int16_t size, int16_t x, int16_t y, int16_t colour,
                   int16_t width, int16_t justification, int16_t style) {
  bool none;
  uint32_t argb = argbOf(colour, &none);
  if (none || !gWin.window || !text || size <= 0) return;
  int n = (int)strnlen(text, 4096);
  if (count >= 0 && count < n) n = count;
  std::string utf8 = latin1ToUtf8(text, n);
  if (utf8.empty()) return;
  TTF_Font* font = fontFor(size * 15 / 6, style);
  if (!font) return;
  SDL_Color fg = {(Uint8)((argb >> 16) & 0xFF), (Uint8)((argb >> 8) & 0xFF), (Uint8)(argb & 0xFF), 255};
  SDL_Surface* s = TTF_RenderUTF8_Blended(font, utf8.c_str(), fg);
  if (!s) return;
  SDL_Surface* canvas = SDL_CreateRGBSurfaceWithFormatFrom(gWin.canvas.data(), gWin.width, gWin.height, 32,
                                                           gWin.width * 4, SDL_PIXELFORMAT_ARGB8888);
  if (canvas) {
    int dx = x;
    if (justification == 1) dx = x + (width - s->w) / 2;
    if (justification == 2) dx = x + width - s->w;
    SDL_Rect dst = {dx, y, s->w, s->h};
    SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_BLEND);
    SDL_BlitSurface(s, nullptr, canvas, &dst);
    markDirty(dx, y, dx + s->w, y + s->h);
    SDL_FreeSurface(canvas);
  }
  SDL_FreeSurface(s);
}

void ULO_DrawBits16(const uint16_t* bits, int rowBytes, int width, int height, int sl, int st, int sr, int sb,
                    int dl, int dt, int dr, int db) {
  if (!gWin.window || !bits || rowBytes <= 0 || width <= 0 || height <= 0) return;
  const int sw = sr - sl, sh = sb - st, dw = dr - dl, dh = db - dt;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  const int stride = rowBytes / 2;
  const int x0 = std::max(dl, 0), x1 = std::min(dr, gWin.width);
  const int y0 = std::max(dt, 0), y1 = std::min(db, gWin.height);
  for (int y = y0; y < y1; ++y) {
    const int sy = st + (int)((int64_t)(y - dt) * sh / dh);
    if (sy < 0 || sy >= height) continue;
    const uint16_t* row = bits + (size_t)(height - 1 - sy) * stride;
    uint32_t* out = &gWin.canvas[(size_t)y * gWin.width];
    for (int x = x0; x < x1; ++x) {
      const int sx = sl + (int)((int64_t)(x - dl) * sw / dw);
      if (sx < 0 || sx >= width) continue;
      const uint16_t p = row[sx];
      const uint32_t r = (p >> 10) & 31, g = (p >> 5) & 31, b = p & 31;
      out[x] = 0xFF000000u | ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
    }
  }
  markDirty(x0, y0, x1, y1);
}

namespace {

// Scales the logical rectangle r of the canvas into a 32-bit window surface
// whose red, green and blue sit where the canvas has them.
void scaleInto(SDL_Surface* s, const SDL_Rect& r) {
  const int k = gWin.scale;
  const int right = std::min(r.x + r.w, s->w / k), bottom = std::min(r.y + r.h, s->h / k);
  auto* first = static_cast<uint8_t*>(s->pixels) + (size_t)r.y * k * s->pitch + (size_t)r.x * k * 4;
  ULO_ScaleBlocks(gWin.canvas.data(), gWin.width, k, r.x, right, r.y, bottom, first, (size_t)s->pitch);
}

void presentToSurface() {
  SDL_Surface* s = SDL_GetWindowSurface(gWin.window);
  if (!s) return;
  const int k = gWin.scale;
  SDL_Rect d = gWin.wholeWindow ? SDL_Rect{0, 0, gWin.width, gWin.height} : gWin.dirty;
  gWin.dirty = {0, 0, 0, 0};
  const SDL_PixelFormat* f = s->format;
  const bool direct = f->BytesPerPixel == 4 && f->Rmask == 0xFF0000 && f->Gmask == 0xFF00 && f->Bmask == 0xFF;
  if (SDL_MUSTLOCK(s) && SDL_LockSurface(s) != 0) return;
  if (direct) {
    scaleInto(s, d);
  } else {
    SDL_Surface* canvas = SDL_CreateRGBSurfaceWithFormatFrom(gWin.canvas.data(), gWin.width, gWin.height, 32,
                                                             gWin.width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (canvas) {
      SDL_Rect to = {d.x * k, d.y * k, d.w * k, d.h * k};
      SDL_BlitScaled(canvas, &d, s, &to);
      SDL_FreeSurface(canvas);
    }
  }
  if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
  SDL_Rect shown = {d.x * k, d.y * k, d.w * k, d.h * k};
  if (gWin.wholeWindow) {
    // What lies beyond the last whole logical pixel stays black.
    const int cw = gWin.width * k, ch = gWin.height * k;
    const Uint32 black = SDL_MapRGB(f, 0, 0, 0);
    SDL_Rect side = {cw, 0, std::max(0, s->w - cw), s->h}, foot = {0, ch, cw, std::max(0, s->h - ch)};
    SDL_FillRect(s, &side, black);
    SDL_FillRect(s, &foot, black);
    shown = {0, 0, s->w, s->h};
    gWin.wholeWindow = false;
  }
  SDL_UpdateWindowSurfaceRects(gWin.window, &shown, 1);
}

}  // namespace

void ULO_PresentIfDirty() {
  if (!gWin.window || (gWin.dirty.w == 0 && !gWin.wholeWindow)) return;
  if (gWin.bands) {
    int ww = 0, wh = 0;
    SDL_GetWindowSize(gWin.window, &ww, &wh);
    if (ULO_X11BandsShow(gWin.bands, gWin.canvas.data(), gWin.width, gWin.height, gWin.scale, gWin.dirty,
                         gWin.wholeWindow, ww, wh)) {
      gWin.dirty = {0, 0, 0, 0};
      gWin.wholeWindow = false;
      return;
    }
    // No band image to be had: the window surface from now on.
    SDL_DelEventWatch(onExposed, nullptr);
    ULO_X11BandsClose(gWin.bands);
    gWin.bands = nullptr;
    gWin.wholeWindow = true;
  }
  if (!gWin.renderer) {
    presentToSurface();
    return;
  }
  if (!gWin.texture) return;
  const SDL_Rect& d = gWin.dirty;
  SDL_UpdateTexture(gWin.texture, &d, &gWin.canvas[(size_t)d.y * gWin.width + d.x], gWin.width * 4);
  gWin.dirty = {0, 0, 0, 0};
  SDL_SetRenderDrawColor(gWin.renderer, 0, 0, 0, 255);
  SDL_RenderClear(gWin.renderer);
  SDL_Rect dst = {0, 0, gWin.width * gWin.scale, gWin.height * gWin.scale};
  SDL_RenderCopy(gWin.renderer, gWin.texture, nullptr, &dst);
  SDL_RenderPresent(gWin.renderer);
}

bool ULO_ReadWindowPixels(uint32_t* out, int width, int height) {
  if (!gWin.window || !out || width != gWin.width || height != gWin.height) return false;
  memcpy(out, gWin.canvas.data(), gWin.canvas.size() * 4);
  return true;
}

