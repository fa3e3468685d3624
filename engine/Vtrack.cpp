#include "engine/Vtrack.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "core/files/uloPathNames.h"
#include "engine/AudioFormat.h"
#include "engine/JLLoopHeads.h"
#include "engine/JLLoopPrep.h"
#include "engine/JLStretch.h"
#include "engine/Mixer.h"

TRACK Tracks[kTracks];
VTRACK VTracks[kVTracks];
I32 NumVTracks{0};
AtomicPos TimeLine{0};
AtomicPos MixingTo{0};
std::atomic<uint32_t> SwitchEpoch{0};
I32 BPM{0};
I32 SongBPM{0};
std::atomic<uint32_t> TrackUnderruns{0};
std::atomic<int32_t> ImmediateLeadFrames{0};

TrackLock::TrackLock() {
  pthread_mutexattr_t a;
  pthread_mutexattr_init(&a);
  inherits_ = pthread_mutexattr_setprotocol(&a, PTHREAD_PRIO_INHERIT) == 0 && pthread_mutex_init(&m_, &a) == 0;
  pthread_mutexattr_destroy(&a);
  if (!inherits_) pthread_mutex_init(&m_, nullptr);
}

TrackLock::~TrackLock() { pthread_mutex_destroy(&m_); }

namespace {

// The virtual-track list is read under a track lock by GestioneLooping, so
// whoever rewrites it holds all eight.
void lockAllTracks() {
  for (TRACK& t : Tracks) t.lock.lock();
}
void unlockAllTracks() {
  for (int i = kTracks - 1; i >= 0; --i) Tracks[i].lock.unlock();
}

int64_t loopFrames(int variant) {
  if (variant < 0 || variant >= kVTracks) return 0;
  return int64_t(VTracks[variant].lengthBeats.load(std::memory_order_relaxed)) *
         BPM.load(std::memory_order_relaxed);
}

void copyVTrackName(TRACK* t, int variant) {
  if (variant < 0 || variant >= kVTracks) {
    t->fileName[0] = 0;
    return;
  }
  ULO_StrCopy(t->fileName, sizeof t->fileName, VTracks[variant].name);
}

FramePos clampPos(FramePos p) { return p >= kNever ? kNever : p; }

void setHeads(TRACK* t, const TRACK::HeadSpan& before, const TRACK::HeadSpan& last) {
  t->heads[0] = before;
  t->heads[1] = last;
  const FramePos to = last.frames ? last.to : before.frames ? before.to : 0;
  t->headsTo.store(to, std::memory_order_release);
}

// The latest change's head no longer plays from `at` on: what comes there
// is the loader's (a change the head path could not take).
void endLastHeadAt(TRACK* t, FramePos at) {
  TRACK::HeadSpan last = t->heads[1];
  if (last.frames && last.to > at) last.to = at > last.from ? at : last.from;
  setHeads(t, t->heads[0], last);
}

// Caller holds t->lock. What an immediate change to `v` sets: the loop
// plays from the instance holding the load position (its timeline phase),
// and a change still waiting for the sync point is dropped.
void scheduleNow(TRACK* t, int v) {
  t->nextStart = kNever;
  t->fileName[0] = 0;
  t->currentVariant = v;
  t->curStart = -1;
  SetPlaySync(t, -2);
  GestioneLooping(t);
}

// Audio of a loop in memory that can stand in for the ring after a switch
// at timeline position p: a loop head holds phases [0, count) of every
// repetition of `len` frames; a decoded span (len 0) holds the timeline
// from `from` on.
struct SpanSource {
  const int16_t* frames = nullptr;
  int64_t len = 0;
  FramePos from = 0;
  int64_t count = 0;
  int64_t phaseAt(FramePos p) const { return len > 0 ? p % len : p - from; }
  int64_t coverAt(FramePos p) const {
    const int64_t ph = phaseAt(p);
    return ph >= 0 && ph < count ? count - ph : 0;
  }
};

// The first frame a switch published now may come at: the old loop fades
// out over the ramp before it, past any block the mixer may be mixing.
FramePos earliestSwitch(int ramp) { return MixingTo.load(std::memory_order_seq_cst) + ramp; }

// Caller holds t->lock; `v` is the loop the track changes to at once, and
// `src` its audio in memory. The switch comes at the first frame the mixer
// has not taken yet (past its fade-out), never before `src` begins; the
// ring is cut there, the mixer plays `src` until the loader's refill from
// the file takes over, and the track's schedule moves to `v`. False, with
// nothing changed, when `src` would cover fewer than `minCover` frames
// from the switch, or the head of the change before the last still plays
// over a cut ring.
bool switchToSpan(TRACK* t, int v, const SpanSource& src, int64_t minCover) {
  const int ramp = MixRampFrames.load(std::memory_order_relaxed);
  if (ramp <= 0 || !src.frames) return false;
  const FramePos old = t->loadedTo.load(std::memory_order_acquire);
  const TRACK::HeadSpan last = t->heads[1];
  if (t->heads[0].frames && t->heads[0].to > TimeLine.load(std::memory_order_acquire)) return false;
  FramePos p = earliestSwitch(ramp);
  if (src.len == 0 && p < src.from) p = src.from;
  if (src.coverAt(p) < minCover) return false;
  for (int tries = 0; tries < 16; ++tries) {
    // Once published (a retry: the mixer began a block meanwhile) the span
    // plays whatever of it is left rather than give up half done.
    const int64_t cover = src.coverAt(p);
    TRACK::HeadSpan before;
    if (p < old) {
      // The ring holds the old loop past the switch: cut it there.
      t->loadedTo.store(p, std::memory_order_seq_cst);
    } else if (t->currentVariant >= 0 && last.frames && last.from <= old && last.to >= p) {
      // The ring ends before the switch, and the last change's head plays
      // up to it: that head keeps playing to the switch, over the ring the
      // loader refills from the switch on.
      before = last;
      before.to = p;
      t->loadedTo.store(p, std::memory_order_seq_cst);
    }
    // Otherwise the ring ran dry before the switch (or the track was
    // stopped, or its loop could not be played): the loader refills it with
    // the new loop from where it is. When the mixer has played all the old
    // loop had, what the loader writes before the switch must not be heard
    // ahead of the fade-in.
    setHeads(t, before, TRACK::HeadSpan{src.frames, p, p + cover, src.phaseAt(p)});
    const bool dry = p > old && !before.frames && old <= TimeLine.load(std::memory_order_acquire);
    if ((t->currentVariant < 0 || dry) && t->mixFrom < p) t->mixFrom = p;
    scheduleNow(t, v);
    t->switchAt.store(p, std::memory_order_seq_cst);
    UrgentTracks.fetch_or(1u << (t - Tracks));
    SwitchEpoch.fetch_add(1, std::memory_order_seq_cst);
    const FramePos e = earliestSwitch(ramp);
    if (e <= p) return true;
    p = e;
  }
  return true;
}

// Caller holds t->lock. The loop's head in memory (JLLoopHeads.h), when it
// holds the phase at the switch and lasts long enough for the loader to
// refill the ring behind it on a busy machine (200 ms; a decoded start
// lasts as long as the ring's low-water mark).
bool switchToHead(TRACK* t, int v) {
  const int64_t len = loopFrames(v);
  SpanSource src;
  int32_t count = 0;
  if (len <= 0 || !JL_LoopHead(v, VTracks[v].name, &src.frames, &count)) return false;
  src.len = len;
  src.count = count < len ? count : len;
  return switchToSpan(t, v, src, SAMPFREQ / 5);
}

// Caller holds t->lock. Cancels an immediate change the loader has not
// served yet.
void cancelPrepared(TRACK* t) {
  if (t->prepVariant.load(std::memory_order_relaxed) < 0) return;
  t->prepVariant = -1;
  t->prepGen.fetch_add(1);
}

// Caller holds t->lock. Takes back the audio loaded beyond a point a little
// ahead of the mixer, so an immediate change is heard from there instead of
// after the whole ring; the loader refills from that point (it writes only
// at loadedTo and beyond, and its step in flight sees schedGen change).
// The point must lie beyond the block being mixed now plus a fade, which is
// checked after the cut against the mixer's progress and moved on if the
// mixer got there first.
void cutRingForImmediateChange(TRACK* t) {
  const int lead = ImmediateLeadFrames.load(std::memory_order_relaxed);
  if (lead <= 0) return;
  const FramePos old = t->loadedTo.load(std::memory_order_acquire);
  const FramePos guard = MixBlockFrames.load(std::memory_order_relaxed) + MixRampFrames.load(std::memory_order_relaxed);
  FramePos x = TimeLine.load(std::memory_order_acquire);
  for (int tries = 0; tries < 16; ++tries) {
    const FramePos p = x + lead;
    if (p >= old) {
      // Nothing loaded that far ahead: the change starts where loading is,
      // or at p for a track that held nothing to play.
      const FramePos at = old > p - lead + guard ? old : p;
      t->switchAt.store(at, std::memory_order_release);
      endLastHeadAt(t, at);
      if (t->currentVariant < 0 && t->mixFrom < at) t->mixFrom = at;
      return;
    }
    t->switchAt.store(p, std::memory_order_release);
    if (t->currentVariant < 0) t->mixFrom = p;
    endLastHeadAt(t, p);
    t->loadedTo.store(p, std::memory_order_seq_cst);
    UrgentTracks.fetch_or(1u << (t - Tracks));
    const FramePos now = TimeLine.load(std::memory_order_seq_cst);
    if (now + guard <= p) return;
    x = now;
  }
}

}  // namespace

