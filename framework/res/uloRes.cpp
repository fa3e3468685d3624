#include "framework/res/uloRes.h"

#include <algorithm>
#include <cstring>

#include "core/files/uloPathNames.h"
#include "framework/platform/uloSys.h"

namespace {

// Scratch block for one directory read or write; freed on scope exit.
struct ScratchBlock {
  uint8_t* p = nullptr;
  explicit ScratchBlock(int32_t size) { ULO_NewPtrT(&p, size > 0 ? size : 1); }
  ~ScratchBlock() {
    if (p) ULO_DisposePtrT(&p);
  }
};

}  // namespace

UloResFile::UloResFile() { workName[0] = 0; }

UloResFile::~UloResFile() { Close(); }

void UloResFile::SetWorkName(const char* name) {
  workName[0] = 0;
  workNameSet = 0;
  if (!name || strlen(name) >= sizeof workName) return;
  ULO_StrCopy(workName, sizeof workName, name);
  workNameSet = 1;
}

void UloResFile::DefaultHeader() {
  maxItems = kResDefaultMaxItems;
  itemsCount = 0;
  header = resHeaderRec();
  endOfFilePos = DataStart();
  modified = 1;
}

bool UloResFile::LoadHeader(int32_t fileLength) {
  modified = 0;
  uint8_t raw[kResHeaderSize];
  if (!ULO_FileSetPos(&file, 0) || !ULO_FileRead(&file, raw, sizeof raw)) return false;
  header.version = ULO_GetBE16(raw);
  header.maxItems = ULO_GetBE16(raw + 2);
  header.itemsCount = ULO_GetBE16(raw + 4);
  header.reserved = ULO_GetBE16(raw + 6);
  // The directory must be one that a later Close can write back and that
  // lies wholly inside the file; anything else is not a container we made.
  if (header.maxItems <= 0 || header.itemsCount < 0 || header.itemsCount > header.maxItems)
    return false;
  if (int64_t(kResHeaderSize) + int64_t(kResElemSize) * header.maxItems > fileLength) return false;
  maxItems = header.maxItems;
  itemsCount = header.itemsCount;
  return true;
}

bool UloResFile::SaveHeader() {
  header.version = 1;
  header.maxItems = maxItems;
  header.itemsCount = itemsCount;
  uint8_t raw[kResHeaderSize];
  ULO_PutBE16(raw, header.version);
  ULO_PutBE16(raw + 2, header.maxItems);
  ULO_PutBE16(raw + 4, header.itemsCount);
  ULO_PutBE16(raw + 6, header.reserved);
  return ULO_FileSetPos(&file, 0) && ULO_FileWrite(&file, raw, sizeof raw);
}

bool UloResFile::CreateElemsTable() {
  DisposeElemsTable();
  if (!ULO_NewPtrT(&elems, int32_t(sizeof(Elem)) * maxItems)) return false;
  for (int32_t i = 0; i < maxItems; i++) elems[i] = Elem{};
  return true;
}

void UloResFile::DisposeElemsTable() {
  if (elems) ULO_DisposePtrT(&elems);
}

bool UloResFile::LoadElemsTable(int32_t fileLength) {
  const int32_t bytes = kResElemSize * itemsCount;
  ScratchBlock raw(bytes);
  if (!raw.p) return false;
  if (!ULO_FileSetPos(&file, kResHeaderSize) || !ULO_FileRead(&file, raw.p, bytes)) return false;
  const int32_t dataStart = DataStart();
  for (int32_t i = 0; i < itemsCount; i++) {
    const uint8_t* e = raw.p + kResElemSize * i;
    resElemRec& r = elems[i].rec;
    r.id = ULO_GetBE32(e);
    r.type = ULO_GetBE32(e + 4);
    r.length = ULO_GetBE32(e + 8);
    r.offset = ULO_GetBE32(e + 12);
    elems[i].usable = r.offset >= dataStart && r.length >= 0 &&
                      int64_t(r.offset) + int64_t(r.length) <= int64_t(fileLength);
  }
  RetrieveEndOfFilePos();
  return true;
}

bool UloResFile::SaveElemsTable() {
  const int32_t bytes = kResElemSize * maxItems;
  ScratchBlock raw(bytes);
  if (!raw.p) return false;
  // Unused slots are undefined by the format; zeros keep rebuilt files
  // reproducible.
  memset(raw.p, 0, bytes);
  for (int32_t i = 0; i < itemsCount; i++) {
    uint8_t* e = raw.p + kResElemSize * i;
    const resElemRec& r = elems[i].rec;
    ULO_PutBE32(e, r.id);
    ULO_PutBE32(e + 4, r.type);
    ULO_PutBE32(e + 8, r.length);
    ULO_PutBE32(e + 12, r.offset);
  }
  return ULO_FileSetPos(&file, kResHeaderSize) && ULO_FileWrite(&file, raw.p, bytes);
}

