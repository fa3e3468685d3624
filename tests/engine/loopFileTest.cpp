// Loop files as other programs write them: chunks in any order before the
// sound data, every sample format, mono or more channels, other rates, cut
// and empty files. Every decoded sample is compared with the value written;
// converted loops with their length, level and pitch.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/JLEngine.h"
#include "engine/JLLoopPrep.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"
#include "engine/synth/Synth.h"
#include "engine/userloop/Elast.h"
#include "engine/loopFileFixtures.h"

using namespace enginetest;
using namespace loopfiles;

namespace {

// 16-bit value of a sample given as n / 2^shift, rounded half to even and
// clipped, in integers only.
int16_t expected16(int64_t n, int shift) {
  int64_t q = n >> shift;  // floor
  const int64_t rem = n - q * (int64_t(1) << shift);
  const int64_t half = int64_t(1) << (shift - 1);
  if (rem > half || (rem == half && (q & 1))) ++q;
  return int16_t(q > 32767 ? 32767 : q < -32768 ? -32768 : q);
}

// Values that visit both full-scale ends, zero, and rounding ties.
int64_t sampleValue(int bits, int i, int ch) {
  const int64_t top = (int64_t(1) << (bits - 1)) - 1;
  switch ((i + ch) % 7) {
    case 0: return top;
    case 1: return -top - 1;
    case 2: return 0;
    case 3: return bits > 16 ? (int64_t(2 * i + 1) << (bits - 17)) : i;  // a tie below 16 bits
    default: {
      const uint64_t h = (uint64_t(i) * 2654435761u + uint64_t(ch) * 40503u) % uint64_t(2 * top + 1);
      return int64_t(h) - top;
    }
  }
}

struct Layout {
  const char* name;
  std::vector<Chunk> before;  // between "fmt " and "data"
  bool fmtLast;               // "fmt " after the other chunks
};

std::vector<Layout> layouts() {
  return {
      {"plain", {}, false},
      {"LIST", {{"LIST", std::string("INFOISFT\x05\0\0\0tool\0\0", 18)}}, false},
      {"bext cue fact", {{"bext", std::string(602, 'b')}, {"cue ", std::string(28, '\0')}, {"fact", std::string("\x10\0\0\0", 4)}},
       false},
      {"odd junk first", {{"junk", "abc"}, {"LIST", "INFO"}}, true},
  };
}

class CacheHome {
 public:
  CacheHome() {
    const char* old = getenv("XDG_CACHE_HOME");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("XDG_CACHE_HOME", dir.sys().c_str(), 1);
  }
  ~CacheHome() {
    if (had_)
      setenv("XDG_CACHE_HOME", old_.c_str(), 1);
    else
      unsetenv("XDG_CACHE_HOME");
  }
  TempFolder dir;

 private:
  bool had_ = false;
  std::string old_;
};

std::vector<int16_t> readAll(const std::string& path, int outChannels, WaveInfo* info) {
  WaveFile* w = OpenWave(path.c_str(), info);
  if (!w) return {};
  std::vector<int16_t> v(size_t(info->frames) * outChannels);
  EXPECT_EQ(info->frames, ReadWave(w, v.data(), int(info->frames), outChannels));
  CloseWave(w);
  return v;
}

double rms(const std::vector<int16_t>& v, int channels, int channel, size_t from, size_t to) {
  double s = 0;
  for (size_t i = from; i < to; ++i) s += double(v[i * channels + channel]) * v[i * channels + channel];
  return std::sqrt(s / double(to - from));
}

// Frequency from the first and last upward zero crossings, placed between
// samples by linear interpolation.
double frequency(const std::vector<int16_t>& v, int channels, size_t from, size_t to, int rate) {
  double first = -1, last = -1;
  int count = 0;
  for (size_t i = from + 1; i < to; ++i) {
    const double a = v[(i - 1) * channels], b = v[i * channels];
    if (a < 0 && b >= 0) {
      const double at = double(i - 1) + a / (a - b);
      if (first < 0) first = at;
      last = at;
      ++count;
    }
  }
  return count > 1 ? (count - 1) * rate / (last - first) : 0;
}

std::vector<double> sine(int rate, int frames, double hz, double amp) {
  std::vector<double> v(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) v[size_t(i)] = amp * std::sin(2 * M_PI * hz * i / rate);
  return v;
}

// Stereo: the tone on the left, the same tone at half level on the right.
std::string sineFile(int rate, int channels, int frames, Format f, double amp = 0.5) {
  const std::vector<double> s = sine(rate, frames, 1000.0, amp);
  std::vector<double> inter;
  for (double x : s) {
    inter.push_back(x);
    if (channels == 2) inter.push_back(x / 2);
  }
  return wave(f, channels, rate, encode(f, inter), {});
}

}  // namespace

