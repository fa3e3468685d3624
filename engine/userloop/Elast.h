// User loop renderer: one loop held in memory (recorded from the sound card
// or loaded from a WAV file) that the mixer adds into its float bus once per
// block, repeating once per cycle of whole bars on the engine's timeline,
// with an offset and a speed ratio.
//
// Threads: Elast_RenderToMixer and Elast_GetOrigFrames run on the audio
// thread inside the mixer (marked AUDIO); everything else runs on the UI
// thread. The mixer fills the per-block fields of elastRenderData (count,
// timeline, barFrames, gain, outLeft, outRight) right before each call and
// nobody else touches them. The store and the UI-set fields (rate, phase,
// bars, volume) change only under elastLock, which the render holds for a
// whole block and which is never held across file access or allocation; so
// a loop's memory is freed only after it has been taken out of the store
// under the lock, when no block can still be reading it.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/Vtrack.h"

constexpr int kElastWorkFrames = 16384;
// A loaded user loop keeps at most this much of its file (about 12.7
// minutes of stereo), whatever the file's size.
constexpr int32_t kElastMaxLoadBytes = 128 * 1024 * 1024;
// The limit in force (UI thread); tests lower it to try huge files cheaply.
extern int32_t ElastLoadLimitBytes;
// Accepted speed ratios: below 8 so one block's source frames fit the work
// buffers, and far enough above 0 that a block always reads source frames.
constexpr float kElastMinRate = 1.0f / 64.0f;
constexpr float kElastMaxRate = 7.99f;
constexpr int kElastMaxBars = 256;

// Filled by the loop tuner screen, handed over through JLEngine::userLoop_params.
// A read-only view of the played region of the user loop, for writing it to
// a file. The samples stay the engine's: the view is valid until the next
// user-loop load, recording or removal, all made on the user-interface
// thread, so a caller that writes the file at once is safe.
struct jlUserLoopView {
  const int16_t* samples = nullptr;  // interleaved
  int32_t frames = 0;                // of the played region
  int16_t channels = 0;
};

struct jlUserLoopSettingsRec {
  bool on;             // play the user loop
  int16_t bars;        // cycle length in 4-beat bars (1, 2, 4, 8)
  float phase;         // offset in bars, 0..bars
  float volume;        // 0..1
  float rate;          // speed ratio, 0.5 and up
  float unused;        // set to 0 by the loop tuner, never read
  float startPercent;  // region start, percent of the user loop
  float endPercent;    // region end, percent of the user loop
};

// The loop itself. Changed only under elastLock.
struct ELASTGLOBALDATA {
  float* workLeft;
  float* workRight;
  int16_t* samples;    // interleaved when stereo; null = no user loop
  int32_t bytes;
  int32_t frames;
  int16_t channels;
  int32_t loopStart;   // first frame of the played region
  int32_t loopEnd;     // frame after the region
  int16_t recording;   // 1 while a take writes into `samples`: never played
};

struct ELASTRENDERDATA {
  float rate;          // source frames per timeline frame
  float phase;         // offset as a fraction of the cycle
  FramePos timeline;   // mixer, per block
  int32_t count;       // mixer, per block
  int32_t srcCount;
  int32_t srcStart;
  int32_t barFrames;   // mixer, per block: 4 x BPM
  int32_t bars;
  float* outLeft;      // mixer, per block
  float* outRight;     // mixer, per block
  float gain;          // mixer, per block: MasterVol / 127
  float volume;
  std::atomic<int16_t> enabled;  // 1 while the mixer calls the renderer
};

extern ELASTGLOBALDATA elastGlobalData;
extern ELASTRENDERDATA elastRenderData;
extern TrackLock elastLock;

// Allocates the work buffers and disables the user loop.
void Elast_Init();
// Disables the user loop, closes a recording take still open and frees the
// work buffers. The loop itself stays.
void Elast_Exit();
// Replaces the user loop by a WAV file (system path). The old loop is gone
// even when this fails. Returns false for a null path or a file that cannot
// be opened; keeps as much of the file's beginning as memory allows.
bool Elast_Load(const char* path);
// Applies the loop tuner's settings (out-of-range values are clamped).
void Elast_Params(const jlUserLoopSettingsRec* s);
// Takes `samples` (M_alloc'd, or null) as the user loop and frees the old
// one. `recording` marks a take in progress: the renderer stays off.
void Elast_Replace(int16_t* samples, int32_t frames, int16_t channels, bool recording);
// Ends a take: the loop keeps its first `frames` frames and may play again.
void Elast_EndTake(int32_t frames);
// AUDIO. Adds one block of the user loop into the bus.
void Elast_RenderToMixer();
// AUDIO. Reads the block's source frames into the work buffers. Caller
// holds elastLock.
void Elast_GetOrigFrames();
