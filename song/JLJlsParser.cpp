#include "song/JLJlsParser.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "core/files/uloPathNames.h"

JLJlsParser::JLJlsParser() {
  line[0] = 0;
  file.handle = 0;
}

JLJlsParser::~JLJlsParser() { close(); }

bool JLJlsParser::open(const char* path) {
  close();
  return ULO_FileOpenReadOnly(path, &file);
}

bool JLJlsParser::openInFolder(const char* folder) {
  if (!folder || !ULO_ScanFileInFolder(folder)) return false;
  // Of several descriptors the first in name order (letter case ignored) is
  // taken, so every machine picks the same one whatever its listing order.
  char name[256], best[256] = "";
  bool isFolder = false;
  while (ULO_NextFileInFolder(name, sizeof name, &isFolder)) {
    if (isFolder || !ULO_File_IsKind(name, "jls") || strcmp(name, "info.jls") == 0) continue;
    if (!best[0] || strcasecmp(name, best) < 0 || (strcasecmp(name, best) == 0 && strcmp(name, best) < 0))
      ULO_StrCopy(best, sizeof best, name);
  }
  if (!best[0]) return false;
  char path[kUloPathMax];
  if (snprintf(path, sizeof path, "%s%s", folder, best) >= (int)sizeof path) return false;
  return open(path);
}

void JLJlsParser::openBuffer(const void* data, size_t size) {
  close();
  mem_ = static_cast<const uint8_t*>(data);
  memSize_ = data ? size : 0;
  if (!mem_) mem_ = reinterpret_cast<const uint8_t*>("");
}

void JLJlsParser::close() {
  if (file.handle) ULO_FileClose(&file);
  file.handle = 0;
  mem_ = nullptr;
  memSize_ = memPos_ = 0;
  bufLen_ = bufPos_ = 0;
  eof_ = false;
  firstLine_ = true;
  kept_ = false;
  line[0] = 0;
  pos = 0;
}

int JLJlsParser::nextByte() {
  if (mem_) return memPos_ < memSize_ ? mem_[memPos_++] : -1;
  if (bufPos_ >= bufLen_) {
    if (eof_ || !file.handle) return -1;
    int32_t got = 0;
    ULO_FileRead(&file, buf_, (int32_t)sizeof buf_, &got);
    // A short read means the end of the file (or an error: treated alike).
    if (got < (int32_t)sizeof buf_) eof_ = true;
    bufLen_ = got;
    bufPos_ = 0;
    if (got <= 0) return -1;
  }
  return buf_[bufPos_++];
}

bool JLJlsParser::next() {
  pos = 0;
  if (kept_) {
    kept_ = false;
    return isOpen();
  }
  line[0] = 0;
  if (!isOpen()) return false;
  int c = nextByte();
  if (c < 0) return false;
  int n = 0;
  for (; c >= 0; c = nextByte()) {
    if (c == '\n') break;
    if (c == '\r') {
      // CR LF is one line end; a lone CR ends the line by itself.
      int d = nextByte();
      if (d >= 0 && d != '\n') {
        if (mem_) --memPos_;
        else --bufPos_;
      }
      break;
    }
    // Overlong lines are cut; the rest of the line is dropped so that it can
    // never be taken for a line of its own.
    if (n < kLineSize - 1) line[n++] = (char)c;
  }
  line[n] = 0;
  // Editors on other systems may start the text with a byte-order mark; it
  // would hide the version marker.
  if (firstLine_ && n >= 3 && memcmp(line, "\xEF\xBB\xBF", 3) == 0) memmove(line, line + 3, (size_t)n - 2);
  firstLine_ = false;
  // A line feed left at the start of a line (the second half of a split
  // CR LF pair) is not part of the text.
  if (line[0] == '\n') memmove(line, line + 1, strlen(line));
  return true;
}

bool JLJlsParser::getStar() {
  if (pos >= 0 && pos < kLineSize && line[pos] == '*') {
    ++pos;
    return true;
  }
  return false;
}

bool JLJlsParser::getStr(char* out, size_t outSize) {
  size_t n = 0;
  size_t copied = 0;
  while (pos < kLineSize && line[pos] && line[pos] != ' ' && line[pos] != ';') {
    char c = line[pos++];
    if (c == '\n') continue;
    ++copied;
    if (out && n + 1 < outSize) out[n++] = c;
  }
  while (pos < kLineSize && line[pos] == ' ') ++pos;
  if (out && outSize) out[n] = 0;
  return copied > 0;
}

bool JLJlsParser::getText(char* out, size_t outSize) {
  size_t n = 0;
  size_t copied = 0;
  while (pos < kLineSize && line[pos] && line[pos] != ';') {
    char c = line[pos++];
    if (c == '\n') continue;
    ++copied;
    if (out && n + 1 < outSize) out[n++] = c;
  }
  if (out && outSize) out[n] = 0;
  return copied > 0;
}

namespace {

// The runtime's decimal conversion without its undefined overflow: values
// beyond 32 bits saturate.
int32_t decimal(const char* text) {
  errno = 0;
  long long v = strtoll(text, nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return (int32_t)v;
}

}  // namespace

bool JLJlsParser::getShort(int16_t* out) {
  char token[1024];
  if (!getStr(token, sizeof token)) return false;
  if (out) *out = (int16_t)decimal(token);
  return true;
}

bool JLJlsParser::getLong(int32_t* out) {
  char token[1024];
  if (!getStr(token, sizeof token)) return false;
  if (out) *out = decimal(token);
  return true;
}
