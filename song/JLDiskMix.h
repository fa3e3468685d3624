// The disk mix: a mix rendered into a sound file by the real engine (loop
// schedule, loader, mixer, resampler) with no audio device. Each step of
// the sequence is one 32-beat groove at the document's tempo; without steps
// the current groove plays for a number of 32-beat cycles. Step changes go
// through the engine's sync-point schedule, so they land exactly on the
// 32-beat boundaries, as they would live.
//
// User-interface thread; it stops live playback and blocks until the file
// is written. The output format follows the file name's extension (.wav,
// .flac, .ogg, .aif/.aiff); the file appears only when it is complete.
#pragma once
#include <cstddef>
#include <cstdint>

#include "song/JLGroove.h"

class JLSongLibrary;

// Told the part done (0..1) now and then while rendering; false stops the
// render, which then fails ("stopped") and leaves no file.
using JLDiskMixProgress = bool (*)(void* context, float done);

struct JLDiskMixOptions {
  int cycles = 1;          // 32-beat cycles of the current groove when there are no steps
  int16_t volume = 128;    // master volume 0..128
  bool useSequence = true;  // false: the current groove even when steps exist
  // libsndfile format (SF_FORMAT_WAV, SF_FORMAT_FLAC, ...); 0 = from the
  // file name's extension. A container alone is written as 16-bit PCM,
  // Vorbis for OGG; with an encoding (SF_FORMAT_WAV | SF_FORMAT_PCM_24) as
  // given.
  int32_t majorFormat = 0;
  JLDiskMixProgress progress = nullptr;
  void* progressContext = nullptr;
};

struct JLDiskMixReport {
  int64_t frames = 0;       // frames written
  int32_t steps = 0;        // 32-beat steps rendered
  uint32_t underruns = 0;   // blocks a track's ring could not serve (0 expected)
  char error[256] = {0};    // why it failed
};

// Output frames of `steps` 32-beat steps at `bpm` and 44100 Hz, rounded to
// the nearest frame.
int64_t JL_DiskMixFrames(int32_t steps, float bpm);

// The libsndfile format a file of this format (a container, or a container
// with its encoding) is written in, or 0 when libsndfile cannot write it.
int JL_DiskMixSndfileFormat(int32_t format);

// Renders the image's song (":Library:Song:<songName>:" must be installed)
// to `outSystemPath`. False with report.error set on failure.
bool JL_DiskMix(const JLIceimage& image, const char* outSystemPath, const JLDiskMixOptions& options,
                JLDiskMixReport& report);

// A groove of the song's first eight groups, first variant each, at their
// default volumes and pans (what a newly loaded song plays).
void JL_DefaultGroove(const JLSongLibrary& library, JLGroove& groove);
