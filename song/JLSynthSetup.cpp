#include "song/JLSynthSetup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/files/uloPath.h"
#include "core/files/uloPathPolicy.h"
#include "engine/JLEngine.h"

const char* const jlSynthStyles[kSynthPatterns] = {
    "xxxxxxxxxxxxxxxx", "x.xxx.x.xx.xxxxx", "xxx.x.x.xx.x.xxx", "xxx.xxx.xxxx.xxx", "xxxxxxxx.xxx.xxx",
    "xxxx.xxx.xx.x.xx", "xxxxx.xxxx.xxx.x", "xxxxx.xxxx.xx.xx", "xxxxx.x.xx.x.xxx", "xx.xx.x.xx.xxxxx",
    "xx.xxxx.xx.xxxx.", "xx.xxxxxxx.xx.x.", "xx.xxx.xxx.xx.x.", "x.xxxx..x.xxx.x.", "xxxxxx..xxxxx.x.",
    "xxxxx.xx..xxx.x.", "xxxxx.xx..xxx...", "xxxx.x.xx.xxxxxx", "xx.xxx.xx.xxxxxx", "xx.xxx.xx.xxx..x",
    "xx.x.xx.x.xx.x.x", "xxxx.xxxx.xxxx..", "xxx.x.x.x.x.xxxx", "xxx.x.x.x.x.xxx.", "xxx.x.x.xxx.x.x.",
    "xxx.xxx.xxx.xxx.", "x.x.xx..x.xx..x.", "x...x.x.xxxx..x.", "x.x.xxxxx.x.x.x.", "x.x.x..xxx.xxxx.",
    "xxxx.x.xxx.xxxx.", "xx.x.x.x.x.xxx..", "xx.xxxx.xx.xxxx.",
};

namespace {
const char* const kPitchNames[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};
}  // namespace

int16_t JL_SynthStepsPerBeat(int16_t arpSpeed) {
  static const int16_t kStepsPerBeat[4] = {1, 2, 4, 8};
  return kStepsPerBeat[std::clamp<int16_t>(arpSpeed, 0, 3)];
}

bool JL_SynthHasNotes(const SynthSetup& s) {
  for (int16_t n : s.notes)
    if (n) return true;
  return false;
}

namespace {

void putLE16(uint8_t*& p, int16_t v) {
  *p++ = uint8_t(v & 0xFF);
  *p++ = uint8_t((uint16_t(v) >> 8) & 0xFF);
}

int16_t getLE16(const uint8_t*& p) {
  const int16_t v = int16_t(uint16_t(p[0]) | uint16_t(p[1]) << 8);
  p += 2;
  return v;
}

}  // namespace

void JL_WriteSynthSetup(uint8_t*& p, const SynthSetup& s) {
  for (int16_t n : s.notes) putLE16(p, n);
  putLE16(p, s.volume);
  putLE16(p, s.pan);
  putLE16(p, s.arpMode);
  putLE16(p, s.arpProg);
  putLE16(p, s.arpSpeed);
  std::memcpy(p, s.synthName, kSynthNameBytes);
  p += kSynthNameBytes;
}

// A document from elsewhere may hold anything: values are brought into the
// ranges the controls and tables take, and the name is terminated.
void JL_ReadSynthSetup(const uint8_t*& p, SynthSetup& s) {
  for (int16_t& n : s.notes) n = getLE16(p) ? 1 : 0;
  s.volume = std::clamp<int16_t>(getLE16(p), 0, 127);
  s.pan = std::clamp<int16_t>(getLE16(p), 0, 127);
  s.arpMode = std::clamp<int16_t>(getLE16(p), 0, 3);
  s.arpProg = std::clamp<int16_t>(getLE16(p), 0, kSynthPatterns - 1);
  s.arpSpeed = std::clamp<int16_t>(getLE16(p), 0, 3);
  std::memcpy(s.synthName, p, kSynthNameBytes);
  s.synthName[kSynthNameBytes - 1] = 0;
  p += kSynthNameBytes;
}

void JL_SynthArpText(const SynthSetup& s, char* out, int outSize) {
  if (!out || outSize <= 0) return;
  out[0] = 0;
  const int limit = std::min(outSize - 1, kSynthArpTextMax);
  char names[kSynthKeys][4];
  int n = 0;
  for (int k = 0; k < kSynthKeys; k++) {
    snprintf(names[k], sizeof names[k], "%s%d", kPitchNames[k % 12], 1 + k / 12);
    if (s.notes[k]) n++;
  }
  if (n == 0) return;
  int len = 0;
  // Appends whole steps only: a cut text still plays note by note.
  auto append = [&](const char* t) {
    const int l = int(std::strlen(t));
    if (len + l > limit) return false;
    std::memcpy(out + len, t, size_t(l));
    len += l;
    out[len] = 0;
    return true;
  };
  if (s.arpProg <= 0 || s.arpProg >= kSynthPatterns) {
    for (int k = 0; k < kSynthKeys; k++)
      if (s.notes[k] && !append(names[k])) return;
    return;
  }
  const char* pattern = jlSynthStyles[s.arpProg];
  int step = 0, count = 0;
  for (int k = 0;; k = (k + 1) % kSynthKeys) {
    if (!s.notes[k]) continue;
    if (!append(names[k])) return;
    count++;
    step = (step + 1) % 16;
    while (pattern[step] != 'x') {
      if (!append("  ")) return;
      step = (step + 1) % 16;
    }
    if (step == 0 && count % n == 0 && count > n) return;
  }
}

std::vector<std::string> JL_SynthFolderNames() {
  std::vector<std::string> names;
  uloFolderList list;
  list.set(kSynthFolder);
  list.filterFolders(false).filterDocuments(true);
  if (list.start()) {
    while (list.next() && names.size() < 180) {
      if (!list.itemIsFolder) continue;
      // Names that do not fit the setup's field could not be found again.
      if (std::strlen(list.name) >= size_t(kSynthNameBytes)) continue;
      names.emplace_back(list.name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool JL_StartDocumentSynth(JLEngine& engine, const uint8_t* block, int32_t size) {
  if (!block || size < kSynthIcedBytes) return false;
  SynthSetup setup{};
  const uint8_t* p = block;
  JL_ReadSynthSetup(p, setup);
  if (!JL_SynthHasNotes(setup)) return false;
  const std::vector<std::string> names = JL_SynthFolderNames();
  if (names.empty()) return false;
  // The program starts with the first listed set and takes the document's
  // only when it is listed and stays inside the library.
  std::string chosen = names.front();
  char path[kUloPathMax];
  if (setup.synthName[0] && std::find(names.begin(), names.end(), setup.synthName) != names.end() &&
      ULO_PathInside(kSynthFolder, setup.synthName, path, sizeof path - 1))
    chosen = setup.synthName;
  snprintf(path, sizeof path, "%s%s:", kSynthFolder, chosen.c_str());
  engine.synth_SetPoly(kSynthKeys);
  engine.synth_SetFolder(path);
  engine.synth_SetPan(setup.pan);
  engine.synth_SetVolume(setup.volume);
  char text[kSynthArpTextMax + 1];
  JL_SynthArpText(setup, text, sizeof text);
  engine.synth_Arp(setup.arpMode, JL_SynthStepsPerBeat(setup.arpSpeed), text);
  return true;
}
