#include "engine/JLStretch.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/JLKeepPitch.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"

namespace {

// Frames over which a repetition played from one source takes over from
// the other's continuation (about 6 ms at 44.1 kHz).
constexpr int kSwitchFadeFrames = 256;
// How much further than an immediate change a cut for keep pitch lands
// ahead of the mixer (about 0.2 s): the switch waits for a repetition
// anyway, and the loader gets ample time to load it again.
constexpr int kCutMargin = 8192;
// Records of opened repetitions kept per track: enough to find the one
// before a repetition that a cut reloads.
constexpr int kHistory = 4;

// A loop made for one pitch. Immutable once published; the loader holds
// references while it loads from it.
struct Made {
  std::string name;  // the file the loader streams for this loop
  int64_t frames = 0;
  double pitch = 0;
  std::vector<int16_t> pcm;
  std::atomic<int> refs{0};
  bool quiet = false;  // retired and no reader can still find it (retire list lock)
};

std::atomic<bool> enabled{false};
std::atomic<bool> handFed{false};
double preparedPitch = 0;  // the session owner's
std::atomic<Made*> published[kVTracks];
// 1 while the loader is between reading a published slot and counting its
// reference: a retired loop is freed only after this was seen 0.
std::atomic<int> readerBusy{0};

struct LoopEntry {
  std::string name;
  int32_t beats = 0;
  double failedPitch = 0;  // making it failed for this pitch; not tried again
};
std::mutex listMutex;
std::vector<LoopEntry> loops;

std::mutex retireMutex;
std::vector<Made*> retired;

// One maker at a time (the worker or JLStretchPrepareNow).
std::mutex makeMutex;

std::mutex wakeMutex;
std::condition_variable wakeCv;
bool wakeFlag = false;
bool quitFlag = false;
std::atomic<bool> quitting{false};
std::thread worker;
std::atomic<bool> workerStarted{false};

std::mutex statsMutex;
JLStretchStats stats;

// ---- the loader's side (one visiting thread at a time) ----
struct Instance {
  int variant = -1;
  int64_t start = 0;
  int64_t len = 0;
  Made* made = nullptr;  // null: the file's frames
};
struct LoaderSide {
  Instance hist[kHistory];  // hist[0] the latest opened
  bool blend = false;       // the latest begins with a cross-fade from...
  bool blendFromFile = false;
  Made* blendFrom = nullptr;  // ...this loop's continuation (or the file's)
};
LoaderSide sides[kTracks];
// What the worker knows of each ring: where the last repetition made for
// keep pitch that the loader loaded ends, and the loop it loaded last.
std::atomic<int64_t> madeUntil[kTracks];
std::atomic<const Made*> latestMade[kTracks];

void release(Made* m) {
  if (m) m->refs.fetch_sub(1, std::memory_order_release);
}

int64_t loopFrames(int32_t beats) { return int64_t(beats) * BPM.load(std::memory_order_relaxed); }

// The pitch a loop must be made at for the tempo now played, 0 when keep
// pitch does not apply (off, stopped, song tempo, beyond an octave): the
// inverse of the ratio the resampler really plays (Original's whole frames
// per request, not the tempo it aims at, or the kept pitch is flat by up
// to a few cents).
double currentPitch() {
  if (!enabled.load()) return 0;
  if (PlayingStatus.load() == 0) return 0;
  if (BPM.load() <= 0) return 0;
  const double ratio = PlayedTempoRatio();
  if (ratio == 1.0 || !(ratio > 0)) return 0;
  // Beyond an octave (a tempo under half the song's) loops and notes alike
  // are resampled: the stretcher makes nothing there.
  const double pitch = 1.0 / ratio;
  return pitch >= kPitchLoopLowest && pitch <= kPitchLoopHighest ? pitch : 0;
}

// The loader and the thread asking for an immediate change may both take
// at once: readerBusy counts them.
Made* take(int variant) {
  readerBusy.fetch_add(1);
  Made* m = published[variant].load();
  if (m) m->refs.fetch_add(1, std::memory_order_relaxed);
  readerBusy.fetch_sub(1);
  return m;
}

void retire(Made* m) {
  if (!m) return;
  std::lock_guard<std::mutex> g(retireMutex);
  retired.push_back(m);
}

void reclaim() {
  std::lock_guard<std::mutex> g(retireMutex);
  const bool idle = readerBusy.load() == 0;
  size_t keep = 0;
  for (Made* m : retired) {
    if (idle) m->quiet = true;
    if (m->quiet && m->refs.load(std::memory_order_acquire) == 0)
      delete m;
    else
      retired[keep++] = m;
  }
  retired.resize(keep);
}

// Every published loop not made for `pitch` (all of them for 0) is taken
// off its slot.
void retireAllBut(double pitch) {
  std::lock_guard<std::mutex> g(retireMutex);
  for (auto& slot : published) {
    Made* m = slot.load();
    if (m && (pitch == 0 || m->pitch != pitch) && slot.compare_exchange_strong(m, nullptr)) retired.push_back(m);
  }
}

void wake() {
  {
    std::lock_guard<std::mutex> g(wakeMutex);
    wakeFlag = true;
  }
  wakeCv.notify_all();
}

// ---- taking back a ring's audio from the next repetition on ----

enum class Cut { Revert, Switch };

// Rewinds a track's ring to the first repetition of its loop starting at
// least `lead` frames ahead of the mixer, when what is loaded from there is
// not what the loader would now load: a repetition made for keep pitch that
// no longer suits (Revert), or the file's frames of the loop `variant` just
// made (Switch). The loader loads it again from that repetition, whose
// first frames then cross-fade from the old source. Never while a loop
// change or stop is waiting, or near an immediate change's fade. Returns
// true when it cut.
bool cutAtNextRepetition(int ti, Cut why, int variant, const Made* made, bool manual) {
  TRACK* t = &Tracks[ti];
  if (PlayingStatus.load() != 2) return false;
  const int lead = ImmediateLeadFrames.load(std::memory_order_relaxed);
  if (!manual && lead <= 0) return false;
  TrackLockGuard g(t->lock);
  const int cv = t->currentVariant;
  if (cv < 0 || cv >= kVTracks || t->pendingVariant != -2) return false;
  if (why == Cut::Switch && (cv != variant || latestMade[ti].load() == made)) return false;
  const int64_t len = loopFrames(VTracks[cv].lengthBeats.load(std::memory_order_relaxed));
  if (len <= 0) return false;
  const FramePos old = t->loadedTo.load(std::memory_order_acquire);
  FramePos now = TimeLine.load(std::memory_order_acquire);
  // Fed by hand, no mixer runs meanwhile: the next repetition from here.
  const int64_t ahead = manual ? 0 : lead + kCutMargin;
  FramePos b = (now + ahead + len - 1) / len * len;
  if (why == Cut::Revert && madeUntil[ti].load() <= b) return false;
  const int ramp = MixRampFrames.load(std::memory_order_relaxed);
  const FramePos sw = t->switchAt.load(std::memory_order_acquire);
  if (sw != kNever && sw + ramp > b) return false;
  if (t->mixFrom.load() > b) return false;
  const int64_t guard = MixBlockFrames.load(std::memory_order_relaxed) + ramp;
  for (;;) {
    if (b >= old) return false;
    t->loadedTo.store(b, std::memory_order_seq_cst);
    if (manual) break;
    now = TimeLine.load(std::memory_order_seq_cst);
    if (now + guard <= b) break;
    // The mixer came too close meanwhile: the repetition after.
    b += len;
  }
  t->nextStart = b;
  t->curStart = -1;
  t->schedGen.fetch_add(1);
  if (!manual) UrgentTracks.fetch_or(1u << ti);
  return true;
}

void cutTracks(Cut why, int variant, const Made* made, bool manual) {
  bool any = false;
  for (int ti = 0; ti < kTracks; ++ti) any = cutAtNextRepetition(ti, why, variant, made, manual) || any;
  if (any && !manual) WakeLoader();
}

// ---- making loops ----

bool entryFor(int v, LoopEntry* e) {
  std::lock_guard<std::mutex> g(listMutex);
  if (v < 0 || v >= int(loops.size()) || loops[size_t(v)].name.empty()) return false;
  *e = loops[size_t(v)];
  return true;
}

// Whether the loop published for `v` is `e` made for `pitch`. Published
// loops are looked into only under retireMutex, so none is freed meanwhile.
bool madeFor(int v, const LoopEntry& e, double pitch) {
  std::lock_guard<std::mutex> g(retireMutex);
  const Made* m = published[v].load();
  return m && m->pitch == pitch && m->name == e.name && m->frames == loopFrames(e.beats);
}

double threadCpu() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

// Reads the loop as the loader streams it (its first `len` frames, as
// stereo, silence after a short file) and makes it for `pitch`. Caller
// holds makeMutex. Returns the published loop, or null.
Made* make(int v, const LoopEntry& e, double pitch) {
  const int64_t len = loopFrames(e.beats);
  if (len <= 0 || len > int64_t(1) << 28) return nullptr;
  WaveInfo info;
  WaveFile* w = OpenWave(e.name.c_str(), &info);
  if (!w) return nullptr;
  std::vector<int16_t> in;
  bool ok = info.rate == SAMPFREQ && info.frames > 0;
  if (ok) {
    in.assign(size_t(2 * len), 0);
    for (int64_t at = 0; at < len;) {
      const int n = int(std::min<int64_t>(len - at, 65536));
      const int got = ReadWave(w, in.data() + 2 * at, n, 2);
      if (got <= 0) break;
      at += got;
    }
  }
  CloseWave(w);
  if (!ok) return nullptr;
  auto* m = new Made;
  m->name = e.name;
  m->frames = len;
  m->pitch = pitch;
  const double cpu0 = threadCpu();
  const bool made = JL_PitchLoop(in.data(), len, pitch, m->pcm, SAMPFREQ,
                                 [pitch] { return quitting.load() || currentPitch() != pitch; });
  const double cpu = threadCpu() - cpu0;
  if (!made || currentPitch() != pitch) {
    if (!made && currentPitch() == pitch) {
      std::lock_guard<std::mutex> g(listMutex);
      if (v < int(loops.size()) && loops[size_t(v)].name == e.name) loops[size_t(v)].failedPitch = pitch;
    }
    delete m;
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> g(statsMutex);
    stats.made++;
    stats.cpuSeconds += cpu;
    stats.framesMade += len;
  }
  retire(published[v].exchange(m));
  return m;
}

int64_t publishedBytes() {
  std::lock_guard<std::mutex> g(retireMutex);
  int64_t bytes = 0;
  for (auto& slot : published) {
    const Made* m = slot.load();
    if (m) bytes += int64_t(m->pcm.size()) * 2;
  }
  return bytes;
}

// The loops the tracks play or are about to, then every other one.
std::vector<int> wantedOrder(bool all) {
  std::vector<int> order;
  for (TRACK& t : Tracks) {
    for (int v : {int(t.currentVariant.load()), int(t.pendingVariant.load())})
      if (v >= 0 && v < kVTracks && std::find(order.begin(), order.end(), v) == order.end()) order.push_back(v);
  }
  if (all) {
    size_t n;
    {
      std::lock_guard<std::mutex> g(listMutex);
      n = loops.size();
    }
    for (int v = 0; v < int(n); ++v)
      if (std::find(order.begin(), order.end(), v) == order.end()) order.push_back(v);
  }
  return order;
}

// Makes the first loop in the wanted order that is not made yet. Returns
// false when there was nothing (left) to make.
bool makeNext(double pitch) {
  const std::vector<int> order = wantedOrder(true);
  size_t playing = wantedOrder(false).size();
  for (size_t i = 0; i < order.size(); ++i) {
    const int v = order[i];
    LoopEntry e;
    if (!entryFor(v, &e) || e.failedPitch == pitch || madeFor(v, e, pitch)) continue;
    if (i >= playing && publishedBytes() + loopFrames(e.beats) * 4 > kStretchMemoryBudget) continue;
    std::lock_guard<std::mutex> g(makeMutex);
    if (madeFor(v, e, pitch)) return true;
    Made* m = make(v, e, pitch);
    if (m) cutTracks(Cut::Switch, v, m, false);
    return true;
  }
  return false;
}

void workerMain() {
  // Making loops is background work: it yields the cores to the audio and
  // interface threads (a thread's own nice value on Linux).
  setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
  double last = -1;
  auto since = std::chrono::steady_clock::now();
  bool idle = false;
  std::unique_lock<std::mutex> lk(wakeMutex);
  while (!quitFlag) {
    const auto wait = idle || last == 0 ? std::chrono::milliseconds(1000) : std::chrono::milliseconds(50);
    wakeCv.wait_for(lk, wait, [] { return wakeFlag || quitFlag; });
    if (quitFlag) break;
    const bool woken = wakeFlag;
    wakeFlag = false;
    lk.unlock();
    const double p = handFed.load() ? 0 : currentPitch();
    const auto now = std::chrono::steady_clock::now();
    if (handFed.load()) {
      last = -1;
    } else if (p != last) {
      last = p;
      since = now;
      idle = false;
      retireAllBut(p);
      cutTracks(Cut::Revert, -1, nullptr, false);
    } else if (p != 0 && now - since >= std::chrono::milliseconds(kStretchSettleMs)) {
      if (woken) idle = false;
      if (!idle) idle = !makeNext(p);
    }
    reclaim();
    lk.lock();
  }
}

void startWorker() {
  std::lock_guard<std::mutex> g(wakeMutex);
  if (workerStarted) return;
  quitFlag = false;
  quitting = false;
  workerStarted = true;
  worker = std::thread(workerMain);
}

void noteLoopLocked(int v) {
  if (v >= int(loops.size())) loops.resize(size_t(v) + 1);
  LoopEntry& e = loops[size_t(v)];
  e.name = VTracks[v].name;
  e.beats = VTracks[v].lengthBeats.load();
  e.failedPitch = 0;
}

// A program (or test) that ends without the engine's exit still joins the
// worker before the state above is destroyed (it is defined after it).
struct JoinAtExit {
  ~JoinAtExit() { JLStretchShutdown(); }
} joinAtExit;

}  // namespace