FramePos SyncPointAfter(FramePos p) {
  const int64_t period = int64_t(kSyncBeats) * BPM.load(std::memory_order_relaxed);
  if (period <= 0) return kNever;
  return clampPos((p / period + 1) * period);
}

void ResetTrackState(TRACK* t) {
  TrackLockGuard g(t->lock);
  t->volume = 127;
  t->pan = 63;
  t->channels = 1;
  t->loadedTo.store(0, std::memory_order_release);
  t->idle = 1;
  t->remaining = 0;
  t->file = nullptr;
  t->fileStart = 0;
  t->nextStart = kNever;
  t->curStart = -1;
  t->fileName[0] = 0;
  t->syncVolume = -1;
  t->syncPan = -1;
  t->syncAt = kNever;
  t->pendingVariant = -2;
  t->syncPoint = 0;
  t->currentVariant = -1;
  t->mixFrom = 0;
  t->switchAt = kNever;
  setHeads(t, TRACK::HeadSpan(), TRACK::HeadSpan());
  t->prepVariant = -1;
  t->prepGen.fetch_add(1);
  for (AtomicPos& b : t->prepBusyTo) b.store(0);
  t->schedGen.fetch_add(1);
}

int InitTracks(int ringFrames) {
  FreeTracks();
  if (ringFrames <= 0) return 1;
  for (TRACK& t : Tracks) {
    ResetTrackState(&t);
    t.ringFrames = ringFrames;
    t.ring = static_cast<int16_t*>(M_alloc(long(ringFrames) * 4));
    for (int16_t*& b : t.prep) b = static_cast<int16_t*>(M_alloc(long(kPrepFrames) * 4));
    if (!t.ring || !t.prep[0] || !t.prep[1]) {
      FreeTracks();
      return 1;
    }
  }
  return 0;
}

