// Sound file conversion and the list of export formats, on libsndfile (every
// format it reads or writes) and libsamplerate (rate conversion).
//
// Paths are internal ':' paths. The writer creates the target under a
// temporary name and renames it into place only when everything was
// written, so a failed conversion never leaves a half file behind.
//
// User-interface thread (no shared state). Failures return false; the
// target then does not exist.
#pragma once
#include <cstddef>
#include <cstdint>

// Called now and then with the part done (0..1); false stops the work,
// which then fails.
using uloSoundProgress = bool (*)(void* context, float done);

// Converts any file libsndfile reads to a PCM WAV file with `channels`
// (1 or 2; mono is copied to both sides, extra channels are dropped),
// `bits` (16 only) and `rate` Hz.
bool uloQt_soundConvert_toWave(const char* from, const char* to, int channels, int bits, int rate,
                               uloSoundProgress progress = nullptr, void* context = nullptr);

// Writes interleaved 16-bit frames as a WAV file (temporary file + rename).
bool uloQt_writeWave16(const char* to, const int16_t* samples, int32_t frames, int channels, int rate);

// The export formats offered to the user: WAV 16-bit, WAV 24-bit, FLAC, OGG
// Vorbis, AIFF and MP3, each only where the installed libsndfile writes it
// (checked at run time). A code is a whole libsndfile format, container and
// encoding (SF_FORMAT_WAV | SF_FORMAT_PCM_24, ...).
int uloQt_soundConvert_formatCount();
bool uloQt_soundConvert_getFormat(int index, int32_t* code, char* name, size_t nameSize);
// The offered format a code names, or -1. A container alone (the codes
// older preferences stored, e.g. SF_FORMAT_FLAC) names that container's
// first offered format.
int uloQt_soundConvert_indexOf(int32_t code);
// What a file of this code is written as: the libsndfile format and the
// file name extension (without dot). Offered formats as they are; any other
// container libsndfile writes (older preferences may name one) with 16-bit
// PCM or its own default encoding. False for codes libsndfile cannot write
// (the program's own 'JLMX' among them).
bool uloQt_soundConvert_fileFormat(int32_t code, int* sndfileFormat, const char** extension);
// A name for any code fileFormat accepts (offered or not); false otherwise.
bool uloQt_soundConvert_describe(int32_t code, char* name, size_t nameSize);

// Whether a file is what the engine's loop reader takes as it is: a 16-bit
// PCM WAV at 44100 Hz, mono or stereo, with the canonical 44-byte header
// (its samples right after the header). The engine's reader trusts that
// header blindly, so anything else must be converted first or it would
// play noise or at the wrong speed.
bool uloQt_soundIsPlainWave(const char* path);
