#include "engine/MMSysAudio.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "engine/AudioFormat.h"
#include "engine/JLThreadPriority.h"
#include "engine/midi/JLMidi.h"

std::atomic<MMSysAudio*> MMSysAudio::running_{nullptr};
std::atomic<bool> MMSysAudio::present_{true};
std::atomic<uint32_t> MMSysAudio::losses_{0};

void MMSysAudio::SetDevicePresent(bool present) {
  // Every device open now is lost; later ones open only once present.
  if (!present) losses_.fetch_add(1);
  present_ = present;
}

MMSysAudio::MMSysAudio(AudioCallbackFn callback, int frames, int channels, int rate,
                       int framesPerBuffer, int deviceFrames)
    : callback_(callback),
      framesPerBuffer_(framesPerBuffer == -1 ? frames : framesPerBuffer),
      channels_(channels),
      rate_(rate),
      pullFrames_(deviceFrames > 0 ? deviceFrames : 0) {
  if (pullFrames_ > kMaxDeviceFrames) pullFrames_ = kMaxDeviceFrames;
  totalFrames_ = frames + framesPerBuffer_;
  if (framesPerBuffer_ <= 0 || channels_ <= 0 || !callback_) return;
  nBuffers_ = totalFrames_ / framesPerBuffer_;
  if (nBuffers_ > kMaxBuffers) nBuffers_ = kMaxBuffers;
  if (nBuffers_ < 1) return;
  for (int i = 0; i < nBuffers_; ++i) {
    buffers_[i] = static_cast<int16_t*>(M_alloc(long(framesPerBuffer_) * channels_ * 2));
    if (!buffers_[i]) return;
  }
  prefill_ = static_cast<int16_t*>(M_alloc(long(kPrefillFrames) * channels_ * 2));
  valid_ = prefill_ != nullptr;
}

MMSysAudio::~MMSysAudio() {
  Stop();
  // Stop took the lock, so no feed is in flight; the timer is gone before
  // any instance is destroyed (wDBClose).
  std::lock_guard<std::recursive_mutex> g(lock_);
  for (int16_t*& b : buffers_) {
    M_free(b);
    b = nullptr;
  }
  M_free(prefill_);
  prefill_ = nullptr;
}

int MMSysAudio::countQueued() {
  const int bytes = int(SDL_GetQueuedAudioSize(device_));
  const int per = framesPerBuffer_ * channels_ * 2;
  const int n = (bytes + per - 1) / per;
  queued_ = n;
  return n;
}

int MMSysAudio::Start() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (started_.load()) return 1;
  if (!valid_) return -1;
  if (!present_.load()) return kErrNoDevice;
  openedAt_ = losses_.load();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return kErrNoDevice;
  sdlAudioUp_ = true;
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = rate_;
  want.format = AUDIO_S16SYS;
  want.channels = Uint8(channels_);
  want.samples = Uint16(pullMode() ? pullFrames_ : framesPerBuffer_);
  want.callback = nullptr;  // queued: the feeder pushes
  if (pullMode()) {
    want.callback = &MMSysAudio::PullCallback;
    want.userdata = this;
  }
  SDL_AudioSpec have;
  SDL_zero(have);
  // A device that will not take our buffer size gives its own; SDL converts
  // rate and format for us.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, pullMode() ? SDL_AUDIO_ALLOW_SAMPLES_CHANGE : 0);
  if (device_ != 0 && pullMode() && (have.samples == 0 || have.samples > kMaxDeviceFrames)) {
    SDL_CloseAudioDevice(device_);
    device_ = 0;
  }
  if (device_ == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sdlAudioUp_ = false;
    return kErrNoDevice;
  }
  // One line per device opened, for whoever reads the program's log.
  fprintf(stderr, "audio: device opened, %d-frame buffers, %s\n", int(have.samples), pullMode() ? "pull" : "queued");
  if (pullMode()) {
    deviceFrames_ = have.samples;
    // SDL's audio thread raises itself at its first callback.
    raiseDue_ = JL_RealtimeWanted();
    realtime_ = false;
    late_ = 0;
    longestGapUs_ = 0;
    longestTookUs_ = 0;
    lastPull_ = 0;
    fadeLeft_ = -1;
    fadeInLeft_ = kFadeFrames;
    idle_ = 0;
    stopping_ = 0;
    started_ = 1;
    SDL_PauseAudioDevice(device_, 0);
    return 0;
  }
  deviceFrames_ = have.samples;
  nextBuffer_ = 0;
  queued_ = 0;
  for (int k = 0; k < 4; ++k) {
    if (callback_(prefill_ + k * 2048 * channels_, 2048) == -1) {
      SDL_CloseAudioDevice(device_);
      device_ = 0;
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      sdlAudioUp_ = false;
      return -1;
    }
  }
  if (SDL_QueueAudio(device_, prefill_, Uint32(kPrefillFrames * channels_ * 2)) != 0) {
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sdlAudioUp_ = false;
    return -1;
  }
  countQueued();
  stopping_ = 0;
  started_ = 1;
  running_ = this;
  SDL_PauseAudioDevice(device_, 0);
  return 0;
}

