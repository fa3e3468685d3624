// The MIDI layer: clock ticks placed on the audio sample clock, transport
// messages at their song positions, the keyboard/control map, the queue
// between a port's thread and its consumer, and the ALSA backend looped
// back through a virtual port where a sequencer exists.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/midi/JLMidi.h"

namespace {

constexpr int kRate = 44100;

// Runs the clock over `seconds` of output in blocks of `block` frames,
// as the audio side calls it, and returns every event.
std::vector<JLMidiClock::Event> run(JLMidiClock& c, double bpm, int64_t from, int64_t frames, int block,
                                    int64_t latency) {
  std::vector<JLMidiClock::Event> all;
  JLMidiClock::Event ev[64];
  for (int64_t f = from; f < from + frames; f += block) {
    const int n = c.advance(f, block, bpm, latency, ev, 64);
    all.insert(all.end(), ev, ev + n);
  }
  return all;
}

TEST(MidiClock, TicksTwentyFourPerQuarterWithinOneMillisecondOfTheAudioClock) {
  for (double bpm : {90.0, 125.0, 162.5}) {
    SCOPED_TRACE(bpm);
    JLMidiClock c(kRate);
    const int64_t latency = 1234;  // output queue, frames
    c.start(0, 0.0, bpm);
    // An odd block size (60 s is 7056 of them), so ticks fall anywhere in a block.
    const std::vector<JLMidiClock::Event> ev = run(c, bpm, 0, 60 * kRate, 375, latency);
    ASSERT_GE(ev.size(), 2u);
    EXPECT_EQ(ev[0].message.bytes[0], 0xFA) << "Start first";
    EXPECT_EQ(ev[0].frame, latency);
    const double interval = 60.0 * kRate / (bpm * 24.0);
    int64_t ticks = 0;
    double worstMs = 0;
    for (size_t i = 1; i < ev.size(); ++i) {
      ASSERT_EQ(ev[i].message.bytes[0], 0xF8);
      const double ideal = latency + double(ticks) * interval;
      worstMs = std::max(worstMs, std::abs(double(ev[i].frame) - ideal) * 1000.0 / kRate);
      ++ticks;
    }
    // A minute of ticks, the first on the Start.
    EXPECT_EQ(ticks, int64_t(std::ceil(60.0 * bpm * 24.0 / 60.0 - 1e-9)));
    EXPECT_LT(worstMs, 1.0);
    EXPECT_LE(worstMs, 0.5 * 1000.0 / kRate + 1e-9) << "rounded to the nearest frame";
  }
}

TEST(MidiClock, StartElsewhereSendsSongPositionOnTheNextSixteenthThenContinue) {
  for (double bpm : {90.0, 125.0, 162.5}) {
    SCOPED_TRACE(bpm);
    JLMidiClock c(kRate);
    const double beat = 60.0 * kRate / bpm;
    // 10.1 beats in: the next 16th is 10.25 beats = 41 sixteenths.
    c.start(1000, 10.1, bpm);
    const std::vector<JLMidiClock::Event> ev = run(c, bpm, 1000, 2 * kRate, 512, 0);
    ASSERT_GE(ev.size(), 3u);
    const int64_t at = std::llround(1000 + 0.15 * beat);
    EXPECT_EQ(ev[0].message.bytes[0], 0xF2);
    EXPECT_EQ(ev[0].message.bytes[1] | (ev[0].message.bytes[2] << 7), 41);
    EXPECT_EQ(ev[0].frame, at);
    EXPECT_EQ(ev[1].message.bytes[0], 0xFB);
    EXPECT_EQ(ev[1].frame, at);
    EXPECT_EQ(ev[2].message.bytes[0], 0xF8);
    EXPECT_EQ(ev[2].frame, at);
    // Stop: no tick after the stop's frame.
    c.stop(3 * kRate);
    const std::vector<JLMidiClock::Event> tail = run(c, bpm, 2 * kRate + 1000, 2 * kRate, 512, 0);
    ASSERT_FALSE(tail.empty());
    EXPECT_EQ(tail[0].message.bytes[0], 0xFC);
    EXPECT_EQ(tail[0].frame, 3 * kRate);
    EXPECT_EQ(tail.size(), 1u);
  }
}

TEST(MidiClock, ATempoChangeSpacesTheFollowingTicksAtTheNewTempo) {
  JLMidiClock c(kRate);
  c.start(0, 0, 120.0);
  std::vector<JLMidiClock::Event> a = run(c, 120.0, 0, kRate, 441, 0);
  std::vector<JLMidiClock::Event> b = run(c, 150.0, kRate, kRate, 441, 0);
  ASSERT_GE(b.size(), 3u);
  EXPECT_EQ(a.size(), 1u + 48u);  // Start and two beats of ticks
  EXPECT_EQ(b[0].frame, kRate);   // 48 ticks of 918.75 frames end on frame 44100
  EXPECT_NEAR(double(b[2].frame - b[1].frame), 60.0 * kRate / (150.0 * 24.0), 1.0);
}

TEST(MidiMap, KeysPlayTheSynthAndBoundNotesAndControllersDriveTheTransport) {
  JLMidiMap map;
  map.play = 24;           // note C0
  map.stop = 128 + 20;     // controller 20
  map.tap = 128 + 21;
  map.mute[2] = 25;
  map.latch = 128 + 22;
  auto tr = [&](uint8_t a, uint8_t b, uint8_t c) {
    JLMidiMessage m;
    m.bytes[0] = a;
    m.bytes[1] = b;
    m.bytes[2] = c;
    m.size = a >= 0xF8 ? 1 : 3;
    return map.translate(m);
  };
  JLMidiAction a = tr(0x90, 36, 100);
  EXPECT_EQ(a.kind, JLMidiAction::noteOn);
  EXPECT_EQ(a.note, 0);
  EXPECT_EQ(a.velocity, 100);
  EXPECT_EQ(tr(0x93, 71, 1).note, 35);
  EXPECT_EQ(tr(0x90, 72, 100).kind, JLMidiAction::none) << "above the synth's range";
  EXPECT_EQ(tr(0x90, 40, 0).kind, JLMidiAction::noteOff) << "velocity 0 is a release";
  EXPECT_EQ(tr(0x80, 40, 64).kind, JLMidiAction::noteOff);
  a = tr(0xB0, 64, 127);
  EXPECT_EQ(a.kind, JLMidiAction::sustain);
  EXPECT_TRUE(a.on);
  EXPECT_FALSE(tr(0xB0, 64, 0).on);
  EXPECT_EQ(tr(0x90, 24, 90).kind, JLMidiAction::play);
  EXPECT_EQ(tr(0x80, 24, 0).kind, JLMidiAction::none) << "a bound key acts when pressed only";
  EXPECT_EQ(tr(0xB0, 20, 127).kind, JLMidiAction::stop);
  EXPECT_EQ(tr(0xB0, 20, 0).kind, JLMidiAction::none);
  EXPECT_EQ(tr(0xB0, 21, 127).kind, JLMidiAction::tapTempo);
  EXPECT_EQ(tr(0xB0, 22, 127).kind, JLMidiAction::latch);
  a = tr(0x90, 25, 10);
  EXPECT_EQ(a.kind, JLMidiAction::muteTrack);
  EXPECT_EQ(a.track, 2);
  EXPECT_EQ(tr(0xFA, 0, 0).kind, JLMidiAction::play);
  EXPECT_EQ(tr(0xFB, 0, 0).kind, JLMidiAction::proceed);
  EXPECT_EQ(tr(0xFC, 0, 0).kind, JLMidiAction::stop);
  EXPECT_EQ(tr(0xF8, 0, 0).kind, JLMidiAction::clockTick) << "for the clock in";
  EXPECT_EQ(tr(0xFE, 0, 0).kind, JLMidiAction::none);
  map.channel = 3;
  EXPECT_EQ(tr(0x90, 40, 100).kind, JLMidiAction::none) << "another channel";
  EXPECT_EQ(tr(0x93, 40, 100).kind, JLMidiAction::noteOn);
  EXPECT_FLOAT_EQ(JL_MidiVelocityGain(127), 1.0f);
  EXPECT_NEAR(JL_MidiVelocityGain(64), 0.254f, 0.001f);
}

TEST(MidiQueue, CarriesMessagesAcrossThreadsInOrderAndCountsWhatAFullQueueDrops) {
  JLFakeMidiPort port;
  JLMidiQueue q;
  port.setReceiver(&JLMidiQueue::receive, &q);
  port.inject({0x90, 60, 100});
  JLMidiMessage m;
  EXPECT_FALSE(q.pop(m)) << "a closed port delivers nothing";
  ASSERT_TRUE(port.open("Fake"));
  EXPECT_EQ(port.openName(), "Fake Keyboard");
  EXPECT_FALSE(JLFakeMidiPort().open("Other"));
  constexpr int kCount = 20000;
  std::thread producer([&] {
    for (int i = 0; i < kCount; ++i)
      while (!q.push(std::vector<uint8_t>{0x90, uint8_t(i & 0x7F), uint8_t((i >> 7) & 0x7F)}.data(), 3)) {
        std::this_thread::yield();
      }
  });
  int got = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (got < kCount && std::chrono::steady_clock::now() < deadline) {
    if (!q.pop(m)) continue;
    ASSERT_EQ(m.bytes[1] | (m.bytes[2] << 7), got & 0x3FFF);
    ++got;
  }
  producer.join();
  EXPECT_EQ(got, kCount);
  const uint8_t note[3] = {0x90, 1, 1};
  const uint32_t droppedBefore = q.dropped();  // the producer's retries above
  for (size_t i = 0; i < JLMidiQueue::kSize + 5; ++i) q.push(note, 3);
  EXPECT_EQ(q.dropped() - droppedBefore, 5u);
  EXPECT_FALSE(q.push(note, 0));
  const uint8_t sysex[4] = {0xF0, 1, 2, 0xF7};
  while (q.pop(m)) {
  }
  EXPECT_FALSE(q.push(sysex, 4));
}

// Whether this machine's ALSA sequencer can be used, and if not, why.
bool alsaSequencer(std::string* why) {
  struct stat st;
  if (stat("/dev/snd/seq", &st) != 0) {
    *why = "/dev/snd/seq does not exist here (no ALSA sequencer: kernel module snd-seq not loaded or no sound "
           "devices in this container)";
    return false;
  }
  const int fd = open("/dev/snd/seq", O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    *why = std::string("/dev/snd/seq cannot be opened: ") + strerror(errno);
    return false;
  }
  close(fd);
  return true;
}

// Waits (with a deadline) for the next message in the queue.
bool nextMessage(JLMidiQueue& q, JLMidiMessage& m) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!q.pop(m))
    if (std::chrono::steady_clock::now() > deadline) return false;
    else std::this_thread::yield();
  return true;
}

