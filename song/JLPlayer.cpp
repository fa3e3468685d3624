#include "song/JLPlayer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/JLEngine.h"
#include "framework/platform/uloSys.h"
#include "framework/prefs/JLprefs.h"
#include "framework/panel/uloPanel.h"

JLPlayer* jlPlayer = nullptr;

// Movie/picture layer idle time: nothing to do on this platform.
static void uloQt_IdleTime() {}

JLPlayer::JLPlayer() = default;

void JLPlayer::connectPanels(JLPlayCommon* groove, JLPlayerTransport* transportSide, JLPlayCommon* vmix,
                             JLPlayerSynthHook hook, void* context) {
  groovePanel = groove;
  transport = transportSide;
  vmixPanel = vmix;
  synthHook = hook;
  synthContext = context;
  if (grooveMode) common = groovePanel;
  if (vmixMode) common = vmixPanel;
}

JLEngine* JLPlayer::engine() const { return engineSet_ ? engine_ : gep; }

void JLPlayer::startEngine() {
  JLEngine* e = engine();
  if (!e) return;
  // A groove with every track muted or empty starts no loop, and the
  // timeline only runs once something starts it: play it anyway, so the
  // synth and the user loop sound on their own. Before the synth hears of
  // the start, so its arpeggio begins on the running timeline.
  e->startTimeline();
  e->setMixerBpm(bpm);
  e->setMixerVolume(mainVolume);
}

void JLPlayer::synthSaidPlay() {
  if (synthHook) synthHook(synthContext);
}

// ------------------------------------------------------------------ target

void JLPlayer::userGroove() {
  vmixMode = 0;
  grooveMode = 1;
  common = groovePanel;
}

void JLPlayer::userVMix() {
  vmixMode = 1;
  grooveMode = 0;
  common = vmixPanel;
}

// --------------------------------------------------------------- transport

void JLPlayer::play() {
  if (playing) return;
  cycleCount = 0;
  sequenceMode = 0;
  playing = 1;
  if (common) common->common_setPlayDisplay(true);
  if (transport) transport->setPlayMode(true);
  startEngine();
  setLabel(0, "Groove play");
  synthSaidPlay();
}

void JLPlayer::playSequence() {
  if (playing) return;
  cycleCount = 0;
  sequenceMode = 1;
  playing = 1;
  if (common) common->common_setPlayDisplay(true);
  if (transport) transport->onItem_seq_Play();
  startEngine();
  if (common) {
    common->common_setSeqPlayLed(true);
    common->common_eventSeqPlayStart();
  }
  syncing = 0;
  synthSaidPlay();
  // The start event may have stopped the player again (an empty sequence).
  if (playing) setLabel(0, "Sequence play");
}

void JLPlayer::stop() {
  if (!playing) return;
  if (transport) transport->setPlayMode(false);
  syncing = 0;
  playing = 0;
  if (common) common->common_setPlayDisplay(false);
  if (sequenceMode) {
    if (common) {
      common->common_eventSeqPlayStop();
      common->common_setSeqPlayLed(false);
    }
    sequenceMode = 0;
  }
  // The next start shows its first position at once.
  lastBeat = -1;
  setLabel(0, "Stop");
}

JLPlayer::Paused JLPlayer::pauseFor() {
  Paused was;
  was.playing = playing != 0;
  was.sequence = playing && sequenceMode;
  was.synced = was.sequence && syncing;
  if (playing)
    if (JLEngine* e = engine()) was.heardFrame = e->heardFrame();
  stop();
  return was;
}

void JLPlayer::resumeAfter(const Paused& was, bool atSamePlace) {
  if (!was.playing || playing) return;
  JLEngine* e = atSamePlace && was.heardFrame > 0 ? engine() : nullptr;
  if (e) e->startNextAt(was.heardFrame);
  if (was.sequence)
    playSequence();
  else
    play();
  // Nothing started (no loop to play): a later start begins at 0 again.
  if (e && e->heardFrame() < 0) e->startNextAt(0);
}

void JLPlayer::restartEngine() {
  if (!playing) return;
  if (transport) transport->setPlayMode(true);
  startEngine();
  synthSaidPlay();
}

void JLPlayer::togglePlaySequence() {
  if (sequenceMode) {
    if (playing)
      stop();
    else
      playSequence();
    return;
  }
  if (playing) stop();
  playSequence();
}

