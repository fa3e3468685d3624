// The platform's media services: picture files scaled into 16-bit bitmaps
// (top row first in the picture, bottom-up in the bitmap) and the looping
// sound preview on its own device.
#include <gtest/gtest.h>

#include <SDL.h>
#include <gif_lib.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "framework/offmap/uloOffmap.h"
#include "framework/platform/uloQuickTime.h"
#include "support/tempFolder.h"

namespace {

// A 20 x 10 picture: top half red, bottom half blue, as a BMP.
void writePicture(const std::string& path) {
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 20, 10, 32, SDL_PIXELFORMAT_ARGB8888);
  ASSERT_NE(s, nullptr);
  SDL_Rect top{0, 0, 20, 5}, bottom{0, 5, 20, 5};
  SDL_FillRect(s, &top, SDL_MapRGB(s->format, 255, 0, 0));
  SDL_FillRect(s, &bottom, SDL_MapRGB(s->format, 0, 0, 255));
  ASSERT_EQ(SDL_SaveBMP(s, path.c_str()), 0);
  SDL_FreeSurface(s);
}

void writeTone(const std::string& path, int rate, int channels, int frames) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  std::vector<short> data(size_t(frames) * channels);
  for (int i = 0; i < frames; i++)
    for (int c = 0; c < channels; c++) data[size_t(i) * channels + c] = short(8000 * std::sin(i * 0.05));
  sf_writef_short(f, data.data(), frames);
  sf_close(f);
}

struct QtTest : ::testing::Test {
  TempFolder tmp;
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    uloQt_Init();
  }
  void TearDown() override { uloQt_Exit(); }
};

TEST_F(QtTest, PictureIsScaledIntoTheBitmapTopRowFirst) {
  writePicture(tmp.file("pic.bmp"));
  uloOffmap map;
  ASSERT_TRUE(map.allocate(uloDepthDirect16, 84, 84));
  map.fill(map.bounds, 0x03E0);
  ASSERT_EQ(uloQt_imageToOffmap((tmp.ulo() + "pic.bmp").c_str(), &map), 1);
  EXPECT_EQ(map.getPixel(0, 0), 0x7C00);    // red at the top
  EXPECT_EQ(map.getPixel(83, 83), 0x001F);  // blue at the bottom
  // The bitmap's first stored row is its bottom row.
  EXPECT_EQ(*reinterpret_cast<uint16_t*>(map.bits), 0x001F);
}

TEST_F(QtTest, WhatIsNoPictureLeavesTheBitmapAlone) {
  tmp.write("fake.gif", "GIF89a but not really");
  uloOffmap map;
  ASSERT_TRUE(map.allocate(uloDepthDirect16, 8, 8));
  map.fill(map.bounds, 0x1234);
  EXPECT_EQ(uloQt_imageToOffmap((tmp.ulo() + "fake.gif").c_str(), &map), 0);
  EXPECT_EQ(uloQt_imageToOffmap((tmp.ulo() + "missing.gif").c_str(), &map), 0);
  EXPECT_EQ(map.getPixel(3, 3), 0x1234);
  uloOffmap none;
  writePicture(tmp.file("pic.bmp"));
  EXPECT_EQ(uloQt_imageToOffmap((tmp.ulo() + "pic.bmp").c_str(), &none), 0);
}

// The largest single allocation SDL asks for while counting is on.
size_t gLargest = 0;
void* countMalloc(size_t n) {
  gLargest = std::max(gLargest, n);
  return malloc(n);
}
void* countCalloc(size_t n, size_t size) {
  gLargest = std::max(gLargest, n * size);
  return calloc(n, size);
}
void* countRealloc(void* p, size_t n) {
  gLargest = std::max(gLargest, n);
  return realloc(p, n);
}

// Bytes of a literal, zeros included.
template <size_t N>
std::string bin(const char (&s)[N]) {
  return std::string(s, N - 1);
}

