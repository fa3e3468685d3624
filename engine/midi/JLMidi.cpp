#include "engine/midi/JLMidi.h"

#include <cmath>
#include <cstring>

// ---- fake port -------------------------------------------------------------------

bool JLFakeMidiPort::open(const std::string& name) {
  for (const std::string& p : present)
    if (!name.empty() && p.compare(0, name.size(), name) == 0) {
      open_ = p;
      return true;
    }
  return false;
}

bool JLFakeMidiPort::send(const uint8_t* bytes, size_t size) {
  if (open_.empty() || !bytes || !size) return false;
  sentMessages.emplace_back(bytes, bytes + size);
  return true;
}

void JLFakeMidiPort::inject(std::initializer_list<uint8_t> bytes) { injectAt(0, bytes); }

void JLFakeMidiPort::injectAt(int64_t ns, std::initializer_list<uint8_t> bytes) {
  if (!open_.empty() && receiver_) receiver_(context_, bytes.begin(), bytes.size(), ns);
}

// ---- queue ------------------------------------------------------------------------

bool JLMidiQueue::push(const uint8_t* bytes, size_t size, int64_t ns) {
  // Longer messages (system exclusive) are not for this program.
  if (!bytes || size == 0 || size > 3) return false;
  const size_t h = head_.load(std::memory_order_relaxed);
  if (h - tail_.load(std::memory_order_acquire) >= kSize) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  JLMidiMessage& m = ring_[h & (kSize - 1)];
  memcpy(m.bytes, bytes, size);
  m.size = uint8_t(size);
  // The clock in needs each tick's arrival, not when the queue is read.
  m.ns = ns ? ns : JLMidiClockOut::steadyNs();
  head_.store(h + 1, std::memory_order_release);
  return true;
}

bool JLMidiQueue::pop(JLMidiMessage& m) {
  const size_t t = tail_.load(std::memory_order_relaxed);
  if (t == head_.load(std::memory_order_acquire)) return false;
  m = ring_[t & (kSize - 1)];
  tail_.store(t + 1, std::memory_order_release);
  return true;
}

void JLMidiQueue::receive(void* queue, const uint8_t* bytes, size_t size, int64_t ns) {
  static_cast<JLMidiQueue*>(queue)->push(bytes, size, ns);
}

// ---- map ----------------------------------------------------------------------------

float JL_MidiVelocityGain(uint8_t velocity) {
  const float v = float(velocity > 127 ? 127 : velocity) / 127.0f;
  return v * v;
}

JLMidiAction JLMidiMap::translate(const JLMidiMessage& m) const {
  JLMidiAction a;
  if (m.size == 0) return a;
  const uint8_t status = m.bytes[0];
  switch (status) {
    case 0xFA: a.kind = JLMidiAction::play; return a;
    case 0xFB: a.kind = JLMidiAction::proceed; return a;
    case 0xFC: a.kind = JLMidiAction::stop; return a;
    case 0xF8:
      a.kind = JLMidiAction::clockTick;
      a.ns = m.ns;
      return a;
    default: break;
  }
  if (status < 0x80 || status >= 0xF0 || m.size < 3) return a;
  if (channel >= 0 && (status & 0x0F) != channel) return a;
  const uint8_t kind = status & 0xF0;
  const uint8_t data = m.bytes[1] & 0x7F, value = m.bytes[2] & 0x7F;
  int16_t binding = -1;
  bool pressed = false;
  if (kind == 0x90 && value > 0) {
    binding = data;
    pressed = true;
  } else if (kind == 0x80 || kind == 0x90) {
    binding = data;
  } else if (kind == 0xB0) {
    if (data == 64) {  // sustain pedal
      a.kind = JLMidiAction::sustain;
      a.on = value >= 64;
      return a;
    }
    binding = int16_t(128 + data);
    pressed = value >= 64;
  } else {
    return a;
  }
  // A bound note or controller acts once, when pressed.
  auto bound = [&](int16_t b) { return b >= 0 && b == binding; };
  const bool isBound = bound(play) || bound(stop) || bound(tap) || bound(latch) ||
                       [&] {
                         for (int16_t b : mute)
                           if (bound(b)) return true;
                         return false;
                       }();
  if (isBound) {
    if (!pressed) return a;
    if (bound(play)) a.kind = JLMidiAction::play;
    else if (bound(stop)) a.kind = JLMidiAction::stop;
    else if (bound(tap)) a.kind = JLMidiAction::tapTempo;
    else if (bound(latch)) a.kind = JLMidiAction::latch;
    else
      for (int8_t t = 0; t < 8; ++t)
        if (bound(mute[t])) {
          a.kind = JLMidiAction::muteTrack;
          a.track = t;
        }
    return a;
  }
  if (binding >= 128 || data < kLowestNote || data >= kLowestNote + 36) return a;
  a.note = int8_t(data - kLowestNote);
  a.kind = pressed ? JLMidiAction::noteOn : JLMidiAction::noteOff;
  a.velocity = pressed ? value : 0;
  return a;
}

// ---- clock ----------------------------------------------------------------------------

JLMidiMessage JL_MidiMessage(uint8_t a, int size, uint8_t b, uint8_t c) {
  JLMidiMessage m;
  m.bytes[0] = a;
  m.bytes[1] = b;
  m.bytes[2] = c;
  m.size = uint8_t(size);
  return m;
}

