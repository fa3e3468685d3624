// Audio output: a fixed ring of 2048-frame buffers (44100 Hz, 16-bit stereo)
// kept queued on an SDL audio device by a feeder thread that wakes every
// 23 ms and asks the engine's callback for each free buffer. The procedural
// wDB* layer holds the one instance the engine uses.
//
// Threads: construction, Start, Stop and the wDB* calls run on the UI thread;
// Callback runs on the feeder thread under the instance lock (it calls the
// engine's mixer: audio thread). Start returns 0, 1 if already started, a
// positive code when the device cannot be opened, -1 on other failures.
#pragma once
#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <mutex>

// Fills `frames` stereo frames; -1 asks the driver to stop.
using AudioCallbackFn = int (*)(void* buffer, int frames);

class MMSysAudio {
 public:
  static constexpr int kMaxBuffers = 16;
  static constexpr int kPrefillFrames = 8192;
  static constexpr int kErrNoDevice = 2;

  MMSysAudio(AudioCallbackFn callback, int frames, int channels, int rate, int framesPerBuffer);
  ~MMSysAudio();
  MMSysAudio(const MMSysAudio&) = delete;
  MMSysAudio& operator=(const MMSysAudio&) = delete;

  bool valid() const { return valid_; }
  int bufferCount() const { return nBuffers_; }
  int queuedBuffers() const { return queued_.load(); }
  bool isStarted() const { return started_.load() != 0; }

  int Start();
  int Stop();
  void Callback();
  // One timer tick: feeds the running instance, if any.
  static void AudioOutTimeSlice();

 private:
  int countQueued();

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

  static std::atomic<MMSysAudio*> running_;
};

int wDBInit(AudioCallbackFn callback, int bytes);
int wDBSetParameters(int, int, int, int);
int wDBStart();
void wDBStop();
void wDBClose();
// Manual feed: wDBStart opens no device and starts no timer; whoever runs
// the engine pulls output with GetResampled itself (offline rendering,
// tests). UI thread, while the engine is stopped.
void wDBSetManualFeed(bool on);
bool wDBManualFeed();
// The current instance (null when none); for diagnostics and tests.
MMSysAudio* wDBInstance();

int wMidiOpen();
int wMidiClose();
int wMidiStartStop(int on);
int wMidiClock(int on);
