#include "tools/packdemo/demoSong.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kRate = 44100;
constexpr int kBeatFrames = kRate / 2;  // 120 BPM
constexpr int kBeats = 8;               // divisor 4: 32 / 4 beats per loop
constexpr int kFrames = kBeatFrames * kBeats;
constexpr double kTwoPi = 6.283185307179586;

// A stereo buffer in floating point, folded into 16 bits at the end.
struct Mix {
  std::vector<double> left = std::vector<double>(kFrames), right = std::vector<double>(kFrames);
  void add(int frame, double value, double pan) {  // pan -1 left .. 1 right
    // Wraps so that a sound ringing over the end is heard at the loop start,
    // which keeps the loop seamless.
    frame %= kFrames;
    left[frame] += value * (1.0 - pan) * 0.5;
    right[frame] += value * (1.0 + pan) * 0.5;
  }
  DemoLoop finish(const char* name) const {
    DemoLoop loop;
    loop.fileName = name;
    loop.sampleRate = kRate;
    loop.channels = 2;
    loop.samples.resize(kFrames * 2);
    for (int i = 0; i < kFrames; ++i) {
      for (int c = 0; c < 2; ++c) {
        double v = (c ? right[i] : left[i]) * 32767.0;
        v = v > 32767.0 ? 32767.0 : v < -32768.0 ? -32768.0 : v;
        loop.samples[i * 2 + c] = (int16_t)std::lround(v);
      }
    }
    return loop;
  }
};

// The same noise on every machine: a 32-bit linear congruential generator.
struct Noise {
  uint32_t state = 0x2545F491u;
  double next() {
    state = state * 1664525u + 1013904223u;
    return (double)(int32_t)state / 2147483648.0;
  }
};

void kick(Mix& m, int at, double level) {
  double phase = 0;
  for (int i = 0; i < kRate / 4; ++i) {
    double t = (double)i / kRate;
    phase += kTwoPi * (50.0 + 110.0 * std::exp(-t * 30.0)) / kRate;
    m.add(at + i, level * std::exp(-t * 9.0) * std::sin(phase), 0.0);
  }
}

void hat(Mix& m, Noise& n, int at, double level) {
  double last = 0;
  for (int i = 0; i < kRate / 16; ++i) {
    double t = (double)i / kRate;
    double white = n.next();
    m.add(at + i, level * std::exp(-t * 70.0) * (white - last), 0.3);  // the difference keeps the highs
    last = white;
  }
}

void snare(Mix& m, Noise& n, int at, double level) {
  for (int i = 0; i < kRate / 5; ++i) {
    double t = (double)i / kRate;
    double body = std::sin(kTwoPi * 185.0 * t) * std::exp(-t * 30.0);
    m.add(at + i, level * (0.6 * n.next() * std::exp(-t * 18.0) + 0.5 * body), -0.15);
  }
}

DemoLoop beat01() {
  Mix m;
  Noise n;
  for (int b = 0; b < kBeats; ++b) {
    kick(m, b * kBeatFrames, 0.75);
    hat(m, n, b * kBeatFrames + kBeatFrames / 2, 0.35);
  }
  return m.finish("beat01.wav");
}

DemoLoop beat02() {
  Mix m;
  Noise n;
  for (int b = 0; b < kBeats; ++b) {
    if (b % 2 == 0) kick(m, b * kBeatFrames, 0.75);
    else snare(m, n, b * kBeatFrames, 0.55);
    hat(m, n, b * kBeatFrames + kBeatFrames / 2, 0.25);
  }
  kick(m, 6 * kBeatFrames + kBeatFrames / 2, 0.6);
  return m.finish("beat02.wav");
}

DemoLoop bass01() {
  // Eighth notes: A1 A1 C2 A1 G1 G1 E1 G1, twice.
  static const double kNotes[8] = {55.0, 55.0, 65.41, 55.0, 49.0, 49.0, 41.2, 49.0};
  Mix m;
  const int step = kBeatFrames / 2;
  for (int s = 0; s < kBeats * 2; ++s) {
    const double f = kNotes[s % 8];
    for (int i = 0; i < step; ++i) {
      double t = (double)i / kRate;
      double env = std::min(1.0, t * 200.0) * std::exp(-t * 4.0) * (i > step - 200 ? (step - i) / 200.0 : 1.0);
      double v = std::sin(kTwoPi * f * t) + 0.3 * std::sin(kTwoPi * 2.0 * f * t);
      m.add(s * step + i, 0.5 * env * v, 0.0);
    }
  }
  return m.finish("bass01.wav");
}

