// Tempo resampling, the block mixer and the engine's play state.
//
// The mixer sums the eight track rings with volume, pan and master volume
// into a float bus, lets the user loop and the synth add to it, clips to 16
// bits and advances the timeline, up to 2048 frames per block. The resampler turns
// mixed blocks at the song tempo into output at the playing tempo.
// With a live pull-mode device the block is the device buffer and the
// mixer fades every change over about 5 ms (MixRampFrames).
//
// Threads: GetSamples, GetResampled and Resample run on the audio thread
// (marked AUDIO below) and never allocate, open files or wait on a lock
// that disk access can hold. Everything else runs on the UI thread.
// Results: 0 success, 1 failure unless the line says otherwise.
#pragma once
#include <atomic>
#include <cstdint>

constexpr int kMixBlock = 2048;
constexpr int kBusFrames = 32768;

extern int32_t SAMPFREQ;
extern int32_t BLOCKLEN;
extern std::atomic<int32_t> ResampledBPM;
extern std::atomic<int32_t> PlayingStatus;  // 0 stopped, 1 armed, 2 playing
extern std::atomic<int32_t> MasterVol;
extern std::atomic<int16_t> ttTrackPeaks[16];
extern std::atomic<int16_t> ttDistance;
// Mixed blocks in which the master went past full scale and was clipped;
// only ever counts up (the mixing thread), readers compare two readings.
extern std::atomic<uint32_t> MasterClipBlocks;
// Frames GetResampled mixes at a time (at most kMixBlock): the device
// buffer in pull mode, so nothing is mixed ahead of what the device asks.
extern std::atomic<int32_t> MixBlockFrames;
// Length of the fades that keep stops, immediate changes, mutes and volume
// steps from clicking; 0 = settings step at block starts (queued output and
// manual feed, where every sample is pinned). Set while no output runs.
extern std::atomic<int32_t> MixRampFrames;

void SetRealtimeFreq(int hz);
// Returns the new ResampledBPM (frames per beat at the playing tempo).
int SetMixBPM(int milliBpm);
// The tempo heard at SetMixBPM's upper bound (1.3 x) for a song tempo and
// mixing rate: rate x 60 over the fewest output frames a beat may take.
double FastestMixBPM(int songBpm, int hz);
int InitResampler(int blockLen);
int ResetResampler();
// AUDIO. Produces n output frames (any n); returns n.
int GetResampled(void* out, int n);
// The same as floats in 16-bit units (-32768..32767), for offline renders
// into 24-bit or float files: High's interpolated output unrounded; the
// mix at the song tempo and Original's output as their 16-bit values. At most kBusFrames frames; returns the frames made. Not
// for the audio thread (Original goes through a static scratch buffer).
int GetResampledFloat(float* out, int n);
// AUDIO. Linear interpolation of nIn stereo frames onto nOut; returns nOut.
int Resample(int16_t* out, const int16_t* in, int nOut, int nIn);

// Tempo quality. Original: the linear interpolation above, the ratio
// truncated per request as the program always did. High: a band-limited
// interpolator whose position is carried exactly from request to request,
// so the playing tempo is the one set (frames per beat = rate x 60000 /
// milli-BPM). At the song tempo both copy the mix unchanged. Either may be
// chosen while playing; the audio thread reads it per request.
constexpr int kTempoOriginal = 0;
constexpr int kTempoHigh = 1;
void SetTempoQuality(int quality);
int GetTempoQuality();
// Original reading the mix before it was cut to 16 bits and rounding its
// interpolation once, at the same positions and fractions (a stem render:
// stems made so add up to the 16-bit master within a step per stem, which
// the twice-truncated path misses by up to two per stem). Off, Original
// is bit for bit what it always was. UI thread, while no output runs.
void SetOriginalReadsFloats(bool on);
// AUDIO. Resample's positions and fractions on planar float input, each
// output value rounded to the nearest and held within 16 bits.
int ResampleFloats(int16_t* out, const float* inL, const float* inR, int nOut, int nIn);
// The tempo last given to SetMixBPM in milli-BPM, 0 for the song tempo.
extern std::atomic<int32_t> MixMilliBPM;
// High's exact ratio of mixed frames per output frame, num / den (reduced;
// 1 / 1 at the song tempo), within the same bounds as ResampledBPM.
void HighTempoRatio(int64_t* num, int64_t* den);
// Mixed frames the resampler reads per output frame at the tempo and
// quality now set: High's num / den, or Original's whole frames per
// request over the request (the size last asked for, 2048 before any).
// Exactly 1 at the song tempo. Any thread (atomics only).
double PlayedTempoRatio();

// Mix settings; track numbers 1..8, values clamped.
int TrackVolume(int track, int vol);
int TrackPan(int track, int pan);
int VolumeSync2(int track, int vol);
int PanSync2(int track, int pan);
int MasterVolume(int vol);
void LGetTrackPeaks(short track, std::atomic<int16_t>** left, std::atomic<int16_t>** right);

// AUDIO. Mixes `count` (<= kBusFrames) frames; returns count.
int GetSamples(void* out, int count);

int InitPlay();
int BeginPlay();
int StopPlay();
int ExitPlay();
// The start sequence: the first valid selection while armed. Returns 0, or
// 1 when the output could not start (the engine stays armed and silent).
int StartPlayback(int track0, int variant0);
// The same with several tracks at once (kTracks variants, -1 for none): all
// of them start at timeline 0 with their rings loaded before the output
// starts, so none joins a prefill later than the others.
int StartPlaybackTracks(const int* variants);
// Where the next start begins its timeline instead of 0, taken (and reset
// to 0) by that start: playback resumed after a pause goes on where it was
// heard, each loop at its own phase there. Interface thread.
extern std::atomic<int64_t> StartTimeLineAt;