int MMSysAudio::Stop() {
  if (!started_.load()) return 0;
  MMSysAudio* self = this;
  running_.compare_exchange_strong(self, nullptr);
  stopping_ = 1;
  // Waits for a feed in progress (unless we are that feed).
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (!started_.load()) return 0;
  // Pausing waits for a pull callback in progress (SDL's device lock).
  SDL_PauseAudioDevice(device_, 1);
  if (!pullMode()) SDL_ClearQueuedAudio(device_);
  SDL_CloseAudioDevice(device_);
  deviceFrames_ = 0;
  device_ = 0;
  if (sdlAudioUp_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  sdlAudioUp_ = false;
  queued_ = 0;
  started_ = 0;
  return 0;
}

void MMSysAudio::Callback() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (!started_.load() || openedAt_.load() != losses_.load()) return;
  while (!stopping_.load() && countQueued() < nBuffers_) {
    int16_t* buf = buffers_[nextBuffer_];
    if (callback_(buf, framesPerBuffer_) == -1) {
      Stop();
      return;
    }
    if (stopping_.load()) break;
    SDL_QueueAudio(device_, buf, Uint32(framesPerBuffer_ * channels_ * 2));
    nextBuffer_ = (nextBuffer_ + 1) % nBuffers_;
  }
}

void MMSysAudio::Idle() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (!started_.load() || !pullMode()) return;
  idle_ = 1;
  // SDL holds the device lock around every callback: once we have had it,
  // no callback that read idle_ as 0 is still running.
  SDL_LockAudioDevice(device_);
  SDL_UnlockAudioDevice(device_);
}

int MMSysAudio::Resume() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (!started_.load() || !pullMode() || !idle_.load()) return -1;
  late_ = 0;
  longestGapUs_ = 0;
  longestTookUs_ = 0;
  restartClock_ = 1;
  fadeLeft_ = -1;
  fadeInLeft_ = kFadeFrames;
  idle_.store(0, std::memory_order_release);
  return 0;
}

void SDLCALL MMSysAudio::PullCallback(void* self, Uint8* stream, int len) {
  MMSysAudio* m = static_cast<MMSysAudio*>(self);
  m->pull(reinterpret_cast<int16_t*>(stream), len / (2 * 2));
  m->lastPullEnd_ = SDL_GetPerformanceCounter();
}

int MMSysAudio::lateLog(JLLateCallback* out, int max) const {
  const uint32_t n = late_.load(std::memory_order_acquire);
  const uint32_t kept = n < uint32_t(kLateKept) ? n : uint32_t(kLateKept);
  int k = 0;
  for (uint32_t i = n - kept; i < n && k < max; ++i, ++k) {
    const LateEntry& e = lateLog_[i % kLateKept];
    out[k] = {e.atUs.load(std::memory_order_relaxed), e.gapUs.load(std::memory_order_relaxed),
              e.tookUs.load(std::memory_order_relaxed)};
  }
  return k;
}

