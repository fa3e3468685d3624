// uloText: a growable NUL-terminated character string with the formatting,
// field-splitting and comparison operations that song descriptors, help
// texts and localised messages are read with.
//
// Any thread may use its own uloText objects; there is no shared state.
//
// Nothing throws. Every setter and adder returns the text itself; when
// memory runs out the text keeps what fitted (never more than its capacity).
// Formats handed to the addfmt family may come from skin resources, so they
// are checked: a format with one conversion of the argument's kind (plus
// any "%%") is printed with the value, any other format is appended as
// plain text.
#pragma once
#include <cstdint>

class uloText {
 public:
  static constexpr int32_t kInitialCapacity = 256;

  uloText();
  explicit uloText(const char* text);
  uloText(const uloText& other);
  uloText& operator=(const uloText& other);
  uloText& operator=(const char* text) { return set(text); }
  virtual ~uloText();

  // Capacity becomes at least size bytes; never shrinks.
  uloText& grow(int32_t size);

  // Null gives the empty text.
  uloText& set(const char* text);
  uloText& set(short value);
  uloText& set(int value) { return set(static_cast<long>(value)); }
  uloText& set(long value);
  uloText& set(float value);
  uloText& set(const uloText& other) { return set(other.buffer); }
  uloText& setChar(char c);
  uloText& addChar(char c);
  // length bytes, which need not be terminated.
  uloText& setRaw(int32_t length, const void* bytes);
  uloText& addRaw(int32_t length, const void* bytes);
  uloText& add(const char* text);
  uloText& addS(short value);
  uloText& addL(long value);
  uloText& addF(float value);
  uloText& add(const uloText& other) { return add(other.buffer); }
  uloText& addfmt(const char* format, const char* text);
  uloText& addfmtS(const char* format, short value);
  uloText& addfmtL(const char* format, long value);
  uloText& addfmtF(const char* format, float value);
  uloText& addfmt(const char* format, const uloText& text) { return addfmt(format, text.buffer); }

  // At most count characters from start (0-based); empty beyond the end.
  uloText middle(int32_t start, int32_t count) const;

  bool isEqual(const char* text) const;
  bool isEqual(const uloText& other) const { return isEqual(other.buffer); }
  bool operator==(const uloText& other) const { return isEqual(other); }
  bool operator==(const char* text) const { return isEqual(text); }
  int32_t len() const;
  long toLong() const;
  short toShort() const { return static_cast<short>(toLong()); }

  // Fields are maximal runs of non-separator characters; a run of several
  // separators counts as one, and a separator at the very start gives an
  // empty first field. The empty text has no fields.
  int16_t itemsCount(char separator) const;
  // Fields first .. first + count - 1 with the separators between them.
  uloText items(int16_t first, int16_t count, char separator) const;
  uloText item(int16_t index, char separator) const { return items(index, 1, separator); }
  // Equal except for the case of A-Z; a null text is similar to anything.
  bool similar(const char* text) const;
  bool similar(const uloText& other) const { return similar(other.buffer); }

  const char* c_str() const { return buffer; }
  char* data() { return buffer; }
  int32_t capacity() const { return capacity_; }

 protected:
  char* buffer = nullptr;
  int32_t capacity_ = 0;

 private:
  enum class ArgKind { text, integer, real };
  // Appends n bytes, growing as needed (cut to what fits if growing fails).
  void append(const char* bytes, int32_t n);
  bool fieldRange(int16_t index, char separator, int32_t* start, int32_t* end) const;
  uloText& addChecked(const char* format, ArgKind kind, const char* text, long integer, double real);
};
