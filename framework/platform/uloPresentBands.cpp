// Band-by-band presentation to an X11 window (see uloPresentBands.h).
#include "framework/platform/uloPresentBands.h"

#include <SDL_syswm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(JL_HAVE_X11) && defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#define JL_X11_BANDS 1
#endif

void ULO_ScaleBlocks(const uint32_t* canvas, int canvasWidth, int scale, int x0, int x1, int y0, int y1,
                     uint8_t* out, size_t outPitch) {
  const int k = scale;
  if (x1 <= x0 || y1 <= y0 || k < 1) return;
  const size_t rowBytes = (size_t)(x1 - x0) * k * 4;
  for (int y = y0; y < y1; ++y) {
    const uint32_t* in = canvas + (size_t)y * canvasWidth;
    uint8_t* first = out + (size_t)(y - y0) * k * outPitch;
    auto* o = reinterpret_cast<uint32_t*>(first);
    for (int x = x0; x < x1; ++x)
      for (int i = 0; i < k; ++i) *o++ = in[x];
    for (int i = 1; i < k; ++i) memcpy(first + (size_t)i * outPitch, first, rowBytes);
  }
}

size_t ULO_BandBytes(int pixelWidth, int scale, int* logicalRows) {
  // About a megabyte: a 4K window is sent in some 30 bands, each costing
  // one round trip, and the image stays a few percent of the program.
  const size_t budget = 1u << 20;
  const size_t row = (size_t)std::max(pixelWidth, 1) * 4;
  const int k = std::max(scale, 1);
  const int rows = std::max(1, (int)(budget / row) / k);
  if (logicalRows) *logicalRows = rows;
  return row * rows * k;
}

#if JL_X11_BANDS

struct uloX11Bands {
  Display* display = nullptr;
  ::Window window = 0;
  Visual* visual = nullptr;
  int depth = 0;
  GC gc = nullptr;
  XImage* image = nullptr;
  XShmSegmentInfo shm = {};
  bool shared = false;
  bool mayShare = true;
  int rows = 0;  // logical rows per band
};

namespace {

bool gAttachFailed = false;
int onAttachError(Display*, XErrorEvent*) {
  gAttachFailed = true;
  return 0;
}

bool nativeIsLsbFirst() {
  const uint16_t one = 1;
  return *reinterpret_cast<const uint8_t*>(&one) == 1;
}

void dropImage(uloX11Bands* b) {
  if (!b->image) return;
  if (b->shared) {
    XShmDetach(b->display, &b->shm);
    XSync(b->display, False);
    b->image->data = nullptr;
    XDestroyImage(b->image);
    shmdt(b->shm.shmaddr);
  } else {
    XDestroyImage(b->image);  // frees the pixels too
  }
  b->image = nullptr;
  b->shared = false;
  b->shm = {};
}

// A band image as wide as the window's picture. Shared memory where the
// server can attach it (a local server); otherwise the pixels travel in
// the request.
bool makeImage(uloX11Bands* b, int pixelWidth, int scale) {
  dropImage(b);
  int rows = 0;
  const size_t bytes = ULO_BandBytes(pixelWidth, scale, &rows);
  const int height = rows * scale;
  const int lsb = nativeIsLsbFirst() ? LSBFirst : MSBFirst;
  if (b->mayShare && XShmQueryExtension(b->display) && ImageByteOrder(b->display) == lsb) {
    XImage* image = XShmCreateImage(b->display, b->visual, b->depth, ZPixmap, nullptr, &b->shm, pixelWidth, height);
    if (image && image->bits_per_pixel == 32 && (size_t)image->bytes_per_line * height <= bytes + 4096) {
      b->shm.shmid = shmget(IPC_PRIVATE, (size_t)image->bytes_per_line * height, IPC_CREAT | 0600);
      if (b->shm.shmid >= 0) {
        b->shm.shmaddr = static_cast<char*>(shmat(b->shm.shmid, nullptr, 0));
        if (b->shm.shmaddr != reinterpret_cast<char*>(-1)) {
          image->data = b->shm.shmaddr;
          b->shm.readOnly = False;
          gAttachFailed = false;
          XSync(b->display, False);
          auto previous = XSetErrorHandler(onAttachError);
          const bool asked = XShmAttach(b->display, &b->shm);
          XSync(b->display, False);
          XSetErrorHandler(previous);
          // Marked for removal now, the segment goes when both sides have
          // let go, even if the program is killed.
          shmctl(b->shm.shmid, IPC_RMID, nullptr);
          if (asked && !gAttachFailed) {
            b->image = image;
            b->shared = true;
            b->rows = rows;
            return true;
          }
          shmdt(b->shm.shmaddr);
        } else {
          shmctl(b->shm.shmid, IPC_RMID, nullptr);
        }
      }
    }
    if (image) {
      image->data = nullptr;
      XDestroyImage(image);
    }
    b->shm = {};
  }
  char* pixels = static_cast<char*>(malloc(bytes));
  if (!pixels) return false;
  XImage* image = XCreateImage(b->display, b->visual, b->depth, ZPixmap, 0, pixels, pixelWidth, height, 32,
                               pixelWidth * 4);
  if (!image || image->bits_per_pixel != 32) {
    if (image) XDestroyImage(image);
    else free(pixels);
    return false;
  }
  // The pixels are written in this machine's order; Xlib converts them if
  // the server's differs.
  image->byte_order = lsb;
  b->image = image;
  b->rows = rows;
  return true;
}

}  // namespace

