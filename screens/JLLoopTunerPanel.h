// JLLoopTunerPanel: the user's own loop: recorded from the sound input or
// loaded from a sound file (converted to 44100 Hz 16-bit stereo WAV when the
// engine cannot read it as it is), then fitted to the song with bars, phase,
// region, rate and volume. Every control change recomputes one settings
// record and hands it to the engine, except while a take is recording.
// Closing the panel removes the user loop. Screen entry 4.
//
// User-interface thread only. Failures are told to the user (a message box)
// and leave the panel idle; nothing is thrown.
#pragma once
#include <cstdint>

#include "core/files/uloPath.h"
#include "engine/JLEngine.h"
#include "framework/panel/QXPanel.h"

class JLLoopTunerPanel : public QXPanelClass {
 public:
  enum : int16_t {
    kBars = 1, kPhase = 2, kStartCoarse = 3, kStartFine = 4, kEndCoarse = 5, kEndFine = 6, kRateCoarse = 7,
    kBarsText = 8, kPhaseText = 9, kRecord = 10, kStop = 11, kOnOff = 12, kOpen = 13, kClose = 14,
    kReset = 15, kSave = 16, kDone = 17, kVolume = 18, kStartText = 20, kEndText = 21, kRateText = 22,
    kLamp = 23, kRateFine = 24, kName = 25,
  };
  enum : int16_t { kRequestLoad = 0, kRequestSave = 1 };
  static constexpr int16_t kEntry = 4;

  JLLoopTunerPanel();
  ~JLLoopTunerPanel() override;
  void onPanelOpened() override;
  void beforeShow() override;
  void onItem() override;
  void onIdle() override;
  void onKey() override {}
  // Escape closes the tuner as its X and DONE do.
  bool closeOnEscape() override {
    close();
    return true;
  }
  void asyncDialogMessage(JLPath* path) override;

  void resetValues();
  // Recomputes the settings and the displays from the controls, and sends
  // them unless a take is recording.
  void dataInput();
  void startRecord();
  void stopRecord();
  void load();
  // Loads a chosen file (internal path): as it is, else converted.
  void loadResult(const char* file);
  void save();
  // Writes the user loop's played region to a WAV file (internal path).
  bool saveResult(const char* file);
  void close();

  // The record computed by the last dataInput.
  const jlUserLoopSettingsRec& settings() const { return settings_; }
  // The arithmetic of the controls, kept apart so it reads on its own.
  static int16_t barsOf(int16_t control);
  static float rateOf(int16_t coarse, int16_t fine);

  uint8_t recording = 0;
  uint8_t loopOn = 0;
  JLPath docPath;
  JLPath filePath;

 private:
  int16_t valueOf(int16_t item);
  void put(int16_t item, int16_t v);
  void setText(int16_t item, const char* text);
  void showLamp();
  void showLoopName(const char* name);

  jlUserLoopSettingsRec settings_ = {};
};

// The converted file while it is loaded (program folder).
constexpr const char* kTunerTempFile = ":JLTempLoopFile.wav";
// What the loop's Open dialog lists: the sound files a loop can come from
// (the chooser still offers all files beside them).
constexpr const char* kLoopFileTypes =
    "Sound files | *.wav;*.WAV;*.aif;*.aiff;*.AIF;*.AIFF;*.flac;*.FLAC;*.ogg;*.OGG;*.oga;*.mp3;*.MP3";
