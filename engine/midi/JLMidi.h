// The MIDI layer: a port interface (the program's ALSA sequencer ports
// through RtMidi, or a fake one in tests), a lock-free queue that carries
// incoming messages from the port's thread to their consumer, the mapping
// of incoming messages to synth notes and transport actions, and the MIDI
// clock generator that places clock ticks on the audio sample clock.
//
// Threads: a port calls its receiver on its own thread (RtMidi's, or the
// caller of JLFakeMidiPort::inject); the receiver only pushes into a
// JLMidiQueue, which never blocks or allocates. JLMidiClock is plain
// arithmetic, safe to run on the audio thread. JLMidiMap and the port
// functions run on the user-interface thread.
// Failures: open() false (port unknown or the system refuses), send()
// false (port closed); a full queue drops the newest message and counts it.
#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct JLMidiMessage {
  uint8_t bytes[3] = {0, 0, 0};
  uint8_t size = 0;
  int64_t ns = 0;  // steady clock when a port delivered it (0: not stamped)
};

// A message of `size` bytes (1..3).
JLMidiMessage JL_MidiMessage(uint8_t a, int size, uint8_t b = 0, uint8_t c = 0);

// Called on the port's thread for every complete message it receives,
// with the steady-clock time it arrived (0: now, the receiver stamps it).
using JLMidiReceiver = void (*)(void* context, const uint8_t* bytes, size_t size, int64_t ns);

class JLMidiPort {
 public:
  virtual ~JLMidiPort() = default;
  // Port names the system offers now (inputs for an input port, outputs for
  // an output port).
  virtual std::vector<std::string> available() = 0;
  // Connects to the first offered port whose name starts with `name`.
  virtual bool open(const std::string& name) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;
  virtual std::string openName() const = 0;
  virtual bool send(const uint8_t* bytes, size_t size) = 0;
  virtual void setReceiver(JLMidiReceiver receiver, void* context) = 0;
};

// A port in memory: inject() delivers a message as if a device sent it;
// sent() lists what was sent. `present` lists the names open() finds.
class JLFakeMidiPort : public JLMidiPort {
 public:
  std::vector<std::string> present{"Fake Keyboard"};
  std::vector<std::vector<uint8_t>> sentMessages;
  std::vector<std::string> available() override { return present; }
  bool open(const std::string& name) override;
  void close() override { open_.clear(); }
  bool isOpen() const override { return !open_.empty(); }
  std::string openName() const override { return open_; }
  bool send(const uint8_t* bytes, size_t size) override;
  void setReceiver(JLMidiReceiver receiver, void* context) override {
    receiver_ = receiver;
    context_ = context;
  }
  // Delivered only while open, like a device's messages; arriving now, or
  // at steady-clock time `ns` (an outside clock's ticks at exact spacing).
  void inject(std::initializer_list<uint8_t> bytes);
  void injectAt(int64_t ns, std::initializer_list<uint8_t> bytes);

 private:
  std::string open_;
  JLMidiReceiver receiver_ = nullptr;
  void* context_ = nullptr;
};

// The names this program's ALSA client and its device ports carry.
constexpr char kJLMidiClient[] = "Jamloom";
constexpr char kJLMidiInPort[] = "Jamloom in";
constexpr char kJLMidiOutPort[] = "Jamloom out";

// The ALSA sequencer through RtMidi. `output` chooses the direction.
// available() leaves out the program's own device ports (JL_MidiIsOwnPort).
// Nothing is opened until open(); an ALSA sequencer that cannot be reached
// makes available() empty and open() false.
class JLRtMidiPort : public JLMidiPort {
 public:
  explicit JLRtMidiPort(bool output);
  ~JLRtMidiPort() override;
  std::vector<std::string> available() override;
  bool open(const std::string& name) override;
  // A port of this program's own that other programs connect to.
  bool openVirtual(const std::string& name);
  void close() override;
  bool isOpen() const override;
  std::string openName() const override { return openName_; }
  bool send(const uint8_t* bytes, size_t size) override;
  void setReceiver(JLMidiReceiver receiver, void* context) override;

 private:
  static void onMessage(double, std::vector<unsigned char>* message, void* self);
  bool ensure();
  // Every port RtMidi numbers, in its order.
  std::vector<std::string> allPorts();
  bool output_;
  void* api_ = nullptr;  // RtMidiIn or RtMidiOut
  std::string openName_;
  JLMidiReceiver receiver_ = nullptr;
  void* context_ = nullptr;
};

