// Offline rendering through the facade: the live state is kept aside, the
// output pulled by hand, and the state put back. See JLEngine.h.
#include <cstring>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/JLEngine.h"
#include "engine/JLEngineSnapshot.h"
#include "engine/JLStretch.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/synth/Synth.h"
#include "engine/userloop/Elast.h"

bool JLEngine::offlineBegin() {
  if (offline_ || !initialised_) return false;
  auto s = std::make_unique<JLEngineSnapshot>();
  const int n = NumVTracks.load();
  s->loops.resize(size_t(n));
  for (int i = 0; i < n; ++i) {
    memcpy(s->loops[size_t(i)].name, VTracks[i].name, kVTrackNameSize);
    s->loops[size_t(i)].lengthBeats = VTracks[i].lengthBeats.load();
    s->loops[size_t(i)].extraBeats = VTracks[i].extraBeats;
  }
  s->underrunsBefore = TrackUnderruns.load();
  s->manualFeed = wDBManualFeed();
  s->sampleRate = SAMPFREQ;
  s->songBpm = SongBPM.load();
  s->status = PlayingStatus.load();
  s->resampledBpm = ResampledBPM.load();
  s->mixMilliBpm = MixMilliBPM.load();
  s->beat = BPM.load();
  s->peakDistance = ttDistance.load();
  s->masterVolume = MasterVol.load();
  for (int t = 0; t < kTracks; ++t) {
    TrackLockGuard g(Tracks[t].lock);
    // A change waiting for the sync point is what the user chose last.
    s->volume[t] = Tracks[t].syncVolume != -1 ? Tracks[t].syncVolume.load() : Tracks[t].volume.load();
    s->pan[t] = Tracks[t].syncPan != -1 ? Tracks[t].syncPan.load() : Tracks[t].pan.load();
    const int32_t pending = Tracks[t].pendingVariant.load();
    const int32_t prepared = Tracks[t].prepVariant.load();
    s->variant[t] = prepared >= 0  ? prepared
                    : pending >= 0 ? pending
                    : pending == -1 ? -1
                                    : Tracks[t].currentVariant.load();
    s->heldVariant[t] = Tracks[t].currentVariant.load();
  }
  memcpy(s->trackSample, trackSample, sizeof trackSample);
  s->playing = playing;
  s->syncMode = syncMode;
  {
    TrackLockGuard g(RealtimeSynth.lock);
    s->synthPoly = RealtimeSynth.poly;
    s->synthMode = RealtimeSynth.arpMode;
    s->synthStepsPerBeat = RealtimeSynth.stepsPerBeat;
    s->synthVolume = RealtimeSynth.volume;
    s->synthPan = RealtimeSynth.pan;
    memcpy(s->synthPattern, RealtimeSynth.pattern, sizeof s->synthPattern);
    s->synthRand = RealtimeSynth.randState;
  }
  {
    TrackLockGuard g(elastLock);
    s->userLoopVolume = elastRenderData.volume;
  }
  // Stopped for real, whatever the facade believed (an armed engine whose
  // start failed has playing = 0 or 1 and status 1).
  playing = 1;
  stop();
  if (PlayingStatus.load() != 0) StopPlay();
  wDBSetManualFeed(true);
  JLStretchSetHandFed(true);
  offlineFrames_ = 0;
  clockLog_.clear();
  midiClock_ = JLMidiClock(SAMPFREQ);
  offline_ = std::move(s);
  return true;
}

void JLEngine::offlineStart() {
  if (offline_) startTimeline();
}

void JLEngine::offlinePull(int16_t* out, int frames) {
  if (!out || frames <= 0) return;
  offlineBlock(frames, [&] { memset(out, 0, size_t(frames) * 4); }, [&] { GetResampled(out, frames); });
}

void JLEngine::offlinePullFloat(float* out, int frames) {
  if (!out || frames <= 0) return;
  if (frames > kBusFrames) {
    offlinePullFloat(out, kBusFrames);
    offlinePullFloat(out + 2 * kBusFrames, frames - kBusFrames);
    return;
  }
  offlineBlock(frames, [&] { memset(out, 0, size_t(frames) * 2 * sizeof(float)); },
               [&] { GetResampledFloat(out, frames); });
}