TEST(LoopFile, EveryFormatAndChunkOrderDecodesToTheValuesWritten) {
  TempFolder tf;
  const int frames = 3000;
  for (const Layout& lay : layouts())
    for (Format f : {Format::u8, Format::s16, Format::s24, Format::s32, Format::f32, Format::f64})
      for (int channels : {1, 2, 3}) {
        std::vector<int64_t> ints;
        std::vector<double> floats;
        std::vector<int16_t> want;  // stereo
        const int bits = bitsOf(f);
        for (int i = 0; i < frames; ++i) {
          int16_t lr[2] = {0, 0};
          for (int c = 0; c < channels; ++c) {
            int16_t e;
            if (f == Format::f32 || f == Format::f64) {
              // n / 65536 is exact in a float; past full scale it clips.
              const int64_t n = (c == 1 && i % 5 == 0) ? 3 * 65536 : sampleValue(17, i, c) * 2 + (i % 3 == 0);
              floats.push_back(double(n) / 65536.0 / 2);
              e = expected16(n, 2);
            } else if (f == Format::u8) {
              const int64_t v = sampleValue(8, i, c);
              ints.push_back(v);
              e = int16_t(v * 256);
            } else {
              const int64_t v = sampleValue(bits, i, c);
              ints.push_back(v);
              e = bits == 16 ? int16_t(v) : expected16(v, bits - 16);
            }
            if (c < 2) lr[c] = e;
          }
          want.push_back(lr[0]);
          want.push_back(channels == 1 ? lr[0] : lr[1]);
        }
        const std::string data = floats.empty() ? encodeInts(f, ints) : encode(f, floats);
        const std::string name = std::string(lay.name) + "-" + formatName(f) + "-" + std::to_string(channels);
        tf.write(name, wave(f, channels, 44100, data, lay.before, lay.fmtLast));
        WaveInfo info;
        const std::vector<int16_t> got = readAll(tf.file(name), 2, &info);
        ASSERT_EQ(frames, info.frames) << name;
        EXPECT_EQ(channels, info.channels) << name;
        EXPECT_EQ(44100, info.rate) << name;
        for (size_t k = 0; k < want.size(); ++k) ASSERT_EQ(want[k], got[k]) << name << " sample " << k;
        // One channel out gives the left one.
        const std::vector<int16_t> mono = readAll(tf.file(name), 1, &info);
        for (int i = 0; i < frames; ++i) ASSERT_EQ(want[size_t(2 * i)], mono[size_t(i)]) << name << " frame " << i;
        EXPECT_EQ(kWaveFine, JL_PrepareLoop(tf.file(name).c_str(), 44100).fault) << name;
      }
}

TEST(LoopFile, ChunksLibsndfileLosesItsWayInAreWalked) {
  TempFolder tf;
  const int frames = 1500;
  std::vector<int64_t> v;
  for (int i = 0; i < 2 * frames; ++i) v.push_back(sampleValue(24, i, i & 1));
  const std::string data = encodeInts(Format::s24, v);
  // An odd LIST chunk without its pad byte, and "fmt " after "data".
  const std::string good = wave(Format::s24, 2, 48000, data, {});
  const size_t fmtAt = good.find("fmt "), dataAt = good.find("data");
  const std::string fmt = good.substr(fmtAt, dataAt - fmtAt), dataChunk = good.substr(dataAt);
  std::string list = "LIST";
  putLE(list, 7, 4);
  list += "INFOabc";
  auto riff = [](const std::string& body) {
    std::string s = "RIFF";
    putLE(s, body.size() + 4, 4);
    return s + "WAVE" + body;
  };
  tf.write("nopad.wav", riff(fmt + list + dataChunk));
  tf.write("fmtlast.wav", riff(dataChunk + list + "\0" + fmt));
  // Cut as well: the walk still names it.
  tf.write("nopadcut.wav", riff(fmt + list + dataChunk).substr(0, 12 + fmt.size() + list.size() + 8 + 600 * 6));
  for (const char* name : {"nopad.wav", "fmtlast.wav", "nopadcut.wav"}) {
    WaveInfo info;
    const std::vector<int16_t> got = readAll(tf.file(name), 2, &info);
    const bool cut = std::string(name) == "nopadcut.wav";
    ASSERT_EQ(cut ? 600 : frames, info.frames) << name;
    EXPECT_EQ(48000, info.rate) << name;
    EXPECT_EQ(cut, info.cut) << name;
    for (size_t k = 0; k < got.size(); ++k) ASSERT_EQ(expected16(v[k], 8), got[k]) << name << " sample " << k;
  }
}

