#include "core/files/uloPathPolicy.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "core/files/uloPathNames.h"

bool ULO_IsSingleName(const char* name) {
  if (!name || !name[0]) return false;
  const size_t n = strnlen(name, 256);
  if (n > 255) return false;
  if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return false;
  for (size_t i = 0; i < n; i++) {
    const unsigned char c = (unsigned char)name[i];
    if (c == ':' || c == '/' || c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

std::string ULO_RefusedNameMessage(const char* name, const char* what) {
  std::string shown;
  for (const char* p = name ? name : ""; *p && shown.size() < 120; p++) {
    const unsigned char c = (unsigned char)*p;
    shown += c < 0x20 || c == 0x7f ? '?' : char(c);
  }
  return std::string("The name \"") + shown + "\" was refused: " + (what ? what : "it leads outside its folder") + ".";
}


namespace {

// Set once at start-up before any other thread runs; read-only afterwards.
std::string gMirrorUser, gMirrorSystem;

std::string withoutSlash(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

bool refuse(char* out, size_t outSize, std::string* why, const char* name, const char* what) {
  if (out && outSize) out[0] = 0;
  if (why) *why = ULO_RefusedNameMessage(name, what);
  return false;
}

bool inside(const std::string& resolved, const std::string& root) {
  if (resolved == root) return true;
  if (root == "/") return true;
  return resolved.size() > root.size() && resolved.compare(0, root.size(), root) == 0 && resolved[root.size()] == '/';
}

// The check itself, on the folder's system path: empty when `rel` stays
// inside, else what is wrong with it.
const char* checkInside(const std::string& sysFolder, const char* rel) {
  // The components; a trailing ':' only says "a folder".
  std::vector<std::string> parts;
  std::string r = rel;
  if (!r.empty() && r.back() == ':') r.pop_back();
  if (r.empty()) return "it is empty";
  for (size_t start = 0;;) {
    const size_t end = r.find(':', start);
    const std::string part = r.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!ULO_IsSingleName(part.c_str())) return "it is not a plain file or folder name";
    parts.push_back(part);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  char root[PATH_MAX];
  if (!realpath(sysFolder.empty() ? "." : sysFolder.c_str(), root)) return "its folder cannot be reached";

  std::string at = root;
  for (size_t i = 0; i < parts.size(); i++) {
    const std::string next = (at == "/" ? "" : at) + "/" + parts[i];
    struct stat st;
    if (lstat(next.c_str(), &st) != 0) {
      if (errno != ENOENT) return "it cannot be reached";
      // Not there yet: nothing further can be a link.
      at = next;
      for (size_t k = i + 1; k < parts.size(); k++) at += "/" + parts[k];
      break;
    }
    char real[PATH_MAX];
    if (!realpath(next.c_str(), real)) {
      if (errno == ELOOP) return "its symbolic links form a loop";
      if (errno == ENOENT) return "it is a symbolic link to nothing";
      return "it cannot be reached";
    }
    at = real;
  }
  if (inside(at, root)) return "";
  // A link from the user's library to the same place in the installed
  // read-only library (a demo song or synth set) stays inside.
  if (!gMirrorUser.empty() && inside(root, gMirrorUser)) {
    const std::string mirrored = gMirrorSystem + std::string(root).substr(gMirrorUser.size());
    if (inside(at, mirrored)) return "";
  }
  return "it leads outside its folder";
}

}  // namespace

bool ULO_PathInside(const char* folder, const char* relative, char* out, size_t outSize, std::string* why) {
  if (out && outSize) out[0] = 0;
  const char* rel = relative ? relative : "";
  if (!folder || !folder[0] || !out || outSize == 0) return refuse(out, outSize, why, rel, "it has no folder");
  std::string base = folder;
  if (base.back() != ':') base += ':';
  char sys[4096];
  if (!ULO_UloPathToSystemPath(base.c_str(), sys, sizeof sys)) return refuse(out, outSize, why, rel, "it is too long");
  const char* wrong = checkInside(sys, rel);
  if (wrong[0]) return refuse(out, outSize, why, rel, wrong);
  const std::string joined = base + rel;
  if (joined.size() >= outSize) return refuse(out, outSize, why, rel, "it is too long");
  memcpy(out, joined.c_str(), joined.size() + 1);
  return true;
}

bool ULO_PathInsideSys(const std::string& folder, const char* relative, std::string* why) {
  const char* rel = relative ? relative : "";
  const char* wrong = checkInside(folder, rel);
  if (!wrong[0]) return true;
  if (why) *why = ULO_RefusedNameMessage(rel, wrong);
  return false;
}

void ULO_SetLibraryMirror(const std::string& userLibrary, const std::string& systemLibrary) {
  gMirrorUser = userLibrary.empty() || systemLibrary.empty() ? std::string() : withoutSlash(userLibrary);
  gMirrorSystem = gMirrorUser.empty() ? std::string() : withoutSlash(systemLibrary);
}
