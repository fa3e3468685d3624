// The live MIDI clock out: a schedule on the audio clock and the thread that
// sends it. See JLMidi.h.
#include <time.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "engine/midi/JLMidi.h"

namespace {

JLMidiMessage message(uint8_t a, int size = 1, uint8_t b = 0, uint8_t c = 0) { return JL_MidiMessage(a, size, b, c); }

std::atomic<JLMidiClockOut*> gTapped{nullptr};

// Longest the sender sleeps without looking at the audio clock: well
// under one device buffer, so a new block's events are queued in time.
constexpr int64_t kLookNs = 2'000'000;

// How much later than due a block may be handed out before it counts as
// a gap in the output rather than the scheduler's delay.
constexpr double kLateToleranceNs = 4e6;

}  // namespace

// ---- schedule ------------------------------------------------------------------

void JLMidiClockSchedule::queue(double out, JLMidiMessage m) {
  if (count_ >= kQueue) return;  // a sender stalled for seconds: the oldest stay
  queue_[(head_ + count_) % kQueue] = {out, m};
  ++count_;
}

double JLMidiClockSchedule::outOf(double pos) const {
  // Inside the last block: by its own tempo. Before it (blocks the sender
  // did not see): between the end of the previous one and this one.
  if (pos >= last_.from || last_.from <= prevEndPos_)
    return double(last_.outAt) + (pos - last_.from) * double(last_.frames) / (last_.to - last_.from);
  return prevEndOut_ + (pos - prevEndPos_) * (double(last_.outAt) - prevEndOut_) / (last_.from - prevEndPos_);
}

void JLMidiClockSchedule::stamp(const JLMidiAudioStamp& s, int64_t latencyFrames) {
  latencyNs_ = double(latencyFrames) * 1e9 / rate_;
  if (s.frames <= 0 || !(s.to > s.from) || s.beatFrames <= 0) return;
  if (!running_ || s.run != run_) {
    run_ = s.run;
    running_ = true;
    points_ = 0;
    tickStep_ = double(s.beatFrames) / 24.0;
    // The run's first block, even when the sender did not see it.
    prevEndPos_ = std::min(s.runFrom, s.from);
    prevEndOut_ = 0;
    last_ = s;
    if (prevEndPos_ < 0.5) {
      tickPos_ = prevEndPos_;
      queue(outOf(tickPos_), message(0xFA));
    } else {
      // Song position counts 16ths; the clock resumes on the next one.
      const double sixteenths = std::ceil(prevEndPos_ / s.beatFrames * 4.0 - 1e-9);
      tickPos_ = sixteenths / 4.0 * s.beatFrames;
      const int spp = int(sixteenths) & 0x3FFF;
      // Both leave where the first tick does (it may lie in a later block).
      pendingContinue_ = true;
      continueSpp_ = spp;
    }
  } else {
    prevEndPos_ = last_.to;
    prevEndOut_ = double(last_.outAt + last_.frames);
    last_ = s;
  }
  // The audio clock: where each block's first output frame was handed out.
  // A block later than the clock by more than a block's length means the
  // device ran dry (or the output stalled): what follows is heard that much
  // later, so the clock starts afresh from this block.
  if (points_ > 0 && double(s.timeNs) - heardNs(double(s.outAt)) + latencyNs_ >
                         double(s.frames) * 1e9 / rate_ + kLateToleranceNs)
    points_ = 0;
  points_ = std::min(points_ + 1, kWindow);
  ring_[ringAt_] = {double(s.outAt), double(s.timeNs)};
  ringAt_ = (ringAt_ + 1) % kWindow;
  fit();
  // Every tick whose position is mixed now.
  while (tickPos_ < s.to) {
    const double out = outOf(tickPos_);
    if (pendingContinue_) {
      queue(out, message(0xF2, 3, uint8_t(continueSpp_ & 0x7F), uint8_t(continueSpp_ >> 7)));
      queue(out, message(0xFB));
      pendingContinue_ = false;
    }
    queue(out, message(0xF8));
    tickPos_ += tickStep_;
  }
}

void JLMidiClockSchedule::fit() {
  // A line through the hand-out times (least squares, centred for
  // precision), then moved down onto the earliest of them: a callback is
  // never early, only late, so the lower edge is the device's clock.
  const int n = points_;
  const int first = (ringAt_ - n + kWindow) % kWindow;
  const double o0 = ring_[first].out, t0 = ring_[first].ns;
  double slope = 1e9 / rate_;
  if (n >= 8) {
    double so = 0, st = 0, soo = 0, sot = 0;
    for (int i = 0; i < n; ++i) {
      const Point& p = ring_[(first + i) % kWindow];
      const double o = p.out - o0, t = p.ns - t0;
      so += o;
      st += t;
      soo += o * o;
      sot += o * t;
    }
    const double d = n * soo - so * so;
    // A device clock within 5% of its nominal rate; anything else is a
    // stall, not a rate, and the nominal rate serves better.
    if (d > 0) {
      const double b = (n * sot - so * st) / d;
      if (std::fabs(b / slope - 1.0) < 0.05) slope = b;
    }
  }
  double offset = INFINITY;
  for (int i = 0; i < n; ++i) {
    const Point& p = ring_[(first + i) % kWindow];
    offset = std::min(offset, (p.ns - t0) - (p.out - o0) * slope);
  }
  lineOut_ = o0;
  lineNs_ = t0 + offset;
  nsPerOut_ = slope;
}

double JLMidiClockSchedule::heardNs(double out) const { return lineNs_ + (out - lineOut_) * nsPerOut_ + latencyNs_; }

