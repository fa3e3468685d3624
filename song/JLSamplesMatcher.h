// Finds a loop file in a song folder whose name matches a descriptor's loop
// name loosely: ASCII letter case is ignored and an extension on either side
// is allowed (bass01 finds BASS01.WAV). Song loading asks it only when
// neither the exact name nor the name with ".wav" exists.
//
// The folder is listed once (readNames); any number of questions follow.
// Only the first 512 names are kept. Names are kept whole (up to 255
// bytes), so long loop names are found too.
//
// User-interface thread (it uses the program's one folder listing). A
// folder that cannot be listed gives count 0 and no matches.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/files/uloPath.h"

class jlSamplesMatcher : public uloFolderList {
 public:
  static constexpr int kMaxNames = 512;
  static constexpr int kNameSize = 256;

  jlSamplesMatcher() = default;
  explicit jlSamplesMatcher(const char* folder) { set(folder); }

  void readNames();
  // On a match, overwrites `name` with the stored file name and returns
  // true. A stored name that does not fit into nameSize is not a match.
  bool findSample(char* name, size_t nameSize) const;
  static bool similar(const char* a, const char* b);

  char names[kMaxNames][kNameSize];
  int16_t count = 0;
};