// The ALSA sequencer backend: an output port of this program connected to
// a virtual input port of its own; a message sent arrives.
TEST(MidiAlsa, AVirtualPortLoopsAMessageBack) {
  std::string why;
  if (!alsaSequencer(&why)) GTEST_SKIP() << "not run: " << why;
  JLRtMidiPort in(false), out(true);
  JLMidiQueue q;
  in.setReceiver(&JLMidiQueue::receive, &q);
  ASSERT_TRUE(in.openVirtual("Jamloom loop test")) << "the sequencer refused a virtual port";
  std::string name;
  for (const std::string& n : out.available())
    if (n.find("Jamloom loop test") != std::string::npos) name = n;
  ASSERT_FALSE(name.empty());
  ASSERT_TRUE(out.open(name));
  const uint8_t note[3] = {0x90, 60, 99};
  ASSERT_TRUE(out.send(note, 3));
  JLMidiMessage m;
  ASSERT_TRUE(nextMessage(q, m));
  EXPECT_EQ(m.size, 3);
  EXPECT_EQ(m.bytes[1], 60);
  EXPECT_EQ(m.bytes[2], 99);
}

// The input list leaves out the port the program sends its clock through
// (and its own input port), names that look alike stay: reading its own
// clock back would drive its tempo by itself.
TEST(MidiPorts, TheProgramsOwnDevicePortsAreKnownByName) {
  EXPECT_TRUE(JL_MidiIsOwnPort("Jamloom:Jamloom out 129:0"));
  EXPECT_TRUE(JL_MidiIsOwnPort("Jamloom:Jamloom in 130:0"));
  EXPECT_TRUE(JL_MidiIsOwnPort("Jamloom:Jamloom out"));
  EXPECT_FALSE(JL_MidiIsOwnPort("Jamloom:Jamloom outside 129:0"));
  EXPECT_FALSE(JL_MidiIsOwnPort("Jamloom:Jamloom test keys 129:0"));
  EXPECT_FALSE(JL_MidiIsOwnPort("Other:Jamloom out 20:0"));
  EXPECT_FALSE(JL_MidiIsOwnPort("Keystation 49:Keystation 49 MIDI 1 24:0"));
}