DemoLoop pad01() {
  // Frequencies on a 0.25 Hz grid make whole cycles in the 4-second loop.
  static const double kChord[3] = {220.0, 261.5, 329.75};
  Mix m;
  for (int i = 0; i < kFrames; ++i) {
    double t = (double)i / kRate;
    double swell = 0.75 + 0.25 * std::sin(kTwoPi * 0.5 * t);
    double l = 0, r = 0;
    for (double f : kChord) {
      l += std::sin(kTwoPi * f * t);
      r += std::sin(kTwoPi * (f + 0.5) * t);
    }
    m.add(i, 0.16 * swell * l, -1.0);
    m.add(i, 0.16 * swell * r, 1.0);
  }
  return m.finish("pad01.wav");
}

std::vector<uint8_t> picture() {
  const int size = 96;
  std::vector<uint8_t> palette(128 * 3);
  for (int i = 0; i < 128; ++i) {  // deep blue through violet to orange
    double k = i / 127.0;
    palette[i * 3] = (uint8_t)(30 + 225 * k);
    palette[i * 3 + 1] = (uint8_t)(20 + 130 * k * k);
    palette[i * 3 + 2] = (uint8_t)(120 + 100 * std::sin(3.14159 * k) - 80 * k);
  }
  std::vector<uint8_t> pixels(size * size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double d = std::hypot(x - size / 2.0, y - size / 2.0);
      int v = (x + y) * 100 / (2 * size) + ((int)(d / 7) % 2 ? 27 : 0);
      pixels[y * size + x] = (uint8_t)(v > 127 ? 127 : v);
    }
  }
  return EncodeGif(size, size, pixels, palette);
}

}  // namespace

std::vector<uint8_t> EncodeGif(int width, int height, const std::vector<uint8_t>& pixels,
                               const std::vector<uint8_t>& palette) {
  std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a'};
  auto le16 = [&g](int v) {
    g.push_back((uint8_t)v);
    g.push_back((uint8_t)(v >> 8));
  };
  le16(width);
  le16(height);
  g.push_back(0xE6);  // global palette of 128 entries, 7 bits per channel
  g.push_back(0);
  g.push_back(0);
  g.insert(g.end(), palette.begin(), palette.begin() + 128 * 3);
  g.push_back(0x2C);
  le16(0);
  le16(0);
  le16(width);
  le16(height);
  g.push_back(0);
  // LZW without compression: with 7-bit pixels every code is 8 bits wide as
  // long as a clear code comes before the table reaches 256 entries, so each
  // code is one byte.
  const uint8_t minCodeSize = 7, clear = 128, end = 129;
  g.push_back(minCodeSize);
  std::vector<uint8_t> codes;
  int sinceClear = 0;
  codes.push_back(clear);
  for (uint8_t p : pixels) {
    if (sinceClear == 120) {
      codes.push_back(clear);
      sinceClear = 0;
    }
    codes.push_back(p & 0x7F);
    ++sinceClear;
  }
  codes.push_back(end);
  for (size_t i = 0; i < codes.size(); i += 255) {
    size_t n = std::min<size_t>(255, codes.size() - i);
    g.push_back((uint8_t)n);
    g.insert(g.end(), codes.begin() + i, codes.begin() + i + n);
  }
  g.push_back(0);
  g.push_back(0x3B);
  return g;
}

DemoSong MakeBuiltInDemoSong() {
  DemoSong song;
  song.name = "DemoGroove";
  // Version 1.0: loop lines (file, label, volume, pan, unused, divisor), the
  // tempo, then arpeggio keys, unused, title, description, unused, unused.
  song.descriptor =
      "JLS 1.0 built-in demo song\n"
      "beat01 Straight 100 63 0 4\n"
      "beat02 Backbeat 100 63 0 4\n"
      "bass01 Walk 95 63 0 4\n"
      "pad01 Minor 80 63 0 4\n"
      "*120\n"
      "*A2 C3 E3\n"
      "*0\n"
      "*Demo Groove\n"
      "*Four synthesised loops to try the installer with.\n"
      "*0\n"
      "*0\n";
  song.pictureName = song.name + ".gif";
  song.picture = picture();
  song.loops = {beat01(), beat02(), bass01(), pad01()};
  return song;
}
