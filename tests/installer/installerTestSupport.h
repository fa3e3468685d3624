// Sound fixtures for the installer tests: synthesised loops written in any
// libsndfile format, and a reader for the installer's 16-bit PCM output.
#pragma once
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "support/tempFolder.h"

// Interleaved sine (different pitch per channel) at about half full scale.
inline std::vector<int16_t> sineLoop(int frames, int channels) {
  std::vector<int16_t> s((size_t)frames * channels);
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      s[(size_t)i * channels + c] = (int16_t)std::lround(16000.0 * std::sin(i * 0.031 * (c + 1)));
  return s;
}

inline bool writeSound(const std::string& path, const std::vector<int16_t>& samples, int channels,
                       int format, int rate = 44100) {
  SF_INFO info = {};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  const sf_count_t frames = (sf_count_t)(samples.size() / channels);
  bool ok = sf_writef_short(f, samples.data(), frames) == frames;
  return sf_close(f) == 0 && ok;
}

// The installer's output: header fields and samples.
struct PcmFile {
  bool valid = false;
  uint16_t format = 0, channels = 0, bits = 0;
  uint32_t rate = 0, riffSize = 0, dataBytes = 0, fileBytes = 0;
  std::vector<int16_t> samples;
};

inline PcmFile readPcm(const std::string& bytes) {
  PcmFile p;
  if (bytes.size() < 44) return p;
  auto u = [&bytes](size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | (uint8_t)bytes[at + i];
    return v;
  };
  p.valid = bytes.compare(0, 4, "RIFF") == 0 && bytes.compare(8, 8, "WAVEfmt ") == 0 && u(16, 4) == 16 &&
            bytes.compare(36, 4, "data") == 0;
  p.riffSize = u(4, 4);
  p.format = (uint16_t)u(20, 2);
  p.channels = (uint16_t)u(22, 2);
  p.rate = u(24, 4);
  p.bits = (uint16_t)u(34, 2);
  p.dataBytes = u(40, 4);
  p.fileBytes = (uint32_t)bytes.size();
  for (size_t i = 44; i + 1 < bytes.size(); i += 2) p.samples.push_back((int16_t)u(i, 2));
  return p;
}