void JLPlayer::setSynthLed(bool on) {
  synthLed = on ? 1 : 0;
  if (common) common->common_setSynthLed(on);
}

void JLPlayer::setLabel(short n, const char* text) {
  if (common) common->common_setLabel(n, text);
}

void JLPlayer::setHelpModeDisplay(short mode) {
  if (groovePanel) groovePanel->common_setHelpModeDisplay(mode);
  if (vmixPanel && vmixPanel != groovePanel) vmixPanel->common_setHelpModeDisplay(mode);
}

void JLPlayer::refreshCommon() {
  if (!common) return;
  common->common_setPlayDisplay(playing != 0);
  common->common_setSeqPlayLed(playing && sequenceMode);
  common->common_setBpmScroll(bpmScroll());
  common->common_setMainVolLabel(mainVolume);
  common->common_setSynthLed(synthLed != 0);
  setBpmLabel();
  // A mix opened before anything played would leave the status line empty.
  setLabel(0, !playing ? "Stop" : sequenceMode ? "Sequence play" : "Groove play");
}

void JLPlayer::resetCommon() {
  if (groovePanel) groovePanel->common_doInterfaceReset();
  if (vmixPanel && vmixPanel != groovePanel) vmixPanel->common_doInterfaceReset();
}

// ------------------------------------------------------------------- tempo

// The whole BPM at or below the tempo, on both sides of the song's: cutting
// toward zero put 134.2 at 135's place under a 135 BPM song, so one slider
// step up from it went to 136.
short JLPlayer::bpmScroll() const { return short(std::floor(bpm - float(songBpm) + 1e-4f)); }

void JLPlayer::gotSongBpm(short tempo) {
  songBpm = tempo;
  bpm = float(tempo);
  setBpmLabel();
  if (common) common->common_setBpmScroll(0);
  adjustBpm(float(tempo));
}

float JLPlayer::slowestBpm() const { return float(songBpm - kBand); }

float JLPlayer::fastestBpm() const {
  // The engine plays at most 1.3 times the song's tempo, which for songs
  // under about 167 BPM lies inside the band: the tempo shown never goes
  // past what is heard. Cut to the tenths the display shows.
  const double heard = std::min<double>(songBpm + kBand, JLEngine::fastestBpm(float(songBpm)));
  return float(std::floor(heard * 10.0 + 1e-6) / 10.0);
}

float JLPlayer::clampBpm(float tempo) const { return std::clamp(tempo, slowestBpm(), fastestBpm()); }

void JLPlayer::adjustBpm(float tempo) {
  if (!(tempo >= slowestBpm() && tempo <= fastestBpm())) return;
  bpm = tempo;
  if (JLEngine* e = engine()) e->setMixerBpm(bpm);
  setBpmLabel();
}

void JLPlayer::setBpm(float tempo) {
  // A document's tempo outside what can be played opens at the nearest one
  // that can, so the display shows what is heard.
  // A document without a tempo (0, or damaged) plays at the song's own.
  if (!std::isfinite(tempo) || tempo <= 0.f) tempo = float(songBpm);
  adjustBpm(clampBpm(tempo));
  setBpmLabel();
  if (common) common->common_setBpmScroll(bpmScroll());
}

void JLPlayer::hitBpmScroll(short position) {
  // Letting go of the slider reports its position again. Where the tempo
  // already sits there (the fastest one heard lies between two whole BPMs,
  // or a click left the thumb in place) the tempo stays: what the display
  // showed while dragging is what plays.
  if (position == bpmScroll()) {
    if (common) common->common_setBpmScroll(position);
    return;
  }
  adjustBpm(clampBpm(float(songBpm + position)));
  if (common) common->common_setBpmScroll(bpmScroll());
}

void JLPlayer::hitBpmUp(float step) {
  // A tempo on the tenths grid stays on it, so that five steps of 0.2 make
  // exactly 1.0 and the band's edges are reached exactly.
  float next = bpm + step;
  const double tenths = double(next) * 10.0;
  const double rounded = double(int64_t(tenths + (tenths >= 0 ? 0.5 : -0.5)));
  if (tenths - rounded < 1e-3 && rounded - tenths < 1e-3) next = float(rounded / 10.0);
  // Stepping past an end stops at it.
  adjustBpm(clampBpm(next));
  if (common) common->common_setBpmScroll(bpmScroll());
}