// With a sequencer: the clock out connected to a device, as the player
// connects it, is not among the inputs offered.
TEST(MidiAlsa, TheProgramsOwnDevicePortsAreNotOffered) {
  std::string why;
  if (!alsaSequencer(&why)) GTEST_SKIP() << "not run: " << why;
  // The clock out connected to a device, as the player does it.
  auto device = std::make_unique<JLRtMidiPort>(false);
  ASSERT_TRUE(device->openVirtual("Jamloom test synth")) << "the sequencer refused a virtual port";
  JLRtMidiPort clockOut(true);
  std::string target;
  for (const std::string& n : clockOut.available())
    if (n.find("Jamloom test synth") != std::string::npos) target = n;
  ASSERT_TRUE(clockOut.open(target));
  JLRtMidiPort lister(false);
  const std::vector<std::string> inputs = lister.available();
  for (const std::string& n : inputs) EXPECT_EQ(n.find(kJLMidiOutPort), std::string::npos) << n;
}

// A keyboard (a virtual output port of another sequencer client) chosen by
// its stored name: connected, gone when its client goes (unplugged), and
// connected again when a client offers a port of that name anew (under
// whatever numbers the sequencer now hands out).
TEST(MidiAlsa, TheChosenDeviceIsUsedAgainWhenItReappears) {
  std::string why;
  if (!alsaSequencer(&why)) GTEST_SKIP() << "not run: " << why;
  auto device = std::make_unique<JLRtMidiPort>(true);
  ASSERT_TRUE(device->openVirtual("Jamloom test keys")) << "the sequencer refused a virtual port";
  JLRtMidiPort in(false);
  JLMidiQueue q;
  in.setReceiver(&JLMidiQueue::receive, &q);
  std::string listed;
  for (const std::string& n : in.available())
    if (n.find("Jamloom test keys") != std::string::npos) listed = n;
  ASSERT_FALSE(listed.empty());
  const std::string stored = JL_MidiPortStableName(listed);
  EXPECT_EQ(stored.find_first_of("0123456789"), std::string::npos) << "no client or port numbers: " << stored;
  JLMidiConnection c(in);
  c.want(stored);
  ASSERT_TRUE(in.isOpen());
  const uint8_t first[3] = {0x90, 40, 1};
  ASSERT_TRUE(device->send(first, 3));
  JLMidiMessage m;
  ASSERT_TRUE(nextMessage(q, m));
  EXPECT_EQ(m.bytes[1], 40);
  device.reset();  // unplugged
  EXPECT_FALSE(c.poll());
  EXPECT_FALSE(in.isOpen());
  device = std::make_unique<JLRtMidiPort>(true);
  ASSERT_TRUE(device->openVirtual("Jamloom test keys"));
  EXPECT_TRUE(c.poll()) << "plugged in again";
  const uint8_t second[3] = {0x90, 41, 2};
  ASSERT_TRUE(device->send(second, 3));
  ASSERT_TRUE(nextMessage(q, m));
  EXPECT_EQ(m.bytes[1], 41);
}

}  // namespace

