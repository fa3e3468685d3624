// Loop file access and disk streaming: sound files read through libsndfile
// by their chunks (any chunk order, 8/16/24/32-bit integer or 32/64-bit
// float, any channel count), the thin file/memory layer, and the loader
// thread that keeps every track's ring between half a ring and one ring
// ahead of the timeline by following each track's schedule (see Vtrack.h).
//
// Threads: OpenWave, SeekWave, ReadWave and CloseWave on any thread, one
// thread per open WaveFile. ReadFromFile and WaveRead run on the loader
// thread, or on the UI thread while the loader is paused (start sequence).
// The audio thread never calls anything here except WakeLoader.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/JLWaveFault.h"

struct TRACK;

// Opens `path` for reading without ever blocking on it: a FIFO, device or
// folder is refused before anything reads it. Returns a descriptor, or -1.
int F_open(const char* path);
int F_close(int h);
long F_read(int h, void* buf, long n);
long F_seek(int h, long offset, int origin);
void* M_alloc(long n);
int M_free(void* p);

// An open sound file being read; owned by whoever opened it.
struct WaveFile;

struct WaveInfo {
  int channels = 0;    // as stored (1 or more)
  int rate = 0;        // frames per second
  int64_t frames = 0;  // what the file really holds, never what a damaged header claims
  bool cut = false;    // its "data" chunk claims more than the file holds
};

// Where the chunks of a RIFF WAVE file are, found by their sizes (a chunk
// of odd size whose pad byte is missing is still followed); -1 = none.
struct RiffLayout {
  bool riff = false;  // the file starts as a RIFF WAVE file
  int64_t fmtAt = -1, fmtBytes = 0;
  int64_t dataAt = -1, dataBytes = 0;  // dataBytes: what the file holds of it
  bool cut = false;
};
RiffLayout WalkRiff(int fd);

// sf_open_fd on a copy of `fd` that libsndfile owns and closes (it closes
// what it is given when it fails, whatever it is told); `fd` stays open.
// Null on failure.
struct sf_private_tag;
struct SF_INFO;
sf_private_tag* SfOpenFd(int fd, int mode, SF_INFO* info);

// Opens a sound file positioned at its first frame: any format libsndfile
// reads, and RIFF WAVE files whose chunks it cannot follow through the
// chunk walk. Null when the file is missing, no regular file, or not a
// sound file with at least one channel and a positive rate; `info` is then
// left untouched.
WaveFile* OpenWave(const char* path, WaveInfo* info);
void CloseWave(WaveFile* w);
// Positions the file at `frame` of its sound data. False when it cannot.
bool SeekWave(WaveFile* w, int64_t frame);
// Reads up to `frames` frames as 16-bit samples with `outChannels` (1 or 2)
// per frame: a mono file is copied to both sides of stereo, a file with
// more than two channels gives its first two (the first alone for mono).
// Full scale of every sample format maps to full 16-bit scale. Returns the
// frames delivered; the frames after them in `dst` are silence.
int ReadWave(WaveFile* w, int16_t* dst, int frames, int outChannels);
// The same as floats, full scale = 1, nothing clipped and nothing filled in.
int ReadWaveFloat(WaveFile* w, float* dst, int frames, int outChannels);

// Any thread but the audio thread. Decodes loop `variant` (file `name`,
// repeating every `len` frames on the timeline) as the track would play it
// over timeline frames [from, from + frames): each repetition from its
// file's start, silence after a file shorter than its loop, a longer one
// cut at the next repetition. 16-bit stereo into `dst`. Returns `frames`,
// or -1 when the file cannot be played (its fault noted for the user as
// for `track`).
int DecodeLoopSpan(const char* name, int variant, int track, int64_t len, int64_t from, int16_t* dst, int frames);
// Reads `frames` stereo frames of the track's open file into `dst`.
void WaveRead(TRACK* t, int16_t* dst, int frames);
void ReadFromFile(TRACK* t, int frames);
void InitialTrackOpen();
void CloseWaveFiles();

// Hands a loop fault to the user interface: the first fault of each
// registered loop (0-based) is kept until taken, later ones are dropped,
// so a file is named once per song however often its track reaches it.
// Lock-free; loader and UI threads.
void NoteLoopFault(int variant, int track, int32_t fault);
// UI thread. The next fault not yet told: returns the loop (0-based) and
// sets *track (0-based) and *fault, or returns -1.
int TakeLoopFault(int* track, int32_t* fault);
// UI thread, once a song's loops are registered: what the check at
// registration found in loop `variant` (0-based; kWaveFine when it plays as
// it is, and for no registered loop; a silent entry, whose path could not
// be kept, is kWaveUnreadable). `told` marks a fault as named, so that
// TakeLoopFault does not hand it out when a track plays the loop.
int32_t RegisteredLoopFault(int variant, bool told);

// Loader control. dowldproc: loading enabled. ExitBackThread: pause
// handshake (the UI sets 1, the loader answers 0 between two track visits).
extern std::atomic<int32_t> dowldproc;
extern std::atomic<int32_t> ExitBackThread;
// Bit k set: track k's ring was cut by an immediate change; the loader
// refills it first. Any thread sets bits, the loader takes them.
extern std::atomic<uint32_t> UrgentTracks;

// Starts the loader thread (once). Returns 0, or 1 if it could not start.
int StartLoaderThread();
// Wakes the loader early (new selection, new block mixed). Lock-free and
// safe on the audio thread.
void WakeLoader();
// UI thread. Disables loading and waits until the loader is between two
// track visits and will not touch a track again until re-enabled.
void PauseLoader();
// Signals the exit event and waits up to `ms` for the loader to end.
// Returns 0 when it ended.
int StopLoaderThread(int ms);
bool LoaderRunning();
// The loader's visits until it would sleep again (every track visited,
// the one with the least audio loaded ahead first, over and over while any
// visit moves data), on the calling thread. For driving the engine without
// the loader thread (tests, offline rendering); never while the loader
// thread is loading.
void LoaderVisitAll();
// The first visit of the loader's next round alone; returns the track
// (0-based) it visited. For tests, under the same terms.
int LoaderVisitOnce();
// What a live output's loader reads into a track's ring per visit, once the
// ring has that much room (see refillFrames in AudioFormat.cpp).
constexpr int kRefillChunk = 8192;