// Single producer, single consumer; never blocks, never allocates.
class JLMidiQueue {
 public:
  static constexpr size_t kSize = 256;  // a power of two
  // `ns`: when it arrived (steady clock); 0 stamps it now.
  bool push(const uint8_t* bytes, size_t size, int64_t ns = 0);
  bool pop(JLMidiMessage& m);
  uint32_t dropped() const { return dropped_.load(std::memory_order_relaxed); }
  // A receiver that pushes into the queue given as context.
  static void receive(void* queue, const uint8_t* bytes, size_t size, int64_t ns);

 private:
  std::array<JLMidiMessage, kSize> ring_{};
  std::atomic<size_t> head_{0}, tail_{0};
  std::atomic<uint32_t> dropped_{0};
};

// What an incoming message asks for.
struct JLMidiAction {
  // holdNote/releaseNote: a key for the running arpeggio (JLEngine::
  // midi_setKeysToArp), handed back instead of sounding by itself.
  enum Kind : uint8_t {
    none, noteOn, noteOff, sustain, play, stop, proceed, tapTempo, muteTrack, latch, clockTick, holdNote, releaseNote
  };
  Kind kind = none;
  int8_t note = -1;       // synth note index 0..35 for noteOn/noteOff
  uint8_t velocity = 0;   // noteOn: 1..127
  int8_t track = -1;      // muteTrack: 0..7
  bool on = false;        // sustain: pedal down
  int64_t ns = 0;         // clockTick: when it arrived (steady clock)
};

// MIDI clock in: the tempo of an outside clock from the arrival times of
// its ticks, averaged over the last beat (24 ticks), so one late tick
// moves it little. A pause of more than half a second, or a Start, begins
// the count again. User-interface thread.
class JLMidiClockIn {
 public:
  void tick(int64_t ns);
  void restart() { count_ = 0; }
  // Beats per minute, 0 until a whole beat of ticks has arrived.
  double bpm() const;

 private:
  static constexpr int kTicks = 25;  // a beat's 24 intervals
  int64_t times_[kTicks] = {};
  int count_ = 0, at_ = 0;
};

// The keyboard and control map. Notes 36..71 (C2..B4) play the synth's 36
// notes; a note or controller may instead be bound to play, stop, tap
// tempo or a track's mute (each binding: a note number, or 128 + a
// controller number, -1 unbound). Realtime start/stop/continue map to
// play/stop/continue, and clock ticks to clockTick with their time.
// `channel` -1 listens to all channels.
struct JLMidiMap {
  static constexpr int kLowestNote = 36;
  int8_t channel = -1;
  int16_t play = -1, stop = -1, tap = -1;
  int16_t mute[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  int16_t latch = -1;  // toggles latching synth notes into the arpeggio
  JLMidiAction translate(const JLMidiMessage& m) const;
};

// Velocity 1..127 as the note's gain (0..1): squared, as keyboards feel.
float JL_MidiVelocityGain(uint8_t velocity);

// MIDI clock out on the audio sample clock. The audio side tells it every
// block it hands to the output (frame position and length) together with
// the tempo heard; it emits each tick, start, stop, continue and song
// position at the output frame where it is due, plus the output latency,
// i.e. at the frame where the matching sound is heard. The sender turns a
// frame into a wall-clock time by the same audio clock.
class JLMidiClock {
 public:
  struct Event {
    int64_t frame;  // output frame at which it must leave
    JLMidiMessage message;
  };
  explicit JLMidiClock(int sampleRate = 44100) : rate_(sampleRate) {}
  // Transport, at output frame `frame` (before latency). `beats` is the
  // song position in quarter notes; a start from 0 sends Start, from
  // elsewhere Song Position (16ths) then Continue.
  void start(int64_t frame, double beats, double bpm);
  void stop(int64_t frame);
  bool running() const { return running_; }
  // A block of `frames` output frames from `frame` at tempo `bpm`: the
  // events due in it, appended to `out` (at most `max`). Returns the count.
  int advance(int64_t frame, int frames, double bpm, int64_t latencyFrames, Event* out, int max);
  // Start/stop messages waiting for the next advance().
  int pendingCount() const { return pending_; }

