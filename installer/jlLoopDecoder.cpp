#include "installer/jlLoopDecoder.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/files/uloFiles.h"
#include "core/files/uloFolderOps.h"

namespace {

void put16(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
  put16(p, v & 0xFFFF);
  put16(p + 2, v >> 16);
}

// The RIFF size field holds data + 36, so this is the most the header can say.
constexpr uint32_t kMaxDataBytes = 0xFFFFFFFFu - 36u;

uint32_t get16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t get32(const uint8_t* p) { return get16(p) | (get16(p + 2) << 16); }

// What the RIFF chunks tell beyond what libsndfile reports.
struct WavChunks {
  bool truncated = false;       // the data chunk announces more than the file holds
  int64_t factFrames = -1;      // frames per channel from "fact", -1 when absent
  long factOffset = -1;         // file offset of the fact value
  uint32_t samplesPerBlock = 0; // ADPCM block length in frames, 0 for other codecs
};

WavChunks scanChunks(std::FILE* f) {
  WavChunks w;
  uint8_t head[12];
  if (std::fseek(f, 0, SEEK_END) != 0) return w;
  const long size = std::ftell(f);
  if (size < 12 || std::fseek(f, 0, SEEK_SET) != 0 || std::fread(head, 1, 12, f) != 12) return w;
  if (memcmp(head, "RIFF", 4) != 0 || memcmp(head + 8, "WAVE", 4) != 0) return w;
  long pos = 12;
  uint8_t ch[8];
  while (pos + 8 <= size && std::fseek(f, pos, SEEK_SET) == 0 && std::fread(ch, 1, 8, f) == 8) {
    const uint32_t length = get32(ch + 4);
    pos += 8;
    if (memcmp(ch, "data", 4) == 0) {
      w.truncated = length != 0xFFFFFFFFu && (int64_t)length > size - pos;
      break;
    }
    uint8_t body[20];
    if (memcmp(ch, "fmt ", 4) == 0 && length >= 20 && std::fread(body, 1, 20, f) == 20) {
      const uint32_t tag = get16(body);
      if (tag == 0x11 || tag == 0x02) w.samplesPerBlock = get16(body + 18);  // IMA, Microsoft ADPCM
    } else if (memcmp(ch, "fact", 4) == 0 && length >= 4 && std::fread(body, 1, 4, f) == 4) {
      w.factFrames = get32(body);
      w.factOffset = pos;
    }
    pos += (long)length + (long)(length & 1);
  }
  return w;
}

struct SndFileCloser {
  SNDFILE* f;
  ~SndFileCloser() {
    if (f) sf_close(f);
  }
};

}  // namespace

void JL_MakeWavHeader(uint8_t out[kJLWavHeaderBytes], uint32_t sampleRate, uint16_t channels,
                      uint32_t dataBytes) {
  const uint32_t block = channels * 2u;
  memcpy(out, "RIFF", 4);
  put32(out + 4, dataBytes + 36);
  memcpy(out + 8, "WAVEfmt ", 8);
  put32(out + 16, 16);
  put16(out + 20, 1);
  put16(out + 22, channels);
  put32(out + 24, sampleRate);
  put32(out + 28, sampleRate * block);
  put16(out + 32, block);
  put16(out + 34, 16);
  memcpy(out + 36, "data", 4);
  put32(out + 40, dataBytes);
}

bool JLWavWriter::create(const std::string& path, uint32_t sampleRate, uint16_t channels) {
  abandon();
  path_ = path;
  temp_ = ULO_FreshTempPathSys(path);
  rate_ = sampleRate;
  channels_ = channels;
  data_ = 0;
  failed_ = false;
  file_ = std::fopen(temp_.c_str(), "wb");
  if (!file_) return false;
  // A placeholder until commit() knows the real size.
  uint8_t header[kJLWavHeaderBytes];
  JL_MakeWavHeader(header, rate_, channels_, 0);
  if (std::fwrite(header, 1, sizeof header, file_) != sizeof header) failed_ = true;
  return !failed_;
}

bool JLWavWriter::write(const int16_t* samples, size_t count) {
  if (!file_ || failed_) return false;
  if (count > (kMaxDataBytes - data_) / 2) {
    failed_ = true;
    return false;
  }
  std::vector<uint8_t> bytes(count * 2);
  for (size_t i = 0; i < count; ++i) put16(&bytes[i * 2], (uint16_t)samples[i]);
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    failed_ = true;
    return false;
  }
  data_ += (uint32_t)bytes.size();
  return true;
}