// AUDIO. No lock: Stop pauses the device, which waits for this call.
void MMSysAudio::pull(int16_t* out, int frames) {
  if (raiseDue_) {
    raiseDue_ = false;
    realtime_.store(JL_RaiseThreadPriority(kJLOutputPriority), std::memory_order_relaxed);
  }
  const uint64_t now = SDL_GetPerformanceCounter();
  if (restartClock_.exchange(0, std::memory_order_acq_rel)) lastPull_ = 0;
  if (lastPull_ != 0 && frames > 0) {
    // Due one buffer after the last; more than two buffers apart means the
    // device ran out meanwhile.
    const uint64_t hz = SDL_GetPerformanceFrequency();
    const uint64_t due = hz * uint64_t(frames) / uint64_t(rate_);
    const uint64_t gap = now - lastPull_;
    const uint64_t took = lastPullEnd_ > lastPull_ ? lastPullEnd_ - lastPull_ : 0;
    auto us = [hz](uint64_t ticks) { return uint32_t(std::min<uint64_t>(ticks * 1000000 / hz, UINT32_MAX)); };
    if (us(gap) > longestGapUs_.load(std::memory_order_relaxed)) longestGapUs_.store(us(gap), std::memory_order_relaxed);
    if (us(took) > longestTookUs_.load(std::memory_order_relaxed))
      longestTookUs_.store(us(took), std::memory_order_relaxed);
    if (gap > 2 * due) {
      LateEntry& e = lateLog_[late_.load(std::memory_order_relaxed) % kLateKept];
      e.atUs.store(now / (hz / 1000000 ? hz / 1000000 : 1), std::memory_order_relaxed);
      e.gapUs.store(us(gap), std::memory_order_relaxed);
      e.tookUs.store(us(took), std::memory_order_relaxed);
      late_.fetch_add(1, std::memory_order_release);
    }
  }
  lastPull_ = now;
  if (openedAt_.load(std::memory_order_relaxed) != losses_.load(std::memory_order_relaxed)) {
    // Gone (the seam): SDL asks a lost device for nothing, it plays silence.
    memset(out, 0, size_t(frames) * size_t(channels_) * 2);
    return;
  }
  const int32_t fade = fadeLeft_.load(std::memory_order_acquire);
  if (stopping_.load(std::memory_order_relaxed) || idle_.load(std::memory_order_acquire) || fade == 0 ||
      channels_ != 2) {
    memset(out, 0, size_t(frames) * size_t(channels_) * 2);
    return;
  }
  if (callback_(out, frames) == -1) {
    memset(out, 0, size_t(frames) * 4);
    return;
  }
  int in = fadeInLeft_.load(std::memory_order_relaxed);
  if (in > 0) {
    // A start fades in from silence: the device played zeros before it.
    for (int i = 0; i < frames && in > 0; ++i, --in) {
      const float g = float(kFadeFrames - in) / float(kFadeFrames);
      out[2 * i] = int16_t(float(out[2 * i]) * g);
      out[2 * i + 1] = int16_t(float(out[2 * i + 1]) * g);
    }
    fadeInLeft_.store(in, std::memory_order_relaxed);
  }
  if (fade > 0) {
    int left = fade;
    for (int i = 0; i < frames; ++i) {
      const float g = left > 0 ? float(left) / float(fadeLen_) : 0.0f;
      out[2 * i] = int16_t(float(out[2 * i]) * g);
      out[2 * i + 1] = int16_t(float(out[2 * i + 1]) * g);
      if (left > 0) --left;
    }
    fadeLeft_.store(left, std::memory_order_release);
  }
}

void MMSysAudio::fadeOut(int frames, int ms) {
  if (!pullMode() || !started_.load() || frames <= 0) return;
  fadeLen_ = frames;
  fadeLeft_.store(frames, std::memory_order_release);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  // The fade is written into the buffer being mixed; that buffer still has
  // to leave the device before the device may close.
  while (fadeLeft_.load(std::memory_order_acquire) != 0 && std::chrono::steady_clock::now() < until && !deviceLost())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const int bufferMs = deviceFrames_.load() * 1000 / (rate_ > 0 ? rate_ : 44100) + 1;
  if (fadeLeft_.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(bufferMs));
}

int MMSysAudio::latencyFrames() {
  if (!started_.load()) return 0;
  if (pullMode()) return deviceFrames_.load();
  // Queued: what waits in SDL's queue plus the device's own buffer.
  const int bytes = int(SDL_GetQueuedAudioSize(device_));
  return bytes / (channels_ * 2) + deviceFrames_.load();
}

