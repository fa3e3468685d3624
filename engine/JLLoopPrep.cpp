#include "engine/JLLoopPrep.h"

#include <dirent.h>
#include <fcntl.h>
#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "core/sys/jlDesktopIntegration.h"
#include "engine/AudioFormat.h"
#include "engine/Vtrack.h"

namespace {

constexpr int kChunkFrames = 4096;
// Bumped whenever the converter changes what it writes, so old copies are
// not taken for new ones.
constexpr const char* kConverterVersion = "soxr-vhq-looped-1";

bool rateSupported(int rate) { return rate >= kLoopMinRate && rate <= kLoopMaxRate; }

int64_t convertedFrames(int64_t frames, int from, int to) {
  if (frames <= 0) return 0;
  const int64_t cap = int64_t(kLoopMaxConvertedSeconds) * to;
  const double n = std::floor(double(frames) * to / from + 0.5);
  if (n >= double(cap)) return cap;
  return n < 1 ? 1 : int64_t(n);
}

int64_t gcd(int64_t a, int64_t b) { return b ? gcd(b, a % b) : a; }

// What the resampler reads. A one-shot (a synth note) is the file once. A
// loop is read as it will sound, repeated: its last `lead` frames, the
// whole loop, then its first `lead` frames, so the filter sees the loop's
// own sound across both of its ends instead of silence.
class Source {
 public:
  Source(WaveFile* w, int oc, int64_t frames, int64_t lead) : w_(w), oc_(oc), frames_(frames), lead_(lead) {
    at_ = lead > 0 ? -lead : 0;
    filePos_ = 0;
  }
  // Up to n frames into dst; 0 at the end.
  int read(float* dst, int n) {
    if (lead_ == 0) return ReadWaveFloat(w_, dst, n, oc_);
    const int64_t end = frames_ + lead_;
    if (at_ >= end) return 0;
    const int64_t pos = ((at_ % frames_) + frames_) % frames_;
    const int run = int(std::min<int64_t>({int64_t(n), frames_ - pos, end - at_}));
    int got = 0;
    if (pos == filePos_ || SeekWave(w_, pos)) got = ReadWaveFloat(w_, dst, run, oc_);
    // What the file could not deliver is silence.
    std::fill(dst + size_t(got) * oc_, dst + size_t(run) * oc_, 0.0f);
    filePos_ = got == run ? pos + run : -1;
    at_ += run;
    return run;
  }

 private:
  WaveFile* w_;
  int oc_;
  int64_t frames_, lead_, at_, filePos_;
};

// Converts the source and hands the converted frames to
// sink(const float*, frames) -> bool, after dropping the first `skip`
// frames: as many as the frames read stand for at the new rate, at most
// `maxFrames`. Returns that count, or -1 when the resampler or the sink failed.
template <class Sink>
int64_t resample(Source& src, int inRate, int outRate, int oc, int64_t skip, int64_t maxFrames, Sink sink) {
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t q = soxr_quality_spec(SOXR_VHQ, 0);
  soxr_error_t err = nullptr;
  soxr_t s = soxr_create(double(inRate), double(outRate), unsigned(oc), &err, &io, &q, nullptr);
  if (!s || err) {
    if (s) soxr_delete(s);
    return -1;
  }
  // Enough room for one chunk at the largest upward ratio in a few calls.
  const size_t outCap = kChunkFrames * 4;
  std::vector<float> in(size_t(kChunkFrames) * oc), out(outCap * oc);
  int64_t written = 0, consumed = 0, limit = maxFrames;
  const int64_t dropped = skip;
  bool ok = true, ended = false;
  auto emit = [&](size_t odone) {
    const int64_t drop = std::min<int64_t>(int64_t(odone), skip);
    skip -= drop;
    const int64_t n = std::min<int64_t>(int64_t(odone) - drop, limit - written);
    if (n > 0 && !sink(out.data() + drop * oc, int(n))) ok = false;
    if (n > 0) written += n;
  };
  while (ok && written < limit) {
    const int got = ended ? 0 : src.read(in.data(), kChunkFrames);
    if (got <= 0) {
      if (!ended) {
        // The length the frames read stand for, whatever the header said.
        ended = true;
        limit = std::min(limit, convertedFrames(consumed, inRate, outRate) - dropped);
      }
      size_t odone = 0;
      if (soxr_process(s, nullptr, 0, nullptr, out.data(), outCap, &odone)) ok = false;
      if (odone == 0) break;
      emit(odone);
      continue;
    }
    consumed += got;
    size_t off = 0;
    while (ok && off < size_t(got) && written < limit) {
      size_t idone = 0, odone = 0;
      if (soxr_process(s, in.data() + off * oc, size_t(got) - off, &idone, out.data(), outCap, &odone)) {
        ok = false;
        break;
      }
      off += idone;
      emit(odone);
      if (idone == 0 && odone == 0) break;
    }
  }
  soxr_delete(s);
  if (!ok) return -1;
  if (!ended) return written;  // stopped at maxFrames
  // The filter's delay can leave the last frames short of the full length.
  std::fill(out.begin(), out.end(), 0.0f);
  while (ok && written < limit) emit(outCap);
  return ok ? written : -1;
}

// Converts the open file as a loop (looped = true) or a one-shot.
template <class Sink>
int64_t resampleFile(WaveFile* w, int64_t frames, int inRate, int outRate, int oc, int64_t maxFrames, bool looped,
                     Sink sink) {
  int64_t lead = 0, skip = 0;
  if (looped && frames > 0) {
    // A lead of whole resampling periods (inRate / gcd input frames make
    // exactly outRate / gcd output frames), so the part to drop is a whole
    // number of frames; and long enough for the filter to settle.
    const int64_t g = gcd(inRate, outRate), period = inRate / g;
    lead = std::max<int64_t>(1, (16384 + period - 1) / period) * period;
    skip = lead / period * (outRate / g);
    maxFrames = std::min(maxFrames, convertedFrames(frames, inRate, outRate));
  }
  Source src(w, oc, frames, lead);
  return resample(src, inRate, outRate, oc, skip, maxFrames, sink);
}

void toSamples(const float* in, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = ToSample16(in[i]);
}

uint64_t fnv1a(uint64_t h, const void* data, size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 0x100000001b3ULL;
  }
  return h;
}

