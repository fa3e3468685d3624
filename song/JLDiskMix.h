// The disk mix: a mix rendered into a sound file by the real engine (loop
// schedule, loader, mixer, resampler) through the facade's offline entry,
// with no audio device. Each step of the sequence is one 32-beat groove at
// the document's tempo; without steps the current groove plays for a
// number of 32-beat cycles. Step changes go through the engine's sync-point
// schedule, so they land exactly on the 32-beat boundaries, as they would
// live. The same path renders the synth's arpeggio alone (JL_ArpToFile).
//
// The live engine is left exactly as it was found (JLEngine::offlineBegin /
// offlineEnd), device or not. JL_DiskMix and JL_ArpToFile run on the
// calling thread and block until the file is written; JLDiskMixJob runs
// them on a worker thread while the user-interface thread stays live. The
// output format follows the file name's extension (.wav, .flac, .ogg,
// .aif/.aiff) or the given major format; the file appears only when it is
// complete, a stopped or failed render leaves none (and an older file of
// that name untouched).
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/JLEngine.h"
#include "song/JLGroove.h"

class JLSongLibrary;

// Told the part done (0..1) now and then while rendering; false stops the
// render, which then fails ("stopped") and leaves no file. Called on the
// rendering thread.
using JLDiskMixProgress = bool (*)(void* context, float done);

struct JLDiskMixOptions {
  int cycles = 1;          // 32-beat cycles of the current groove when there are no steps
  // Master volume 0..128, the engine's law (gain v / 128); the program's
  // default unless the caller passes the one the user set.
  int16_t volume = kJLDefaultMasterVolume;
  bool useSequence = true;  // false: the current groove even when steps exist
  // Bit t: track t (0..7) of the working groove is muted on screen. It is
  // silent when the working groove is rendered (no steps, or useSequence
  // false); a sequence plays each step's groove with every track on, as the
  // player starts each step.
  uint8_t mutedTracks = 0;
  // libsndfile format (SF_FORMAT_WAV, SF_FORMAT_FLAC, ...); 0 = from the
  // file name's extension. A container alone is written as 16-bit PCM,
  // Vorbis for OGG; with an encoding (SF_FORMAT_WAV | SF_FORMAT_PCM_24) as
  // given.
  int32_t majorFormat = 0;
  // Sample depth of lossless files: 0 as the format says (16-bit unless an
  // encoding is given), 24 for 24-bit PCM, 32 for 32-bit float. A wide file
  // keeps the tempo resampler's output unrounded (High quality); a depth
  // the container cannot hold fails the render with a message.
  int16_t depth = 0;
  JLDiskMixProgress progress = nullptr;
  void* progressContext = nullptr;
};

struct JLDiskMixReport {
  int64_t frames = 0;       // frames written
  int32_t steps = 0;        // 32-beat steps rendered
  uint32_t underruns = 0;   // blocks a track's ring could not serve (0 expected)
  char error[256] = {0};    // why it failed
};

// The synth's arpeggio as the synth panel sends it (JLEngine::synth_Arp),
// played alone with the synth's current sound.
struct JLArpRender {
  int16_t mode = 0;          // 0 up, 1 down, 2 random, 3 up-down
  int16_t stepsPerBeat = 4;  // 1, 2, 4 or 8
  std::string notes;         // the arpeggio text
  float bpm = 120;           // playing tempo
  int16_t volume = 100;      // synth volume and pan, as the synth panel sends them
  int16_t pan = 63;
};

// Output frames of `steps` 32-beat steps at `bpm` and 44100 Hz, rounded to
// the nearest frame.
int64_t JL_DiskMixFrames(int32_t steps, float bpm);

// Steps of an arpeggio render: one whole turn of the text (a note name or
// a two-space rest each) made up to whole 16-step patterns, the unit the
// synth panel shows, so the file loops seamlessly. 0 for an empty text.
int32_t JL_ArpRenderSteps(const char* notes);
// Output frames of `steps` arpeggio steps at `stepsPerBeat` and `bpm`.
int64_t JL_ArpRenderFrames(int32_t steps, int16_t stepsPerBeat, float bpm);

// The libsndfile format a file of this format (a container, or a container
// with its encoding) is written in, or 0 when libsndfile cannot write it.
int JL_DiskMixSndfileFormat(int32_t format);

// Renders the image's song (":Library:Song:<songName>:" must be installed)
// to `outSystemPath`. False with report.error set on failure.
bool JL_DiskMix(const JLIceimage& image, const char* outSystemPath, const JLDiskMixOptions& options,
                JLDiskMixReport& report);

// One file of a stems render: a track (0..7) alone, the synth alone, the
// user loop alone, or the master (the full mix).
struct JLStem {
  static constexpr int kSynth = -1, kUserLoop = -2, kMaster = -3;
  int source = kMaster;
  std::string fileName;  // "track3-bass.wav", "synth.wav", "master.wav"
};

