#include "engine/synth/Synth.h"

#include <cstring>
#include <string>

#include "core/files/uloPathPolicy.h"
#include "engine/AudioFormat.h"
#include "engine/JLLoopPrep.h"
#include "engine/JLStretch.h"
#include "engine/Mixer.h"

SYNTHETIZER RealtimeSynth;
SYNTHDATA SynthSamps;

namespace {

const char* const kNoteFiles[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};

bool arpOn(const SYNTHETIZER* s) { return s->arpMode != 0; }

int clampInt(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// The synth's own generator, so random walks neither touch the C library's
// shared state from the audio thread nor depend on who else calls rand().
int nextRand(SYNTHETIZER* s) {
  s->randState = s->randState * 1103515245u + 12345u;
  return int((s->randState >> 16) & 0x7fff);
}

int patternLength(const SYNTHETIZER* s) {
  return int(strnlen(s->pattern, kSynthPatternSize - 1));
}

// One note forward: two characters, three when the note has a '#'.
int advance(const SYNTHETIZER* s, int i) {
  const bool sharp = i + 1 < kSynthPatternSize && s->pattern[i + 1] == '#';
  return i + (sharp ? 3 : 2);
}

// One note back; from index 0 the walk first wraps to the end.
int stepBack(const SYNTHETIZER* s, int i, int len) {
  if (i == 0) i = len;
  i -= 2;
  if (i >= 0 && s->pattern[i] == '#') --i;
  return i < 0 ? 0 : i;
}

void setNote(SYNTHETIZER* s, const char* note, FramePos time) {
  const int idx = SynthNoteIndex(note);
  const int poly = clampInt(s->poly, 1, kSynthVoices);
  int best = 0;
  for (int v = 1; v < poly; ++v)
    if (s->voices[v].start < s->voices[best].start) best = v;
  s->voices[best] = {time, idx};
}

// Caller holds s->lock.
void arpStep(SYNTHETIZER* s, FramePos time) {
  const int len = patternLength(s);
  int i = clampInt(s->patternIndex, 0, len);
  int d = s->arpMode;
  if (d == 3) d = nextRand(s) % 5 >= 3 ? 1 : 2;
  switch (d) {
    case 1:
      i = advance(s, i);
      if (i >= len) i = 0;
      break;
    case 2:
      i = stepBack(s, i, len);
      break;
    case 4:
      i = advance(s, i);
      if (i >= len) {
        i = len;
        s->arpMode = 5;
      }
      break;
    case 5:
      i = stepBack(s, i, len);
      if (i == 0) s->arpMode = 4;
      break;
    default:
      return;
  }
  s->patternIndex = i;
  setNote(s, s->pattern + i, time);

  const int64_t bf = s->beatFrames;
  if (bf <= 0) {
    // No beat length yet (not armed): the first rendered block steps.
    s->nextStep = -1;
    return;
  }
  const int64_t spb = clampInt(s->stepsPerBeat, 1, int(bf));
  const int64_t b = time / bf;
  const int64_t k = (time - b * bf) / (bf / spb);
  int64_t next = (k + 1) * bf / spb + b * bf;
  if (next <= time) next = time + 1;
  s->nextStep = next;
}

// Sample frames a note moves per timeline frame: 1, or under keep pitch
// the pitch the loops are made at (the inverse of the tempo ratio), so the
// tempo resampler brings the notes back to their own pitch.
double noteStep() {
  const double p = JLStretchPitchNow();
  return p > 0 ? p : 1.0;
}

// Frame i of channel c of a note, silence outside it.
float noteAt(const SYNTHNOTE& n, int64_t i, int c) {
  if (i < 0 || i >= n.frames) return 0.0f;
  return float(n.data[n.channels == 1 ? i : 2 * i + c]);
}

// A keyboard note's gain at timeline frame t: its velocity, faded over
// kSynthReleaseFrames after its release. False (the voice freed) once the
// fade is over. Audio thread.
bool releasedGain(SYNTHVOICE& voice, FramePos t, float* g) {
  *g = voice.gain;
  const int64_t past = t - voice.releaseAt;
  if (past < 0) return true;
  if (past >= kSynthReleaseFrames) {
    voice.start = -1;
    return false;
  }
  *g *= 1.0f - float(past) / float(kSynthReleaseFrames);
  return true;
}

// One voice over [at, at + seg) at `step` sample frames per timeline frame,
// with cubic (Catmull-Rom) interpolation; velocity and release as the
// plain path has them. The voice's sample position is carried from span
// to span, so a rate that changes mid-note does not jump.
void renderStepped(SYNTHVOICE& voice, const SYNTHNOTE& n, float* L, float* R, FramePos at, int seg, float gl,
                   float gr, double step) {
  const int64_t offset = at - voice.start;
  int skip = 0;
  double ph;
  if (offset < 0) {
    if (-offset >= seg) return;
    skip = int(-offset);
    ph = 0;
  } else if (voice.stepped && voice.phaseAt == at) {
    ph = voice.phase;
  } else {
    ph = voice.stepped ? double(offset) * step : double(offset);
  }
  voice.stepped = true;
  for (int i = skip; i < seg; ++i) {
    float g;
    if (!releasedGain(voice, at + i, &g)) return;
    const int64_t k = int64_t(ph);
    if (k >= n.frames) {
      voice.start = -1;
      return;
    }
    const float f = float(ph - double(k));
    for (int c = 0; c < 2; ++c) {
      const float xm = noteAt(n, k - 1, c), x0 = noteAt(n, k, c), x1 = noteAt(n, k + 1, c), x2 = noteAt(n, k + 2, c);
      const float c1 = 0.5f * (x1 - xm), c2 = xm - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
      const float c3 = 0.5f * (x2 - xm) + 1.5f * (x0 - x1);
      const float v = ((c3 * f + c2) * f + c1) * f + x0;
      (c == 0 ? L : R)[i] += v * (c == 0 ? gl : gr) * g;
    }
    ph += step;
  }
  voice.phase = ph;
  voice.phaseAt = at + seg;
}

// Caller holds s->lock and d->lock. Adds the sounding voices over the
// timeline span [at, at + seg), writing from L[0] / R[0].
void renderVoices(SYNTHETIZER* s, const SYNTHDATA* d, float* L, float* R, FramePos at, int seg,
                  float gl, float gr, double step) {
  const int poly = clampInt(s->poly, 1, kSynthVoices);
  for (int v = 0; v < poly; ++v) {
    SYNTHVOICE& voice = s->voices[v];
    if (voice.start == -1 || voice.note < 0 || voice.note >= kSynthNotes || !d) continue;
    const SYNTHNOTE& n = d->notes[voice.note];
    if (!n.data) continue;
    if (step != 1.0 || voice.stepped) {
      renderStepped(voice, n, L, R, at, seg, gl, gr, step);
      continue;
    }
    int64_t offset = at - voice.start;
    int skip = 0;
    if (offset < 0) {  // starts later in this span
      if (-offset >= seg) continue;
      skip = int(-offset);
      offset = 0;
    }
    const int64_t left = int64_t(n.frames) - offset;
    int64_t play = seg - skip;
    if (play >= left) {
      play = left > 0 ? left : 0;
      voice.start = -1;
    }
    float* l = L + skip;
    float* r = R + skip;
    if (voice.gain != 1.0f || voice.releaseAt < at + seg) {
      // A keyboard note: its velocity, and the fade after its release.
      const int ch = n.channels == 1 ? 1 : 2;
      const int16_t* src = n.data + ch * offset;
      const FramePos t0 = at + skip;
      for (int64_t i = 0; i < play; ++i) {
        float g;
        if (!releasedGain(voice, t0 + i, &g)) break;
        l[i] += float(src[ch * i]) * gl * g;
        r[i] += float(src[ch * i + ch - 1]) * gr * g;
      }
      continue;
    }
    if (n.channels == 1) {
      const int16_t* src = n.data + offset;
      for (int64_t i = 0; i < play; ++i) {
        const float x = float(src[i]);
        l[i] += x * gl;
        r[i] += x * gr;
      }
    } else {
      const int16_t* src = n.data + 2 * offset;
      for (int64_t i = 0; i < play; ++i) {
        l[i] += float(src[2 * i]) * gl;
        r[i] += float(src[2 * i + 1]) * gr;
      }
    }
  }
}

SYNTHNOTE loadNote(const std::string& path) {
  SYNTHNOTE n = {nullptr, 1, 0};
  // Read like every loop file: any layout and format, at the mixing rate,
  // so a note sounds at its pitch whatever rate it was recorded at.
  int c = 1;
  int32_t frames = 0;
  int16_t* data = JL_ReadWholeLoop(path.c_str(), SAMPFREQ, kSynthNoteMaxFrames, int64_t(kSynthNoteMaxFrames) * 4, false,
                                   &c, &frames, nullptr);
  if (data) {
    n.data = data;
    n.channels = c;
    n.frames = frames;
  }
  return n;
}

// Puts `fresh` in place of the set's table, then frees what was there.
// The render holds d->lock for a whole block, so once we have had the lock
// no block can still be reading the old buffers.
void exchangeSet(SYNTHDATA* d, const SYNTHNOTE* fresh) {
  SYNTHNOTE old[kSynthNotes];
  {
    TrackLockGuard g(d->lock);
    memcpy(old, d->notes, sizeof old);
    memcpy(d->notes, fresh, sizeof old);
  }
  for (SYNTHNOTE& n : old) M_free(n.data);
}

}  // namespace

int SynthNoteIndex(const char* note) {
  if (!note) return -1;
  static const int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7};  // a..g
  char c = note[0];
  if (c >= 'A' && c <= 'G') c = char(c - 'A' + 'a');
  if (c < 'a' || c > 'g') return -1;
  int i = 1, sharp = 0;
  if (note[1] == '#') {
    sharp = 1;
    i = 2;
  }
  const char digit = note[i];
  if (digit < '0' || digit > '9') return -1;
  return (digit - '1') * 12 + sharp + kSemitone[c - 'a'];
}

