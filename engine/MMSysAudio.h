// Audio output, 44100 Hz 16-bit stereo, in one of two modes:
// - pull (low latency): SDL calls us for every device buffer (a few hundred
//   frames) and the engine's callback mixes it right there, so a change is
//   heard one device buffer after it is made;
// - queued ("safe"): a fixed ring of 2048-frame buffers kept queued on the
//   device by a feeder thread that wakes every 23 ms (about 0.4 s ahead).
// The procedural wDB* layer holds the one instance the engine uses.
//
// Threads: construction, Start, Stop and the wDB* calls run on the UI thread.
// Callback runs on the feeder thread under the instance lock (queued mode);
// PullCallback runs on SDL's audio thread and takes no lock at all (pull
// mode). Both call the engine's mixer: audio thread. Start returns 0, 1 if
// already started, a positive code when the device cannot be opened, -1 on
// other failures.
#pragma once
#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <mutex>

// Fills `frames` stereo frames; -1 asks the driver to stop.

// One late pull callback, as the output keeps the last few: when it came
// (SDL's performance counter, in microseconds), how long after the one
// before it, and how long that one before had itself run. A long `tookUs`
// puts the time in our mixing; a short one in the wait between callbacks
// (the system's scheduler, or the machine's).
struct JLLateCallback {
  uint64_t atUs;
  uint32_t gapUs;
  uint32_t tookUs;
};
using AudioCallbackFn = int (*)(void* buffer, int frames);

class MMSysAudio {
 public:
  static constexpr int kMaxBuffers = 16;
  static constexpr int kPrefillFrames = 8192;
  static constexpr int kErrNoDevice = 2;
  // Fades at a start and a stop: about 5 ms, so neither leaves a step.
  static constexpr int kFadeFrames = 220;

  // Device buffers SDL may hand us in pull mode; larger ones are refused.
  static constexpr int kMaxDeviceFrames = 8192;

  // deviceFrames > 0 selects pull mode with that device buffer (a request:
  // the device's own size is taken); 0 selects queued mode.
  MMSysAudio(AudioCallbackFn callback, int frames, int channels, int rate, int framesPerBuffer,
             int deviceFrames = 0);
  ~MMSysAudio();
  MMSysAudio(const MMSysAudio&) = delete;
  MMSysAudio& operator=(const MMSysAudio&) = delete;

  bool valid() const { return valid_; }
  int bufferCount() const { return nBuffers_; }
  int queuedBuffers() const { return queued_.load(); }
  bool isStarted() const { return started_.load() != 0; }
  bool pullMode() const { return pullFrames_ > 0; }
  // The device buffer asked for (0: queued mode).
  int requestedFrames() const { return pullFrames_; }
  // Frames of one device buffer as the device granted it (0 before Start).
  int deviceFrames() const { return deviceFrames_.load(); }
  // Frames between a sample leaving the mixer and leaving the device.
  int latencyFrames();
  // Callbacks that came more than one device buffer later than due (the
  // device played silence or repeated meanwhile), since Start.
  uint32_t lateCallbacks() const { return late_.load(); }
  // The last late callbacks (at most kLateKept, oldest first) into `out`;
  // returns how many. UI thread; the log is read while the audio thread may
  // write it, so an entry being written at that moment can come out mixed.
  static constexpr int kLateKept = 16;
  int lateLog(JLLateCallback* out, int max) const;
  // The longest time between two pull callbacks since Start, and the
  // longest one callback ran, in microseconds.
  uint32_t longestGapUs() const { return longestGapUs_.load(std::memory_order_relaxed); }
  uint32_t longestCallbackUs() const { return longestTookUs_.load(std::memory_order_relaxed); }
  // Whether the pull callbacks' thread took real-time scheduling.
  bool realtime() const { return realtime_.load(); }
  // True once SDL reports the device gone (unplugged) while started.
  bool deviceLost();
  // Test seam: the device goes away as an unplugged one does (SDL stops
  // asking for sound and reports it stopped); while `present` is false no
  // device opens. Any thread.
  static void SetDevicePresent(bool present);
  static bool DevicePresent() { return present_.load(); }
  // Pull mode: fades the output to silence over `frames` and waits (up to
  // `ms`) until the fade has been played out. Returns at once otherwise.
  void fadeOut(int frames, int ms);

  int Start();
  int Stop();
  // Pull mode, the device kept open between two playbacks: Idle makes the
  // callback write silence without calling the engine (it returns once no
  // callback that could still call it is running); Resume lets it call the
  // engine again from the next device buffer, fading in from silence.
  // Resume returns 0, or -1 when the instance is not an idle open device.
  void Idle();
  int Resume();
  bool idle() const { return idle_.load() != 0; }
  void Callback();
  // One timer tick: feeds the running instance, if any.
  static void AudioOutTimeSlice();

 private:
  int countQueued();
  static void SDLCALL PullCallback(void* self, Uint8* stream, int len);
  void pull(int16_t* out, int frames);

