#include "song/JLSongLibrary.h"

#include <cstdio>
#include <cstring>

#include "core/files/uloPathNames.h"
#include "core/files/uloPathPolicy.h"
#include "framework/platform/uloSys.h"
#include "song/JLJlsParser.h"

namespace {

constexpr int kTokenSize = 256;

int16_t clampCount(int16_t v, int16_t max) { return v < 0 ? 0 : v > max ? max : v; }

void upperFirst(char* text) {
  if (text[0] >= 'a' && text[0] <= 'z') text[0] = (char)(text[0] - 32);
}

bool is(const char* token, const char* keyword) { return strcmp(token, keyword) == 0; }

// "LONGCOMMAND: <name>" on the next line. The line is consumed either way:
// a missing block costs the line read in its place.
// A line that opens another block (an optional block is missing) is kept
// for the reader of the next block; any other line stands in for the block.
bool blockStart(JLJlsParser* p, const char* name) {
  char tok[kTokenSize];
  if (!p->next() || !p->getStr(tok, sizeof tok) || !is(tok, "LONGCOMMAND:")) return false;
  if (p->getStr(tok, sizeof tok) && is(tok, name)) return true;
  p->keepLine();
  return false;
}

// Reads one header line "<keyword> ..." and leaves the parser after the
// keyword. False when the line is missing or starts with another keyword.
bool headerLine(JLJlsParser* p, const char* keyword) {
  char tok[kTokenSize];
  return p->next() && p->getStr(tok, sizeof tok) && is(tok, keyword);
}

void appendText(char* dst, size_t dstSize, const char* text) {
  ULO_File_AddToPath(dst, dstSize, text);
}

}  // namespace

void JLSongGroup::clear() {
  name[0] = 0;
  count = 0;
  for (int i = 0; i < kJLMaxVariants; ++i) {
    files[i][0] = 0;
    labels[i][0] = 0;
    sampleIndex[i] = -1;
    volume[i] = 0;
    pan[i] = 0;
    divisor[i] = 1;
  }
}

JLSongLibrary::JLSongLibrary() {
  for (auto& g : groups) g.clear();
  headerOnly = 0;
  clearSong("", "");
}

int JLSongLibrary::strcasecmp(const char* a, const char* b) {
  if (!a || !b) return a == b ? 0 : 1;
  for (;; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = (char)(x + 32);
    if (y >= 'A' && y <= 'Z') y = (char)(y + 32);
    if (x != y) return (unsigned char)x < (unsigned char)y ? -1 : 1;
    if (!x) return 0;
  }
}

bool JLSongLibrary::isEndingwith(const char* text, const char* tail) {
  if (!text || !tail) return false;
  size_t n = strlen(text), m = strlen(tail);
  return m <= n && strcasecmp(text + n - m, tail) == 0;
}

void JLSongLibrary::clearSong(const char* songFolder, const char* info) {
  arpNote[0] = songTitle[0] = songDescription[0] = songLibraryName[0] = songFolderName[0] = 0;
  groupCount = randomSetCount = styleCount = trackCount = categoryCount = 0;
  songBpm = songMix = 0;
  for (auto& s : randomSets) {
    s.count = 0;
    s.name[0] = 0;
    for (auto& m : s.members) m = -1;
  }
  for (auto& st : styles) {
    st.slotCount = st.rowCount = 0;
    st.name[0] = 0;
    for (auto& s : st.slots) s = -1;
    for (auto& row : st.rows)
      for (auto& v : row) v = -1;
  }
  ULO_File_GetParentName(songFolder, songFolderName, sizeof songFolderName);
  ULO_StrCopy(parserInfo, sizeof parserInfo, info);
}

void JLSongLibrary::forget() {
  clearSong("", "");
  userGroup_ = -1;
}

int16_t JLSongLibrary::addGroup(const char* name) {
  if (groupCount >= kJLMaxGroups) return -1;
  JLSongGroup& g = groups[groupCount];
  // A reused record must not show the variants of an earlier song.
  g.clear();
  ULO_StrCopy(g.name, sizeof g.name, name);
  return groupCount++;
}

int16_t JLSongLibrary::getGroupIndex(const char* name) const {
  if (!name) return -1;
  // Compared as stored: names are cut to the field.
  char cut[sizeof groups[0].name];
  ULO_StrCopy(cut, sizeof cut, name);
  for (int16_t g = 0; g < groupCount; ++g)
    if (strcasecmp(groups[g].name, cut) == 0) return g;
  return -1;
}

