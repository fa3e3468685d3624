#include "song/JLSongLoading.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/files/uloFiles.h"
#include "core/files/uloPath.h"
#include "core/files/uloPathPolicy.h"
#include "engine/JLWaveFault.h"
#include "song/JLSamplesMatcher.h"
#include "song/jlSongMessages.h"

namespace {

bool fits(int written, size_t size) { return written >= 0 && (size_t)written < size; }

// Name order, letter case ignored first: the order a case-insensitive file
// system lists, and the same on every machine.
int byName(const void* a, const void* b) {
  const char* x = static_cast<const char*>(a);
  const char* y = static_cast<const char*>(b);
  int c = JLSongLibrary::strcasecmp(x, y);
  return c ? c : strcmp(x, y);
}

void registerOne(JLSampleSink sink, void* context, const char* path, int16_t divisor) {
  // Exactly one call per track index: the engine takes a sample number for
  // every path it can hold, even one it cannot open or convert (a silent
  // entry), and the song never has more loops than the engine's list.
  sink(context, path, divisor);
}

}  // namespace

void JL_RegisterSongSamples(JLSongLibrary& lib, const char* songFolder, JLSampleSink sink, void* context) {
  if (!songFolder || !sink) return;
  std::unique_ptr<jlSamplesMatcher> matcher;
  char path[kUloPathMax];
  std::string refused;
  int refusals = 0;
  for (int16_t i = 0; i < lib.trackCount; ++i) {
    int16_t g = -1, v = -1;
    const char* file = "";
    if (lib.getGroupAndIndex(i, &g, &v)) file = lib.groups[g].files[v];
    int16_t divisor = g >= 0 ? lib.groups[g].divisor[v] : 1;
    bool found = file[0] && fits(snprintf(path, sizeof path, "%s%s", songFolder, file), sizeof path) &&
                 ULO_FileExists(path);
    if (!found && file[0])
      found = fits(snprintf(path, sizeof path, "%s%s.wav", songFolder, file), sizeof path) && ULO_FileExists(path);
    if (!found && file[0]) {
      if (!matcher) {
        matcher = std::make_unique<jlSamplesMatcher>(songFolder);
        matcher->readNames();
        qsort(matcher->names, (size_t)matcher->count, sizeof matcher->names[0], byName);
      }
      char name[jlSamplesMatcher::kNameSize];
      ULO_StrCopy(name, sizeof name, file);
      found = matcher->findSample(name, sizeof name) &&
              fits(snprintf(path, sizeof path, "%s%s", songFolder, name), sizeof path);
    }
    // A loop that is a link out of the song's folder is refused.
    if (found && !ULO_PathInside(songFolder, path + strlen(songFolder), &refused)) {
      found = false;
      if (refusals++ == 0) JL_SongMessage(kJLMsgNameRefused, refused.c_str());
      ULO_StrCopy(path, sizeof path, songFolder);
      registerOne(sink, context, path, divisor);
      continue;
    }
    // Not found: still registered, so that later numbers stay in place.
    if (!found && !fits(snprintf(path, sizeof path, "%s%s", songFolder, file), sizeof path))
      ULO_StrCopy(path, sizeof path, songFolder);
    registerOne(sink, context, path, divisor);
  }

  // The user's own loops follow the descriptor's, as group "User".
  char userFolder[kUloPathMax];
  if (!fits(snprintf(userFolder, sizeof userFolder, "%sUser:", songFolder), sizeof userFolder) ||
      !ULO_FileIsFolder(userFolder))
    return;
  auto names = std::make_unique<char[][256]>(kJLMaxLoops);
  int n = 0;
  {
    uloFolderList list;
    list.set(userFolder);
    if (list.start())
      while (list.next())
        if (n < kJLMaxLoops) ULO_StrCopy(names[n++], 256, list.name);
  }
  qsort(names.get(), (size_t)n, 256, byName);
  for (int k = 0; k < n; ++k) {
    if (!lib.addUserLoop(names[k])) break;
    const std::string rel = std::string("User:") + names[k];
    if (!fits(snprintf(path, sizeof path, "%s%s", userFolder, names[k]), sizeof path) ||
        !ULO_PathInside(songFolder, rel.c_str(), &refused)) {
      if (!refused.empty() && refusals++ == 0) JL_SongMessage(kJLMsgNameRefused, refused.c_str());
      refused.clear();
      ULO_StrCopy(path, sizeof path, userFolder);
    }
    registerOne(sink, context, path, 0);
  }
}

JLSongLoopFaults JL_SongLoopFaults(const JLSongLibrary& lib, JLFaultSource faultOf, void* context) {
  JLSongLoopFaults faults;
  if (!faultOf) return faults;
  for (int16_t i = 0; i < lib.trackCount; ++i) {
    const int fault = faultOf(context, i);
    if (fault == kWaveFine) continue;
    int16_t g = -1, v = -1;
    const char* label = lib.getGroupAndIndex(i, &g, &v);
    std::string name = g >= 0 ? std::string(lib.groups[g].name) + ":" + (label ? label : "") : "[" + std::to_string(i) + "]";
    (fault == kWaveCut ? faults.cut : faults.unplayable).push_back(std::move(name));
  }
  return faults;
}
