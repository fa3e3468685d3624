// Outside bytes the song maker handles itself: a song descriptor a loop is
// added to, and file names made into shown names and descriptor words.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "song/JLSongMaker.h"

namespace {

void check(bool ok) {
  if (!ok) abort();
}

bool wordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string text = bytes;
  const std::string line = "bass05 100 63 8 new";
  if (JL_InsertTrackLine(&text, line)) {
    // Only the line and its end were added, before an ENDCOMMAND: line. The
    // bytes may hold the same line already, so every place it stands is a
    // candidate for the inserted one.
    check(text.size() == bytes.size() + line.size() + 1 || text.size() == bytes.size() + line.size() + 2);
    const size_t added = text.size() - bytes.size();
    bool found = false;
    for (size_t at = text.find(line); at != std::string::npos && !found; at = text.find(line, at + 1)) {
      const size_t rest = at + added;
      found = at <= bytes.size() && text.compare(0, at, bytes, 0, at) == 0 &&
              text.compare(rest, std::string::npos, bytes, at, std::string::npos) == 0 &&
              text.find("ENDCOMMAND:", rest) != std::string::npos;
    }
    check(found);
  } else {
    check(text == bytes);
  }
  const std::string word = JL_DescriptorWord(bytes, 29, "loops");
  check(!word.empty() && word.size() <= 29);
  for (char c : word) check(wordChar(c));
  const std::string shown = JL_ShownName(bytes);
  for (unsigned char c : shown) check(c >= 0x20 && c != 0x7F);
  return 0;
}
