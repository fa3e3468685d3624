#include "framework/layout/uloLayouts.h"

#include <algorithm>
#include <cstring>

#include "framework/platform/uloSys.h"

const int32_t uloLayoutType = ULO_FourCC("LAYA");

namespace {

// The last snap code a layout may name (the centre).
constexpr int kLastSnap = uloSnapCenter;

uloPoint getPoint(const uint8_t* b) { return uloPoint(ULO_GetBE16(b), ULO_GetBE16(b + 2)); }
void putPoint(uint8_t* b, const uloPoint& p) {
  ULO_PutBE16(b, p.x);
  ULO_PutBE16(b + 2, p.y);
}

void itemFromBytes(const uint8_t* b, layoutItemDataRec* it) {
  it->state = ULO_GetBE16(b);
  it->offset = getPoint(b + 2);
  memcpy(it->reserved0, b + 6, 2);
  it->baseCastId = ULO_GetBE32(b + 8);
  for (int j = 0; j < kLayoutPictures; j++) it->castIds[j] = ULO_GetBE32(b + 12 + 4 * j);
  it->value52 = ULO_GetBE16(b + 52);
  it->selfAnchor = ULO_GetBE16(b + 54);
  it->anchor = ULO_GetBE16(b + 56);
  memcpy(it->reserved1, b + 58, 10);
  for (int k = 0; k < kLayoutAuxValues; k++) it->auxValues[k] = ULO_GetBE16(b + 68 + 2 * k);
  it->size = getPoint(b + 108);
  memcpy(it->reserved2, b + 112, 4);
}

void itemToBytes(const layoutItemDataRec& it, uint8_t* b) {
  ULO_PutBE16(b, it.state);
  putPoint(b + 2, it.offset);
  memcpy(b + 6, it.reserved0, 2);
  ULO_PutBE32(b + 8, it.baseCastId);
  for (int j = 0; j < kLayoutPictures; j++) ULO_PutBE32(b + 12 + 4 * j, it.castIds[j]);
  ULO_PutBE16(b + 52, it.value52);
  ULO_PutBE16(b + 54, it.selfAnchor);
  ULO_PutBE16(b + 56, it.anchor);
  memcpy(b + 58, it.reserved1, 10);
  for (int k = 0; k < kLayoutAuxValues; k++) ULO_PutBE16(b + 68 + 2 * k, it.auxValues[k]);
  putPoint(b + 108, it.size);
  memcpy(b + 112, it.reserved2, 4);
}

int snapOrTopLeft(int code) { return code >= 0 && code <= kLastSnap ? code : uloSnapTopLeft; }

}  // namespace

void ULO_LayoutFromBytes(const uint8_t* b, int32_t length, layoutDataRec* rec) {
  *rec = layoutDataRec();
  if (length < kLayoutHeaderSize) return;
  memcpy(rec->reserved0, b, 6);
  rec->design.set(ULO_GetBE16(b + 6), ULO_GetBE16(b + 8), ULO_GetBE16(b + 10), ULO_GetBE16(b + 12));
  memcpy(rec->reserved1, b + 14, 32);
  rec->count = ULO_GetBE16(b + 46);
  for (int i = 0; i < kLayoutMaxItems; i++) {
    const int32_t at = kLayoutHeaderSize + kLayoutItemSize * i;
    if (at + kLayoutItemSize > length) break;
    itemFromBytes(b + at, &rec->items[i]);
  }
}

void ULO_LayoutToBytes(const layoutDataRec& rec, uint8_t* b) {
  memcpy(b, rec.reserved0, 6);
  ULO_PutBE16(b + 6, rec.design.left);
  ULO_PutBE16(b + 8, rec.design.top);
  ULO_PutBE16(b + 10, rec.design.right);
  ULO_PutBE16(b + 12, rec.design.bottom);
  memcpy(b + 14, rec.reserved1, 32);
  ULO_PutBE16(b + 46, rec.count);
  for (int i = 0; i < kLayoutMaxItems; i++) itemToBytes(rec.items[i], b + kLayoutHeaderSize + kLayoutItemSize * i);
}

UloLayout::UloLayout() = default;
UloLayout::~UloLayout() = default;

void UloLayout::PlatformConvert(const uint8_t* bytes, int32_t length) {
  ULO_LayoutFromBytes(bytes, length, &data);
  const int32_t slots = length < kLayoutHeaderSize ? 0 : (length - kLayoutHeaderSize) / kLayoutItemSize;
  // The count is trusted only as far as the record has items for it.
  itemsCount = static_cast<int16_t>(std::clamp<int32_t>(data.count, 0, std::min(slots, kLayoutMaxItems)));
}