void FreeTracks() {
  for (TRACK& t : Tracks) {
    M_free(t.ring);
    t.ring = nullptr;
    for (int16_t*& b : t.prep) {
      M_free(b);
      b = nullptr;
    }
  }
}

int TrackPlay(int track, int variant) { return TrackPlay2(track, variant, 0); }
int TrackPlaySync(int track, int variant) { return TrackPlay2(track, variant, 1); }

int TrackPlay2(int track, int variant, int mode) {
  if (track < 1 || track > kTracks) return 1;
  TRACK* t = &Tracks[track - 1];
  const int v = variant - 1;
  const bool valid = v >= 0 && v < kVTracks && VTracks[v].name[0] != 0;
  if (valid) {
    const int status = PlayingStatus.load();
    if (status == 1) return StartPlayback(track - 1, v);
    if (status != 2 || (mode != 0 && mode != 1)) return 0;
    bool serveNow = false;
    {
      TrackLockGuard g(t->lock);
      // The same loop asked for again while the loader prepares it.
      if (mode == 0 && t->prepVariant == v) return 0;
      cancelPrepared(t);
      if (t->currentVariant == v) return 0;
      const bool live = ImmediateLeadFrames.load(std::memory_order_relaxed) > 0 &&
                        MixRampFrames.load(std::memory_order_relaxed) > 0;
      if (mode == 0 && live) {
        // Live output: the old loop plays on until the new one's audio is
        // in memory (decoded now, or its head), and the switch comes at the
        // first frame the mixer has not taken then.
        t->prepVariant = v;
        t->prepGen.fetch_add(1);
        SetPlaySync(t, -2);
        UrgentTracks.fetch_or(1u << (t - Tracks));
        serveNow = true;
        t->schedGen.fetch_add(1);
      } else {
        // A stopped track may still hold the old loop's audio ahead of the
        // timeline; it must not come back with the new selection.
        if (mode == 0) cutRingForImmediateChange(t);
        if (t->currentVariant < 0) {
          const FramePos lt = t->loadedTo.load(std::memory_order_acquire);
          if (t->mixFrom < lt) t->mixFrom = lt;
        }
        if (mode == 0)
          scheduleNow(t, v);
        else
          SetPlaySync(t, v);
        t->schedGen.fetch_add(1);
      }
    }
    // Decoded here rather than by the loader, which may wait for a core on a
    // busy machine: the switch then usually makes the next device buffer.
    // The loader serves it instead when no buffer is free yet.
    if (serveNow) ServeImmediateChange(t, true);
    WakeLoader();
    return 0;
  }
  TrackLockGuard g(t->lock);
  cancelPrepared(t);
  if (mode == 1) {
    SetPlaySync(t, -1);
  } else {
    // Stopped already. A track between two files of its loop, or waiting for
    // its sync start, is idle too but is not stopped, so the test is on the
    // selection rather than on `idle`.
    if (t->currentVariant < 0) return 0;
    t->idle = 1;
    t->currentVariant = -1;
    GestioneLooping(t);
  }
  t->schedGen.fetch_add(1);
  return 0;
}