 private:
  int rate_;
  bool running_ = false;
  double tickBase_ = 0;   // output frame of the first tick at this tempo
  int64_t tickCount_ = 0;  // ticks since then
  double interval_ = 0;    // frames per tick
  Event queued_[3];
  int pending_ = 0;
};

// The part of a port's name that stays when its device is plugged in
// again: ALSA's names end in the client and port numbers ("Keystation
// 49:Keystation 49 MIDI 1 24:0"), which the system may hand out anew, so
// the numbers are left out of the stored choice; the connection finds the
// port by the start of its name.
std::string JL_MidiPortStableName(const std::string& name);

// Whether a port the sequencer lists is one this program made to reach a
// device (the "Jamloom in" and "Jamloom out" ports of the ALSA client
// "Jamloom"): choosing it would connect the program to itself, e.g. read
// its own clock out as an outside clock. Virtual ports of other names stay.
bool JL_MidiIsOwnPort(const std::string& name);

// Keeps a port connected to the port the user chose, by name: poll() (the
// user-interface thread, about once a second) connects it when a port of
// that name is present, and notices when it went away, so a device that is
// unplugged and plugged in again is used again without the user's help.
class JLMidiConnection {
 public:
  explicit JLMidiConnection(JLMidiPort& port) : port_(port) {}
  // The chosen name ("" = none: closes the port).
  void want(const std::string& name);
  const std::string& wanted() const { return wanted_; }
  // True when the port is connected after the look.
  bool poll();
  // How often a connected port has been closed (another choice, or the
  // device gone): whoever keeps what its keys held lets go when it moves.
  uint32_t closings() const { return closings_; }

 private:
  void close();
  JLMidiPort& port_;
  std::string wanted_;
  uint32_t closings_ = 0;
};

// ---- live MIDI clock out ------------------------------------------------------

// What the audio thread tells the clock after each output block: when it
// handed the block out, where the block lies on the output's sample clock,
// and which stretch of the mixer's timeline it holds (mixer frames,
// fractional where the tempo resampler stands between two of them).
struct JLMidiAudioStamp {
  int64_t timeNs = 0;      // steady clock, when the block was handed out
  int64_t outAt = 0;       // output frames of this run before the block
  double from = 0;         // mixer position of the block's first frame
  double to = 0;           // ... and of the frame after its last
  int32_t frames = 0;      // output frames in the block
  int32_t beatFrames = 0;  // mixer frames per beat (the song tempo's)
  uint32_t run = 0;        // which start of playback the block belongs to
  double runFrom = 0;      // mixer position where this run's first block began
};

// The schedule of a live clock: pure arithmetic on the stamps, kept apart
// from the thread so that tests can drive it with a clock of their own.
// Ticks sit on the mixer's timeline (24 per beat from the start); a tick
// becomes an event once its position has been mixed, placed on the output
// frame that carries it, so a tempo change is followed from its first
// frame. An output frame is heard at the audio clock's time for it plus
// the output latency; the audio clock is a line fitted through the blocks'
// hand-out times (which jitter with the scheduler, and only ever late).
class JLMidiClockSchedule {
 public:
  struct Event {
    int64_t dueNs;
    JLMidiMessage message;
  };
  explicit JLMidiClockSchedule(int sampleRate = 44100) : rate_(sampleRate) {}
  // A new block. A stamp of a run not seen before starts the clock at its
  // position: Start at position 0, else Song Position (the next 16th) and
  // Continue there, with the first tick.
  void stamp(const JLMidiAudioStamp& s, int64_t latencyFrames);
  // Playback stopped after the last stamp: Stop when its end is heard.
  void stop();
  bool running() const { return running_; }
  // Events due at or before `nowNs`, in order, into `out` (at most `max`)
  // with the time each was due; returns the count. `next` gets the due
  // time of the next queued event (INT64_MAX when none).
  int due(int64_t nowNs, Event* out, int max, int64_t* next);
  // When output frame `out` of this run is heard (the clock's estimate).
  double heardNs(double out) const;

