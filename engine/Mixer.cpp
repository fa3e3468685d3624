#include "engine/Mixer.h"

#include <cmath>
#include <cstring>
#include <numeric>

#include "engine/AudioFormat.h"
#include "engine/JLLoopHeads.h"
#include "engine/JLTempo.h"
#include "engine/MMSysAudio.h"
#include "engine/Vtrack.h"
#include "engine/midi/JLMidi.h"
#include "engine/synth/Synth.h"
#include "engine/userloop/Elast.h"

int32_t SAMPFREQ = 22050;
int32_t BLOCKLEN = 8192;
std::atomic<int32_t> ResampledBPM{0};
std::atomic<int32_t> PlayingStatus{0};
std::atomic<int32_t> MasterVol{128};
std::atomic<int16_t> ttTrackPeaks[16];
std::atomic<uint32_t> MasterClipBlocks{0};
std::atomic<int16_t> ttDistance{8};
std::atomic<int32_t> MixMilliBPM{0};
std::atomic<int32_t> MixBlockFrames{kMixBlock};
std::atomic<int32_t> MixRampFrames{0};

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
// The output frames of the last request, which Original's ratio depends on.
std::atomic<int32_t> lastRequestFrames{kMixBlock};

// Original's mixed frames for a request of n output frames (its upper
// bound, the buffer's room, lies far above any ratio the tempo allows).
int64_t originalInFrames(int64_t bpm, int64_t r, int64_t n) {
  const int64_t nIn = bpm * n / r;
  return nIn < 1 ? 1 : nIn;
}

std::atomic<bool> originalReadsFloats{false};

// Per-track gain as heard, moving linearly towards the settings' gain over
// MixRampFrames frames, so a mute, solo, volume or pan change or a stop
// never steps the signal.
struct GainRamp {
  float l = 0, r = 0;            // current
  float tl = 0, tr = 0;          // target
  float dl = 0, dr = 0;          // per frame
  int left = 0;                  // frames still to go
  int delay = 0;                 // frames before the ramp begins
  bool audible = false;          // the track was selected in the last block
};
GainRamp gainRamps[kTracks];

// How far ahead of the mixer an immediate change cuts a track's ring: past
// the block being mixed and the old loop's fade, plus a block for the loader
// to refill from the cut before the mixer gets there (half a block still
// ran dry now and then on a 2-core machine with ten busy processes).
int immediateLead(int block) { return 2 * block + SAMPFREQ / 200; }

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

double PlayedTempoRatio() {
  if (tempoQuality.load(std::memory_order_relaxed) == kTempoHigh) {
    int64_t num, den;
    HighTempoRatio(&num, &den);
    return double(num) / double(den);
  }
  const int64_t bpm = BPM.load(std::memory_order_relaxed);
  const int64_t r = ResampledBPM.load(std::memory_order_relaxed);
  const int64_t n = lastRequestFrames.load(std::memory_order_relaxed);
  if (bpm <= 0 || r <= 0 || n <= 0) return 1.0;
  return double(originalInFrames(bpm, r, n)) / double(n);
}