void SetPlaySync(TRACK* t, int variant) {
  t->pendingVariant = variant;
  if (variant > -2) t->syncPoint = SyncPointAfter(TimeLine.load(std::memory_order_acquire));
  if (variant < 0) return;
  // Nothing is being read and nothing starts before the sync point: the new
  // loop can be scheduled right away, silent up to the sync point.
  const FramePos ns = t->nextStart;
  if (t->idle && (ns == kNever || ns >= t->syncPoint)) {
    if (t->currentVariant < 0) t->mixFrom = t->loadedTo.load(std::memory_order_acquire);
    t->currentVariant = variant;
    copyVTrackName(t, variant);
    t->nextStart = t->syncPoint.load();
  }
}

void GestioneLooping(TRACK* t) {
  int cv = t->currentVariant;
  const int pv = t->pendingVariant;
  const FramePos loaded = t->loadedTo.load(std::memory_order_relaxed);
  if (pv != -2) {
    if (cv >= 0 && pv >= 0 && loaded > int64_t(t->syncPoint) - loopFrames(cv)) {
      // Loading has entered the last repetition before the sync point: the
      // new loop starts exactly there and cuts the current one.
      t->currentVariant = pv;
      copyVTrackName(t, pv);
      t->nextStart = t->syncPoint.load();
      cv = pv;
    }
    if (cv == pv && loaded < t->syncPoint && pv != -1) return;
  }
  if (cv < 0) {
    t->nextStart = kNever;
    t->fileName[0] = 0;
    return;
  }
  copyVTrackName(t, cv);
  const int64_t len = loopFrames(cv);
  if (len <= 0) {
    t->nextStart = kNever;
    return;
  }
  int64_t start = (loaded / len) * len;
  if (start == t->curStart) start += len;
  t->nextStart = clampPos(start);
}

