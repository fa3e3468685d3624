#include "engine/JLEngine.h"

#include <unistd.h>

#include <cmath>
#include <cstring>

#include "core/files/uloPathNames.h"
#include "engine/AudioFormat.h"
#include "engine/JLEngineSnapshot.h"
#include "engine/JLHeard.h"
#include "engine/JLLoopHeads.h"
#include "engine/JLLoopPrep.h"
#include "engine/JLStretch.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/synth/Synth.h"

JLEngine* gep = nullptr;

namespace {
// The loop cache may grow to 1 GiB before a song load trims it to 768 MiB.
constexpr int64_t kLoopCacheMaxBytes = int64_t(1) << 30;
constexpr int64_t kLoopCacheKeepBytes = int64_t(768) << 20;
}  // namespace

namespace {

// Internal ':' path to an absolute system path. False when it does not fit.
bool toAbsoluteSystemPath(const char* uloPath, char* out, size_t outSize) {
  char sys[kUloPathMax];
  if (!uloPath || !ULO_UloPathToSystemPath(uloPath, sys, sizeof sys) || !sys[0]) return false;
  if (sys[0] == '/') {
    if (strlen(sys) >= outSize) return false;
    ULO_StrCopy(out, outSize, sys);
    return true;
  }
  char cwd[kUloPathMax];
  if (!getcwd(cwd, sizeof cwd)) return false;
  const size_t need = strlen(cwd) + 1 + strlen(sys);
  if (need >= outSize) return false;
  ULO_StrCopy(out, outSize, cwd);
  if (out[strlen(out) - 1] != '/') strcat(out, "/");
  strcat(out, sys);
  return true;
}

}  // namespace

JLEngine::JLEngine() : playing(0), syncMode(0) {
  for (int16_t& s : trackSample) s = -1;
  for (int& v : pendingStart_) v = -1;
}

JLEngine::~JLEngine() = default;

void JLEngine::init() {
  Elast_Init();
  InitPlay();
  initialised_ = true;
  MasterVolume(kJLDefaultMasterVolume);
  ResetSongVTracks();
  SetRealtimeFreq(44100);
  for (int16_t& s : trackSample) s = -1;
}

void JLEngine::exit() {
  if (offline_) offlineEnd();
  initialised_ = false;
  ExitPlay();
  JLStretchShutdown();
  Elast_Exit();
  playing = 0;
}

void JLEngine::play() {
  if (playing) return;
  BeginPlay();  // an engine already armed stays armed
  playing = 1;
}

void JLEngine::startTimeline() {
  if (!playing || batchDepth_ > 0 || PlayingStatus.load() != 1) return;
  int none[kTracks];
  for (int& v : none) v = -1;
  StartPlaybackTracks(none);
}

void JLEngine::stop() {
  pendingAny_ = false;
  midi_pedalUp();
  if (!playing) return;
  StopPlay();
  playing = 0;
}

void JLEngine::setOutputFrames(int frames) { wDBSetDeviceFrames(frames); }

int JLEngine::outputLatencyFrames() const { return PlayingStatus.load() == 2 ? wDBLatencyFrames() : 0; }

uint32_t JLEngine::outputUnderruns() const { return TrackUnderruns.load() + wDBLateCallbacks(); }

bool JLEngine::takeOutputLost() {
  if (!playing || offline_ || !wDBDeviceLost()) return false;
  stop();
  return true;
}

uint32_t JLEngine::masterClips() const { return MasterClipBlocks.load(std::memory_order_relaxed); }

void JLEngine::setMixerVolume(short v) { MasterVolume(v); }

void JLEngine::setMixerBpm(float bpm) {
  const double milli = std::trunc(1000.0 * double(bpm));
  if (!(milli >= 1.0)) return;  // also rejects NaN
  SetMixBPM(milli > 2147483647.0 ? 2147483647 : int(milli));
  JLStretchNoteTempo();
  // A new tempo changes how many mixing blocks the latency holds.
  followLatency();
}

void JLEngine::setTempoQuality(bool high) {
  SetTempoQuality(high ? kTempoHigh : kTempoOriginal);
  JLStretchNoteTempo();
}

void JLEngine::setKeepPitch(bool on) { JLStretchSetEnabled(on); }

int JLEngine::keepPitchPrepare() { return JLStretchPrepareNow(); }

double JLEngine::fastestBpm(float songBpm, long hz) {
  const int song = songBpm >= 1.0f && songBpm < 100000.0f ? int(songBpm) : 0;
  return song > 0 && hz > 0 ? FastestMixBPM(song, int(hz)) : 1e9;
}

void JLEngine::setMixerFrequency(long hz) {
  if (hz <= 0 || hz > 1000000) return;
  SetRealtimeFreq(int(hz));
}

int64_t JLEngine::followLatency() {
  const int64_t lat = JL_HeardMixerFrames(outputLatencyFrames(), BPM.load(), ResampledBPM.load());
  ttDistance.store(JL_MeterDistance(lat, MixBlockFrames.load(std::memory_order_relaxed)));
  return lat;
}

char JLEngine::getMixerBeat() {
  if (PlayingStatus.load() != 2) return -1;
  const int64_t lat = followLatency();
  return char(JL_HeardBeat(TimeLine.load(std::memory_order_acquire), lat, BPM.load()));
}

int64_t JLEngine::heardFrame() {
  if (PlayingStatus.load() != 2) return -1;
  const int64_t at = TimeLine.load(std::memory_order_acquire) - followLatency();
  return at > 0 ? at : 0;
}

