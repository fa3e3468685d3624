// The one door from the rest of the program into the audio engine. It turns
// application units (tracks 0..7, samples from 0 with -1 = none, pan -64..63
// centred on 0, tempo as a float, internal ':' paths) into the engine's
// procedural calls and remembers whether the application considers the
// engine playing.
//
// Threads: every operation runs on the UI thread. Nothing here reports a
// failure except the few operations with a result: a start that finds no
// audio device leaves the engine armed and silent, and the program goes on.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/midi/JLMidi.h"

#include "engine/JLWaveFault.h"
#include "engine/userloop/Elast.h"

// The master volume the program starts with (0..128 law: gain = v / 128).
// A render made at the program's defaults uses it too, so it sounds as
// loud as the program does.
constexpr int16_t kJLDefaultMasterVolume = 63;

struct JLEngineSnapshot;

class JLEngine {
 public:
  JLEngine();
  ~JLEngine();
  JLEngine(const JLEngine&) = delete;
  JLEngine& operator=(const JLEngine&) = delete;

  // Starts the user-loop renderer and the engine (synth, loader thread);
  // master volume 63, empty sample list, 44100 Hz, no track samples.
  void init();
  // Stops output and the loader thread and frees the engine's buffers.
  void exit();

  void play();
  void stop();
  // Playing, but no track has started the timeline (every track muted or
  // empty): starts the timeline and the output now, so the synth and the
  // user loop are heard on their own and the beat runs. Nothing while
  // stopped, inside a batch of track changes, or once the timeline runs.
  // Call after play() and the groove's tracks; a device that cannot start
  // leaves the engine armed and silent, as a track's start does.
  void startTimeline();

  void setMixerVolume(short v);       // 0..128, clamped
  void setMixerBpm(float bpm);        // at most 1.3 x the song tempo applies
  void setTempoQuality(bool high);    // band-limited or the original linear tempo interpolation
  // Keep pitch (off by default): away from the song tempo the loops are
  // made again in the background in their own key and take over at their
  // next repetition (JLStretch.h); off goes back to the resampled sound.
  void setKeepPitch(bool on);
  // Makes every playing loop for the tempo now set before returning; in an
  // offline session the tracks play them from their next repetition at or
  // after the timeline (from the first frame when called before the first
  // pull). Returns the loops ready, -1 when keep pitch does not apply.
  int keepPitchPrepare();
  // The fastest tempo the engine plays a song of this tempo at (the 1.3 x
  // bound as its frame arithmetic gives it); a large number for tempo <= 0.
  static double fastestBpm(float songBpm, long hz = 44100);
  void setMixerFrequency(long hz);    // only while the engine is stopped
  // The beat being heard (0..31): the mixer's position less the output
  // latency, so lamps, position text and sequence steps change when the
  // music does. -1 unless playing. Each call also sizes the level meters'
  // delay from the same latency (the player calls it on every idle pass).
  char getMixerBeat();
  // The mixer frame being heard now (the timeline less the output latency,
  // at least 0); -1 unless playing.
  int64_t heardFrame();
  // The next start (play, then the first loop) begins the timeline at this
  // mixer frame instead of 0, every loop at its own phase there: resuming
  // after a pause goes on where it was heard. Once; 0 or less: from 0.
  void startNextAt(int64_t frame);

  // Song tempo; also arms the engine when it is stopped.
  void samplesBpm(float bpm);
  void samplesListReset();
  // Registers the next sample (internal ':' path). `divisor` is the number of
  // repetitions per 32 beats, 0 = derive it from the file's length. Every
  // call takes the next sample number, so one bad loop never shifts the
  // numbers after it: a path that does not convert becomes a silent entry
  // and returns 1. Only a full list takes no number (also 1).
  short samplesListAdd(const char* path, short divisor);

  void setTrackSample(short track, short sample);
  void setTrackVolume(short track, short vol);   // 0..127
  void setTrackPan(short track, short pan);      // -64 left .. 63 right

  void synth_Arp(short mode, short stepsPerBeat, const char* notes);
  void synth_Stop();
  void synth_SetFolder(const char* path);
  void synth_SetPoly(short n);
  void synth_SetVolume(short v);
  void synth_SetPan(short p);
  // A computer key of the synth panel: note 0..35 sounds from now (full
  // velocity) until synth_KeyOff, as a MIDI keyboard's key does.
  void synth_KeyOn(short note);
  void synth_KeyOff(short note);

  void sync_atGrooveSet(short on);

  short copyAudioFile(const char* from, const char* to);
  // Bracket a batch of track changes. The first batch after play() starts
  // all its tracks together when it ends, so every loop of a groove begins
  // at the first frame instead of the later ones joining after the output's
  // prefill.
  void changesBegin();
  void changesEnd();