int GetCurrentBeat() {
  if (PlayingStatus.load() != 2) return -1;
  const int32_t bpm = BPM.load(std::memory_order_relaxed);
  if (bpm <= 0) return -1;
  return int((TimeLine.load(std::memory_order_acquire) - BLOCKLEN) / bpm % kSyncBeats);
}

void SetSongBPM(int bpm) { SongBPM = bpm; }

void ResetSongVTracks() {
  lockAllTracks();
  for (VTRACK& vt : VTracks) {
    vt.name[0] = 0;
    vt.lengthBeats.store(0, std::memory_order_relaxed);
    vt.extraBeats = 0;
    vt.fault.store(kWaveFine, std::memory_order_relaxed);
    vt.report.store(0);
  }
  NumVTracks = 0;
  unlockAllTracks();
}

int AddSongVTrack(const char* path, int divisor, int extra) {
  const int index = NumVTracks.load();
  if (index >= kVTracks) return 1;
  if (!path) path = "";
  // Checked (and converted to the engine's rate) before any lock is taken:
  // this reads the whole file when it converts.
  JLLoopPrep prep;
  if (path[0]) prep = JL_PrepareLoop(path, SAMPFREQ);
  if (divisor == 0 && prep.frames > 0) {
    const int song = SongBPM.load();
    if (song > 0) {
      const int64_t f = int64_t(SAMPFREQ) * 60 / song;
      if (f > 0) {
        const int64_t beats = std::max<int64_t>(1, prep.frames / f + (prep.frames % f > f / 2 ? 1 : 0));
        divisor = beats > 32 ? 1 : int(32 / beats);
      }
    }
  }
  // Unknown length, or longer than the cycle: one repetition per 32 beats.
  if (divisor < 1) divisor = 1;
  if (divisor > 32) divisor = 32;
  const char* play = path[0] ? prep.playPath.c_str() : "";
  const bool fits = strlen(play) < sizeof VTracks[0].name;
  lockAllTracks();
  VTRACK& vt = VTracks[index];
  ULO_StrCopy(vt.name, sizeof vt.name, fits ? play : "");
  vt.fault.store(path[0] ? prep.fault : int32_t(kWaveFine), std::memory_order_relaxed);
  vt.report.store(0);
  vt.lengthBeats.store(32 / divisor, std::memory_order_relaxed);
  vt.extraBeats = 4 * extra;
  NumVTracks = index + 1;
  unlockAllTracks();
  // Its head, for immediate changes, decoded from what the loader streams.
  if (fits && play[0] && (prep.fault == kWaveFine || prep.fault == kWaveCut)) JL_LoopHeadDecode(index, play);
  else JL_LoopHeadDecode(index, "");
  return fits ? 0 : 1;
}

