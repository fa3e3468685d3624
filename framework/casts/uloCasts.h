// Casts: the skin's images. A cast is one picture, optionally with a mask,
// stored in a resource container under one id in up to three colour depths
// plus an 8-bit mask. UloCasts lists every cast of one container (one
// "MPIX" header each); UloOneCast reads its header at once and its pixels
// only when first used, into off-screen bitmaps that users then copy,
// mask or blend into panels.
//
// User-interface thread only.
//
// Failures never throw: LoadDepth returns false, MPixIDtoIndex -1, and a
// cast that cannot be loaded simply has no image (users test imageLoaded or
// the bitmap's allocated flag). Stored headers are outside input: a cast
// whose header is missing, short, or describes a bitmap that cannot exist
// (negative sizes, rows shorter than the width, more than 64 MiB) offers no
// pixel items, and a pixel item longer than its bitmap is refused.
#pragma once
#include <cstdint>

#include "framework/geometry/uloBaseClasses.h"
#include "framework/offmap/uloOffmap.h"
#include "framework/res/uloRes.h"

class UloCasts;

constexpr int32_t kCastHeaderSize = 104;
constexpr int kCastDepths = 4;  // PX08, PX16, PX32, PXMK
// A 104-byte header must not be able to claim gigabytes: a bitmap beyond
// this size (a 4096 x 4096 picture at 32 bits) is treated as absent.
constexpr int64_t kCastMaxBitmapBytes = 64 << 20;

// Item types by depth index; the index is also the uloOffmap depth code.
extern const int32_t uloCastPixelTypes[kCastDepths];
extern const int32_t uloCastHeaderType;   // "MPIX"
extern const int32_t uloCastPaletteType;  // "CTP8"

// One depth's record inside the header. Only rowBytes is interpreted; the
// other values are kept (in host order) so that a header written back is
// the header read.
struct castDepthRec {
  int16_t rowBytes = 0;
  int16_t reserved16 = 0;
  int32_t reserved32 = 0;
  uint8_t reserved[8] = {};
};

// The "MPIX" record, in host order.
struct castHeaderRec {
  int16_t width = 0;
  int16_t height = 0;
  uint8_t reserved0[4] = {};
  castDepthRec depths[kCastDepths];
  uint8_t reserved1[32] = {};
};

// Field-by-field conversion between the stored big-endian bytes and the
// record; the skin generator writes headers with the second.
void ULO_CastHeaderFromBytes(const uint8_t* bytes, castHeaderRec* header);
void ULO_CastHeaderToBytes(const castHeaderRec& header, uint8_t* bytes);

class UloOneCast {
 public:
  UloOneCast();
  ~UloOneCast();
  UloOneCast(const UloOneCast&) = delete;
  UloOneCast& operator=(const UloOneCast&) = delete;

  // Reads the header and notes which pixel items exist; loads no pixels.
  void Prepare();
  // Stored header bytes to host order.
  void PlatformConvert(const uint8_t* bytes);
  // One pixel item into the image (0-2) or the mask (3). True at once when
  // that bitmap is already loaded, whichever depth filled it.
  bool LoadDepth(int16_t depthIndex);
  // The mask if any, then the first image depth that loads (8, 16, 32 bits).
  void LoadAvailable();
  // LoadAvailable the first time only: a cast whose pixels cannot be read
  // is not read again on every use.
  void EnsureLoaded();
  void Unload();
  // Straight to the window; a debug message when no image is loaded.
  void Draw(int16_t x, int16_t y);
  void DrawZone(const uloRect& zone, int16_t x, int16_t y);

  int32_t id = 0;
  UloCasts* owner = nullptr;
  uint8_t available[kCastDepths] = {};
  castHeaderRec header;
  uloOffmap image;
  uloOffmap mask;
  uint8_t imageLoaded = 0;
  uint8_t maskLoaded = 0;
  uint8_t loadTried = 0;
  uloRect bounds;
  uloPoint size;

 private:
  bool HeaderDescribesBitmap(int16_t depthIndex) const;
};

class UloCasts {
 public:
  UloCasts();
  ~UloCasts();
  UloCasts(const UloCasts&) = delete;
  UloCasts& operator=(const UloCasts&) = delete;

  // Opens (read/write) a container owned by this list.
  bool OpenResFile(const char* name);
  // One cast per "MPIX" item, in the container's table order. Parsing again
  // first drops the casts of the previous parse.
  void ParseResources();
  // Index of the first cast with that id, or -1.
  int16_t MPixIDtoIndex(int32_t id) const;
  // The cast with that id, or null (convenience over the two steps above).
  UloOneCast* CastOfID(int32_t id) const;
  // Destroys every cast, and the container when the list owns it.
  void UnloadResources();

  int16_t count = 0;
  UloOneCast** casts = nullptr;
  // Set directly to attach a container the list does not own.
  UloResFile* resFile = nullptr;
  uint8_t ownsResFile = 0;

 private:
  void DisposeCasts();
};