// The files a stems render of this image writes: one per track that plays
// in some step (named by its number and the first loop group it plays),
// the synth and the user loop when they sound, and the master, last.
// `extension` without the dot. Opens an offline session of its own. False
// with report.error set when the song is missing or the engine busy.
bool JL_DiskMixStemsPlan(const JLIceimage& image, const JLDiskMixOptions& options, const char* extension,
                         std::vector<JLStem>& stems, JLDiskMixReport& report);

// Stems: each source of the mix rendered alone through the same engine
// path as the master (same tempo, volumes, pans, mutes and master volume),
// and the master, into `outFolder` (a system path), all of one format and
// length, sample-aligned. Their sum is the master within one step of the
// last bit per stem, except where the master clips. The files appear
// together at the end; a failure or stop leaves none of them. `written`
// gets their paths. False with report.error set on failure.
bool JL_DiskMixStems(const JLIceimage& image, const char* outFolder, const char* extension,
                     const JLDiskMixOptions& options, JLDiskMixReport& report,
                     std::vector<std::string>* written = nullptr);

// The stems folder that goes with a disk mix file: the file's name without
// its extension, then "-stems", beside it ("/x/mix.wav" -> "/x/mix-stems").
std::string JL_DiskMixStemsFolderFor(const std::string& mixSystemPath);

// A disk mix with its stems: JL_DiskMixStems into JL_DiskMixStemsFolderFor
// (made when missing; a folder made here is removed again after a failure),
// then the master copied to `outSystemPath`, in the format its extension
// names (or options.majorFormat). The mix file appears only once every
// stem is written. False with report.error set on failure.
bool JL_DiskMixWithStems(const JLIceimage& image, const char* outSystemPath, const JLDiskMixOptions& options,
                         JLDiskMixReport& report);

// Renders the arpeggio for JL_ArpRenderSteps(arp.notes) steps. False with
// report.error set on failure (also for an empty arpeggio).
bool JL_ArpToFile(const JLArpRender& arp, const char* outSystemPath, const JLDiskMixOptions& options,
                  JLDiskMixReport& report);

// A groove of the song's first eight groups, first variant each, at their
// default volumes and pans (what a newly loaded song plays).
void JL_DefaultGroove(const JLSongLibrary& library, JLGroove& groove);

// One render on a worker thread. The user-interface thread starts it, then
// polls fraction() and finished(), may stop() it, and collects the result
// with finish(). While it runs the worker owns the engine: the caller must
// not use the engine facade until finished() is true. Starting fails
// (false, nothing runs) while another render of this job is unfinished.
// Destroying a running job stops it and waits for the worker.
class JLDiskMixJob {
 public:
  JLDiskMixJob() = default;
  ~JLDiskMixJob();
  JLDiskMixJob(const JLDiskMixJob&) = delete;
  JLDiskMixJob& operator=(const JLDiskMixJob&) = delete;

  bool startMix(const JLIceimage& image, const char* outSystemPath, const JLDiskMixOptions& options);
  bool startArp(const JLArpRender& arp, const char* outSystemPath, const JLDiskMixOptions& options);
  // JL_DiskMixStems into the folder `outSystemPath`.
  bool startStems(const JLIceimage& image, const char* outSystemPath, const char* extension,
                  const JLDiskMixOptions& options);
  // JL_DiskMixWithStems: the mix at `outSystemPath`, its stems beside it.
  bool startMixWithStems(const JLIceimage& image, const char* outSystemPath, const JLDiskMixOptions& options);
  bool running() const { return worker_.joinable(); }
  bool finished() const { return done_.load(std::memory_order_acquire); }
  // Part done, 0..1.
  float fraction() const { return fraction_.load(std::memory_order_relaxed); }
  // Waits at most `ms` milliseconds for the render to end; true once it has.
  bool waitFinished(int ms);
  // Asks the worker to stop; the render then fails with "stopped".
  void stop() { stopAsked_.store(true); }
  // Joins the worker (waits when it has not finished) and hands over its
  // report; true when the file was written (false after a failure, a stop,
  // or when no render was started).
  bool finish(JLDiskMixReport& report);
  // The path the render writes (after a start).
  const std::string& output() const { return out_; }

 private:
  static bool onProgress(void* self, float done);
  bool begin(const char* out, const JLDiskMixOptions& options);
  void ended(bool ok);
  std::thread worker_;
  std::mutex doneLock_;
  std::condition_variable doneSignal_;
  std::atomic<bool> done_{false};
  std::atomic<bool> stopAsked_{false};
  std::atomic<float> fraction_{0.f};
  std::string out_;
  JLDiskMixOptions options_;
  JLDiskMixReport report_;
  bool ok_ = false;
  std::unique_ptr<JLIceimage> image_;
  JLArpRender arp_;
  std::string extension_;
};
