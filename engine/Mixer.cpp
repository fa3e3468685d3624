#include "engine/Mixer.h"

#include <cmath>
#include <cstring>
#include <numeric>

#include "engine/AudioFormat.h"
#include "engine/JLTempo.h"
#include "engine/MMSysAudio.h"
#include "engine/Vtrack.h"
#include "engine/synth/Synth.h"
#include "engine/userloop/Elast.h"

int32_t SAMPFREQ = 22050;
int32_t BLOCKLEN = 8192;
std::atomic<int32_t> ResampledBPM{0};
std::atomic<int32_t> PlayingStatus{0};
std::atomic<int32_t> MasterVol{128};
std::atomic<int16_t> ttTrackPeaks[16];
std::atomic<int16_t> ttDistance{8};
std::atomic<int32_t> MixMilliBPM{0};

namespace {

// Audio-thread state (the UI touches it only while no output runs).
int16_t ttTrackPeaksQueue[16][32];
int16_t ttQWPos = 0;
int16_t ttQRPos = 1;
float floatOutL[kBusFrames];
float floatOutR[kBusFrames];
// Mixed frames waiting for the resampler, kTempoHistory frames of history
// first (the band-limited kernel reads behind the position), then
// resBufPtr frames from the read position on, as 16 bits and as planar
// floats. High keeps the position's fraction as resAcc / resDen.
int16_t* resBuf = nullptr;
float* resL = nullptr;
float* resR = nullptr;
int32_t resBufFrames = 0;
int32_t resBufPtr = 0;
int64_t resAcc = 0;
int64_t resDen = 1;
std::atomic<int32_t> tempoQuality{kTempoHigh};

int clampInt(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

void raisePeak(std::atomic<int16_t>& word, int16_t v) {
  int16_t cur = word.load(std::memory_order_relaxed);
  while (cur < v && !word.compare_exchange_weak(cur, v, std::memory_order_relaxed)) {
  }
}

}  // namespace

// ---- rates and tempo -------------------------------------------------------

void SetRealtimeFreq(int hz) {
  if (PlayingStatus.load() != 0 || hz <= 0) return;
  SAMPFREQ = hz;
  BLOCKLEN = hz >= 44100 ? 16384 : 8192;
}

int SetMixBPM(int milliBpm) {
  if (milliBpm <= 0) return ResampledBPM.load();
  // Single precision on purpose: 120000 gives 22049 at 44100 Hz, which is
  // what keeps the song tempo an exact copy (2048 * BPM / r truncates to 2048).
  const float rf = float(SAMPFREQ * 60) / (float(milliBpm) * 0.001f);
  int64_t r = rf >= 2147483647.0f ? 2147483647 : int64_t(rf);
  const int64_t bpm = BPM.load();
  if (bpm > 0) {
    if (r * 13 < bpm * 10) r = bpm * 10 / 13;
    // At least one mixed frame per output request.
    if (r > bpm * kMixBlock) r = bpm * kMixBlock;
  }
  if (r < 1) r = 1;
  if (bpm > 0) {
    const int64_t d = r * 8 / bpm;
    ttDistance = int16_t(d > 32767 ? 32767 : d);
  }
  ResampledBPM = int32_t(r);
  MixMilliBPM = milliBpm;
  int64_t num, den;
  HighTempoRatio(&num, &den);
  JLTempoPrepare(double(num) / double(den));
  return int32_t(r);
}

void HighTempoRatio(int64_t* num, int64_t* den) {
  const int64_t milli = MixMilliBPM.load(std::memory_order_relaxed);
  const int64_t bpm = BPM.load(std::memory_order_relaxed);
  const int64_t hz = SAMPFREQ;
  *num = *den = 1;
  if (milli <= 0 || bpm <= 0 || hz <= 0 || int64_t(SongBPM.load(std::memory_order_relaxed)) * 1000 == milli) return;
  __int128 n = __int128(bpm) * milli;
  __int128 d = __int128(hz) * 60000;
  // The bounds ResampledBPM keeps: at most 1.3 times (the fastest tempo
  // shown is exactly this one), at least one mixed frame per 2048.
  int64_t rmin = bpm * 10 / 13;
  if (rmin < 1) rmin = 1;
  if (n * rmin > d * bpm) {
    n = bpm;
    d = rmin;
  }
  if (n * kMixBlock < d) {
    n = 1;
    d = kMixBlock;
  }
  const int64_t g = std::gcd(int64_t(n), int64_t(d));
  *num = int64_t(n) / g;
  *den = int64_t(d) / g;
}

void SetTempoQuality(int quality) { tempoQuality = quality == kTempoOriginal ? kTempoOriginal : kTempoHigh; }

int GetTempoQuality() { return tempoQuality.load(); }

double FastestMixBPM(int songBpm, int hz) {
  if (songBpm <= 0 || hz <= 0) return 0.0;
  const int64_t bpm = int64_t(hz) * 60 / songBpm;  // as BeginPlay arms it
  const int64_t r = bpm * 10 / 13;
  return r > 0 ? double(hz) * 60.0 / double(r) : 0.0;
}

// ---- resampler -------------------------------------------------------------

int InitResampler(int blockLen) {
  ResetResampler();
  const long frames = long(blockLen) * 4 + kTempoHistory;
  resBuf = static_cast<int16_t*>(M_alloc(frames * 4));
  resL = static_cast<float*>(M_alloc(frames * long(sizeof(float))));
  resR = static_cast<float*>(M_alloc(frames * long(sizeof(float))));
  if (!resBuf || !resL || !resR) {
    ResetResampler();
    return 1;
  }
  memset(resBuf, 0, size_t(frames) * 4);
  memset(resL, 0, size_t(frames) * sizeof(float));
  memset(resR, 0, size_t(frames) * sizeof(float));
  resBufFrames = blockLen * 4;
  int64_t num, den;
  HighTempoRatio(&num, &den);
  JLTempoPrepare(double(num) / double(den));
  return 0;
}

int ResetResampler() {
  M_free(resBuf);
  M_free(resL);
  M_free(resR);
  resBuf = nullptr;
  resL = resR = nullptr;
  resBufFrames = 0;
  resBufPtr = 0;
  resAcc = 0;
  resDen = 1;
  return 0;
}

namespace {

int16_t* resAt(int64_t frame) { return resBuf + 2 * (kTempoHistory + frame); }

// Mixes whole blocks until `need` frames lie ahead of the read position.
void resFill(int64_t need) {
  if (need > resBufFrames - kMixBlock) need = resBufFrames - kMixBlock;
  while (resBufPtr < need) {
    int16_t* at = resAt(resBufPtr);
    GetSamples(at, kMixBlock);
    float* l = resL + kTempoHistory + resBufPtr;
    float* r = resR + kTempoHistory + resBufPtr;
    for (int i = 0; i < kMixBlock; ++i) {
      l[i] = float(at[2 * i]);
      r[i] = float(at[2 * i + 1]);
    }
    resBufPtr += kMixBlock;
  }
}

// Moves the read position `c` frames on, keeping the history behind it.
void resConsume(int64_t c) {
  const size_t keep = size_t(kTempoHistory + resBufPtr - c);
  memmove(resBuf, resBuf + 2 * c, keep * 4);
  memmove(resL, resL + c, keep * sizeof(float));
  memmove(resR, resR + c, keep * sizeof(float));
  resBufPtr -= int32_t(c);
}

void resampleOriginal(int16_t* dst, int n, int64_t bpm, int64_t r) {
  // Coming from High between two frames: Original reads from whole frames,
  // so the nearer one is taken (at most half a frame's step).
  if (resAcc * 2 >= resDen) {
    resFill(1);
    resConsume(1);
  }
  int64_t nIn = bpm * n / r;
  if (nIn < 1) nIn = 1;
  if (nIn > resBufFrames - kMixBlock) nIn = resBufFrames - kMixBlock;
  resFill(nIn);
  Resample(dst, resAt(0), n, int(nIn));
  resConsume(nIn);
  resAcc = 0;
}

// At most this many output frames per pass, so what lies ahead always fits.
constexpr int kHighChunk = 2048;

void resampleHigh(int16_t* dst, int n, const JLTempoKernel& k) {
  int64_t num, den;
  HighTempoRatio(&num, &den);
  if (den != resDen) {
    // The same fractional position in the new ratio's units.
    resAcc = int64_t(__int128(resAcc) * den / resDen);
    resDen = den;
  }
  for (int done = 0; done < n;) {
    const int m = n - done < kHighChunk ? n - done : kHighChunk;
    int16_t* out = dst + 2 * done;
    if (num == den) {
      resFill(m);
      memcpy(out, resAt(0), size_t(m) * 4);
      resConsume(m);
    } else {
      const int64_t last = (resAcc + (m - 1) * num) / den;
      resFill(last + k.taps - k.half + 1);
      const int64_t idx = JLTempoRun(k, resL + kTempoHistory, resR + kTempoHistory, &resAcc, num, den, m, out);
      resConsume(idx);
    }
    done += m;
  }
}

}  // namespace

int GetResampled(void* out, int n) {
  int16_t* dst = static_cast<int16_t*>(out);
  const int64_t bpm = BPM.load(std::memory_order_relaxed);
  const int64_t r = ResampledBPM.load(std::memory_order_relaxed);
  if (!resBuf || n <= 0 || bpm <= 0 || r <= 0) {
    if (n > 0) memset(dst, 0, size_t(n) * 4);
    return n;
  }
  const JLTempoKernel* k = tempoQuality.load(std::memory_order_relaxed) == kTempoHigh ? JLTempoAcquire() : nullptr;
  if (k)
    resampleHigh(dst, n, *k);
  else
    resampleOriginal(dst, n, bpm, r);
  return n;
}

int Resample(int16_t* out, const int16_t* in, int nOut, int nIn) {
  if (nOut <= 0 || nIn <= 0) return nOut;
  if (nIn == nOut) {
    memcpy(out, in, size_t(nOut) * 4);
    return nOut;
  }
  const float ratio = float(nIn) / float(nOut);
  const int last = nIn - 1;
  for (int i = 0; i < nOut; ++i) {
    const int64_t p = int64_t(ratio * (i * 100.0));
    const int64_t idx = p / 100;
    if (idx >= last) {
      out[2 * i] = in[2 * last];
      out[2 * i + 1] = in[2 * last + 1];
      continue;
    }
    const double frac = double(p % 100) * 0.01;
    const int16_t* a = in + 2 * idx;
    out[2 * i] = int16_t(a[0] + (a[2] - a[0]) * frac);
    out[2 * i + 1] = int16_t(a[1] + (a[3] - a[1]) * frac);
  }
  return nOut;
}

// ---- mix settings ------------------------------------------------------------

int TrackVolume(int track, int vol) {
  TRACK& t = Tracks[clampInt(track, 1, kTracks) - 1];
  vol = clampInt(vol, 0, 127);
  TrackLockGuard g(t.lock);
  t.volume = vol;
  t.syncVolume = -1;
  return vol;
}

int TrackPan(int track, int pan) {
  TRACK& t = Tracks[clampInt(track, 1, kTracks) - 1];
  pan = clampInt(pan, 0, 127);
  TrackLockGuard g(t.lock);
  t.pan = pan;
  t.syncPan = -1;
  return pan;
}

int VolumeSync2(int track, int vol) {
  TRACK& t = Tracks[clampInt(track, 1, kTracks) - 1];
  TrackLockGuard g(t.lock);
  t.syncVolume = clampInt(vol, 0, 127);
  t.syncAt = SyncPointAfter(TimeLine.load(std::memory_order_acquire));
  return 0;
}

int PanSync2(int track, int pan) {
  TRACK& t = Tracks[clampInt(track, 1, kTracks) - 1];
  TrackLockGuard g(t.lock);
  t.syncPan = clampInt(pan, 0, 127);
  t.syncAt = SyncPointAfter(TimeLine.load(std::memory_order_acquire));
  return 0;
}

int MasterVolume(int vol) {
  vol = clampInt(vol, 0, 128);
  MasterVol = vol;
  return vol;
}

void LGetTrackPeaks(short track, std::atomic<int16_t>** left, std::atomic<int16_t>** right) {
  const bool ok = track >= 0 && track < kTracks;
  if (left) *left = ok ? &ttTrackPeaks[track] : nullptr;
  if (right) *right = ok ? &ttTrackPeaks[track + 8] : nullptr;
}

// ---- block mixing --------------------------------------------------------------

int GetSamples(void* out, int count) {
  if (count <= 0) return count;
  if (count > kBusFrames) count = kBusFrames;
  int16_t* dst = static_cast<int16_t*>(out);
  memset(floatOutL, 0, sizeof(float) * size_t(count));
  memset(floatOutR, 0, sizeof(float) * size_t(count));
  const FramePos T = TimeLine.load(std::memory_order_relaxed);
  const float master = float(MasterVol.load(std::memory_order_relaxed));

  for (int ti = 0; ti < kTracks; ++ti) {
    TRACK& t = Tracks[ti];
    if (T >= t.syncAt.load(std::memory_order_relaxed)) {
      TrackLockGuard g(t.lock);
      if (T >= t.syncAt) {
        t.syncAt = kNever;
        if (t.syncVolume != -1) t.volume = t.syncVolume.load();
        if (t.syncPan != -1) t.pan = t.syncPan.load();
      }
    }
    if (t.pendingVariant.load(std::memory_order_relaxed) == -1 &&
        T + count / 2 >= t.syncPoint.load(std::memory_order_relaxed)) {
      TrackLockGuard g(t.lock);
      if (t.pendingVariant == -1 && T + count / 2 >= t.syncPoint) {
        t.pendingVariant = -2;
        t.nextStart = kNever;
        t.fileName[0] = 0;
        t.currentVariant = -1;
        t.idle = 1;
        t.schedGen.fetch_add(1);
      }
    }
    // A track idle only between two files of its loop keeps playing what
    // its ring holds; only a stopped track is skipped.
    if (t.currentVariant.load(std::memory_order_relaxed) < 0 || !t.ring) continue;
    const int v = t.volume.load(std::memory_order_relaxed);
    if (v == 0) continue;
    const FramePos loaded = t.loadedTo.load(std::memory_order_acquire);
    const bool streaming = t.idle.load(std::memory_order_relaxed) == 0;
    if (streaming && loaded < T + count) TrackUnderruns.fetch_add(1);
    // Only frames below loadedTo belong to this lap of the ring; the rest
    // may be under the loader's pen.
    FramePos from = T;
    const FramePos mf = t.mixFrom.load(std::memory_order_relaxed);
    if (mf > from) from = mf;
    FramePos end = T + count;
    if (loaded < end) end = loaded;
    if (end <= from) continue;
    const int R = t.ringFrames;
    const int at = int(from % R);
    int frames = int(end - from);
    if (at + frames > R) frames = R - at;
    const int off = int(from - T);
    const int16_t* src = t.ring + 2 * at;

    const int p = t.pan.load(std::memory_order_relaxed);
    float gl, gr;
    if (p > 63) {
      gl = (v / 128.0f) * (master / 128.0f);
      gr = ((127 - p) / 63.0f) * (v / 128.0f) * (master / 128.0f);
    } else {
      gl = (v / 128.0f) * (p / 63.0f) * (master / 128.0f);
      gr = (v / 128.0f) * (master / 128.0f);
    }
    float* L = floatOutL + off;
    float* Rb = floatOutR + off;
    int pkL = 0, pkR = 0;
    for (int i = 0; i < frames; ++i) {
      const int l = src[2 * i], r = src[2 * i + 1];
      L[i] += float(l) * gl;
      Rb[i] += float(r) * gr;
      pkL = l > pkL ? l : pkL;
      pkR = r > pkR ? r : pkR;
    }
    raisePeak(ttTrackPeaks[ti], ttTrackPeaksQueue[ttQRPos][ti]);
    raisePeak(ttTrackPeaks[8 + ti], ttTrackPeaksQueue[ttQRPos][16 + ti]);
    ttTrackPeaksQueue[ttQWPos][ti] = int16_t(pkL);
    ttTrackPeaksQueue[ttQWPos][16 + ti] = int16_t(pkR);
  }
  ttQWPos = int16_t((ttQWPos + 1) % 16);
  ttQRPos = int16_t(((ttDistance.load(std::memory_order_relaxed) + ttQWPos) % 16 + 16) % 16);

  if (elastRenderData.enabled.load(std::memory_order_acquire)) {
    elastRenderData.count = count;
    elastRenderData.timeline = T;
    elastRenderData.barFrames = 4 * BPM.load(std::memory_order_relaxed);
    elastRenderData.gain = master * (1.0f / 127.0f);
    elastRenderData.outLeft = floatOutL;
    elastRenderData.outRight = floatOutR;
    Elast_RenderToMixer();
  }
  SynthFloatRender(&RealtimeSynth, floatOutL, floatOutR, T, master, count);

  for (int i = 0; i < count; ++i) {
    const float l = floatOutL[i], r = floatOutR[i];
    dst[2 * i] = l > 32767.0f ? 32767 : l < -32767.0f ? -32767 : int16_t(l);
    dst[2 * i + 1] = r > 32767.0f ? 32767 : r < -32767.0f ? -32767 : int16_t(r);
  }
  TimeLine.store(T + count, std::memory_order_release);
  WakeLoader();
  return count;
}

// ---- lifecycle -----------------------------------------------------------------

int InitPlay() {
  InitSynth(&RealtimeSynth, &SynthSamps);
  MasterVol = 128;
  ExitBackThread = 1;
  StartLoaderThread();
  return 1;
}

int BeginPlay() {
  if (PlayingStatus.load() != 0) return 1;
  // The meter queue still holds the last blocks of the previous playback:
  // they would show before anything of this one is heard.
  memset(ttTrackPeaksQueue, 0, sizeof ttTrackPeaksQueue);
  InitSynthFStop(&RealtimeSynth, &SynthSamps);
  if (SongBPM.load() <= 0) return 1;  // no beat length without a song tempo
  if (InitTracks(4 * BLOCKLEN) != 0) return 1;
  BPM = SAMPFREQ * 60 / SongBPM.load();
  if (BPM.load() <= 0) {
    FreeTracks();
    return 1;
  }
  ResampledBPM = BPM.load();
  MixMilliBPM = 0;
  SetSynthBPM(&RealtimeSynth, BPM.load());
  wDBStop();
  if (wDBInit(GetResampled, 4 * BLOCKLEN) != 0) {
    FreeTracks();
    return 1;
  }
  PlayingStatus = 1;
  return 0;
}

int StartPlayback(int track0, int variant0) {
  int variants[kTracks];
  for (int& v : variants) v = -1;
  if (track0 >= 0 && track0 < kTracks) variants[track0] = variant0;
  return StartPlaybackTracks(variants);
}

int StartPlaybackTracks(const int* variants) {
  TimeLine.store(0, std::memory_order_release);
  for (TRACK& t : Tracks) t.mixFrom = 0;
  for (int i = 0; i < kTracks; ++i) {
    if (variants[i] < 0) continue;
    TRACK* t = &Tracks[i];
    TrackLockGuard g(t->lock);
    t->nextStart = kNever;
    t->fileName[0] = 0;
    t->currentVariant = variants[i];
    GestioneLooping(t);
    t->schedGen.fetch_add(1);
  }
  InitResampler(BLOCKLEN);
  InitialTrackOpen();
  wMidiOpen();
  wMidiStartStop(1);
  if (wDBStart() != 0) {
    CloseWaveFiles();
    // Back to a clean armed state, so the next selection starts afresh
    // from timeline 0 instead of finding this attempt's ring loaded.
    for (TRACK& tr : Tracks) ResetTrackState(&tr);
    return 1;
  }
  ExitBackThread = 0;
  dowldproc = 1;
  PlayingStatus = 2;
  WakeLoader();
  return 0;
}

int StopPlay() {
  const int status = PlayingStatus.load();
  if (status == 0) return 1;
  if (status == 1) {
    FreeTracks();
    wDBClose();
    ResetResampler();
    PlayingStatus = 0;
    dowldproc = 0;
    return 0;
  }
  PauseLoader();
  wDBStop();
  wDBClose();
  wMidiStartStop(0);
  wMidiClose();
  CloseWaveFiles();
  FreeTracks();
  ResetResampler();
  PlayingStatus = 0;
  return 0;
}

int ExitPlay() {
  StopPlay();
  FreeSynth(&SynthSamps);
  StopLoaderThread(10000);
  return 1;
}