namespace {
JLMidiMessage msg(uint8_t a, int size = 1, uint8_t b = 0, uint8_t c = 0) { return JL_MidiMessage(a, size, b, c); }
}  // namespace

void JLMidiClock::start(int64_t frame, double beats, double bpm) {
  pending_ = 0;
  if (!(bpm > 0)) return;
  if (beats < 0) beats = 0;
  // Song position counts 16ths; the clock resumes on the next 16th, so a
  // start between two of them waits for the next one.
  const double sixteenths = std::ceil(beats * 4.0 - 1e-9);
  const double frameOfPosition = double(frame) + (sixteenths / 4.0 - beats) * 60.0 * rate_ / bpm;
  const int64_t at = int64_t(std::llround(frameOfPosition));
  if (sixteenths <= 0) {
    queued_[pending_++] = {at, msg(0xFA)};
  } else {
    const int spp = int(sixteenths) & 0x3FFF;
    queued_[pending_++] = {at, msg(0xF2, 3, uint8_t(spp & 0x7F), uint8_t(spp >> 7))};
    queued_[pending_++] = {at, msg(0xFB)};
  }
  tickBase_ = frameOfPosition;
  tickCount_ = 0;
  interval_ = 60.0 * rate_ / (bpm * 24.0);
  running_ = true;
}

void JLMidiClock::stop(int64_t frame) {
  if (!running_) return;
  running_ = false;
  if (pending_ < 3) queued_[pending_++] = {frame, msg(0xFC)};
}

int JLMidiClock::advance(int64_t frame, int frames, double bpm, int64_t latencyFrames, Event* out, int max) {
  int n = 0;
  const int64_t end = frame + frames;
  // Transport messages first: a tick at the same frame follows its Start.
  int kept = 0;
  for (int i = 0; i < pending_; ++i) {
    if (queued_[i].frame < end && n < max) {
      out[n] = queued_[i];
      out[n++].frame += latencyFrames;
    } else {
      queued_[kept++] = queued_[i];
    }
  }
  pending_ = kept;
  if (!running_ || !(bpm > 0) || frames <= 0) return n;
  const double interval = 60.0 * rate_ / (bpm * 24.0);
  if (interval != interval_) {
    // A new tempo spaces the ticks from the next one on; each tick is
    // counted from that point, so no rounding piles up.
    tickBase_ += double(tickCount_) * interval_;
    tickCount_ = 0;
    interval_ = interval;
  }
  for (;;) {
    const double next = tickBase_ + double(tickCount_) * interval_;
    if (next >= double(end) || n >= max) break;
    const int64_t at = int64_t(std::llround(next));
    if (at >= frame) out[n++] = {at + latencyFrames, msg(0xF8)};
    ++tickCount_;
  }
  return n;
}

std::string JL_MidiPortStableName(const std::string& name) {
  // " <digits>:<digits>" at the very end.
  size_t i = name.size();
  auto digits = [&](size_t& at) {
    const size_t end = at;
    while (at > 0 && name[at - 1] >= '0' && name[at - 1] <= '9') --at;
    return at < end;
  };
  if (!digits(i) || i == 0 || name[i - 1] != ':') return name;
  --i;
  if (!digits(i) || i == 0 || name[i - 1] != ' ') return name;
  return name.substr(0, i - 1);
}

bool JL_MidiIsOwnPort(const std::string& name) {
  const std::string port = JL_MidiPortStableName(name);
  return port == kJLMidiClient + std::string(":") + kJLMidiInPort ||
         port == kJLMidiClient + std::string(":") + kJLMidiOutPort;
}

// ---- clock in --------------------------------------------------------------------------

void JLMidiClockIn::tick(int64_t ns) {
  if (count_ > 0 && (ns - times_[(at_ + kTicks - 1) % kTicks] > 500'000'000 || ns < times_[(at_ + kTicks - 1) % kTicks]))
    count_ = 0;
  times_[at_] = ns;
  at_ = (at_ + 1) % kTicks;
  if (count_ < kTicks) ++count_;
}

double JLMidiClockIn::bpm() const {
  if (count_ < kTicks) return 0;
  const int64_t first = times_[at_], last = times_[(at_ + kTicks - 1) % kTicks];
  if (last <= first) return 0;
  // 24 intervals are one beat.
  return 60e9 / double(last - first);
}

// ---- connection -------------------------------------------------------------------------

void JLMidiConnection::want(const std::string& name) {
  if (name == wanted_) return;
  wanted_ = name;
  close();
  poll();
}

void JLMidiConnection::close() {
  if (port_.isOpen()) ++closings_;
  port_.close();
}

bool JLMidiConnection::poll() {
  if (wanted_.empty()) return false;
  const std::vector<std::string> present = port_.available();
  auto offered = [&](const std::string& n) {
    for (const std::string& p : present)
      if (p.compare(0, n.size(), n) == 0) return true;
    return false;
  };
  if (port_.isOpen() && !offered(port_.openName())) close();  // unplugged
  if (!port_.isOpen() && offered(wanted_)) port_.open(wanted_);
  return port_.isOpen();
}
