#include "framework/platform/uloQuickTime.h"

#include <SDL.h>
#include <fcntl.h>
#include <SDL_image.h>
#include <gif_lib.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <vector>

#include "core/files/uloFiles.h"
#include "core/files/uloPathNames.h"
#include "framework/offmap/uloOffmap.h"

namespace {

struct Preview {
  std::vector<int16_t> samples;  // interleaved
  int channels = 0;
  int rate = 0;
  std::atomic<size_t> position{0};
};

bool gAudioUp = false;
SDL_AudioDeviceID gDevice = 0;
Preview gPreview;

void SDLCALL feed(void* userdata, Uint8* stream, int len) {
  auto* p = static_cast<Preview*>(userdata);
  auto* out = reinterpret_cast<int16_t*>(stream);
  const size_t want = size_t(len) / sizeof(int16_t);
  const size_t total = p->samples.size();
  size_t pos = p->position.load(std::memory_order_relaxed);
  for (size_t i = 0; i < want;) {
    if (pos >= total) pos = 0;
    const size_t n = std::min(want - i, total - pos);
    std::copy_n(p->samples.data() + pos, n, out + i);
    i += n;
    pos += n;
  }
  p->position.store(pos, std::memory_order_relaxed);
}

bool decode(const char* systemPath, Preview& p) {
  SF_INFO info{};
  // Only a regular file: a FIFO in its place must not block the preview.
  const int fd = ULO_OpenRegularSystemFile(systemPath, O_RDONLY);
  SNDFILE* f = fd < 0 ? nullptr : sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
  if (!f) return false;
  bool ok = info.channels > 0 && info.samplerate > 0 && info.frames > 0;
  if (ok) {
    const sf_count_t maxFrames = sf_count_t(info.samplerate) * kPreviewSeconds;
    const sf_count_t frames = std::min<sf_count_t>(info.frames, maxFrames);
    std::vector<int16_t> all(size_t(frames) * size_t(info.channels));
    const sf_count_t got = sf_readf_short(f, all.data(), frames);
    ok = got > 0;
    if (ok) {
      // Two channels at most: a surround file previews its front pair.
      const int outCh = std::min(info.channels, 2);
      p.samples.resize(size_t(got) * size_t(outCh));
      for (sf_count_t i = 0; i < got; i++)
        for (int c = 0; c < outCh; c++) p.samples[size_t(i) * outCh + c] = all[size_t(i) * info.channels + c];
      p.channels = outCh;
      p.rate = info.samplerate;
    }
  }
  sf_close(f);
  return ok;
}

}  // namespace

bool uloQt_Init() {
  if (!gAudioUp) gAudioUp = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  return gAudioUp;
}

void uloQt_Exit() {
  uloQt_PlaySoundStop();
  if (gAudioUp) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  gAudioUp = false;
}

void uloQt_Idle() {
  if (gDevice && SDL_GetAudioDeviceStatus(gDevice) == SDL_AUDIO_STOPPED) uloQt_PlaySoundStop();
}

void uloQt_PlaySoundStop() {
  if (gDevice) SDL_CloseAudioDevice(gDevice);
  gDevice = 0;
  gPreview.samples.clear();
  gPreview.samples.shrink_to_fit();
  gPreview.channels = gPreview.rate = 0;
  gPreview.position = 0;
}

short uloQt_PlaySoundStart(const char* path) {
  uloQt_PlaySoundStop();
  if (!path || !uloQt_Init()) return 0;
  char sys[kUloPathMax];
  if (!ULO_UloPathToSystemPath(path, sys, sizeof sys)) return 0;
  if (!decode(sys, gPreview)) {
    uloQt_PlaySoundStop();
    return 0;
  }
  SDL_AudioSpec want{}, have{};
  want.freq = gPreview.rate;
  want.format = AUDIO_S16SYS;
  want.channels = Uint8(gPreview.channels);
  want.samples = 2048;
  want.callback = feed;
  want.userdata = &gPreview;
  // SDL converts rate and channels to what the device takes.
  gDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!gDevice) {
    uloQt_PlaySoundStop();
    return 0;
  }
  SDL_PauseAudioDevice(gDevice, 0);
  return 1;
}

bool uloQt_IsPlaying() { return gDevice != 0; }
int uloQt_PreviewRate() { return gDevice ? gPreview.rate : 0; }
int uloQt_PreviewChannels() { return gDevice ? gPreview.channels : 0; }

namespace {

// A picture's header may claim any size, and the decoder allocates that
// much before it finds the data missing: a 200-byte file could take
// gigabytes. Only the kinds song pictures come in are decoded, and only up
// to this many pixels (every frame of a GIF counted alone).
constexpr int64_t kMaxPicturePixels = int64_t(16) * 1024 * 1024;

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | uint32_t(p[1]); }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }
uint32_t be32(const uint8_t* p) { return be16(p) << 16 | be16(p + 2); }

bool readAt(SDL_RWops* rw, Sint64 at, void* out, size_t n) {
  return SDL_RWseek(rw, at, RW_SEEK_SET) == at && SDL_RWread(rw, out, 1, n) == n;
}