void JLEngine::offlineBlock(int frames, const std::function<void()>& silence, const std::function<void()>& mix) {
  if (!offline_) return;
  if (PlayingStatus.load() != 2) {
    silence();
    return;
  }
  // The loader thread is enabled by every start; this thread visits the
  // tracks itself, so it must be kept out.
  if (dowldproc.load()) PauseLoader();
  JLStretchFollowHandFed();
  LoaderVisitAll();
  // Keyboard keys and transport actions waiting are applied at the start
  // of the block, where a live block would find them.
  JLMidiAction pending[16];
  midi_pump(pending, 16);
  mix();
  // The clock follows the tempo heard: the mixer's frames per beat.
  const int64_t r = ResampledBPM.load();
  const double bpm = r > 0 ? 60.0 * SAMPFREQ / double(r) : 0.0;
  JLMidiClock::Event ev[64];
  int n = midiClock_.advance(offlineFrames_, frames, bpm, 0, ev, 64);
  for (int i = 0; i < n; ++i) {
    clockLog_.push_back(ev[i]);
    if (midiOut_) midiOut_->send(ev[i].message.bytes, ev[i].message.size);
  }
  offlineFrames_ += frames;
}

int32_t JLEngine::offlineCyclesBegun() const {
  const int64_t period = int64_t(kSyncBeats) * BPM.load();
  const int64_t t = TimeLine.load();
  if (!offline_ || period <= 0 || t <= 0) return 0;
  return int32_t((t - 1) / period + 1);
}

uint32_t JLEngine::offlineUnderruns() const {
  return offline_ ? TrackUnderruns.load() - offline_->underrunsBefore : 0;
}

void JLEngine::offlineEnd() {
  if (!offline_) return;
  std::unique_ptr<JLEngineSnapshot> s = std::move(offline_);
  playing = 1;
  stop();
  if (PlayingStatus.load() != 0) StopPlay();
  wDBSetManualFeed(s->manualFeed);
  JLStretchSetHandFed(false);
  SetOriginalReadsFloats(false);

  ResetSongVTracks();
  for (size_t i = 0; i < s->loops.size() && i < size_t(kVTracks); ++i) {
    memcpy(VTracks[i].name, s->loops[i].name, kVTrackNameSize);
    VTracks[i].lengthBeats.store(s->loops[i].lengthBeats);
    VTracks[i].extraBeats = s->loops[i].extraBeats;
  }
  NumVTracks = int32_t(s->loops.size());
  JLStretchNoteAllLoops();
  SetRealtimeFreq(s->sampleRate);
  SetSongBPM(s->songBpm);
  MasterVolume(s->masterVolume);
  {
    TrackLockGuard g(RealtimeSynth.lock);
    RealtimeSynth.poly = s->synthPoly;
    RealtimeSynth.arpMode = s->synthMode;
    RealtimeSynth.stepsPerBeat = s->synthStepsPerBeat;
    RealtimeSynth.volume = s->synthVolume;
    RealtimeSynth.pan = s->synthPan;
    memcpy(RealtimeSynth.pattern, s->synthPattern, sizeof RealtimeSynth.pattern);
    RealtimeSynth.randState = s->synthRand;
  }
  {
    TrackLockGuard g(elastLock);
    elastRenderData.volume = s->userLoopVolume;
  }
  memcpy(trackSample, s->trackSample, sizeof trackSample);
  syncMode = 0;
  playing = 0;
  // Armed again: the same beat length from the same tempo. A stopped
  // engine gets its tempo words back as they were; arming recomputes them.
  if (s->status >= 1) BeginPlay();
  BPM = s->beat;
  ResampledBPM = s->resampledBpm;
  MixMilliBPM = s->mixMilliBpm;
  ttDistance = s->peakDistance;
  if (s->playing) play();
  // A sounding engine starts its tracks again; an armed one (never started,
  // or no device) keeps only its mix settings, as it had them.
  if (s->status == 2 && playing) {
    changesBegin();
    for (int t = 0; t < kTracks; ++t)
      if (s->variant[t] >= 0) setTrackSample(short(t), short(s->variant[t]));
    changesEnd();
  }
  for (int t = 0; t < kTracks; ++t) {
    TrackVolume(t + 1, s->volume[t]);
    TrackPan(t + 1, s->pan[t]);
    // A stopped engine's tracks keep what they last held (arming clears it).
    if (s->status == 0) Tracks[t].currentVariant = s->heldVariant[t];
  }
  memcpy(trackSample, s->trackSample, sizeof trackSample);
  syncMode = s->syncMode;
  for (auto& p : ttTrackPeaks) p.store(-1);
}

bool JLEngine::offlineSynthSounds() const {
  if (!offline_) return false;
  TrackLockGuard g(RealtimeSynth.lock);
  // Arming frees every held voice, so only the arpeggio can sound.
  return RealtimeSynth.arpMode != 0 && RealtimeSynth.volume > 0 && RealtimeSynth.pattern[0] != 0;
}

bool JLEngine::offlineUserLoopSounds() const {
  if (!offline_) return false;
  TrackLockGuard g(elastLock);
  return elastRenderData.enabled.load() != 0 && elastGlobalData.samples && !elastGlobalData.recording &&
         elastRenderData.volume > 0;
}