TEST(LoopFile, CutEmptyAndForeignFilesAreRecognised) {
  TempFolder tf;
  std::vector<int64_t> v;
  for (int i = 0; i < 2000; ++i) v.push_back(sampleValue(24, i, 0));
  const std::string full = wave(Format::s24, 2, 44100, encodeInts(Format::s24, v), {{"LIST", "INFO"}});
  // 1000 frames declared, 600 frames and a piece of one there.
  tf.write("cut.wav", full.substr(0, full.size() - 400 * 6 + 2));
  tf.write("empty.wav", wave(Format::s16, 2, 44100, "", {{"LIST", "INFO"}}));
  tf.write("text.wav", "just some words, no sound at all, and quite a few of them");
  mkfifo(tf.file("fifo.wav").c_str(), 0600);
  mkdir(tf.file("folder.wav").c_str(), 0700);
  symlink("cut.wav", tf.file("link.wav").c_str());

  WaveInfo info;
  const std::vector<int16_t> got = readAll(tf.file("cut.wav"), 2, &info);
  ASSERT_EQ(600, info.frames);
  for (int i = 0; i < 600; ++i) ASSERT_EQ(expected16(v[size_t(2 * i)], 8), got[size_t(2 * i)]) << i;
  const JLLoopPrep cut = JL_PrepareLoop(tf.file("cut.wav").c_str(), 44100);
  EXPECT_EQ(kWaveCut, cut.fault);
  EXPECT_EQ(600, cut.frames);
  EXPECT_EQ(tf.file("cut.wav"), cut.playPath);
  EXPECT_EQ(kWaveCut, JL_PrepareLoop(tf.file("link.wav").c_str(), 44100).fault);
  EXPECT_EQ(kWaveEmpty, JL_PrepareLoop(tf.file("empty.wav").c_str(), 44100).fault);
  // None of these may block or be taken for sound.
  for (const char* bad : {"text.wav", "fifo.wav", "folder.wav", "missing.wav"}) {
    EXPECT_EQ(nullptr, OpenWave(tf.file(bad).c_str(), &info)) << bad;
    EXPECT_EQ(kWaveUnreadable, JL_PrepareLoop(tf.file(bad).c_str(), 44100).fault) << bad;
  }
  EXPECT_EQ(nullptr, OpenWave("/dev/zero", &info));
  // The walker itself: a "data" chunk of unknown size is not called cut.
  std::string stream = wave(Format::s16, 1, 44100, std::string(100, '\1'), {});
  stream.replace(stream.size() - 104, 4, std::string("\xff\xff\xff\xff", 4));
  tf.write("stream.wav", stream);
  EXPECT_EQ(kWaveFine, JL_PrepareLoop(tf.file("stream.wav").c_str(), 44100).fault);
}