// The copy's name follows the file's identity and content stamp, so a file
// that changes, moves or is replaced gets a fresh copy.
std::string copyName(const char* path, const struct stat& st, int outRate) {
  uint64_t h = 0xcbf29ce484222325ULL;
  h = fnv1a(h, path, strlen(path) + 1);
  const int64_t fields[] = {int64_t(st.st_dev), int64_t(st.st_ino), int64_t(st.st_size),
                            int64_t(st.st_mtim.tv_sec), int64_t(st.st_mtim.tv_nsec), outRate};
  h = fnv1a(h, fields, sizeof fields);
  h = fnv1a(h, kConverterVersion, strlen(kConverterVersion));
  char name[40];
  snprintf(name, sizeof name, "%016llx.wav", static_cast<unsigned long long>(h));
  return name;
}

// Frames of an earlier copy that can be used, or 0.
int64_t existingCopy(const std::string& path, int rate, int channels) {
  WaveInfo info;
  WaveFile* w = OpenWave(path.c_str(), &info);
  if (!w) return 0;
  CloseWave(w);
  return info.rate == rate && info.channels == channels ? info.frames : 0;
}

// Converts the open file into `dest` through a temporary file renamed into
// place, so a copy under its final name is always whole. Returns the frames
// written (0 when the file delivered none), or -1 on failure.
int64_t writeCopy(WaveFile* w, int64_t inFrames, int inRate, int outRate, int oc, int64_t maxFrames,
                  const std::string& folder, const std::string& dest) {
  std::string tmp = folder + "convert-XXXXXX";
  const int fd = mkostemp(&tmp[0], O_CLOEXEC);
  if (fd < 0) return -1;
  SF_INFO o;
  memset(&o, 0, sizeof o);
  o.samplerate = outRate;
  o.channels = oc;
  o.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* out = SfOpenFd(fd, SFM_WRITE, &o);
  int64_t frames = -1;
  if (out) {
    std::vector<int16_t> pcm(size_t(kChunkFrames) * 4 * oc);
    frames = resampleFile(w, inFrames, inRate, outRate, oc, maxFrames, true, [&](const float* f, int n) {
      toSamples(f, pcm.data(), size_t(n) * oc);
      return sf_writef_short(out, pcm.data(), n) == n;
    });
    if (sf_close(out) != 0) frames = -1;
  }
  // On disk before it gets its name: a copy that is there is complete.
  if (fsync(fd) != 0) frames = -1;
  if (close(fd) != 0) frames = -1;
  if (frames > 0 && rename(tmp.c_str(), dest.c_str()) == 0) return frames;
  unlink(tmp.c_str());
  return frames == 0 ? 0 : -1;
}

bool makePrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) == 0) return true;
  struct stat st;
  return errno == EEXIST && lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

