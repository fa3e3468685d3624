// Live keep-pitch: every playing (then every registered) loop is made
// again in the background for the tempo being played, so that a tempo
// change moves the beat but not the key.
//
// Tracks are mixed on the song-tempo timeline and the whole mix is then
// resampled to the playing tempo, which raises the pitch by the tempo ratio.
// A loop made for keep pitch therefore keeps its timeline length (its
// schedule and the beat grid stay exactly as they are) and is pitch-shifted
// down by that ratio with Rubber Band (JL_PitchLoop): after the resampler it
// lasts exactly its beats at the new tempo, in its own key.
//
// Once the tempo has stayed the same for kStretchSettleMs, a worker thread
// makes the loops (playing ones first) and publishes each one through an
// atomic pointer. The loader reads a published loop instead of the file's
// frames from the next repetition of the loop on; a repetition after one
// played from the other source begins with a short cross-fade, so the
// switch lands exactly on the repetition boundary without a click. Until a
// loop is ready, after a further tempo change, or with the preference off,
// the file's frames are loaded again (the resampled sound). With a pull-mode
// output the worker also takes back a ring's audio loaded past the next
// repetition (about 0.3 s ahead of the mixer at the least), so a switch is
// heard there, not a ring later; with the queued output it waits for the
// loader to reach a repetition. The audio thread never sees any of this.
//
// Threads: JLStretchSetEnabled, JLStretchNote*, JLStretchForgetLoops and
// JLStretchShutdown on the UI thread (or the thread that owns an offline
// session); JLStretchInstanceOpened and JLStretchOverlay on whichever thread
// makes the loader's visits (never two at once); JLStretchPrepareNow on any
// thread but the audio thread and the loader. Published loops are freed by
// the worker (or by JLStretchPrepareNow / JLStretchShutdown) once the loader
// has let go of them.
#pragma once
#include <cstdint>

constexpr int kStretchSettleMs = 300;
// Loops not playing are made ahead only while the made ones hold less than this.
constexpr int64_t kStretchMemoryBudget = int64_t(384) << 20;

// The preference. Off by default; turning it off goes back to the
// resampled sound at each loop's next repetition and frees the made loops.
void JLStretchSetEnabled(bool on);
bool JLStretchEnabled();
// The pitch loops are made at for the tempo now played (the inverse of the
// resampler's ratio), 0 when keep pitch does not apply (off, stopped, at
// the song tempo, a tempo under half the song's). Any thread, the audio
// thread too (atomics only): the synth plays its notes at this rate so
// that they keep their pitch too.
double JLStretchPitchNow();
// The registered loop list as the engine has it (VTracks): one entry, all
// of them again (put back after an offline session), or all of them gone.
void JLStretchNoteLoop(int variant);
void JLStretchNoteAllLoops();
void JLStretchForgetLoops();
// The playing tempo, the tempo quality or a track's selection changed:
// wakes the worker (it goes back to resampling at once where needed).
void JLStretchNoteTempo();
// Makes every loop now playing for the tempo now set, waits for nothing
// else (no settling), and when the output is fed by hand (an offline
// session; the caller owns the engine) reloads the tracks from their next
// repetition at or after the timeline. Returns the loops that are ready,
// -1 when keep pitch does not apply (off, at the song tempo, not playing).
int JLStretchPrepareNow();
// While the engine is fed by hand (an offline session) loops are made only
// by JLStretchPrepareNow, which JLStretchFollowHandFed calls whenever the
// pitch wanted changed, so what a render holds never depends on the
// worker's timing. Both on the thread that owns the session.
void JLStretchSetHandFed(bool on);
void JLStretchFollowHandFed();
// Ends the worker and frees every made loop (engine exit).
void JLStretchShutdown();

// ---- loader hooks ----
// The loader opened the repetition of `variant` starting at timeline
// position `start` for track `track` (0..7); `name` is the file it streams.
void JLStretchInstanceOpened(int track, int variant, const char* name, int64_t start);
// The loader put frames [pos, pos + frames) of the track's ring in place
// (file frames or silence); the made loop replaces them, or the cross-fade
// after a switch is applied, before they are committed.
void JLStretchOverlay(int track, int64_t pos, int frames);

// Any thread but the audio thread. When loop `variant` (streamed from
// `name`, `len` timeline frames a repetition) is made for the pitch played
// now, copies what it holds for timeline frames [from, from + frames) into
// `dst` (16-bit stereo) and returns `frames`; otherwise 0 and `dst` is left
// as it was. An immediate change's first frames then sound as the ring
// after them will.
int JLStretchMadeSpan(int variant, const char* name, int64_t len, int64_t from, int16_t* dst, int frames);

// ---- figures ----
struct JLStretchStats {
  int loops = 0;           // published now
  int64_t bytes = 0;       // their samples
  int made = 0;            // loops made since start
  double cpuSeconds = 0;   // thread CPU time spent making them
  int64_t framesMade = 0;  // their frames
  int tracksOnMade = 0;    // tracks whose ring ends in a made repetition
};
JLStretchStats JLStretchGetStats();