TEST(LoopFile, OtherRatesAreConvertedWithTheirLengthLevelAndPitch) {
  CacheHome cache;
  TempFolder tf;
  for (int rate : {48000, 96000, 22050})
    for (int channels : {1, 2}) {
      const int frames = 2 * rate;  // two seconds
      const std::string name = "tone" + std::to_string(rate) + "-" + std::to_string(channels) + ".wav";
      tf.write(name, sineFile(rate, channels, frames, Format::s24));
      const JLLoopPrep p = JL_PrepareLoop(tf.file(name).c_str(), 44100);
      ASSERT_EQ(kWaveFine, p.fault) << name;
      EXPECT_EQ(88200, p.frames) << name;
      EXPECT_EQ(rate, p.rate) << name;
      EXPECT_EQ(0u, p.playPath.find(cache.dir.sys() + "jamloom/loops/")) << p.playPath;
      WaveInfo info;
      const std::vector<int16_t> got = readAll(p.playPath, channels, &info);
      EXPECT_EQ(44100, info.rate);
      ASSERT_EQ(88200, info.frames);
      const double level = 0.5 * 32768 / std::sqrt(2.0);
      for (int c = 0; c < channels; ++c) {
        const double dB = 20 * std::log10(rms(got, channels, c, 2000, 86000) / (c ? level / 2 : level));
        EXPECT_NEAR(0.0, dB, 0.1) << name << " channel " << c;
      }
      EXPECT_NEAR(1000.0, frequency(got, channels, 2000, 86000, 44100), 0.05) << name;
      // Loading the song again reuses the copy.
      struct stat before, after;
      ASSERT_EQ(0, stat(p.playPath.c_str(), &before));
      EXPECT_EQ(p.playPath, JL_PrepareLoop(tf.file(name).c_str(), 44100).playPath);
      ASSERT_EQ(0, stat(p.playPath.c_str(), &after));
      EXPECT_EQ(before.st_ino, after.st_ino) << name;
    }
  // A changed file gets a copy of its own.
  const std::string first = JL_PrepareLoop(tf.file("tone48000-1.wav").c_str(), 44100).playPath;
  tf.write("tone48000-1.wav", sineFile(48000, 1, 4800, Format::s16));
  const JLLoopPrep again = JL_PrepareLoop(tf.file("tone48000-1.wav").c_str(), 44100);
  EXPECT_NE(first, again.playPath);
  EXPECT_EQ(4410, again.frames);
  struct stat st;
  EXPECT_EQ(0, stat((cache.dir.sys() + "jamloom/loops").c_str(), &st));
  EXPECT_EQ(0700u, st.st_mode & 0777);
}

TEST(LoopFile, ConvertedLoopsJoinWithoutAClick) {
  CacheHome cache;
  TempFolder tf;
  // Whole periods of a tone: repeated, the loop is one endless tone, and so
  // must its copy be, up to its very first and last frames.
  for (int rate : {48000, 96000, 32000}) {
    const std::string name = "tone" + std::to_string(rate) + ".wav";
    tf.write(name, sineFile(rate, 1, rate / 2, Format::f32, 0.5));
    const JLLoopPrep p = JL_PrepareLoop(tf.file(name).c_str(), 44100);
    ASSERT_EQ(22050, p.frames) << name;
    WaveInfo info;
    const std::vector<int16_t> got = readAll(p.playPath, 1, &info);
    double worst = 0;
    for (int k = 0; k < 22050; ++k)
      worst = std::max(worst, std::fabs(got[size_t(k)] - 0.5 * 32768 * std::sin(2 * M_PI * 1000.0 * k / 44100)));
    EXPECT_LT(worst, 2.0) << name;
  }
}

TEST(LoopFile, UnconvertibleRatesAreRefused) {
  TempFolder tf;
  tf.write("slow.wav", sineFile(500, 1, 1000, Format::s16));
  tf.write("tone.wav", sineFile(48000, 1, 4800, Format::s16));
  EXPECT_EQ(kWaveRate, JL_PrepareLoop(tf.file("slow.wav").c_str(), 44100).fault);
  {
    // No place for the copy: refused, not played at the wrong pitch.
    CacheHome cache;
    cache.dir.write("jamloom", "a file where the folder should be");
    const JLLoopPrep p = JL_PrepareLoop(tf.file("tone.wav").c_str(), 44100);
    EXPECT_EQ(kWaveRate, p.fault);
    EXPECT_EQ(0, p.frames);
  }
}

