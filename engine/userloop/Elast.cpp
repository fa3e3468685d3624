#include "engine/userloop/Elast.h"

#include <cmath>
#include <cstring>

#include "engine/AudioFormat.h"
#include "engine/JLLoopPrep.h"
#include "engine/Mixer.h"
#include "engine/record/SndInRec.h"

ELASTGLOBALDATA elastGlobalData = {};
ELASTRENDERDATA elastRenderData = {};
TrackLock elastLock;
int32_t ElastLoadLimitBytes = kElastMaxLoadBytes;

namespace {

float finiteOr(float v, float fallback) { return std::isfinite(v) ? v : fallback; }

float clampF(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

// Renders `count` frames whose first frame sits at `pos` within the cycle
// (the caller keeps the span inside one cycle). Caller holds elastLock.
void renderPiece(int64_t pos, int count, float* outL, float* outR) {
  ELASTRENDERDATA& r = elastRenderData;
  const float* wl = elastGlobalData.workLeft;
  const float* wr = elastGlobalData.workRight;
  int64_t src = int64_t(double(count) * double(r.rate));
  if (src < 1) src = 1;
  if (src > kElastWorkFrames) src = kElastWorkFrames;
  const int64_t start = int64_t(double(pos) * double(r.rate));
  r.srcCount = int32_t(src);
  r.srcStart = start > INT32_MAX ? INT32_MAX : int32_t(start);
  Elast_GetOrigFrames();
  const int64_t last = src - 1;
  for (int i = 0; i < count; ++i) {
    const int64_t p = int64_t(double(r.rate) * (i * 100.0));
    int64_t idx = p / 100;
    // Rounding may put the last frames one source frame past what the
    // block read; they hold the last one.
    if (idx >= last || i == count - 1) {
      if (idx > last) idx = last;
      outL[i] += wl[idx];
      outR[i] += wr[idx];
      continue;
    }
    const double frac = double(p % 100) * 0.01;
    outL[i] += float(wl[idx] + (wl[idx + 1] - wl[idx]) * frac);
    outR[i] += float(wr[idx] + (wr[idx + 1] - wr[idx]) * frac);
  }
}

}  // namespace

void Elast_Init() {
  elastRenderData.enabled = 0;
  float* l = elastGlobalData.workLeft;
  float* r = elastGlobalData.workRight;
  if (!l) l = static_cast<float*>(M_alloc(long(kElastWorkFrames) * sizeof(float)));
  if (!r) r = static_cast<float*>(M_alloc(long(kElastWorkFrames) * sizeof(float)));
  TrackLockGuard g(elastLock);
  elastGlobalData.workLeft = l;
  elastGlobalData.workRight = r;
  if (elastRenderData.bars < 1) elastRenderData.bars = 1;
  if (!(elastRenderData.rate >= kElastMinRate)) elastRenderData.rate = 1.0f;
}

void Elast_Exit() {
  elastRenderData.enabled = 0;
  ULTake_Abandon();
  float *l, *r;
  {
    TrackLockGuard g(elastLock);
    l = elastGlobalData.workLeft;
    r = elastGlobalData.workRight;
    elastGlobalData.workLeft = nullptr;
    elastGlobalData.workRight = nullptr;
  }
  M_free(l);
  M_free(r);
}

void Elast_Replace(int16_t* samples, int32_t frames, int16_t channels, bool recording) {
  elastRenderData.enabled = 0;
  int16_t* old;
  {
    TrackLockGuard g(elastLock);
    old = elastGlobalData.samples;
    elastGlobalData.samples = samples;
    elastGlobalData.channels = channels == 1 ? 1 : 2;
    elastGlobalData.frames = samples ? frames : 0;
    elastGlobalData.bytes = samples ? int32_t(int64_t(frames) * 2 * elastGlobalData.channels) : 0;
    // The region belongs to the old loop; the next settings set it again.
    elastGlobalData.loopStart = 0;
    elastGlobalData.loopEnd = 0;
    elastGlobalData.recording = recording ? 1 : 0;
  }
  M_free(old);
}

void Elast_EndTake(int32_t frames) {
  TrackLockGuard g(elastLock);
  if (frames < 0) frames = 0;
  if (frames > elastGlobalData.frames) frames = elastGlobalData.frames;
  elastGlobalData.frames = frames;
  elastGlobalData.bytes = frames * 4;
  elastGlobalData.recording = 0;
}

bool Elast_Load(const char* path) {
  // The store may be a take's buffer the capture device still writes.
  ULTake_Abandon();
  Elast_Replace(nullptr, 0, 2, false);
  if (!path) return false;
  // Read like every loop file (any layout, format and rate), at most what
  // the store may hold.
  int c = 2;
  int32_t frames = 0;
  int16_t* data = nullptr;
  for (int64_t limit = ElastLoadLimitBytes; limit > 0 && !data; limit /= 2) {
    int32_t fault = kWaveFine;
    data = JL_ReadWholeLoop(path, SAMPFREQ, INT32_MAX, limit, true, &c, &frames, &fault);
    // Only a failed allocation is worth a second, smaller try.
    if (!data && fault != kWaveFine) break;
  }
  if (!data) return false;
  Elast_Replace(data, frames, int16_t(c), false);
  return true;
}

void Elast_Params(const jlUserLoopSettingsRec* s) {
  if (!s) return;
  const int bars = s->bars < 1 ? 1 : s->bars > kElastMaxBars ? kElastMaxBars : s->bars;
  const float rate = clampF(finiteOr(s->rate, 1.0f), kElastMinRate, kElastMaxRate);
  const float phase = finiteOr(s->phase / float(bars), 0.0f);
  const float volume = clampF(finiteOr(s->volume, 0.0f), 0.0f, 1.0f);
  const float sp = clampF(finiteOr(s->startPercent, 0.0f), 0.0f, 100.0f);
  const float ep = clampF(finiteOr(s->endPercent, 0.0f), 0.0f, 100.0f);
  TrackLockGuard g(elastLock);
  elastRenderData.rate = rate;
  elastRenderData.phase = phase;
  elastRenderData.bars = bars;
  const int32_t frames = elastGlobalData.frames;
  elastGlobalData.loopStart = int32_t(double(frames) * sp * 0.01);
  elastGlobalData.loopEnd = int32_t(double(frames) * ep * 0.01);
  elastRenderData.volume = volume;
  const bool on = s->on && elastGlobalData.samples && !elastGlobalData.recording;
  elastRenderData.enabled = on ? 1 : 0;
}

void Elast_RenderToMixer() {
  TrackLockGuard g(elastLock);
  ELASTRENDERDATA& r = elastRenderData;
  const ELASTGLOBALDATA& gd = elastGlobalData;
  if (!r.enabled.load(std::memory_order_relaxed) || !gd.samples || gd.recording ||
      !gd.workLeft || !gd.workRight || !r.outLeft || !r.outRight)
    return;
  const int64_t cycle = int64_t(r.barFrames) * r.bars;
  int count = r.count;
  if (cycle <= 0 || count <= 0) return;
  if (count > kBusFrames) count = kBusFrames;
  // The block is cut where it crosses a cycle boundary, so the region
  // starts exactly at its place in every cycle instead of at the next
  // block boundary.
  // The offset is taken in whole frames, and the position modulo the cycle in
  // integers: in floating point a timeline of days loses frames, and a wild
  // phase would not convert at all.
  const double phase = std::isfinite(r.phase) ? std::fmod(double(r.phase), 1.0) : 0.0;
  const int64_t offset = int64_t(std::floor(double(cycle) * phase));
  const int64_t base = (r.timeline % cycle + offset % cycle + cycle) % cycle;
  int done = 0;
  while (done < count) {
    const int64_t pos = (base + done) % cycle;
    int n = count - done;
    if (cycle - pos < n) n = int(cycle - pos);
    renderPiece(pos, n, r.outLeft + done, r.outRight + done);
    done += n;
  }
}

void Elast_GetOrigFrames() {
  const ELASTRENDERDATA& r = elastRenderData;
  const ELASTGLOBALDATA& gd = elastGlobalData;
  const float g = r.gain * r.volume;
  const int64_t ls = gd.loopStart;
  const int64_t le = gd.loopEnd < gd.frames ? gd.loopEnd : gd.frames;
  const int ch = gd.channels == 1 ? 1 : 2;
  for (int j = 0; j < r.srcCount; ++j) {
    const int64_t q = ls + r.srcStart + j;
    if (q < ls || q >= le) {
      gd.workLeft[j] = 0.0f;
      gd.workRight[j] = 0.0f;
      continue;
    }
    const double factor = q < ls + 50 ? double(q - ls) * 0.02 : q > le - 50 ? double(le - q) * 0.02 : 1.0;
    const int16_t* s = gd.samples + q * ch;
    gd.workLeft[j] = float(s[0] * g * factor);
    gd.workRight[j] = float(s[ch - 1] * g * factor);
  }
}