JLLoopPrep JL_PrepareLoop(const char* path, int engineRate) {
  JLLoopPrep p;
  p.playPath = path ? path : "";
  p.fault = kWaveUnreadable;
  WaveInfo info;
  WaveFile* w = OpenWave(path, &info);
  struct stat st;
  if (!w || stat(path, &st) != 0) {
    CloseWave(w);
    return p;
  }
  p.channels = info.channels;
  p.rate = info.rate;
  p.fault = info.cut ? kWaveCut : kWaveFine;
  if (info.frames <= 0) {
    p.fault = kWaveEmpty;
  } else if (info.rate == engineRate) {
    p.frames = info.frames;
  } else if (!rateSupported(info.rate) || !rateSupported(engineRate)) {
    p.fault = kWaveRate;
  } else {
    const int oc = info.channels == 1 ? 1 : 2;
    const int64_t most = convertedFrames(info.frames, info.rate, engineRate);
    const std::string folder = JL_LoopCacheFolder();
    const std::string dest = folder + copyName(path, st, engineRate);
    int64_t frames = -1;
    if (!folder.empty() && dest.size() < size_t(kVTrackNameSize)) {
      frames = existingCopy(dest, engineRate, oc);
      if (frames <= 0) frames = writeCopy(w, info.frames, info.rate, engineRate, oc, most, folder, dest);
    }
    if (frames == 0) {
      p.fault = kWaveEmpty;
    } else if (frames > 0) {
      // Marks the copy as recently used for the cache trim.
      utimensat(AT_FDCWD, dest.c_str(), nullptr, 0);
      p.playPath = dest;
      p.frames = frames;
    } else {
      p.fault = kWaveRate;
    }
  }
  CloseWave(w);
  return p;
}

int16_t* JL_ReadWholeLoop(const char* path, int engineRate, int64_t maxFrames, int64_t maxBytes, bool looped,
                          int* channels, int32_t* frames, int32_t* fault) {
  int32_t f = kWaveUnreadable;
  int16_t* data = nullptr;
  int oc = 1;
  int64_t have = 0;
  WaveInfo info;
  WaveFile* w = OpenWave(path, &info);
  if (w) {
    oc = info.channels == 1 ? 1 : 2;
    maxFrames = std::min({maxFrames, maxBytes / (2 * oc), int64_t(INT32_MAX)});
    f = kWaveEmpty;
    if (info.frames > 0 && maxFrames > 0) {
      if (info.rate == engineRate) {
        const int64_t want = std::min(info.frames, maxFrames);
        data = static_cast<int16_t*>(M_alloc(long(want * oc * 2)));
        if (data) have = ReadWave(w, data, int(want), oc);
        else f = kWaveFine;
      } else if (!rateSupported(info.rate) || !rateSupported(engineRate)) {
        f = kWaveRate;
      } else {
        const int64_t want = std::min(convertedFrames(info.frames, info.rate, engineRate), maxFrames);
        data = static_cast<int16_t*>(M_alloc(long(want * oc * 2)));
        int64_t at = 0;
        if (!data)
          f = kWaveFine;
        else
          have = resampleFile(w, info.frames, info.rate, engineRate, oc, want, looped, [&](const float* in, int n) {
            toSamples(in, data + at * oc, size_t(n) * oc);
            at += n;
            return true;
          });
        if (data && have <= 0) f = have < 0 ? kWaveRate : kWaveEmpty;
      }
    }
    CloseWave(w);
  }
  if (have <= 0) {
    M_free(data);
    if (fault) *fault = f;
    return nullptr;
  }
  if (fault) *fault = kWaveFine;
  *channels = oc;
  *frames = int32_t(have);
  return data;
}

namespace {
std::string cacheFolder(bool create) {
  std::string base = JL_XdgCacheHome();
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base.empty()) return std::string();
  const std::string app = base + "/jamloom";
  const std::string loops = app + "/loops";
  if (create) {
    mkdir(base.c_str(), 0700);
    if (!makePrivateFolder(app) || !makePrivateFolder(loops)) return std::string();
  }
  return loops + "/";
}
}  // namespace

std::string JL_LoopCacheFolder() { return cacheFolder(true); }

int64_t JL_TrimLoopCache(int64_t maxBytes, int64_t keepBytes) {
  // A cache that was never made is not made here.
  const std::string folder = cacheFolder(false);
  if (folder.empty()) return 0;
  DIR* d = opendir(folder.c_str());
  if (!d) return 0;
  struct Copy {
    std::string path;
    int64_t bytes;
    struct timespec used;
  };
  std::vector<Copy> copies;
  int64_t total = 0, removed = 0;
  const time_t now = time(nullptr);
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    const std::string path = folder + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (name.compare(0, 8, "convert-") == 0) {
      // A conversion another run left behind when it was killed.
      if (now - st.st_mtime > 3600 && unlink(path.c_str()) == 0) removed += st.st_size;
      continue;
    }
    if (name.size() != 20 || name.compare(16, 4, ".wav") != 0) continue;
    copies.push_back({path, int64_t(st.st_size), st.st_mtim});
    total += st.st_size;
  }
  closedir(d);
  if (total <= maxBytes) return removed;
  std::sort(copies.begin(), copies.end(), [](const Copy& a, const Copy& b) {
    return a.used.tv_sec != b.used.tv_sec ? a.used.tv_sec < b.used.tv_sec : a.used.tv_nsec < b.used.tv_nsec;
  });
  for (const Copy& c : copies) {
    if (total <= keepBytes) break;
    if (unlink(c.path.c_str()) == 0) {
      total -= c.bytes;
      removed += c.bytes;
    }
  }
  return removed;
}
