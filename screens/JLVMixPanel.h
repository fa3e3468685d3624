// JLVMixPanel: the virtual mixer: whole arrangements played without track
// editing. From each of the song's mix styles it builds a virtual mix (a
// bank of grooves and a sequence playing them); the user picks one of four,
// sets its length, rebuilds them at random, lets the panel move on to
// another mix when one ends, and goes back to the groove panel keeping the
// mix or restoring what was there before. The mixes are played through the
// groove panel's bank and sequence by the player. Screen entry 1.
//
// User-interface thread only. Without a host (no groove panel) or player
// the operations change only the panel's own state.
#pragma once
#include <cstdint>

#include "song/JLGroove.h"
#include "song/JLPlayCommon.h"

class JLVMixHost;

class JLVMixPanel : public JLPlayCommon {
 public:
  static constexpr int16_t kEntry = 1;
  static constexpr int kMixes = 4;
  static const int16_t vmixledsitems[kMixes];

  JLVMixPanel();
  ~JLVMixPanel() override;
  void onItem() override;
  // Escape leaves the mixer through one question: keep this mix (Yes),
  // restore the grooves (No) or stay (Cancel, also Return and Escape).
  bool closeOnEscape() override;
  void onIdle() override;
  void onPanelOpened() override;
  void beforeShow() override;

  // Player notifications.
  void common_setPlayDisplay(bool on) override;
  void common_setSyncingLed(bool on) override;
  void common_setPlaybarLed(short lamp, short state) override;
  void common_setPlaybarLabel(const char* text) override;
  using JLPlayCommon::common_setPlaybarLabel;
  void common_setMainVolLabel(short v) override;
  void common_setSynthLed(bool on) override;
  void common_eventGrooveStart() override;
  void common_eventGrooveSync() override;
  void common_eventSeqPlayStart() override;
  void common_eventSeqPlayStop() override;
  void common_setBpmLabel(const char* text) override;
  void common_setBpmScroll(short v) override;
  void common_doInterfaceReset() override;
  void common_setHelpModeDisplay(short mode) override;
  // A latched MIDI key goes to the synth panel's arpeggio, as from the
  // groove panel.
  void common_midiLatchNote(short note) override;
  void common_midiHoldNote(short note, bool down) override;

  void vmixRandomize(int16_t n);
  void vmixStore(int16_t n);
  void vmixUse(int16_t n);
  void displayDuration();
  void lightGame();
  void onItem_vmix(int16_t n);
  void onItem_newVmix();
  void onItem_duration();
  void onItem_switchToGroove(bool restore);

  // Tests and start-up may give the host; otherwise the groove panel is
  // taken when the panel opens.
  void setHost(JLVMixHost* h) { host = h; }
  const char* durationText() const { return duration; }

  JLVMixHost* host = nullptr;
  JLSequence mixes[kMixes];
  uint8_t generated = 0;
  int16_t current = 0;
  uint8_t autoRegenerate = 0;
  uint8_t randomOrder = 0;
  uint8_t listOrder = 0;
  uint8_t showTime = 0;
  uint8_t switchPending = 0;
  char duration[64] = {0};

 private:
  void put(int16_t item, int16_t v);
  void setText(int16_t item, const char* text);
  void showOrderLamps();
  void restartSequence();
};
