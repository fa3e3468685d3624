// The platform's media services: picture files scaled into 16-bit bitmaps
// (top row first in the picture, bottom-up in the bitmap) and the looping
// sound preview on its own device.
#include <gtest/gtest.h>

#include <SDL.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
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