void JLStretchNoteAllLoops() {
  std::lock_guard<std::mutex> g(listMutex);
  loops.clear();
  const int n = std::min<int>(NumVTracks.load(), kVTracks);
  for (int v = 0; v < n; ++v) noteLoopLocked(v);
}

void JLStretchSetEnabled(bool on) {
  if (on) {
    JLStretchNoteAllLoops();
    enabled = true;
    startWorker();
  } else {
    enabled = false;
  }
  wake();
}

bool JLStretchEnabled() { return enabled.load(); }

double JLStretchPitchNow() { return currentPitch(); }

void JLStretchNoteLoop(int variant) {
  if (variant < 0 || variant >= kVTracks) return;
  {
    std::lock_guard<std::mutex> g(listMutex);
    noteLoopLocked(variant);
  }
  if (enabled.load()) wake();
}

void JLStretchForgetLoops() {
  {
    std::lock_guard<std::mutex> g(listMutex);
    loops.clear();
  }
  retireAllBut(0);
  if (enabled.load()) wake();
}

void JLStretchNoteTempo() {
  if (workerStarted) wake();
}

int JLStretchPrepareNow() {
  const double p = currentPitch();
  if (p == 0) return -1;
  int ready = 0;
  {
    std::lock_guard<std::mutex> g(makeMutex);
    retireAllBut(p);
    for (int v : wantedOrder(false)) {
      LoopEntry e;
      if (!entryFor(v, &e)) continue;
      if (madeFor(v, e, p) || make(v, e, p)) ++ready;
    }
  }
  const bool manual = wDBManualFeed();
  for (int ti = 0; ti < kTracks; ++ti) {
    const int v = Tracks[ti].currentVariant.load();
    const Made* m = v >= 0 && v < kVTracks ? published[v].load() : nullptr;
    if (m)
      cutAtNextRepetition(ti, Cut::Switch, v, m, manual);
    else
      cutAtNextRepetition(ti, Cut::Revert, -1, nullptr, manual);
  }
  if (!manual) WakeLoader();
  reclaim();
  return ready;
}

