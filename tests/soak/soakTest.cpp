// A playback soak: the real loader and audio threads run, at the Normal
// latency (pull mode, 512-frame device buffers) unless JL_AUDIO_FRAMES says
// otherwise, while this thread keeps changing loops (mostly immediate
// changes), tempo, volumes, synth sets, arpeggios and user loops every
// JL_SOAK_INTERVAL_MS (default 200) with a burst of quick edits between.
// It is a long run, not a unit test: how many blocks a ring ran dry, how many
// device callbacks came late and how long the output stood still depend on
// how busy the machine is, so they are reported as figures ("soak: ...
// underruns ..."), not checked. Under ThreadSanitizer the run fails on any
// race. It also reports how long each planned change kept the asking
// thread (the interface's, which reads the new loop's start).
// JL_SOAK_SECONDS sets the length (default 60); ctest runs a short
// one. The second test measures, through the disk driver, how soon an
// immediate loop change and a mute are heard at each latency setting.
// Built as jl_soak; see bench/README.md.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/JLEngine.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"
#include "engine/userloop/Elast.h"

using namespace enginetest;

namespace {

int envInt(const char* name, int fallback) {
  const char* s = getenv(name);
  const int n = s ? atoi(s) : 0;
  return n > 0 ? n : fallback;
}

int soakSeconds() {
  const char* s = getenv("JL_SOAK_SECONDS");
  const int n = s ? atoi(s) : 60;
  return n > 0 ? n : 60;
}

void writeSynthSet(const TempFolder& tf, const std::string& sub, int id) {
  static const char* const names[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};
  mkdir(tf.file(sub).c_str(), 0755);
  for (int k = 0; k < 36; ++k)
    tf.write(sub + "/" + names[k % 12] + char('2' + k / 12) + ".wav", wavBytes(id * 40 + k, 11025, 1 + k % 2));
}

// The machine's steal time so far (the first line of /proc/stat, in the
// kernel's clock ticks): time a virtual machine's processors were taken by
// its host. -1 where it cannot be read.
long stealTicks() {
  FILE* f = fopen("/proc/stat", "r");
  if (!f) return -1;
  long v[8] = {};
  char line[512];
  const bool ok = fgets(line, sizeof line, f) &&
                  sscanf(line, "cpu %ld %ld %ld %ld %ld %ld %ld %ld", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                         &v[6], &v[7]) == 8;
  fclose(f);
  return ok ? v[7] : -1;
}

}  // namespace