const char* JLSongLibrary::getIndexStr(int16_t group, int16_t variant) const {
  if (group < 0 || group >= groupCount || variant < 0 || variant >= kJLMaxVariants) return " ---";
  return groups[group].labels[variant];
}

const char* JLSongLibrary::getGroupAndIndex(int16_t trackIndex, int16_t* group, int16_t* variant) const {
  for (int16_t g = 0; g < groupCount; ++g) {
    const JLSongGroup& grp = groups[g];
    for (int16_t v = 0; v < grp.count && v < kJLMaxVariants; ++v) {
      if (grp.sampleIndex[v] != trackIndex) continue;
      if (group) *group = g;
      if (variant) *variant = v;
      return grp.labels[v];
    }
  }
  return nullptr;
}

bool JLSongLibrary::add(const char* file, int16_t trackIndex, const char* label, int16_t volume,
                        int16_t pan, int16_t divisor) {
  if (!file || trackIndex < 0 || trackIndex >= kJLMaxLoops) return false;
  size_t len = strlen(file);
  // At least one character of group name and two digits of variant.
  if (len < 3) return false;
  // A loop name is a file of the song's folder, never a path out of it.
  if (!ULO_IsSingleName(file)) return false;
  char d1 = file[len - 2], d2 = file[len - 1];
  if (d1 < '0' || d1 > '9' || d2 < '0' || d2 > '9') return false;
  int number = (d1 - '0') * 10 + (d2 - '0');
  if (number < 1 || number > kJLMaxVariants) return false;

  char groupName[sizeof groups[0].name];
  size_t nameLen = len - 2 < sizeof groupName - 1 ? len - 2 : sizeof groupName - 1;
  memcpy(groupName, file, nameLen);
  groupName[nameLen] = 0;
  int16_t g = getGroupIndex(groupName);
  if (g < 0) g = addGroup(groupName);
  if (g < 0) return false;

  JLSongGroup& grp = groups[g];
  grp.count = (int16_t)number;
  int slot = number - 1;
  ULO_StrCopy(grp.files[slot], sizeof grp.files[slot], file);
  grp.sampleIndex[slot] = trackIndex;
  grp.volume[slot] = volume;
  grp.pan[slot] = pan;
  grp.divisor[slot] = divisor;
  if (label && label[0])
    ULO_StrCopy(grp.labels[slot], sizeof grp.labels[slot], label);
  else
    snprintf(grp.labels[slot], sizeof grp.labels[slot], "[%03d]", trackIndex);
  return true;
}

bool JLSongLibrary::addUserLoop(const char* fileName) {
  if (!fileName || trackCount < 0 || trackCount >= kJLMaxLoops) return false;
  if (userGroup_ < 0) {
    userGroup_ = addGroup("User");
    if (userGroup_ < 0) return false;
  }
  JLSongGroup& grp = groups[userGroup_];
  if (grp.count >= kJLMaxVariants) return false;
  int slot = grp.count++;
  ULO_StrCopy(grp.files[slot], sizeof grp.files[slot], fileName);
  ULO_StrCopy(grp.labels[slot], sizeof grp.labels[slot], fileName);
  grp.sampleIndex[slot] = trackCount++;
  grp.volume[slot] = 100;
  grp.pan[slot] = 60;
  grp.divisor[slot] = 1;
  return true;
}

// ---- finding the descriptor ----

bool JLSongLibrary::load(const char* songFolder) {
  if (!songFolder) return false;
  char name[256];
  ULO_File_GetParentName(songFolder, name, sizeof name);
  char path[kUloPathMax];

  {
    JLJlsParser p;
    if (snprintf(path, sizeof path, ":Library:Jls:%s.jls", name) < (int)sizeof path && p.open(path)) {
      load_12(&p, songFolder);
      appendText(parserInfo, sizeof parserInfo, " (embedded)");
      return true;
    }
  }
  {
    JLJlsParser p;
    if (p.openInFolder(songFolder)) {
      load_12(&p, songFolder);
      return true;
    }
  }
  {
    JLJlsParser p;
    if (snprintf(path, sizeof path, "%s%s", songFolder, "info.jls") < (int)sizeof path && p.open(path)) {
      if (!load_12(&p, songFolder)) {
        // The 1.2 attempt read only the first line; 1.0 goes on after it.
        p.restart();
        load_10(&p, songFolder);
      }
      return true;
    }
  }
  // A descriptor kept on the root of the medium that holds the library.
  char root[kUloPathMax];
  ULO_StrCopy(root, sizeof root, songFolder);
  for (int i = 0; i < 3; ++i) ULO_File_GoParent(root);
  JLJlsParser p;
  if (snprintf(path, sizeof path, "%sJLS:JLS44:%s.jls", root, name) >= (int)sizeof path) return false;
  // Only a 1.2 descriptor is taken from there, and anything else must leave
  // the song loaded so far untouched: look before clearing.
  {
    JLJlsParser look;
    char tok[kTokenSize];
    if (!look.open(path) || !look.next() || !look.getStr(tok, sizeof tok) || !is(tok, kJlsVersion12Marker))
      return false;
  }
  if (!p.open(path)) return false;
  return load_12(&p, songFolder);
}

