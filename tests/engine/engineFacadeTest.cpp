// The facade and the engine lifecycle, the real threads (loader and feeder)
// under load, and the output as captured by SDL's disk audio driver.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/JLEngine.h"
#include "engine/JLThreadPriority.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"

using namespace enginetest;

namespace {

// Sets an environment variable for the scope of one test.
struct ScopedEnv {
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }
  const char* name_;
  bool had_;
  std::string old_;
};

// Loads a song of `n` loops into the facade the way the song loader does.
void loadSong(JLEngine& e, TempFolder& tf, int n) {
  e.stop();
  e.setMixerFrequency(44100);
  e.samplesListReset();
  e.samplesBpm(120.0f);
  const int beats[] = {4, 2, 8, 1, 4, 16, 2, 32, 3, 4, 8, 1};
  for (int i = 0; i < n; ++i) {
    const std::string name = "l" + std::to_string(i) + ".wav";
    tf.write(name, wavBytes(i + 1, beats[i % 12] * kBeat, i % 3 == 0 ? 1 : 2));
    ASSERT_EQ(0, e.samplesListAdd((tf.ulo() + name).c_str(), i % 2 ? 0 : short(32 / beats[i % 12])));
  }
}

}  // namespace

TEST(EngineFacade, UnitsAndCallingOrder) {
  ScopedEnv noDevice("SDL_AUDIODRIVER", "dummy");
  TempFolder tf;
  JLEngine e;
  e.init();
  EXPECT_EQ(63, MasterVol.load());
  EXPECT_EQ(-1, e.trackSample[200]);
  loadSong(e, tf, 3);
  EXPECT_EQ(1, PlayingStatus.load());  // samplesBpm armed it
  EXPECT_EQ(-1, e.getMixerBeat());
  EXPECT_EQ(2, VTracks[1].lengthBeats.load());  // derived from the file
  // Not playing: the selection is only recorded.
  e.setTrackSample(0, 1);
  EXPECT_EQ(1, e.trackSample[0]);
  EXPECT_EQ(1, PlayingStatus.load());
  e.play();
  e.setTrackPan(0, 0);
  EXPECT_EQ(63, Tracks[0].pan.load());
  e.setTrackPan(0, 63);
  EXPECT_EQ(0, Tracks[0].pan.load());
  e.setTrackPan(0, -64);
  EXPECT_EQ(127, Tracks[0].pan.load());
  e.setTrackSample(0, 1);
  EXPECT_EQ(2, PlayingStatus.load());
  EXPECT_EQ(1, Tracks[0].currentVariant.load());
  e.setMixerBpm(120.0f);
  EXPECT_EQ(22049, ResampledBPM.load());
  e.setMixerVolume(500);
  EXPECT_EQ(128, MasterVol.load());
  e.sync_atGrooveSet(1);
  e.setTrackSample(1, 2);
  EXPECT_EQ(2, Tracks[1].pendingVariant.load());
  e.setTrackSample(0, -1);
  EXPECT_EQ(-1, Tracks[0].pendingVariant.load());
  e.setTrackVolume(3, 5);
  EXPECT_EQ(5, Tracks[3].syncVolume.load());
  e.sync_atGrooveSet(0);
  e.setTrackSample(0, -1);
  EXPECT_EQ(-1, Tracks[0].currentVariant.load());
  std::atomic<short>*l = nullptr, *r = nullptr;
  e.getTrackPeaks(2, &l, &r);
  EXPECT_EQ(&ttTrackPeaks[2], l);
  EXPECT_EQ(&ttTrackPeaks[10], r);
  e.stop();
  EXPECT_EQ(0, PlayingStatus.load());
  EXPECT_EQ(1, StopPlay());
  EXPECT_EQ(0, BeginPlay());
  EXPECT_EQ(1, BeginPlay());
  EXPECT_EQ(0, StopPlay());
  e.exit();
  EXPECT_FALSE(LoaderRunning());
}

