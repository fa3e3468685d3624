// Resource containers arrive from outside (skins, preference files), so any
// bytes must be refused or read within the file. Each input is written to a
// file and exercised twice: read-only, where every directory entry is looked
// up and loaded and the file must come out byte-for-byte unchanged, and
// read-write, where an item is saved and must load back after a reopen.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/files/uloPathNames.h"
#include "framework/platform/uloSys.h"
#include "framework/res/uloRes.h"

namespace {

struct Paths {
  std::string sys, ulo;
  Paths() {
    char tmpl[] = "/tmp/fuzzcontainer.XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir) abort();
    sys = std::string(dir) + "/c.xrs";
    char out[kUloPathMax];
    if (!ULO_SystemPathToUloPath(sys.c_str(), out, sizeof out)) abort();
    ulo = out;
  }
};

std::vector<uint8_t> readFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return bytes;
  uint8_t buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  fclose(f);
  return bytes;
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  if (size && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
}

#define check(ok)                                                  \
  do {                                                             \
    if (!(ok)) {                                                   \
      fprintf(stderr, "container check failed at line %d\n", __LINE__); \
      abort();                                                     \
    }                                                              \
  } while (0)

// Every entry the header claims, as far as the input holds it.
struct RawEntry {
  int32_t id, type, length, offset;
};
std::vector<RawEntry> claimedEntries(const uint8_t* data, size_t size) {
  std::vector<RawEntry> out;
  if (size < 8) return out;
  int itemsCount = ULO_GetBE16(data + 4);
  for (int i = 0; i < itemsCount && 8 + 16 * size_t(i + 1) <= size; i++) {
    const uint8_t* e = data + 8 + 16 * i;
    out.push_back({ULO_GetBE32(e), ULO_GetBE32(e + 4), ULO_GetBE32(e + 8), ULO_GetBE32(e + 12)});
  }
  return out;
}

void readEverything(UloResFile& r, const uint8_t* data, size_t size) {
  for (const RawEntry& e : claimedEntries(data, size)) {
    const int16_t n = r.GetItemsCount(e.type);
    check(n >= 1);
    for (int k = 0; k < n; k++) r.GetItemIndexID(e.type, k);  // any id, even -1, is legal
    check(r.GetItemIndexID(e.type, n) == -1);
    check(r.IsDataAvailable(e.type, e.id));
    const int32_t len = r.GetDataLen(e.type, e.id);
    check(len >= 0 && size_t(len) <= size);
    void* block = nullptr;
    if (r.GetData(&block, e.type, e.id)) {
      // What comes back is exactly the bytes of the file at some place
      // inside it: the first entry with this key.
      bool found = false;
      for (const RawEntry& f : claimedEntries(data, size))
        if (f.type == e.type && f.id == e.id) {
          found = f.offset >= 0 && f.length == len && size_t(f.offset) + size_t(len) <= size &&
                  memcmp(block, data + f.offset, len) == 0;
          break;
        }
      check(found);
      std::vector<uint8_t> again(len + 1);
      check(r.LoadData(again.data(), len, e.type, e.id));
      check(memcmp(again.data(), block, len) == 0);
      check(!r.LoadData(again.data(), len + 1, e.type, e.id));
      ULO_DisposePtr(&block);
    } else {
      check(block == nullptr);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Paths paths;
  writeFile(paths.sys, data, size);

  {
    UloResFile r;
    r.SetWorkName(paths.ulo.c_str());
    r.readOnly = 1;
    if (r.Open()) {
      readEverything(r, data, size);
      check(!r.SaveData("x", 1, ULO_FourCC("FUZZ"), 1));
      r.Close();
    }
  }
  std::vector<uint8_t> after = readFile(paths.sys);
  check(after.size() == size && (size == 0 || memcmp(after.data(), data, size) == 0));

  {
    UloResFile r;
    r.SetWorkName(paths.ulo.c_str());
    if (!r.Open()) {
      // Refused for writing too, and left exactly as it was.
      after = readFile(paths.sys);
      check(after.size() == size && (size == 0 || memcmp(after.data(), data, size) == 0));
      return 0;
    }
    readEverything(r, data, size);
    // Grow the first claimed entry: moving an item must stay sound.
    std::vector<RawEntry> claimed = claimedEntries(data, size);
    if (!claimed.empty()) {
      std::vector<uint8_t> grown(r.GetDataLen(claimed[0].type, claimed[0].id) + 7, 0xAB);
      r.SaveData(grown.data(), int32_t(grown.size()), claimed[0].type, claimed[0].id);
    }
    static const char kItem[] = "fuzzed item";
    const bool saved = r.SaveData(kItem, sizeof kItem, ULO_FourCC("FUZZ"), 1);
    r.Close();
    r.readOnly = 1;
    check(r.Open());
    if (saved) {
      char back[sizeof kItem];
      check(r.LoadData(back, sizeof back, ULO_FourCC("FUZZ"), 1));
      check(memcmp(back, kItem, sizeof kItem) == 0);
    }
    r.Close();
  }
  return 0;
}
