#include "screens/loadCommon.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/files/uloFiles.h"
#include "core/files/uloFolderOps.h"
#include "core/files/uloPathPolicy.h"
#include "core/files/uloPathNames.h"
#include "framework/text/uloFont.h"
#include "framework/casts/uloCasts.h"
#include "framework/intl/JLInternational.h"
#include "framework/offmap/uloOffmap.h"
#include "framework/panel/QXPanel.h"
#include "framework/platform/uloQuickTime.h"
#include "framework/platform/uloSys.h"
#include "framework/res/uloRes.h"
#include "framework/text/uloTextFile.h"

namespace jlload {

namespace {
constexpr int32_t fourCC(const char* s) {
  return int32_t((uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
                 uint32_t(uint8_t(s[3])));
}

UloResFile* skinFile() { return QXCasts.resFile ? QXCasts.resFile : jlIntl.resFile; }

// Nearest-pixel scaling of a 16-bit picture into another.
void scaleInto(const uloOffmap& src, uloOffmap& dst) {
  const int sw = src.width(), sh = src.height(), dw = dst.width(), dh = dst.height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  for (int y = 0; y < dh; y++)
    for (int x = 0; x < dw; x++) dst.setPixel(x, y, src.getPixel(x * sw / dw, y * sh / dh));
}
}  // namespace

uloPanelControl* newBrowserControl(short kind) {
  if (kind == 38) return new ListRowControl;
  return nullptr;
}

void setFittedText(uloPanelControl* c, const char* text) {
  if (!c) return;
  char shown[256];
  ULO_StrCopy(shown, sizeof shown, text ? text : "");
  if (QXFont.glyphHeight > 0 && c->rect.width() > 4) QXFont.stringFitWidth(shown, int16_t(c->rect.width() - 4));
  c->setValue(shown);
}

void enableControl(uloPanelControl* c, bool on) {
  if (!c || bool(c->enabled) == on) return;
  if (on)
    c->enable();
  else
    c->disable();
}

void makeRow(uloPanelControl* control) {
  if (auto* row = dynamic_cast<ListRowControl*>(control)) {
    row->clickable = 1;
    row->justification = 0;
  }
}

bool TextList::load() {
  UloResFile* res = skinFile();
  if (!res) return false;
  uloTextFile t;
  if (!t.loadResource(res, fourCC("TEXT"), 2)) return false;
  set(t.c_str());
  return true;
}

void TextList::set(const std::string& joined) {
  lines.clear();
  std::string cur;
  for (char c : joined) {
    if (c == '\r' || c == '\n') {
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  lines.push_back(cur);
}

const char* TextList::line(int n) const { return n >= 0 && n < int(lines.size()) ? lines[size_t(n)].c_str() : ""; }

std::string TextList::pictureFor(const char* collection) const {
  if (!collection || !collection[0]) return {};
  for (const std::string& l : lines) {
    const size_t comma = l.find(',');
    if (comma == std::string::npos) continue;
    if (strcasecmp(l.substr(0, comma).c_str(), collection) == 0) return l.substr(comma + 1);
  }
  return {};
}

void fmt(char* out, size_t outSize, const char* format, ...) {
  if (!out || outSize == 0) return;
  va_list args;
  va_start(args, format);
  vsnprintf(out, outSize, format, args);
  va_end(args);
}

std::string formatOne(const char* format, const char* arg) {
  std::string f = format ? format : "";
  const size_t at = f.find("%s");
  if (at == std::string::npos) return f;
  return f.substr(0, at) + (arg ? arg : "") + f.substr(at + 2);
}

int32_t castIdForName(const char* name) {
  UloResFile* res = skinFile();
  if (!res || !name || !name[0]) return -1;
  const int32_t type = fourCC("CNAM");
  const int16_t n = res->GetItemsCount(type);
  for (int16_t i = 0; i < n; i++) {
    const int32_t id = res->GetItemIndexID(type, i);
    const int32_t len = res->GetDataLen(type, id);
    if (len <= 0 || len > 255) continue;
    char buf[256] = {0};
    if (!res->LoadData(buf, len, type, id)) continue;
    if (strcasecmp(buf, name) == 0) return id;
  }
  return -1;
}

bool castToPicture(const char* name, uloOffmap& picture) {
  const int32_t id = castIdForName(name);
  if (id < 0 || !picture.bits) return false;
  UloOneCast* cast = QXCasts.CastOfID(id);
  if (!cast) return false;
  if (!cast->imageLoaded) cast->LoadAvailable();
  if (!cast->imageLoaded || cast->image.depth != uloDepthDirect16) return false;
  scaleInto(cast->image, picture);
  return true;
}

bool fileToPicture(const char* path, uloOffmap& picture, std::string* found) {
  std::string real;
  if (!resolvePath(path, real) || ULO_FileIsFolder(real.c_str())) return false;
  if (!uloQt_imageToOffmap(real.c_str(), &picture)) return false;
  if (found) *found = real;
  return true;
}

bool resolvePath(const char* path, std::string& out) {
  out = path ? path : "";
  if (out.empty()) return false;
  if (ULO_FileExists(out.c_str())) return true;
  // Walk the components: everything up to the first name is the anchor
  // (":" relative, "/:" absolute).
  std::string built;
  size_t pos = 0;
  if (out.compare(0, 2, "/:") == 0) {
    built = "/:";
    pos = 2;
  } else if (out[0] == ':') {
    built = ":";
    pos = 1;
  }
  const std::string original = out;
  while (pos < original.size()) {
    size_t end = original.find(':', pos);
    const bool folder = end != std::string::npos;
    if (!folder) end = original.size();
    const std::string name = original.substr(pos, end - pos);
    pos = end + 1;
    if (name.empty()) continue;
    std::string candidate = built + name;
    if (!ULO_FileExists(candidate.c_str())) {
      std::string match;
      if (ULO_ScanFileInFolder(built.c_str())) {
        char entry[256];
        while (ULO_NextFileInFolder(entry, sizeof entry)) {
          if (strcasecmp(entry, name.c_str()) == 0) {
            match = entry;
            break;
          }
        }
        ULO_EndFolderScan();
      }
      if (match.empty()) return false;
      candidate = built + match;
    }
    built = candidate + (folder ? ":" : "");
  }
  out = built;
  return ULO_FileExists(out.c_str());
}

bool exists(const char* path) {
  std::string real;
  return resolvePath(path, real);
}

namespace {
std::vector<std::string> listEntries(const char* folder, bool folders, size_t max, size_t maxLength) {
  std::vector<std::string> out;
  if (!folder || !ULO_ScanFileInFolder(folder)) return out;
  char name[256];
  bool isFolder = false;
  while (out.size() < max && ULO_NextFileInFolder(name, sizeof name, &isFolder)) {
    if (isFolder != folders || name[0] == '.' || std::strlen(name) > maxLength) continue;
    out.push_back(name);
  }
  ULO_EndFolderScan();
  return out;
}
}  // namespace

std::vector<std::string> listFolders(const char* folder, size_t max, size_t maxLength) {
  return listEntries(folder, true, max, maxLength);
}

std::vector<std::string> listFiles(const char* folder) { return listEntries(folder, false, 100000, 255); }

bool deleteFolder(const char* folder) {
  if (!folder || !folder[0]) return false;
  return ULO_DeleteTree(folder);
}

namespace {

int64_t sourceBytes(const char* path) {
  char sys[kUloPathMax];
  struct stat st;
  if (!ULO_UloPathToSystemPath(path, sys, sizeof sys) || stat(sys, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

std::string sysOf(const char* path) {
  char sys[kUloPathMax];
  if (!ULO_UloPathToSystemPath(path, sys, sizeof sys)) return std::string();
  std::string s = sys[0] ? sys : ".";
  if (s.back() != '/') s += '/';
  return s;
}

// Relative names (':' form) of every non-folder entry below `sys`.
void walk(const std::string& sys, const std::string& prefix, int depth, std::vector<std::string>& out) {
  DIR* d = opendir(sys.c_str());
  if (!d || depth > 16) {
    if (d) closedir(d);
    return;
  }
  std::vector<std::pair<std::string, bool>> entries;
  while (dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0 || strchr(e->d_name, ':')) continue;
    struct stat st;
    const bool dir = fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    entries.emplace_back(e->d_name, dir);
  }
  closedir(d);
  std::sort(entries.begin(), entries.end());
  for (const auto& [name, dir] : entries) {
    if (dir)
      walk(sys + name + "/", prefix + name + ":", depth + 1, out);
    else
      out.push_back(prefix + name);
  }
}

std::string sysRelative(const std::string& rel) {
  std::string r = rel;
  std::replace(r.begin(), r.end(), ':', '/');
  return r;
}

// Gives the relative files of one folder second names in another (system
// paths ending with '/'), creating folders on the way: the originals stay
// until the old folder goes, so no moment exists at which a file lives only
// under a temporary name. False on the first failure.
bool linkFiles(const std::string& from, const std::string& to, const std::vector<std::string>& files) {
  for (const std::string& rel : files) {
    const std::string r = sysRelative(rel);
    for (size_t slash = r.find('/'); slash != std::string::npos; slash = r.find('/', slash + 1))
      mkdir((to + r.substr(0, slash)).c_str(), 0755);
    if (!ULO_LinkOrCopySys(from + r, to + r)) return false;
  }
  return true;
}

std::string listForQuestion(const std::vector<std::string>& files) {
  const size_t shown = 10;
  std::string t;
  for (size_t i = 0; i < files.size() && i < shown; i++) t += "\n   " + files[i];
  if (files.size() > shown) t += "\n   ... and " + std::to_string(files.size() - shown) + " more";
  return t;
}

}  // namespace

bool copySucceeded(const CopyOutcome& outcome, uloPanelControl* status) {
  if (outcome.result == CopyOutcome::copied || outcome.result == CopyOutcome::replaced) return true;
  const bool failed = outcome.result == CopyOutcome::failed;
  setFittedText(status, failed ? "Copy failed." : "");
  if (failed) ULO_UserNotifyUtf8(outcome.message.c_str(), 0);
  return false;
}

std::vector<std::string> filesMissingIn(const char* folder, const char* other,
                                        const std::function<bool(const std::string&)>& ownFile) {
  std::vector<std::string> all, missing;
  const std::string a = sysOf(folder), b = sysOf(other);
  if (a.empty() || b.empty()) return missing;
  walk(a, "", 0, all);
  for (const std::string& rel : all) {
    struct stat st;
    if (lstat((b + sysRelative(rel)).c_str(), &st) == 0) continue;
    if (ownFile && ownFile(rel)) continue;
    missing.push_back(rel);
  }
  return missing;
}

bool copyFolderFiles(const char* from, const char* to,
                     const std::function<bool(const char*, const char*)>& copyOne,
                     const std::function<void(const char*)>& progress, std::string* why) {
  if (!from || !to) return false;
  auto failWith = [&](const std::string& text) {
    if (why) *why = text;
    deleteFolder(to);
    return false;
  };
  if (!ULO_CreateDirectory(to)) {
    if (why) *why = "The folder " + std::string(to) + " could not be made.";
    return false;
  }
  for (const std::string& f : listFiles(from)) {
    if (progress) progress(f.c_str());
    std::string refused;
    char src[kUloPathMax];
    if (!ULO_PathInside(from, f.c_str(), src, sizeof src, &refused)) return failWith(refused);
    const std::string dst = std::string(to) + f;
    const int64_t size = sourceBytes(src);
    if (size < 0 || !copyOne(src, dst.c_str())) return failWith("The file \"" + f + "\" could not be copied.");
    if (ULO_PlainFileBytes(dst.c_str()) != size)
      return failWith("The copy of \"" + f + "\" is incomplete (" + std::to_string(ULO_PlainFileBytes(dst.c_str())) +
                      " of " + std::to_string(size) + " bytes).");
  }
  return true;
}

CopyOutcome copyIntoLibrary(const char* from, const char* libraryFolder, const char* name, const char* kind,
                            const std::function<bool(const char*, const char*)>& copyOne,
                            const std::function<void(const char*)>& progress,
                            const std::function<bool(const char*, std::string*)>& complete,
                            const std::function<bool(const std::string&)>& ownFile) {
  CopyOutcome out;
  const std::string what = kind ? kind : "folder";
  char target[kUloPathMax];
  std::string refused;
  if (!from || !libraryFolder || !name) {
    out.message = "Nothing to copy.";
    return out;
  }
  if (!ULO_IsSingleName(name)) refused = ULO_RefusedNameMessage(name, "it is not a plain file or folder name");
  if (!refused.empty() || !ULO_PathInside(libraryFolder, name, target, sizeof target, &refused)) {
    out.message = refused;
    return out;
  }
  std::string targetFolder = std::string(target) + ":";
  const std::string lib = libraryFolder;
  const std::string temp = lib + ULO_TempName(name) + ":";
  const std::string aside = lib + ULO_TempName(name, "old") + ":";
  // Anything left at our own names is ours from an earlier failure.
  deleteFolder(temp.c_str());

  int64_t needed = 0;
  for (const std::string& f : listFiles(from)) {
    const int64_t b = sourceBytes((std::string(from) + f).c_str());
    if (b > 0) needed += b;
  }
  const int64_t free = ULO_FreeBytes(libraryFolder);
  if (free >= 0 && needed > free) {
    out.message = "The " + what + " needs " + ULO_ByteText(needed) + ", but the library's disk has only " +
                  ULO_ByteText(free) + " free. Nothing was changed.";
    return out;
  }

  std::string why;
  if (!copyFolderFiles(from, temp.c_str(), copyOne, progress, &why)) {
    out.message = "The " + what + " could not be copied into the library: " + why + " Nothing was changed.";
    return out;
  }
  if (complete && !complete(temp.c_str(), &why)) {
    deleteFolder(temp.c_str());
    out.message = "The " + what + " could not be copied into the library: " + why + " Nothing was changed.";
    return out;
  }

  struct stat st;
  const std::string targetSys = sysOf(targetFolder.c_str());
  const bool replacing = lstat(targetSys.substr(0, targetSys.size() - 1).c_str(), &st) == 0;
  if (!replacing) {
    if (!ULO_RenameNew(temp.c_str(), targetFolder.c_str())) {
      deleteFolder(temp.c_str());
      out.message = "The " + what + " could not be put into the library. Nothing was changed.";
      return out;
    }
    out.result = CopyOutcome::copied;
    return out;
  }
  if (!S_ISDIR(st.st_mode)) {
    deleteFolder(temp.c_str());
    out.message = ULO_RefusedNameMessage(name, "the library holds something else under that name");
    return out;
  }

  const std::vector<std::string> userFiles = filesMissingIn(targetFolder.c_str(), temp.c_str(), ownFile);
  if (!userFiles.empty()) {
    const std::string question = "The " + what + " \"" + name + "\" in your library holds files that the new copy has not:" +
                                 listForQuestion(userFiles) + "\n\nKeep them in the new copy? (No deletes them; Cancel " +
                                 "keeps the old " + what + " as it is.)";
    const int16_t answer = ULO_UserNotifyUtf8(question.c_str(), 2);
    if (answer != 1 && answer != 2) {
      deleteFolder(temp.c_str());
      out.result = CopyOutcome::cancelled;
      return out;
    }
    if (answer == 1) {
      if (!linkFiles(targetSys, sysOf(temp.c_str()), userFiles)) {
        deleteFolder(temp.c_str());
        out.message = "Your files could not be put into the new copy. Nothing was changed.";
        return out;
      }
      out.kept = userFiles;
    }
  }
  if (!ULO_SwapEntries(targetFolder.c_str(), temp.c_str(), aside.c_str())) {
    deleteFolder(temp.c_str());
    out.kept.clear();
    out.message = "The old " + what + " could not be exchanged for the new copy. Nothing was changed.";
    return out;
  }
  // The old one is now under a temporary name; a failure to remove it is
  // cleaned up at the next start.
  deleteFolder(temp.c_str());
  deleteFolder(aside.c_str());
  out.result = CopyOutcome::replaced;
  return out;
}

}  // namespace jlload
