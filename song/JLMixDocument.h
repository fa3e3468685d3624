// Mix documents (".jld"): an atoms file holding 'vers' (1), 'iced' (the
// 8732-byte ice image) and 'syic' (the synth panel's 3308-byte settings).
// Reading goes through a temporary buffer, so an image is only replaced by
// a complete one; writing produces exactly what the reader takes and
// replaces an old file only once the new one is complete.
//
// User-interface thread. Failures: results, plus the numbered messages of
// jlSongMessages.h where the user must be told.
#pragma once
#include <cstddef>
#include <cstdint>

#include "song/JLGroove.h"
#include "song/uloAtomsFiles.h"

constexpr uint32_t kJLAtomVersion = ULO_AtomTag("vers");
constexpr uint32_t kJLAtomIceimage = ULO_AtomTag("iced");
constexpr uint32_t kJLAtomSynth = ULO_AtomTag("syic");
constexpr int32_t kJLMixDocumentVersion = 1;
constexpr int32_t kJLSynthBlockBytes = 3308;

enum class JLMixReadResult {
  ok,            // image (and synth block, when present) read
  unreadable,    // missing file, no magic: message 4 has been reported
  otherVersion,  // not version 1 or no image: nothing read, image invalid
};

// What a document keeps of the working state besides the image's named
// fields, in the image's four spare bytes (offset 8728): byte 0 bit 0 says
// they are kept (documents written before hold zeros there and read as
// `kept` false), bit 1 that the synth played; byte 1 the muted tracks 0..7
// (bit t); byte 2 the random set last used plus one (0: none); byte 3 the
// master volume plus one (0: not kept, as in documents saved before it was,
// which then leave the master volume as it is).
struct JLMixExtras {
  bool kept = false;
  bool synthOn = false;
  uint8_t mutedTracks = 0;
  int16_t randomSet = -1;  // -1 none, else 0..126
  int16_t masterVolume = -1;  // -1 not kept, else 0..127
};
JLMixExtras JL_GetMixExtras(const JLIceimage& image);
void JL_PutMixExtras(JLIceimage& image, const JLMixExtras& extras);

// After 'vers' and 'iced' of an opened document: the image on success, else
// the image's valid byte cleared and the rest unchanged. The synth panel
// reads 'syic' from the same file afterwards.
JLMixReadResult JL_ReadMixImage(uloAtomsFile& file, JLIceimage& image);
// The whole document. synthOk (optional) tells whether 'syic' was read.
JLMixReadResult JL_ReadMixDocument(const char* path, JLIceimage& image, uint8_t* synth,
                                   bool* synthOk = nullptr);
// The bytes of a document and its atomic save.
void JL_BuildMixDocument(const JLIceimage& image, const uint8_t* synth, uloAtomsWriter& out);
bool JL_WriteMixDocument(const char* path, const JLIceimage& image, const uint8_t* synth);

// A song name that is one plain name (see ULO_IsSingleName) and stays in
// ":Library:Song:" of the current program folder after following links.
bool JL_IsSafeSongName(const char* name);
// The image's song folder ":Library:Song:<name>:". False, after reporting
// a refusal that names it when the name is not a plain one or leads out of
// the song library (also through a symbolic link), or message 17 with the
// name when the folder is not installed.
bool JL_MixSongFolder(const JLIceimage& image, char* folder, size_t folderSize);
