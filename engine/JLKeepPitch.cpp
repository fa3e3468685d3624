#include "engine/JLKeepPitch.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>

namespace {

using RubberBand::RubberBandStretcher;

constexpr int kChunk = 4096;
// Frames over which a stretched loop's continuation is blended into its
// start (about 6 ms): long enough to hide any step, short enough to keep
// the attack of a beat on the loop's first frame.
constexpr int kJoinFrames = 256;

int16_t toSample(float v) {
  if (!(v > -32768.0f)) return v == v ? -32768 : 0;
  if (v >= 32767.0f) return 32767;
  return int16_t(std::lrint(v));
}

// Feeds frames [from, to) of `in` in chunks to study or process.
template <typename F>
void feed(const int16_t* in, int64_t frames, F step) {
  std::vector<float> l(kChunk), r(kChunk);
  for (int64_t at = 0; at < frames; at += kChunk) {
    const int n = int(std::min<int64_t>(kChunk, frames - at));
    for (int i = 0; i < n; ++i) {
      l[size_t(i)] = in[2 * (at + i)];
      r[size_t(i)] = in[2 * (at + i) + 1];
    }
    const float* ch[2] = {l.data(), r.data()};
    step(ch, n, at + n >= frames);
  }
}

void drain(RubberBandStretcher& rb, std::vector<float>& l, std::vector<float>& r) {
  for (;;) {
    const int avail = rb.available();
    if (avail <= 0) return;
    const size_t at = l.size();
    l.resize(at + size_t(avail));
    r.resize(at + size_t(avail));
    float* ch[2] = {l.data() + at, r.data() + at};
    const size_t got = rb.retrieve(ch, size_t(avail));
    l.resize(at + got);
    r.resize(at + got);
  }
}

bool stretchFloat(const int16_t* in, int64_t frames, int64_t outFrames, int rate, std::vector<float>& l,
                  std::vector<float>& r, double pitch = 1.0, const std::function<bool()>& cancelled = {}) {
  l.clear();
  r.clear();
  if (!in || frames <= 0 || outFrames <= 0 || rate <= 0) return false;
  RubberBandStretcher rb(size_t(rate), 2,
                         RubberBandStretcher::OptionProcessOffline | RubberBandStretcher::OptionEngineFiner |
                             RubberBandStretcher::OptionChannelsTogether,
                         double(outFrames) / double(frames), pitch);
  rb.setExpectedInputDuration(size_t(frames));
  rb.setMaxProcessSize(kChunk);
  bool stop = false;
  feed(in, frames, [&](const float* const* ch, int n, bool last) {
    if (stop || (cancelled && (stop = cancelled()))) return;
    rb.study(ch, size_t(n), last);
  });
  feed(in, frames, [&](const float* const* ch, int n, bool last) {
    if (stop || (cancelled && (stop = cancelled()))) return;
    rb.process(ch, size_t(n), last);
    drain(rb, l, r);
  });
  if (stop) {
    l.clear();
    r.clear();
    return false;
  }
  while (rb.available() >= 0 && int64_t(l.size()) < outFrames) {
    const size_t before = l.size();
    drain(rb, l, r);
    if (l.size() == before) break;
  }
  // The stretcher aims at the ratio; the length is made exact here.
  l.resize(size_t(outFrames), 0.0f);
  r.resize(size_t(outFrames), 0.0f);
  return true;
}

// The `frames` frames from `from` of a stretched stream of a loop heard
// repeated, as a loop: what follows its end in the stream fades into its
// start, so the end runs on into the start as it would have. The
// stretcher moves the phases of partials, so a loop at full scale can peak
// above it (a square by several dB): such a loop is turned down to just
// fit 16 bits rather than clipped, as the resampled loop would not be.
void joinedLoop(const std::vector<float>& l, const std::vector<float>& r, int64_t from, int64_t frames,
                std::vector<int16_t>& out) {
  const int64_t join = std::min<int64_t>(kJoinFrames, frames);
  std::vector<float> mixed(size_t(2 * frames));
  float peak = 0;
  for (int64_t i = 0; i < frames; ++i) {
    float a = l[size_t(from + i)], b = r[size_t(from + i)];
    if (i < join) {
      const float g = float(i + 1) / float(join + 1);
      a = g * a + (1 - g) * l[size_t(from + frames + i)];
      b = g * b + (1 - g) * r[size_t(from + frames + i)];
    }
    mixed[size_t(2 * i)] = a;
    mixed[size_t(2 * i + 1)] = b;
    peak = std::max(peak, std::max(std::fabs(a), std::fabs(b)));
  }
  const float gain = peak > 32767.0f ? 32767.0f / peak : 1.0f;
  out.resize(size_t(2 * frames));
  for (size_t i = 0; i < mixed.size(); ++i) out[i] = toSample(mixed[i] * gain);
}

}  // namespace

bool JL_StretchKeepPitch(const int16_t* in, int64_t frames, int64_t outFrames, std::vector<int16_t>& out, int rate) {
  out.clear();
  std::vector<float> l, r;
  if (!stretchFloat(in, frames, outFrames, rate, l, r)) return false;
  out.resize(size_t(2 * outFrames));
  for (int64_t i = 0; i < outFrames; ++i) {
    out[size_t(2 * i)] = toSample(l[size_t(i)]);
    out[size_t(2 * i + 1)] = toSample(r[size_t(i)]);
  }
  return true;
}

bool JL_StretchLoop(const int16_t* in, int64_t frames, int64_t outFrames, std::vector<int16_t>& out, int rate) {
  out.clear();
  if (!in || frames <= 0 || outFrames <= 0 || rate <= 0) return false;
  // Enough repetitions either side that the middle one is stretched with a
  // full second of the loop's own sound around it.
  const int64_t side = std::max<int64_t>(1, (rate + frames - 1) / frames);
  const int64_t reps = 2 * side + 1;
  if (reps * std::max(frames, outFrames) > int64_t(1) << 31) return false;
  std::vector<int16_t> rep(size_t(2 * frames * reps));
  for (int64_t k = 0; k < reps; ++k) std::copy(in, in + 2 * frames, rep.begin() + 2 * k * frames);
  std::vector<float> l, r;
  if (!stretchFloat(rep.data(), frames * reps, outFrames * reps, rate, l, r)) return false;
  joinedLoop(l, r, side * outFrames, outFrames, out);
  return true;
}

bool JL_PitchLoop(const int16_t* in, int64_t frames, double pitch, std::vector<int16_t>& out, int rate,
                  const std::function<bool()>& cancelled) {
  out.clear();
  if (!in || frames <= 0 || rate <= 0 || !(pitch >= kPitchLoopLowest && pitch <= kPitchLoopHighest)) return false;
  // A second of context either side, the loop repeated as far as needed.
  // At a time ratio of 1 the stretcher keeps every frame where it was, so
  // the loop is exactly the frames from `side` on.
  const int64_t side = std::max<int64_t>(rate, kJoinFrames);
  const int64_t total = frames + 2 * side;
  if (total > int64_t(1) << 31) return false;
  std::vector<int16_t> rep(size_t(2 * total));
  const int64_t phase = (frames - side % frames) % frames;
  for (int64_t i = 0; i < total; ++i) {
    const int64_t k = (phase + i) % frames;
    rep[size_t(2 * i)] = in[2 * k];
    rep[size_t(2 * i + 1)] = in[2 * k + 1];
  }
  std::vector<float> l, r;
  if (!stretchFloat(rep.data(), total, total, rate, l, r, pitch, cancelled)) return false;
  joinedLoop(l, r, side, frames, out);
  return true;
}