void JLStretchSetHandFed(bool on) {
  handFed = on;
  preparedPitch = 0;
  wake();
}

void JLStretchFollowHandFed() {
  const double p = currentPitch();
  if (p == preparedPitch) return;
  preparedPitch = p;
  if (p != 0)
    JLStretchPrepareNow();
  else
    cutTracks(Cut::Revert, -1, nullptr, wDBManualFeed());
}

void JLStretchShutdown() {
  {
    std::lock_guard<std::mutex> g(wakeMutex);
    quitFlag = true;
    quitting = true;
  }
  wakeCv.notify_all();
  if (worker.joinable()) worker.join();
  {
    std::lock_guard<std::mutex> g(wakeMutex);
    workerStarted = false;
  }
  enabled = false;
  // The loader has ended: its records let go of what they hold.
  for (int ti = 0; ti < kTracks; ++ti) {
    LoaderSide& s = sides[ti];
    for (Instance& in : s.hist) {
      release(in.made);
      in = Instance();
    }
    release(s.blendFrom);
    s.blendFrom = nullptr;
    s.blend = false;
    madeUntil[ti] = 0;
    latestMade[ti] = nullptr;
  }
  retireAllBut(0);
  reclaim();
}

// ---- loader hooks ----

void JLStretchInstanceOpened(int track, int variant, const char* name, int64_t start) {
  if (track < 0 || track >= kTracks) return;
  LoaderSide& s = sides[track];
  const int64_t len =
      variant >= 0 && variant < kVTracks ? loopFrames(VTracks[variant].lengthBeats.load(std::memory_order_relaxed)) : 0;
  Made* made = nullptr;
  const double p = variant >= 0 && variant < kVTracks ? currentPitch() : 0;
  if (p != 0 && len > 0) {
    made = take(variant);
    if (made && !(made->pitch == p && made->frames == len && made->name == name)) {
      release(made);
      made = nullptr;
    }
  }
  // What was opened from here on is loaded again (a cut): forget it.
  for (Instance& in : s.hist)
    if (in.variant >= 0 && in.start >= start) {
      release(in.made);
      in = Instance();
    }
  std::stable_partition(std::begin(s.hist), std::end(s.hist), [](const Instance& in) { return in.variant >= 0; });
  const Instance* before = nullptr;
  for (const Instance& in : s.hist)
    if (in.variant == variant && in.len == len && in.start + len == start) before = &in;
  release(s.blendFrom);
  s.blendFrom = nullptr;
  s.blend = before && before->made != made;
  s.blendFromFile = s.blend && !before->made;
  if (s.blend && before->made) {
    s.blendFrom = before->made;
    s.blendFrom->refs.fetch_add(1, std::memory_order_relaxed);
  }
  release(s.hist[kHistory - 1].made);
  for (int k = kHistory - 1; k > 0; --k) s.hist[k] = s.hist[k - 1];
  s.hist[0] = Instance{variant, start, len, made};
  if (made)
    madeUntil[track] = start + len;
  else if (madeUntil[track].load() > start)
    madeUntil[track] = start;
  latestMade[track] = made;
}