void JLPlayer::hitBpmTap() {
  const int32_t t = int32_t(uloGlo.when);
  const int32_t interval = t - lastTapTick;
  lastTapTick = t;
  if (interval > kTapTimeout || interval < 0) {
    tapCount = 0;
    return;
  }
  tapIntervals[tapCount] = interval;
  tapCount++;
  if (tapCount > 2) {
    int64_t sum = 0;
    for (int i = 0; i < tapCount; i++) sum += tapIntervals[i];
    if (sum > 0) {
      adjustBpm(float(3600.0 * tapCount / double(sum)));
      if (common) common->common_setBpmScroll(bpmScroll());
    }
  }
  if (tapCount == kTapIntervals) {
    std::copy(tapIntervals + 1, tapIntervals + kTapIntervals, tapIntervals);
    tapCount = kTapIntervals - 1;
  }
}

void JLPlayer::setBpmLabel() {
  char text[32];
  snprintf(text, sizeof text, "%1.1f", double(bpm));
  if (common) common->common_setBpmLabel(text);
}

// ------------------------------------------------------------------ volume

void JLPlayer::sendMainVolume() {
  if (JLEngine* e = engine()) e->setMixerVolume(mainVolume);
  if (common) common->common_setMainVolLabel(mainVolume);
}

void JLPlayer::addMainVolume(short step) {
  mainVolume = int16_t(std::clamp(int(mainVolume) + int(step), 0, 127));
  sendMainVolume();
}

void JLPlayer::setMainVolume(short v) {
  mainVolume = int16_t(std::clamp(int(v), 0, 127));
  sendMainVolume();
}

void JLPlayer::takeMainVolumeFromPrefs() { setMainVolume(jlPrefs.masterVolume); }

void JLPlayer::keepMainVolumeInPrefs() const { jlPrefs.masterVolume = mainVolume; }

void JLPlayer::dragMainVolume(short pressVolume, short pixelsUp) {
  const int16_t v = int16_t(std::clamp(int(pressVolume) + int(pixelsUp), 0, 127));
  if (v == mainVolume) return;
  mainVolume = v;
  sendMainVolume();
}

void JLPlayer::hitMainVolume() {
  const int16_t pressVolume = mainVolume;
  const int startY = uloGlo.mouseY;
  while (ULO_TrackButtonDown()) dragMainVolume(pressVolume, short(startY - uloGlo.mouseY));
}

// -------------------------------------------------------------------- idle

void JLPlayer::idle() {
  JLEngine* e = engine();
  if (beatSource_)
    beat = beatSource_(beatContext_);
  else
    beat = e ? int16_t(static_cast<signed char>(e->getMixerBeat())) : int16_t(-1);
  if (beat != lastBeat) {
    if (beat != -1) {
      for (short i = 0; i < 8; i++) {
        short state = i == beat % 8 ? 2 : (i <= beat / 4 ? 1 : 0);
        if (common) common->common_setPlaybarLed(i, state);
      }
      if (sequenceMode) {
        // The notification comes first: the groove panel's answer switches
        // its sync mode on and off, which must not undo this flag.
        if (beat >= kSyncBeat && !syncing) {
          if (common) common->common_eventGrooveSync();
          syncing = 1;
        } else if (beat < kSyncBeat && syncing) {
          syncing = 0;
          cycleCount++;
          if (common) common->common_eventGrooveStart();
        }
      }
      if (sequenceMode && vmixMode)
        snprintf(playbarText, sizeof playbarText, "%02d:%02d:%02d", cycleCount + 1, beat / 4 + 1, beat % 4 + 1);
      else
        snprintf(playbarText, sizeof playbarText, "%02d:%02d", beat / 4 + 1, beat % 4 + 1);
      if (common) common->common_setPlaybarLabel(playbarText);
    }
    lastBeat = beat;
  }
  syncLedWanted = (syncing && (uint32_t(uloGlo.when) % 15) > 10) ? 1 : 0;
  if (syncLedWanted != syncLedShown) {
    syncLedShown = syncLedWanted;
    if (common) common->common_setSyncingLed(syncLedShown != 0);
  }
  midiIdle();
  uloQt_IdleTime();
}