void JLEngine::offlineSilence(bool synth, bool userLoop) {
  if (!offline_) return;
  if (synth) {
    TrackLockGuard g(RealtimeSynth.lock);
    RealtimeSynth.volume = 0;
  }
  if (userLoop) {
    TrackLockGuard g(elastLock);
    elastRenderData.volume = 0;
  }
}

void JLEngine::offlineRoundOnce() {
  if (offline_) SetOriginalReadsFloats(true);
}

// ---- MIDI ----------------------------------------------------------------------

void JLEngine::midi_setInput(JLMidiPort* port) {
  if (midiIn_) midiIn_->setReceiver(nullptr, nullptr);
  midiIn_ = port;
  if (port) port->setReceiver(&JLMidiQueue::receive, &midiQueue_);
  midi_inputChanged();
}

namespace {
constexpr uint64_t noteBit(int note) { return note >= 0 && note < 64 ? uint64_t(1) << note : 0; }
}  // namespace

void JLEngine::midi_pedalUp() { liftPedal(TimeLine.load(std::memory_order_acquire)); }

void JLEngine::liftPedal(int64_t now) {
  SynthSustain(&RealtimeSynth, false, now);
  midiPedal_ = false;
  // Keys the pedal kept in the arpeggio leave it; keys still down stay.
  midiOwed_ |= midiInArp_ & ~midiDown_;
  midiInArp_ &= midiDown_;
}

void JLEngine::midi_inputChanged() {
  const FramePos now = TimeLine.load(std::memory_order_acquire);
  for (int k = 0; k < kSynthNotes; ++k)
    if (midiDown_ & noteBit(k)) SynthKeyOff(&RealtimeSynth, k, now);
  midiDown_ = 0;
  liftPedal(now);
}

int JLEngine::midi_pump(JLMidiAction* out, int max) {
  int n = 0;
  JLMidiMessage m;
  const FramePos now = TimeLine.load(std::memory_order_acquire);
  // With the caller's room full, the rest waits in the queue for the next
  // call: a burst (a busy interface thread, an outside clock) loses no Stop.
  while (!(out && n >= max)) {
    if (midiOwed_) {
      const int k = __builtin_ctzll(midiOwed_);
      midiOwed_ &= ~noteBit(k);
      if (out) {
        out[n] = JLMidiAction();
        out[n].kind = JLMidiAction::releaseNote;
        out[n++].note = int8_t(k);
      }
      continue;
    }
    if (!midiQueue_.pop(m)) break;
    const JLMidiAction a = midiMap_.translate(m);
    const uint64_t bit = noteBit(a.note);
    switch (a.kind) {
      case JLMidiAction::none:
        break;
      case JLMidiAction::noteOn:
        midiDown_ |= bit;
        if (!midiLatch_ && !midiKeysToArp_.load(std::memory_order_relaxed)) {
          SynthKeyOn(&RealtimeSynth, a.note, JL_MidiVelocityGain(a.velocity), now);
          break;
        }
        // Still in the arpeggio (the pedal kept it): it joins only once.
        if (!midiLatch_ && (midiInArp_ & bit)) break;
        if (out) {
          out[n] = a;
          if (!midiLatch_) {
            out[n].kind = JLMidiAction::holdNote;
            midiInArp_ |= bit;
          }
          n++;
        }
        break;
      case JLMidiAction::noteOff:
        midiDown_ &= ~bit;
        // A key pressed before the arpeggio started has a voice of its own.
        SynthKeyOff(&RealtimeSynth, a.note, now);
        if (midiPedal_ && (midiInArp_ & bit)) break;  // held on by the pedal
        midiInArp_ &= ~bit;
        if (out) {
          out[n] = a;
          out[n++].kind = JLMidiAction::releaseNote;
        }
        break;
      case JLMidiAction::sustain:
        if (a.on) {
          SynthSustain(&RealtimeSynth, true, now);
          midiPedal_ = true;
        } else {
          liftPedal(now);
        }
        break;
      case JLMidiAction::latch:
        midiLatch_ = !midiLatch_;
        if (out) out[n++] = a;
        break;
      default:
        if (out) out[n++] = a;
        break;
    }
  }
  return n;
}

void JLEngine::synth_KeyOn(short note) {
  SynthKeyOn(&RealtimeSynth, note, 1.0f, TimeLine.load(std::memory_order_acquire));
}

void JLEngine::synth_KeyOff(short note) { SynthKeyOff(&RealtimeSynth, note, TimeLine.load(std::memory_order_acquire)); }

void JLEngine::midi_clockStart(double beats) {
  const int64_t r = ResampledBPM.load();
  if (r > 0) midiClock_.start(offline_ ? offlineFrames_ : 0, beats, 60.0 * SAMPFREQ / double(r));
}

void JLEngine::midi_clockStop() { midiClock_.stop(offline_ ? offlineFrames_ : 0); }