int InitSynth(SYNTHETIZER* s, SYNTHDATA* d) {
  if (!s) return 0;
  TrackLockGuard g(s->lock);
  s->samples = d;
  for (SYNTHVOICE& v : s->voices) v = {-1, 0};
  s->poly = 4;
  s->arpMode = 0;
  s->nextStep = -1;
  s->stepsPerBeat = 1;
  memset(s->pattern, 0, sizeof s->pattern);
  s->patternIndex = 0;
  s->volume = 128;
  s->pan = 64;
  s->beatFrames = 0;
  s->renderedTo = kNoBlockYet;
  s->randState = 0x2545f491u;
  return 0;
}

int InitSynthFStop(SYNTHETIZER* s, SYNTHDATA*) {
  if (!s) return 0;
  TrackLockGuard g(s->lock);
  for (SYNTHVOICE& v : s->voices) v = {-1, 0};
  s->pedal = false;
  s->patternIndex = 0;
  s->nextStep = -1;
  s->renderedTo = kNoBlockYet;
  return 0;
}

int FreeSynth(SYNTHDATA* d) {
  if (!d) return 0;
  const SYNTHNOTE empty[kSynthNotes] = {};
  exchangeSet(d, empty);
  return 0;
}

int SetSynth(SYNTHDATA* d, const char* folder) {
  if (!d) return 0;
  SYNTHNOTE fresh[kSynthNotes] = {};
  if (folder) {
    for (int k = 0; k < kSynthNotes; ++k) {
      const std::string name =
          std::string(kNoteFiles[k % 12]) + char('2' + k / 12) + ".wav";
      // A note file that is a link out of the synth's folder stays silent.
      if (ULO_PathInsideSys(folder, name.c_str())) fresh[k] = loadNote(std::string(folder) + name);
    }
  }
  exchangeSet(d, fresh);
  return 0;
}