// Sizes are up to 32 bits each: divided rather than multiplied.
bool fits(int64_t w, int64_t h) { return w > 0 && h > 0 && w <= kMaxPicturePixels && h <= kMaxPicturePixels / w; }

// Every image descriptor of a GIF up to the first frame's data, and the
// logical screen.
bool gifFits(SDL_RWops* rw, const uint8_t* head) {
  if (!fits(le16(head + 6), le16(head + 8))) return false;
  Sint64 at = 13 + ((head[10] & 0x80) ? 3 * (2 << (head[10] & 7)) : 0);
  for (int blocks = 0; blocks < 4096; blocks++) {
    uint8_t b[10];
    if (!readAt(rw, at, b, 1)) return false;
    if (b[0] == 0x2C) {  // image descriptor: left, top, width, height
      return readAt(rw, at, b, 10) && fits(le16(b + 5), le16(b + 7));
    }
    if (b[0] != 0x21 || !readAt(rw, at, b, 2)) return false;  // only extensions come before
    at += 2;
    for (;;) {  // data sub-blocks up to the empty one
      if (!readAt(rw, at, b, 1)) return false;
      at += 1 + b[0];
      if (b[0] == 0) break;
    }
  }
  return false;
}

bool jpegFits(SDL_RWops* rw) {
  Sint64 at = 2;
  for (int segments = 0; segments < 4096; segments++) {
    uint8_t m[9];
    if (!readAt(rw, at, m, 4) || m[0] != 0xFF) return false;
    const uint8_t kind = m[1];
    if (kind == 0xFF) {  // fill byte
      at += 1;
      continue;
    }
    // Start of frame (not DHT C4, JPG C8, DAC CC): precision, height, width.
    if (kind >= 0xC0 && kind <= 0xCF && kind != 0xC4 && kind != 0xC8 && kind != 0xCC)
      return readAt(rw, at, m, 9) && fits(be16(m + 7), be16(m + 5));
    if (kind == 0xD9 || kind == 0xDA) return false;  // no frame before the data
    at += 2 + be16(m + 2);
  }
  return false;
}

// Every chunk of a PNG up to its end chunk lies inside the file: a chunk
// that claims more keeps the decoder checksumming for many seconds.
bool pngChunksFit(SDL_RWops* rw) {
  const Sint64 size = SDL_RWsize(rw);
  Sint64 at = 8;
  for (int chunks = 0; chunks < 100000; chunks++) {
    uint8_t c[8];
    if (!readAt(rw, at, c, 8)) return false;
    const Sint64 end = at + 12 + Sint64(be32(c));
    if (be32(c) > 0x7FFFFFFFu || end > size) return false;
    if (memcmp(c + 4, "IEND", 4) == 0) return true;
    at = end;
  }
  return false;
}

// GIFs are decoded with giflib rather than SDL_image's own GIF reader,
// which frees a wild pointer on some damaged files. The first frame is
// drawn onto the logical screen filled with its background colour; a
// transparent index shows its own colour, as pictures here have no alpha.
int gifRead(GifFileType* g, GifByteType* buf, int n) {
  return n <= 0 ? 0 : int(SDL_RWread(static_cast<SDL_RWops*>(g->UserData), buf, 1, size_t(n)));
}

SDL_Surface* decodeGif(SDL_RWops* rw) {
  if (SDL_RWseek(rw, 0, RW_SEEK_SET) != 0) return nullptr;
  int err = 0;
  GifFileType* g = DGifOpen(rw, gifRead, &err);
  if (!g) return nullptr;
  SDL_Surface* out = nullptr;
  for (int records = 0; records < 65536 && !out; records++) {
    GifRecordType type;
    if (DGifGetRecordType(g, &type) == GIF_ERROR || type == TERMINATE_RECORD_TYPE) break;
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(g, &code, &ext) == GIF_ERROR) break;
      bool bad = false;
      while (ext && !bad) bad = DGifGetExtensionNext(g, &ext) == GIF_ERROR;
      if (bad) break;
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(g) == GIF_ERROR) break;
    const GifImageDesc& d = g->Image;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : g->SColorMap;
    const int sw = g->SWidth > 0 ? g->SWidth : d.Width, sh = g->SHeight > 0 ? g->SHeight : d.Height;
    if (!map || !fits(d.Width, d.Height) || !fits(sw, sh)) break;
    std::vector<GifPixelType> px(size_t(d.Width) * size_t(d.Height));
    bool bad = false;
    if (d.Interlace) {
      static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4 && !bad; pass++)
        for (int y = kStart[pass]; y < d.Height && !bad; y += kStep[pass])
          bad = DGifGetLine(g, &px[size_t(y) * size_t(d.Width)], d.Width) == GIF_ERROR;
    } else {
      for (int y = 0; y < d.Height && !bad; y++) bad = DGifGetLine(g, &px[size_t(y) * size_t(d.Width)], d.Width) == GIF_ERROR;
    }
    if (bad) break;
    out = SDL_CreateRGBSurfaceWithFormat(0, sw, sh, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!out) break;
    uint32_t background = 0xFF000000u;
    if (g->SColorMap && g->SBackGroundColor < g->SColorMap->ColorCount) {
      const GifColorType& c = g->SColorMap->Colors[g->SBackGroundColor];
      background = 0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
    }
    SDL_FillRect(out, nullptr, background);
    for (int y = 0; y < d.Height; y++) {
      const int oy = d.Top + y;
      if (oy < 0 || oy >= sh) continue;
      auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(out->pixels) + size_t(oy) * size_t(out->pitch));
      for (int x = 0; x < d.Width; x++) {
        const int ox = d.Left + x;
        const int i = px[size_t(y) * size_t(d.Width) + size_t(x)];
        if (ox < 0 || ox >= sw) continue;
        if (i >= map->ColorCount) {
          row[ox] = 0xFF000000u;
          continue;
        }
        const GifColorType& c = map->Colors[i];
        row[ox] = 0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
      }
    }
  }
  DGifCloseFile(g, &err);
  return out;
}

