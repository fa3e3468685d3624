// JLSynthPanel: the sample synth played as an arpeggiator in time with the
// loops. A three-octave keyboard switches notes on and off, the mode, rhythm
// pattern and speed shape the arpeggio, and whole setups are kept as presets
// on a row of six balls. Every change becomes one arpeggio text for the
// engine (gep->synth_Arp). Screen entry 2.
//
// User-interface thread only. Failures are quiet: no synth folders leaves
// the synth popup empty and the engine silent; a mix document without a
// readable synth block leaves the panel as it was (iced_load returns false).
#pragma once
#include <cstdint>

#include "core/files/uloPath.h"
#include "framework/panel/QXPanel.h"
#include "screens/JLSynthLink.h"
#include "song/JLSynthSetup.h"

class uloAtomsFile;

class JLSynthPanel : public QXPanelClass, public JLSynthLink {
 public:
  JLSynthPanel();
  ~JLSynthPanel() override;

  uloPanelControl* newCustomControl(short kind) override;
  void onPanelOpened() override;
  void onPanelClosed() override;
  void onItem() override;
  // Computer keys (Q W E ... bound to the song's arpeggio keys): while the
  // synth's arpeggio runs, a held key adds its note to the arpeggio from
  // its press to its release; otherwise the key sounds its note from its
  // press (to the sample's end, or to its release when that comes first).
  // With the arpeggio latch on (the MIDI latch control) or Shift held, a
  // press instead switches the note on or off in the arpeggio for good,
  // as the on-screen keys do.
  void onKey() override;
  // Notices released computer keys (through the screen's key table).
  void onIdle() override;
  // A hidden panel hears no more releases: its held keys stop.
  void beforeHide() override;
  // The note the computer key at position i (0..27, Q W E ...) sounds while
  // it is held, or -1.
  int16_t heldNote(int i) const { return i >= 0 && i < kComputerKeys ? heldNotes[i] : int16_t(-1); }
  // Escape hides the panel as its X does; the synth plays on.
  bool closeOnEscape() override;
  void asyncDialogMessage(JLPath* path) override;

  // The song's arpeggio keys ("C", "AdE", ...): lights the keys of those
  // pitch classes and binds them, ascending, to the computer keys Q W E ...
  void ledsForArpKeys(const char* keys) override;
  // The player started: a running arpeggio restarts on the new beat grid.
  void playerSaidPlay() override;

  // The 'syic' block of a mix document (kSynthIcedBytes, little-endian).
  // iced_load reads the next atom of the file; false (panel unchanged) when
  // it is missing or short. iced_save fills `block` with the current state.
  bool iced_load(uloAtomsFile& file) override;
  bool iced_loadBlock(const uint8_t* block, int32_t size);
  void iced_save(uint8_t* block) const override;
  bool synthPlaying() const override { return synthOn != 0; }
  void switchSynth(bool on) override;
  void latchNote(int note) override { noteHit(note); }
  // A MIDI key held (down) or let go while the arpeggio runs: its note is
  // in the arpeggio from its press to its release, as a computer key's.
  void holdMidiNote(int note, bool down) override;

  // The synth folders of the library, sorted, into the synth popup; the
  // first one is loaded when nothing is chosen yet. The synth browser
  // calls it when it closes.
  void loadSynthsList();
  // Makes a synth of the library list the sound: the engine loads it and
  // the pop-up shows it. False (nothing changes) for a name not listed.
  bool chooseSynth(const char* name);
  // Loads the chosen sound into the engine again (the synth browser's
  // preview may have loaded another).
  void reloadSynth();
  // Rebuilds the arpeggio text and hands it to the engine (synth on only).
  void synth_activate();
  // The arpeggio text of a setup; exposed for checking patterns.
  static void buildArpText(const SynthSetup& setup, char* out, int outSize);

  void noteHit(int key);
  // Mouse presses on the note keys play them at once (noteHit at the press,
  // nothing at the release), as an instrument's keys do; the computer keys
  // already act on key-down.
  void playKeysOnPress();
  static short noteKeyTracker(short phase);
  void synths_add();
  void synths_hit(int ball);
  void synths_remove();
  void synths_offset(int delta);
  void synths_select(int preset);
  void synths_apply();
  // Shows and sends the current setup; only with presets (a ball's click).
  void synth_restore();
  // The same for any setup (a reopened mix may keep no presets).
  void applySetup();

  // ARP TO FILE: the current arpeggio, one whole turn of it made up to
  // whole 16-step patterns at the current speed and tempo, rendered alone
  // by the engine into `systemPath` (given the preferred export format's
  // extension). Tells the user where the file went or why it did not; true
  // when it was written.
  bool arpToFile(const char* systemPath);
  // The file dialog of ARP TO FILE (request kind 0).
  JLPath arpPath;

  int16_t presetFirst = 0;
  int16_t presetSelected = 0;
  uint8_t synthOn = 0;
  SynthSetup setup{};
  SynthSetup presets[kSynthPresets]{};
  int16_t presetCount = 0;
  char loadedSynth[kSynthNameBytes] = {};
  uint8_t modified = 0;
  uint8_t autoOn = 1;
  int16_t arpKeys[kSynthKeys];
  // Per computer key position: the note it sounds while held, -1 none.
  static constexpr int kComputerKeys = 28;
  int16_t heldNotes[kComputerKeys];
  // Whether that key started a voice of its own (the arpeggio was off at
  // its press) that its release lets go of.
  bool heldVoice[kComputerKeys] = {};
  // Synth notes held on a MIDI keyboard in the arpeggio.
  bool midiHeld[kSynthKeys] = {};
  // The note a mouse press on a drawn key sounds by itself until the
  // button is let go (the arpeggio was off), -1 none.
  int16_t clickVoice = -1;
  char noteNames[kSynthKeys][4];
  // Synth folder names listed in the popup.
  int16_t synthCount = 0;
  char synthNames[180][kSynthNameBytes];

 private:
  void setItem(int item, short value);
  void setItem(int item, short message, short value);
  short itemValue(int item);
  void setPlaying(bool on);
  void showSetup();
  void showLatchedKeys();
  // Keys drawn down: latched notes and every key held now.
  void showHeldKeys();
  void releaseKey(int position);
  void releaseAllKeys();
  // Whether note k is in the arpeggio without the key at `position`
  // (latched, or held by another key): that key's press or release then
  // leaves the arpeggio's notes as they are.
  bool noteInArp(int k, int position) const;
  void onItem_arpMix();
  bool isListed(const char* name) const;
  void loadIntoEngine(const char* name);
  void arpMixResult();
};
