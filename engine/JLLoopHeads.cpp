#include "engine/JLLoopHeads.h"

#include <cstring>
#include <string>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"

namespace {

struct Head {
  std::string path;  // the file it was decoded from
  int16_t* frames = nullptr;
  int32_t count = 0;
};

Head heads[kVTracks];
// Replaced or forgotten heads: the mixer may still hold a pointer into one
// until the output stops.
std::vector<int16_t*> retired;

void retire(Head& h) {
  if (h.frames) retired.push_back(h.frames);
  h.frames = nullptr;
  h.count = 0;
  h.path.clear();
}

}  // namespace

int JL_LoopHeadDecode(int variant, const char* path) {
  if (variant < 0 || variant >= kVTracks) return 0;
  Head& h = heads[variant];
  retire(h);
  // Nothing is freed while the output may read it; a stopped engine frees
  // at once what an earlier song left.
  if (PlayingStatus.load() != 2) JL_LoopHeadsRelease();
  if (!path || !path[0]) return 0;
  WaveInfo info;
  WaveFile* w = OpenWave(path, &info);
  // The loader refuses a file at another rate; the head must never play
  // what the loader would not.
  if (!w || info.rate != SAMPFREQ || info.frames <= 0) {
    CloseWave(w);
    return 0;
  }
  const int64_t want = info.frames < kLoopHeadFrames ? info.frames : kLoopHeadFrames;
  int16_t* buf = static_cast<int16_t*>(M_alloc(long(want) * 4));
  const int got = buf ? ReadWave(w, buf, int(want), 2) : 0;
  CloseWave(w);
  if (got <= 0) {
    M_free(buf);
    return 0;
  }
  h.frames = buf;
  h.count = got;
  h.path = path;
  return got;
}

bool JL_LoopHead(int variant, const char* path, const int16_t** frames, int32_t* count) {
  if (variant < 0 || variant >= kVTracks || !path) return false;
  const Head& h = heads[variant];
  if (!h.frames || h.path != path) return false;
  *frames = h.frames;
  *count = h.count;
  return true;
}

void JL_LoopHeadsForget() {
  for (Head& h : heads) retire(h);
  if (PlayingStatus.load() != 2) JL_LoopHeadsRelease();
}

void JL_LoopHeadsRelease() {
  for (int16_t* p : retired) M_free(p);
  retired.clear();
}

int64_t JL_LoopHeadsBytes() {
  int64_t n = 0;
  for (const Head& h : heads) n += int64_t(h.count) * 4;
  return n;
}