 private:
  struct Queued {
    double out;
    JLMidiMessage message;
  };
  struct Point {
    double out, ns;
  };
  void queue(double out, JLMidiMessage m);
  double outOf(double pos) const;
  void fit();
  int rate_;
  bool running_ = false;
  uint32_t run_ = 0;
  JLMidiAudioStamp last_;
  double prevEndPos_ = 0, prevEndOut_ = 0;  // the end of the block before last_
  double tickPos_ = 0, tickStep_ = 0;       // next tick's mixer position, frames per tick
  bool pendingContinue_ = false;
  int continueSpp_ = 0;
  double latencyNs_ = 0;
  // The audio clock: hand-out times of the last kWindow blocks and the
  // line through them (lineNs_ at output frame lineOut_, nsPerOut_).
  static constexpr int kWindow = 128;
  Point ring_[kWindow];
  int ringAt_ = 0, points_ = 0;
  double lineOut_ = 0, lineNs_ = 0, nsPerOut_ = 0;
  static constexpr int kQueue = 512;
  Queued queue_[kQueue];
  int head_ = 0, count_ = 0;
};

// The live clock out: a thread of its own, woken for each event at its
// time, sends clock ticks, Start/Continue, Song Position and Stop through
// the chosen port so that they leave when the matching sound is heard.
// The audio thread only stamps its blocks (JL_MidiClockTap: a few atomic
// stores, no lock, no allocation).
//
// Threads: the user-interface thread owns it (setPort, setEnabled,
// setLatencyFrames, portLock around its own use of the port); the audio
// thread calls JL_MidiClockTap; playback start and stop arrive through
// JL_MidiClockTransport on the thread that starts and stops the output.
// One instance at a time is tapped (the last constructed); destroying it
// stops its thread.
class JLMidiClockOut {
 public:
  using Clock = int64_t (*)();  // steady nanoseconds
  explicit JLMidiClockOut(int sampleRate = 44100);
  ~JLMidiClockOut();
  JLMidiClockOut(const JLMidiClockOut&) = delete;
  JLMidiClockOut& operator=(const JLMidiClockOut&) = delete;
  // The port the clock goes to (null: none). Take portLock() around any
  // other use of that port (connecting, closing) while this is running.
  void setPort(JLMidiPort* port);
  std::mutex& portLock() { return portLock_; }
  void setEnabled(bool on) { enabled_.store(on); }
  bool enabled() const { return enabled_.load(); }
  void setLatencyFrames(int64_t frames) { latency_.store(frames); }
  // Events sent since construction (ticks included).
  uint32_t sent() const { return sent_.load(); }
  // Told every stamp the sender takes, on its thread (measurements and
  // tests; set before playback starts).
  using StampObserver = void (*)(void* context, const JLMidiAudioStamp& stamp);
  void setStampObserver(StampObserver f, void* context) {
    observer_ = f;
    observerContext_ = context;
  }
  static int64_t steadyNs();

  // Called by the taps below.
  void tap(double from, double to, int frames, int32_t beatFrames);
  void transport(bool start);

 private:
  void loop();
  bool readStamp(JLMidiAudioStamp& s, uint32_t* seq);
  int rate_;
  std::atomic<bool> enabled_{false};
  std::atomic<int64_t> latency_{0};
  std::atomic<uint32_t> sent_{0};
  std::mutex portLock_;
  JLMidiPort* port_ = nullptr;  // under portLock_
  // The last stamp, as a sequence lock: odd while the audio thread writes.
  std::atomic<uint32_t> seq_{0};
  std::atomic<int64_t> stTime_{0};
  std::atomic<double> stFrom_{0}, stTo_{0};
  std::atomic<int32_t> stFrames_{0}, stBeat_{0};
  std::atomic<uint32_t> stRun_{0};
  std::atomic<int64_t> stOut_{0};
  uint32_t tapRun_ = 0;  // audio thread only
  int64_t tapOut_ = 0;   // output frames of the run tapped so far
  double tapRunFrom_ = 0;
  std::atomic<double> stRunFrom_{0};
  std::atomic<uint32_t> run_{0};       // playback starts so far
  std::atomic<bool> playing_{false};   // between a start and its stop
  std::mutex wakeLock_;
  std::condition_variable wake_;
  bool quit_ = false;  // under wakeLock_
  StampObserver observer_ = nullptr;
  void* observerContext_ = nullptr;
  std::thread thread_;
};

// AUDIO. After each output block of the live output: its first and next
// mixer positions, its output frames and the mixer's frames per beat.
void JL_MidiClockTap(double from, double to, int frames, int32_t beatFrames);
// The live output starts (true) or has stopped (false).
void JL_MidiClockTransport(bool start);