// ---- version 1.2 ----

bool JLSongLibrary::load_12(JLJlsParser* p, const char* songFolder) {
  clearSong(songFolder, "Parser: JLS 1.2");
  userGroup_ = -1;
  if (!p) return false;
  char tok[kTokenSize];
  if (!p->next() || !p->getStr(tok, sizeof tok) || !is(tok, kJlsVersion12Marker)) return false;

  if (headerLine(p, "SONGLIBRARY:")) p->getText(songLibraryName, sizeof songLibraryName);
  if (headerLine(p, "SONGTITLE:")) p->getText(songTitle, sizeof songTitle);

  // The description runs on over further lines until "SONGBPM:".
  tok[0] = 0;
  if (p->next()) {
    p->getStr(tok, sizeof tok);
    if (is(tok, "SONGDESCRIPTION:")) {
      p->getText(songDescription, sizeof songDescription);
      tok[0] = 0;
      while (p->next()) {
        if (p->getStr(tok, sizeof tok) && is(tok, "SONGBPM:")) break;
        tok[0] = 0;
        p->restart();
        char text[JLJlsParser::kLineSize];
        if (p->getText(text, sizeof text)) {
          appendText(songDescription, sizeof songDescription, " ");
          appendText(songDescription, sizeof songDescription, text);
        }
      }
    } else {
      // No description: the next token of this line stands where the tempo
      // keyword would be.
      p->getStr(tok, sizeof tok);
    }
  }
  if (is(tok, "SONGBPM:")) p->getShort(&songBpm);
  if (headerLine(p, "SONGMIX:")) p->getShort(&songMix);
  if (headerLine(p, "ARPNOTE:")) p->getText(arpNote, sizeof arpNote);
  if (headerOnly) return true;

  if (blockStart(p, "CATEGORYLIST:")) {
    p->getShort(&categoryCount);
    while (p->next()) {
      if (!p->getStr(tok, sizeof tok)) continue;
      if (is(tok, "ENDCOMMAND:")) break;
      addGroup(tok);
    }
  }
  readRandomSets(p);
  readTracks(p);
  readStyles(p);
  return true;
}

void JLSongLibrary::readRandomSets(JLJlsParser* p) {
  if (!blockStart(p, "RANDOMSET:")) return;
  int16_t declared = 0;
  p->getShort(&declared);
  randomSetCount = clampCount(declared, kJLMaxRandomSets);
  char tok[kTokenSize];
  int i = 0;
  while (p->next()) {
    if (!p->getStr(tok, sizeof tok)) continue;
    if (is(tok, "ENDCOMMAND:")) break;
    if (i >= kJLMaxRandomSets) continue;
    JLRandomSet& s = randomSets[i++];
    ULO_StrCopy(s.name, sizeof s.name, tok);
    upperFirst(s.name);
    int16_t k = 0;
    p->getShort(&k);
    // Only eight tracks exist; a longer set has no use for more members.
    s.count = clampCount(k, kJLRandomSetMembers);
    for (int j = 0; j < k && p->getStr(tok, sizeof tok); ++j)
      if (j < kJLRandomSetMembers) s.members[j] = getGroupIndex(tok);
  }
}

void JLSongLibrary::readTracks(JLJlsParser* p) {
  if (!blockStart(p, "SONGTRACKS:")) return;
  p->getShort(&trackCount);  // declared; replaced by the lines really read
  int16_t i = 0;
  char file[kTokenSize], label[kTokenSize];
  while (p->next()) {
    if (!p->getStr(file, sizeof file)) continue;
    if (is(file, "ENDCOMMAND:")) break;
    int16_t volume = 0, pan = 0, divisor = 0;
    label[0] = 0;
    p->getShort(&volume);
    p->getShort(&pan);
    p->getShort(&divisor);
    p->getStr(label, sizeof label);
    if (divisor <= 0) divisor = 1;
    if (add(file, i, label, volume, pan, divisor)) ++i;
  }
  trackCount = i;
}