void UloResFile::RetrieveEndOfFilePos() {
  // Unusable entries are left out: a bogus offset must not make Close extend
  // the file to it.
  endOfFilePos = DataStart();
  for (int32_t i = 0; i < itemsCount; i++) {
    if (!elems[i].usable) continue;
    const int32_t end = elems[i].rec.offset + elems[i].rec.length;
    if (end > endOfFilePos) endOfFilePos = end;
  }
}

void UloResFile::AbandonFile() {
  // Closing a writable file cuts it at the current position: move to the
  // end first so that a refused file stays exactly as it was.
  if (file.writable) ULO_FileSetPos(&file, ULO_FileGetLength(&file));
  ULO_FileClose(&file);
  DisposeElemsTable();
  isOpen = 0;
  modified = 0;
  currentElem = -1;
}

bool UloResFile::Create() {
  if (!workNameSet) return false;
  if (isOpen) Close();
  if (ULO_FileExists(workName)) return false;
  if (!ULO_FileCreateAndOpen(workName, &file)) return false;
  isOpen = 1;
  currentElem = -1;
  DefaultHeader();
  if (!CreateElemsTable() || !SaveHeader() || !SaveElemsTable()) {
    // Leave no half-written container behind under a name we just took.
    ULO_FileClose(&file);
    ULO_FileDelete(workName);
    DisposeElemsTable();
    isOpen = 0;
    modified = 0;
    return false;
  }
  return true;
}

bool UloResFile::Open() {
  if (!workNameSet) return false;
  if (isOpen) Close();
  bool opened = readOnly ? ULO_FileOpenReadOnly(workName, &file) : ULO_FileOpen(workName, &file);
  if (!opened) return false;
  isOpen = 1;
  currentElem = -1;
  const int32_t fileLength = ULO_FileGetLength(&file);
  DefaultHeader();
  if (fileLength < 0 || !LoadHeader(fileLength) || !CreateElemsTable() || !LoadElemsTable(fileLength)) {
    AbandonFile();
    return false;
  }
  return true;
}

bool UloResFile::CreateOrOpen() { return Open() || Create(); }

bool UloResFile::Close() {
  if (!isOpen) return false;
  bool ok = true;
  if (modified && file.writable) {
    ok = SaveHeader() && SaveElemsTable();
  }
  modified = 0;
  DisposeElemsTable();
  if (!ULO_FileSetPos(&file, endOfFilePos)) {
    // Without the position the close would cut the file anywhere.
    if (file.writable) ULO_FileSetPos(&file, ULO_FileGetLength(&file));
    ok = false;
  }
  if (!ULO_FileClose(&file)) ok = false;
  isOpen = 0;
  currentElem = -1;
  return ok;
}

bool UloResFile::Lookup(int32_t type, int32_t id) {
  if (!isOpen) return false;
  if (currentElem >= 0 && currentElem < itemsCount) {
    const resElemRec& r = elems[currentElem].rec;
    if (r.type == type && r.id == id) return true;
  }
  for (int32_t i = 0; i < itemsCount; i++) {
    const resElemRec& r = elems[i].rec;
    if (r.type == type && r.id == id) {
      currentElem = i;
      return true;
    }
  }
  currentElem = -1;
  return false;
}

bool UloResFile::IsDataAvailable(int32_t type, int32_t id) { return Lookup(type, id); }

bool UloResFile::IsDataLenAvailable(int32_t length, int32_t type, int32_t id) {
  if (!Lookup(type, id)) return false;
  const Elem& e = elems[currentElem];
  return e.usable && e.rec.length == length;
}

int32_t UloResFile::GetDataLen(int32_t type, int32_t id) {
  if (!Lookup(type, id)) return 0;
  const Elem& e = elems[currentElem];
  return e.usable ? e.rec.length : 0;
}

int32_t UloResFile::DamagedItemsCount() const {
  if (!isOpen) return 0;
  int32_t n = 0;
  for (int32_t i = 0; i < itemsCount; i++)
    if (!elems[i].usable) n++;
  return n;
}

int16_t UloResFile::GetItemsCount(int32_t type) const {
  if (!isOpen) return 0;
  int16_t n = 0;
  for (int32_t i = 0; i < itemsCount; i++)
    if (elems[i].rec.type == type) n++;
  return n;
}