// The decoder for the file at the stream's start ("GIF", "PNG", "BMP",
// "JPG"), or null for any other kind or a size out of bounds.
const char* pictureKind(SDL_RWops* rw) {
  uint8_t h[26] = {};
  const size_t got = SDL_RWread(rw, h, 1, sizeof h);
  const char* kind = nullptr;
  if (got >= 13 && (memcmp(h, "GIF87a", 6) == 0 || memcmp(h, "GIF89a", 6) == 0)) {
    kind = gifFits(rw, h) ? "GIF" : nullptr;
  } else if (got >= 24 && memcmp(h, "\x89PNG\r\n\x1a\n", 8) == 0 && memcmp(h + 12, "IHDR", 4) == 0) {
    kind = fits(be32(h + 16), be32(h + 20)) && pngChunksFit(rw) ? "PNG" : nullptr;
  } else if (got >= 26 && h[0] == 'B' && h[1] == 'M') {
    const bool os2 = le32(h + 14) == 12;
    const int64_t w = os2 ? le16(h + 18) : int32_t(le32(h + 18));
    int64_t hh = os2 ? le16(h + 20) : int32_t(le32(h + 22));
    if (hh < 0) hh = -hh;  // stored top row first
    kind = fits(w, hh) ? "BMP" : nullptr;
  } else if (got >= 4 && h[0] == 0xFF && h[1] == 0xD8) {
    kind = jpegFits(rw) ? "JPG" : nullptr;
  }
  return kind && SDL_RWseek(rw, 0, RW_SEEK_SET) == 0 ? kind : nullptr;
}

}  // namespace

short uloQt_imageToOffmap(const char* path, uloOffmap* bitmap) {
  if (!path || !bitmap || !bitmap->bits || bitmap->depth != uloDepthDirect16) return 0;
  const int w = bitmap->width(), h = bitmap->height();
  if (w <= 0 || h <= 0) return 0;
  char sys[kUloPathMax];
  if (!ULO_UloPathToSystemPath(path, sys, sizeof sys)) return 0;
  const int fd = ULO_OpenRegularSystemFile(sys, O_RDONLY);
  FILE* fp = fd < 0 ? nullptr : fdopen(fd, "rb");
  if (!fp) {
    if (fd >= 0) close(fd);
    return 0;
  }
  SDL_RWops* rw = SDL_RWFromFP(fp, SDL_TRUE);
  if (!rw) {
    fclose(fp);
    return 0;
  }
  const char* kind = pictureKind(rw);
  SDL_Surface* loaded = !kind ? nullptr : strcmp(kind, "GIF") == 0 ? decodeGif(rw) : IMG_LoadTyped_RW(rw, 0, kind);
  SDL_RWclose(rw);
  if (!loaded) return 0;
  SDL_Surface* rgb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(loaded);
  if (!rgb) return 0;
  SDL_Surface* scaled = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888);
  short ok = 0;
  if (scaled) {
    SDL_SetSurfaceBlendMode(rgb, SDL_BLENDMODE_NONE);
    const bool same = rgb->w == w && rgb->h == h;
    if ((same ? SDL_BlitSurface(rgb, nullptr, scaled, nullptr)
              : SDL_SoftStretchLinear(rgb, nullptr, scaled, nullptr)) == 0 ||
        (!same && SDL_BlitScaled(rgb, nullptr, scaled, nullptr) == 0)) {
      SDL_LockSurface(scaled);
      for (int y = 0; y < h; y++) {
        const auto* src = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(scaled->pixels) +
                                                            size_t(y) * size_t(scaled->pitch));
        auto* dst = reinterpret_cast<uint16_t*>(bitmap->rowAddress(y));
        for (int x = 0; x < w; x++) {
          const uint32_t p = src[x];
          dst[x] = uint16_t((((p >> 19) & 31) << 10) | (((p >> 11) & 31) << 5) | ((p >> 3) & 31));
        }
      }
      SDL_UnlockSurface(scaled);
      ok = 1;
    }
    SDL_FreeSurface(scaled);
  }
  SDL_FreeSurface(rgb);
  return ok;
}
