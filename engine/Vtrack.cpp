#include "engine/Vtrack.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "core/files/uloPathNames.h"
#include "engine/AudioFormat.h"
#include "engine/JLLoopHeads.h"
#include "engine/JLLoopPrep.h"
#include "engine/Mixer.h"

TRACK Tracks[kTracks];
VTRACK VTracks[kVTracks];
I32 NumVTracks{0};
AtomicPos TimeLine{0};
I32 BPM{0};
I32 SongBPM{0};
std::atomic<uint32_t> TrackUnderruns{0};
std::atomic<int32_t> ImmediateLeadFrames{0};

void TrackLock::spinWait() {
  // Holders only store a few fields; yielding keeps a preempted holder from
  // being starved by us on a busy core.
  std::this_thread::yield();
}

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

// Caller holds t->lock; `v` is the loop the track changes to at once. When
// the loop's head in memory (JLLoopHeads.h) holds its phase at the switch,
// the switch comes right after the block being mixed and its fade, and the
// mixer plays the head there until the loader's refill from the file takes
// over. The head must last the refill: the lead the ring cut would have
// given the loader, plus a block. False, with nothing changed, when there is
// no head, the phase lies too near its end, or no live output fades.
bool cutRingToHead(TRACK* t, int v) {
  const int lead = ImmediateLeadFrames.load(std::memory_order_relaxed);
  const int block = MixBlockFrames.load(std::memory_order_relaxed);
  const int ramp = MixRampFrames.load(std::memory_order_relaxed);
  const int64_t len = loopFrames(v);
  const int16_t* frames = nullptr;
  int32_t count = 0;
  if (lead <= 0 || ramp <= 0 || len <= 0 || !JL_LoopHead(v, VTracks[v].name, &frames, &count)) return false;
  const int64_t usable = count < len ? count : len;
  const FramePos guard = block + ramp;
  const FramePos old = t->loadedTo.load(std::memory_order_acquire);
  const TRACK::HeadSpan last = t->heads[1];
  FramePos x = TimeLine.load(std::memory_order_acquire);
  // A head of the change before the last still playing over a cut ring:
  // a third change so soon takes the ring cut instead.
  if (t->heads[0].frames && t->heads[0].to > x) return false;
  for (int tries = 0; tries < 16; ++tries) {
    const FramePos p = x + guard;
    const int64_t phase = p % len;
    // Once the ring has been cut (a retry: the mixer moved on meanwhile)
    // the head plays whatever of it is left rather than give up half done.
    if (tries == 0 && usable - phase < lead + block) return false;
    const int64_t cover = usable > phase ? usable - phase : 0;
    TRACK::HeadSpan before;
    if (p < old) {
      // The ring holds the old loop past the switch: cut it there.
      t->loadedTo.store(p, std::memory_order_seq_cst);
    } else if (t->currentVariant >= 0) {
      // The ring ends before the switch, and the last change's head plays
      // up to it: that head keeps playing to the switch, over the ring the
      // loader refills from the switch on.
      if (!last.frames || last.from > old || last.to < p) return false;
      before = last;
      before.to = p;
      t->loadedTo.store(p, std::memory_order_seq_cst);
    }
    // (A stopped track mixes nothing before the switch.)
    setHeads(t, before, TRACK::HeadSpan{frames, p, p + cover, phase});
    t->switchAt.store(p, std::memory_order_release);
    if (t->currentVariant < 0 && t->mixFrom < p) t->mixFrom = p;
    UrgentTracks.fetch_or(1u << (t - Tracks));
    const FramePos now = TimeLine.load(std::memory_order_seq_cst);
    if (now + guard <= p) return true;
    x = now;
  }
  return true;
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
  t->schedGen.fetch_add(1);
}

int InitTracks(int ringFrames) {
  FreeTracks();
  if (ringFrames <= 0) return 1;
  for (TRACK& t : Tracks) {
    ResetTrackState(&t);
    t.ringFrames = ringFrames;
    t.ring = static_cast<int16_t*>(M_alloc(long(ringFrames) * 4));
    if (!t.ring) {
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
    {
      TrackLockGuard g(t->lock);
      if (t->currentVariant == v) return 0;
      if (mode == 0 && !cutRingToHead(t, v)) cutRingForImmediateChange(t);
      // A stopped track may still hold the old loop's audio ahead of the
      // timeline; it must not come back with the new selection.
      if (t->currentVariant < 0) {
        const FramePos lt = t->loadedTo.load(std::memory_order_acquire);
        if (t->mixFrom < lt) t->mixFrom = lt;
      }
      if (mode == 0) {
        t->nextStart = kNever;
        t->fileName[0] = 0;
        t->currentVariant = v;
        t->curStart = -1;
        SetPlaySync(t, -2);
        GestioneLooping(t);
      } else {
        SetPlaySync(t, v);
      }
      t->schedGen.fetch_add(1);
    }
    WakeLoader();
    return 0;
  }
  TrackLockGuard g(t->lock);
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
