// JLPlayCommon: what the player tells the panel it drives (the groove panel
// or the virtual mixer). The player never draws; every visible effect of
// transport and tempo arrives here. Base versions do nothing except
// common_setPlaybarLabel(short), which formats the number.
//
// User-interface thread only.
#pragma once
#include <cstdint>
#include <cstdio>

#include "framework/panel/QXPanel.h"

class JLPlayCommon : public QXPanelClass {
 public:
  virtual void common_setPlayDisplay(bool) {}
  virtual void common_setSeqPlayLed(bool) {}
  // Lamp 0..7; state 0 off, 1 on (bar reached), 2 current.
  virtual void common_setPlaybarLed(short, short) {}
  virtual void common_setSyncingLed(bool) {}
  virtual void common_setPlaybarLabel(const char*) {}
  virtual void common_setPlaybarLabel(short n) {
    char text[16];
    snprintf(text, sizeof text, "%d", n);
    common_setPlaybarLabel(text);
  }
  virtual void common_setMainVolLabel(short) {}
  virtual void common_setSongLabel(const char*) {}
  virtual void common_setSynthLed(bool) {}
  virtual void common_eventGrooveStart() {}
  virtual void common_eventGrooveSync() {}
  virtual void common_eventSeqPlayStart() {}
  virtual void common_eventSeqPlayStop() {}
  virtual void common_setBpmLabel(const char*) {}
  virtual void common_setBpmScroll(short) {}
  virtual void common_setLabel(short, const char*) {}
  virtual void common_doInterfaceReset() {}
  virtual void common_setHelpModeDisplay(short) {}
  // A MIDI control asked to switch track 0..7's mute, or (latching on) a
  // keyboard key 0..35 to be latched into the arpeggio as its on-screen key.
  virtual void common_midiMuteTrack(short) {}
  virtual void common_midiLatchNote(short) {}
  // A keyboard key 0..35 pressed (down) or released while the synth's
  // arpeggio runs: it joins the arpeggio while held.
  virtual void common_midiHoldNote(short, bool) {}
};
