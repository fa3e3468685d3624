// Turning pictures into casts and storing them in a container.
//
// A cast is stored as one "MPIX" header, the picture as "PX16" (5-5-5,
// big-endian, rows top to bottom) and, when the picture has transparent
// or partly transparent pixels, a "PXMK" mask (0 opaque ... 255
// transparent). No 8-bit copy is stored, so every reader takes the 16-bit
// picture.
//
// Pictures found by name. Some casts are looked up by a name rather than
// by id (the load panels' "Lim_<collection>", "Sim_<folder>" and the
// pictures named in their text lists). A cast has a name when the
// container holds a "CNAM" item with the cast's id; its data is the name's
// Latin-1 bytes, without terminator. To find a cast by name, walk the
// "CNAM" items in table order and take the first whose name equals the
// wanted one, letters compared without regard to case (collection names
// come from song descriptors written by hand); the item's id is the cast
// id. Named casts use ids 800-899.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/skingen/skinPaint.h"

class UloResFile;

namespace skin {

constexpr int32_t kFirstGeneratedCast = 1000;
constexpr int32_t kFirstNamedCast = 800;

int32_t FourCC(const char* s);
extern const int32_t kCastNameType;  // "CNAM"

// The cast id of the cast named `name` in `res`, or -1 (the rule above).
int32_t CastIdForName(UloResFile* res, const char* name);

class CastStore {
 public:
  explicit CastStore(int32_t firstId = kFirstGeneratedCast) : next_(firstId) {}
  // A new cast for the picture, or the existing one when an identical
  // picture was added before.
  int32_t add(const Picture& picture);
  // A cast with a fixed id (the font, the start-up and information pictures).
  void addFixed(int32_t id, const Picture& picture);
  void setName(int32_t id, const std::string& name) { names_[id] = name; }
  size_t count() const { return entries_.size(); }
  // Container items the store will write.
  int itemCount() const;
  bool write(UloResFile& res) const;

 private:
  struct Entry {
    int32_t id;
    Picture picture;
    bool mask;
  };
  int32_t next_;
  std::vector<Entry> entries_;
  std::map<std::string, int32_t> byContent_;
  std::map<int32_t, std::string> names_;
};

}  // namespace skin
