// JLPrefsPanel: the preferences: how many tracks each random set of the
// song may fill, the export format (the program's own, or one of the
// formats the sound library writes that musicians use), the output latency,
// a two-way option (kept and shown, but disabled: it has no use yet), the
// colour scheme, tempo quality, whether a disk mix also writes stems, and
// the MIDI ports (chosen among those the system lists now, by name, so a
// device unplugged meanwhile is found again) and MIDI clock out and in.
// Colours are tried live; Cancel brings the stored scheme back, OK stores
// everything and writes the preferences file. Screen entry 8, modal while
// shown.
//
// User-interface thread only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "framework/panel/QXPanel.h"
#include "framework/prefs/JLprefs.h"

class JLSongLibrary;

class JLPrefsPanel : public QXPanelClass {
 public:
  static constexpr int16_t kEntry = 8;
  static constexpr int kSchemes = 8;
  // formatCode of the program's own format, and the localised message
  // naming it in the list.
  static constexpr int32_t kOwnFormat = ULO_FourCC("JLMX");
  static constexpr int16_t kMsgOwnFormat = 93;
  enum : int16_t {
    kOK = 1, kCancel = 2, kFormat = 4, kFormatOptions = 5, kFirstLamp = 6, kFirstSetName = 26, kOptionOff = 30,
    kOptionOn = 31, kFirstScheme = 32, kLatency = 40, kTempoQuality = 44, kKeepPitch = 45, kStems = 46,
    kMidiIn = 47, kMidiOut = 48, kClockOut = 49, kClockIn = 50,
  };
  // The MIDI port names the system offers (inputs, or outputs); tests put
  // their own lister here. Default: the ALSA sequencer through RtMidi.
  using MidiLister = std::vector<std::string> (*)(bool output);
  static MidiLister midiLister;

  JLPrefsPanel();
  ~JLPrefsPanel() override;
  void onPanelOpened() override;
  void onPanelClosed() override;
  void beforeShow() override;
  void afterHide() override;
  void onItem() override;
  // Escape is CANCEL: the stored colours come back and nothing is kept.
  bool closeOnEscape() override;

  void updateRandLeds();
  void chooseNewColor(int16_t n);
  void storePrefs();
  // The song whose random sets are shown (default: the groove panel's).
  void setSong(const JLSongLibrary* s) { songOverride = s; }

  // The pop-up's entries after entry 0 (the program's own format): the
  // offered formats, then a format older preferences name, if any.
  static constexpr int kMaxFormatEntries = 16;
  int32_t formatCodes[kMaxFormatEntries] = {};
  int16_t formatEntries = 0;
  int32_t formatCode = kOwnFormat;
  int32_t formatSettings[4] = {};
  int16_t colorScheme = 0;
  int16_t randLimits[kRandomSets] = {5, 6, 4, 3};
  // jlPrefs.latency as chosen in the pop-up; OK stores it and hands the
  // engine its buffer size for the next start.
  int16_t latency = jlPrefsClass::kLatencyNormal;
  // The MIDI pop-ups' entries after "None": the names offered, then the
  // stored name when its device is absent now (kept until another is
  // chosen, so it is used again when it comes back).
  std::vector<std::string> midiInNames, midiOutNames;

 private:
  const JLSongLibrary* song() const;
  void put(int16_t item, int16_t v);
  void fillFormats(int32_t stored);
  // The pop-up entry showing a code (0: the program's own).
  int16_t formatEntryOf(int32_t code) const;
  // Fills a MIDI pop-up and shows `stored`.
  void fillMidi(int16_t item, bool output, const char* stored, std::vector<std::string>& names);
  // The name a MIDI pop-up shows ("" for None).
  std::string chosenMidi(int16_t item, const std::vector<std::string>& names);
  void fillOnOff(int16_t item, const char* off, const char* on, int16_t value);
  const JLSongLibrary* songOverride = nullptr;
};
