// uloTextFile: a uloText that loads itself from, and saves itself to, a
// file (internal ':' path) or an item of a resource container.
//
// Any thread, on its own objects; the container calls follow UloResFile's
// rule (user-interface thread).
//
// Every operation returns true on success. On failure the text keeps its
// previous content (its capacity may have grown); file errors leave their
// errno in uloLastOsError. Loaded bytes are always terminated here, so an
// item or file without a terminator is read within its length.
#pragma once
#include <cstdint>

#include "framework/text/uloText.h"

class UloResFile;
class uloPath;

class uloTextFile : public uloText {
 public:
  using uloText::operator=;

  bool load(const char* path);
  bool load(const uloPath& path);
  // Replaces the file with the text (no terminator).
  bool save(const char* path) const;
  bool save(const uloPath& path) const;
  bool loadResource(UloResFile* res, int32_t type, int32_t id);
  bool saveResource(UloResFile* res, int32_t type, int32_t id) const;
};