// The groove that starts playback comes as one batch: every one of its
// loops must have its first frames loaded at timeline 0, before the output
// starts, not join after the output's prefill.
TEST(EngineFacade, ABatchStartsAllItsTracksAtTheFirstFrame) {
  ScopedEnv noDevice("SDL_AUDIODRIVER", "dummy");
  TempFolder tf;
  JLEngine e;
  e.init();
  loadSong(e, tf, 8);
  e.play();
  e.changesBegin();
  for (short t = 0; t < 8; ++t) {
    e.setTrackSample(t, t == 5 ? -1 : t);
    EXPECT_EQ(1, PlayingStatus.load()) << "started before the batch ended";
  }
  e.changesEnd();
  EXPECT_EQ(2, PlayingStatus.load());
  for (short t = 0; t < 8; ++t) {
    if (t == 5) {
      EXPECT_EQ(-1, Tracks[t].currentVariant.load());
      continue;
    }
    EXPECT_EQ(t, Tracks[t].currentVariant.load()) << t;
    EXPECT_GE(Tracks[t].loadedTo.load(), 4 * kMixBlock) << "track " << t << " not loaded at the start";
  }
  // Outside a batch a selection starts at once, as before.
  e.stop();
  e.samplesBpm(120.0f);
  e.play();
  e.setTrackSample(2, 2);
  EXPECT_EQ(2, PlayingStatus.load());
  e.stop();
  e.exit();
}

TEST(EngineFacade, NoAudioDeviceLeavesTheEngineArmedAndSilent) {
  ScopedEnv noDevice("SDL_AUDIODRIVER", "no-such-driver");
  TempFolder tf;
  JLEngine e;
  e.init();
  loadSong(e, tf, 2);
  e.play();
  e.setTrackSample(0, 0);
  EXPECT_EQ(1, PlayingStatus.load());
  EXPECT_EQ(-1, e.getMixerBeat());
  EXPECT_EQ(nullptr, Tracks[0].file);
  e.setTrackSample(1, 1);  // tries again, fails again, nothing breaks
  EXPECT_EQ(1, PlayingStatus.load());
  e.stop();
  e.exit();
}

// While loops, volumes, pans and tempo keep changing, one loader visit per
// mixed block keeps every ring ahead of the mixer. The loader's visits and
// the mixer's blocks are made here in a fixed, seeded order (both ways round
// after each change), so the outcome never depends on how busy the machine
// is; the real-time version of this runs as a bench (bench/README.md).
TEST(EngineThreads, LoaderKeepsEveryRingAheadUnderConstantChanges) {
  ScopedEnv dummy("SDL_AUDIODRIVER", "dummy");
  TempFolder tf;
  JLEngine e;
  e.init();
  loadSong(e, tf, 12);
  TrackUnderruns = 0;
  wDBSetManualFeed(true);
  e.play();
  for (short t = 0; t < 8; ++t) e.setTrackSample(t, t);
  ASSERT_EQ(2, PlayingStatus.load());
  // From here on this thread is the loader.
  PauseLoader();
  LoaderVisitAll();
  e.setMixerBpm(120.0f);
  e.setMixerVolume(100);
  std::mt19937 rng(7);
  std::vector<int16_t> block(2 * kMixBlock);
  int beatsSeen = 0, changes = 0;
  for (int step = 0; step < 600; ++step) {
    for (int n = int(rng() % 3); n > 0; --n, ++changes) {
      const short t = short(rng() % 8);
      switch (rng() % 6) {
        case 0: e.setTrackSample(t, short(int(rng() % 13) - 1)); break;
        case 1: e.sync_atGrooveSet(short(rng() % 2)); break;
        case 2: e.setTrackVolume(t, short(rng() % 128)); break;
        case 3: e.setTrackPan(t, short(int(rng() % 128) - 64)); break;
        case 4: e.setMixerBpm(100.0f + float(rng() % 80)); break;
        default: {
          std::atomic<short>*l, *r;
          e.getTrackPeaks(t, &l, &r);
          l->exchange(-1);
          r->exchange(-1);
          if (e.getMixerBeat() >= 0) ++beatsSeen;
        }
      }
    }
    // The loader may come just before or just after the mixer's block.
    if (rng() % 2) {
      LoaderVisitAll();
      GetResampled(block.data(), kMixBlock);
    } else {
      GetResampled(block.data(), kMixBlock);
      LoaderVisitAll();
    }
  }
  const int32_t played = TimeLine.load();
  e.stop();
  wDBSetManualFeed(false);
  e.exit();
  EXPECT_GT(played, 600 * kMixBlock / 2);  // the mixer really ran (tempo up to 1.3x)
  EXPECT_GT(changes, 500);
  EXPECT_GT(beatsSeen, 0);
  EXPECT_EQ(0u, TrackUnderruns.load());
}