bool MMSysAudio::deviceLost() {
  return started_.load() && device_ != 0 &&
         (openedAt_.load() != losses_.load() || SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED);
}

void MMSysAudio::AudioOutTimeSlice() {
  MMSysAudio* a = running_.load();
  if (a) a->Callback();
}

// ---- procedural layer ----------------------------------------------------------

namespace {

MMSysAudio* mmAud = nullptr;

// The periodic timer: a thread that ticks every 23 ms until told to stop.
struct FeedTimer {
  std::thread thread;
  std::mutex m;
  std::condition_variable cv;
  bool quit = false;
  bool running = false;

  void start() {
    quit = false;
    running = true;
    thread = std::thread([this] {
      std::unique_lock<std::mutex> lk(m);
      while (!quit) {
        cv.wait_for(lk, std::chrono::milliseconds(23));
        if (quit) break;
        lk.unlock();
        MMSysAudio::AudioOutTimeSlice();
        lk.lock();
      }
    });
  }
  void stop() {
    if (!running) return;
    {
      std::lock_guard<std::mutex> g(m);
      quit = true;
    }
    cv.notify_all();
    thread.join();
    running = false;
  }
};

FeedTimer feedTimer;
bool manualFeed = false;
int keepOpen = -1;  // -1: not yet read from the environment
// JL_AUDIO_LOSE_AFTER_MS: the first playing device goes away that long
// after its start (-2: not read yet, -1: never).
int loseAfterMs = -2;
bool lossMade = false;
std::chrono::steady_clock::time_point startedAt;
int deviceFramesWanted = 512;
bool lostTold = false;

// JL_AUDIO_FRAMES: a frame count overrides the preference (0 = queued).
int framesFromEnvironment(int fallback) {
  const char* s = getenv("JL_AUDIO_FRAMES");
  if (!s || !*s) return fallback;
  char* end = nullptr;
  const long v = strtol(s, &end, 10);
  if (*end != 0 || v < 0 || v > MMSysAudio::kMaxDeviceFrames) return fallback;
  return int(v);
}

// What the instance was made with, for a fallback to the queued output.
AudioCallbackFn initCallback = nullptr;
int initBytes = 0;

// The open idle device fits a new output of this kind: same engine
// callback and the buffer wanted, not lost.
bool idleDeviceFits(AudioCallbackFn callback, int bytes) {
  return mmAud && mmAud->isStarted() && mmAud->idle() && mmAud->pullMode() && !manualFeed &&
         initCallback == callback && initBytes == bytes && mmAud->requestedFrames() == wDBDeviceFramesWanted() &&
         !mmAud->deviceLost();
}

}  // namespace

int wDBInit(AudioCallbackFn callback, int bytes) {
  if (idleDeviceFits(callback, bytes)) return 0;
  feedTimer.stop();
  wDBClose();
  initCallback = callback;
  initBytes = bytes;
  mmAud = new MMSysAudio(callback, bytes / 4, 2, 44100, 2048, wDBDeviceFramesWanted());
  if (!mmAud->valid()) {
    delete mmAud;
    mmAud = nullptr;
    return -1;
  }
  return 0;
}

int wDBSetParameters(int, int, int, int) { return 0; }

void wDBSetManualFeed(bool on) { manualFeed = on; }
bool wDBManualFeed() { return manualFeed; }