TEST(EngineSoak, EverythingChangesWhilePlaying) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  TempFolder tf;
  const int beats[] = {4, 2, 8, 1, 4, 16, 2, 32, 4, 8, 1, 4};
  for (int i = 0; i < 12; ++i) tf.write("l" + std::to_string(i) + ".wav", wavBytes(i + 1, beats[i] * kBeat, 1 + i % 2));
  tf.write("user.wav", wavBytes(99, 3 * kBeat, 2));
  tf.write("garbage.wav", std::string(5000, '\x5a'));
  writeSynthSet(tf, "setA", 1);
  writeSynthSet(tf, "setB", 2);

  JLEngine e;
  e.init();
  e.setOutputFrames(512);
  e.stop();
  e.setMixerFrequency(44100);
  e.samplesListReset();
  e.samplesBpm(120.0f);
  for (int i = 0; i < 12; ++i) e.samplesListAdd((tf.ulo() + "l" + std::to_string(i) + ".wav").c_str(), 0);
  e.samplesListAdd((tf.ulo() + "garbage.wav").c_str(), 0);
  TrackUnderruns = 0;
  const int intervalMs = envInt("JL_SOAK_INTERVAL_MS", 200);
  e.play();
  for (short t = 0; t < 8; ++t) e.setTrackSample(t, t);
  e.setMixerBpm(120.0f);
  e.setMixerVolume(100);
  ASSERT_EQ(2, PlayingStatus.load());

  std::mt19937 rng(2026);
  const auto start = std::chrono::steady_clock::now();
  const auto until = start + std::chrono::seconds(soakSeconds());
  int32_t lastTimeLine = TimeLine.load();
  auto lastProgress = start;
  std::chrono::steady_clock::duration longestStill{};
  auto nextChange = start;
  int latency = 0;
  std::vector<std::chrono::steady_clock::duration> changeTimes;
  // Steal time through the run, to tell a late callback the host caused
  // from one of our own.
  struct StealAt {
    uint64_t atUs;
    long ticks;
  };
  std::vector<StealAt> steal;
  const uint64_t hz = SDL_GetPerformanceFrequency();
  auto counterUs = [hz] { return SDL_GetPerformanceCounter() / (hz / 1000000 ? hz / 1000000 : 1); };
  const uint64_t startUs = counterUs();
  while (std::chrono::steady_clock::now() < until) {
    steal.push_back({counterUs(), stealTicks()});
    const short t = short(rng() % 8);
    if (std::chrono::steady_clock::now() >= nextChange) {
      // The planned change: an immediate loop change on one track.
      nextChange += std::chrono::milliseconds(intervalMs);
      e.sync_atGrooveSet(0);
      // Its decoded start is read on this (the interface's) thread.
      const auto asked = std::chrono::steady_clock::now();
      e.setTrackSample(t, short(rng() % 12));
      changeTimes.push_back(std::chrono::steady_clock::now() - asked);
      latency = std::max(latency, e.outputLatencyFrames());
    }
    switch (rng() % 12) {
      case 0: case 1: e.setTrackSample(t, short(int(rng() % 14) - 1)); break;
      case 2: e.sync_atGrooveSet(short(rng() % 2)); break;
      case 3: e.setTrackVolume(t, short(rng() % 128)); break;
      case 4: e.setTrackPan(t, short(int(rng() % 128) - 64)); break;
      case 5: e.setMixerBpm(90.0f + float(rng() % 70)); break;
      case 6: e.synth_SetFolder((tf.ulo() + (rng() % 2 ? "setA:" : "setB:")).c_str()); break;
      case 7: e.synth_Arp(short(rng() % 4), short(1 + rng() % 4), rng() % 3 ? "c1e1g1" : ""); break;
      case 8: e.synth_SetPoly(short(1 + rng() % 16)); break;
      case 9: e.userLoop_load((tf.ulo() + (rng() % 4 ? "user.wav" : "garbage.wav")).c_str()); break;
      case 10: {
        jlUserLoopSettingsRec s = {};
        s.on = rng() % 4 != 0;
        s.bars = short(1 << (rng() % 4));
        s.rate = 0.5f + float(rng() % 150) / 100.0f;
        s.volume = float(rng() % 100) / 100.0f;
        s.startPercent = float(rng() % 40);
        s.endPercent = 60.0f + float(rng() % 40);
        e.userLoop_params(&s);
        break;
      }
      default: e.getMixerBeat(); break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (TimeLine.load() != lastTimeLine) {
      lastTimeLine = TimeLine.load();
      lastProgress = now;
    } else {
      longestStill = std::max(longestStill, now - lastProgress);
    }
    // A few quick edits between the planned changes.
    std::this_thread::sleep_for(std::chrono::milliseconds(std::max(3, intervalMs / 8)));
  }
  const int64_t played = TimeLine.load();
  const uint32_t late = wDBLateCallbacks();
  JLLateCallback lateLog[MMSysAudio::kLateKept];
  const int logged = wDBLateLog(lateLog, MMSysAudio::kLateKept);
  const uint32_t longestGapUs = wDBLongestGapUs(), longestCallbackUs = wDBLongestCallbackUs();
  const uint32_t all = e.outputUnderruns();
  const bool realtime = wDBOutputRealtime();
  e.stop();
  e.exit();
  const long stillMs = (long)std::chrono::duration_cast<std::chrono::milliseconds>(longestStill).count();
  printf("soak: %d s, %lld frames played, %u ring underruns, %u late device callbacks (%u in all), "
         "device buffer %d frames, output still for at most %ld ms, output thread %s\n",
         soakSeconds(), (long long)played, TrackUnderruns.load(), late, all, latency, stillMs,
         realtime ? "real-time" : "not real-time");
  printf("soak: callbacks at most %.1f ms apart; one callback ran at most %.2f ms\n", longestGapUs / 1000.0,
         longestCallbackUs / 1000.0);
  for (int i = 0; i < logged; ++i) {
    // Steal ticks from the sample before the late callback's wait began to
    // the first sample after it ended.
    const uint64_t from = lateLog[i].atUs - lateLog[i].gapUs, to = lateLog[i].atUs;
    long before = -1, after = -1;
    for (const StealAt& st : steal) {
      if (st.atUs <= from) before = st.ticks;
      if (st.atUs >= to) {
        after = st.ticks;
        break;
      }
    }
    printf("soak: late callback at %.3f s: %.1f ms after the one before, which ran %.2f ms; host steal meanwhile %s\n",
           (lateLog[i].atUs - startUs) / 1e6, lateLog[i].gapUs / 1000.0, lateLog[i].tookUs / 1000.0,
           before >= 0 && after >= 0 ? (std::to_string((after - before) * 1000 / sysconf(_SC_CLK_TCK)) + " ms").c_str()
                                     : "not known");
  }
  if (!changeTimes.empty()) {
    std::sort(changeTimes.begin(), changeTimes.end());
    auto ms = [](std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    const size_t over = size_t(changeTimes.end() - std::upper_bound(changeTimes.begin(), changeTimes.end(),
                                                                    std::chrono::milliseconds(16)));
    printf("soak: an immediate loop change took the asking thread %.2f ms (median), %.2f ms (99th percentile), "
           "%.1f ms at most; %zu of %zu over 16 ms\n",
           ms(changeTimes[changeTimes.size() / 2]), ms(changeTimes[changeTimes.size() * 99 / 100]),
           ms(changeTimes.back()), over, changeTimes.size());
  }
  ::testing::Test::RecordProperty("underruns", int(all));
  ::testing::Test::RecordProperty("longest_still_ms", int(stillMs));
  EXPECT_GT(played, 0);  // the output ran at all
}

namespace {

// Reads the disk driver's capture as left-channel samples.
std::vector<int16_t> leftOf(const std::string& raw) {
  std::vector<int16_t> l;
  for (size_t f = 0; f + 4 <= raw.size(); f += 4) l.push_back(int16_t(uint8_t(raw[f]) | (uint8_t(raw[f + 1]) << 8)));
  return l;
}

long fileFrames(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? long(st.st_size / 4) : 0;
}

// Plays loop 1 (4 beats) through the disk driver with the given device
// buffer (0 = queued), then at a random moment makes `change` and returns
// the frames from what the device had written at that moment to the first
// frame that differs from loop 1.
enum class Change { loop, loopInHead, mute };

long heardAfter(int deviceFrames, Change change, std::mt19937& rng) {
  TempFolder tf;
  tf.write("a.wav", wavBytes(1, 4 * kBeat, 2));
  tf.write("b.wav", wavBytes(2, 3 * kBeat, 2));
  const std::string capture = tf.file("capture.raw");
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
  JLEngine e;
  e.init();
  e.setOutputFrames(deviceFrames);
  e.setMixerFrequency(44100);
  e.samplesListReset();
  e.samplesBpm(120.0f);
  e.samplesListAdd((tf.ulo() + "a.wav").c_str(), 0);
  e.samplesListAdd((tf.ulo() + "b.wav").c_str(), 0);
  e.setMixerVolume(128);
  e.play();
  e.setTrackVolume(0, 64);
  e.setTrackSample(0, 0);
  if (change == Change::loopInHead) {
    // Loop B (3 beats) begins a repetition every 1.5 s of the timeline:
    // a change in the 250 ms after that starts it inside its head.
    const long want = 3 * kBeat + long(rng() % 11025);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (fileFrames(capture) < want && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::microseconds(500));
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(600 + rng() % 200));
  }
  const long at = fileFrames(capture);
  if (change == Change::mute)
    e.setTrackVolume(0, 0);
  else
    e.setTrackSample(0, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(deviceFrames == 0 ? 2500 : 400));
  e.stop();
  e.exit();
  unsetenv("SDL_DISKAUDIOFILE");
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const std::vector<int16_t> l = leftOf(tf.read("capture.raw"));
  size_t s = 0;
  while (s < l.size() && l[s] == 0) ++s;
  // A pull-mode start fades in, and its first frame (gain 0) is silent.
  if (deviceFrames > 0 && s > 0) --s;
  for (size_t f = std::max<size_t>(s, size_t(at)); f < l.size(); ++f)
    if (std::abs(l[f] - marker(1, int64_t(f - s) % (4 * kBeat)) / 2) > 1) return long(f) - at;
  return -1;
}

}  // namespace

TEST(EngineSoak, HowSoonChangesAreHeard) {
  std::mt19937 rng(7);
  const int runs = envInt("JL_LATENCY_RUNS", 5);
  for (int frames : {256, 512, 0}) {
    for (Change change : {Change::loop, Change::loopInHead, Change::mute}) {
      if (frames == 0 && change == Change::loopInHead) continue;  // no heads in the queued output
      long lo = LONG_MAX, hi = 0, sum = 0;
      for (int i = 0; i < runs; ++i) {
        const long d = heardAfter(frames, change, rng);
        ASSERT_GE(d, 0) << "the change was never heard";
        lo = std::min(lo, d);
        hi = std::max(hi, d);
        sum += d;
      }
      printf("latency: %-6s %-14s heard after %.1f ms on average (%.1f-%.1f), %d runs\n",
             frames == 0 ? "safe" : frames == 256 ? "low" : "normal",
             change == Change::mute ? "mute" : change == Change::loop ? "loop change" : "change in head",
             sum * 1000.0 / runs / 44100, lo * 1000.0 / 44100, hi * 1000.0 / 44100, runs);
    }
  }
}