int SetSynthBPM(SYNTHETIZER* s, int framesPerBeat) {
  if (!s) return 0;
  TrackLockGuard g(s->lock);
  s->beatFrames = framesPerBeat;
  return 0;
}

int SetSynthPoly(SYNTHETIZER* s, int n) {
  if (!s) return 0;
  TrackLockGuard g(s->lock);
  s->poly = clampInt(n, 1, kSynthVoices);
  return 0;
}

int SetSynthVolume(SYNTHETIZER* s, int v) {
  if (!s) return 0;
  TrackLockGuard g(s->lock);
  s->volume = v;
  return 0;
}

int SetSynthPan(SYNTHETIZER* s, int p) {
  if (!s) return 0;
  TrackLockGuard g(s->lock);
  s->pan = p;
  return 0;
}

int SynthSetNote(SYNTHETIZER* s, const char* note, FramePos time) {
  if (!s) return 0;
  TrackLockGuard g(s->lock);
  setNote(s, note, time);
  return 0;
}

int SynthKeyOn(SYNTHETIZER* s, int index, float gain, FramePos time) {
  if (!s || index < 0 || index >= kSynthNotes) return 0;
  TrackLockGuard g(s->lock);
  // The key struck again while the pedal (or a lost note-off) still holds
  // its last voice: that one fades, so the note never sounds twice over.
  for (SYNTHVOICE& v : s->voices)
    if (v.key && v.note == index && v.start != -1 && v.releaseAt == INT64_MAX) {
      v.sustained = false;
      v.releaseAt = time < v.start ? v.start : time;
    }
  // The same voice choice as any note: the one that began longest ago.
  const int poly = clampInt(s->poly, 1, kSynthVoices);
  int best = 0;
  for (int v = 1; v < poly; ++v)
    if (s->voices[v].start < s->voices[best].start) best = v;
  SYNTHVOICE& v = s->voices[best];
  v = {time, index};
  v.gain = gain < 0 ? 0.0f : gain > 1 ? 1.0f : gain;
  v.key = true;
  return 0;
}