void JLEngine::startNextAt(int64_t frame) { StartTimeLineAt.store(frame > 0 ? frame : 0); }

void JLEngine::samplesBpm(float bpm) {
  SetSongBPM(bpm >= 1.0f && bpm < 100000.0f ? int(bpm) : 0);
  BeginPlay();
}

void JLEngine::samplesListReset() {
  for (int16_t& s : trackSample) s = -1;
  // Also forgets the faults of the previous song's loops.
  ResetSongVTracks();
  JLStretchForgetLoops();
  JL_LoopHeadsForget();
  // Converted copies of loops from earlier songs make room for this one's.
  JL_TrimLoopCache(kLoopCacheMaxBytes, kLoopCacheKeepBytes);
}

short JLEngine::samplesListAdd(const char* path, short divisor) {
  char sys[kVTrackNameSize + 1];
  // A path that does not convert or fit still takes its sample number (as
  // a silent entry), so the loops after it keep theirs.
  const bool ok = toAbsoluteSystemPath(path, sys, sizeof sys) && strlen(sys) < kVTrackNameSize;
  const int index = NumVTracks.load();
  const int r = AddSongVTrack(ok ? sys : "", divisor, 0);
  if (NumVTracks.load() > index) JLStretchNoteLoop(index);
  return short(ok && r == 0 ? 0 : 1);
}

void JLEngine::setTrackSample(short track, short sample) {
  if (track < 0 || track >= 256) return;
  trackSample[track] = sample;
  if (!playing) return;
  const int variant = sample == -1 ? -1 : sample + 1;
  // Armed but not yet sounding: inside a batch the tracks are collected
  // and started together by changesEnd.
  if (batchDepth_ > 0 && track < 8 && PlayingStatus.load() == 1) {
    const int v = variant - 1;
    const bool valid = v >= 0 && v < kVTracks && VTracks[v].name[0] != 0;
    pendingStart_[track] = valid ? v : -1;
    if (valid) pendingAny_ = true;
    return;
  }
  if (syncMode)
    TrackPlaySync(track + 1, variant);
  else
    TrackPlay(track + 1, variant);
  JLStretchNoteTempo();  // the loop just chosen is made first
}

void JLEngine::setTrackVolume(short track, short vol) {
  if (syncMode)
    VolumeSync2(track + 1, vol);
  else
    TrackVolume(track + 1, vol);
}

void JLEngine::setTrackPan(short track, short pan) {
  if (syncMode)
    PanSync2(track + 1, 63 - pan);
  else
    TrackPan(track + 1, 63 - pan);
}

void JLEngine::synth_Arp(short mode, short stepsPerBeat, const char* notes) {
  if (notes && notes[0])
    RealtimeArpeggiatorOn(mode, stepsPerBeat, notes);
  else
    RealtimeArpeggiatorOff();
}

void JLEngine::synth_Stop() {
  RealtimeArpeggiatorOff();
  midi_pedalUp();
}

void JLEngine::synth_SetFolder(const char* path) {
  midi_pedalUp();
  char sys[kUloPathMax];
  if (!toAbsoluteSystemPath(path, sys, sizeof sys - 1)) return;
  if (sys[strlen(sys) - 1] != '/') strcat(sys, "/");
  RealtimeSetSynth(sys);
}

void JLEngine::synth_SetPoly(short n) { RealtimeSetSynthPoly(n); }
void JLEngine::synth_SetVolume(short v) { RealtimeSetSynthVolume(v); }
void JLEngine::synth_SetPan(short p) { RealtimeSetSynthPan(p); }

void JLEngine::sync_atGrooveSet(short on) { syncMode = on; }

short JLEngine::copyAudioFile(const char*, const char*) { return 0; }
void JLEngine::changesBegin() {
  if (batchDepth_++ == 0) {
    for (int& v : pendingStart_) v = -1;
    pendingAny_ = false;
  }
}

void JLEngine::changesEnd() {
  if (batchDepth_ <= 0) return;
  if (--batchDepth_ > 0) return;
  if (pendingAny_ && playing && PlayingStatus.load() == 1) StartPlaybackTracks(pendingStart_);
  pendingAny_ = false;
}

short JLEngine::takeLoadFailure(short* track, short* why) {
  int t = -1;
  int32_t fault = kWaveFine;
  const int v = TakeLoopFault(&t, &fault);
  if (v < 0) return -1;
  if (track) *track = short(t);
  if (why) *why = short(fault);
  return short(v);
}

short JLEngine::sampleFault(short sample, bool told) { return short(RegisteredLoopFault(sample, told)); }

void JLEngine::getTrackPeaks(short track, std::atomic<short>** left, std::atomic<short>** right) {
  LGetTrackPeaks(track, left, right);
}

bool JL_ProbeSoundFile(const char* path, JLSoundFileFacts* facts) {
  WaveInfo info;
  WaveFile* w = OpenWave(path, &info);
  if (!w) return false;
  CloseWave(w);
  facts->channels = info.channels;
  facts->rate = info.rate;
  facts->frames = info.frames;
  return true;
}

int16_t* JL_ReadLoopWhole(const char* path, int rate, int64_t maxFrames, int64_t maxBytes, bool looped, int* channels,
                          int32_t* frames, int32_t* fault) {
  return JL_ReadWholeLoop(path, rate, maxFrames, maxBytes, looped, channels, frames, fault);
}

void JL_FreeLoopWhole(int16_t* frames) { M_free(frames); }