// A picture the fuzzer found, kept in its corpus.
std::string corpusFile(const char* name) {
  std::ifstream in(std::string(JL_SOURCE_DIR "/fuzz/corpus/picture/") + name, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string le16s(int v) { return std::string{char(v & 255), char((v >> 8) & 255)}; }
std::string le32s(int64_t v) { return le16s(int(v & 0xFFFF)) + le16s(int((v >> 16) & 0xFFFF)); }
std::string be32s(int64_t v) {
  return std::string{char((v >> 24) & 255), char((v >> 16) & 255), char((v >> 8) & 255), char(v & 255)};
}

TEST_F(QtTest, APictureClaimingAHugeSizeIsRefusedBeforeAnythingIsAllocated) {
  // Sizes just under what SDL itself refuses (2 GB of pixels), which it
  // would allocate before reading any data. One red 1 x 1 GIF with a
  // control extension before its frame decodes.
  const std::string gifHead = bin("GIF89a") + le16s(1) + le16s(1) + bin("\x80\x00\x00") + bin("\xff\x00\x00\x00\x00\x00") +
                              bin("!\xf9\x04\x01\x00\x00\x00\x00");
  const std::string gifFrame = bin(",\x00\x00\x00\x00") + le16s(1) + le16s(1) + bin("\x00\x02\x02\x44\x01\x00;");
  tmp.write("small.gif", gifHead + gifFrame);
  uloOffmap map;
  ASSERT_TRUE(map.allocate(uloDepthDirect16, 4, 4));
  map.fill(map.bounds, 0x1234);
  tmp.write("blue.png", corpusFile("tiny.png"));
  ASSERT_EQ(uloQt_imageToOffmap((tmp.ulo() + "blue.png").c_str(), &map), 1);
  EXPECT_EQ(map.getPixel(2, 2), 0x001F);
  ASSERT_EQ(uloQt_imageToOffmap((tmp.ulo() + "small.gif").c_str(), &map), 1);
  EXPECT_EQ(map.getPixel(2, 2), 0x7C00);

  std::vector<std::pair<const char*, std::string>> liars = {
      {"screen.gif", bin("GIF89a") + le16s(65535) + le16s(65535) + bin("\x00\x00\x00") + gifFrame},
      {"frame.gif", gifHead + bin(",\x00\x00\x00\x00") + le16s(46000) + le16s(46000) + std::string(40, '\0')},
      {"wide.png", bin("\x89PNG\r\n\x1a\n") + be32s(13) + "IHDR" + be32s(23000) + be32s(23000) +
                       bin("\x08\x06\x00\x00\x00") + std::string(40, '\0')},
      {"tall.bmp", "BM" + le32s(200) + le32s(0) + le32s(54) + le32s(40) + le32s(23000) + le32s(-23000) +
                       le16s(1) + le16s(32) + std::string(40, '\0')},
      {"big.jpg", bin("\xff\xd8\xff\xe0") + bin("\x00\x04\x00\x00") + bin("\xff\xc0\x00\x11\x08") +
                      bin("\x65\x90\x65\x90") + std::string(40, '\0')},
      {"picture.tga", bin("\x00\x00\x02") + std::string(9, '\0') + le16s(65535) + le16s(65535) +
                          bin("\x20\x00") + std::string(40, '\0')},
  };
  SDL_malloc_func m;
  SDL_calloc_func c;
  SDL_realloc_func r;
  SDL_free_func f;
  SDL_GetMemoryFunctions(&m, &c, &r, &f);
  // Found by fuzzing: an 84 x 84 GIF that SDL decodes with a 462 MB
  // allocation (and keeps part of it).
  const std::string found = corpusFile("oom-gif-without-frame.gif");
  ASSERT_EQ(found.size(), 928u);
  liars.emplace_back("found.gif", found);
  // Found by fuzzing: a 292-byte PNG whose second chunk claims 64 MB, on
  // which the decoder spent many seconds.
  liars.emplace_back("slow.png", corpusFile("slow-png-chunk-past-end.png"));
  // Found by fuzzing this check: sizes whose product overflowed.
  const std::string overflow = corpusFile("ubsan-bmp-size-overflow.bmp");
  ASSERT_EQ(overflow.substr(0, 2), "BM");
  liars.emplace_back("overflow.bmp", overflow);
  liars.emplace_back("huge.png", bin("\x89PNG\r\n\x1a\n") + be32s(13) + "IHDR" + be32s(0xdfdfdfdf) +
                                      be32s(0xdfdfdfdf) + std::string(40, '\0'));
  for (const auto& [name, bytes] : liars) {
    tmp.write(name, bytes);
    gLargest = 0;
    SDL_SetMemoryFunctions(countMalloc, countCalloc, countRealloc, free);
    const short got = uloQt_imageToOffmap((tmp.ulo() + name).c_str(), &map);
    SDL_SetMemoryFunctions(m, c, r, f);
    EXPECT_EQ(got, 0) << name << " largest " << gLargest;
    EXPECT_LT(gLargest, size_t(1) << 20) << name;
    EXPECT_EQ(map.getPixel(2, 2), 0x7C00) << name << " left the bitmap alone";
  }
}

// An interlaced 2 x 5 frame at (1, 1) of a 4 x 6 screen, whose colour 3 is
// marked transparent, written with giflib's encoder.
void writeInterlacedGif(const std::string& path, const int rows[5][2]) {
  int err = 0;
  GifFileType* g = EGifOpenFileName(path.c_str(), false, &err);
  ASSERT_NE(g, nullptr);
  const GifColorType colours[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  ColorMapObject* map = GifMakeMapObject(4, colours);
  EGifSetGifVersion(g, true);
  ASSERT_EQ(EGifPutScreenDesc(g, 4, 6, 2, 0, map), GIF_OK);
  GraphicsControlBlock gcb{};
  gcb.TransparentColor = 3;
  GifByteType ext[4];
  EGifGCBToExtension(&gcb, ext);
  ASSERT_EQ(EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, ext), GIF_OK);
  ASSERT_EQ(EGifPutImageDesc(g, 1, 1, 2, 5, true, nullptr), GIF_OK);
  for (int y : {0, 4, 2, 1, 3}) {  // the interlaced order of five rows
    GifPixelType line[2] = {GifPixelType(rows[y][0]), GifPixelType(rows[y][1])};
    ASSERT_EQ(EGifPutLine(g, line, 2), GIF_OK);
  }
  ASSERT_EQ(EGifCloseFile(g, &err), GIF_OK);
  GifFreeMapObject(map);
}

TEST_F(QtTest, AGifFrameIsDrawnDeinterlacedAtItsPlaceOnItsBackground) {
  const int rows[5][2] = {{1, 3}, {2, 2}, {3, 1}, {1, 1}, {2, 3}};
  writeInterlacedGif(tmp.file("frame.gif"), rows);
  uloOffmap map;
  ASSERT_TRUE(map.allocate(uloDepthDirect16, 4, 6));
  map.fill(map.bounds, 0x1234);
  ASSERT_EQ(uloQt_imageToOffmap((tmp.ulo() + "frame.gif").c_str(), &map), 1);
  const int16_t rgb555[4] = {0, 0x7C00, 0x03E0, 0x001F};
  for (int y = 0; y < 6; y++)
    for (int x = 0; x < 4; x++) {
      const bool inFrame = x >= 1 && x <= 2 && y >= 1;
      const int index = inFrame ? rows[y - 1][x - 1] : 0;
      // Outside the frame: the screen's background colour (0, black); the
      // transparent index keeps its own colour (no alpha in a skin bitmap).
      const int16_t want = rgb555[index];
      EXPECT_EQ(map.getPixel(x, y), want) << x << "," << y;
    }
  // Found by fuzzing: a damaged GIF on which SDL_image's own reader freed a
  // pointer it never allocated. Any answer will do; no fault may follow.
  tmp.write("found.gif", corpusFile("bad-free-gif-sdl-image.gif"));
  map.fill(map.bounds, 0x1234);
  const short got = uloQt_imageToOffmap((tmp.ulo() + "found.gif").c_str(), &map);
  EXPECT_TRUE(got == 1 || map.getPixel(3, 5) == 0x1234);
}

TEST_F(QtTest, PreviewPlaysAudioAndRefusesTheRest) {
  writeTone(tmp.file("preview.wav"), 22050, 1, 4000);
  tmp.write("preview.swa", std::string(3000, 'x'));
  ASSERT_EQ(uloQt_PlaySoundStart((tmp.ulo() + "preview.wav").c_str()), 1);
  EXPECT_TRUE(uloQt_IsPlaying());
  EXPECT_EQ(uloQt_PreviewRate(), 22050);
  EXPECT_EQ(uloQt_PreviewChannels(), 1);
  SDL_Delay(300);  // several loops of the 0.18 s sound
  uloQt_Idle();
  EXPECT_TRUE(uloQt_IsPlaying());
  // A file that is not audio stops the old preview and plays nothing.
  EXPECT_EQ(uloQt_PlaySoundStart((tmp.ulo() + "preview.swa").c_str()), 0);
  EXPECT_FALSE(uloQt_IsPlaying());
  EXPECT_EQ(uloQt_PlaySoundStart((tmp.ulo() + "none.wav").c_str()), 0);
  writeTone(tmp.file("six.wav"), 44100, 6, 100);
  ASSERT_EQ(uloQt_PlaySoundStart((tmp.ulo() + "six.wav").c_str()), 1);
  EXPECT_EQ(uloQt_PreviewChannels(), 2);
  uloQt_PlaySoundStop();
  EXPECT_FALSE(uloQt_IsPlaying());
}

}  // namespace
