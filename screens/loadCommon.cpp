#include "screens/loadCommon.h"

#include <strings.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/files/uloFiles.h"
#include "core/files/uloPathNames.h"
#include "framework/text/uloFont.h"
#include "framework/casts/uloCasts.h"
#include "framework/intl/JLInternational.h"
#include "framework/offmap/uloOffmap.h"
#include "framework/panel/QXPanel.h"
#include "framework/platform/uloQuickTime.h"
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
  std::string base = folder;
  if (base.back() != ':') base += ':';
  // Sub-folders first (a song keeps the user's loops in "User:").
  for (const std::string& sub : listEntries(base.c_str(), true, 1000, 255)) deleteFolder((base + sub + ":").c_str());
  for (const std::string& f : listFiles(base.c_str())) ULO_FileDelete((base + f).c_str());
  return ULO_RemoveDirectory(base.c_str()) || !ULO_FileExists(base.c_str());
}

bool copyFolderFiles(const char* from, const char* to,
                     const std::function<bool(const char*, const char*)>& copyOne,
                     const std::function<void(const char*)>& progress) {
  if (!from || !to) return false;
  if (!ULO_CreateDirectory(to) && !ULO_FileIsFolder(to)) return false;
  bool ok = true;
  for (const std::string& f : listFiles(from)) {
    if (progress) progress(f.c_str());
    const std::string src = std::string(from) + f, dst = std::string(to) + f;
    if (!copyOne(src.c_str(), dst.c_str())) {
      ok = false;
      break;
    }
  }
  if (!ok) deleteFolder(to);
  return ok;
}

}  // namespace jlload
