// Sound files written byte by byte, as other programs write them: any
// sample format, any chunks before the sound data, "fmt " anywhere before
// "data". Header-only so the song tests can use it too.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace loopfiles {

enum class Format { u8, s16, s24, s32, f32, f64 };

inline int bitsOf(Format f) {
  switch (f) {
    case Format::u8: return 8;
    case Format::s16: return 16;
    case Format::s24: return 24;
    case Format::s32: case Format::f32: return 32;
    case Format::f64: return 64;
  }
  return 16;
}

inline const char* formatName(Format f) {
  static const char* names[] = {"u8", "s16", "s24", "s32", "f32", "f64"};
  return names[int(f)];
}

inline bool isFloat(Format f) { return f == Format::f32 || f == Format::f64; }

inline void putLE(std::string& s, uint64_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) s.push_back(char((v >> (8 * k)) & 0xff));
}

// Integer samples, already in the format's range (u8 given as signed -128..127).
inline std::string encodeInts(Format f, const std::vector<int64_t>& v) {
  std::string s;
  for (int64_t x : v) {
    if (f == Format::u8)
      s.push_back(char(uint8_t(x + 128)));
    else
      putLE(s, uint64_t(x), bitsOf(f) / 8);
  }
  return s;
}

// Samples of full scale 1: floats as they are, integers scaled and rounded.
inline std::string encode(Format f, const std::vector<double>& v) {
  std::string s;
  if (isFloat(f)) {
    for (double x : v) {
      if (f == Format::f32) {
        const float y = float(x);
        uint32_t u;
        memcpy(&u, &y, 4);
        putLE(s, u, 4);
      } else {
        uint64_t u;
        memcpy(&u, &x, 8);
        putLE(s, u, 8);
      }
    }
    return s;
  }
  const double scale = std::ldexp(1.0, bitsOf(f) - 1);
  std::vector<int64_t> ints;
  for (double x : v) {
    double y = std::floor(x * scale + 0.5);
    if (y > scale - 1) y = scale - 1;
    if (y < -scale) y = -scale;
    ints.push_back(int64_t(y));
  }
  return encodeInts(f, ints);
}

struct Chunk {
  std::string id;
  std::string body;
};

inline std::string chunkBytes(const Chunk& c) {
  std::string s = c.id;
  putLE(s, c.body.size(), 4);
  s += c.body;
  if (c.body.size() & 1) s.push_back('\0');
  return s;
}

// A RIFF WAVE file: "fmt ", the chunks `before` (or those first and then
// "fmt " when fmtLast), then "data" holding `data`.
inline std::string wave(Format f, int channels, int rate, const std::string& data, const std::vector<Chunk>& before,
                        bool fmtLast = false) {
  const int bytes = bitsOf(f) / 8;
  std::string fmt;
  putLE(fmt, isFloat(f) ? 3 : 1, 2);
  putLE(fmt, uint64_t(channels), 2);
  putLE(fmt, uint64_t(rate), 4);
  putLE(fmt, uint64_t(rate) * channels * bytes, 4);
  putLE(fmt, uint64_t(channels) * bytes, 2);
  putLE(fmt, uint64_t(bitsOf(f)), 2);
  if (isFloat(f)) putLE(fmt, 0, 2);
  std::string body = "WAVE";
  if (!fmtLast) body += chunkBytes({"fmt ", fmt});
  for (const Chunk& c : before) body += chunkBytes(c);
  if (fmtLast) body += chunkBytes({"fmt ", fmt});
  body += chunkBytes({"data", data});
  std::string s = "RIFF";
  putLE(s, body.size(), 4);
  return s + body;
}

}  // namespace loopfiles
