// The song in memory: title, tempo, instrument groups of loop variants,
// random sets and mix styles, read from a song descriptor ("*.jls").
//
// Descriptors come in two versions. Version 1.2 starts with a line whose
// first token is the marker below; anything else is read as version 1.0.
// The marker line may carry further text after the token (ignored), e.g.
//
//   JAMLOOM-JLS-1.2 song descriptor
//   SONGLIBRARY: Demo
//   SONGTITLE: Night Drive
//   SONGDESCRIPTION: Two lines
//   of description
//   SONGBPM: 125
//   SONGMIX: 0
//   ARPNOTE: C3 E3 G3
//   LONGCOMMAND: CATEGORYLIST: 2
//   drums
//   bass
//   ENDCOMMAND:
//   LONGCOMMAND: RANDOMSET: 1
//   full 2 drums bass
//   ENDCOMMAND:
//   LONGCOMMAND: SONGTRACKS: 2
//   drums01 100 63 1 Beat
//   bass01 90 60 2 Low
//   ENDCOMMAND:
//   LONGCOMMAND: SONGVMIX: 2 1 intro
//   drums
//   bass
//   0 1 -1 -1 -1 -1 -1 -1
//   ENDCOMMAND:
//
// Every text and table is bounded: longer texts are cut, entries beyond the
// tables are dropped, group names that match no group give -1.
//
// User-interface thread. A failed load leaves the object holding whatever it
// had read (callers treat false as "no song").
#pragma once
#include <cstddef>
#include <cstdint>

class JLJlsParser;

// First token of a version-1.2 descriptor. The demo-song generator writes
// the same token.
constexpr const char* kJlsVersion12Marker = "JAMLOOM-JLS-1.2";

constexpr int kJLMaxGroups = 32;
constexpr int kJLMaxVariants = 64;
constexpr int kJLMaxRandomSets = 4;
constexpr int kJLRandomSetMembers = 8;
constexpr int kJLMaxStyles = 4;
constexpr int kJLStyleSlots = 32;
constexpr int kJLStyleRows = 64;
constexpr int kJLStyleTracks = 8;
// The engine's sample list holds this many loops; a song never registers more.
constexpr int kJLMaxLoops = 512;

// A descriptor's pan (0..127, 63 centre) as a track's pan (0 centre,
// negative to the left), the unit of JLTrack and the engine facade.
inline int16_t JL_TrackPanOfSongPan(int16_t songPan) { return int16_t(songPan - 63); }

struct JLSongGroup {
  char name[32];
  int16_t count;
  char files[kJLMaxVariants][32];
  char labels[kJLMaxVariants][32];
  int16_t sampleIndex[kJLMaxVariants];
  int16_t volume[kJLMaxVariants];
  int16_t pan[kJLMaxVariants];
  int16_t divisor[kJLMaxVariants];

  // Empty name, no variants, every slot empty (sampleIndex -1).
  void clear();
};

struct JLRandomSet {
  int16_t count;
  int16_t members[kJLRandomSetMembers];
  char name[64];
};

struct JLMixStyle {
  int16_t slots[kJLStyleSlots];
  // Index into `slots` per row and track, or -1 for silence; always within
  // 0 .. slotCount - 1 after loading.
  int16_t rows[kJLStyleRows][kJLStyleTracks];
  int16_t slotCount;
  int16_t rowCount;
  char name[32];
};

class JLSongLibrary {
 public:
  JLSongLibrary();

  // Finds and reads the descriptor of the song folder (internal path ending
  // with ':'): ":Library:Jls:<name>.jls", the folder's own "*.jls", its
  // "info.jls" (either version), then "<three levels up>JLS:JLS44:<name>.jls".
  // False when none is found; the song loaded before is then untouched.
  bool load(const char* songFolder);
  // Holds no song any more (its folder has gone).
  void forget();
  bool load_12(JLJlsParser* parser, const char* songFolder);
  bool load_10(JLJlsParser* parser, const char* songFolder);

  // Enters one loop; the file name ends in its two-digit variant number
  // (01..64). False, and nothing stored, for a name without one, a full
  // group table or a track index beyond the loop table.
  bool add(const char* file, int16_t trackIndex, const char* label, int16_t volume, int16_t pan,
           int16_t divisor);
  // Appends an empty group; its number, or -1 when the table is full.
  int16_t addGroup(const char* name);
  int16_t getGroupIndex(const char* name) const;
  // The variant's label; " ---" for -1 or any number outside the song.
  const char* getIndexStr(int16_t group, int16_t variant) const;
  // The label of the variant registered under a track index, or null.
  const char* getGroupAndIndex(int16_t trackIndex, int16_t* group = nullptr,
                               int16_t* variant = nullptr) const;
  // Appends a file of the song's "User:" folder as the next variant of the
  // group "User" (created on first use) with the next track index. False
  // when a table is full.
  bool addUserLoop(const char* fileName);

  // 0 when equal ignoring ASCII case.
  static int strcasecmp(const char* a, const char* b);
  static bool isEndingwith(const char* text, const char* tail);

  JLSongGroup groups[kJLMaxGroups];
  int16_t groupCount;
  JLRandomSet randomSets[kJLMaxRandomSets];
  int16_t randomSetCount;
  JLMixStyle styles[kJLMaxStyles];
  int16_t styleCount;
  int16_t songBpm;
  char arpNote[64];
  char songTitle[64];
  char songFolderName[64];
  char songLibraryName[64];
  char songDescription[2048];
  char parserInfo[32];
  int16_t songMix;
  int16_t categoryCount;
  int16_t trackCount;
  uint8_t headerOnly;

 private:
  // Empties everything a descriptor sets, so no count or slot of the
  // previous song survives a load.
  void clearSong(const char* songFolder, const char* info);
  void readRandomSets(JLJlsParser* p);
  void readTracks(JLJlsParser* p);
  void readStyles(JLJlsParser* p);
  void buildOldRandomSets();
  void buildOldStyles();

  // The group that "User" loops go to in this load, or -1 before the first.
  int16_t userGroup_ = -1;
};