int SynthKeyOff(SYNTHETIZER* s, int index, FramePos time) {
  if (!s) return 0;
  TrackLockGuard g(s->lock);
  for (SYNTHVOICE& v : s->voices) {
    if (!v.key || v.note != index || v.start == -1 || v.releaseAt != INT64_MAX || v.sustained) continue;
    if (s->pedal) v.sustained = true;
    else v.releaseAt = time < v.start ? v.start : time;
  }
  return 0;
}

int SynthSustain(SYNTHETIZER* s, bool down, FramePos time) {
  if (!s) return 0;
  TrackLockGuard g(s->lock);
  s->pedal = down;
  if (!down)
    for (SYNTHVOICE& v : s->voices)
      if (v.sustained) {
        v.sustained = false;
        v.releaseAt = time < v.start ? v.start : time;
      }
  return 0;
}

int ArpeggiatorOn(SYNTHETIZER* s, int mode, int stepsPerBeat, const char* pattern, FramePos time) {
  if (!s) return 0;
  TrackLockGuard g(s->lock);
  const int m = clampInt(mode + 1, 1, 4);
  s->stepsPerBeat = stepsPerBeat < 1 ? 1 : stepsPerBeat;
  // Zero-filled, so stepping never reads a previous pattern's tail.
  memset(s->pattern, 0, sizeof s->pattern);
  if (pattern) strncpy(s->pattern, pattern, kSynthPatternSize - 1);
  s->patternIndex = 0;
  // The caller's position may lie in a block the mixer has just finished
  // (it reads TimeLine before the mixer advances it); the first note then
  // sounds at the start of the next block rather than being half skipped.
  if (s->renderedTo != kNoBlockYet && time < s->renderedTo) time = s->renderedTo;
  if (s->arpMode == 0) {
    s->arpMode = m;
    arpStep(s, time);
  }
  s->arpMode = m;
  return 0;
}

int ArpeggiatorOff(SYNTHETIZER* s) {
  if (!s) return 0;
  TrackLockGuard g(s->lock);
  s->arpMode = 0;
  return 0;
}

int ArpeggiatorSync(SYNTHETIZER* s, FramePos time) {
  if (!s) return 0;
  TrackLockGuard g(s->lock);
  arpStep(s, time);
  return 0;
}

int SynthFloatRender(SYNTHETIZER* s, float* left, float* right, FramePos timeline, float master,
                     int count) {
  if (!s || !left || !right || count <= 0) return count;
  TrackLockGuard g(s->lock);
  SYNTHDATA* d = s->samples;
  if (d) d->lock.lock();

  const float full = float(s->volume) * 1.5f / 256.0f * master / 128.0f;
  float gl, gr;
  if (s->pan > 63) {
    gl = full;
    gr = full * float(127 - s->pan) / 64.0f;
  } else {
    gl = full * float(s->pan) / 64.0f;
    gr = full;
  }

  const double step = noteStep();
  const bool stepping = arpOn(s) && s->beatFrames > 0;
  if (stepping) {
    // A step time outside (timeline, timeline + one beat] was set against
    // another timeline: before arming (-1), or while the engine was armed
    // but not yet started. The arpeggio restarts here, and notes placed in
    // that other timeline's future are dropped.
    const int64_t ns = s->nextStep;
    if (ns > timeline + s->beatFrames)
      for (SYNTHVOICE& v : s->voices)
        if (v.start > timeline) v = {-1, 0};
    if (ns <= timeline || ns > timeline + s->beatFrames) arpStep(s, timeline);
  }

  int pos = 0;
  while (pos < count) {
    const FramePos at = timeline + pos;
    int seg = count - pos;
    if (stepping) {
      const int64_t dist = s->nextStep - at;
      if (dist <= 0) {  // defensive: never render past a due step
        arpStep(s, at);
        continue;
      }
      if (dist < seg) seg = int(dist);
    }
    renderVoices(s, d, left + pos, right + pos, at, seg, gl, gr, step);
    pos += seg;
    if (stepping && s->nextStep == timeline + pos) arpStep(s, timeline + pos);
  }
  s->renderedTo = timeline + count;

  if (d) d->lock.unlock();
  return count;
}

int RealtimeSetSynth(const char* folder) { return SetSynth(&SynthSamps, folder); }
int RealtimeArpeggiatorOn(int mode, int stepsPerBeat, const char* pattern) {
  return ArpeggiatorOn(&RealtimeSynth, mode, stepsPerBeat, pattern,
                       TimeLine.load(std::memory_order_acquire));
}
int RealtimeArpeggiatorOff() { return ArpeggiatorOff(&RealtimeSynth); }
int RealtimeSetSynthPoly(int n) { return SetSynthPoly(&RealtimeSynth, n); }
int RealtimeSetSynthVolume(int v) { return SetSynthVolume(&RealtimeSynth, v); }
int RealtimeSetSynthPan(int p) { return SetSynthPan(&RealtimeSynth, p); }