void UloLayout::Set(UloCasts* castList, int32_t id) {
  if (!castList) return;
  casts = castList;
  resFile = castList->resFile;
  data = layoutDataRec();
  for (auto& w : work) w = layoutItemWorkRec();
  itemsCount = 0;
  if (!resFile) return;
  const int32_t length = resFile->GetDataLen(uloLayoutType, id);
  if (length != kLayoutRecordSize && length != kLayoutShortRecordSize) return;
  uint8_t* raw = nullptr;
  if (!ULO_NewPtrT(&raw, length)) return;
  if (resFile->LoadData(raw, length, uloLayoutType, id)) PlatformConvert(raw, length);
  ULO_DisposePtrT(&raw);
}

UloOneCast* UloLayout::CastAt(int16_t index) const {
  if (!casts || index < 0 || index >= casts->count || !casts->casts) return nullptr;
  return casts->casts[index];
}

void UloLayout::Load() {
  for (int16_t i = 0; i < itemsCount; i++) {
    layoutItemWorkRec& w = work[i];
    for (int j = 0; j < kLayoutPictures; j++) {
      // Only the header: pixels are read when a picture is first asked for
      // (a panel shown, a colour variant chosen), so unused layouts and
      // the other colour variants cost no memory.
      w.castIndex[j] = casts ? casts->MPixIDtoIndex(data.items[i].castIds[j]) : int16_t(-1);
      if (!CastAt(w.castIndex[j])) w.castIndex[j] = -1;
    }
    w.picture = 0;
    w.currentCast = w.castIndex[0];
  }
  layoutRect = data.design;
  RecalcAll();
}

void UloLayout::RecalcAll() {
  for (int16_t i = 0; i < itemsCount; i++) RecalcItem(i);
}

void UloLayout::RecalcItem(int16_t item) {
  if (!ValidItem(item)) return;
  const layoutItemDataRec& it = data.items[item];
  layoutItemWorkRec& w = work[item];
  const uloRect& L = layoutRect;
  const uloRect& D = data.design;
  const uint16_t code = static_cast<uint16_t>(it.anchor);
  const int a = snapOrTopLeft(code % 16);
  int s = code / 16;
  if (s > kLastSnap) s = 0;
  const int e = snapOrTopLeft(it.selfAnchor);

  uloPoint size = it.size;
  if (size.x == 0) {
    if (UloOneCast* base = casts ? casts->CastOfID(it.baseCastId) : nullptr) size = base->size;
  }

  uloRect frame(0, 0, size.x, size.y);
  frame.offset(L.snap(a));
  frame.selfSnap(e);
  frame.offset(it.offset);
  if (s != 0) {
    const uloRect G(L.left, L.top, L.right - D.right, L.bottom - D.bottom);
    const uloPoint p = G.snap(s);
    frame.right = static_cast<int16_t>(frame.right + p.x);
    frame.bottom = static_cast<int16_t>(frame.bottom + p.y);
  }
  w.frame = frame;

  UloOneCast* current = CastAt(w.currentCast);
  if (!current) {
    w.pictureRect = frame;
    w.position = frame.topleft();
    return;
  }
  uloRect pic(0, 0, current->size.x, current->size.y);
  uloPoint pos = it.offset;
  pos += L.snap(a);
  pos -= pic.snap(e);
  pic.offset(pos);
  w.pictureRect = pic;
  w.position = pos;
}

void UloLayout::ItemUseIndex(int16_t item, int16_t picture) {
  if (!ValidItem(item) || picture < 0 || picture >= kLayoutPictures) return;
  work[item].picture = picture;
  work[item].currentCast = work[item].castIndex[picture];
}

void UloLayout::DrawItem(int16_t item) {
  if (!ValidItem(item)) return;
  if (UloOneCast* c = CastAt(work[item].currentCast)) {
    c->EnsureLoaded();
    c->Draw(work[item].position.x, work[item].position.y);
  }
}

uloOffmap* UloLayout::GetItemImage(int16_t item, int16_t picture) const {
  if (!ValidItem(item) || picture < 0 || picture >= kLayoutPictures) return nullptr;
  UloOneCast* c = CastAt(work[item].castIndex[picture]);
  if (c) c->EnsureLoaded();
  return c && c->imageLoaded ? &c->image : nullptr;
}

uloOffmap* UloLayout::GetItemMask(int16_t item, int16_t picture) const {
  if (!ValidItem(item) || picture < 0 || picture >= kLayoutPictures) return nullptr;
  UloOneCast* c = CastAt(work[item].castIndex[picture]);
  if (c) c->EnsureLoaded();
  return c && c->maskLoaded ? &c->mask : nullptr;
}

int16_t UloLayout::itemAuxVal(int16_t item, int16_t k) const {
  if (!ValidItem(item) || k < 0 || k >= kLayoutAuxValues) return 0;
  return data.items[item].auxValues[k];
}
