// The disk mix through the real engine: file length from the step count and
// tempo, and each step's groove exactly from its 32-beat boundary.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/JLEngine.h"
#include "song/JLDiskMix.h"
#include "support/tempFolder.h"

namespace {

constexpr int kBeat = 22050;       // 120 BPM
constexpr int kStep = 32 * kBeat;  // one 32-beat step

// A loop of `frames` frames holding one constant value on both channels.
std::string constantWav(int16_t value, int frames) {
  std::string b;
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) b += char((v >> (8 * i)) & 0xFF); };
  auto u16 = [&](uint16_t v) { b += char(v & 0xFF); b += char(v >> 8); };
  b += "RIFF"; u32(36 + frames * 4); b += "WAVEfmt "; u32(16); u16(1); u16(2); u32(44100); u32(44100 * 4);
  u16(4); u16(16); b += "data"; u32(frames * 4);
  for (int i = 0; i < 2 * frames; ++i) u16((uint16_t)value);
  return b;
}

class DiskMix : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(saved_, sizeof saved_), nullptr);
    ASSERT_EQ(chdir(tmp_.sys().c_str()), 0);
    mkdir("Library", 0755);
    mkdir("Library/Song", 0755);
    mkdir("Library/Song/Two", 0755);
    tmp_.write("Library/Song/Two/info.jls",
               "JLS 1.0 test\naaa01 Up 127 63 0 8\nbbb01 Down 127 63 0 8\n*120\n*C3\n*0\n*Two\n*Test.\n*0\n*0\n");
    tmp_.write("Library/Song/Two/aaa01.wav", constantWav(1000, 4 * kBeat));
    tmp_.write("Library/Song/Two/bbb01.wav", constantWav(-2000, 4 * kBeat));
    gep = &engine_;
    engine_.init();
  }
  void TearDown() override {
    engine_.exit();
    gep = nullptr;
    ASSERT_EQ(chdir(saved_), 0);
  }
  static JLGroove grooveOf(int16_t group) {
    JLGroove g;
    g.tracks[0].group = group;
    g.tracks[0].variant = 0;
    g.tracks[0].volume = 127;
    g.tracks[0].pan = 0;
    return g;
  }
  // A document of the song "Two" at 120 BPM whose current groove plays
  // group `group` on track 1.
  static JLIceimage imageOf(int16_t group) {
    JLIceimage image;
    image.valid = 1;
    strcpy(image.songName, "Two");
    image.bpm = 120;
    image.groove = grooveOf(group);
    return image;
  }
  std::vector<int16_t> read(const std::string& path, SF_INFO& info) {
    memset(&info, 0, sizeof info);
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr);
    std::vector<int16_t> v((size_t)info.frames * info.channels);
    if (f) {
      sf_readf_short(f, v.data(), info.frames);
      sf_close(f);
    }
    return v;
  }
  TempFolder tmp_;
  char saved_[4096];
  JLEngine engine_;
};

TEST(DiskMixFrames, StepsTimesThirtyTwoBeats) {
  EXPECT_EQ(JL_DiskMixFrames(1, 120.0f), 705600);
  EXPECT_EQ(JL_DiskMixFrames(3, 126.0f), 3 * 32 * 21000);
  EXPECT_EQ(JL_DiskMixFrames(1, 128.0f), 661500);  // 32 x 20671.875
  EXPECT_EQ(JL_DiskMixFrames(0, 120.0f), 0);
  EXPECT_EQ(JL_DiskMixFrames(2, 0.0f), 0);
}

