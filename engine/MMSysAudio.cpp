#include "engine/MMSysAudio.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <thread>

#include "engine/AudioFormat.h"

std::atomic<MMSysAudio*> MMSysAudio::running_{nullptr};

MMSysAudio::MMSysAudio(AudioCallbackFn callback, int frames, int channels, int rate,
                       int framesPerBuffer)
    : callback_(callback),
      framesPerBuffer_(framesPerBuffer == -1 ? frames : framesPerBuffer),
      channels_(channels),
      rate_(rate) {
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
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return kErrNoDevice;
  sdlAudioUp_ = true;
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = rate_;
  want.format = AUDIO_S16SYS;
  want.channels = Uint8(channels_);
  want.samples = Uint16(framesPerBuffer_);
  want.callback = nullptr;  // queued: the feeder pushes
  SDL_AudioSpec have;
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device_ == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sdlAudioUp_ = false;
    return kErrNoDevice;
  }
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
  SDL_PauseAudioDevice(device_, 1);
  SDL_ClearQueuedAudio(device_);
  SDL_CloseAudioDevice(device_);
  device_ = 0;
  if (sdlAudioUp_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  sdlAudioUp_ = false;
  queued_ = 0;
  started_ = 0;
  return 0;
}

void MMSysAudio::Callback() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (!started_.load()) return;
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

}  // namespace

int wDBInit(AudioCallbackFn callback, int bytes) {
  feedTimer.stop();
  wDBClose();
  mmAud = new MMSysAudio(callback, bytes / 4, 2, 44100, 2048);
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
  if (mmAud->Start() != 0) return -1;
  feedTimer.start();
  return 0;
}

void wDBStop() {
  if (!mmAud) return;
  mmAud->Stop();
  feedTimer.stop();
}

void wDBClose() {
  feedTimer.stop();  // never destroy an instance under a live timer
  delete mmAud;
  mmAud = nullptr;
}

MMSysAudio* wDBInstance() { return mmAud; }

int wMidiOpen() { return 0; }
int wMidiClose() { return 0; }
int wMidiStartStop(int) { return 0; }
int wMidiClock(int) { return 0; }