  int16_t* buffers_[kMaxBuffers] = {};
  int16_t* prefill_ = nullptr;
  AudioCallbackFn callback_;
  SDL_AudioDeviceID device_ = 0;
  int32_t totalFrames_;
  int32_t framesPerBuffer_;
  int32_t deviceId_ = -1;
  int32_t nextBuffer_ = 0;
  std::atomic<int32_t> started_{0};
  int32_t channels_;
  int32_t rate_;
  std::atomic<int32_t> stopping_{0};
  // Recursive: the feeder may stop the instance from inside its own call.
  std::recursive_mutex lock_;
  std::atomic<int32_t> queued_{0};
  int nBuffers_ = 0;
  bool valid_ = false;
  bool sdlAudioUp_ = false;
  int32_t pullFrames_ = 0;
  std::atomic<int32_t> deviceFrames_{0};
  std::atomic<uint32_t> late_{0};
  // Set by Start before it unpauses the device (SDL's device lock orders
  // it before every callback); the first pull callback takes it and moves
  // SDL's audio thread to real-time scheduling.
  bool raiseDue_ = false;
  std::atomic<bool> realtime_{false};
  // Pull mode, audio thread only: when the last callback began and ended.
  uint64_t lastPull_ = 0;
  uint64_t lastPullEnd_ = 0;
  struct LateEntry {
    std::atomic<uint64_t> atUs{0};
    std::atomic<uint32_t> gapUs{0};
    std::atomic<uint32_t> tookUs{0};
  };
  LateEntry lateLog_[kLateKept];
  std::atomic<uint32_t> longestGapUs_{0};
  std::atomic<uint32_t> longestTookUs_{0};
  // Fade to silence: frames left (-1 none); 0 = faded, the output is silent.
  std::atomic<int32_t> fadeLeft_{-1};
  int32_t fadeLen_ = 1;
  // Fade in from silence at a start: frames left (0 none).
  std::atomic<int32_t> fadeInLeft_{0};
  // Open but not playing: the callback writes silence.
  std::atomic<int32_t> idle_{0};
  // Set by Resume: the audio thread starts its lateness clock anew.
  std::atomic<int32_t> restartClock_{0};

  static std::atomic<MMSysAudio*> running_;
  static std::atomic<bool> present_;
  // Made while no device was present (the seam): counts as lost.
  std::atomic<uint32_t> openedAt_{0};
  static std::atomic<uint32_t> losses_;
};

int wDBInit(AudioCallbackFn callback, int bytes);
int wDBSetParameters(int, int, int, int);
int wDBStart();
void wDBStop();
void wDBClose();
// The output mode for the next wDBInit: 0 queued, else pull mode asking for
// that many frames per device buffer. JL_AUDIO_FRAMES in the environment
// (a frame count, 0 for queued) overrides it, for tests and benches.
void wDBSetDeviceFrames(int frames);
int wDBDeviceFramesWanted();
// Frames between mixing and the device (0 when no output runs).
int wDBLatencyFrames();
// Late device callbacks since the output started (pull mode).
uint32_t wDBLateCallbacks();
// The running output's last late callbacks (see MMSysAudio::lateLog); 0
// when none runs.
int wDBLateLog(JLLateCallback* out, int max);
// The running output's longest gap between callbacks and longest callback,
// in microseconds (0 when none runs).
uint32_t wDBLongestGapUs();
uint32_t wDBLongestCallbackUs();
// Whether the output's thread runs real-time (pull mode; false before the
// first callback and where the system refuses it).
bool wDBOutputRealtime();
// Whether wDBStop keeps a pull-mode device open (silent) for the next
// start, so a start is heard one device buffer later instead of after the
// device has opened again. On by default; JL_AUDIO_CLOSE_ON_STOP=1 in the
// environment turns it off (for captures that begin with every start).
void wDBSetKeepOpen(bool on);
bool wDBKeepOpen();
// A device stays open only while the output's format is the one wanted;
// the wDB calls close it otherwise. True while one is open and idle.
bool wDBIdleOpen();
// True once while started when the device has gone away; the caller stops.
bool wDBDeviceLost();
// Manual feed: wDBStart opens no device and starts no timer; whoever runs
// the engine pulls output with GetResampled itself (offline rendering,
// tests). UI thread, while the engine is stopped.
void wDBSetManualFeed(bool on);
bool wDBManualFeed();
// The current instance (null when none); for diagnostics and tests.
MMSysAudio* wDBInstance();
// Test seam for a device that goes away and comes back (MMSysAudio::
// SetDevicePresent). JL_AUDIO_LOSE_AFTER_MS=N in the environment makes the
// first device that plays go away N ms after it started, and come back
// for the next start.
void wDBSetDevicePresent(bool present);

int wMidiOpen();
int wMidiClose();
int wMidiStartStop(int on);
int wMidiClock(int on);
