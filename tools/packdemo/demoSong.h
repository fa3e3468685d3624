// The small song jl-pack-demo ships when no song folder is given: a
// version-1.0 descriptor, a picture and four loops of eight beats at 120 BPM,
// all synthesised here and identical on every build.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct DemoLoop {
  std::string fileName;          // "beat01.wav"
  int sampleRate = 44100;
  int channels = 2;
  std::vector<int16_t> samples;  // interleaved
};

struct DemoSong {
  std::string name;              // descriptor and picture name without extension
  std::string descriptor;        // text of "<name>.jls"
  std::string pictureName;       // empty for a song without a picture
  std::vector<uint8_t> picture;
  std::vector<DemoLoop> loops;
};

DemoSong MakeBuiltInDemoSong();

// A GIF of `width` x `height` pixels, one palette index (0..127) per pixel,
// with a 128-entry palette of RGB triples.
std::vector<uint8_t> EncodeGif(int width, int height, const std::vector<uint8_t>& pixels,
                               const std::vector<uint8_t>& palette);