bool JLWavWriter::commit() {
  if (!file_ || failed_) {
    abandon();
    return false;
  }
  uint8_t header[kJLWavHeaderBytes];
  JL_MakeWavHeader(header, rate_, channels_, data_);
  bool ok = std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(header, 1, sizeof header, file_) == sizeof header;
  ok = std::fflush(file_) == 0 && ok;
  ok = fsync(fileno(file_)) == 0 && ok;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (ok) ok = std::rename(temp_.c_str(), path_.c_str()) == 0;
  if (!ok) std::remove(temp_.c_str());
  return ok;
}

void JLWavWriter::abandon() {
  if (!file_) return;
  std::fclose(file_);
  file_ = nullptr;
  std::remove(temp_.c_str());
}

JLConvertResult JL_DecompressLoop(const std::string& source, const std::string& destination) {
  WavChunks chunks;
  // One descriptor for both passes, and only of a regular file: a FIFO or
  // device on the package disk must not hold the installer.
  const int fd = ULO_OpenRegularSystemFile(source.c_str(), O_RDONLY);
  if (fd < 0) return JLConvertResult::unreadable;
  if (std::FILE* raw = fdopen(dup(fd), "rb")) {
    chunks = scanChunks(raw);
    std::fclose(raw);
  }
  if (chunks.truncated || lseek(fd, 0, SEEK_SET) != 0) {
    close(fd);
    return JLConvertResult::corrupt;
  }
  SF_INFO info = {};
  SndFileCloser in{sf_open_fd(fd, SFM_READ, &info, SF_TRUE)};
  if (!in.f || info.channels < 1 || info.channels > 0xFFFF || info.samplerate < 1 || info.frames <= 0)
    return JLConvertResult::unreadable;
  // Only a length within the padded last block is believed; anything else
  // is a broken fact chunk, and the decoded length stands.
  sf_count_t keep = info.frames;
  if (chunks.samplesPerBlock > 0 && chunks.factFrames > 0 && chunks.factFrames <= info.frames &&
      info.frames - chunks.factFrames < (sf_count_t)chunks.samplesPerBlock)
    keep = chunks.factFrames;
  if ((uint64_t)keep * (uint64_t)info.channels * 2u > kMaxDataBytes) return JLConvertResult::tooLarge;

  JLWavWriter out;
  if (!out.create(destination, (uint32_t)info.samplerate, (uint16_t)info.channels))
    return JLConvertResult::cannotWrite;
  const sf_count_t chunkFrames = 4096;
  std::vector<int16_t> buffer((size_t)(chunkFrames * info.channels));
  sf_count_t total = 0;
  for (;;) {
    sf_count_t got = sf_readf_short(in.f, buffer.data(), chunkFrames);
    if (got <= 0) break;
    const sf_count_t use = std::min(got, std::max<sf_count_t>(0, keep - total));
    if (use > 0 && !out.write(buffer.data(), (size_t)(use * info.channels))) return JLConvertResult::cannotWrite;
    total += got;
  }
  // A decoder that stops short of the frame count its header promised, or
  // says it failed, has met damaged data: better no loop than a broken one.
  if (sf_error(in.f) != SF_ERR_NO_ERROR || total != info.frames) return JLConvertResult::corrupt;
  return out.commit() ? JLConvertResult::ok : JLConvertResult::cannotWrite;
}

int64_t JL_DecodedLoopBytes(const std::string& source) {
  SF_INFO info = {};
  SndFileCloser in{sf_open(source.c_str(), SFM_READ, &info)};
  if (!in.f || info.channels < 1 || info.frames <= 0) return 0;
  return kJLWavHeaderBytes + (int64_t)info.frames * info.channels * 2;
}

bool JL_WriteImaAdpcmWav(const std::string& path, const int16_t* samples, int64_t frames, int channels,
                         int sampleRate) {
  SF_INFO info = {};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  bool ok = sf_writef_short(f, samples, frames) == frames;
  ok = sf_close(f) == 0 && ok;
  if (!ok || frames > 0xFFFFFFFFll) return false;
  std::FILE* raw = std::fopen(path.c_str(), "r+b");
  if (!raw) return false;
  const WavChunks chunks = scanChunks(raw);
  uint8_t value[4];
  put32(value, (uint32_t)frames);
  if (chunks.factOffset >= 0)
    ok = std::fseek(raw, chunks.factOffset, SEEK_SET) == 0 && std::fwrite(value, 1, 4, raw) == 4;
  ok = std::fclose(raw) == 0 && ok;
  return ok;
}
