// WAV access and disk streaming: reading the canonical 44-byte header, the
// thin file/memory layer, and the loader thread that keeps every track's
// ring between half a ring and one ring ahead of the timeline by following
// each track's schedule (see Vtrack.h).
//
// Threads: OpenWave/SeekWave on any thread. ReadFromFile, WaveRead and
// OpenNewFile run on the loader thread, or on the UI thread while the loader
// is paused (start sequence). Handles are file descriptors, -1 = invalid.
#pragma once
#include <atomic>
#include <cstdint>

struct TRACK;

constexpr int kWaveHeaderBytes = 44;

// Mono read buffer shared by all tracks; loader thread (or a paused loader).
extern int16_t* convBuf;

int F_open(const char* path);
int F_close(int h);
long F_read(int h, void* buf, long n);
long F_seek(int h, long offset, int origin);
void* M_alloc(long n);
int M_free(void* p);

// Opens a WAV file and positions it at its first sample. On failure returns
// -1 and leaves both outputs untouched. The frame count is clamped to what
// the file really holds, and is 0 for a negative data size or a missing
// header, so a damaged header never makes a reader run past the end.
int OpenWave(const char* path, int* channels, int* frames);
// Positions the file `byteOffset` bytes into the sample data. Returns 0.
int SeekWave(int h, int byteOffset);

void WaveRead(TRACK* t, int16_t* dst, int frames);
int OpenNewFile(TRACK* t);
void ReadFromFile(TRACK* t, int frames);
void InitialTrackOpen();
void CloseWaveFiles();

// Loader control. dowldproc: loading enabled. ExitBackThread: pause
// handshake (the UI sets 1, the loader answers 0 between two track visits).
extern std::atomic<int32_t> dowldproc;
extern std::atomic<int32_t> ExitBackThread;

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
// One visit of every track on the calling thread, as the loader would make
// it. For driving the engine without the loader thread (tests, offline
// rendering); never while the loader thread is loading.
void LoaderVisitAll();
