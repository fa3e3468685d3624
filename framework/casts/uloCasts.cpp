#include "framework/casts/uloCasts.h"

#include <cstring>
#include <new>

#include "framework/platform/uloSys.h"

const int32_t uloCastPixelTypes[kCastDepths] = {ULO_FourCC("PX08"), ULO_FourCC("PX16"),
                                                ULO_FourCC("PX32"), ULO_FourCC("PXMK")};
const int32_t uloCastHeaderType = ULO_FourCC("MPIX");
const int32_t uloCastPaletteType = ULO_FourCC("CTP8");

void ULO_CastHeaderFromBytes(const uint8_t* b, castHeaderRec* h) {
  h->width = ULO_GetBE16(b);
  h->height = ULO_GetBE16(b + 2);
  memcpy(h->reserved0, b + 4, 4);
  for (int d = 0; d < kCastDepths; d++) {
    const uint8_t* r = b + 8 + 16 * d;
    castDepthRec& dr = h->depths[d];
    dr.rowBytes = ULO_GetBE16(r);
    dr.reserved16 = ULO_GetBE16(r + 2);
    dr.reserved32 = ULO_GetBE32(r + 4);
    memcpy(dr.reserved, r + 8, 8);
  }
  memcpy(h->reserved1, b + 72, 32);
}

void ULO_CastHeaderToBytes(const castHeaderRec& h, uint8_t* b) {
  ULO_PutBE16(b, h.width);
  ULO_PutBE16(b + 2, h.height);
  memcpy(b + 4, h.reserved0, 4);
  for (int d = 0; d < kCastDepths; d++) {
    uint8_t* r = b + 8 + 16 * d;
    const castDepthRec& dr = h.depths[d];
    ULO_PutBE16(r, dr.rowBytes);
    ULO_PutBE16(r + 2, dr.reserved16);
    ULO_PutBE32(r + 4, dr.reserved32);
    memcpy(r + 8, dr.reserved, 8);
  }
  memcpy(b + 72, h.reserved1, 32);
}

// ---------------------------------------------------------------- UloOneCast

UloOneCast::UloOneCast() = default;

UloOneCast::~UloOneCast() { Unload(); }

void UloOneCast::PlatformConvert(const uint8_t* bytes) { ULO_CastHeaderFromBytes(bytes, &header); }

// A header from a damaged or foreign skin must not lead to a bitmap whose
// rows overlap or whose size is negative; such depths are treated as absent.
bool UloOneCast::HeaderDescribesBitmap(int16_t d) const {
  if (header.width < 0 || header.height < 0) return false;
  const int32_t rowBytes = header.depths[d].rowBytes;
  return rowBytes >= int32_t(header.width) * uloOffmap::bytesPerPixel(d) &&
         rowBytes % uloOffmap::bytesPerPixel(d) == 0 && int64_t(rowBytes) * header.height <= kCastMaxBitmapBytes;
}

void UloOneCast::Prepare() {
  header = castHeaderRec();
  memset(available, 0, sizeof available);
  UloResFile* res = owner ? owner->resFile : nullptr;
  uint8_t raw[kCastHeaderSize];
  // Without a full header there is no size to allocate against: the cast
  // stays empty rather than loading pixels into a guessed bitmap.
  if (res && res->LoadData(raw, kCastHeaderSize, uloCastHeaderType, id)) {
    PlatformConvert(raw);
    for (int16_t d = 0; d < kCastDepths; d++)
      available[d] = res->IsDataAvailable(uloCastPixelTypes[d], id) && HeaderDescribesBitmap(d);
  } else {
    header = castHeaderRec();
  }
  bounds.set(0, 0, header.width, header.height);
  size.set(header.width, header.height);
  imageLoaded = 0;
  maskLoaded = 0;
  loadTried = 0;
}

