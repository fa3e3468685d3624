// JLPlayer: the one transport and tempo controller (global jlPlayer). It
// starts and stops the current groove or the groove sequence, keeps the
// playing tempo within +-50 BPM of the song's own tempo and at most at the
// fastest the engine plays (so the tempo shown is the one heard), computes tempo
// from tapped beats, holds the main volume and, from the idle loop, turns
// the engine's beat into the bar/beat text, the eight position lamps and
// the sequence's sync and start events.
//
// It never draws: every visible effect goes to the current target panel
// through JLPlayCommon (the groove panel or the virtual mixer). The few
// requests it makes of the groove panel and the synth panel go through the
// two small interfaces below, so this library does not depend on screens/.
// Start-up connects them (connectPanels); without them the player still
// drives the engine and simply has nobody to tell.
//
// User-interface thread only. The engine is reached through the global gep
// and may be absent (tests); every engine call is skipped then.
#pragma once
#include <cstdint>

#include <memory>

#include "engine/JLEngine.h"
#include "song/JLPlayCommon.h"

class JLEngine;

// What the player asks of the groove panel besides notifications.
class JLPlayerTransport {
 public:
  virtual ~JLPlayerTransport() = default;
  // true: start the engine and send the current groove's tracks; false:
  // stop the engine.
  virtual void setPlayMode(bool on) = 0;
  // Position the sequence at its current (or first) step and play it.
  virtual void onItem_seq_Play() = 0;
};

// The synth panel's hook: the player tells it that playback started.
using JLPlayerSynthHook = void (*)(void* context);

class JLPlayer {
 public:
  static constexpr int kBand = 50;           // BPM each side of the song's tempo
  static constexpr int kSyncBeat = 23;       // sequence play prepares the next step here
  static constexpr int kTapTimeout = 120;    // ticks (2 s) that restart a tap measurement
  static constexpr int kTapIntervals = 10;

  JLPlayer();

  // Start-up: the two panels that implement JLPlayCommon, the groove
  // panel's transport side and the synth panel's play hook. Any may be null.
  void connectPanels(JLPlayCommon* groovePanel, JLPlayerTransport* transport, JLPlayCommon* vmixPanel,
                     JLPlayerSynthHook synthHook = nullptr, void* synthContext = nullptr);
  // The engine the player drives; defaults to gep when not set (tests set
  // their own or none).
  void setEngine(JLEngine* engine) { engine_ = engine; engineSet_ = true; }
  // Where idle reads the beat (-1 silent, else 0..31): the engine unless a
  // source is given (tests).
  using BeatSource = int16_t (*)(void* context);
  void setBeatSource(BeatSource source, void* context) {
    beatSource_ = source;
    beatContext_ = context;
  }

  // Target selection.
  void userGroove();
  void userVMix();

  // Transport.
  void play();
  void playSequence();
  void stop();
  void togglePlaySequence();
  // What played when an action that needs the engine alone (a render, a
  // change of bank) stopped it: resumeAfter starts the same kind of play
  // again from the working groove or the sequence's current step, and
  // leaves a stopped player stopped.
  // With atSamePlace, play goes on from the frame heard at the pause (the
  // loops at their phases there) instead of from the start of the groove.
  struct Paused {
    bool playing = false;
    bool sequence = false;
    bool synced = false;      // sequence play had prepared its next step
    int64_t heardFrame = -1;  // engine frame heard at the pause, -1 none
  };
  Paused pauseFor();
  void resumeAfter(const Paused& was, bool atSamePlace = false);
  // The engine was stopped under a playing transport (a song that could
  // not be loaded): starts it again as play does - the working groove, the
  // timeline even when every track is silent, tempo, volume and the synth -
  // without a new start's events (the sequence keeps its step). Nothing
  // while stopped.
  void restartEngine();
  void setSync(bool on) { syncing = on ? 1 : 0; }
  void setSynthLed(bool on);
  void setLabel(short n, const char* text);
  void setHelpModeDisplay(short mode);
  // Shows the whole transport state again on the panel in use, its status
  // line included (a panel just shown or refilled by a song or document).
  void refreshCommon();
  void resetCommon();