int32_t UloResFile::GetItemIndexID(int32_t type, int32_t index) const {
  if (!isOpen) return 0;
  if (index < 0) return -1;
  for (int32_t i = 0; i < itemsCount; i++) {
    if (elems[i].rec.type != type) continue;
    if (index-- == 0) return elems[i].rec.id;
  }
  return -1;
}

bool UloResFile::GrowElemsTable() {
  if (maxItems >= kResLargestMaxItems) return false;
  const int16_t grown = int16_t(std::min<int32_t>(int32_t(maxItems) * 2, kResLargestMaxItems));
  const int32_t newDataStart = kResHeaderSize + kResElemSize * grown;
  Elem* bigger = nullptr;
  if (!ULO_NewPtrT(&bigger, int32_t(sizeof(Elem)) * grown)) return false;
  for (int32_t i = 0; i < grown; i++) bigger[i] = i < itemsCount ? elems[i] : Elem{};

  // The larger directory covers the start of the data area: every item that
  // begins there is copied behind everything first. The old bytes stay where
  // they were until Close writes the new directory over them, so a failure
  // on the way leaves the container exactly as it was.
  int32_t end = std::max(endOfFilePos, newDataStart);
  bool ok = true;
  for (int32_t i = 0; ok && i < itemsCount; i++) {
    Elem& e = bigger[i];
    if (!e.usable || e.rec.offset >= newDataStart) continue;
    const int32_t length = e.rec.length;
    if (int64_t(end) + length > INT32_MAX) {
      ok = false;
      break;
    }
    ScratchBlock copy(length);
    ok = length == 0 || (copy.p && ULO_FileSetPos(&file, e.rec.offset) && ULO_FileRead(&file, copy.p, length) &&
                         ULO_FileSetPos(&file, end) && ULO_FileWrite(&file, copy.p, length));
    e.rec.offset = end;
    end += length;
  }
  if (!ok) {
    ULO_DisposePtrT(&bigger);
    return false;
  }
  DisposeElemsTable();
  elems = bigger;
  maxItems = grown;
  endOfFilePos = end;
  modified = 1;
  return true;
}

bool UloResFile::SaveData(const void* data, int32_t length, int32_t type, int32_t id) {
  if (!isOpen || !file.writable) return false;
  if (length < 0 || (!data && length > 0)) return false;
  const bool exists = Lookup(type, id);
  if (!exists && itemsCount >= maxItems && !GrowElemsTable()) return false;

  Elem* e;
  Elem before{};
  if (exists) {
    e = &elems[currentElem];
    before = *e;
    // An item that fits where it is stays there; a grown one (or one whose
    // stored place was never valid) moves to the end of the data area.
    if (!e->usable || e->rec.length < length) {
      if (int64_t(endOfFilePos) + length > INT32_MAX) return false;
      e->rec.offset = endOfFilePos;
      e->rec.length = 0;
      e->usable = true;
    }
  } else {
    if (int64_t(endOfFilePos) + length > INT32_MAX) return false;
    currentElem = itemsCount++;
    e = &elems[currentElem];
    e->rec.id = id;
    e->rec.type = type;
    e->rec.offset = endOfFilePos;
    e->rec.length = 0;
    e->usable = true;
  }
  modified = 1;

  if (!ULO_FileSetPos(&file, e->rec.offset) || !ULO_FileWrite(&file, data, length)) {
    // Never keep a directory entry that points at bytes we failed to write:
    // a new item disappears, a moved one keeps its old, intact place.
    if (exists) {
      *e = before;
    } else {
      itemsCount--;
      currentElem = -1;
    }
    return false;
  }
  e->rec.length = length;
  if (e->rec.offset + length > endOfFilePos) endOfFilePos = e->rec.offset + length;
  return true;
}

bool UloResFile::LoadData(void* buffer, int32_t length, int32_t type, int32_t id) {
  if (!IsDataLenAvailable(length, type, id)) return false;
  if (!buffer && length > 0) return false;
  const resElemRec& r = elems[currentElem].rec;
  return ULO_FileSetPos(&file, r.offset) && ULO_FileRead(&file, buffer, length);
}

bool UloResFile::GetData(void** block, int32_t type, int32_t id) {
  if (!block) return false;
  *block = nullptr;
  if (!Lookup(type, id) || !elems[currentElem].usable) return false;
  const int32_t length = elems[currentElem].rec.length;
  // A block even for an empty item, so success always hands over a pointer.
  if (!ULO_NewPtr(block, length > 0 ? length : 1)) {
    *block = nullptr;
    return false;
  }
  if (!LoadData(*block, length, type, id)) {
    ULO_DisposePtr(block);
    *block = nullptr;
    return false;
  }
  return true;
}
