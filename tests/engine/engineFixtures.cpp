#include "engine/engineFixtures.h"

#include <cstring>

#include "engine/AudioFormat.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"

namespace enginetest {

namespace {
void put16(std::string& s, int v) {
  s.push_back(char(v & 0xff));
  s.push_back(char((v >> 8) & 0xff));
}
void put32(std::string& s, int64_t v) {
  for (int k = 0; k < 4; ++k) s.push_back(char((uint64_t(v) >> (8 * k)) & 0xff));
}
std::string header(int channels, int64_t dataBytes) {
  std::string s = "RIFF";
  put32(s, 36 + dataBytes);
  s += "WAVEfmt ";
  put32(s, 16);
  put16(s, 1);
  put16(s, channels);
  put32(s, 44100);
  put32(s, 44100 * 2 * (channels > 0 ? channels : 1));
  put16(s, 2 * (channels > 0 ? channels : 1));
  put16(s, 16);
  s += "data";
  put32(s, dataBytes);
  return s;
}
}  // namespace

std::string wavFrom(const std::vector<int16_t>& interleaved, int channels) {
  std::string s = header(channels, int64_t(interleaved.size()) * 2);
  for (int16_t v : interleaved) put16(s, v);
  return s;
}

std::string wavBytes(int id, int frames, int channels, int64_t dataBytesOverride) {
  std::vector<int16_t> d;
  for (int i = 0; i < frames; ++i) {
    d.push_back(marker(id, i));
    if (channels == 2) d.push_back(int16_t(-marker(id, i)));
  }
  std::string s = wavFrom(d, channels);
  if (dataBytesOverride >= 0 || dataBytesOverride < -1) {
    std::string h;
    put32(h, dataBytesOverride);
    s.replace(40, 4, h);
  }
  return s;
}

Harness::Harness(int songBpm) {
  StopPlay();
  SetRealtimeFreq(44100);
  SetSongBPM(songBpm);
  ResetSongVTracks();
  MasterVolume(128);
  wDBSetManualFeed(true);
  BeginPlay();
}

Harness::~Harness() {
  StopPlay();
  wDBSetManualFeed(false);
  ResetSongVTracks();
}

int Harness::addLoop(int id, int frames, int divisor, int channels) {
  return addFile("loop" + std::to_string(next_) + ".wav", wavBytes(id, frames, channels), divisor);
}

int Harness::addFile(const std::string& name, const std::string& bytes, int divisor) {
  folder.write(name, bytes);
  AddSongVTrack(folder.file(name).c_str(), divisor, 0);
  ++next_;
  return NumVTracks.load();
}

void Harness::block(std::vector<int16_t>& out) {
  const size_t at = out.size();
  out.resize(at + 2 * kMixBlock);
  GetSamples(out.data() + at, kMixBlock);
  LoaderVisitAll();
}

void Harness::blocks(int n, std::vector<int16_t>& out) {
  for (int i = 0; i < n; ++i) block(out);
}

void Harness::runTo(int32_t pos, std::vector<int16_t>& out) {
  while (TimeLine.load() < pos) block(out);
}

}  // namespace enginetest