namespace {
std::atomic<int> feedCalls{0};
std::atomic<int> feedStopAfter{0};
int countingFeed(void* buf, int frames) {
  memset(buf, 0, size_t(frames) * 4);
  return ++feedCalls > feedStopAfter ? -1 : frames;
}
}  // namespace

TEST(EngineOutput, DriverResultsAndAStopFromInsideTheFeeder) {
  ScopedEnv dummy("SDL_AUDIODRIVER", "dummy");
  EXPECT_EQ(5, MMSysAudio(countingFeed, 8192, 2, 44100, 2048).bufferCount());
  {
    MMSysAudio a(countingFeed, 16384, 2, 44100, 2048);
    EXPECT_EQ(9, a.bufferCount());
    feedCalls = 0;
    feedStopAfter = 3;
    EXPECT_EQ(-1, a.Start());  // the prefill's fourth piece asks to stop
    EXPECT_EQ(4, feedCalls.load());
    EXPECT_FALSE(a.isStarted());
    feedCalls = 0;
    feedStopAfter = 1000;
    EXPECT_EQ(0, a.Start());
    EXPECT_EQ(4, feedCalls.load());  // prefill only, before any feed
    EXPECT_EQ(1, a.Start());
    EXPECT_EQ(0, a.Stop());
    EXPECT_EQ(0, a.Stop());
  }
  // The feeder stops the output itself when the callback says so; the
  // later stop and close must neither hang nor feed again.
  feedCalls = 0;
  feedStopAfter = 12;
  wDBSetDeviceFrames(0);  // the queued output
  ASSERT_EQ(0, wDBInit(countingFeed, 4 * 16384));
  ASSERT_EQ(0, wDBStart());
  for (int i = 0; i < 200 && wDBInstance()->isStarted(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(wDBInstance()->isStarted());
  EXPECT_EQ(13, feedCalls.load());
  wDBStop();
  wDBClose();
  EXPECT_EQ(-1, wDBStart());
  wDBStop();
  EXPECT_EQ(13, feedCalls.load());
  ScopedEnv broken("SDL_AUDIODRIVER", "no-such-driver");
  ASSERT_EQ(0, wDBInit(countingFeed, 4 * 16384));
  EXPECT_EQ(MMSysAudio::kErrNoDevice, wDBInstance()->Start());
  EXPECT_EQ(-1, wDBStart());
  wDBClose();
  wDBSetDeviceFrames(512);
}

namespace {

// Plays loop 11 (2 beats) at half volume through the disk driver for 0.7 s
// with the given device buffer (0 = queued output); returns the frames the
// device wrote, from the first sound on, up to the end of the stop's fade.
// Loop 11 (2 beats) alone on track 1 at volume 64, from a stopped engine
// with the loader thread, through the device the environment names.
void playLoop11(TempFolder& tf, int deviceFrames) {
  StopPlay();
  SetRealtimeFreq(44100);
  SetSongBPM(120);
  ResetSongVTracks();
  MasterVolume(128);
  tf.write("a.wav", wavBytes(11, 2 * kBeat, 2));
  wDBSetDeviceFrames(deviceFrames);
  EXPECT_EQ(0, AddSongVTrack(tf.file("a.wav").c_str(), 16, 0));
  EXPECT_EQ(0, StartLoaderThread());
  EXPECT_EQ(0, BeginPlay());
  TrackVolume(1, 64);
  EXPECT_EQ(0, TrackPlay(1, 1));
}

std::vector<int16_t> diskCapture(int deviceFrames, int* grantedFrames, int* latencyFrames) {
  TempFolder tf;
  const std::string capture = tf.file("capture.raw");
  ScopedEnv disk("SDL_AUDIODRIVER", "disk");
  ScopedEnv file("SDL_DISKAUDIOFILE", capture);
  std::vector<int16_t> out;
  playLoop11(tf, deviceFrames);
  EXPECT_EQ(2, PlayingStatus.load());
  *grantedFrames = wDBInstance() ? wDBInstance()->deviceFrames() : -1;
  *latencyFrames = wDBLatencyFrames();
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  StopPlay();
  StopLoaderThread(2000);
  wDBClose();  // a pull-mode device is kept open after a stop
  wDBSetDeviceFrames(512);
  const std::string raw = tf.read("capture.raw");
  size_t f = 0;
  // The device may have written silence before our first buffer.
  while (f + 4 <= raw.size() && raw[f] == 0 && raw[f + 1] == 0) f += 4;
  // A pull-mode start fades in from silence, and its first frame (gain 0)
  // is one of those zeros.
  if (deviceFrames > 0) out.assign(2, 0);
  for (; f + 4 <= raw.size(); f += 4)
    for (int ch = 0; ch < 2; ++ch)
      out.push_back(int16_t(uint8_t(raw[f + 2 * ch]) | (uint8_t(raw[f + 2 * ch + 1]) << 8)));
  return out;
}

// Frames [from, to) of `out` against loop 11 at half volume from timeline
// 0, times the gain `g(p)`; the first frame that differs, or `to`.
template <class Gain>
size_t matchLoop(const std::vector<int16_t>& out, size_t from, size_t to, Gain g) {
  for (size_t p = from; p < to && 2 * p + 1 < out.size(); ++p) {
    const int want = marker(11, int64_t(p) % (2 * kBeat)) / 2;
    const int16_t v = int16_t(float(want) * g(p));
    if (out[2 * p] != v || out[2 * p + 1] != int16_t(float(-want) * g(p))) return p;
  }
  return to;
}

// Frames of `out` that are loop 11 at half volume, from the start.
size_t exactPrefix(const std::vector<int16_t>& out, size_t p = 0) {
  for (; 2 * p + 1 < out.size(); ++p) {
    const int want = marker(11, int64_t(p) % (2 * kBeat)) / 2;
    if (out[2 * p] != want || out[2 * p + 1] != -want) break;
  }
  return p;
}

}  // namespace

TEST(EngineOutput, QueuedOutputCapturesTheMixExactlyAndStopsDead) {
  ScopedEnv disk("SDL_AUDIODRIVER", "disk");
  ScopedEnv frames("JL_AUDIO_FRAMES", "");
  int granted = 0, latency = 0;
  const std::vector<int16_t> out = diskCapture(0, &granted, &latency);
  EXPECT_EQ(2048, granted);
  // What is queued (at most the nine buffers) plus the device's own buffer.
  EXPECT_GE(latency, 2048);
  EXPECT_LE(latency, 9 * 2048 + 2048);
  const size_t exact = exactPrefix(out);
  EXPECT_GT(exact, 8192u);  // at least the prefill
  for (size_t p = exact; 2 * p < out.size(); ++p) ASSERT_EQ(0, out[2 * p]) << "after the stop, frame " << p;
}

TEST(EngineOutput, PullOutputCapturesTheMixExactlyAndFadesOutOnStop) {
  ScopedEnv disk("SDL_AUDIODRIVER", "disk");
  ScopedEnv frames("JL_AUDIO_FRAMES", "");
  int granted = 0, latency = 0;
  const std::vector<int16_t> out = diskCapture(256, &granted, &latency);
  EXPECT_EQ(256, granted);
  EXPECT_EQ(256, latency);
  // A 220-frame fade in from silence, then the loop exactly.
  ASSERT_EQ(220u, matchLoop(out, 0, 220, [](size_t p) { return float(p) / 220.0f; }));
  const size_t exact = exactPrefix(out, 220);
  EXPECT_GT(exact, 44100u / 4);
  // Then the 220-frame fade (its first frame at full gain, so it counts as
  // exact): each frame a falling fraction of the loop's value, then silence.
  const size_t n = out.size() / 2, fade = exact - 1;
  ASSERT_GE(n, fade + 220);
  for (size_t k = 0; k < 220; ++k) {
    const int want = marker(11, int64_t(fade + k) % (2 * kBeat)) / 2;
    const float g = float(220 - k) / 220.0f;
    ASSERT_EQ(int16_t(float(want) * g), out[2 * (fade + k)]) << "fade frame " << k;
  }
  for (size_t p = fade + 220; p < n; ++p) ASSERT_EQ(0, out[2 * p]) << "after the fade, frame " << p;
}

TEST(EngineOutput, TheFacadeReportsTheDeviceBufferAsLatencyWhilePlaying) {
  ScopedEnv dummy("SDL_AUDIODRIVER", "dummy");
  ScopedEnv frames("JL_AUDIO_FRAMES", "");
  TempFolder tf;
  JLEngine e;
  e.init();
  loadSong(e, tf, 2);
  e.setOutputFrames(256);
  EXPECT_EQ(0, e.outputLatencyFrames()) << "nothing plays";
  e.play();
  e.setTrackSample(0, 0);
  ASSERT_EQ(2, PlayingStatus.load());
  EXPECT_EQ(256, e.outputLatencyFrames());
  EXPECT_EQ(256, MixBlockFrames.load()) << "nothing is mixed ahead of the device";
  EXPECT_EQ(TrackUnderruns.load() + wDBLateCallbacks(), e.outputUnderruns());
  EXPECT_FALSE(e.takeOutputLost());
  e.stop();
  EXPECT_EQ(0, e.outputLatencyFrames());
  e.setOutputFrames(512);
  e.exit();
}

TEST(EngineOutput, TheEnvironmentSetsTheDeviceBuffer) {
  wDBSetDeviceFrames(512);
  {
    ScopedEnv frames("JL_AUDIO_FRAMES", "128");
    EXPECT_EQ(128, wDBDeviceFramesWanted());
  }
  {
    ScopedEnv frames("JL_AUDIO_FRAMES", "0");
    EXPECT_EQ(0, wDBDeviceFramesWanted());  // queued
  }
  for (const char* bad : {"", "-5", "12ab", "99999"}) {
    ScopedEnv frames("JL_AUDIO_FRAMES", bad);
    EXPECT_EQ(512, wDBDeviceFramesWanted()) << bad;
  }
}

namespace {

// Waits (up to 10 s) until `file` holds at least `bytes`; its size then.
size_t waitForBytes(const std::string& file, size_t bytes) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  struct stat st {};
  while (std::chrono::steady_clock::now() < until) {
    if (stat(file.c_str(), &st) == 0 && size_t(st.st_size) >= bytes) return size_t(st.st_size);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return stat(file.c_str(), &st) == 0 ? size_t(st.st_size) : 0;
}

}  // namespace

// Play, stop, play: the second start is the same open device, silent in
// between, and fades the loop in from silence from timeline 0 again.
TEST(EngineOutput, AStopKeepsThePullDeviceOpenForTheNextPlay) {
  TempFolder tf;
  const std::string capture = tf.file("capture.raw");
  ScopedEnv disk("SDL_AUDIODRIVER", "disk");
  ScopedEnv file("SDL_DISKAUDIOFILE", capture);
  ScopedEnv frames("JL_AUDIO_FRAMES", "");
  StopPlay();
  wDBClose();
  playLoop11(tf, 256);
  ASSERT_EQ(2, PlayingStatus.load());
  MMSysAudio* first = wDBInstance();
  ASSERT_NE(nullptr, first);
  waitForBytes(capture, 44100 / 4 * 4);
  StopPlay();
  EXPECT_TRUE(wDBIdleOpen());
  EXPECT_EQ(first, wDBInstance());
  EXPECT_EQ(0, PlayingStatus.load());
  // Stopped, the device goes on writing silence.
  const size_t stopped = waitForBytes(capture, 0);
  waitForBytes(capture, stopped + 8 * 256 * 4);
  ASSERT_EQ(0, BeginPlay());
  TrackVolume(1, 64);
  ASSERT_EQ(0, TrackPlay(1, 1));
  EXPECT_EQ(first, wDBInstance()) << "not opened again";
  EXPECT_FALSE(wDBIdleOpen());
  EXPECT_EQ(256, wDBLatencyFrames());
  const size_t again = waitForBytes(capture, 0);
  waitForBytes(capture, again + 44100 / 4 * 4);
  StopPlay();
  StopLoaderThread(2000);
  wDBClose();
  wDBSetDeviceFrames(512);
  const std::string raw = tf.read("capture.raw");
  std::vector<int16_t> out;
  for (size_t f = 0; f + 4 <= raw.size(); f += 4)
    for (int ch = 0; ch < 2; ++ch)
      out.push_back(int16_t(uint8_t(raw[f + 2 * ch]) | (uint8_t(raw[f + 2 * ch + 1]) << 8)));
  // The second playback: the first sound after the silence that followed
  // the first one's fade (its frame 0 has gain 0, so it is one frame back).
  size_t p = stopped / 4;
  while (2 * p < out.size() && out[2 * p] != 0) ++p;  // the end of the fade
  while (2 * p < out.size() && out[2 * p] == 0) ++p;
  ASSERT_LT(2 * p, out.size());
  const std::vector<int16_t> second(out.begin() + 2 * (p - 1), out.end());
  EXPECT_EQ(220u, matchLoop(second, 0, 220, [](size_t k) { return float(k) / 220.0f; }));
  EXPECT_GT(exactPrefix(second, 220), 44100u / 8);
}

// The latency setting applies at the next play: a stopped engine opens the
// device again with the new buffer and reports it as its latency; the
// output that can close on stop does.
TEST(EngineOutput, ANewLatencySettingTakesEffectAtTheNextPlay) {
  ScopedEnv dummy("SDL_AUDIODRIVER", "dummy");
  ScopedEnv frames("JL_AUDIO_FRAMES", "");
  TempFolder tf;
  JLEngine e;
  e.init();
  loadSong(e, tf, 2);
  const int settings[] = {256, 512, 256, 0};
  for (int frames : settings) {
    e.setOutputFrames(frames);
    e.play();
    e.setTrackSample(0, 0);
    ASSERT_EQ(2, PlayingStatus.load());
    if (frames > 0) {
      EXPECT_EQ(frames, e.outputLatencyFrames()) << frames;
      EXPECT_EQ(frames, MixBlockFrames.load()) << frames;
    } else {
      EXPECT_GE(e.outputLatencyFrames(), 2048) << "queued";
      EXPECT_EQ(2048, MixBlockFrames.load());
    }
    e.stop();
    EXPECT_EQ(frames > 0, wDBIdleOpen()) << "only a pull-mode device stays open, " << frames;
  }
  wDBSetKeepOpen(false);
  e.setOutputFrames(512);
  e.play();
  e.setTrackSample(0, 0);
  e.stop();
  EXPECT_FALSE(wDBIdleOpen());
  EXPECT_EQ(nullptr, wDBInstance());
  wDBSetKeepOpen(true);
  e.exit();
  EXPECT_EQ(nullptr, wDBInstance()) << "exit closes the device";
}

// The device goes away while playing (the test seam does what SDL does
// when one is unplugged): the engine says so once, stops cleanly with
// nothing counted as an underrun, stays silent and armed while no device
// is there, and plays again once one is.
TEST(EngineOutput, ALostDeviceStopsTheEngineAndPlayStartsAgainWhenItReturns) {
  ScopedEnv dummy("SDL_AUDIODRIVER", "dummy");
  ScopedEnv frames("JL_AUDIO_FRAMES", "");
  TempFolder tf;
  JLEngine e;
  e.init();
  loadSong(e, tf, 2);
  e.setOutputFrames(512);
  e.play();
  e.setTrackSample(0, 0);
  ASSERT_EQ(2, PlayingStatus.load());
  auto waitUntil = [](auto cond) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
      if (cond()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  };
  ASSERT_TRUE(waitUntil([] { return TimeLine.load() > 4 * 512; })) << "the output runs";
  const uint32_t ringBefore = TrackUnderruns.load();
  EXPECT_FALSE(e.takeOutputLost());
  wDBSetDevicePresent(false);
  // Nothing more is mixed once the device is gone: no ring runs dry.
  const int64_t lostAt = TimeLine.load();
  ASSERT_TRUE(waitUntil([&] { return e.takeOutputLost(); }));
  EXPECT_LE(TimeLine.load(), lostAt + 2 * 512);
  EXPECT_EQ(0, e.playing);
  EXPECT_EQ(0, PlayingStatus.load());
  EXPECT_EQ(nullptr, wDBInstance()) << "a lost device is closed, not kept open";
  EXPECT_EQ(0, e.outputLatencyFrames());
  EXPECT_EQ(ringBefore, TrackUnderruns.load());
  EXPECT_EQ(ringBefore, e.outputUnderruns());
  EXPECT_FALSE(e.takeOutputLost()) << "told once";

  // No device: a start leaves the engine armed and silent.
  e.play();
  e.setTrackSample(0, 0);
  EXPECT_EQ(1, PlayingStatus.load());
  EXPECT_EQ(0, e.outputLatencyFrames());
  EXPECT_FALSE(e.takeOutputLost());

  // It is back: the next selection starts the output from the top.
  wDBSetDevicePresent(true);
  e.setTrackSample(0, 1);
  ASSERT_EQ(2, PlayingStatus.load());
  EXPECT_EQ(512, e.outputLatencyFrames());
  ASSERT_TRUE(waitUntil([] { return TimeLine.load() > 4 * 512; }));
  EXPECT_FALSE(e.takeOutputLost());
  EXPECT_EQ(ringBefore, TrackUnderruns.load());
  e.stop();
  e.exit();
}

namespace {

std::atomic<int> pulls{0};
int silentPull(void* buffer, int frames) {
  memset(buffer, 0, size_t(frames) * 4);
  pulls.fetch_add(1);
  return 0;
}

// Whether this process may run a thread real-time: a thread of its own asks.
bool realtimeAllowed() {
  bool ok = false;
  std::thread t([&] { ok = JL_RaiseThreadPriority(kJLLoaderPriority); });
  t.join();
  return ok;
}

}  // namespace

// A raised thread runs first-in-first-out at the priority asked, or, where
// the system refuses, stays as it was. The output's thread raises itself
// at its first callback unless JL_NO_REALTIME=1 says not to.
TEST(EngineOutput, TheOutputThreadRunsRealTimeWhereTheSystemAllowsIt) {
  std::thread t([] {
    int before = 0, policy = 0;
    sched_param was{}, now{};
    pthread_getschedparam(pthread_self(), &before, &was);
    const bool raised = JL_RaiseThreadPriority(kJLOutputPriority);
    pthread_getschedparam(pthread_self(), &policy, &now);
    EXPECT_EQ(raised ? SCHED_FIFO : before, policy);
    EXPECT_EQ(raised ? kJLOutputPriority : was.sched_priority, now.sched_priority);
  });
  t.join();
  EXPECT_GT(kJLOutputPriority, kJLLoaderPriority);

  ScopedEnv dummy("SDL_AUDIODRIVER", "dummy");
  const bool allowed = realtimeAllowed();
  for (const char* off : {"0", "1"}) {
    ScopedEnv env("JL_NO_REALTIME", off);
    EXPECT_EQ(off[0] == '0', JL_RealtimeWanted());
    MMSysAudio a(silentPull, 4096, 2, 44100, 2048, 512);
    pulls = 0;
    ASSERT_EQ(0, a.Start());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (pulls.load() < 2 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_GE(pulls.load(), 2) << "no callbacks";
    EXPECT_EQ(allowed && off[0] == '0', a.realtime()) << "JL_NO_REALTIME=" << off;
    EXPECT_EQ(0, a.Stop());
  }
}

namespace {

// Mixes silence, once taking 40 ms over it (a 512-frame buffer lasts 11.6).
std::atomic<int> slowPulls{0};
int oneSlowPull(void* buffer, int frames) {
  memset(buffer, 0, size_t(frames) * 4);
  if (slowPulls.fetch_add(1) == 3) std::this_thread::sleep_for(std::chrono::milliseconds(40));
  return 0;
}

}  // namespace

// A callback that comes more than two device buffers after the one before
// is counted late and kept with its gap and how long the one before ran,
// so a soak can tell our own slow mixing from a wait for the processor.
TEST(EngineOutput, ALateCallbackIsKeptWithItsGapAndThePreviousCallbacksTime) {
  ScopedEnv dummy("SDL_AUDIODRIVER", "dummy");
  slowPulls = 0;
  MMSysAudio a(oneSlowPull, 4096, 2, 44100, 2048, 512);
  ASSERT_EQ(0, a.Start());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (slowPulls.load() < 8 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_GE(slowPulls.load(), 8) << "no callbacks";
  EXPECT_EQ(0, a.Stop());
  JLLateCallback log[MMSysAudio::kLateKept];
  const int n = a.lateLog(log, MMSysAudio::kLateKept);
  ASSERT_GE(n, 1);
  ASSERT_EQ(a.lateCallbacks(), uint32_t(n));  // fewer than the log keeps
  // The slow one is among them (a busy machine may add others).
  const auto slow = std::find_if(log, log + n, [](const JLLateCallback& c) { return c.tookUs >= 40000; });
  ASSERT_NE(log + n, slow);
  EXPECT_GE(slow->gapUs, slow->tookUs);
  EXPECT_GE(a.longestCallbackUs(), 40000u);
  EXPECT_GE(a.longestGapUs(), slow->gapUs);
}

namespace {

// The first processor this thread may run on.
int firstAllowedCpu() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return -1;
  for (int c = 0; c < CPU_SETSIZE; ++c)
    if (CPU_ISSET(c, &set)) return c;
  return -1;
}

}  // namespace

// The track and synth locks are shared by the real-time output thread and
// ordinary threads. Here an ordinary holder and a real-time waiter share one
// processor: the waiter must get the lock as soon as the holder lets go,
// which needs the holder to run at the waiter's priority meanwhile. (A spin
// lock kept the holder off the processor until the kernel's real-time
// throttling, about a second, and the output stood still that long.)
TEST(EngineOutput, ARealTimeWaiterGetsATrackLockFromAnOrdinaryHolderOnItsProcessor) {
  TrackLock lock;
  EXPECT_TRUE(lock.inherits());
  const int cpu = firstAllowedCpu();
  ASSERT_GE(cpu, 0);
  std::atomic<bool> waiting{false};
  std::atomic<int64_t> waitedUs{-1};
  std::thread holder([&] {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    ASSERT_EQ(0, pthread_setaffinity_np(pthread_self(), sizeof one, &one));
    lock.lock();
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&attr, SCHED_FIFO);
    sched_param prio{};
    prio.sched_priority = kJLOutputPriority;
    pthread_attr_setschedparam(&attr, &prio);
    pthread_attr_setaffinity_np(&attr, sizeof one, &one);
    struct Waiter {
      TrackLock* lock;
      std::atomic<bool>* waiting;
      std::atomic<int64_t>* waitedUs;
    } w{&lock, &waiting, &waitedUs};
    pthread_t rt;
    const int made = pthread_create(
        &rt, &attr,
        [](void* p) -> void* {
          Waiter* w = static_cast<Waiter*>(p);
          const auto asked = std::chrono::steady_clock::now();
          w->waiting->store(true);
          w->lock->lock();
          w->waitedUs->store(
              std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - asked).count());
          w->lock->unlock();
          return nullptr;
        },
        &w);
    pthread_attr_destroy(&attr);
    if (made != 0) {  // no real-time threads here: nothing to wait on
      lock.unlock();
      return;
    }
    // Pinned beside a real-time thread, this one runs again only while that
    // one waits without the processor.
    while (!waiting.load()) {
    }
    lock.unlock();
    pthread_join(rt, nullptr);
  });
  holder.join();
  if (waitedUs.load() < 0) GTEST_SKIP() << "the system refuses real-time threads";
  EXPECT_LT(waitedUs.load(), 200000) << "the real-time waiter got the lock only after " << waitedUs.load() << " us";
}
