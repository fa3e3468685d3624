// User loop renderer: one loop held in memory (recorded from the sound card
// or loaded from a WAV file) that the mixer adds into its float bus once per
// block, repeating on the engine's timeline with an offset and a speed.
//
// Threads: Elast_RenderToMixer runs on the audio thread inside the mixer;
// Elast_Init, Elast_Exit and the settings run on the UI thread. The mixer
// fills the per-block fields of elastRenderData right before each call.
#pragma once
#include <atomic>
#include <cstdint>

// Filled by the loop tuner screen, handed over through JLEngine::userLoop_params.
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

// The loop itself; owned by the UI thread, read by the renderer.
struct ELASTGLOBALDATA {
  float* workLeft;
  float* workRight;
  int16_t* samples;    // interleaved when stereo; null = no user loop
  int32_t bytes;
  int32_t frames;
  int16_t channels;
  int32_t loopStart;
  int32_t loopEnd;
};

struct ELASTRENDERDATA {
  float rate;
  float phase;
  int32_t timeline;    // mixer, per block
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

void Elast_Init();
void Elast_Exit();
// Audio thread. Adds one block of the user loop into the bus.
void Elast_RenderToMixer();
// Audio thread. Reads the block's source frames into the work buffers.
void Elast_GetOrigFrames();