TEST_F(DiskMix, SequenceStepsChangeExactlyOnTheBoundary) {
  JLIceimage image;
  image.valid = 1;
  strcpy(image.songName, "Two");
  image.bpm = 120;
  JLGroove a = grooveOf(0), b = grooveOf(1);
  image.sequence.store(a);
  image.sequence.store(b);
  image.sequence.steps[0] = a.id;
  image.sequence.steps[1] = b.id;
  image.sequence.steps[2] = a.id;
  image.sequence.stepCount = 3;
  const std::string out = tmp_.sys() + "mix.wav";
  JLDiskMixReport report;
  ASSERT_TRUE(JL_DiskMix(image, out.c_str(), JLDiskMixOptions(), report)) << report.error;
  EXPECT_EQ(report.steps, 3);
  EXPECT_EQ(report.underruns, 0u);
  SF_INFO info;
  std::vector<int16_t> s = read(out, info);
  ASSERT_EQ(info.frames, 3 * kStep);
  ASSERT_EQ(info.channels, 2);
  const int16_t up = s[0];
  ASSERT_GT(up, 0);
  const int16_t down = s[2 * kStep];
  EXPECT_NEAR(down, -2 * up, 2);
  for (int64_t i = 0; i < 3 * kStep; ++i) {
    const int16_t want = (i >= kStep && i < 2 * kStep) ? down : up;
    ASSERT_EQ(s[2 * i], want) << "frame " << i;
    ASSERT_EQ(s[2 * i + 1], want) << "frame " << i;
  }
  EXPECT_NE(access((out + ".part").c_str(), F_OK), 0);
}

TEST_F(DiskMix, CurrentGrooveForCyclesWhenThereAreNoSteps) {
  JLIceimage image = imageOf(1);
  JLDiskMixOptions o;
  o.cycles = 2;
  JLDiskMixReport report;
  const std::string out = tmp_.sys() + "mix.flac";
  ASSERT_TRUE(JL_DiskMix(image, out.c_str(), o, report)) << report.error;
  SF_INFO info;
  std::vector<int16_t> s = read(out, info);
  EXPECT_EQ(info.frames, 2 * kStep);
  EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
  EXPECT_LT(s[0], 0);
  EXPECT_EQ(s[0], s[2 * (2 * kStep - 1)]);
}

TEST_F(DiskMix, FailuresLeaveNoFileAndKeepAnOldOne) {
  JLIceimage image;
  image.valid = 1;
  strcpy(image.songName, "Missing");
  image.bpm = 120;
  image.groove = grooveOf(0);
  tmp_.write("old.wav", "precious");
  const std::string out = tmp_.sys() + "old.wav";
  JLDiskMixReport report;
  EXPECT_FALSE(JL_DiskMix(image, out.c_str(), JLDiskMixOptions(), report));
  EXPECT_NE(std::string(report.error).find("Missing"), std::string::npos);
  EXPECT_EQ(tmp_.read("old.wav"), "precious");
  strcpy(image.songName, "../Two");
  EXPECT_FALSE(JL_DiskMix(image, out.c_str(), JLDiskMixOptions(), report));
  strcpy(image.songName, "Two");
  EXPECT_FALSE(JL_DiskMix(image, (tmp_.sys() + "mix.mp9").c_str(), JLDiskMixOptions(), report));
  EXPECT_EQ(tmp_.read("old.wav"), "precious");
}

}  // namespace

