#include "song/JLMixDocument.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/files/uloFiles.h"
#include "core/files/uloPathNames.h"
#include "core/files/uloPathPolicy.h"
#include "song/jlSongMessages.h"

JLMixExtras JL_GetMixExtras(const JLIceimage& image) {
  JLMixExtras e;
  e.kept = (image.unused[0] & 1) != 0;
  if (!e.kept) return e;
  e.synthOn = (image.unused[0] & 2) != 0;
  e.mutedTracks = image.unused[1];
  e.randomSet = image.unused[2] > 0 && image.unused[2] < 128 ? int16_t(image.unused[2] - 1) : int16_t(-1);
  e.masterVolume = image.unused[3] > 0 && image.unused[3] <= 128 ? int16_t(image.unused[3] - 1) : int16_t(-1);
  return e;
}

void JL_PutMixExtras(JLIceimage& image, const JLMixExtras& e) {
  image.unused[0] = uint8_t(1 | (e.synthOn ? 2 : 0));
  image.unused[1] = e.mutedTracks;
  image.unused[2] = e.randomSet >= 0 && e.randomSet < 127 ? uint8_t(e.randomSet + 1) : uint8_t(0);
  image.unused[3] = e.masterVolume >= 0 && e.masterVolume <= 127 ? uint8_t(e.masterVolume + 1) : uint8_t(0);
}

JLMixReadResult JL_ReadMixImage(uloAtomsFile& file, JLIceimage& image) {
  image.valid = 0;
  int32_t version = 0;
  if (!file.read(kJLAtomVersion, &version) || version != kJLMixDocumentVersion)
    return JLMixReadResult::otherVersion;
  uint8_t raw[kJLIceimageBytes];
  if (!file.read(kJLAtomIceimage, kJLIceimageBytes, raw)) return JLMixReadResult::otherVersion;
  JL_GetIceimage(raw, image);
  return JLMixReadResult::ok;
}

JLMixReadResult JL_ReadMixDocument(const char* path, JLIceimage& image, uint8_t* synth, bool* synthOk) {
  if (synthOk) *synthOk = false;
  uloAtomsFile file;
  if (!file.openForRead(path)) {
    JL_SongMessage(kJLMsgMixDocumentUnreadable);
    return JLMixReadResult::unreadable;
  }
  JLMixReadResult r = JL_ReadMixImage(file, image);
  if (r == JLMixReadResult::ok && synth) {
    uint8_t block[kJLSynthBlockBytes];
    if (file.read(kJLAtomSynth, kJLSynthBlockBytes, block)) {
      memcpy(synth, block, sizeof block);
      if (synthOk) *synthOk = true;
    }
  }
  file.close();
  return r;
}

void JL_BuildMixDocument(const JLIceimage& image, const uint8_t* synth, uloAtomsWriter& out) {
  uint8_t raw[kJLIceimageBytes];
  JL_PutIceimage(image, raw);
  out.add(kJLAtomVersion, kJLMixDocumentVersion);
  out.add(kJLAtomIceimage, raw, kJLIceimageBytes);
  static const uint8_t noSynth[kJLSynthBlockBytes] = {};
  out.add(kJLAtomSynth, synth ? synth : noSynth, kJLSynthBlockBytes);
}

bool JL_WriteMixDocument(const char* path, const JLIceimage& image, const uint8_t* synth) {
  uloAtomsWriter out;
  JL_BuildMixDocument(image, synth, out);
  return out.save(path);
}

bool JL_IsSafeSongName(const char* name) {
  return ULO_IsSingleName(name) && ULO_PathInside(":Library:Song:", name);
}

bool JL_MixSongFolder(const JLIceimage& image, char* folder, size_t folderSize) {
  char name[JLIceimage::kSongNameSize];
  memcpy(name, image.songName, sizeof name);
  name[sizeof name - 1] = 0;
  if (folder && folderSize) folder[0] = 0;
  char path[kUloPathMax];
  std::string refused;
  if (!ULO_IsSingleName(name) || !ULO_PathInside(":Library:Song:", name, path, sizeof path - 1, &refused)) {
    if (refused.empty()) refused = ULO_RefusedNameMessage(name, "it is not a plain file or folder name");
    JL_SongMessage(kJLMsgNameRefused, refused.c_str());
    return false;
  }
  strcat(path, ":");
  if (ULO_FileIsFolder(path) && folder && strlen(path) < folderSize) {
    memcpy(folder, path, strlen(path) + 1);
    return true;
  }
  JL_SongMessage(kJLMsgSongNotInstalled, name);
  return false;
}