int wDBStart() {
  if (!mmAud) return -1;
  if (manualFeed) return 0;
  if (mmAud->isStarted() && mmAud->idle()) {
    // Kept open since the last stop: playing again is one buffer away,
    // unless the device went or the buffer wanted changed meanwhile.
    if (idleDeviceFits(initCallback, initBytes) && mmAud->Resume() == 0) {
      lostTold = false;
      return 0;
    }
    mmAud->Stop();
  }
  // The latency setting may have changed since the instance was made (an
  // engine armed by a song load, started later).
  const int wanted = wDBDeviceFramesWanted();
  if (!mmAud->isStarted() && mmAud->requestedFrames() != wanted) {
    MMSysAudio* again = new MMSysAudio(initCallback, initBytes / 4, 2, 44100, 2048, wanted);
    if (again->valid()) {
      delete mmAud;
      mmAud = again;
    } else {
      delete again;
    }
  }
  if (mmAud->Start() != 0) {
    if (!mmAud->pullMode()) return -1;
    // A device that will not run us in pull mode (or only with buffers we
    // cannot take) may still play the queued output.
    MMSysAudio* queued = new MMSysAudio(initCallback, initBytes / 4, 2, 44100, 2048, 0);
    if (!queued->valid() || queued->Start() != 0) {
      delete queued;
      return -1;
    }
    delete mmAud;
    mmAud = queued;
  }
  lostTold = false;
  startedAt = std::chrono::steady_clock::now();
  if (!mmAud->pullMode()) feedTimer.start();
  return 0;
}

void wDBStop() {
  if (!mmAud) return;
  if (mmAud->idle()) return;
  // About 5 ms, so stopping leaves no step in the sound.
  mmAud->fadeOut(MMSysAudio::kFadeFrames, 200);
  if (mmAud->pullMode() && mmAud->isStarted() && wDBKeepOpen() && !mmAud->deviceLost())
    mmAud->Idle();
  else
    mmAud->Stop();
  feedTimer.stop();
}

void wDBSetKeepOpen(bool on) { keepOpen = on ? 1 : 0; }

bool wDBKeepOpen() {
  if (keepOpen < 0) {
    const char* s = getenv("JL_AUDIO_CLOSE_ON_STOP");
    keepOpen = s && strcmp(s, "1") == 0 ? 0 : 1;
  }
  return keepOpen == 1;
}

bool wDBIdleOpen() { return mmAud && mmAud->isStarted() && mmAud->idle(); }

void wDBClose() {
  feedTimer.stop();  // never destroy an instance under a live timer
  delete mmAud;
  mmAud = nullptr;
}

MMSysAudio* wDBInstance() { return mmAud; }

void wDBSetDeviceFrames(int frames) {
  deviceFramesWanted = frames < 0 ? 0 : frames > MMSysAudio::kMaxDeviceFrames ? MMSysAudio::kMaxDeviceFrames : frames;
}

int wDBDeviceFramesWanted() { return framesFromEnvironment(deviceFramesWanted); }

int wDBLatencyFrames() { return mmAud && !manualFeed ? mmAud->latencyFrames() : 0; }

uint32_t wDBLateCallbacks() { return mmAud ? mmAud->lateCallbacks() : 0; }
int wDBLateLog(JLLateCallback* out, int max) { return mmAud ? mmAud->lateLog(out, max) : 0; }
uint32_t wDBLongestGapUs() { return mmAud ? mmAud->longestGapUs() : 0; }
uint32_t wDBLongestCallbackUs() { return mmAud ? mmAud->longestCallbackUs() : 0; }
bool wDBOutputRealtime() { return mmAud && mmAud->realtime(); }

bool wDBDeviceLost() {
  if (loseAfterMs == -2) {
    const char* s = getenv("JL_AUDIO_LOSE_AFTER_MS");
    loseAfterMs = s && atoi(s) > 0 ? atoi(s) : -1;
  }
  if (loseAfterMs > 0 && !lossMade && mmAud && !manualFeed && mmAud->isStarted() && !mmAud->idle() &&
      std::chrono::steady_clock::now() - startedAt >= std::chrono::milliseconds(loseAfterMs)) {
    lossMade = true;
    MMSysAudio::SetDevicePresent(false);
  }
  if (!mmAud || manualFeed || lostTold || !mmAud->deviceLost()) return false;
  lostTold = true;
  // The seam's device comes back for the next start.
  if (lossMade) MMSysAudio::SetDevicePresent(true);
  return true;
}

void wDBSetDevicePresent(bool present) { MMSysAudio::SetDevicePresent(present); }

int wMidiOpen() { return 0; }
int wMidiClose() { return 0; }
int wMidiStartStop(int on) {
  // The live output's start and stop drive the MIDI clock; a render fed
  // by hand is no performance to follow.
  if (!on || !manualFeed) JL_MidiClockTransport(on != 0);
  return 0;
}
int wMidiClock(int) { return 0; }
