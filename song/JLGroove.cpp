#include "song/JLGroove.h"

#include <cmath>
#include <cstring>

#include "framework/res/uloSwap.h"
#include "song/JLSongLibrary.h"

JLSequence::JLSequence() {
  for (auto& g : grooves) g.reset();
  for (auto& s : steps) s = 0;
  grooveCount = stepCount = userStepCount = 0;
}

int16_t JLSequence::nextGrooveId() const {
  int16_t largest = 0;
  for (int i = 0; i < grooveCount && i < kMaxGrooves; ++i)
    if (grooves[i].id > largest) largest = grooves[i].id;
  return largest < INT16_MAX ? (int16_t)(largest + 1) : largest;
}

int16_t JLSequence::store(JLGroove& current) {
  if (grooveCount < 0 || grooveCount >= kMaxGrooves) return 0;
  current.id = nextGrooveId();
  grooves[grooveCount++] = current;
  return current.id;
}

bool JLSequence::removeGroove(int16_t index) {
  if (index < 0 || index >= grooveCount) return false;
  for (int i = index; i + 1 < grooveCount; ++i) grooves[i] = grooves[i + 1];
  grooves[--grooveCount].reset();
  return true;
}

int16_t JLSequence::findGroove(int16_t id) const {
  if (id == 0) return -1;
  for (int16_t i = 0; i < grooveCount && i < kMaxGrooves; ++i)
    if (grooves[i].id == id) return i;
  return -1;
}

int16_t JLSequence::addAllToSteps() {
  int16_t added = 0;
  for (int i = 0; i < grooveCount && stepCount < kMaxSteps; ++i, ++added) steps[stepCount++] = grooves[i].id;
  return added;
}

bool JLSequence::clearSteps() {
  if (stepCount <= 0) return false;
  stepCount = 0;
  return true;
}

bool JLSequence::advance(int16_t& stepIndex, JLGroove& current) const {
  if (stepCount <= 0) return false;
  stepIndex = (stepIndex < 0 || stepIndex + 1 >= stepCount) ? 0 : (int16_t)(stepIndex + 1);
  int16_t g = findGroove(steps[stepIndex]);
  if (g < 0) return false;
  current = grooves[g];
  return true;
}

void JLSequence::stretchToUser() {
  if (userStepCount == 0) {
    userStepCount = stepCount;
    return;
  }
  if (userStepCount > kMaxSteps) userStepCount = kMaxSteps;
  if (userStepCount < 0) userStepCount = 0;
  // With no stored groove there is nothing to repeat.
  if (grooveCount <= 0) {
    stepCount = 0;
    return;
  }
  stepCount = userStepCount;
  for (int i = 0; i < userStepCount; ++i) steps[i] = grooves[i % grooveCount].id;
}

JLIceimage::JLIceimage() {
  valid = 0;
  memset(songName, 0, sizeof songName);
  selectedTrack = 0;
  bpm = 0;
  memset(unused, 0, sizeof unused);
}

// ---- stored form ----

namespace {

constexpr size_t kSequenceAt = 66;
constexpr size_t kGrooveAt = 8592;
constexpr size_t kSelectedAt = 8722;
constexpr size_t kBpmAt = 8724;

int16_t clamp16(int16_t v, int16_t lo, int16_t hi) { return v < lo ? lo : v > hi ? hi : v; }
int16_t inRangeOrNone(int16_t v, int16_t count) { return v >= 0 && v < count ? v : -1; }

void putGroove(const JLGroove& g, uint8_t* p) {
  for (int t = 0; t < JLGroove::kTracks; ++t, p += kJLTrackBytes) {
    ULO_PutLE16(p, g.tracks[t].volume);
    ULO_PutLE16(p + 2, g.tracks[t].pan);
    ULO_PutLE16(p + 4, g.tracks[t].group);
    ULO_PutLE16(p + 6, g.tracks[t].variant);
  }
  ULO_PutLE16(p, g.id);
}

void getGroove(const uint8_t* p, JLGroove& g) {
  for (int t = 0; t < JLGroove::kTracks; ++t, p += kJLTrackBytes) {
    JLTrack& tr = g.tracks[t];
    tr.volume = clamp16(ULO_GetLE16(p), 0, 127);
    tr.pan = clamp16(ULO_GetLE16(p + 2), -64, 63);
    tr.group = inRangeOrNone(ULO_GetLE16(p + 4), kJLMaxGroups);
    tr.variant = inRangeOrNone(ULO_GetLE16(p + 6), kJLMaxVariants);
  }
  g.id = ULO_GetLE16(p);
}

void putSequence(const JLSequence& s, uint8_t* p) {
  for (int i = 0; i < JLSequence::kMaxGrooves; ++i) putGroove(s.grooves[i], p + i * kJLGrooveBytes);
  ULO_PutLE16(p + 8320, s.grooveCount);
  for (int i = 0; i < JLSequence::kMaxSteps; ++i) ULO_PutLE16(p + 8322 + 2 * i, s.steps[i]);
  ULO_PutLE16(p + 8522, s.stepCount);
  ULO_PutLE16(p + 8524, s.userStepCount);
}

void getSequence(const uint8_t* p, JLSequence& s) {
  for (int i = 0; i < JLSequence::kMaxGrooves; ++i) getGroove(p + i * kJLGrooveBytes, s.grooves[i]);
  s.grooveCount = clamp16(ULO_GetLE16(p + 8320), 0, JLSequence::kMaxGrooves);
  for (int i = 0; i < JLSequence::kMaxSteps; ++i) s.steps[i] = ULO_GetLE16(p + 8322 + 2 * i);
  s.stepCount = clamp16(ULO_GetLE16(p + 8522), 0, JLSequence::kMaxSteps);
  s.userStepCount = clamp16(ULO_GetLE16(p + 8524), 0, JLSequence::kMaxSteps);
}

}  // namespace

void JL_PutIceimage(const JLIceimage& image, uint8_t* out) {
  out[0] = image.valid;
  memcpy(out + 1, image.songName, JLIceimage::kSongNameSize);
  putSequence(image.sequence, out + kSequenceAt);
  putGroove(image.groove, out + kGrooveAt);
  ULO_PutLE16(out + kSelectedAt, image.selectedTrack);
  uint32_t bits;
  memcpy(&bits, &image.bpm, sizeof bits);
  ULO_PutLE32(out + kBpmAt, bits);
  memcpy(out + kBpmAt + 4, image.unused, sizeof image.unused);
}

void JL_GetIceimage(const uint8_t* in, JLIceimage& image) {
  image.valid = in[0];
  memcpy(image.songName, in + 1, JLIceimage::kSongNameSize);
  image.songName[JLIceimage::kSongNameSize - 1] = 0;
  getSequence(in + kSequenceAt, image.sequence);
  getGroove(in + kGrooveAt, image.groove);
  int16_t sel = ULO_GetLE16(in + kSelectedAt);
  image.selectedTrack = sel >= 0 && sel < 8 ? sel : 0;
  uint32_t bits = ULO_GetLEU32(in + kBpmAt);
  float bpm;
  memcpy(&bpm, &bits, sizeof bpm);
  image.bpm = std::isfinite(bpm) && bpm > 0 ? bpm : 0.0f;
  memcpy(image.unused, in + kBpmAt + 4, sizeof image.unused);
}
