// UloResFile: one resource container file (".xrs", also the preferences
// file). It holds many independent items keyed by (four-character type,
// 32-bit id); the skin, the help texts and the preferences all live in such
// files. The class keeps the item directory in memory while the file is
// open, reads and writes single items, appends new or grown items at the end
// of the data area and writes the directory back on Close. It knows nothing
// of what the items mean.
//
// On disk, big-endian throughout: an 8-byte header (version, maxItems,
// itemsCount, reserved), maxItems directory entries of 16 bytes (id, type,
// length, offset), then the data area at 8 + 16 * maxItems. A new container
// has kResDefaultMaxItems slots; when they are all taken the directory
// doubles (up to kResLargestMaxItems, the most the 16-bit header field can
// say) and the items it would cover move to the end of the data area, so
// adding items only fails at that ceiling. Readers take maxItems from the
// header, so containers with any directory size open alike.
//
// User-interface thread only: there is no lock, and even lookups change the
// object (currentElem remembers the last hit).
//
// Every operation that can fail returns false (0) and never throws; counts
// and lengths come back as 0 when the container is closed or the item is
// missing, GetItemIndexID as -1 for a missing index. Containers are outside
// input: a file whose header or directory does not fit is refused by Open,
// and an entry whose data would lie outside the file is reported as present
// but cannot be loaded (its length reads as 0), so nothing is ever read from
// outside the file. A container opened read-only is never written.
#pragma once
#include <cstdint>

#include "core/files/uloFiles.h"
#include "framework/res/uloSwap.h"

struct resHeaderRec {
  int16_t version = 1;
  int16_t maxItems = 0;
  int16_t itemsCount = 0;
  int16_t reserved = 0;
};

struct resElemRec {
  int32_t id = 0;
  int32_t type = 0;
  int32_t length = 0;
  int32_t offset = 0;
};

constexpr int32_t kResHeaderSize = 8;
constexpr int32_t kResElemSize = 16;
constexpr int16_t kResDefaultMaxItems = 1000;
constexpr int16_t kResLargestMaxItems = 32767;

class UloResFile {
 public:
  UloResFile();
  ~UloResFile();
  UloResFile(const UloResFile&) = delete;
  UloResFile& operator=(const UloResFile&) = delete;

  // A name longer than 254 characters is refused (Create and Open then fail)
  // rather than cut, so that a long name can never reach another file.
  void SetWorkName(const char* name);
  bool Create();
  bool Open();
  bool CreateOrOpen();
  bool Close();

  bool SaveData(const void* data, int32_t length, int32_t type, int32_t id);
  bool LoadData(void* buffer, int32_t length, int32_t type, int32_t id);
  // *block receives a ULO_NewPtr block of the item's length (null on
  // failure); the caller frees it with ULO_DisposePtr.
  bool GetData(void** block, int32_t type, int32_t id);
  template <typename T>
  bool GetDataT(T** block, int32_t type, int32_t id) {
    void* p = nullptr;
    bool ok = GetData(&p, type, id);
    *block = static_cast<T*>(p);
    return ok;
  }
  bool IsDataAvailable(int32_t type, int32_t id);
  bool IsDataLenAvailable(int32_t length, int32_t type, int32_t id);
  int16_t GetItemsCount(int32_t type) const;
  int32_t GetItemIndexID(int32_t type, int32_t index) const;
  int32_t GetDataLen(int32_t type, int32_t id);
  // Directory entries whose data does not lie wholly inside the file: a
  // truncated or damaged container has some (0 when closed).
  int32_t DamagedItemsCount() const;

  // Public so that callers can choose read-only access before Open and ask
  // whether a container is open.
  uint8_t readOnly = 0;
  char workName[255];
  uint8_t workNameSet = 0;
  uint8_t isOpen = 0;

 private:
  // The directory entry in host order plus what Open learnt about it.
  struct Elem {
    resElemRec rec;
    bool usable;  // offset and length lie inside the data area
  };

  void DefaultHeader();
  bool LoadHeader(int32_t fileLength);
  bool SaveHeader();
  bool CreateElemsTable();
  void DisposeElemsTable();
  bool LoadElemsTable(int32_t fileLength);
  bool SaveElemsTable();
  // Doubles the directory when every slot is taken; false at the ceiling or
  // when moving the covered items fails (nothing changed then).
  bool GrowElemsTable();
  void RetrieveEndOfFilePos();
  // Closes the file after a refused open without cutting it short.
  void AbandonFile();
  bool Lookup(int32_t type, int32_t id);
  int32_t DataStart() const { return kResHeaderSize + kResElemSize * maxItems; }

  Elem* elems = nullptr;
  resHeaderRec header;
  int32_t endOfFilePos = 0;
  uloFileRec file;
  int32_t currentElem = -1;
  int16_t maxItems = 0;
  int16_t itemsCount = 0;
  uint8_t modified = 0;
};