void JLStretchOverlay(int track, int64_t pos, int frames) {
  if (track < 0 || track >= kTracks || frames <= 0) return;
  LoaderSide& s = sides[track];
  const Instance& c = s.hist[0];
  if (c.variant < 0 || c.len <= 0 || (!c.made && !s.blend)) return;
  TRACK& t = Tracks[track];
  // Silence after a short file belongs to the repetition still open;
  // anything else (a stale record from an earlier play) is left alone.
  if (t.curStart.load() != c.start || !t.ring) return;
  const int64_t from = std::max<int64_t>(pos, c.start);
  const int64_t to = std::min<int64_t>(pos + frames, c.start + c.len);
  const int R = t.ringFrames;
  for (int64_t p = from; p < to; ++p) {
    const int64_t i = p - c.start;
    int16_t* slot = t.ring + 2 * (p % R);
    for (int ch = 0; ch < 2; ++ch) {
      const float fresh = c.made ? float(c.made->pcm[size_t(2 * i + ch)]) : float(slot[ch]);
      float v = fresh;
      if (s.blend && i < kSwitchFadeFrames) {
        const float was = s.blendFromFile ? float(slot[ch]) : float(s.blendFrom->pcm[size_t(2 * i + ch)]);
        const float g = float(i + 1) / float(kSwitchFadeFrames + 1);
        v = g * fresh + (1 - g) * was;
      }
      slot[ch] = int16_t(std::lrint(v));
    }
  }
}

int JLStretchMadeSpan(int variant, const char* name, int64_t len, int64_t from, int16_t* dst, int frames) {
  if (variant < 0 || variant >= kVTracks || !name || len <= 0 || from < 0 || frames <= 0) return 0;
  const double p = currentPitch();
  if (p == 0) return 0;
  Made* made = take(variant);
  if (!made) return 0;
  int done = 0;
  if (made->pitch == p && made->frames == len && made->name == name) {
    for (; done < frames; ++done) {
      const size_t i = size_t((from + done) % len);
      dst[2 * done] = made->pcm[2 * i];
      dst[2 * done + 1] = made->pcm[2 * i + 1];
    }
  }
  release(made);
  return done;
}

JLStretchStats JLStretchGetStats() {
  JLStretchStats s;
  {
    std::lock_guard<std::mutex> g(statsMutex);
    s = stats;
  }
  for (const auto& m : latestMade)
    if (m.load()) s.tracksOnMade++;
  std::lock_guard<std::mutex> g(retireMutex);
  for (auto& slot : published) {
    const Made* m = slot.load();
    if (m) {
      s.loops++;
      s.bytes += int64_t(m->pcm.size()) * 2;
    }
  }
  return s;
}
