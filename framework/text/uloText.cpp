#include "framework/text/uloText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/platform/uloSys.h"

uloText::uloText() { grow(kInitialCapacity); }

uloText::uloText(const char* text) : uloText() { set(text); }

uloText::uloText(const uloText& other) : uloText() { set(other.buffer); }

uloText& uloText::operator=(const uloText& other) {
  if (this != &other) set(other.buffer);
  return *this;
}

uloText::~uloText() { ULO_DisposePtrT(&buffer); }

uloText& uloText::grow(int32_t size) {
  if (size <= capacity_) return *this;
  char* fresh = nullptr;
  if (!ULO_NewPtrT(&fresh, size)) return *this;
  if (buffer) {
    memcpy(fresh, buffer, capacity_);
    ULO_DisposePtrT(&buffer);
  } else {
    fresh[0] = 0;
  }
  buffer = fresh;
  capacity_ = size;
  return *this;
}

void uloText::append(const char* bytes, int32_t n) {
  if (!buffer || n <= 0) return;
  const int32_t have = len();
  if (int64_t(have) + n + 1 > INT32_MAX) n = INT32_MAX - 1 - have;
  if (have + n + 1 > capacity_) {
    // Grow geometrically so that adding piece by piece stays linear.
    int64_t want = std::max<int64_t>(int64_t(have) + n + 1, int64_t(capacity_) * 2);
    if (want > INT32_MAX) want = INT32_MAX;
    grow(static_cast<int32_t>(want));
    if (have + n + 1 > capacity_) grow(have + n + 1);
  }
  if (have + n + 1 > capacity_) n = capacity_ - 1 - have;
  if (n > 0) memmove(buffer + have, bytes, n);
  buffer[have + (n > 0 ? n : 0)] = 0;
}

uloText& uloText::set(const char* text) {
  if (!buffer) return *this;
  if (!text || text == buffer) {
    if (!text) buffer[0] = 0;
    return *this;
  }
  // The source may lie inside this buffer (a field of itself, say).
  const size_t n = strlen(text);
  if (text > buffer && text < buffer + capacity_) {
    memmove(buffer, text, n + 1);
    return *this;
  }
  buffer[0] = 0;
  append(text, static_cast<int32_t>(std::min<size_t>(n, INT32_MAX - 1)));
  return *this;
}

uloText& uloText::set(short value) {
  if (buffer) buffer[0] = 0;
  return addS(value);
}
uloText& uloText::set(long value) {
  if (buffer) buffer[0] = 0;
  return addL(value);
}
uloText& uloText::set(float value) {
  if (buffer) buffer[0] = 0;
  return addF(value);
}

uloText& uloText::setChar(char c) {
  if (buffer) buffer[0] = 0;
  return addChar(c);
}

uloText& uloText::addChar(char c) {
  append(&c, 1);
  return *this;
}

uloText& uloText::setRaw(int32_t length, const void* bytes) {
  if (buffer) buffer[0] = 0;
  return addRaw(length, bytes);
}

uloText& uloText::addRaw(int32_t length, const void* bytes) {
  if (!bytes || length <= 0) return *this;
  append(static_cast<const char*>(bytes), length);
  return *this;
}

uloText& uloText::add(const char* text) {
  if (text) append(text, static_cast<int32_t>(std::min<size_t>(strlen(text), INT32_MAX - 1)));
  return *this;
}

uloText& uloText::addS(short value) { return addL(value); }

uloText& uloText::addL(long value) {
  char tmp[32];
  snprintf(tmp, sizeof tmp, "%ld", value);
  return add(tmp);
}

uloText& uloText::addF(float value) {
  char tmp[64];
  const int n = snprintf(tmp, sizeof tmp, "%f", double(value));
  if (n >= 0 && n < int(sizeof tmp)) return add(tmp);
  // Very large values need more room than the usual case.
  std::string big(size_t(n) + 1, '\0');
  snprintf(&big[0], big.size(), "%f", double(value));
  return add(big.c_str());
}

