// Track voices and their looping schedule: the eight track records, the list
// of registered loops (virtual tracks) and the rule that says which file
// starts where on the common timeline, so every loop repeats at multiples of
// its own length and all tracks stay in beat.
//
// Threads: selections (TrackPlay*, SetPlaySync), AddSongVTrack and
// ResetSongVTracks run on the UI thread; GestioneLooping also runs on the
// loader thread. An immediate change while a live output plays reads the
// start of the new loop from its file (ServeImmediateChange) on the
// calling thread, as the loader does when it gets there first. The schedule fields of a track change only under its
// `lock`, which no thread ever holds across file access or allocation, so the
// audio thread may take it too. Fields other threads read without the lock
// are atomics. Operations return 0 on success, 1 on failure.
#pragma once
#include <pthread.h>

#include <atomic>
#include <cstdint>

constexpr int kTracks = 8;
constexpr int kVTracks = 512;
// Timeline positions are frame counts since the start of play, in 64 bits so
// that a mix may play for years (32 bits ran out after 13.5 hours at 44.1
// kHz). "Never" lies far beyond any reachable position, with room to add a
// block to it without overflow.
using FramePos = int64_t;
using AtomicPos = std::atomic<int64_t>;
constexpr FramePos kNever = INT64_MAX / 4;
constexpr int kSyncBeats = 32;
constexpr int kVTrackNameSize = 248;
constexpr int kTrackFileNameSize = 260;

// Lock for a handful of field stores, shared by the interface, the loader
// and the audio thread. Holders never do I/O or allocate, so it is held for
// microseconds. It inherits priority: the audio thread runs real-time, and a
// spin lock would let it wait on a holder that its own thread keeps off the
// core (with sched_yield a real-time spinner yields only to its equals), until
// the kernel's real-time throttling stepped in a second later. With
// inheritance a holder that the audio thread waits for runs at the audio
// thread's priority until it lets go. Where the system has no such mutexes
// it is a plain one.
class TrackLock {
 public:
  TrackLock();
  ~TrackLock();
  TrackLock(const TrackLock&) = delete;
  TrackLock& operator=(const TrackLock&) = delete;
  void lock() { pthread_mutex_lock(&m_); }
  void unlock() { pthread_mutex_unlock(&m_); }
  // Whether the lock inherits priority (false where the system refused).
  bool inherits() const { return inherits_; }

 private:
  pthread_mutex_t m_;
  bool inherits_ = false;
};

struct TrackLockGuard {
  explicit TrackLockGuard(TrackLock& l) : l_(l) { l_.lock(); }
  ~TrackLockGuard() { l_.unlock(); }
  TrackLockGuard(const TrackLockGuard&) = delete;
  TrackLockGuard& operator=(const TrackLockGuard&) = delete;
  TrackLock& l_;
};

struct VTRACK {
  // System path of what the loader streams: the loop file itself, or its
  // copy converted to the engine's rate. Empty = free entry.
  char name[kVTrackNameSize];
  std::atomic<int32_t> lengthBeats;
  int32_t extraBeats;
  // What registration found wrong with the file (WaveFault), for the
  // loader to tell when the loop is first played.
  std::atomic<int32_t> fault;
  // Fault waiting to be told: 0 none, -1 told, else fault | track << 8.
  std::atomic<int32_t> report;
};

struct WaveFile;

using I32 = std::atomic<int32_t>;