uloX11Bands* ULO_X11BandsOpen(SDL_Window* window, bool mayShare) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
  Display* display = info.info.x11.display;
  XWindowAttributes attributes;
  if (!display || !XGetWindowAttributes(display, info.info.x11.window, &attributes)) return nullptr;
  const Visual* v = attributes.visual;
  // The canvas holds XRGB in native 32-bit words; a visual with the same
  // masks takes those words unchanged, as SDL's window surface does (which
  // puts the same words through the same visual, so a DirectColor one
  // shows the same picture either way).
  if (!v || (v->c_class != TrueColor && v->c_class != DirectColor) || v->red_mask != 0xFF0000 || v->green_mask != 0xFF00 || v->blue_mask != 0xFF ||
      (attributes.depth != 24 && attributes.depth != 32))
    return nullptr;
  auto* b = new uloX11Bands;
  b->display = display;
  b->window = info.info.x11.window;
  b->visual = attributes.visual;
  b->depth = attributes.depth;
  b->mayShare = mayShare;
  b->gc = XCreateGC(display, b->window, 0, nullptr);
  if (!b->gc) {
    delete b;
    return nullptr;
  }
  return b;
}

void ULO_X11BandsClose(uloX11Bands* b) {
  if (!b) return;
  dropImage(b);
  XFreeGC(b->display, b->gc);
  XFlush(b->display);
  delete b;
}

bool ULO_X11BandsShow(uloX11Bands* b, const uint32_t* canvas, int width, int height, int scale, SDL_Rect d,
                      bool wholeWindow, int windowWidth, int windowHeight) {
  if (!b || !canvas || width <= 0 || height <= 0 || scale < 1) return false;
  const int k = scale;
  if (wholeWindow) d = {0, 0, width, height};
  SDL_Rect all = {0, 0, width, height};
  if (!SDL_IntersectRect(&d, &all, &d)) d = {0, 0, 0, 0};
  if (!b->image || b->image->width != width * k) {
    if (!makeImage(b, width * k, k)) return false;
  }
  XImage* image = b->image;
  for (int y = d.y; y < d.y + d.h; y += b->rows) {
    const int n = std::min(b->rows, d.y + d.h - y);
    ULO_ScaleBlocks(canvas, width, k, d.x, d.x + d.w, y, y + n, reinterpret_cast<uint8_t*>(image->data),
                    (size_t)image->bytes_per_line);
    if (b->shared) {
      XShmPutImage(b->display, b->window, b->gc, image, 0, 0, d.x * k, y * k, d.w * k, n * k, False);
      // The server reads the segment when it handles the request; the next
      // band may only be written after that.
      XSync(b->display, False);
    } else {
      XPutImage(b->display, b->window, b->gc, image, 0, 0, d.x * k, y * k, d.w * k, n * k);
    }
  }
  if (wholeWindow) {
    // What lies beyond the last whole logical pixel stays black.
    const int cw = width * k, ch = height * k;
    XSetForeground(b->display, b->gc, b->depth == 32 ? 0xFF000000ul : 0ul);
    if (windowWidth > cw) XFillRectangle(b->display, b->window, b->gc, cw, 0, windowWidth - cw, windowHeight);
    if (windowHeight > ch) XFillRectangle(b->display, b->window, b->gc, 0, ch, cw, windowHeight - ch);
  }
  XFlush(b->display);
  return true;
}

#else

uloX11Bands* ULO_X11BandsOpen(SDL_Window*, bool) { return nullptr; }
void ULO_X11BandsClose(uloX11Bands*) {}
bool ULO_X11BandsShow(uloX11Bands*, const uint32_t*, int, int, int, SDL_Rect, bool, int, int) { return false; }

#endif
