// Recording a take from the sound card into the user loop, with SDL's disk
// audio driver reading a known raw file as the capture device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "engine/JLEngine.h"
#include "engine/engineFixtures.h"
#include "engine/record/SndInRec.h"
#include "engine/userloop/Elast.h"

using namespace enginetest;

namespace {

struct EnvVar {
  EnvVar(const char* name, const std::string& value) : name_(name) {
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~EnvVar() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }
  const char* name_;
  bool had_;
  std::string old_;
};

constexpr int kCapacity = 20 * 11025;  // 5 s

// Raw 16-bit stereo: frame i is (marker, -marker) of content 12.
std::string rawInput(int frames) {
  std::string s(size_t(frames) * 4, '\0');
  for (int i = 0; i < frames; ++i) {
    const int16_t v[2] = {marker(12, i), int16_t(-marker(12, i))};
    memcpy(&s[size_t(i) * 4], v, 4);
  }
  return s;
}

// The take as the user loop holds it equals the first `frames` input frames.
void expectStoreHolds(int frames) {
  ASSERT_NE(nullptr, elastGlobalData.samples);
  ASSERT_EQ(frames, elastGlobalData.frames);
  EXPECT_EQ(frames * 4, elastGlobalData.bytes);
  EXPECT_EQ(2, elastGlobalData.channels);
  for (int i = 0; i < frames; ++i) {
    ASSERT_EQ(marker(12, i), elastGlobalData.samples[2 * i]) << i;
    ASSERT_EQ(-marker(12, i), elastGlobalData.samples[2 * i + 1]) << i;
  }
}

bool waitWhileRecording(JLEngine& e, short* percent, short* other, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (e.userLoop_recordStatus(percent, other)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace

TEST(LoopRecord, TakeFillsTheUserLoopSampleExactAndStopsAtCapacity) {
  TempFolder tf;
  const std::string raw = rawInput(kCapacity + 30000);  // more than fits
  tf.write("in.raw", raw);
  EnvVar driver("SDL_AUDIODRIVER", "disk");
  EnvVar in("SDL_DISKAUDIOFILEIN", tf.file("in.raw"));
  EnvVar out("SDL_DISKAUDIOFILE", tf.file("out.raw"));
  EnvVar delay("SDL_DISKAUDIODELAY", "1");
  Elast_Init();
  JLEngine e;
  ASSERT_TRUE(e.userLoop_recordStart());
  EXPECT_EQ(kCapacity, ULTake_Capacity());
  // While the take is open the loop cannot be switched on.
  jlUserLoopSettingsRec s = {true, 1, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 100.0f};
  e.userLoop_params(&s);
  EXPECT_EQ(0, elastRenderData.enabled.load());

  short percent = -1, other = -1;
  ASSERT_TRUE(waitWhileRecording(e, &percent, &other, 20000));
  EXPECT_EQ(100, percent);
  EXPECT_EQ(90, other);
  e.userLoop_recordStop();
  e.userLoop_recordReset();
  expectStoreHolds(kCapacity);
  e.userLoop_params(&s);
  EXPECT_EQ(1, elastRenderData.enabled.load());
  EXPECT_FALSE(e.userLoop_recordStatus(&percent, &other));
  EXPECT_EQ(0, other);
  Elast_Exit();
}

TEST(LoopRecord, StopKeepsTheWholeBuffersRecordedSoFar) {
  TempFolder tf;
  const std::string raw = rawInput(kCapacity);
  tf.write("in.raw", raw);
  EnvVar driver("SDL_AUDIODRIVER", "disk");
  EnvVar in("SDL_DISKAUDIOFILEIN", tf.file("in.raw"));
  EnvVar out("SDL_DISKAUDIOFILE", tf.file("out.raw"));
  EnvVar delay("SDL_DISKAUDIODELAY", "5");
  Elast_Init();
  JLEngine e;
  // A first take is discarded by starting a second one.
  ASSERT_TRUE(e.userLoop_recordStart());
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_TRUE(e.userLoop_recordStart());
  short percent = 0, other = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (e.userLoop_recordStatus(&percent, &other) && percent < 10 &&
         std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  e.userLoop_recordStop();
  EXPECT_FALSE(e.userLoop_recordStatus(&percent, &other));  // frozen
  e.userLoop_recordReset();
  const int frames = elastGlobalData.frames;
  EXPECT_GE(frames, kCapacity / 10);
  EXPECT_LT(frames, kCapacity);
  EXPECT_EQ(0, frames % 2048);
  // The second take starts again at the file's beginning (a new device).
  expectStoreHolds(frames);
  Elast_Exit();
}

TEST(LoopRecord, NoDeviceMeansNoTake) {
  EnvVar driver("SDL_AUDIODRIVER", "no-such-driver");
  Elast_Init();
  Elast_Replace(static_cast<int16_t*>(calloc(400, 1)), 100, 2, false);
  JLEngine e;
  EXPECT_FALSE(e.userLoop_recordStart());
  // The user is told why, in the sound system's words.
  EXPECT_EQ(0, strncmp(e.userLoop_recordError(), "no sound system: ", 17)) << e.userLoop_recordError();
  EXPECT_GT(strlen(e.userLoop_recordError()), 17u);
  EXPECT_EQ(nullptr, elastGlobalData.samples);  // the old loop is gone
  short percent = 7, other = 7;
  EXPECT_FALSE(e.userLoop_recordStatus(&percent, &other));
  EXPECT_EQ(0, other);
  // Stop and reset without a take change nothing.
  e.userLoop_recordStop();
  e.userLoop_recordReset();
  EXPECT_EQ(nullptr, elastGlobalData.samples);
  Elast_Exit();
}