  bool userLoop_load(const char* path);
  void userLoop_params(jlUserLoopSettingsRec* s);
  bool userLoop_recordStart();
  // Why the last recordStart failed, in the sound system's words ("" when
  // it did not fail or gave no reason).
  const char* userLoop_recordError() const;
  void userLoop_recordStop();
  void userLoop_recordReset();
  bool userLoop_recordStatus(short* percent, short* other);
  // The played region of the user loop; false while a take records or
  // without a loop.
  bool userLoop_region(jlUserLoopView* view);

  // Addresses of the two level-meter words of a 0-based track (either out
  // pointer may be null). The audio thread raises them; the reader takes
  // the value and stores -1 (exchange(-1) does both at once).
  void getTrackPeaks(short track, std::atomic<short>** left, std::atomic<short>** right);
  // A sample whose file does not play as it is, found when its track first
  // reached it (each sample's fault is handed out once per song), or -1;
  // *track gets its 0-based track and *why the WaveFault (AudioFormat.h):
  // unreadable, empty, cut short (it plays what it holds) or a sample rate
  // that could not be converted.
  short takeLoadFailure(short* track, short* why = nullptr);
  // What the check at registration found in sample `sample`'s file, once
  // a song's loops are registered (WaveFault: kWaveFine when it plays as it
  // is, and for a number not registered). `told`: the caller names a fault
  // to the user now, so takeLoadFailure does not hand it out again when a
  // track reaches the loop. User-interface thread.
  short sampleFault(short sample, bool told);

  // ---- output ----
  // Device buffer for the next start: 0 = the queued output ("safe", about
  // 0.4 s ahead), else pull mode asking for that many frames (256 low, 512
  // normal). JL_AUDIO_FRAMES in the environment overrides it.
  void setOutputFrames(int frames);
  // Frames (at the device rate) between mixing a sample and it leaving the
  // device: the device buffer as granted, plus what waits queued; 0 when no
  // device output runs (stopped, no device, offline rendering).
  int outputLatencyFrames() const;
  // Underruns: mixed blocks (since init) in which a track's ring was
  // short (the loader fell behind) plus device callbacks that came late
  // (since play began).
  uint32_t outputUnderruns() const;
  // True once when the audio device went away while playing; the engine has
  // then stopped (play() starts it again, on whatever device is there).
  bool takeOutputLost();
  // Mixed blocks so far whose master was clipped at full scale (counts up
  // only; any thread may read it).
  uint32_t masterClips() const;

  // ---- offline rendering (disk mix, arpeggio to file) ----
  // The engine renders into memory instead of the audio device. offline-
  // Begin stops the output, keeps a copy of everything the live engine
  // holds (sample list, song and playing tempo, master volume, track
  // selections and mix settings, synth settings, play state) and switches
  // the output to manual feed. The facade is then used as for live play,
  // and offlinePull makes the loader's visits itself before each block, so
  // the result never depends on timing. offlineEnd puts the live engine
  // back as offlineBegin found it, with or without an audio device (a
  // playing engine restarts its tracks from the top).
  // Between the two calls the engine belongs to one thread: the UI thread
  // may hand it to a worker and must not call the facade until that worker
  // has returned. offlineBegin returns false (and changes nothing) when an
  // offline session is already open or the engine was never initialised.
  bool offlineBegin();
  // startTimeline for an offline session (a no-op outside one).
  void offlineStart();
  // Fills `frames` output frames (16-bit stereo) at the playing tempo.
  void offlinePull(int16_t* out, int frames);
  // The same as floats in 16-bit units, unrounded where the tempo
  // resampler made them (High quality), for 24-bit and float files.
  void offlinePullFloat(float* out, int frames);
  // 32-beat cycles of the timeline begun so far (0 before the first block).
  int32_t offlineCyclesBegun() const;
  // Blocks a track's ring could not serve since offlineBegin (0 expected).
  uint32_t offlineUnderruns() const;
  void offlineEnd();
  // Offline only (no effect outside a session): whether the synth's
  // arpeggio and the user loop would sound in a render, and silencing them
  // for the rest of this session (offlineEnd gives back their volumes). A
  // render of one source alone (a stem) silences the others this way, so
  // it passes through the same mixer and tempo resampler as the full mix.
  bool offlineSynthSounds() const;
  bool offlineUserLoopSounds() const;
  void offlineSilence(bool synth, bool userLoop);
  // Offline only, for the rest of this session: the Original tempo quality
  // rounds each output value once from the unrounded mix (what a stem of a
  // set needs to add up to the master); the master keeps Original's own
  // 16-bit path. High always works so.
  void offlineRoundOnce();
  bool offline() const { return offline_ != nullptr; }

