// What the demo library writes: 16-bit PCM WAV files with the canonical
// 44-byte header, GIF pictures, and whole files of text.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/demolib/dsp.h"

namespace demolib {

// Interleaved 16-bit samples, rounded and clipped.
std::vector<int16_t> toPcm16(const Loop& loop);
std::vector<int16_t> toPcm16(const std::vector<double>& mono);

// RIFF/WAVE with one "fmt " chunk of 16 bytes and the "data" chunk: exactly
// 44 bytes before the samples, little-endian whatever the host.
std::vector<uint8_t> wavBytes(const std::vector<int16_t>& samples, int channels, int rate);

bool writeFile(const std::string& path, const void* data, size_t size);
inline bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  return writeFile(path, bytes.data(), bytes.size());
}
inline bool writeFile(const std::string& path, const std::string& text) {
  return writeFile(path, text.data(), text.size());
}
bool makeFolders(const std::string& path);

// GIF89a of palette indices (one byte per pixel, row by row) with a
// 256-colour palette of RGB triples, LZW-compressed.
std::vector<uint8_t> encodeGif(int width, int height, const std::vector<uint8_t>& pixels,
                               const std::vector<uint8_t>& palette);

struct PictureSpec {
  std::vector<std::string> titleLines;  // drawn upper-case, centred
  std::string caption;                  // small line at the bottom
  uint8_t accent[3] = {80, 200, 255};
  int motif = 0;                        // 0 bars, 1 rings, 2 wave, 3 grid of pads
  uint32_t seed = 1;
};
// A picture of the size the song browser shows (84 x 84): a dark panel with
// a glowing motif, the title and a caption.
std::vector<uint8_t> paintPicture(const PictureSpec& spec);

}  // namespace demolib