void JLMidiClockSchedule::stop() {
  if (!running_) return;
  running_ = false;
  pendingContinue_ = false;
  // When the last mixed frame has been heard.
  queue(double(last_.outAt + last_.frames), message(0xFC));
}

int JLMidiClockSchedule::due(int64_t nowNs, Event* out, int max, int64_t* next) {
  int n = 0;
  while (count_ > 0 && n < max) {
    const Queued& q = queue_[head_];
    const double at = heardNs(q.out);
    if (at > double(nowNs)) break;
    out[n++] = {int64_t(std::llround(at)), q.message};
    head_ = (head_ + 1) % kQueue;
    --count_;
  }
  if (next) *next = count_ > 0 ? int64_t(std::llround(heardNs(queue_[head_].out))) : INT64_MAX;
  return n;
}

// ---- the sender ---------------------------------------------------------------------

int64_t JLMidiClockOut::steadyNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

JLMidiClockOut::JLMidiClockOut(int sampleRate) : rate_(sampleRate) {
  thread_ = std::thread([this] { loop(); });
  gTapped.store(this);
}

JLMidiClockOut::~JLMidiClockOut() {
  JLMidiClockOut* self = this;
  gTapped.compare_exchange_strong(self, nullptr);
  {
    std::lock_guard<std::mutex> g(wakeLock_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void JLMidiClockOut::setPort(JLMidiPort* port) {
  std::lock_guard<std::mutex> g(portLock_);
  port_ = port;
}

void JLMidiClockOut::tap(double from, double to, int frames, int32_t beatFrames) {
  if (!playing_.load(std::memory_order_acquire)) return;
  const uint32_t run = run_.load(std::memory_order_acquire);
  if (run != tapRun_) {
    tapRun_ = run;
    tapOut_ = 0;
    tapRunFrom_ = from;
  }
  const int64_t now = steadyNs();
  seq_.fetch_add(1, std::memory_order_acq_rel);  // odd: being written
  stTime_.store(now, std::memory_order_relaxed);
  stFrom_.store(from, std::memory_order_relaxed);
  stTo_.store(to, std::memory_order_relaxed);
  stFrames_.store(frames, std::memory_order_relaxed);
  stBeat_.store(beatFrames, std::memory_order_relaxed);
  stOut_.store(tapOut_, std::memory_order_relaxed);
  stRun_.store(run, std::memory_order_relaxed);
  stRunFrom_.store(tapRunFrom_, std::memory_order_relaxed);
  seq_.fetch_add(1, std::memory_order_release);
  tapOut_ += frames;
}

bool JLMidiClockOut::readStamp(JLMidiAudioStamp& s, uint32_t* seq) {
  for (int tries = 0; tries < 100; ++tries) {
    const uint32_t a = seq_.load(std::memory_order_acquire);
    if (a & 1) continue;
    s.timeNs = stTime_.load(std::memory_order_relaxed);
    s.from = stFrom_.load(std::memory_order_relaxed);
    s.to = stTo_.load(std::memory_order_relaxed);
    s.frames = stFrames_.load(std::memory_order_relaxed);
    s.beatFrames = stBeat_.load(std::memory_order_relaxed);
    s.outAt = stOut_.load(std::memory_order_relaxed);
    s.run = stRun_.load(std::memory_order_relaxed);
    s.runFrom = stRunFrom_.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (seq_.load(std::memory_order_relaxed) == a) {
      *seq = a;
      return a != 0;
    }
  }
  return false;
}

void JLMidiClockOut::transport(bool start) {
  if (start) {
    run_.fetch_add(1, std::memory_order_acq_rel);
    playing_.store(true, std::memory_order_release);
  } else {
    playing_.store(false, std::memory_order_release);
  }
  wake_.notify_all();
}

void JLMidiClockOut::loop() {
  JLMidiClockSchedule schedule(rate_);
  uint32_t seen = 0;
  JLMidiClockSchedule::Event ev[64];
  std::unique_lock<std::mutex> wait(wakeLock_);
  while (!quit_) {
    wait.unlock();
    auto take = [&] {
      JLMidiAudioStamp s;
      uint32_t seq = 0;
      if (readStamp(s, &seq) && seq != seen) {
        seen = seq;
        if (s.run == run_.load(std::memory_order_acquire)) {
          schedule.stamp(s, latency_.load());
          if (observer_) observer_(observerContext_, s);
        }
      }
    };
    if (playing_.load(std::memory_order_acquire)) {
      take();
    } else if (schedule.running()) {
      // Stopped: the output wrote its last stamp before saying so.
      take();
      schedule.stop();
    }
    int64_t next = INT64_MAX;
    for (;;) {
      const int n = schedule.due(steadyNs(), ev, 64, &next);
      if (n == 0) break;
      std::lock_guard<std::mutex> g(portLock_);
      for (int i = 0; i < n; ++i) {
        if (!port_ || !enabled_.load()) continue;
        if (port_->send(ev[i].message.bytes, ev[i].message.size)) sent_.fetch_add(1);
      }
    }
    const int64_t now = steadyNs();
    const int64_t until = std::min(next, now + kLookNs);
    wait.lock();
    if (quit_) break;
    if (until > now)
      wake_.wait_for(wait, std::chrono::nanoseconds(until - now));
  }
}

void JL_MidiClockTap(double from, double to, int frames, int32_t beatFrames) {
  if (JLMidiClockOut* c = gTapped.load(std::memory_order_acquire)) c->tap(from, to, frames, beatFrames);
}

void JL_MidiClockTransport(bool start) {
  if (JLMidiClockOut* c = gTapped.load(std::memory_order_acquire)) c->transport(start);
}
