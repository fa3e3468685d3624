// Atoms files: a 4-byte magic, then tagged chunks (tag, signed length,
// data), numbers 32-bit in the file's byte order. Little-endian files start
// with 67 73 46 41, big-endian ones with 41 46 73 67; only atom headers and
// single-number atoms are converted, blocks are taken byte for byte.
//
// uloAtomsFile reads one file from start to end; uloAtomsWriter builds a
// little-endian file in memory and saves it through a temporary file and a
// rename, so a failed save leaves an existing file untouched.
//
// Any single thread per object. Failures are results only: a read that
// fails (missing file, wrong magic, other tag, negative length, truncated
// data) returns false; after a negative length or a truncated header every
// further read fails too.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/files/uloFiles.h"

constexpr uint32_t kUloAtomsMagic = 0x41467367;

constexpr uint32_t ULO_AtomTag(const char (&s)[5]) {
  return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
         uint32_t(uint8_t(s[3]));
}

class uloAtomsFile {
 public:
  uloAtomsFile() = default;
  ~uloAtomsFile() { close(); }
  uloAtomsFile(const uloAtomsFile&) = delete;
  uloAtomsFile& operator=(const uloAtomsFile&) = delete;

  bool openForRead(const char* path);
  // Reads the next atom if it carries `tag`: exactly `size` bytes go to
  // `buffer` (excess skipped; a shorter atom is read whole, the rest of the
  // buffer cleared when zeroFill is set). Another tag is skipped and gives
  // false; the next read looks at the atom after it.
  bool read(uint32_t tag, int32_t size, void* buffer);
  bool read(uint32_t tag, int32_t* value);
  void close();

  uloFileRec file;
  uint8_t swapped = 0;
  uint8_t zeroFill = 1;

 private:
  bool broken_ = false;
};

class uloAtomsWriter {
 public:
  uloAtomsWriter();
  void add(uint32_t tag, const void* data, int32_t size);
  void add(uint32_t tag, int32_t value);
  const std::string& bytes() const { return bytes_; }
  // Writes the file at an internal path: temporary file beside it, then a
  // rename over the old one. False (old file untouched) on any failure.
  bool save(const char* path) const;

 private:
  std::string bytes_;
};
