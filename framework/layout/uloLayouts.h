// UloLayout: the stored placement of up to 100 items of a panel ("LAYA"
// item of the skin). For each item it says which casts it shows in which
// state, where it is anchored on the panel's rectangle, whether it stretches
// with it, its auxiliary values (control kind and per-control settings) and
// its display state. Panels attach a layout, create their controls from it
// and, when they move or the window grows, change layoutRect and call
// RecalcAll.
//
// User-interface thread only.
//
// A missing record, or one of a size other than 11648 (100 items) or 5848
// (50 items) bytes, gives a layout with no items. The stored count is kept
// within the slots the record holds; anchor, self-anchor and stretch codes
// that name no snap position are placed as top-left (without stretching).
// Item and picture numbers out of range are ignored by every operation
// (null bitmaps, 0 values).
#pragma once
#include <cstdint>

#include "framework/casts/uloCasts.h"
#include "framework/geometry/uloBaseClasses.h"

constexpr int kLayoutMaxItems = 100;
constexpr int kLayoutPictures = 10;
constexpr int kLayoutAuxValues = 20;
constexpr int32_t kLayoutHeaderSize = 48;
constexpr int32_t kLayoutItemSize = 116;
constexpr int32_t kLayoutRecordSize = kLayoutHeaderSize + kLayoutItemSize * kLayoutMaxItems;  // 11648
constexpr int32_t kLayoutShortRecordSize = kLayoutHeaderSize + kLayoutItemSize * 50;          // 5848

extern const int32_t uloLayoutType;  // "LAYA"

// Display states.
enum : int16_t { uloItemHidden = 0, uloItemShown = 1, uloItemClickable = 2 };

// One stored item, in host order.
struct layoutItemDataRec {
  int16_t state = 0;
  uloPoint offset;
  uint8_t reserved0[2] = {};
  int32_t baseCastId = 0;  // its cast's size is the item's size
  int32_t castIds[kLayoutPictures] = {};
  int16_t value52 = 0;  // kept, not interpreted
  int16_t selfAnchor = 0;
  int16_t anchor = 0;  // mod 16: snap on the layout; div 16: stretch (0 none)
  uint8_t reserved1[10] = {};
  int16_t auxValues[kLayoutAuxValues] = {};  // 0 control kind, 7 help number, 9 background item
  uloPoint size;                             // width 0: the base cast's size
  uint8_t reserved2[4] = {};
};

struct layoutDataRec {
  uint8_t reserved0[6] = {};
  uloRect design;
  uint8_t reserved1[32] = {};
  int16_t count = 0;
  layoutItemDataRec items[kLayoutMaxItems];
};

// Computed per item, never stored.
struct layoutItemWorkRec {
  uloPoint position;     // top-left of the current picture
  uloRect frame;         // the item's area, for hit testing
  uloRect pictureRect;   // where the current picture lies
  int16_t castIndex[kLayoutPictures] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  int16_t picture = 0;   // current picture index 0-9
  int16_t currentCast = -1;
};

// Field-by-field conversion of the stored record. FromBytes reads `length`
// bytes (the record's item slots beyond them stay default); ToBytes writes
// the full 11648-byte record, as the skin generator stores it.
void ULO_LayoutFromBytes(const uint8_t* bytes, int32_t length, layoutDataRec* rec);
void ULO_LayoutToBytes(const layoutDataRec& rec, uint8_t* bytes);

class UloLayout {
 public:
  UloLayout();
  ~UloLayout();
  UloLayout(const UloLayout&) = delete;
  UloLayout& operator=(const UloLayout&) = delete;

  // Reads record `id` from the cast list's container.
  void Set(UloCasts* castList, int32_t id);
  // Resolves and loads the casts, places the layout at its design rectangle.
  void Load();
  // Stored bytes to the host-order record; the count in effect follows.
  void PlatformConvert(const uint8_t* bytes, int32_t length);
  void RecalcAll();
  void RecalcItem(int16_t item);
  void ItemUseIndex(int16_t item, int16_t picture);
  void DrawItem(int16_t item);
  uloOffmap* GetItemImage(int16_t item, int16_t picture) const;
  uloOffmap* GetItemMask(int16_t item, int16_t picture) const;
  int16_t itemAuxVal(int16_t item, int16_t k) const;

  UloResFile* resFile = nullptr;
  UloCasts* casts = nullptr;
  uloRect layoutRect;  // where the layout lies now; starts as the design rectangle
  layoutDataRec data;
  layoutItemWorkRec work[kLayoutMaxItems];
  int16_t itemsCount = 0;

 private:
  UloOneCast* CastAt(int16_t index) const;
  bool ValidItem(int16_t item) const { return item >= 0 && item < itemsCount; }
};
