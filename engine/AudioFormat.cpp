#include "engine/AudioFormat.h"

#include <fcntl.h>
#include <semaphore.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "core/files/uloPathNames.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"

int16_t* convBuf = nullptr;
std::atomic<int32_t> dowldproc{0};
std::atomic<int32_t> ExitBackThread{0};

// ---- file and memory layer ------------------------------------------------

int F_open(const char* path) {
  if (!path || !path[0]) return -1;
  int h;
  do {
    h = open(path, O_RDONLY | O_CLOEXEC);
  } while (h < 0 && errno == EINTR);
  if (h >= 0) posix_fadvise(h, 0, 0, POSIX_FADV_SEQUENTIAL);
  return h;
}

int F_close(int h) { return h >= 0 ? close(h) : -1; }

long F_read(int h, void* buf, long n) {
  if (h < 0 || !buf || n <= 0) return 0;
  long got = 0;
  while (got < n) {
    const ssize_t r = read(h, static_cast<char*>(buf) + got, size_t(n - got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += r;
  }
  return got;
}

long F_seek(int h, long offset, int origin) { return h >= 0 ? long(lseek(h, offset, origin)) : -1; }

void* M_alloc(long n) { return n > 0 ? calloc(size_t(n), 1) : nullptr; }

int M_free(void* p) {
  free(p);
  return 0;
}

// ---- WAV access --------------------------------------------------------------

int OpenWave(const char* path, int* channels, int* frames) {
  const int h = F_open(path);
  if (h < 0) return -1;
  struct stat st;
  if (fstat(h, &st) != 0 || !S_ISREG(st.st_mode)) {
    F_close(h);
    return -1;
  }
  unsigned char hdr[kWaveHeaderBytes] = {};
  const long got = F_read(h, hdr, kWaveHeaderBytes);
  int ch = 1;
  int64_t bytes = 0;
  if (got >= 24) ch = int16_t(uint16_t(hdr[22] | (hdr[23] << 8)));
  if (got >= kWaveHeaderBytes)
    bytes = int32_t(uint32_t(hdr[40]) | (uint32_t(hdr[41]) << 8) | (uint32_t(hdr[42]) << 16) |
                    (uint32_t(hdr[43]) << 24));
  // The header is trusted for nothing the file cannot back: a negative or
  // oversized count becomes what is really there, so no reader runs off the
  // end and no ring is left with stale frames.
  const int64_t avail = st.st_size > kWaveHeaderBytes ? int64_t(st.st_size) - kWaveHeaderBytes : 0;
  if (bytes < 0) bytes = 0;
  if (bytes > avail) bytes = avail;
  const int perFrameHeader = 2 * (ch >= 1 ? ch : 1);
  const int perFrameRead = ch == 2 ? 4 : 2;
  int64_t n = bytes / perFrameHeader;
  if (n > bytes / perFrameRead) n = bytes / perFrameRead;
  F_seek(h, kWaveHeaderBytes, SEEK_SET);
  *channels = ch;
  *frames = int(n);
  return h;
}

int SeekWave(int h, int byteOffset) {
  F_seek(h, long(kWaveHeaderBytes) + byteOffset, SEEK_SET);
  return 0;
}

// ---- streaming -----------------------------------------------------------------

namespace {

int readWidth(const TRACK* t) { return t->channels == 2 ? 4 : 2; }

void closeTrackFile(TRACK* t) {
  if (t->file >= 0) F_close(t->file);
  t->file = -1;
}

// Ring span [pos, pos + frames) in at most two pieces.
template <class Fn>
void forRingSpan(TRACK* t, FramePos pos, int frames, Fn fn) {
  const int R = t->ringFrames;
  const int at = int(pos % R);
  const int first = frames < R - at ? frames : R - at;
  fn(t->ring + 2 * at, first);
  if (frames > first) fn(t->ring, frames - first);
}

void writeSilence(TRACK* t, FramePos pos, int frames) {
  forRingSpan(t, pos, frames,
              [](int16_t* dst, int n) { memset(dst, 0, size_t(n) * 4); });
}

}  // namespace

void WaveRead(TRACK* t, int16_t* dst, int frames) {
  if (frames <= 0) return;
  if (frames > t->ringFrames) frames = t->ringFrames;
  if (t->channels == 2) {
    const long got = F_read(t->file, dst, long(frames) * 4);
    const long whole = got / 4 * 4;
    // A short read (file shrank, I/O error) gives silence, not the
    // previous lap of the ring.
    if (whole < long(frames) * 4) memset(reinterpret_cast<char*>(dst) + whole, 0, size_t(frames) * 4 - whole);
    return;
  }
  const long got = F_read(t->file, convBuf, long(frames) * 2) / 2;
  for (long i = 0; i < frames; ++i) {
    const int16_t s = i < got ? convBuf[i] : 0;
    dst[2 * i] = s;
    dst[2 * i + 1] = s;
  }
}

// Synchronous form used while the loader is paused (start sequence) and by
// tests; the loader itself goes through ReadFromFile, which drops the lock
// around the open.
int OpenNewFile(TRACK* t) {
  char name[kTrackFileNameSize];
  FramePos start;
  {
    TrackLockGuard g(t->lock);
    ULO_StrCopy(name, sizeof name, t->fileName);
    start = t->nextStart;
  }
  int ch = 1, frames = 0;
  const int h = OpenWave(name, &ch, &frames);
  TrackLockGuard g(t->lock);
  if (h < 0) {
    if (name[0]) TrackLoadFailures[t - Tracks].store(t->currentVariant);
    t->nextStart = kNever;
    t->fileName[0] = 0;
    t->idle = 1;
    return 1;
  }
  const FramePos loaded = t->loadedTo.load(std::memory_order_relaxed);
  if (start + frames <= loaded) {
    F_close(h);
    t->idle = 1;
    return 1;
  }
  t->file = h;
  t->channels = ch;
  t->fileStart = start;
  t->remaining = frames;
  if (start < loaded) {
    SeekWave(h, (loaded - start) * readWidth(t));
    t->remaining = frames - (loaded - start);
  }
  t->curStart = start;
  t->nextStart = kNever;
  t->fileName[0] = 0;
  t->idle = 0;
  if (t->pendingVariant >= 0 && start >= t->syncPoint) t->pendingVariant = -2;
  return 0;
}

// Every step plans under the track lock, does its file access and ring
// writes without it, and commits under the lock only if no selection or
// scheduled stop changed the schedule meanwhile; otherwise the step is redone
// with the new schedule, exactly as if the change had come first. Ring
// writes always land at or after `loadedTo`, which the mixer never reads.
void ReadFromFile(TRACK* t, int n) {
  if (!t->ring || n <= 0) return;
  if (n > t->ringFrames) n = t->ringFrames;
  int guard = 0;
  {
    bool lagging = false;
    {
      TrackLockGuard g(t->lock);
      if (!t->idle && t->loadedTo.load(std::memory_order_relaxed) <= TimeLine.load(std::memory_order_acquire)) {
        t->idle = 1;
        lagging = true;
      }
    }
    if (lagging) closeTrackFile(t);
  }
  while (n > 0 && ++guard < 256) {
    // Stopped from outside while a file was open.
    if (t->idle.load() && t->file >= 0) closeTrackFile(t);
    t->lock.lock();
    const uint32_t gen = t->schedGen.load(std::memory_order_relaxed);
    FramePos loaded = t->loadedTo.load(std::memory_order_relaxed);
    if (t->idle) {
      const FramePos tl = TimeLine.load(std::memory_order_acquire);
      if (loaded < tl) {
        loaded = tl;
        t->loadedTo.store(loaded, std::memory_order_release);
      }
      const FramePos ns = t->nextStart;
      if (loaded + n <= ns) {
        t->lock.unlock();
        return;
      }
      int c = ns > loaded ? int(ns - loaded) : 0;
      if (c > 0) {
        t->lock.unlock();
        writeSilence(t, loaded, c);
        t->lock.lock();
        if (t->schedGen.load(std::memory_order_relaxed) != gen) {
          t->lock.unlock();
          continue;
        }
        loaded += c;
        t->loadedTo.store(loaded, std::memory_order_release);
      }
      // Open the instance that starts at nextStart.
      char name[kTrackFileNameSize];
      ULO_StrCopy(name, sizeof name, t->fileName);
      const FramePos start = t->nextStart;
      t->remaining = 0;
      t->lock.unlock();
      int ch = 1, frames = 0;
      const int h = name[0] ? OpenWave(name, &ch, &frames) : -1;
      t->lock.lock();
      if (t->schedGen.load(std::memory_order_relaxed) != gen) {
        t->lock.unlock();
        if (h >= 0) F_close(h);
        n -= c;
        continue;
      }
      if (h < 0) {
        // Missing or unreadable: the track stays silent until reselected,
        // and the user is told which loop it was.
        if (name[0]) TrackLoadFailures[t - Tracks].store(t->currentVariant);
        t->nextStart = kNever;
        t->fileName[0] = 0;
        t->idle = 1;
        t->lock.unlock();
        return;
      }
      if (start + frames <= loaded) {
        // The whole instance lies before the load position (a file shorter
        // than the part of the repetition already passed). Skip to the next
        // repetition rather than leaving the track stalled on this one.
        t->curStart = start;
        if (t->pendingVariant >= 0 && start >= t->syncPoint) t->pendingVariant = -2;
        GestioneLooping(t);
        t->lock.unlock();
        F_close(h);
        n -= c;
        continue;
      }
      t->file = h;
      t->channels = ch;
      t->fileStart = start;
      const int32_t skip = start < loaded ? int32_t(loaded - start) : 0;
      t->remaining = frames - skip;
      t->curStart = start;
      t->nextStart = kNever;
      t->fileName[0] = 0;
      t->idle = 0;
      if (t->pendingVariant >= 0 && start >= t->syncPoint) t->pendingVariant = -2;
      n -= c;
      GestioneLooping(t);
      t->lock.unlock();
      if (skip > 0) SeekWave(h, skip * readWidth(t));
      continue;
    }
    // A file is open.
    int64_t c = n;
    if (t->remaining < c) c = t->remaining;
    if (t->nextStart - loaded < c) c = t->nextStart - loaded;
    if (c > 0) {
      t->lock.unlock();
      forRingSpan(t, loaded, int(c), [t](int16_t* dst, int k) { WaveRead(t, dst, k); });
      t->lock.lock();
      if (t->schedGen.load(std::memory_order_relaxed) != gen) {
        t->lock.unlock();
        // Put the file back where the uncommitted read began.
        SeekWave(t->file, (loaded - t->fileStart) * readWidth(t));
        continue;
      }
      loaded += c;
      t->loadedTo.store(loaded, std::memory_order_release);
      t->remaining -= int32_t(c);
    } else {
      c = 0;
    }
    bool close = false;
    if (t->remaining <= 0 || loaded >= t->nextStart) {
      // The file ended, or the next instance begins here and cuts it.
      t->idle = 1;
      close = true;
    }
    n -= int(c);
    GestioneLooping(t);
    t->lock.unlock();
    if (close) closeTrackFile(t);
  }
}

void InitialTrackOpen() {
  for (TRACK& t : Tracks)
    if (t.nextStart.load() != kNever) ReadFromFile(&t, t.ringFrames);
}

void CloseWaveFiles() {
  for (TRACK& t : Tracks) {
    closeTrackFile(&t);
    t.idle = 1;
  }
}

// ---- the loader thread ---------------------------------------------------------

namespace {

sem_t wakeSem;
std::thread loaderThread;
std::atomic<bool> loaderStarted{false};
std::atomic<bool> loaderAlive{false};
// The exit event "SchedulerAsyncWLDExit":
// auto-reset, raised once at program end.
std::atomic<bool> exitEvent{false};

void waitWake(int ms) {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  ts.tv_nsec += long(ms) * 1000000L;
  ts.tv_sec += ts.tv_nsec / 1000000000L;
  ts.tv_nsec %= 1000000000L;
  while (sem_timedwait(&wakeSem, &ts) != 0 && errno == EINTR) {
  }
  // Several wakes may have piled up; one sweep answers them all.
  while (sem_trywait(&wakeSem) == 0) {
  }
}

// One visit; true when it moved data or changed the file state.
bool visitTrack(TRACK* t) {
  if (!t->ring) return false;
  if (t->idle.load() && t->file >= 0) {
    closeTrackFile(t);
    return true;
  }
  const FramePos loaded = t->loadedTo.load(std::memory_order_relaxed);
  const FramePos tl = TimeLine.load(std::memory_order_acquire);
  const int R = t->ringFrames;
  if (loaded - tl > R / 2) return false;
  // A lagging track is re-synchronised at once (ReadFromFile's first step)
  // rather than after a whole ring of silence.
  ReadFromFile(t, loaded > tl ? R - int(loaded - tl) : R);
  return t->loadedTo.load(std::memory_order_relaxed) != loaded || t->idle.load() == 0;
}

unsigned long LoadWaveDataOnTimer(void*) {
  int i = 0;
  bool progress = false;
  for (;;) {
    if (exitEvent.exchange(false)) {
      ExitBackThread = 0;
      break;
    }
    if (ExitBackThread.load()) {
      ExitBackThread = 0;  // pause acknowledged: between two visits
      continue;
    }
    if (!dowldproc.load()) {
      waitWake(20);
      continue;
    }
    if (visitTrack(&Tracks[i])) progress = true;
    i = (i + 1) % kTracks;
    if (i == 0) {
      // Half a ring is at least 0.5 s of audio; a mixed block wakes us, and
      // the timeout only covers a stalled output.
      if (!progress) waitWake(20);
      progress = false;
    }
  }
  loaderAlive = false;
  return 0;
}

}  // namespace

void LoaderVisitAll() {
  for (TRACK& t : Tracks) visitTrack(&t);
}

int StartLoaderThread() {
  if (loaderStarted.exchange(true)) return 0;
  sem_init(&wakeSem, 0, 0);
  exitEvent = false;
  loaderAlive = true;
  loaderThread = std::thread([] { LoadWaveDataOnTimer(nullptr); });
  return 0;
}

void WakeLoader() {
  if (!loaderStarted.load(std::memory_order_acquire)) return;
  int v = 0;
  if (sem_getvalue(&wakeSem, &v) == 0 && v > 0) return;
  sem_post(&wakeSem);
}

bool LoaderRunning() { return loaderAlive.load(); }

void PauseLoader() {
  dowldproc = 0;
  if (!loaderAlive.load()) {
    ExitBackThread = 0;
    return;
  }
  ExitBackThread = 1;
  while (ExitBackThread.load() && loaderAlive.load()) {
    WakeLoader();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

int StopLoaderThread(int ms) {
  if (!loaderStarted.load()) return 0;
  exitEvent = true;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (loaderAlive.load() && std::chrono::steady_clock::now() < until) {
    WakeLoader();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (loaderAlive.load()) {
    loaderThread.detach();  // stuck in a read; the process is ending anyway
    return 1;
  }
  loaderThread.join();
  sem_destroy(&wakeSem);
  loaderStarted = false;
  return 0;
}
