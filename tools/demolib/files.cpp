#include "tools/demolib/files.h"

#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

namespace demolib {

namespace {

int16_t clip16(double v) {
  const long s = std::lround(v * 32767.0);
  return (int16_t)std::max(-32767L, std::min(32767L, s));
}

void put16(std::vector<uint8_t>& b, unsigned v) {
  b.push_back((uint8_t)(v & 0xFF));
  b.push_back((uint8_t)((v >> 8) & 0xFF));
}

void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

void putTag(std::vector<uint8_t>& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

}  // namespace

std::vector<int16_t> toPcm16(const Loop& loop) {
  std::vector<int16_t> out((size_t)loop.frames * 2);
  for (int i = 0; i < loop.frames; ++i) {
    out[2 * i] = clip16(loop.l[i]);
    out[2 * i + 1] = clip16(loop.r[i]);
  }
  return out;
}

std::vector<int16_t> toPcm16(const std::vector<double>& mono) {
  std::vector<int16_t> out(mono.size());
  for (size_t i = 0; i < mono.size(); ++i) out[i] = clip16(mono[i]);
  return out;
}

std::vector<uint8_t> wavBytes(const std::vector<int16_t>& samples, int channels, int rate) {
  const uint32_t dataSize = (uint32_t)(samples.size() * 2);
  std::vector<uint8_t> b;
  b.reserve(44 + dataSize);
  putTag(b, "RIFF");
  put32(b, dataSize + 36);
  putTag(b, "WAVE");
  putTag(b, "fmt ");
  put32(b, 16);
  put16(b, 1);  // PCM
  put16(b, (unsigned)channels);
  put32(b, (uint32_t)rate);
  put32(b, (uint32_t)(rate * channels * 2));
  put16(b, (unsigned)(channels * 2));
  put16(b, 16);
  putTag(b, "data");
  put32(b, dataSize);
  for (int16_t s : samples) put16(b, (uint16_t)s);
  return b;
}

bool writeFile(const std::string& path, const void* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

bool makeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string part = path.substr(0, i);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// ---------------------------------------------------------------- GIF

namespace {

class BitWriter {
 public:
  void code(int value, int bits) {
    acc_ |= (uint32_t)value << count_;
    count_ += bits;
    while (count_ >= 8) {
      bytes.push_back((uint8_t)(acc_ & 0xFF));
      acc_ >>= 8;
      count_ -= 8;
    }
  }
  void flush() {
    if (count_ > 0) bytes.push_back((uint8_t)(acc_ & 0xFF));
    acc_ = 0;
    count_ = 0;
  }
  std::vector<uint8_t> bytes;

 private:
  uint32_t acc_ = 0;
  int count_ = 0;
};

}  // namespace

std::vector<uint8_t> encodeGif(int width, int height, const std::vector<uint8_t>& pixels,
                               const std::vector<uint8_t>& palette) {
  std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a'};
  put16(g, (unsigned)width);
  put16(g, (unsigned)height);
  g.push_back(0xF7);  // global palette of 256 entries, 8 bits per channel
  g.push_back(0);
  g.push_back(0);
  for (int i = 0; i < 256 * 3; ++i) g.push_back(i < (int)palette.size() ? palette[i] : 0);
  g.push_back(0x2C);
  put16(g, 0);
  put16(g, 0);
  put16(g, (unsigned)width);
  put16(g, (unsigned)height);
  g.push_back(0);

  // LZW with codes of 9 to 12 bits; the dictionary is a table of
  // (prefix code, next byte) -> code.
  const int minCode = 8, clearCode = 256, endCode = 257;
  g.push_back((uint8_t)minCode);
  std::vector<int16_t> dict((size_t)4096 * 256, -1);
  BitWriter out;
  int codeSize = minCode + 1, maxCode = endCode;
  out.code(clearCode, codeSize);
  int prefix = -1;
  for (uint8_t px : pixels) {
    if (prefix < 0) {
      prefix = px;
      continue;
    }
    const int16_t known = dict[(size_t)prefix * 256 + px];
    if (known >= 0) {
      prefix = known;
      continue;
    }
    out.code(prefix, codeSize);
    dict[(size_t)prefix * 256 + px] = (int16_t)++maxCode;
    if (maxCode >= (1 << codeSize)) ++codeSize;
    if (maxCode == 4095) {
      out.code(clearCode, codeSize);
      std::fill(dict.begin(), dict.end(), (int16_t)-1);
      codeSize = minCode + 1;
      maxCode = endCode;
    }
    prefix = px;
  }
  if (prefix >= 0) out.code(prefix, codeSize);
  out.code(endCode, codeSize);
  out.flush();
  for (size_t i = 0; i < out.bytes.size(); i += 255) {
    const size_t n = std::min<size_t>(255, out.bytes.size() - i);
    g.push_back((uint8_t)n);
    g.insert(g.end(), out.bytes.begin() + (long)i, out.bytes.begin() + (long)(i + n));
  }
  g.push_back(0);
  g.push_back(0x3B);
  return g;
}

// ---------------------------------------------------------------- pictures

namespace {

// 5 x 7 capitals, digits and a little punctuation, one byte per row.
struct Glyph {
  char c;
  uint8_t rows[7];
};
const Glyph kFont[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'&', {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D}}, {'\'', {0x04, 0x04, 0x08, 0x00, 0x00, 0x00, 0x00}},
};

const uint8_t* glyphRows(char c) {
  if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
  for (const Glyph& g : kFont)
    if (g.c == c) return g.rows;
  return nullptr;  // blank
}

// Palette: three ramps. 0..95 the panel (charcoal, lighter at the top),
// 96..191 dark to the accent colour, 192..255 dark to near white.
constexpr int kPanel = 0, kAccent = 96, kText = 192;

std::vector<uint8_t> makePalette(const uint8_t accent[3]) {
  std::vector<uint8_t> p(256 * 3);
  auto set = [&p](int i, double r, double g, double b) {
    p[i * 3] = (uint8_t)std::lround(std::min(255.0, r));
    p[i * 3 + 1] = (uint8_t)std::lround(std::min(255.0, g));
    p[i * 3 + 2] = (uint8_t)std::lround(std::min(255.0, b));
  };
  for (int i = 0; i < 96; ++i) {
    const double k = i / 95.0;
    set(kPanel + i, 14 + 34 * k, 15 + 34 * k, 18 + 38 * k);
  }
  for (int i = 0; i < 96; ++i) {
    const double k = i / 95.0;
    set(kAccent + i, 20 + (accent[0] - 20) * k, 21 + (accent[1] - 21) * k, 26 + (accent[2] - 26) * k);
  }
  for (int i = 0; i < 64; ++i) {
    const double k = i / 63.0;
    set(kText + i, 30 + 215 * k, 31 + 214 * k, 36 + 212 * k);
  }
  return p;
}

struct Canvas {
  static constexpr int kSize = 84;
  uint8_t px[kSize * kSize];
  void set(int x, int y, uint8_t v) {
    if (x >= 0 && y >= 0 && x < kSize && y < kSize) px[y * kSize + x] = v;
  }
  void text(const std::string& s, int y, int scale, uint8_t colour, uint8_t shadow) {
    const int width = (int)s.size() * 6 * scale - scale;
    int x0 = (kSize - width) / 2;
    for (char c : s) {
      const uint8_t* rows = glyphRows(c);
      for (int r = 0; rows && r < 7; ++r)
        for (int col = 0; col < 5; ++col)
          if (rows[r] & (0x10 >> col))
            for (int dy = 0; dy < scale; ++dy)
              for (int dx = 0; dx < scale; ++dx) {
                set(x0 + col * scale + dx + 1, y + r * scale + dy + 1, shadow);
                set(x0 + col * scale + dx, y + r * scale + dy, colour);
              }
      x0 += 6 * scale;
    }
  }
};

}  // namespace

std::vector<uint8_t> paintPicture(const PictureSpec& spec) {
  const int n = Canvas::kSize;
  Canvas c;
  // The panel: a vertical gradient with a thin raised border.
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      int v = 60 - y * 50 / n;
      if (x == 0 || y == 0) v = 90;
      if (x == n - 1 || y == n - 1) v = 2;
      c.set(x, y, (uint8_t)(kPanel + v));
    }
  // The motif: glowing accent shapes in the middle band.
  Rng rng(spec.seed);
  const int top = 30, bottom = 66;
  auto glow = [&c](int x, int y, double k) {
    const int i = kAccent + (int)std::lround(std::max(0.0, std::min(1.0, k)) * 95);
    if (x > 1 && y > 1 && x < n - 2 && y < n - 2) {
      const uint8_t old = c.px[y * n + x];
      if (old < kAccent || old < i) c.set(x, y, (uint8_t)i);
    }
  };
  if (spec.motif == 0) {  // level bars
    for (int b = 0; b < 12; ++b) {
      const int h = 6 + rng.below(bottom - top - 6);
      for (int y = bottom - h; y < bottom; ++y)
        for (int x = 0; x < 4; ++x) glow(8 + b * 6 + x, y, 0.45 + 0.55 * (bottom - y) / (double)h * (y % 3 ? 1 : 0.6));
    }
  } else if (spec.motif == 1) {  // rings
    for (int y = top; y < bottom; ++y)
      for (int x = 4; x < n - 4; ++x) {
        const double d = std::hypot(x - n / 2.0, (y - (top + bottom) / 2.0) * 1.6);
        const double ring = std::fabs(std::fmod(d, 9.0) - 4.5) / 4.5;
        if (ring > 0.55 && d < 34) glow(x, y, (ring - 0.55) / 0.45 * (1.0 - d / 40.0));
      }
  } else if (spec.motif == 2) {  // wave
    for (int x = 4; x < n - 4; ++x) {
      const double t = (x - 4) / (double)(n - 8);
      const double yc = (top + bottom) / 2.0 + 13 * std::sin(kTwoPi * 2.0 * t) * std::sin(kPi * t);
      for (int y = top; y < bottom; ++y) {
        const double d = std::fabs(y - yc);
        if (d < 4) glow(x, y, 1.0 - d / 4.0);
      }
    }
  } else {  // pads
    for (int row = 0; row < 4; ++row)
      for (int col = 0; col < 8; ++col) {
        const double k = rng.uni() < 0.45 ? 1.0 : 0.3;
        for (int y = 0; y < 6; ++y)
          for (int x = 0; x < 7; ++x) glow(7 + col * 9 + x, top + 1 + row * 9 + y, k * (y == 0 ? 0.7 : 1.0));
      }
  }
  // Title, at most two lines, and the caption.
  const size_t longest = spec.titleLines.empty() ? 0 : std::max_element(spec.titleLines.begin(), spec.titleLines.end(),
      [](const std::string& a, const std::string& b) { return a.size() < b.size(); })->size();
  const int scale = longest <= 6 ? 2 : 1;
  int y = spec.titleLines.size() > 1 ? 5 : 9;
  for (const std::string& line : spec.titleLines) {
    c.text(line, y, scale, kText + 63, kPanel + 2);
    y += 9 * scale;
  }
  c.text(spec.caption, 73, 1, kAccent + 80, kPanel + 2);
  return encodeGif(n, n, std::vector<uint8_t>(c.px, c.px + n * n), makePalette(spec.accent));
}

}  // namespace demolib
