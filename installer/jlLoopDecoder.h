// Turning one compressed demo loop into the 16-bit PCM WAV file with the
// canonical 44-byte header that the engine streams. Anything libsndfile can
// read is accepted (IMA and Microsoft ADPCM, PCM of any width, ...).
//
// Output files are written under a temporary name and renamed only when
// complete, so a failed conversion never leaves a half-written loop behind;
// an older complete file of the same name is left as it was. Any thread, one
// file per call, no shared state.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

constexpr int kJLWavHeaderBytes = 44;

// Fills the canonical header: PCM, 16 bits, the given rate and channels and
// `dataBytes` bytes of samples.
void JL_MakeWavHeader(uint8_t out[kJLWavHeaderBytes], uint32_t sampleRate, uint16_t channels,
                      uint32_t dataBytes);

// Writes one 16-bit PCM WAV file. The header's sizes are the real ones,
// written by commit() after the last sample; until then the data lives in
// a temporary beside it (".<name>.jltmp-<pid>"). A writer destroyed without commit() removes its temporary.
class JLWavWriter {
 public:
  JLWavWriter() = default;
  ~JLWavWriter() { abandon(); }
  JLWavWriter(const JLWavWriter&) = delete;
  JLWavWriter& operator=(const JLWavWriter&) = delete;

  // False when the temporary cannot be created.
  bool create(const std::string& path, uint32_t sampleRate, uint16_t channels);
  // Appends little-endian 16-bit samples. False on a write error or when the
  // data would outgrow what the header's 32-bit sizes can announce.
  bool write(const int16_t* samples, size_t count);
  // Writes the final header, closes and renames over `path`.
  bool commit();
  // Closes and deletes the temporary.
  void abandon();

  uint32_t dataBytes() const { return data_; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_, temp_;
  uint32_t rate_ = 0;
  uint16_t channels_ = 0;
  uint32_t data_ = 0;
  bool failed_ = false;
};

enum class JLConvertResult {
  ok,
  unreadable,    // not a sound file libsndfile understands, or no data
  corrupt,       // decoding stopped early or reported an error
  cannotWrite,   // the destination or its temporary could not be written
  tooLarge,      // more than a WAV header's 32-bit sizes can describe
};

// Decodes `source` and writes `destination` as 16-bit PCM with the source's
// rate and channel count. Block codecs pad their last block; a "fact" chunk
// that names a length inside that last block cuts the padding off again, so
// the loop keeps its exact length. A WAV file whose data chunk announces more
// bytes than it holds (a cut-off copy) is `corrupt`.
JLConvertResult JL_DecompressLoop(const std::string& source, const std::string& destination);
// The size of the file JL_DecompressLoop would write, from the source's
// header only; 0 when the source cannot be read.
int64_t JL_DecodedLoopBytes(const std::string& source);

// Writes interleaved 16-bit samples as an IMA ADPCM WAV file and sets its
// "fact" chunk to the true frame count (libsndfile writes a wrong one for
// stereo), so that JL_DecompressLoop gives back exactly `frames` frames.
bool JL_WriteImaAdpcmWav(const std::string& path, const int16_t* samples, int64_t frames, int channels,
                         int sampleRate);
