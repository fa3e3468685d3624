// The voices of the demo library: drums from shaped oscillators and filtered
// noise, a subtractive synth voice for basses, chords, leads and arpeggios,
// and noise effects. Each call renders one hit or note into a loop at a frame
// position (wrapping over the loop end).
#pragma once
#include "tools/demolib/dsp.h"

namespace demolib {

struct KickTone {
  double startHz = 170, endHz = 50;
  double pitchDecay = 30;  // 1/s
  double ampDecay = 7;     // 1/s
  double click = 0.35;
  double drive = 1.6;
  double seconds = 0.5;
};
void kick(Loop& loop, long at, const KickTone& tone, double gain);

void snare(Loop& loop, long at, Rng& rng, double toneHz, double noiseDecay, double gain, double pan);
void clap(Loop& loop, long at, Rng& rng, double gain, double pan, double tail = 0.16);
// Closed hats decay in some tens of milliseconds, open ones in a few hundred.
void hat(Loop& loop, long at, Rng& rng, double decay, double gain, double pan, double brightness = 1.0);
void ride(Loop& loop, long at, Rng& rng, double gain, double pan);
void tom(Loop& loop, long at, double hz, double decay, double gain, double pan);
void rim(Loop& loop, long at, Rng& rng, double gain, double pan);
void clave(Loop& loop, long at, double hz, double gain, double pan);
void shaker(Loop& loop, long at, Rng& rng, double gain, double pan);
void cowbell(Loop& loop, long at, double gain, double pan);

struct Patch {
  int voices = 1;              // unison saws per note
  double detuneCents = 0;      // spread of the unison
  double saw = 1.0;            // oscillator mix
  double pulse = 0.0;
  double pulseWidth = 0.5;
  double sub = 0.0;            // sine an octave below
  double cutoff = 800;         // Hz, at the end of the filter envelope
  double envOctaves = 3;       // filter envelope depth
  double filterDecay = 0.15;   // s
  double q = 0.9;
  double attack = 0.003, decay = 0.2, sustain = 0.6, release = 0.08;  // s, level
  double width = 0.0;          // stereo spread of the unison, 0..1
  double drive = 0.0;          // soft saturation after the filter
  bool keyTrack = true;        // cutoff follows the note
};
// One note of `gateFrames`; `accent` opens the filter further (octaves).
void synthNote(Loop& loop, long at, long gateFrames, double midiNote, const Patch& patch, double gain,
               double pan, uint32_t seed, double accent = 0.0);

void riser(Loop& loop, long at, long length, Rng& rng, double gain);
void downlifter(Loop& loop, long at, long length, Rng& rng, double gain);
void impact(Loop& loop, long at, Rng& rng, double gain);
void noiseSweep(Loop& loop, long at, long length, Rng& rng, double gain, double cycles);

}  // namespace demolib
