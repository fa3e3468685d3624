// Sample synth with arpeggiator: a chromatic one-shot sampler of up to 16
// voices whose notes fall on a grid of beat divisions of the engine's
// timeline. It renders into the mixer's float bus before tempo resampling.
//
// Threads: SynthFloatRender runs on the audio thread inside the mixer; the
// Realtime* wrappers run on the UI thread; InitSynth/InitSynthFStop/FreeSynth/
// SetSynthBPM run on the UI thread while no block is being mixed.
#pragma once
#include <cstdint>

constexpr int kSynthNotes = 36;
constexpr int kSynthVoices = 16;

// One sample per semitone, "c2.wav" .. "b4.wav".
struct SYNTHDATA {
  int16_t* samples[kSynthNotes];  // interleaved when stereo; null = silent note
  int32_t frames[kSynthNotes];
  int32_t channels[kSynthNotes];
};

struct SYNTHVOICE {
  int32_t start;  // timeline position at which the note began, -1 = free
  int32_t note;   // sample index
};

struct SYNTHETIZER {
  SYNTHDATA* samples;
  SYNTHVOICE voices[kSynthVoices];
  int32_t poly;
  int32_t arpMode;
  int32_t nextStep;
  int32_t stepsPerBeat;
  char pattern[2048];
  int32_t patternIndex;
  int32_t volume;
  int32_t pan;
  int32_t beatFrames;
};

extern SYNTHETIZER RealtimeSynth;
extern SYNTHDATA SynthSamps;

int InitSynth(SYNTHETIZER* s, SYNTHDATA* d);
int InitSynthFStop(SYNTHETIZER* s, SYNTHDATA* d);
int FreeSynth(SYNTHDATA* d);
int SetSynth(SYNTHDATA* d, const char* folder);
int SetSynthBPM(SYNTHETIZER* s, int framesPerBeat);
int SetSynthPoly(SYNTHETIZER* s, int n);
int SetSynthVolume(SYNTHETIZER* s, int v);
int SetSynthPan(SYNTHETIZER* s, int p);
int SynthSetNote(SYNTHETIZER* s, const char* note, int time);
int ArpeggiatorOn(SYNTHETIZER* s, int mode, int stepsPerBeat, const char* pattern, int time);
int ArpeggiatorOff(SYNTHETIZER* s);
int ArpeggiatorSync(SYNTHETIZER* s, int time);
// Audio thread. Adds `count` frames from timeline position `timeline`; returns count.
int SynthFloatRender(SYNTHETIZER* s, float* left, float* right, int timeline, float master,
                     int count);

// UI-thread wrappers on RealtimeSynth / SynthSamps, reached from the facade.
int RealtimeSetSynth(const char* folder);
int RealtimeArpeggiatorOn(int mode, int stepsPerBeat, const char* pattern);
int RealtimeArpeggiatorOff();
int RealtimeSetSynthPoly(int n);
int RealtimeSetSynthVolume(int v);
int RealtimeSetSynthPan(int p);