bool UloOneCast::LoadDepth(int16_t d) {
  if (d < 0 || d >= kCastDepths || !available[d]) return false;
  UloResFile* res = owner ? owner->resFile : nullptr;
  if (!res) return false;
  uloOffmap& target = d == uloDepthMask8 ? mask : image;
  uint8_t& loaded = d == uloDepthMask8 ? maskLoaded : imageLoaded;
  if (loaded) return true;

  const int32_t rowBytes = header.depths[d].rowBytes;
  const int32_t height = header.height;
  if (!target.allocate(d, header.width, height, rowBytes)) return false;

  const int32_t length = res->GetDataLen(uloCastPixelTypes[d], id);
  if (length > target.size || !res->LoadData(target.bits, length, uloCastPixelTypes[d], id)) {
    target.dispose();
    loaded = 0;
    return false;
  }
  // A short item leaves the last rows unwritten; they read as black rather
  // than as whatever the memory held.
  if (length < target.size) memset(target.bits + length, 0, target.size - length);

  uint8_t* p = target.bits;
  if (d == uloDepthDirect16) {
    for (int32_t i = 0; i + 1 < length; i += 2) {
      const uint8_t t = p[i];
      p[i] = p[i + 1];
      p[i + 1] = t;
    }
  } else if (d == uloDepthDirect32) {
    // Stored spare, red, green, blue; the bitmap wants blue, green, red.
    for (int32_t i = 0; i + 3 < length; i += 4) {
      const uint8_t red = p[i + 1];
      p[i] = p[i + 3];
      p[i + 1] = p[i + 2];
      p[i + 2] = red;
    }
  }

  // Stored top-down, kept bottom-up.
  if (height > 1 && rowBytes > 0) {
    uint8_t* row = nullptr;
    if (!ULO_NewPtrT(&row, rowBytes)) {
      target.dispose();
      return false;
    }
    for (int32_t i = 0; i < height / 2; i++) {
      uint8_t* a = p + i * rowBytes;
      uint8_t* b = p + (height - 1 - i) * rowBytes;
      memcpy(row, a, rowBytes);
      memcpy(a, b, rowBytes);
      memcpy(b, row, rowBytes);
    }
    ULO_DisposePtrT(&row);
  }

  // An indexed cast's palette is never read: indexed pictures are not
  // shown on this platform.
  loaded = 1;
  return true;
}

void UloOneCast::LoadAvailable() {
  loadTried = 1;
  LoadDepth(uloDepthMask8);
  if (LoadDepth(uloDepthIndexed8) || LoadDepth(uloDepthDirect16) || LoadDepth(uloDepthDirect32)) return;
  ULO_DebugMessage("No cast data available");
}

void UloOneCast::Unload() {
  image.dispose();
  mask.dispose();
  imageLoaded = 0;
  maskLoaded = 0;
  loadTried = 0;
}

void UloOneCast::EnsureLoaded() {
  if (!imageLoaded && !loadTried) LoadAvailable();
}

void UloOneCast::Draw(int16_t x, int16_t y) {
  if (!imageLoaded) {
    ULO_DebugMessage("Cant' draw image cast");
    return;
  }
  uloRect dst = bounds;
  dst.offset(x, y);
  image.draw(bounds, dst);
}

void UloOneCast::DrawZone(const uloRect& zone, int16_t x, int16_t y) {
  if (!imageLoaded) {
    ULO_DebugMessage("Cant' draw image cast");
    return;
  }
  image.draw(zone, uloRect(x, y, x + zone.width(), y + zone.height()));
}

// ------------------------------------------------------------------ UloCasts

UloCasts::UloCasts() = default;

UloCasts::~UloCasts() { UnloadResources(); }

bool UloCasts::OpenResFile(const char* name) {
  UnloadResources();
  resFile = new (std::nothrow) UloResFile;
  if (!resFile) return false;
  ownsResFile = 1;
  resFile->SetWorkName(name);
  return resFile->Open();
}

void UloCasts::ParseResources() {
  if (!resFile) return;
  DisposeCasts();
  const int16_t n = resFile->GetItemsCount(uloCastHeaderType);
  if (n <= 0) return;
  casts = new (std::nothrow) UloOneCast*[n];
  if (!casts) {
    ULO_DebugMessageNum("Couldn't alloc cast", 0);
    return;
  }
  count = n;
  for (int16_t i = 0; i < n; i++) {
    UloOneCast* c = new (std::nothrow) UloOneCast;
    casts[i] = c;
    if (!c) {
      ULO_DebugMessageNum("Couldn't alloc cast", i);
      continue;
    }
    c->owner = this;
    c->id = resFile->GetItemIndexID(uloCastHeaderType, i);
    c->Prepare();
  }
}

int16_t UloCasts::MPixIDtoIndex(int32_t id) const {
  if (!resFile || !casts) return -1;
  for (int16_t i = 0; i < count; i++)
    if (casts[i] && casts[i]->id == id) return i;
  return -1;
}

UloOneCast* UloCasts::CastOfID(int32_t id) const {
  const int16_t i = MPixIDtoIndex(id);
  return i < 0 ? nullptr : casts[i];
}

void UloCasts::DisposeCasts() {
  if (casts) {
    for (int16_t i = 0; i < count; i++) delete casts[i];
    delete[] casts;
  }
  casts = nullptr;
  count = 0;
}

void UloCasts::UnloadResources() {
  DisposeCasts();
  if (ownsResFile) {
    delete resFile;  // closes the file
    resFile = nullptr;
    ownsResFile = 0;
  }
}