struct TRACK {
  I32 volume;          // 0..127
  I32 pan;             // 127 hard left .. 0 hard right
  int32_t channels;    // loader thread only
  int16_t* ring;       // ringFrames interleaved stereo frames
  AtomicPos loadedTo;  // written by the loader only (release), read by the mixer
  int32_t ringFrames;
  I32 idle;            // 1 = no file open
  int32_t remaining;   // loader thread only
  WaveFile* file;      // loader thread only; null = none
  FramePos fileStart;  // loader thread only: timeline start of the open file
  AtomicPos nextStart;
  AtomicPos curStart;
  char fileName[kTrackFileNameSize];  // only under `lock`
  I32 syncVolume;
  I32 syncPan;
  AtomicPos syncAt;
  I32 pendingVariant;  // -2 none, -1 stop at syncPoint, >= 0 change at syncPoint
  AtomicPos syncPoint;
  I32 currentVariant;  // -1 none
  // Positions before this are not mixed: whatever the ring holds there
  // belongs to a loop that was stopped before the current selection.
  AtomicPos mixFrom;
  // Where an immediate change cut the ring (kNever: none); the mixer fades
  // the old loop out before it and the new one in after it.
  AtomicPos switchAt;
  // Bumped under `lock` by every schedule change made outside the loader, so
  // a refill step that did I/O without the lock knows its plan went stale.
  std::atomic<uint32_t> schedGen;
  TrackLock lock;
  // Loop heads in memory standing in for the ring after an immediate change
  // (JLLoopHeads.h); only under `lock`. `heads[1]`, the latest change, plays
  // where the ring is not loaded yet; `heads[0]`, the change before it, is
  // still playing where the ring was cut past it and wins over the ring.
  struct HeadSpan {
    const int16_t* frames = nullptr;  // null: none
    FramePos from = 0, to = 0;        // timeline span it covers
    int64_t phase = 0;                // frame of `frames` played at `from`
  } heads[2];
  // The end of the latest head span (0: none), for the mixer's check
  // without the lock.
  AtomicPos headsTo;
  // An immediate change waiting for the loader to decode its first audio
  // (-1: none), and a count bumped by every request and cancel so the
  // loader knows whether what it decoded still stands. Only under `lock`.
  I32 prepVariant;
  std::atomic<uint32_t> prepGen;
  // Where the loader decodes that audio (kPrepFrames frames each); the
  // mixer plays one through a head span. A buffer is the loader's again
  // once the timeline has passed its `prepBusyTo`.
  int16_t* prep[2];
  AtomicPos prepBusyTo[2];
};

// Frames decoded ahead for an immediate change (743 ms at 44.1 kHz, the
// least the ring holds ahead between two refills): the new loop plays from
// them while the loader refills the ring, so a change never leaves the
// loader less time than it always has.
constexpr int kPrepFrames = 32768;

extern TRACK Tracks[kTracks];
extern VTRACK VTracks[kVTracks];
extern I32 NumVTracks;
extern AtomicPos TimeLine;  // next block's position; written by the audio thread only
// The end of the block the mixer is mixing, or of the last one it mixed;
// written (seq_cst) by the audio thread as a block begins, before it reads
// any track's switch. Whoever publishes a switch bumps SwitchEpoch after it
// and then reads MixingTo: a block that may have missed the switch ends at
// or before what it reads.
extern AtomicPos MixingTo;
extern std::atomic<uint32_t> SwitchEpoch;
extern I32 BPM;        // frames per beat, fixed at arming
extern I32 SongBPM;
// Blocks in which a streaming track had less audio loaded than the block
// needed (the loader fell behind). Diagnostic; never reset while playing.
extern std::atomic<uint32_t> TrackUnderruns;
// Frames ahead of the timeline at which an immediate change takes over from
// the audio already loaded; 0 = only after all of it has played (the
// queued output, where the device is far ahead anyway, and manual feed).
// Must cover the mixing block in progress and a fade; set while stopped.
extern std::atomic<int32_t> ImmediateLeadFrames;

int InitTracks(int ringFrames);
// Back to the armed state (no loop, nothing loaded); keeps the ring.
void ResetTrackState(TRACK* t);
void FreeTracks();
int TrackPlay(int track, int variant);
int TrackPlaySync(int track, int variant);
int TrackPlay2(int track, int variant, int mode);
// Caller holds t->lock.
void SetPlaySync(TRACK* t, int variant);
// Caller holds t->lock.
void GestioneLooping(TRACK* t);
// Loader thread (or whoever drives the loader's visits), and the thread
// that asked for the change right after asking (`asker`). Serves the
// immediate change the track waits for, if any: decodes the new loop from
// the phase it will have just ahead of the mixer and switches the track to
// it at the first frame the mixer has not taken yet, the old loop playing
// until then. With both buffers busy the asker may switch to the loop's
// head (JLLoopHeads.h, the interface thread's). Leaves the request waiting
// (to be tried on the loader's next visit) when no buffer is free or the
// decode came too late to be used.
void ServeImmediateChange(TRACK* t, bool asker);
// Loader thread. Drops head spans the ring has caught up with, so their
// buffers come free a block later and the mixer reads the ring alone.
void DropSpentHeads(TRACK* t);
int GetCurrentBeat();
void SetSongBPM(int bpm);
void ResetSongVTracks();
// `path` is a system path. The file is checked, and converted when its rate
// is not the engine's (see JLLoopPrep.h), before it is registered. Every call
// takes the next sample number, so one
// bad loop never shifts the numbers of the loops after it: a divisor outside
// 1..32 or a length that cannot be measured is clamped (32 beats when
// unknown), and a path too long for the entry registers a silent entry
// (result 1). Returns 1 without registering only when the list is full.
int AddSongVTrack(const char* path, int divisor, int extra);

// The sync point seen from position p: the first multiple of 32 beats > p.
FramePos SyncPointAfter(FramePos p);