TEST(LoopFile, OddLoopsPlayTheirTrueSamplesInTheMix) {
  CacheHome cache;
  {
    Harness h;
    // 24-bit with chunks before the data, and 32-bit float mono: both hold
    // exactly the 16-bit marker values.
    std::vector<int64_t> s24;
    std::vector<double> f32;
    for (int i = 0; i < 2 * kBeat; ++i) {
      s24.push_back(int64_t(marker(21, i)) * 256);
      s24.push_back(-int64_t(marker(21, i)) * 256);
      f32.push_back(marker(22, i) / 32768.0);
    }
    const int a = h.addFile("a.wav", wave(Format::s24, 2, 44100, encodeInts(Format::s24, s24), layouts()[2].before),
                            16);
    const int b = h.addFile("b.wav", wave(Format::f32, 1, 44100, encode(Format::f32, f32), layouts()[1].before), 16);
    TrackVolume(1, 64);
    TrackPan(1, 127);  // left only
    TrackVolume(2, 64);
    TrackPan(2, 0);  // right only
    ASSERT_EQ(0, TrackPlay(1, a));
    ASSERT_EQ(0, TrackPlay(2, b));
    LoaderVisitAll();
    std::vector<int16_t> out;
    h.runTo(6 * kBeat, out);
    ASSERT_EQ(0u, TrackUnderruns.load());
    for (size_t f = kMixBlock; f < out.size() / 2; ++f) {
      const int64_t i = int64_t(f) % (2 * kBeat);
      ASSERT_EQ(marker(21, i) / 2, out[2 * f]) << f;
      ASSERT_EQ(marker(22, i) / 2, out[2 * f + 1]) << f;
    }
  }
  // 2 beats of tone at 48 kHz in a 4-beat slot: 2 beats of sound at the
  // tone's level and pitch, then 2 of silence, in every repetition.
  Harness h;
  const int c = h.addFile("c.wav", sineFile(48000, 1, 48000, Format::f32), 8);
  TrackVolume(1, 64);
  TrackPan(1, 127);
  ASSERT_EQ(0, TrackPlay(1, c));
  std::vector<int16_t> out;
  h.runTo(8 * kBeat, out);
  const double level = 0.5 * 32768 / std::sqrt(2.0) / 2;
  for (int rep = 0; rep < 2; ++rep) {
    const size_t at = size_t(rep) * 4 * kBeat;
    EXPECT_NEAR(0.0, 20 * std::log10(rms(out, 2, 0, at + 500, at + 2 * kBeat - 500) / level), 0.1) << rep;
    EXPECT_NEAR(1000.0, frequency(out, 2, at + 500, at + 2 * kBeat - 500, 44100), 0.05) << rep;
    EXPECT_EQ(0.0, rms(out, 2, 0, at + 2 * kBeat, at + 4 * kBeat)) << rep;
    EXPECT_EQ(0.0, rms(out, 2, 1, at, at + 4 * kBeat)) << rep;
  }
}

TEST(LoopFile, EachFaultIsToldOnceWithItsTrack) {
  CacheHome cache;
  Harness h;
  std::vector<int64_t> v(2 * 2 * kBeat, 1 << 20);
  const std::string full = wave(Format::s24, 2, 44100, encodeInts(Format::s24, v), {});
  const int cut = h.addFile("cut.wav", full.substr(0, full.size() / 2), 16);
  const int empty = h.addFile("empty.wav", wave(Format::s16, 2, 44100, "", {}), 16);
  const int slow = h.addFile("slow.wav", sineFile(500, 1, 1000, Format::s16), 16);
  const int fine = h.addFile("fine.wav", wave(Format::s24, 2, 44100, encodeInts(Format::s24, v), {}), 16);
  const int gone = h.addFile("gone.wav", wave(Format::s24, 2, 44100, encodeInts(Format::s24, v), {}), 16);
  unlink(h.folder.file("gone.wav").c_str());
  const int loops[] = {cut, empty, slow, fine, gone};
  TrackVolume(1, 64);
  TrackPan(1, 127);
  TrackPan(4, 0);  // the good loop on the right only
  for (int t = 0; t < 5; ++t) ASSERT_EQ(0, TrackPlay(t + 1, loops[t]));
  LoaderVisitAll();
  std::vector<int16_t> out;
  h.runTo(8 * kBeat, out);
  JLEngine facade;
  std::map<int, std::pair<short, short>> told;
  short track = -1, why = -1;
  for (short s; (s = facade.takeLoadFailure(&track, &why)) >= 0;) told[s + 1] = {track, why};
  const std::map<int, std::pair<short, short>> want = {
      {cut, {0, kWaveCut}}, {empty, {1, kWaveEmpty}}, {slow, {2, kWaveRate}}, {gone, {4, kWaveUnreadable}}};
  EXPECT_EQ(want, told);
  // The cut loop plays what it holds in every repetition and is not told again.
  h.runTo(12 * kBeat, out);
  EXPECT_EQ(-1, facade.takeLoadFailure(&track));
  for (int rep = 0; rep < 6; ++rep) {
    const size_t at = size_t(rep) * 2 * kBeat;
    EXPECT_EQ((1 << 12) / 2, out[2 * (at + 10)]) << rep;
    EXPECT_EQ((1 << 12) / 2, out[2 * (at + kBeat - 10)]) << rep;
    EXPECT_EQ(0, out[2 * (at + kBeat + 10)]) << rep;
  }
  // A new song forgets what was told.
  ResetSongVTracks();
  EXPECT_EQ(-1, facade.takeLoadFailure(&track));
}

