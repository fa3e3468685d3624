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
    // Only the line and its end were added, before an ENDCOMMAND: line.
    const size_t at = text.find(line);
    check(at != std::string::npos);
    check(text.size() == bytes.size() + line.size() + 1 || text.size() == bytes.size() + line.size() + 2);
    check(text.compare(0, at, bytes, 0, at) == 0);
    const size_t rest = at + text.size() - bytes.size();
    check(text.compare(rest, std::string::npos, bytes, at, std::string::npos) == 0);
    check(text.find("ENDCOMMAND:", rest) != std::string::npos);
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
