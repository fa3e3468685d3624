#include "engine/AudioFormat.h"
#include "engine/JLThreadPriority.h"

#include <fcntl.h>
#include <semaphore.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "core/files/uloPathNames.h"
#include "engine/JLStretch.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"

std::atomic<int32_t> dowldproc{0};
std::atomic<int32_t> ExitBackThread{0};
std::atomic<uint32_t> UrgentTracks{0};

// ---- file and memory layer ------------------------------------------------

int F_open(const char* path) {
  if (!path || !path[0]) return -1;
  int h;
  // O_NONBLOCK: opening a FIFO without a writer, or a device, must not hang
  // the loader; such files are refused right after.
  do {
    h = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  } while (h < 0 && errno == EINTR);
  if (h < 0) return -1;
  struct stat st;
  if (fstat(h, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(h);
    return -1;
  }
  posix_fadvise(h, 0, 0, POSIX_FADV_SEQUENTIAL);
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

// ---- sound files -----------------------------------------------------------

namespace {
// Samples decoded per libsndfile call; bounds the file's own buffer.
constexpr int kDecodeSamples = 8192;

uint32_t le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool plausibleId(const unsigned char* id) {
  for (int k = 0; k < 4; ++k)
    if (id[k] < 0x20 || id[k] > 0x7e) return false;
  return true;
}

// A chunk name, and a size that fits in the file (the sound data may be
// cut short).
bool chunkHeaderAt(int fd, int64_t pos, int64_t end) {
  unsigned char c[8];
  if (pos + 8 > end || pread(fd, c, 8, off_t(pos)) != 8 || !plausibleId(c)) return false;
  return int64_t(le32(c + 4)) <= end - (pos + 8) || memcmp(c, "data", 4) == 0;
}

}  // namespace

RiffLayout WalkRiff(int fd) {
  RiffLayout r;
  struct stat st;
  unsigned char h[12];
  if (fd < 0 || fstat(fd, &st) != 0 || pread(fd, h, sizeof h, 0) != ssize_t(sizeof h) ||
      memcmp(h, "RIFF", 4) != 0 || memcmp(h + 8, "WAVE", 4) != 0)
    return r;
  r.riff = true;
  const int64_t end = st.st_size;
  int64_t pos = 12;
  for (int guard = 0; guard < 100000 && pos + 8 <= end; ++guard) {
    unsigned char c[8];
    if (pread(fd, c, 8, off_t(pos)) != 8 || !plausibleId(c)) break;
    const int64_t size = le32(c + 4);
    const int64_t body = pos + 8;
    int64_t held = size < end - body ? size : end - body;
    if (memcmp(c, "fmt ", 4) == 0 && r.fmtAt < 0 && size >= 16 && size <= 4096 && size <= end - body) {
      r.fmtAt = body;
      r.fmtBytes = size;
    } else if (memcmp(c, "data", 4) == 0 && r.dataAt < 0) {
      r.dataAt = body;
      // 0 and 0xFFFFFFFF stand for "unknown" in files written as streams.
      const bool unknown = size == 0 || size == 0xFFFFFFFFll;
      if (unknown) held = end - body;
      r.dataBytes = held;
      r.cut = !unknown && size > end - body;
    }
    // Chunks of odd size are followed by a pad byte, which some programs
    // leave out: take the next position that holds a chunk header.
    int64_t next = body + held + (held & 1);
    if ((held & 1) && !chunkHeaderAt(fd, next, end) && chunkHeaderAt(fd, body + held, end)) next = body + held;
    if (held < size) break;  // the chunk runs past the end of the file
    pos = next;
  }
  return r;
}

namespace {

// What libsndfile reads, through its virtual I/O so it never owns or
// closes our descriptor: `head`, then `dataBytes` of the file from
// `dataAt`. With no head, the file as it is; for a RIFF WAVE file whose
// chunks libsndfile cannot follow, a plain header built from the "fmt "
// chunk followed by the "data" bytes read in place.
struct RiffView {
  int fd = -1;
  std::string head;
  int64_t dataAt = 0;
  int64_t dataBytes = 0;
  int64_t pos = 0;
  int64_t length() const { return int64_t(head.size()) + dataBytes; }
};

sf_count_t viewLength(void* u) { return static_cast<RiffView*>(u)->length(); }

sf_count_t viewSeek(sf_count_t offset, int whence, void* u) {
  RiffView* v = static_cast<RiffView*>(u);
  const int64_t base = whence == SEEK_CUR ? v->pos : whence == SEEK_END ? v->length() : 0;
  const int64_t to = base + offset;
  if (to < 0) return -1;
  v->pos = to;
  return to;
}

sf_count_t viewRead(void* dst, sf_count_t n, void* u) {
  RiffView* v = static_cast<RiffView*>(u);
  char* out = static_cast<char*>(dst);
  sf_count_t done = 0;
  const int64_t headLen = int64_t(v->head.size());
  while (done < n && v->pos < v->length()) {
    if (v->pos < headLen) {
      const int64_t k = std::min<int64_t>(n - done, headLen - v->pos);
      memcpy(out + done, v->head.data() + v->pos, size_t(k));
      done += k;
      v->pos += k;
      continue;
    }
    const int64_t k = std::min<int64_t>(n - done, v->length() - v->pos);
    ssize_t r;
    do {
      r = pread(v->fd, out + done, size_t(k), off_t(v->dataAt + (v->pos - headLen)));
    } while (r < 0 && errno == EINTR);
    if (r <= 0) break;
    done += r;
    v->pos += r;
  }
  return done;
}

sf_count_t viewWrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t viewTell(void* u) { return static_cast<RiffView*>(u)->pos; }

SF_VIRTUAL_IO viewIo = {viewLength, viewSeek, viewRead, viewWrite, viewTell};

// A failed open writes libsndfile's global error text, and files are opened
// on the interface and loader threads at once (an immediate loop change
// reads the new loop where it is asked for): one open at a time. Never
// taken on the audio thread.
std::mutex sfOpenMutex;

SNDFILE* sfOpenVirtual(SF_INFO* si, RiffView* view) {
  std::lock_guard<std::mutex> g(sfOpenMutex);
  return sf_open_virtual(&viewIo, SFM_READ, si, view);
}

void put32(std::string& s, uint32_t v) {
  for (int k = 0; k < 4; ++k) s.push_back(char((v >> (8 * k)) & 0xff));
}

}  // namespace

SNDFILE* SfOpenFd(int fd, int mode, SF_INFO* info) {
  // libsndfile closes the descriptor it was given when it fails to open,
  // whatever it was told, so it gets a copy of its own to close, and ours
  // stays open in every case.
  const int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return nullptr;
  std::lock_guard<std::mutex> g(sfOpenMutex);
  return sf_open_fd(own, mode, info, SF_TRUE);
}

struct WaveFile {
  int fd = -1;
  SNDFILE* sf = nullptr;
  int channels = 0;
  bool pcm16 = false;  // 16-bit integer samples: read without conversion
  RiffView view;  // what libsndfile reads: the file, or the file re-chunked
  double buf[kDecodeSamples];
};

namespace {
// Opens the file through a RiffView. False when the layout has no usable
// "fmt " and "data" chunks or libsndfile still finds no sound.
bool openThroughView(WaveFile* w, const RiffLayout& r, SF_INFO* si) {
  if (r.fmtAt < 0 || r.dataAt < 0 || r.dataBytes <= 0) return false;
  std::string fmt(size_t(r.fmtBytes), '\0');
  if (pread(w->fd, &fmt[0], fmt.size(), off_t(r.fmtAt)) != ssize_t(fmt.size())) return false;
  RiffView& v = w->view;
  v.fd = w->fd;
  v.head = "RIFF";
  const int64_t pad = r.fmtBytes & 1;
  put32(v.head, uint32_t(std::min<int64_t>(4 + 8 + r.fmtBytes + pad + 8 + r.dataBytes, 0xFFFFFFFFll)));
  v.head += "WAVEfmt ";
  put32(v.head, uint32_t(r.fmtBytes));
  v.head += fmt;
  if (pad) v.head.push_back('\0');
  v.head += "data";
  put32(v.head, uint32_t(std::min<int64_t>(r.dataBytes, 0xFFFFFFFFll)));
  v.dataAt = r.dataAt;
  v.dataBytes = std::min<int64_t>(r.dataBytes, 0xFFFFFFFFll);
  v.pos = 0;
  memset(si, 0, sizeof *si);
  w->sf = sfOpenVirtual(si, &w->view);
  if (w->sf && si->frames > 0 && si->channels >= 1 && si->samplerate >= 1) return true;
  if (w->sf) sf_close(w->sf);
  w->sf = nullptr;
  return false;
}
}  // namespace

WaveFile* OpenWave(const char* path, WaveInfo* info) {
  const int fd = F_open(path);
  if (fd < 0) return nullptr;
  WaveFile* w = new (std::nothrow) WaveFile;
  if (!w) {
    F_close(fd);
    return nullptr;
  }
  w->fd = fd;
  const RiffLayout layout = WalkRiff(fd);
  struct stat st;
  SF_INFO si;
  memset(&si, 0, sizeof si);
  if (fstat(fd, &st) == 0) {
    w->view.fd = fd;
    w->view.dataBytes = st.st_size;
    w->sf = sfOpenVirtual(&si, &w->view);
  }
  bool ok = w->sf && si.channels >= 1 && si.samplerate >= 1 && si.frames >= 0;
  if (layout.riff && (!ok || si.frames == 0)) {
    // Chunks libsndfile loses its way in (an odd chunk without its pad
    // byte, "fmt " after "data"): read what the walk found.
    if (w->sf) sf_close(w->sf);
    w->sf = nullptr;
    if (openThroughView(w, layout, &si)) {
      ok = true;
    } else {
      // Back to what libsndfile made of the file itself (an empty file).
      memset(&si, 0, sizeof si);
      w->view = RiffView();
      w->view.fd = fd;
      w->view.dataBytes = st.st_size;
      w->sf = sfOpenVirtual(&si, &w->view);
      ok = w->sf && si.channels >= 1 && si.samplerate >= 1 && si.frames >= 0;
    }
  }
  if (!ok) {
    if (w->sf) sf_close(w->sf);
    F_close(fd);
    delete w;
    return nullptr;
  }
  w->channels = si.channels;
  w->pcm16 = (si.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
  // Integer data comes as -1..1 (x / 2^(bits-1)); float data as stored.
  sf_command(w->sf, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
  if (info) {
    info->channels = si.channels;
    info->rate = si.samplerate;
    info->frames = si.frames;
    info->cut = layout.cut;
  }
  return w;
}

void CloseWave(WaveFile* w) {
  if (!w) return;
  sf_close(w->sf);
  F_close(w->fd);
  delete w;
}

bool SeekWave(WaveFile* w, int64_t frame) {
  return w && frame >= 0 && sf_seek(w->sf, sf_count_t(frame), SEEK_SET) == sf_count_t(frame);
}

int16_t ToSample16(double x) {
  // NaN and beyond full scale clip instead of wrapping into noise.
  const double v = x * 32768.0;
  if (v != v) return 0;
  if (v <= -32768.0) return -32768;
  if (v >= 32767.0) return 32767;
  return int16_t(lrint(v));
}

namespace {
// Decodes up to `frames` frames, handing each one's first one or two
// channels to put(index, left, right). Returns the frames decoded.
template <class Put>
int decodeFrames(WaveFile* w, int frames, Put put) {
  if (!w || frames <= 0) return 0;
  const int ch = w->channels;
  if (ch > kDecodeSamples) return 0;
  const int per = kDecodeSamples / ch;
  int done = 0;
  while (done < frames) {
    const int want = frames - done < per ? frames - done : per;
    const sf_count_t got = sf_readf_double(w->sf, w->buf, want);
    if (got <= 0) break;
    for (sf_count_t i = 0; i < got; ++i) {
      const double* f = w->buf + i * ch;
      put(done + int(i), f[0], ch == 1 ? f[0] : f[1]);
    }
    done += int(got);
    if (got < want) break;
  }
  return done;
}
}  // namespace

namespace {
// 16-bit files, the common case, need no conversion: straight into `dst`,
// with mono widened in place from the end so nothing is overwritten early.
int readPcm16(WaveFile* w, int16_t* dst, int frames, int oc) {
  int done = 0;
  while (done < frames) {
    const sf_count_t got = sf_readf_short(w->sf, dst + size_t(done) * oc, frames - done);
    if (got <= 0) break;
    if (oc == 2 && w->channels == 1) {
      int16_t* p = dst + size_t(done) * 2;
      for (sf_count_t i = got - 1; i >= 0; --i) p[2 * i] = p[2 * i + 1] = p[i];
    }
    done += int(got);
  }
  return done;
}
}  // namespace

int ReadWave(WaveFile* w, int16_t* dst, int frames, int outChannels) {
  if (!dst || frames <= 0) return 0;
  const int oc = outChannels == 1 ? 1 : 2;
  int done;
  if (w && w->pcm16 && (w->channels == oc || (w->channels == 1 && oc == 2))) {
    done = readPcm16(w, dst, frames, oc);
  } else {
    done = decodeFrames(w, frames, [dst, oc](int i, double l, double r) {
      dst[size_t(i) * oc] = ToSample16(l);
      if (oc == 2) dst[size_t(i) * 2 + 1] = ToSample16(r);
    });
  }
  // A short read (file shrank, I/O error) gives silence, not the previous
  // lap of the ring.
  if (done < frames) memset(dst + size_t(done) * oc, 0, size_t(frames - done) * oc * 2);
  return done;
}

int ReadWaveFloat(WaveFile* w, float* dst, int frames, int outChannels) {
  if (!dst || frames <= 0) return 0;
  const int oc = outChannels == 1 ? 1 : 2;
  return decodeFrames(w, frames, [dst, oc](int i, double l, double r) {
    dst[size_t(i) * oc] = float(l);
    if (oc == 2) dst[size_t(i) * 2 + 1] = float(r);
  });
}

// ---- streaming -----------------------------------------------------------------

namespace {

void closeTrackFile(TRACK* t) {
  CloseWave(t->file);
  t->file = nullptr;
}

// Opens the file of an instance for streaming. Null, with the fault noted
// for the user, when it cannot be played: a loop refused at registration, a
// file that is gone or unreadable, holds nothing, or is not at the engine's
// rate (changed after its song was loaded).
WaveFile* openInstance(const char* name, int variant, int track, int64_t* frames) {
  const bool known = variant >= 0 && variant < kVTracks;
  const int32_t fault = known ? VTracks[variant].fault.load(std::memory_order_relaxed) : kWaveFine;
  if (fault == kWaveRate) {
    NoteLoopFault(variant, track, fault);
    return nullptr;
  }
  // The file as it is now decides; it may have changed since registration.
  WaveInfo info;
  WaveFile* w = OpenWave(name, &info);
  int32_t now = kWaveFine;
  if (!w)
    now = kWaveUnreadable;
  else if (info.frames <= 0)
    now = kWaveEmpty;
  else if (info.rate != SAMPFREQ)
    now = kWaveRate;
  else if (info.cut || fault == kWaveCut)
    now = kWaveCut;
  if (now != kWaveFine) NoteLoopFault(variant, track, now);
  if (now != kWaveFine && now != kWaveCut) {
    CloseWave(w);
    return nullptr;
  }
  *frames = info.frames;
  return w;
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

int DecodeLoopSpan(const char* name, int variant, int track, int64_t len, int64_t from, int16_t* dst, int frames) {
  if (!name || !name[0] || len <= 0 || from < 0 || frames <= 0) return -1;
  int64_t fileFrames = 0;
  WaveFile* w = openInstance(name, variant, track, &fileFrames);
  if (!w) return -1;
  int64_t at = 0;  // the frame of the file read next
  for (int done = 0; done < frames;) {
    const int64_t off = (from + done) % len;
    const int n = int(std::min<int64_t>(frames - done, len - off));
    int got = 0;
    if (off < fileFrames) {
      // A file that cannot seek plays from where it is, as the ring does.
      if (at != off && SeekWave(w, off)) at = off;
      got = ReadWave(w, dst + 2 * done, int(std::min<int64_t>(n, fileFrames - off)), 2);
      at += got;
    }
    // Past the end of a file shorter than its loop: silence to the next
    // repetition.
    if (got < n) memset(dst + 2 * (done + got), 0, size_t(n - got) * 4);
    done += n;
  }
  CloseWave(w);
  return frames;
}

void WaveRead(TRACK* t, int16_t* dst, int frames) {
  if (frames <= 0) return;
  if (frames > t->ringFrames) frames = t->ringFrames;
  ReadWave(t->file, dst, frames, 2);
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
    if (t->idle.load() && t->file) closeTrackFile(t);
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
        JLStretchOverlay(int(t - Tracks), loaded, c);
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
      const int variant = t->currentVariant;
      t->remaining = 0;
      t->lock.unlock();
      int64_t frames = 0;
      WaveFile* h = name[0] ? openInstance(name, variant, int(t - Tracks), &frames) : nullptr;
      if (frames > kNever) frames = kNever;
      t->lock.lock();
      if (t->schedGen.load(std::memory_order_relaxed) != gen) {
        t->lock.unlock();
        CloseWave(h);
        n -= c;
        continue;
      }
      if (!h) {
        // Not playable: the track stays silent until reselected, and the
        // user has been told which loop it was.
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
        CloseWave(h);
        n -= c;
        continue;
      }
      t->file = h;
      t->channels = 2;
      t->fileStart = start;
      const FramePos skip = start < loaded ? loaded - start : 0;
      t->remaining = int32_t(frames - skip);
      t->curStart = start;
      t->nextStart = kNever;
      t->fileName[0] = 0;
      t->idle = 0;
      if (t->pendingVariant >= 0 && start >= t->syncPoint) t->pendingVariant = -2;
      n -= c;
      GestioneLooping(t);
      t->lock.unlock();
      JLStretchInstanceOpened(int(t - Tracks), variant, name, start);
      // A file that cannot seek plays from its start rather than not at all.
      if (skip > 0) SeekWave(h, skip);
      continue;
    }
    // A file is open.
    int64_t c = n;
    if (t->remaining < c) c = t->remaining;
    if (t->nextStart - loaded < c) c = t->nextStart - loaded;
    if (c > 0) {
      t->lock.unlock();
      forRingSpan(t, loaded, int(c), [t](int16_t* dst, int k) { WaveRead(t, dst, k); });
      JLStretchOverlay(int(t - Tracks), loaded, int(c));
      t->lock.lock();
      if (t->schedGen.load(std::memory_order_relaxed) != gen) {
        t->lock.unlock();
        // Put the file back where the uncommitted read began.
        SeekWave(t->file, loaded - t->fileStart);
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

void NoteLoopFault(int variant, int track, int32_t fault) {
  if (variant < 0 || variant >= kVTracks || fault <= kWaveFine || fault > 0xff) return;
  int32_t none = 0;
  VTracks[variant].report.compare_exchange_strong(none, fault | (track & 0xff) << 8);
}

int TakeLoopFault(int* track, int32_t* fault) {
  const int n = NumVTracks.load();
  for (int v = 0; v < n && v < kVTracks; ++v) {
    int32_t r = VTracks[v].report.load();
    if (r > 0 && VTracks[v].report.compare_exchange_strong(r, -1)) {
      if (track) *track = (r >> 8) & 0xff;
      if (fault) *fault = r & 0xff;
      return v;
    }
  }
  return -1;
}

int32_t RegisteredLoopFault(int variant, bool told) {
  if (variant < 0 || variant >= NumVTracks.load() || variant >= kVTracks) return kWaveFine;
  VTRACK& vt = VTracks[variant];
  const int32_t fault = vt.name[0] ? vt.fault.load(std::memory_order_relaxed) : int32_t(kWaveUnreadable);
  if (told && fault != kWaveFine) vt.report.store(-1);
  return fault;
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

// Frames the loader reads for the track on this visit (0: none yet). The
// queued output waits until half the ring has played and then fills it
// whole, as it always did: an immediate change there is heard after what
// the ring holds. A live output keeps every ring within a chunk of full, a
// chunk at a time, so the ring outlasts the longest stall it can (a busy
// machine may not run the loader for a second) and one track's read never
// holds up another's for long.
int refillFrames(const TRACK* t, FramePos loaded, FramePos tl) {
  const int R = t->ringFrames;
  const int room = loaded > tl ? R - int(loaded - tl) : R;
  if (ImmediateLeadFrames.load(std::memory_order_relaxed) > 0) return room >= kRefillChunk ? kRefillChunk : 0;
  return loaded - tl > R / 2 ? 0 : room;
}

// One visit; true when it moved data or changed the file state.
bool visitTrack(TRACK* t) {
  if (!t->ring) return false;
  // An immediate change waiting for its first audio comes before all else;
  // once it switched, the refill below starts from the switch.
  if (t->prepVariant.load(std::memory_order_relaxed) >= 0) ServeImmediateChange(t, false);
  if (t->idle.load() && t->file) {
    closeTrackFile(t);
    return true;
  }
  const FramePos loaded = t->loadedTo.load(std::memory_order_relaxed);
  const int n = refillFrames(t, loaded, TimeLine.load(std::memory_order_acquire));
  if (n <= 0) {
    DropSpentHeads(t);
    return false;
  }
  // A lagging track is re-synchronised at once (ReadFromFile's first step)
  // rather than after a whole ring of silence.
  ReadFromFile(t, n);
  DropSpentHeads(t);
  return t->loadedTo.load(std::memory_order_relaxed) != loaded || t->idle.load() == 0;
}

// How soon the track runs dry: its load position, or kNever for a track
// with nothing to play or prepare (a stopped one is visited last).
FramePos loaderUrgency(const TRACK& t) {
  const bool wanted = t.currentVariant.load(std::memory_order_relaxed) >= 0 ||
                      t.prepVariant.load(std::memory_order_relaxed) >= 0;
  return wanted ? t.loadedTo.load(std::memory_order_relaxed) : kNever;
}

// Visits every track once, the one with the least audio ahead first (the
// first to run dry if the loader is held up). True when a visit moved data.
bool visitByUrgency() {
  int order[kTracks];
  FramePos ahead[kTracks];
  for (int k = 0; k < kTracks; ++k) {
    order[k] = k;
    ahead[k] = loaderUrgency(Tracks[k]);
  }
  std::stable_sort(order, order + kTracks, [&](int a, int b) { return ahead[a] < ahead[b]; });
  bool progress = false;
  for (int k : order)
    if (visitTrack(&Tracks[k])) progress = true;
  return progress;
}

unsigned long LoadWaveDataOnTimer(void*) {
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
    // A track whose ring an immediate change cut is refilled before any
    // other: the mixer reaches the cut within a block or two.
    const uint32_t urgent = UrgentTracks.exchange(0);
    for (int k = 0; k < kTracks; ++k)
      if (urgent & (1u << k)) visitTrack(&Tracks[k]);
    // A mixed block wakes us, and the timeout only covers a stalled output.
    if (!visitByUrgency()) waitWake(20);
  }
  loaderAlive = false;
  return 0;
}

}  // namespace

void LoaderVisitAll() {
  // As many rounds as the loader makes before it sleeps again.
  for (int round = 0; round < 64 && visitByUrgency(); ++round) {
  }
}

int LoaderVisitOnce() {
  // Which track a round visits first, and that visit alone.
  int first = -1;
  FramePos least = 0;
  for (int k = 0; k < kTracks; ++k) {
    const FramePos a = loaderUrgency(Tracks[k]);
    if (first < 0 || a < least) {
      first = k;
      least = a;
    }
  }
  visitTrack(&Tracks[first]);
  return first;
}

int StartLoaderThread() {
  if (loaderStarted.exchange(true)) return 0;
  sem_init(&wakeSem, 0, 0);
  exitEvent = false;
  loaderAlive = true;
  const bool realtime = JL_RealtimeWanted();
  loaderThread = std::thread([realtime] {
    if (realtime) JL_RaiseThreadPriority(kJLLoaderPriority);
    LoadWaveDataOnTimer(nullptr);
  });
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
