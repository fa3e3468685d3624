// JLSynthLink: what the groove panel and the player ask of the synth panel,
// as one typed interface, so that a renamed or removed operation fails the
// build instead of silently dropping a call.
//
// User-interface thread only.
#pragma once
#include <cstdint>

class uloAtomsFile;

class JLSynthLink {
 public:
  // The song's arpeggio keys ("C", "AdE", ...), "" for none.
  virtual void ledsForArpKeys(const char* keys) = 0;
  // The player started: a running arpeggio restarts on the new beat grid.
  virtual void playerSaidPlay() = 0;
  // The synth block of a mix document: false (panel unchanged) when it is
  // missing or short.
  virtual bool iced_load(uloAtomsFile& file) = 0;
  virtual void iced_save(uint8_t* block) const = 0;
  // Whether the synth plays (its ON lamp), and switching it as its ON
  // button does.
  virtual bool synthPlaying() const = 0;
  virtual void switchSynth(bool on) = 0;
  // A MIDI key with the arpeggio latch on: note 0..35 switched on or off
  // in the arpeggio, as its on-screen key does.
  virtual void latchNote(int note) = 0;
  // A MIDI key (note 0..35) pressed or released while the arpeggio runs.
  virtual void holdMidiNote(int note, bool down) = 0;

 protected:
  ~JLSynthLink() = default;
};