void JLSongLibrary::readStyles(JLJlsParser* p) {
  char tok[kTokenSize];
  bool haveLine = p->next();
  while (haveLine && styleCount < kJLMaxStyles) {
    if (!p->getStr(tok, sizeof tok) || !is(tok, "LONGCOMMAND:")) return;
    if (!p->getStr(tok, sizeof tok) || !is(tok, "SONGVMIX:")) {
      p->restart();
      return;
    }
    JLMixStyle& st = styles[styleCount];
    int16_t slots = 0, rows = 0;
    p->getShort(&slots);
    p->getShort(&rows);
    st.name[0] = 0;
    p->getStr(st.name, sizeof st.name);
    upperFirst(st.name);
    for (int j = 0; j < slots; ++j) {
      if (!p->next()) return;
      tok[0] = 0;
      p->getStr(tok, sizeof tok);
      if (j < kJLStyleSlots) st.slots[j] = getGroupIndex(tok);
    }
    for (int r = 0; r < rows; ++r) {
      if (!p->next()) return;
      for (int t = 0; t < kJLStyleTracks; ++t) {
        int16_t v = -1;
        p->getShort(&v);
        if (r < kJLStyleRows) st.rows[r][t] = v;
      }
    }
    if (!p->next() || !p->getStr(tok, sizeof tok) || !is(tok, "ENDCOMMAND:")) return;
    st.slotCount = clampCount(slots, kJLStyleSlots);
    st.rowCount = clampCount(rows, kJLStyleRows);
    // A row entry must name one of the style's slots.
    for (auto& row : st.rows)
      for (auto& v : row)
        if (v < -1 || v >= st.slotCount) v = -1;
    haveLine = p->next();
    ++styleCount;
  }
}

// ---- version 1.0 ----

bool JLSongLibrary::load_10(JLJlsParser* p, const char* songFolder) {
  clearSong(songFolder, "Parser: JLS 1.0");
  userGroup_ = -1;
  if (!p) return false;
  int16_t i = 0;
  bool star = false;
  char file[kTokenSize], label[kTokenSize], text[kTokenSize];
  while (p->next()) {
    if (p->line[0] == '*') {
      star = true;
      break;
    }
    if (!p->getStr(file, sizeof file)) continue;
    label[0] = 0;
    int16_t volume = 0, pan = 0, unused = 0, divisor = 0;
    p->getStr(label, sizeof label);
    p->getShort(&volume);
    p->getShort(&pan);
    p->getShort(&unused);
    p->getShort(&divisor);
    if (divisor <= 0) divisor = 1;
    if (add(file, i, label, volume, pan, divisor)) ++i;
  }
  trackCount = i;
  if (star) {
    p->getStar();
    p->getShort(&songBpm);
    while (songBpm <= 0 && p->next()) {
      p->getStar();
      p->getShort(&songBpm);
    }
    auto starText = [p](char* out, size_t size) {
      if (!p->next()) return;
      p->getStar();
      p->getText(out, size);
    };
    starText(arpNote, sizeof arpNote);
    starText(text, sizeof text);
    starText(songTitle, sizeof songTitle);
    starText(songDescription, sizeof songDescription);
    starText(text, sizeof text);
    starText(text, sizeof text);
  }
  if (headerOnly) return true;
  buildOldRandomSets();
  buildOldStyles();
  return true;
}

void JLSongLibrary::buildOldRandomSets() {
  for (int s = 0; s < kJLMaxRandomSets; ++s) {
    JLRandomSet& set = randomSets[s];
    snprintf(set.name, sizeof set.name, "Rnd%d", s + 1);
    set.count = clampCount(groupCount, kJLRandomSetMembers);
    for (int m = 0; m < kJLRandomSetMembers; ++m) set.members[m] = m < groupCount ? (int16_t)m : -1;
  }
  randomSetCount = kJLMaxRandomSets;
}

void JLSongLibrary::buildOldStyles() {
  for (int s = 0; s < kJLMaxStyles; ++s) {
    JLMixStyle& st = styles[s];
    snprintf(st.name, sizeof st.name, "Style%d", s + 1);
    for (int j = 0; j < 16; ++j) st.slots[j] = groupCount > 0 ? ULO_Random(groupCount) : -1;
    st.slotCount = 16;
    for (int r = 0; r < 32; ++r) {
      for (int t = 0; t < kJLStyleTracks; ++t) {
        int16_t draw = ULO_Random(10);
        if (draw == 0)
          st.rows[r][t] = -1;
        else if (draw <= 4 && r > 0)
          st.rows[r][t] = st.rows[r - 1][t];
        else
          st.rows[r][t] = ULO_Random(16);
      }
    }
    st.rowCount = 32;
  }
  styleCount = kJLMaxStyles;
}