TEST(LoopFile, UserLoopAndSynthNotesAreReadTheSameWay) {
  CacheHome cache;
  TempFolder tf;
  SetRealtimeFreq(44100);
  tf.write("loop.wav", sineFile(96000, 2, 96000, Format::s24));
  ASSERT_TRUE(Elast_Load(tf.file("loop.wav").c_str()));
  EXPECT_EQ(44100, elastGlobalData.frames);
  EXPECT_EQ(2, elastGlobalData.channels);
  std::vector<int16_t> loop(elastGlobalData.samples, elastGlobalData.samples + 2 * 44100);
  EXPECT_NEAR(0.0, 20 * std::log10(rms(loop, 2, 0, 1000, 43000) / (0.5 * 32768 / std::sqrt(2.0))), 0.1);
  EXPECT_NEAR(1000.0, frequency(loop, 2, 1000, 43000, 44100), 0.05);
  Elast_Replace(nullptr, 0, 2, false);

  // c1 as 48 kHz float with a LIST chunk first: its pitch stays.
  TempFolder set;
  const std::vector<double> s = sine(48000, 4800, 1000.0, 0.25);
  set.write("c2.wav", wave(Format::f32, 1, 48000, encode(Format::f32, s), {{"LIST", "INFO"}}));
  SYNTHETIZER synth;
  SYNTHDATA data = {};
  InitSynth(&synth, &data);
  SetSynth(&data, set.sys().c_str());
  ASSERT_NE(nullptr, data.notes[0].data);
  EXPECT_EQ(4410, data.notes[0].frames);
  EXPECT_EQ(1, data.notes[0].channels);
  const std::vector<int16_t> note(data.notes[0].data, data.notes[0].data + 4410);
  EXPECT_NEAR(1000.0, frequency(note, 1, 200, 4200, 44100), 0.1);
  FreeSynth(&data);
}

TEST(LoopFile, TheCacheDropsTheLeastRecentlyUsedCopies) {
  CacheHome cache;
  const std::string folder = JL_LoopCacheFolder();
  ASSERT_EQ(cache.dir.sys() + "jamloom/loops/", folder);
  const time_t now = time(nullptr);
  auto put = [&](const std::string& name, size_t bytes, time_t age) {
    const std::string path = folder + name;
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    const std::string b(bytes, 'x');
    fwrite(b.data(), 1, b.size(), f);
    fclose(f);
    struct timespec t[2] = {{now - age, 0}, {now - age, 0}};
    utimensat(AT_FDCWD, path.c_str(), t, 0);
  };
  put("00000000000000a1.wav", 1000, 50);
  put("00000000000000a2.wav", 1000, 40);
  put("00000000000000a3.wav", 1000, 30);
  put("00000000000000a4.wav", 1000, 20);
  put("convert-old123", 10, 7200);
  put("convert-new123", 10, 10);
  put("notes.txt", 5000, 99999);
  EXPECT_EQ(0, JL_TrimLoopCache(4010, 2000) - 10);  // under the bound: only the old leftover goes
  EXPECT_EQ(2000, JL_TrimLoopCache(3500, 2000));
  for (const char* gone : {"00000000000000a1.wav", "00000000000000a2.wav", "convert-old123"})
    EXPECT_NE(0, access((folder + gone).c_str(), F_OK)) << gone;
  for (const char* kept : {"00000000000000a3.wav", "00000000000000a4.wav", "convert-new123", "notes.txt"})
    EXPECT_EQ(0, access((folder + kept).c_str(), F_OK)) << kept;
}