void ServeImmediateChange(TRACK* t, bool asker) {
  const int ramp = MixRampFrames.load(std::memory_order_relaxed);
  int v, k = -1;
  uint32_t gen;
  int64_t len;
  FramePos from;
  char name[kVTrackNameSize];
  {
    TrackLockGuard g(t->lock);
    v = t->prepVariant;
    if (v < 0 || v >= kVTracks) return;
    gen = t->prepGen.load(std::memory_order_relaxed);
    ULO_StrCopy(name, sizeof name, VTracks[v].name);
    len = loopFrames(v);
    const FramePos tl = TimeLine.load(std::memory_order_acquire);
    for (int b = 0; b < 2 && k < 0; ++b)
      if (t->prep[b] && t->prepBusyTo[b].load(std::memory_order_relaxed) <= tl) k = b;
    // Both buffers still playing (changes in quick succession): the loop's
    // head, if it holds the phase, or else the change waits for a buffer.
    if (k < 0) {
      if (asker && ramp > 0 && switchToHead(t, v)) {
        t->prepVariant = -1;
        t->prepGen.fetch_add(1);
        t->schedGen.fetch_add(1);
      }
      return;
    }
    // Claimed while it is written (the interface and the loader may both
    // be serving the same request).
    t->prepBusyTo[k].store(kNever, std::memory_order_relaxed);
    // From the first frame the mixer could still switch at, as of now.
    from = earliestSwitch(ramp > 0 ? ramp : 0);
  }
  // With keep pitch, the loop as made for the tempo once it is ready (the
  // ring after the switch plays it too); otherwise the file's frames.
  int got = JLStretchMadeSpan(v, name, len, from, t->prep[k], kPrepFrames);
  if (got == 0) got = DecodeLoopSpan(name, v, int(t - Tracks), len, from, t->prep[k], kPrepFrames);
  TrackLockGuard g(t->lock);
  if (t->prepGen.load(std::memory_order_relaxed) != gen) {
    // Served or changed again meanwhile.
    t->prepBusyTo[k].store(0, std::memory_order_relaxed);
    return;
  }
  if (got <= 0) {
    t->prepBusyTo[k].store(0, std::memory_order_relaxed);
    // Unplayable (its fault is noted already): the track changes as
    // without a live output and is silent from the cut on. It streams
    // nothing from there, so the loader only has to close the old file; a
    // busy loader that comes late is no underrun.
    cutRingForImmediateChange(t);
    if (t->currentVariant < 0) {
      const FramePos lt = t->loadedTo.load(std::memory_order_acquire);
      if (t->mixFrom < lt) t->mixFrom = lt;
    }
    scheduleNow(t, v);
    t->idle = 1;
  } else {
    SpanSource src;
    src.frames = t->prep[k];
    src.from = from;
    src.count = got;
    // A decode the mixer nearly overtook is made again from later on.
    if (!switchToSpan(t, v, src, kPrepFrames / 4)) {
      t->prepBusyTo[k].store(0, std::memory_order_relaxed);
      return;
    }
    t->prepBusyTo[k].store(from + got, std::memory_order_relaxed);
  }
  t->prepVariant = -1;
  t->prepGen.fetch_add(1);
  t->schedGen.fetch_add(1);
}

void DropSpentHeads(TRACK* t) {
  if (t->headsTo.load(std::memory_order_acquire) <= 0) return;
  TrackLockGuard g(t->lock);
  const FramePos to = t->headsTo.load(std::memory_order_relaxed);
  // heads[0] stands over ring frames that may be stale until it has played.
  const bool first = t->heads[0].frames && t->heads[0].to > TimeLine.load(std::memory_order_acquire);
  if (to <= 0 || first || t->loadedTo.load(std::memory_order_relaxed) < to) return;
  setHeads(t, TRACK::HeadSpan(), TRACK::HeadSpan());
  // A block being mixed may still read them: free once it is done.
  const FramePos done = MixingTo.load(std::memory_order_seq_cst);
  for (AtomicPos& b : t->prepBusyTo) {
    const FramePos busy = b.load(std::memory_order_relaxed);
    if (busy > done && busy != kNever) b.store(done, std::memory_order_relaxed);
  }
}
