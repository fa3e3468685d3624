// The synth's setup as a mix document keeps it (the 'syic' block: the
// current setup, the presets and their count, little-endian) and the
// arpeggio text the engine plays from a setup (JLEngine::synth_Arp). Shared
// by the synth panel and the command-line renderer, so both hear a
// document alike.
//
// Plain data and pure functions, any thread. Reading never fails: values
// from a foreign file are brought into range and the name terminated.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class JLEngine;

constexpr int kSynthKeys = 36;
constexpr int kSynthPresets = 28;
constexpr int kSynthNameBytes = 32;
constexpr int kSynthPatterns = 33;
constexpr int kSynthSetupBytes = 114;
// The block a mix document keeps: current setup, 28 presets, their count.
constexpr int kSynthIcedBytes = kSynthSetupBytes * (1 + kSynthPresets) + 2;

struct SynthSetup {
  int16_t notes[kSynthKeys];
  int16_t volume;
  int16_t pan;
  int16_t arpMode;   // 0 Up, 1 Dn, 2 Rnd, 3 U/D
  int16_t arpProg;   // rhythm pattern 0..32
  int16_t arpSpeed;  // 0..3: 1, 2, 4, 8 steps per beat
  char synthName[kSynthNameBytes];
};

// The rhythm patterns: 16 steps each, 'x' plays, '.' rests.
extern const char* const jlSynthStyles[kSynthPatterns];

// The engine's arpeggio buffer holds this much; a longer text would be cut
// inside a note name.
constexpr int kSynthArpTextMax = 2047;

// Steps per beat of the speed pop-up's choice 0..3 (out of range clamped).
int16_t JL_SynthStepsPerBeat(int16_t arpSpeed);
// Whether any key of the setup is switched on (the synth then plays).
bool JL_SynthHasNotes(const SynthSetup& s);
// One setup of the block (kSynthSetupBytes), advancing `p`.
void JL_WriteSynthSetup(uint8_t*& p, const SynthSetup& s);
void JL_ReadSynthSetup(const uint8_t*& p, SynthSetup& s);
// The arpeggio text of a setup: its notes through its rhythm pattern, at
// most kSynthArpTextMax characters of whole steps; "" without notes.
void JL_SynthArpText(const SynthSetup& s, char* out, int outSize);

// The synth library of the program folder.
constexpr char kSynthFolder[] = ":Library:Synth:";
// The synth sets the synth pop-up lists: the library's folders whose names
// fit a setup (at most 180 of them), sorted by bytes so the order does not
// depend on the locale. Empty when there is no library.
std::vector<std::string> JL_SynthFolderNames();

// A mix document's synth block (kSynthIcedBytes) heard as a freshly started
// program hears it once it has opened the document: the synth is on when
// the block switches any note on; its set is the one named when that is
// listed and lies inside the library, else the first listed; volume, pan
// and the arpeggio are the block's. False, with the engine untouched, when
// the synth stays off (no block, no notes or no synth set installed).
bool JL_StartDocumentSynth(JLEngine& engine, const uint8_t* block, int32_t size);
