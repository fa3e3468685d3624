// How the groove panel and the player reach the synth panel: the operations
// of JLSynthLink, found at screen entry 2. Without a synth panel (a layout
// that has none, or tests that build only the groove panel) each call does
// nothing and says so through its result, and documents then keep the synth
// block themselves.
//
// User-interface thread only. Internal to screens/.
#pragma once
#include <cstdint>

#include "framework/screen/QXScreen.h"
#include "screens/JLSynthLink.h"

namespace jlgp {

inline JLSynthLink* synthPanel() { return dynamic_cast<JLSynthLink*>(QXScreen.panelAt(2)); }

inline void synthPlayerSaidPlay() {
  if (JLSynthLink* s = synthPanel()) s->playerSaidPlay();
}

inline void synthLedsForArpKeys(const char* keys) {
  if (JLSynthLink* s = synthPanel()) s->ledsForArpKeys(keys);
}

// The synth panel reads 'syic' from the open document. Returns 1 when it
// read it, 0 when it tried and failed, -1 when there is no synth panel.
inline int synthIcedLoad(uloAtomsFile& file) {
  JLSynthLink* s = synthPanel();
  if (!s) return -1;
  return s->iced_load(file) ? 1 : 0;
}

// The synth panel writes its 3308-byte block; false when there is none.
inline bool synthIcedSave(uint8_t* block) {
  JLSynthLink* s = synthPanel();
  if (!s) return false;
  s->iced_save(block);
  return true;
}

// Whether the synth plays; false without a synth panel.
inline bool synthPlaying() {
  JLSynthLink* s = synthPanel();
  return s && s->synthPlaying();
}

inline void switchSynth(bool on) {
  if (JLSynthLink* s = synthPanel()) s->switchSynth(on);
}

inline void synthLatchNote(int note) {
  if (JLSynthLink* s = synthPanel()) s->latchNote(note);
}

inline void synthHoldMidiNote(int note, bool down) {
  if (JLSynthLink* s = synthPanel()) s->holdMidiNote(note, down);
}

}  // namespace jlgp