namespace {

TEST(ArpRender, OneTurnOfTheTextMadeUpToWholePatterns) {
  EXPECT_EQ(JL_ArpRenderSteps(""), 0);
  EXPECT_EQ(JL_ArpRenderSteps("c1"), 16);
  EXPECT_EQ(JL_ArpRenderSteps("c1e1g1"), 48);   // three notes turn every 3 steps
  EXPECT_EQ(JL_ArpRenderSteps("c#1  "), 16);    // a sharp note takes three characters
  EXPECT_EQ(JL_ArpRenderSteps("c1  c1c1c1c1    c1  c1c1c1  c1  "), 16);
  EXPECT_EQ(JL_ArpRenderFrames(16, 4, 120.0f), 88200);
  EXPECT_EQ(JL_ArpRenderFrames(48, 8, 90.0f), 176400);
  EXPECT_EQ(JL_ArpRenderFrames(16, 0, 120.0f), 0);
}

// The worker thread: progress up to the end, the file, and the engine
// handed back; a stop leaves no file; one render per job at a time.
TEST_F(DiskMix, AJobRendersOnItsOwnThreadAndCanBeStopped) {
  JLIceimage image = imageOf(0);
  JLDiskMixReport report;
  {
    JLDiskMixJob job;
    const std::string out = tmp_.sys() + "job.wav";
    ASSERT_TRUE(job.startMix(image, out.c_str(), JLDiskMixOptions()));
    EXPECT_FALSE(job.startMix(image, out.c_str(), JLDiskMixOptions())) << "one render at a time";
    ASSERT_TRUE(job.waitFinished(60000));
    EXPECT_EQ(job.fraction(), 1.0f);
    ASSERT_TRUE(job.finish(report)) << report.error;
    EXPECT_EQ(report.frames, kStep);
    EXPECT_EQ(access(out.c_str(), F_OK), 0);
    EXPECT_FALSE(engine_.offline()) << "the engine is the program's again";
  }
  {
    JLDiskMixJob job;
    JLDiskMixOptions o;
    o.cycles = 1000;  // far longer than the stop takes to arrive
    const std::string out = tmp_.sys() + "stopped.wav";
    ASSERT_TRUE(job.startMix(image, out.c_str(), o));
    job.stop();
    ASSERT_TRUE(job.waitFinished(60000));
    EXPECT_FALSE(job.finish(report));
    EXPECT_STREQ(report.error, "stopped");
    EXPECT_NE(access(out.c_str(), F_OK), 0);
    EXPECT_NE(access((out + ".part").c_str(), F_OK), 0);
  }
  JLDiskMixJob idle;
  EXPECT_FALSE(idle.finish(report)) << "nothing was started";
}

TEST_F(DiskMix, MutedTracksAreSilentInEveryCycleOfTheWorkingGroove) {
  JLIceimage image = imageOf(0);
  image.groove.tracks[1] = grooveOf(1).tracks[0];
  JLDiskMixOptions o;
  o.mutedTracks = 1u << 1;
  JLDiskMixReport report;
  const std::string muted = tmp_.sys() + "muted.wav", alone = tmp_.sys() + "alone.wav";
  ASSERT_TRUE(JL_DiskMix(image, muted.c_str(), o, report)) << report.error;
  image.groove.tracks[1].reset();
  ASSERT_TRUE(JL_DiskMix(image, alone.c_str(), JLDiskMixOptions(), report)) << report.error;
  SF_INFO a, b;
  const std::vector<int16_t> withMute = read(muted, a), withoutTrack = read(alone, b);
  ASSERT_EQ(a.frames, kStep);
  EXPECT_GT(withMute[0], 0);
  EXPECT_TRUE(withMute == withoutTrack) << "a muted track sounds exactly like no track";
}

// The mutes on screen are the working groove's: the player starts every
// sequence step with all of its groove's tracks on, so a sequence renders
// the same with or without them, and the working groove alone without its
// muted track.
TEST_F(DiskMix, TheWorkingGroovesMutesLeaveTheSequenceStepsWhole) {
  JLIceimage image = imageOf(0);
  image.groove.tracks[1] = grooveOf(1).tracks[0];
  JLGroove a = grooveOf(0), b = grooveOf(1);
  b.tracks[1] = grooveOf(0).tracks[0];  // step 2: both loops, one on track 2
  image.sequence.store(a);
  image.sequence.store(b);
  image.sequence.steps[0] = a.id;
  image.sequence.steps[1] = b.id;
  image.sequence.stepCount = 2;
  JLDiskMixOptions muted;
  muted.mutedTracks = 0x03;  // tracks 1 and 2 muted on screen
  JLDiskMixReport report;
  const std::string out = tmp_.sys() + "seq.wav";
  ASSERT_TRUE(JL_DiskMix(image, out.c_str(), muted, report)) << report.error;
  SF_INFO info;
  const std::vector<int16_t> s = read(out, info);
  ASSERT_EQ(info.frames, 2 * kStep);
  // Step 1 plays "Up" (1000 at full volume), step 2 "Down" and "Up"
  // together: neither is silenced by the mutes.
  const int16_t up = s[0];
  ASSERT_GT(up, 0);
  EXPECT_EQ(s[2 * (kStep - 1)], up);
  const int16_t both = s[2 * kStep];
  EXPECT_NEAR(both, -up, 2) << "step 2 sums -2 up and up";
  EXPECT_EQ(s[2 * (2 * kStep - 1)], both);

  // Rendering the working groove instead, the mutes hold: nothing sounds.
  muted.useSequence = false;
  const std::string groove = tmp_.sys() + "groove.wav";
  ASSERT_TRUE(JL_DiskMix(image, groove.c_str(), muted, report)) << report.error;
  const std::vector<int16_t> g = read(groove, info);
  ASSERT_EQ(info.frames, kStep);
  for (size_t i = 0; i < g.size(); ++i) ASSERT_EQ(g[i], 0) << "sample " << i;
}

}  // namespace