namespace {

TEST(MidiConnection, FollowsTheChosenDeviceAwayAndBack) {
  JLFakeMidiPort port;
  port.present = {"Other"};
  JLMidiConnection c(port);
  c.want("Keys 49");
  EXPECT_FALSE(port.isOpen()) << "not plugged in yet";
  port.present = {"Other", "Keys 49:0 20:0"};
  EXPECT_TRUE(c.poll());
  EXPECT_EQ(port.openName(), "Keys 49:0 20:0");
  EXPECT_EQ(c.closings(), 0u);
  port.present = {"Other"};
  EXPECT_FALSE(c.poll()) << "unplugged: closed";
  EXPECT_FALSE(port.isOpen());
  EXPECT_EQ(c.closings(), 1u) << "its keys are gone with it";
  c.want("Keys 49");
  EXPECT_EQ(c.closings(), 1u) << "nothing open to close";
  port.present = {"Keys 49:0 20:0"};
  EXPECT_TRUE(c.poll()) << "plugged in again";
  c.poll();
  EXPECT_EQ(c.closings(), 1u);
  c.want("");
  EXPECT_FALSE(port.isOpen());
  EXPECT_FALSE(c.poll());
  EXPECT_EQ(c.closings(), 2u);
}

}  // namespace

namespace {

// A device plugged in again may get other ALSA numbers: the stored choice
// leaves them out, and the connection still finds the port by it.
TEST(MidiConnection, TheStoredNameOutlivesNewAlsaNumbers) {
  EXPECT_EQ(JL_MidiPortStableName("Keystation 49:Keystation 49 MIDI 1 24:0"), "Keystation 49:Keystation 49 MIDI 1");
  EXPECT_EQ(JL_MidiPortStableName("Midi Through:Midi Through Port-0 14:0"), "Midi Through:Midi Through Port-0");
  EXPECT_EQ(JL_MidiPortStableName("Fake Keyboard"), "Fake Keyboard");
  EXPECT_EQ(JL_MidiPortStableName("Ends in 12:"), "Ends in 12:");
  EXPECT_EQ(JL_MidiPortStableName("Glued12:0"), "Glued12:0");
  EXPECT_EQ(JL_MidiPortStableName(" 1:2"), "");
  EXPECT_EQ(JL_MidiPortStableName(""), "");
  JLFakeMidiPort port;
  port.present = {"Keys:Keys MIDI 1 24:0"};
  JLMidiConnection c(port);
  c.want(JL_MidiPortStableName(port.present[0]));
  EXPECT_TRUE(port.isOpen());
  port.present = {};
  EXPECT_FALSE(c.poll());
  port.present = {"Keys:Keys MIDI 1 28:0"};
  EXPECT_TRUE(c.poll());
  EXPECT_EQ(port.openName(), "Keys:Keys MIDI 1 28:0");
}

}  // namespace