uloText& uloText::addChecked(const char* format, ArgKind kind, const char* text, long integer, double real) {
  if (!format) return *this;
  // Rebuild the format with the one conversion in the form its argument
  // needs; anything unexpected makes the format plain text.
  std::string rebuilt;
  int conversions = 0;
  bool valid = true;
  char conversion = 0;
  for (const char* p = format; *p && valid; p++) {
    if (*p != '%') {
      rebuilt += *p;
      continue;
    }
    if (p[1] == '%') {
      rebuilt += "%%";
      p++;
      continue;
    }
    std::string piece = "%";
    const char* q = p + 1;
    while (*q && strchr("-+ #0", *q)) piece += *q++;
    int digits = 0;
    while (isdigit(static_cast<unsigned char>(*q))) piece += *q++, digits++;
    if (*q == '.') {
      piece += *q++;
      int precision = 0;
      while (isdigit(static_cast<unsigned char>(*q))) piece += *q++, precision++;
      digits = std::max(digits, precision);
    }
    // Widths beyond three digits are not texts anyone means to print.
    if (digits > 3) {
      valid = false;
      break;
    }
    while (*q && strchr("hlLqjzt", *q)) q++;
    conversion = *q;
    const bool ok = (kind == ArgKind::text && conversion == 's') ||
                    (kind == ArgKind::integer && conversion && strchr("diuoxXc", conversion)) ||
                    (kind == ArgKind::real && conversion && strchr("fFeEgGaA", conversion));
    if (!ok || ++conversions > 1) {
      valid = false;
      break;
    }
    if (kind == ArgKind::integer && conversion != 'c') piece += 'l';
    piece += conversion;
    rebuilt += piece;
    p = q;
  }
  if (!valid) return add(format);

  auto print = [&](char* out, size_t size) -> int {
    if (conversions == 0) return snprintf(out, size, rebuilt.c_str(), 0);
    switch (kind) {
      case ArgKind::text: return snprintf(out, size, rebuilt.c_str(), text);
      case ArgKind::integer:
        return conversion == 'c' ? snprintf(out, size, rebuilt.c_str(), int(integer))
                                 : snprintf(out, size, rebuilt.c_str(), integer);
      case ArgKind::real: return snprintf(out, size, rebuilt.c_str(), real);
    }
    return -1;
  };
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
  const int n = print(nullptr, 0);
  if (n <= 0) return *this;
  std::string out(size_t(n) + 1, '\0');
  print(&out[0], out.size());
#pragma GCC diagnostic pop
  append(out.data(), n);
  return *this;
}

uloText& uloText::addfmt(const char* format, const char* text) {
  if (!text) return *this;
  return addChecked(format, ArgKind::text, text, 0, 0);
}
uloText& uloText::addfmtS(const char* format, short value) {
  return addChecked(format, ArgKind::integer, nullptr, value, 0);
}
uloText& uloText::addfmtL(const char* format, long value) {
  return addChecked(format, ArgKind::integer, nullptr, value, 0);
}
uloText& uloText::addfmtF(const char* format, float value) {
  return addChecked(format, ArgKind::real, nullptr, 0, value);
}

uloText uloText::middle(int32_t start, int32_t count) const {
  uloText out;
  const int32_t n = len();
  if (start < 0) start = 0;
  if (start >= n || count <= 0) return out;
  out.addRaw(std::min(count, n - start), buffer + start);
  return out;
}

bool uloText::isEqual(const char* text) const {
  if (!buffer) return !text || !*text;
  return strcmp(buffer, text ? text : "") == 0;
}

int32_t uloText::len() const {
  if (!buffer) return 0;
  const void* end = memchr(buffer, 0, capacity_);
  return end ? static_cast<int32_t>(static_cast<const char*>(end) - buffer) : 0;
}

long uloText::toLong() const {
  if (!buffer) return 0;
  errno = 0;
  return strtol(buffer, nullptr, 10);
}

bool uloText::fieldRange(int16_t index, char separator, int32_t* start, int32_t* end) const {
  const int32_t n = len();
  if (n == 0 || index < 0) return false;
  int32_t p = 0;
  for (int16_t k = 0;; k++) {
    *start = p;
    while (p < n && buffer[p] != separator) p++;
    *end = p;
    if (k == index) return true;
    while (p < n && buffer[p] == separator) p++;
    if (p >= n) return false;
  }
}

int16_t uloText::itemsCount(char separator) const {
  const int32_t n = len();
  if (n == 0) return 0;
  int32_t count = 1;
  int32_t p = 0;
  while (p < n && buffer[p] != separator) p++;
  while (p < n) {
    while (p < n && buffer[p] == separator) p++;
    if (p >= n) break;
    count++;
    while (p < n && buffer[p] != separator) p++;
  }
  return static_cast<int16_t>(std::min<int32_t>(count, INT16_MAX));
}

uloText uloText::items(int16_t first, int16_t count, char separator) const {
  uloText out;
  int32_t s = 0, e = 0, s2 = 0, e2 = 0;
  if (count <= 0 || !fieldRange(first, separator, &s, &e)) return out;
  // The last field asked for, or the last there is.
  const int32_t last = int32_t(first) + count - 1;
  for (int32_t k = first + 1; k <= last && k <= INT16_MAX; k++) {
    if (!fieldRange(static_cast<int16_t>(k), separator, &s2, &e2)) break;
    e = e2;
  }
  out.addRaw(e - s, buffer + s);
  return out;
}

bool uloText::similar(const char* text) const {
  if (!text || !buffer) return true;
  const char* a = buffer;
  const char* b = text;
  for (; *a && *b; a++, b++) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return *a == *b;
}
