// Placeholder synth: every operation keeps its contract's shape and result
// but renders nothing. The sampler and arpeggiator replace these bodies.
#include "engine/synth/Synth.h"

#include <cstring>

#include "core/files/uloPathNames.h"

SYNTHETIZER RealtimeSynth;
SYNTHDATA SynthSamps;

int InitSynth(SYNTHETIZER* s, SYNTHDATA* d) {
  if (!s) return 0;
  s->samples = d;
  for (SYNTHVOICE& v : s->voices) v = {-1, 0};
  s->poly = 4;
  s->arpMode = 0;
  s->nextStep = -1;
  s->stepsPerBeat = 1;
  s->pattern[0] = 0;
  s->patternIndex = 0;
  s->volume = 128;
  s->pan = 64;
  s->beatFrames = 0;
  return 0;
}

int InitSynthFStop(SYNTHETIZER* s, SYNTHDATA*) {
  if (!s) return 0;
  for (SYNTHVOICE& v : s->voices) v = {-1, 0};
  s->patternIndex = 0;
  s->nextStep = -1;
  return 0;
}

int FreeSynth(SYNTHDATA*) { return 0; }
int SetSynth(SYNTHDATA*, const char*) { return 0; }

int SetSynthBPM(SYNTHETIZER* s, int framesPerBeat) {
  if (s) s->beatFrames = framesPerBeat;
  return 0;
}

int SetSynthPoly(SYNTHETIZER* s, int n) {
  if (s) s->poly = n < 1 ? 1 : n > kSynthVoices ? kSynthVoices : n;
  return 0;
}

int SetSynthVolume(SYNTHETIZER* s, int v) {
  if (s) s->volume = v;
  return 0;
}

int SetSynthPan(SYNTHETIZER* s, int p) {
  if (s) s->pan = p;
  return 0;
}

int SynthSetNote(SYNTHETIZER*, const char*, int) { return 0; }
int ArpeggiatorOn(SYNTHETIZER*, int, int, const char*, int) { return 0; }
int ArpeggiatorOff(SYNTHETIZER*) { return 0; }
int ArpeggiatorSync(SYNTHETIZER*, int) { return 0; }

int SynthFloatRender(SYNTHETIZER*, float*, float*, int, float, int count) { return count; }

int RealtimeSetSynth(const char* folder) { return SetSynth(&SynthSamps, folder); }
int RealtimeArpeggiatorOn(int mode, int stepsPerBeat, const char* pattern) {
  return ArpeggiatorOn(&RealtimeSynth, mode, stepsPerBeat, pattern, 0);
}
int RealtimeArpeggiatorOff() { return ArpeggiatorOff(&RealtimeSynth); }
int RealtimeSetSynthPoly(int n) { return SetSynthPoly(&RealtimeSynth, n); }
int RealtimeSetSynthVolume(int v) { return SetSynthVolume(&RealtimeSynth, v); }
int RealtimeSetSynthPan(int p) { return SetSynthPan(&RealtimeSynth, p); }
