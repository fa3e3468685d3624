// Damaged and odd loop files: each leaves its own track silent or plays
// what the file really holds, and never disturbs the other tracks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "engine/AudioFormat.h"
#include "engine/JLEngine.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"

using namespace enginetest;

TEST(WaveHeader, FrameCountIsBoundedByTheFile) {
  TempFolder tf;
  struct Case {
    const char* name;
    std::string bytes;
    int channels;
    int64_t frames;  // -1: refused
  } cases[] = {
      {"ok", wavBytes(1, 1000, 2), 2, 1000},
      {"mono", wavBytes(1, 1000, 1), 1, 1000},
      {"truncated", wavBytes(1, 1000, 2).substr(0, 44 + 400 * 4 + 3), 2, 400},
      {"huge", wavBytes(1, 100, 2, 0x7ffffff0), 2, 100},
      {"negative", wavBytes(1, 100, 2, -8), 2, 100},
      {"zero channels", wavBytes(1, 100, 0), 0, -1},
      {"header only", wavBytes(1, 0, 2), 2, 0},
      {"short header", wavBytes(1, 10, 2).substr(0, 30), 0, -1},
      {"empty", "", 0, -1},
  };
  for (const Case& c : cases) {
    tf.write(c.name, c.bytes);
    WaveInfo info;
    info.channels = -99;
    WaveFile* w = OpenWave(tf.file(c.name).c_str(), &info);
    if (c.frames < 0) {
      EXPECT_EQ(nullptr, w) << c.name;
      EXPECT_EQ(-99, info.channels) << c.name;
      CloseWave(w);
      continue;
    }
    ASSERT_NE(nullptr, w) << c.name;
    EXPECT_EQ(c.channels, info.channels) << c.name;
    EXPECT_EQ(c.frames, info.frames) << c.name;
    CloseWave(w);
  }
  WaveInfo info;
  EXPECT_EQ(nullptr, OpenWave(tf.file("missing").c_str(), &info));
  EXPECT_EQ(nullptr, OpenWave(tf.sys().c_str(), &info));  // a folder
}

TEST(WaveHeader, RegistrationDerivesTheLengthFromTheFile) {
  Harness h;
  const int f = 2646000 / 120;
  const int a = h.addLoop(1, int(3.4 * f), 0);
  const int b = h.addLoop(1, int(3.6 * f), 0);
  const int c = h.addLoop(1, 7 * f, 0);
  const int d = h.addLoop(1, 40 * f, 0);  // longer than the cycle
  const int e = h.addFile("empty.wav", "", 0);
  ASSERT_EQ(0, AddSongVTrack(h.folder.file("missing.wav").c_str(), 0, 0));
  const int missing = e + 1;
  const int g = h.addLoop(1, 100, 3);
  h.folder.write("x", "");
  ASSERT_EQ(1, AddSongVTrack((h.folder.sys() + std::string(300, 'x')).c_str(), 4, 0));
  EXPECT_EQ(3, VTracks[a - 1].lengthBeats.load());
  EXPECT_EQ(4, VTracks[b - 1].lengthBeats.load());
  EXPECT_EQ(8, VTracks[c - 1].lengthBeats.load());
  EXPECT_EQ(32, VTracks[d - 1].lengthBeats.load());
  EXPECT_EQ(32, VTracks[e - 1].lengthBeats.load());  // nothing to measure
  EXPECT_EQ(32, VTracks[missing - 1].lengthBeats.load());
  EXPECT_EQ(10, VTracks[g - 1].lengthBeats.load());
  // The too-long path still took its number, as a silent entry.
  EXPECT_EQ(g + 1, NumVTracks.load());
  EXPECT_EQ(0, VTracks[g].name[0]);
}

TEST(WaveInput, BadFilesDoNotDisturbAGoodTrack) {
  Harness h;
  const int good = h.addLoop(9, 2 * kBeat, 16);
  h.folder.write("gone.wav", "x");
  const int missing = h.addFile("gone.wav", "", 16);
  unlink(h.folder.file("gone.wav").c_str());
  std::string extra = wavBytes(3, 2 * kBeat, 2);
  extra.insert(36, std::string("LIST\x08\0\0\0abcdefgh", 16));  // a chunk before "data"
  const int chunky = h.addFile("chunky.wav", extra, 16);
  const int truncated = h.addFile("trunc.wav", wavBytes(4, 2 * kBeat, 2).substr(0, 44 + 5000 * 4), 16);
  const int zeroCh = h.addFile("zero.wav", wavBytes(5, 2 * kBeat, 0), 16);
  const int negative = h.addFile("neg.wav", wavBytes(6, 2 * kBeat, 2, -4), 16);
  const int huge = h.addFile("huge.wav", wavBytes(7, 1000, 2, 0x7fffffff), 16);
  ASSERT_EQ(0, TrackPlay(1, good));
  TrackVolume(1, 64);
  TrackPan(1, 0);  // the good track on the right only
  const int bad[] = {missing, chunky, truncated, zeroCh, negative, huge};
  for (int t = 2; t <= 7; ++t) {
    ASSERT_EQ(0, TrackPlay(t, bad[t - 2]));
    TrackPan(t, 127);  // the bad ones on the left only
    TrackVolume(t, 64);
  }
  LoaderVisitAll();
  std::vector<int16_t> out;
  h.blocks(120, out);
  for (size_t f = kMixBlock; f < out.size() / 2; ++f)
    ASSERT_EQ(-marker(9, int64_t(f) % (2 * kBeat)) / 2, out[2 * f + 1]) << f;
  EXPECT_EQ(nullptr, Tracks[1].file);
  EXPECT_EQ(0u, TrackUnderruns.load());
  // Each file that does not play as it is gets named once, with its track
  // and why; the file with an extra chunk before its data is fine.
  JLEngine facade;
  std::map<int, std::pair<short, short>> told;
  short track = -1, why = -1;
  for (short s; (s = facade.takeLoadFailure(&track, &why)) >= 0;) told[s + 1] = {track, why};
  const std::map<int, std::pair<short, short>> want = {
      {missing, {1, kWaveUnreadable}}, {truncated, {3, kWaveCut}}, {zeroCh, {4, kWaveUnreadable}},
      {negative, {5, kWaveCut}},       {huge, {6, kWaveCut}}};
  EXPECT_EQ(want, told);
  h.blocks(40, out);  // further repetitions tell nothing new
  EXPECT_EQ(-1, facade.takeLoadFailure(&track));
}

TEST(WaveInput, TruncatedFileContentOnly) {
  Harness h;
  const int t = h.addFile("t.wav", wavBytes(4, 2 * kBeat, 2).substr(0, 44 + 5000 * 4 + 2), 16);
  TrackVolume(1, 64);
  ASSERT_EQ(0, TrackPlay(1, t));
  std::vector<int16_t> out;
  h.runTo(3 * 2 * kBeat, out);
  for (size_t f = 0; f < out.size() / 2; ++f) {
    const int64_t s = int64_t(f) % (2 * kBeat);
    ASSERT_EQ(s < 5000 ? marker(4, s) / 2 : 0, out[2 * f]) << f;
  }
}