  // Tempo.
  void gotSongBpm(short tempo);
  void adjustBpm(float tempo);
  void setBpm(float tempo);
  void hitBpmScroll(short position);
  void hitBpmUp(float step);
  void hitBpmTap();
  void setBpmLabel();
  // bpm - songBpm truncated toward zero.
  short bpmScroll() const;
  // The tempo range that can be played: the song's tempo - 50 up to the
  // lower of + 50 and the engine's fastest (1.3 x), cut to tenths.
  float slowestBpm() const;
  float fastestBpm() const;
  float clampBpm(float tempo) const;

  // Volume.
  void addMainVolume(short step);
  // Sets the main volume (clamped to 0..127), as a mix document or the
  // preferences kept it, and shows and sends it.
  void setMainVolume(short v);
  // The main volume across restarts: taken from jlPrefs once they are read
  // at start-up, put back there before they are written.
  void takeMainVolumeFromPrefs();
  void keepMainVolumeInPrefs() const;
  // A drag while the mouse button stays down: the volume is the value at
  // the press plus the pixels the pointer moved up. Polls the mouse.
  void hitMainVolume();
  // One step of that drag, for the loop above and for tests.
  void dragMainVolume(short pressVolume, short pixelsUp);

  // Called from the target panel's idle work on every pass.
  void idle();
  // MIDI, from idle(): keeps the ports named in the preferences connected
  // (looking again about once a second, so a device plugged in again is
  // used again) and carries out what the keyboard and controls ask for:
  // play, stop, continue, tap tempo; mutes and latched keys go to the
  // target panel. Continue goes on where the last MIDI stop left
  // playback (Start begins at the top). With clock in on, an outside MIDI clock's tempo is
  // followed as far as the song's tempo range goes. Also for tests, with
  // their own ports.
  // The clock goes out through the output port while the preferences
  // switch it on, each tick when its sound is heard.
  void midiIdle();
  void midiUsePorts(JLMidiPort* input, JLMidiPort* output);
  // The live clock out (null until ports are in use).
  JLMidiClockOut* midiClockOut() const { return midiClock_.get(); }

  JLPlayCommon* target() const { return common; }
  bool isPlaying() const { return playing != 0; }
  bool inSequence() const { return sequenceMode != 0; }

  uint8_t playing = 0;
  uint8_t sequenceMode = 0;
  uint8_t synthLed = 0;
  uint8_t vmixMode = 0;
  uint8_t grooveMode = 0;
  JLPlayCommon* common = nullptr;
  int16_t beat = -1;
  int16_t lastBeat = -1;
  uint8_t syncing = 0;
  float bpm = 120.0f;
  int16_t songBpm = 120;
  int16_t mainVolume = 63;
  int16_t cycleCount = 0;
  char playbarText[34] = {0};
  int32_t tapIntervals[kTapIntervals] = {0};
  int16_t tapCount = 0;
  int32_t lastTapTick = 0;
  uint8_t syncLedShown = 0;
  uint8_t syncLedWanted = 0;

  // Connected at start-up.
  JLPlayCommon* groovePanel = nullptr;
  JLPlayCommon* vmixPanel = nullptr;
  JLPlayerTransport* transport = nullptr;
  JLPlayerSynthHook synthHook = nullptr;
  void* synthContext = nullptr;

 private:
  JLEngine* engine() const;
  // Tempo and volume to the engine, and its timeline running even when no
  // track plays.
  void startEngine();
  void synthSaidPlay();
  void midiActions(const JLMidiAction* a, int n);
  void sendMainVolume();

  JLEngine* engine_ = nullptr;
  bool engineSet_ = false;
  BeatSource beatSource_ = nullptr;
  void* beatContext_ = nullptr;
  std::unique_ptr<JLMidiPort> midiInOwned_, midiOutOwned_;
  std::unique_ptr<JLMidiConnection> midiIn_, midiOut_;
  // After the ports: its thread sends through one, so it goes first.
  std::unique_ptr<JLMidiClockOut> midiClock_;
  int32_t midiLookedAt_ = -1000;
  uint32_t midiInClosings_ = 0;  // the input connection's closings told to the engine
  JLMidiClockIn midiClockIn_;
  Paused midiStopped_;  // where a MIDI stop left playback, for Continue
};

extern JLPlayer* jlPlayer;