void JLPlayer::midiUsePorts(JLMidiPort* input, JLMidiPort* output) {
  midiClock_.reset();
  if (output) {
    midiClock_ = std::make_unique<JLMidiClockOut>();
    midiClock_->setPort(output);
  }
  midiIn_ = input ? std::make_unique<JLMidiConnection>(*input) : nullptr;
  midiInClosings_ = 0;
  midiOut_ = output ? std::make_unique<JLMidiConnection>(*output) : nullptr;
  if (JLEngine* e = engine()) {
    e->midi_setInput(input);
    e->midi_setOutput(output);
  }
  midiLookedAt_ = -1000;
}

void JLPlayer::midiIdle() {
  JLEngine* e = engine();
  if (!e) return;
  // The ALSA ports are made only once the user has chosen a device.
  if (!midiIn_ && !midiOut_ && (jlPrefs.midiInput[0] || jlPrefs.midiOutput[0])) {
    midiInOwned_ = std::make_unique<JLRtMidiPort>(false);
    midiOutOwned_ = std::make_unique<JLRtMidiPort>(true);
    midiUsePorts(midiInOwned_.get(), midiOutOwned_.get());
  }
  if (midiClock_) {
    midiClock_->setEnabled(jlPrefs.midiClockOut != 0);
    midiClock_->setLatencyFrames(e->outputLatencyFrames());
  }
  if (!midiIn_) return;
  const int32_t now = int32_t(uloGlo.when);
  if (now - midiLookedAt_ >= 60 || now < midiLookedAt_) {  // ticks of 1/60 s
    midiLookedAt_ = now;
    midiIn_->want(jlPrefs.midiInput);
    midiIn_->poll();
    // Another device chosen, or the device gone: its keys and pedal let go.
    if (midiIn_->closings() != midiInClosings_) {
      midiInClosings_ = midiIn_->closings();
      e->midi_inputChanged();
    }
    if (midiOut_) {
      // The clock's thread sends through this port.
      std::unique_lock<std::mutex> g;
      if (midiClock_) g = std::unique_lock<std::mutex>(midiClock_->portLock());
      midiOut_->want(jlPrefs.midiOutput);
      midiOut_->poll();
    }
    JLMidiMap map;
    map.channel = int8_t(jlPrefs.midiChannel);
    map.play = jlPrefs.midiBindings[0];
    map.stop = jlPrefs.midiBindings[1];
    map.tap = jlPrefs.midiBindings[2];
    map.latch = jlPrefs.midiBindings[3];
    for (int t = 0; t < 8; ++t) map.mute[t] = jlPrefs.midiBindings[4 + t];
    e->midi_setMap(map);
  }
  // Played again since a MIDI stop (from the screen): that place is past.
  if (playing) midiStopped_ = Paused();
  JLMidiAction a[16];
  for (int n = 16; n == 16;) {
    n = e->midi_pump(a, 16);
    midiActions(a, n);
  }
}

void JLPlayer::midiActions(const JLMidiAction* a, int n) {
  for (int i = 0; i < n; ++i) {
    switch (a[i].kind) {
      case JLMidiAction::play:
        // Start: from the top.
        midiClockIn_.restart();
        midiStopped_ = Paused();
        play();
        break;
      case JLMidiAction::proceed:
        // Continue: on from where the last MIDI stop left it, as a
        // sequencer that sent Stop and Continue expects.
        midiClockIn_.restart();
        if (midiStopped_.playing) resumeAfter(midiStopped_, true);
        else play();
        midiStopped_ = Paused();
        break;
      case JLMidiAction::clockTick:
        if (!jlPrefs.midiClockIn) break;
        midiClockIn_.tick(a[i].ns);
        // The outside tempo, as far as the song can follow it.
        if (const double outside = midiClockIn_.bpm(); outside > 0) {
          const float want = clampBpm(float(std::round(outside * 10.0) / 10.0));
          if (std::fabs(want - bpm) >= 0.05f) adjustBpm(want);
        }
        break;
      case JLMidiAction::stop:
        if (playing) midiStopped_ = pauseFor();
        break;
      case JLMidiAction::tapTempo: hitBpmTap(); break;
      case JLMidiAction::muteTrack:
        if (common) common->common_midiMuteTrack(a[i].track);
        break;
      case JLMidiAction::noteOn:
        if (common) common->common_midiLatchNote(a[i].note);
        break;
      case JLMidiAction::holdNote:
      case JLMidiAction::releaseNote:
        if (common) common->common_midiHoldNote(a[i].note, a[i].kind == JLMidiAction::holdNote);
        break;
      default: break;
    }
  }
}