void SetOriginalReadsFloats(bool on) { originalReadsFloats = on; }

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
// Blocks are as long as the device's buffer (at most kMixBlock), so a live
// change is mixed no earlier than the output needs it.
void resFill(int64_t need) {
  if (need > resBufFrames - kMixBlock) need = resBufFrames - kMixBlock;
  const int block = MixBlockFrames.load(std::memory_order_relaxed);
  while (resBufPtr < need) {
    int16_t* at = resAt(resBufPtr);
    GetSamples(at, block);
    float* l = resL + kTempoHistory + resBufPtr;
    float* r = resR + kTempoHistory + resBufPtr;
    // The band-limited resampler reads the mix before it was cut to 16
    // bits (clipped as the 16-bit copy is), so its output is quantised
    // once: a stem and the master then round the same sums, and the stems
    // add up to the master within a step per stem at every tempo.
    for (int i = 0; i < block; ++i) {
      const float fl = floatOutL[i], fr = floatOutR[i];
      l[i] = fl > 32767.0f ? 32767.0f : fl < -32767.0f ? -32767.0f : fl;
      r[i] = fr > 32767.0f ? 32767.0f : fr < -32767.0f ? -32767.0f : fr;
    }
    resBufPtr += block;
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

// Where resampled frames go: 16-bit stereo frames, or (offline renders to
// wider files) floats in the same units, clipped to the same range; High's
// interpolated frames are not rounded.
struct ResOut {
  int16_t* s16 = nullptr;
  float* f = nullptr;
  ResOut at(int frames) const { return {s16 ? s16 + 2 * frames : nullptr, f ? f + 2 * frames : nullptr}; }
};

float clip16(float v) { return v > 32767.0f ? 32767.0f : v < -32768.0f ? -32768.0f : v; }

// Original's output is 16-bit by definition; a float destination gets the
// same values (its scratch is static: float output is an offline render's).
void resampleOriginal(ResOut dst, int n, int64_t bpm, int64_t r) {
  static int16_t scratch[2 * kBusFrames];
  int16_t* to = dst.s16 ? dst.s16 : scratch;
  // Coming from High between two frames: Original reads from whole frames,
  // so the nearer one is taken (at most half a frame's step).
  if (resAcc * 2 >= resDen) {
    resFill(1);
    resConsume(1);
  }
  int64_t nIn = originalInFrames(bpm, r, n);
  if (nIn > resBufFrames - kMixBlock) nIn = resBufFrames - kMixBlock;
  resFill(nIn);
  if (originalReadsFloats.load(std::memory_order_relaxed))
    ResampleFloats(to, resL + kTempoHistory, resR + kTempoHistory, n, int(nIn));
  else
    Resample(to, resAt(0), n, int(nIn));
  resConsume(nIn);
  resAcc = 0;
  if (dst.f)
    for (int i = 0; i < 2 * n; ++i) dst.f[i] = float(to[i]);
}

// At most this many output frames per pass, so what lies ahead always fits.
constexpr int kHighChunk = 2048;

void resampleHigh(ResOut dst, int n, const JLTempoKernel& k) {
  int64_t num, den;
  HighTempoRatio(&num, &den);
  if (den != resDen) {
    // The same fractional position in the new ratio's units.
    resAcc = int64_t(__int128(resAcc) * den / resDen);
    resDen = den;
  }
  for (int done = 0; done < n;) {
    const int m = n - done < kHighChunk ? n - done : kHighChunk;
    const ResOut out = dst.at(done);
    if (num == den) {
      resFill(m);
      // At the song tempo the mix itself comes out, 16-bit at any depth.
      if (out.s16)
        memcpy(out.s16, resAt(0), size_t(m) * 4);
      else
        for (int i = 0; i < 2 * m; ++i) out.f[i] = float(resAt(0)[i]);
      resConsume(m);
    } else {
      const int64_t last = (resAcc + (m - 1) * num) / den;
      resFill(last + k.taps - k.half + 1);
      int64_t idx;
      if (out.s16) {
        idx = JLTempoRun(k, resL + kTempoHistory, resR + kTempoHistory, &resAcc, num, den, m, out.s16);
      } else {
        idx = JLTempoRunFloat(k, resL + kTempoHistory, resR + kTempoHistory, &resAcc, num, den, m, out.f);
        for (int i = 0; i < 2 * m; ++i) out.f[i] = clip16(out.f[i]);
      }
      resConsume(idx);
    }
    done += m;
  }
}

// The mixer position of the next output frame: mixed frames less those
// waiting for the resampler, plus the resampler's fraction.
double readPosition() {
  return double(TimeLine.load(std::memory_order_relaxed) - resBufPtr) + double(resAcc) / double(resDen);
}

}  // namespace

namespace {

int resampleInto(ResOut dst, int n) {
  const int64_t bpm = BPM.load(std::memory_order_relaxed);
  const int64_t r = ResampledBPM.load(std::memory_order_relaxed);
  if (!resBuf || n <= 0 || bpm <= 0 || r <= 0) {
    if (n > 0 && dst.s16) memset(dst.s16, 0, size_t(n) * 4);
    if (n > 0 && dst.f) memset(dst.f, 0, size_t(n) * 2 * sizeof(float));
    return n;
  }
  const JLTempoKernel* k = tempoQuality.load(std::memory_order_relaxed) == kTempoHigh ? JLTempoAcquire() : nullptr;
  lastRequestFrames.store(n, std::memory_order_relaxed);
  const double from = readPosition();
  if (k)
    resampleHigh(dst, n, *k);
  else
    resampleOriginal(dst, n, bpm, r);
  // The MIDI clock places its ticks on the output frames of this block.
  JL_MidiClockTap(from, readPosition(), n, int32_t(bpm));
  return n;
}

}  // namespace

int GetResampled(void* out, int n) { return resampleInto({static_cast<int16_t*>(out), nullptr}, n); }

int GetResampledFloat(float* out, int n) {
  if (n > kBusFrames) n = kBusFrames;
  return resampleInto({nullptr, out}, n);
}

namespace {

// Original's positions: output frame i reads input frame `idx` and the
// hundredths `frac` of the way to the next (the ratio in single precision,
// as it always was); at or past the last input frame, that frame alone.
template <class Put>
void originalPositions(int nOut, int nIn, Put put) {
  const float ratio = float(nIn) / float(nOut);
  const int last = nIn - 1;
  for (int i = 0; i < nOut; ++i) {
    const int64_t p = int64_t(ratio * (i * 100.0));
    const int64_t idx = p / 100;
    if (idx >= last) put(i, last, 0.0, true);
    else put(i, int(idx), double(p % 100) * 0.01, false);
  }
}

}  // namespace

int Resample(int16_t* out, const int16_t* in, int nOut, int nIn) {
  if (nOut <= 0 || nIn <= 0) return nOut;
  if (nIn == nOut) {
    memcpy(out, in, size_t(nOut) * 4);
    return nOut;
  }
  originalPositions(nOut, nIn, [&](int i, int idx, double frac, bool atEnd) {
    const int16_t* a = in + 2 * idx;
    if (atEnd) {
      out[2 * i] = a[0];
      out[2 * i + 1] = a[1];
      return;
    }
    out[2 * i] = int16_t(a[0] + (a[2] - a[0]) * frac);
    out[2 * i + 1] = int16_t(a[1] + (a[3] - a[1]) * frac);
  });
  return nOut;
}

int ResampleFloats(int16_t* out, const float* inL, const float* inR, int nOut, int nIn) {
  if (nOut <= 0 || nIn <= 0) return nOut;
  auto q = [](double v) {
    const double r = std::nearbyint(v);
    return int16_t(r > 32767.0 ? 32767 : r < -32767.0 ? -32767 : r);
  };
  originalPositions(nOut, nIn, [&](int i, int idx, double frac, bool atEnd) {
    const int next = atEnd ? idx : idx + 1;
    out[2 * i] = q(inL[idx] + (double(inL[next]) - inL[idx]) * frac);
    out[2 * i + 1] = q(inR[idx] + (double(inR[next]) - inR[idx]) * frac);
  });
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
  const int ramp = MixRampFrames.load(std::memory_order_relaxed);
  // Which block may have missed a switch being published now: this one, up
  // to T + count (see Vtrack.h).
  MixingTo.store(T + count, std::memory_order_seq_cst);
  SwitchEpoch.load(std::memory_order_seq_cst);

  for (int ti = 0; ti < kTracks; ++ti) {
    TRACK& t = Tracks[ti];
    // With fades, scheduled settings and stops take the block holding their
    // sync point and the fade starts exactly there (`delay`); without, they
    // take whole blocks as they always did.
    int delay = 0;
    const FramePos settingsAt = ramp > 0 ? T + count - 1 : T;
    if (settingsAt >= t.syncAt.load(std::memory_order_relaxed)) {
      TrackLockGuard g(t.lock);
      if (settingsAt >= t.syncAt) {
        if (t.syncAt > T) delay = int(t.syncAt - T);
        t.syncAt = kNever;
        if (t.syncVolume != -1) t.volume = t.syncVolume.load();
        if (t.syncPan != -1) t.pan = t.syncPan.load();
      }
    }
    // A scheduled stop takes the block whose middle reaches the sync point;
    // with fades, the block holding it, fading from the sync point on.
    const FramePos stopAt = ramp > 0 ? T + count - 1 : T + count / 2;
    if (t.pendingVariant.load(std::memory_order_relaxed) == -1 &&
        stopAt >= t.syncPoint.load(std::memory_order_relaxed)) {
      TrackLockGuard g(t.lock);
      if (t.pendingVariant == -1 && stopAt >= t.syncPoint) {
        if (ramp > 0 && t.syncPoint > T) delay = int(t.syncPoint - T);
        t.pendingVariant = -2;
        t.nextStart = kNever;
        t.fileName[0] = 0;
        t.currentVariant = -1;
        t.idle = 1;
        t.schedGen.fetch_add(1);
      }
    }
    // A track idle only between two files of its loop keeps playing what
    // its ring holds; only a stopped track is skipped (once faded out).
    if (!t.ring) continue;
    // Acquire: a track just selected had its mixFrom set before.
    const bool selected = t.currentVariant.load(std::memory_order_acquire) >= 0;
    const int v = selected ? t.volume.load(std::memory_order_relaxed) : 0;
    const int p = t.pan.load(std::memory_order_relaxed);
    float gl = 0.0f, gr = 0.0f;
    if (p > 63) {
      gl = (v / 128.0f) * (master / 128.0f);
      gr = ((127 - p) / 63.0f) * (v / 128.0f) * (master / 128.0f);
    } else {
      gl = (v / 128.0f) * (p / 63.0f) * (master / 128.0f);
      gr = (v / 128.0f) * (master / 128.0f);
    }
    GainRamp& g = gainRamps[ti];
    if (ramp <= 0 || !g.audible) {
      // A track just selected starts at its gain: a start on the 32-beat
      // grid stays exact, and an immediate change has its own fade.
      g.l = g.tl = gl;
      g.r = g.tr = gr;
      g.left = 0;
    } else if (gl != g.tl || gr != g.tr) {
      g.tl = gl;
      g.tr = gr;
      g.left = ramp;
      g.delay = delay;
      g.dl = (gl - g.l) / float(ramp);
      g.dr = (gr - g.r) / float(ramp);
    }
    // A muted track stays "audible": unmuting it fades in.
    g.audible = selected && ramp > 0;
    if (v == 0 && g.l == 0.0f && g.r == 0.0f && g.left == 0) continue;
    if (!selected && ramp <= 0) continue;
    FramePos loaded = t.loadedTo.load(std::memory_order_acquire);
    // Right after an immediate change, loop heads in memory play where the
    // ring is not loaded yet (or was cut past a head still playing); the
    // spans and loadedTo are read together under the lock.
    TRACK::HeadSpan hs[2];
    const bool heads = ramp > 0 && t.headsTo.load(std::memory_order_acquire) > T;
    if (heads) {
      TrackLockGuard lk(t.lock);
      hs[0] = t.heads[0];
      hs[1] = t.heads[1];
      loaded = t.loadedTo.load(std::memory_order_acquire);
    }
    FramePos covered = loaded;
    if (heads)
      for (const TRACK::HeadSpan& h : hs)
        if (h.frames && h.from <= covered && h.to > covered) covered = h.to;
    const bool streaming = t.idle.load(std::memory_order_relaxed) == 0;
    if (!selected) g.audible = g.left > 0 || g.delay > 0;  // fading out what the ring holds
    // Only frames below loadedTo belong to this lap of the ring; the rest
    // may be under the loader's pen.
    FramePos from = T;
    const FramePos mf = t.mixFrom.load(std::memory_order_relaxed);
    if (mf > from) from = mf;
    const FramePos end = T + count;
    // An underrun is a frame this track should play here that neither its
    // ring nor a head holds (the loader fell behind); frames before mixFrom
    // are not owed.
    const bool owed = selected && streaming && from < end;
    bool any = (covered < end ? covered : end) > from;
    // The ring may hold nothing here while a head begins inside the block
    // (a switch from a track whose ring had run dry): that head still plays
    // from its first frame.
    if (heads)
      for (const TRACK::HeadSpan& h : hs)
        if (h.frames && h.from < end && h.to > from) any = true;
    if (!any) {
      if (owed) TrackUnderruns.fetch_add(1);
      continue;
    }
    bool missing = false;
    const int R = t.ringFrames;
    const FramePos sw = t.switchAt.load(std::memory_order_acquire);
    const bool nearSwitch = ramp > 0 && sw - ramp < end && sw + ramp > from;
    int pkL = 0, pkR = 0;
    auto mixFrames = [&](const int16_t* src, FramePos pos, int frames) {
      float* L = floatOutL + (pos - T);
      float* Rb = floatOutR + (pos - T);
      for (int i = 0; i < frames; ++i) {
        const int l = src[2 * i], r = src[2 * i + 1];
        float el = g.l, er = g.r;
        if (g.delay > 0) {
          --g.delay;
        } else if (g.left > 0) {
          g.l += g.dl;
          g.r += g.dr;
          if (--g.left == 0) {
            g.l = g.tl;
            g.r = g.tr;
          }
        }
        if (nearSwitch) {
          // Out of the old loop and into the new one around the switch.
          const FramePos d = pos + i - sw;
          const FramePos a = d < 0 ? -d : d;
          if (a < ramp) {
            el *= float(a) / float(ramp);
            er *= float(a) / float(ramp);
          }
        }
        L[i] += float(l) * el;
        Rb[i] += float(r) * er;
        pkL = l > pkL ? l : pkL;
        pkR = r > pkR ? r : pkR;
      }
    };
    auto headAt = [](const TRACK::HeadSpan& h, FramePos pos) {
      return h.frames && pos >= h.from && pos < h.to;
    };
    for (FramePos pos = from; pos < end;) {
      FramePos stop = end;
      const int16_t* src = nullptr;
      if (heads && headAt(hs[0], pos)) {
        // The head of the change before the last: the ring there was cut.
        src = hs[0].frames + 2 * (hs[0].phase + (pos - hs[0].from));
        if (hs[0].to < stop) stop = hs[0].to;
      } else if (pos < loaded) {
        // The ring, in at most two pieces where it wraps round.
        const int at = int(pos % R);
        src = t.ring + 2 * at;
        if (loaded < stop) stop = loaded;
        if (pos + (R - at) < stop) stop = pos + (R - at);
        if (heads && hs[0].frames && hs[0].from > pos && hs[0].from < stop) stop = hs[0].from;
      } else if (heads && headAt(hs[1], pos)) {
        src = hs[1].frames + 2 * (hs[1].phase + (pos - hs[1].from));
        if (hs[1].to < stop) stop = hs[1].to;
      } else {
        // Nothing loaded here (an underrun): on to whatever comes next.
        missing = true;
        FramePos next = end;
        for (const TRACK::HeadSpan& h : hs)
          if (heads && h.frames && h.from > pos && h.from < next) next = h.from;
        pos = next;
        continue;
      }
      mixFrames(src, pos, int(stop - pos));
      pos = stop;
    }
    if (owed && missing) TrackUnderruns.fetch_add(1);
    if (!selected) continue;
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

  bool clipped = false;
  for (int i = 0; i < count; ++i) {
    const float l = floatOutL[i], r = floatOutR[i];
    clipped |= l > 32767.0f || l < -32767.0f || r > 32767.0f || r < -32767.0f;
    dst[2 * i] = l > 32767.0f ? 32767 : l < -32767.0f ? -32767 : int16_t(l);
    dst[2 * i + 1] = r > 32767.0f ? 32767 : r < -32767.0f ? -32767 : int16_t(r);
  }
  if (clipped) MasterClipBlocks.fetch_add(1, std::memory_order_relaxed);
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
  // Armed: nothing has played yet (a previous playback's end must not count
  // as cycles begun).
  TimeLine.store(0, std::memory_order_release);
  MixingTo.store(0);
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

std::atomic<int64_t> StartTimeLineAt{0};

int StartPlaybackTracks(const int* variants) {
  const FramePos asked = StartTimeLineAt.exchange(0);
  const FramePos from = asked > 0 ? asked : 0;
  TimeLine.store(from, std::memory_order_release);
  MixingTo.store(from);
  for (TRACK& t : Tracks) {
    t.mixFrom = from;
    t.loadedTo.store(from, std::memory_order_release);
  }
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
  // A live pull-mode output mixes in device buffers and fades; everything
  // else keeps the 2048-frame blocks and exact steps.
  const int device = wDBManualFeed() ? 0 : wDBDeviceFramesWanted();
  const int block = device > 0 && device < kMixBlock ? device : kMixBlock;
  MixBlockFrames = block;
  MixRampFrames = device > 0 ? SAMPFREQ / 200 : 0;
  ImmediateLeadFrames = device > 0 ? immediateLead(block) : 0;
  for (GainRamp& g : gainRamps) g = GainRamp();
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
  // The device may have granted another buffer size than asked, or only
  // the queued output.
  MMSysAudio* out = wDBInstance();
  if (device > 0 && out && !out->pullMode()) {
    MixBlockFrames = kMixBlock;
    MixRampFrames = 0;
    ImmediateLeadFrames = 0;
  } else if (device > 0 && out && out->deviceFrames() > 0 && out->deviceFrames() != block) {
    const int granted = out->deviceFrames() < kMixBlock ? out->deviceFrames() : kMixBlock;
    MixBlockFrames = granted;
    ImmediateLeadFrames = immediateLead(granted);
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
    // A device kept open from the last playback stays open (and silent).
    wDBStop();
    ResetResampler();
    PlayingStatus = 0;
    dowldproc = 0;
    return 0;
  }
  PauseLoader();
  // Silent from here on; a pull-mode device stays open for the next start
  // (wDBKeepOpen), anything else closes.
  wDBStop();
  if (!wDBIdleOpen()) wDBClose();
  wMidiStartStop(0);
  wMidiClose();
  CloseWaveFiles();
  FreeTracks();
  ResetResampler();
  PlayingStatus = 0;
  // No output reads a loop head now.
  JL_LoopHeadsRelease();
  return 0;
}

int ExitPlay() {
  StopPlay();
  wDBClose();
  JL_LoopHeadsForget();
  JL_LoopHeadsRelease();
  FreeSynth(&SynthSamps);
  StopLoaderThread(10000);
  return 1;
}
