// Sample synth with arpeggiator: a chromatic one-shot sampler of up to 16
// voices whose notes fall on a grid of beat divisions of the engine's
// timeline. It renders into the mixer's float bus before tempo resampling,
// so it follows tempo changes together with the loops.
//
// Threads: SynthFloatRender runs on the audio thread inside the mixer
// (marked AUDIO). Everything else runs on the UI thread. The UI and the
// audio thread share two track locks that are never held across file access
// or allocation: the synth's own `lock` guards its voices, arpeggiator and
// settings, and the sample set's `lock` guards the note table. A render
// holds both for one block, so a sample buffer is freed only after it has
// been taken out of the table under the lock, i.e. when no block can still
// be reading it. Lock order: synth, then set.
//
// Results: every operation returns 0 except SynthFloatRender (the frame
// count). Nothing fails loudly: a missing note file, an invalid note text or
// an index outside 0..35 is silence.
#pragma once
#include <cstdint>

#include "engine/Vtrack.h"

constexpr int kSynthNotes = 36;
constexpr int kSynthVoices = 16;
constexpr int kSynthPatternSize = 2048;
// A note is a one-shot; anything longer than this is cut, so a stray huge
// file in a synth folder cannot take the machine's memory (36 x 4 MB at most).
constexpr int32_t kSynthNoteMaxFrames = 1 << 20;

struct SYNTHNOTE {
  int16_t* data;     // interleaved when stereo; null = silent note
  int32_t channels;  // 1 mono, 2 stereo
  int32_t frames;
};

// One sample per semitone, "c2.wav" .. "b4.wav".
struct SYNTHDATA {
  SYNTHNOTE notes[kSynthNotes];
  TrackLock lock;
};

struct SYNTHVOICE {
  FramePos start;  // timeline position at which the note began, -1 = free
  int32_t note;   // sample index
  // A key held on a MIDI keyboard: its velocity's gain, and where its
  // release begins (kSynthHeld while held or sounding to its end). The
  // arpeggio's and the on-screen keys' notes are one-shots at gain 1.
  float gain = 1.0f;
  FramePos releaseAt = INT64_MAX;
  bool key = false;        // started by a keyboard key (released by its note-off)
  bool sustained = false;  // note-off came while the sustain pedal was down
  // Played at another rate than one sample frame per timeline frame (keep
  // pitch): the sample position reached at timeline position `phaseAt`.
  bool stepped = false;
  double phase = 0;
  FramePos phaseAt = -1;
};

struct SYNTHETIZER {
  SYNTHDATA* samples;
  SYNTHVOICE voices[kSynthVoices];
  int32_t poly;          // 1..16
  int32_t arpMode;       // 0 off, 1 up, 2 down, 3 random, 4 up-down rising, 5 falling
  FramePos nextStep;     // timeline position of the next arpeggiator step
  int32_t stepsPerBeat;
  char pattern[kSynthPatternSize];
  int32_t patternIndex;  // character index of the current note
  int32_t volume;
  int32_t pan;           // 127 hard left .. 0 hard right
  int32_t beatFrames;
  // End of the last rendered block (kNoBlockYet after arming): a step asked
  // for by the UI never lands inside a block that is already mixed.
  FramePos renderedTo;
  uint32_t randState;
  bool pedal = false;  // sustain pedal down
  TrackLock lock;
};
// A released key fades out over this many frames (no click).
constexpr int kSynthReleaseFrames = 256;

constexpr FramePos kNoBlockYet = INT64_MIN;

extern SYNTHETIZER RealtimeSynth;
extern SYNTHDATA SynthSamps;

// Sample index of a note text ("c1" = 0 .. "b3" = 35), or -1 for a letter
// that is not a note. Other out-of-range results (e.g. "a#4" = 46) are
// returned as computed; they play nothing.
int SynthNoteIndex(const char* note);

int InitSynth(SYNTHETIZER* s, SYNTHDATA* d);
// Frees every voice, lifts the pedal and restarts the pattern; mode, poly,
// volume, pan stay.
int InitSynthFStop(SYNTHETIZER* s, SYNTHDATA* d);
// Empties the set and frees its buffers (waits for a block in progress).
int FreeSynth(SYNTHDATA* d);
// Loads the 36 notes from `folder` (a system path ending in '/') into a new
// table, then exchanges it for the old one, which is freed afterwards. A
// file that cannot be opened leaves its note silent.
int SetSynth(SYNTHDATA* d, const char* folder);
int SetSynthBPM(SYNTHETIZER* s, int framesPerBeat);
int SetSynthPoly(SYNTHETIZER* s, int n);
int SetSynthVolume(SYNTHETIZER* s, int v);
int SetSynthPan(SYNTHETIZER* s, int p);
int SynthSetNote(SYNTHETIZER* s, const char* note, FramePos time);
// `mode` 0..3 = up, down, random, up-down. Starting from off plays the first
// step at `time` at once; otherwise the change takes over at the next step.
int ArpeggiatorOn(SYNTHETIZER* s, int mode, int stepsPerBeat, const char* pattern, FramePos time);
int ArpeggiatorOff(SYNTHETIZER* s);
// One step at `time`: moves through the pattern, plays the note found there
// and schedules the next step on the grid.
int ArpeggiatorSync(SYNTHETIZER* s, FramePos time);
// AUDIO. Adds `count` frames from timeline position `timeline`; returns count.
int SynthFloatRender(SYNTHETIZER* s, float* left, float* right, FramePos timeline, float master,
                     int count);

// A keyboard key: note `index` (0..35) starts at `time` with `gain`
// (0..1, from its velocity); KeyOff releases it at `time` unless the
// sustain pedal holds it, then the pedal's release does. KeyOn of a key
// whose last voice still sounds unreleased (held by the pedal) lets that
// voice fade from `time`, so a note never doubles. Any thread that
// may take the synth's lock (the audio thread included).
int SynthKeyOn(SYNTHETIZER* s, int index, float gain, FramePos time);
int SynthKeyOff(SYNTHETIZER* s, int index, FramePos time);
int SynthSustain(SYNTHETIZER* s, bool down, FramePos time);
// UI-thread wrappers on RealtimeSynth / SynthSamps, reached from the facade.
int RealtimeSetSynth(const char* folder);
int RealtimeArpeggiatorOn(int mode, int stepsPerBeat, const char* pattern);
int RealtimeArpeggiatorOff();
int RealtimeSetSynthPoly(int n);
int RealtimeSetSynthVolume(int v);
int RealtimeSetSynthPan(int p);