  // ---- MIDI ----
  // Ports are the caller's and outlive their use here (null: none). The
  // input port's thread only pushes into a lock-free queue; midi_pump()
  // (the player's idle loop, or each offline block) applies it: keyboard
  // keys sound at the current timeline position with their velocity and
  // the sustain pedal; with latching on, key presses are handed back to
  // the caller instead (the synth panel latches them like its keys), as
  // are transport actions. Returns how many actions it put in `out`.
  void midi_setInput(JLMidiPort* port);
  void midi_setMap(const JLMidiMap& map) { midiMap_ = map; }
  const JLMidiMap& midi_map() const { return midiMap_; }
  bool midi_latching() const { return midiLatch_; }
  // While on (the synth panel's arpeggio runs), key presses are handed back
  // as holdNote instead of sounding by themselves, and every key release
  // also as releaseNote, so that a held key joins the arpeggio.
  void midi_setKeysToArp(bool on) { midiKeysToArp_.store(on, std::memory_order_relaxed); }
  // The sustain pedal holds a released key in the arpeggio as it holds a
  // voice: its releaseNote waits until the pedal is lifted, then comes for
  // every key that is no longer down; a key pressed again meanwhile is not
  // handed back a second time.
  int midi_pump(JLMidiAction* out, int max);
  // The pedal counts as lifted, as if its controller had said so: the synth
  // switched off or changed, STOP (stop, synth_Stop, synth_SetFolder call
  // it). Pump thread.
  void midi_pedalUp();
  // Another input, none, or the device gone: every key of the old one and
  // its pedal are let go (no note-off will come for them). midi_setInput
  // calls it; the player also when its connection changes. Pump thread.
  void midi_inputChanged();
  // MIDI clock out: the output frame counter and tempo heard drive
  // midiClock_; offline blocks send their events at once, in order.
  void midi_setOutput(JLMidiPort* port) { midiOut_ = port; }
  void midi_clockStart(double beats);
  void midi_clockStop();
  // Output frames handed out since the offline session started.
  int64_t offlineFramesOut() const { return offlineFrames_; }
  // Every clock event of the offline session so far, with its frame.
  const std::vector<JLMidiClock::Event>& offlineClockLog() const { return clockLog_; }

  int16_t trackSample[256];
  int16_t playing;
  int16_t syncMode;

 private:
  // The output latency as mixer frames at the current tempo; also matches
  // the meter queue's delay to it.
  int64_t followLatency();
  // One offline block: the loader's visits, waiting MIDI actions, `mix`
  // (or `silence` while not playing) and the clock's ticks for it.
  void offlineBlock(int frames, const std::function<void()>& silence, const std::function<void()>& mix);
  // midi_pedalUp at timeline position `now`.
  void liftPedal(int64_t now);

  std::unique_ptr<JLEngineSnapshot> offline_;
  bool initialised_ = false;
  int16_t batchDepth_ = 0;
  int pendingStart_[8];  // variants held back while armed, -1 none
  bool pendingAny_ = false;
  JLMidiPort* midiIn_ = nullptr;
  JLMidiPort* midiOut_ = nullptr;
  JLMidiQueue midiQueue_;
  JLMidiMap midiMap_;
  bool midiLatch_ = false;
  std::atomic<bool> midiKeysToArp_{false};
  // The pump's view of the keyboard, one bit per synth note: keys down,
  // keys handed back as holdNote and not yet released, and releases owed
  // to the caller since the pedal lifted (handed back before anything
  // that came after). Pump thread only.
  uint64_t midiDown_ = 0, midiInArp_ = 0, midiOwed_ = 0;
  bool midiPedal_ = false;
  JLMidiClock midiClock_;
  int64_t offlineFrames_ = 0;
  std::vector<JLMidiClock::Event> clockLog_;
};

// Loop files for whoever makes songs from sound files (any thread but the
// audio thread; no engine needs to exist).
struct JLSoundFileFacts {
  int channels = 0;
  int rate = 0;
  int64_t frames = 0;  // what the file really holds
};
// What a sound file holds; false when it is not one this program reads.
bool JL_ProbeSoundFile(const char* path, JLSoundFileFacts* facts);
// The whole sound of a loop at `rate` as 16-bit frames with `*channels`
// (1 or 2) per frame, converted when its own rate differs; null with a
// WaveFault in `*fault` when it cannot be read, holds nothing, exceeds the
// limits or cannot be converted. Give the result back with JL_FreeLoopWhole.
int16_t* JL_ReadLoopWhole(const char* path, int rate, int64_t maxFrames, int64_t maxBytes, bool looped, int* channels,
                          int32_t* frames, int32_t* fault);
void JL_FreeLoopWhole(int16_t* frames);

extern JLEngine* gep;