namespace {

// An outside clock's tempo from its ticks' arrival: a beat of ticks gives
// it, late ticks move it little, a pause begins the count again.
TEST(MidiClockIn, FollowsTheTempoOfTheTicksOverTheLastBeat) {
  JLMidiClockIn in;
  const double bpm = 128.5;
  const double tick = 60e9 / (bpm * 24);
  int64_t t = 1'000'000'000;
  for (int k = 0; k < 24; ++k) in.tick(t + int64_t(k * tick));
  EXPECT_EQ(in.bpm(), 0) << "less than a beat";
  in.tick(t + int64_t(24 * tick));
  EXPECT_NEAR(in.bpm(), bpm, 0.01);
  // One tick 2 ms late (a busy sender): the beat's average barely moves.
  in.tick(t + int64_t(25 * tick) + 2'000'000);
  EXPECT_NEAR(in.bpm(), bpm, 0.6);
  // A new tempo is followed within a beat.
  t += int64_t(25 * tick) + 2'000'000;  // from the late tick on
  for (int k = 1; k <= 24; ++k) in.tick(t + int64_t(k * 60e9 / (90.0 * 24)));
  EXPECT_NEAR(in.bpm(), 90.0, 0.01);
  // A pause: nothing until a whole beat again.
  t += 3'000'000'000LL;
  in.tick(t);
  EXPECT_EQ(in.bpm(), 0);
  // Ticks are translated with their arrival time; the queue stamps them.
  JLMidiQueue q;
  const uint8_t f8 = 0xF8;
  const int64_t before = JLMidiClockOut::steadyNs();
  ASSERT_TRUE(q.push(&f8, 1));
  JLMidiMessage m;
  ASSERT_TRUE(q.pop(m));
  EXPECT_GE(m.ns, before);
  const JLMidiAction a = JLMidiMap().translate(m);
  EXPECT_EQ(a.kind, JLMidiAction::clockTick);
  EXPECT_EQ(a.ns, m.ns);
}

}  // namespace
