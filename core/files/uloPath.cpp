#include "core/files/uloPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/files/uloFiles.h"
#include "core/sys/uloProcess.h"
#include "core/sys/uloRemote.h"

void uloPath::set(const char* text) {
  if (text == path) return;
  ULO_StrCopy(path, sizeof path, text);
}

void uloPath::add(const char* text) { ULO_File_AddToPath(path, sizeof path, text); }

bool uloPath::toSystemPath(char* out, size_t outSize) const {
  return ULO_UloPathToSystemPath(path, out, outSize);
}

bool uloPath::fromSystemPath(const char* text) {
  char tmp[kUloPathMax];
  bool ok = ULO_SystemPathToUloPath(text, tmp, sizeof tmp);
  set(ok ? tmp : "");
  return ok;
}

bool uloPath::exists() const { return ULO_FileExists(path); }
bool uloPath::create() const { return ULO_CreateDirectory(path); }
bool uloPath::remove() const { return ULO_FileDelete(path); }
bool uloPath::copyTo(const uloPath* other) const { return other && ULO_FileCopy(path, other->path); }
bool uloPath::rename(const uloPath* newPath) const { return newPath && ULO_FileRename(path, newPath->path); }

bool uloPath::isEqual(const uloPath* other) const {
  if (!other) return false;
  const char* a = path;
  const char* b = other->path;
  for (; *a && *b; ++a, ++b) {
    char x = (*a >= 'A' && *a <= 'Z') ? (char)(*a + 32) : *a;
    char y = (*b >= 'A' && *b <= 'Z') ? (char)(*b + 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

bool uloPath::getName(char* out, size_t outSize) const {
  ULO_FileNameFromPath(path, out, outSize);
  return true;
}

bool uloPath::getNameWithoutExtension(char* out, size_t outSize) const {
  ULO_FileNameFromPath(path, out, outSize);
  if (out && outSize) {
    char* dot = strrchr(out, '.');
    if (dot) *dot = 0;
  }
  return true;
}

void uloPath::setName(const char* text) {
  stripName();
  add(text);
}

void uloPath::userDialogTypes(uint32_t, uint32_t, uint32_t, uint32_t, const char* typeText) {
  ULO_FileDialogCanOpenTypes(typeText ? typeText : "*.*");
}

std::atomic<bool> uloFileChooserUnavailable{false};

namespace {
std::mutex gLastFolderLock;
std::string gLastFolder;  // under gLastFolderLock

bool isFolder(const std::string& p) {
  struct stat st;
  return !p.empty() && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
}  // namespace

void ULO_RememberDialogFolder(const char* systemFile) {
  if (!systemFile || !*systemFile) return;
  std::string folder(systemFile);
  const size_t slash = folder.find_last_of('/');
  if (slash == std::string::npos) return;
  folder.erase(slash == 0 ? 1 : slash);
  std::lock_guard<std::mutex> g(gLastFolderLock);
  gLastFolder = folder;
}

std::string ULO_DialogStartFolder() {
  {
    std::lock_guard<std::mutex> g(gLastFolderLock);
    if (isFolder(gLastFolder)) return gLastFolder;
  }
  // The program's own folder is no place for the user's files.
  const char* home = getenv("HOME");
  if (home && *home) {
    const std::string music = std::string(home) + "/Music";
    if (isFolder(music)) return music;
    if (isFolder(home)) return home;
  }
  char cwd[kUloPathMax];
  return getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string();
}

namespace {

bool runDialog(uloPath& self, bool save, const char* filter, uloRunControl* control) {
  // The chooser runs in a child process, so it cannot move this process's
  // current directory, on which every relative library path depends.
  char cwd[kUloPathMax];
  if (!getcwd(cwd, sizeof cwd)) cwd[0] = 0;

  uloPath folder(self);
  folder.stripName();
  char start[kUloPathMax] = {0};
  if (!folder.empty()) folder.toSystemPath(start, sizeof start);
  if (!start[0]) ULO_StrCopy(start, sizeof start, ULO_DialogStartFolder().c_str());
  if (!start[0]) ULO_StrCopy(start, sizeof start, cwd);
  char name[256] = {0};
  if (save) self.getName(name, sizeof name);

  char chosen[kUloPathMax];
  uloDialogResult r = ULO_RunFileChooser(save, start, name, filter, chosen, sizeof chosen, control);
  if (r == uloDialogResult::unavailable) uloFileChooserUnavailable = true;
  if (r != uloDialogResult::chosen) return false;
  ULO_RememberDialogFolder(chosen);
  char ulo[kUloPathMax];
  // A chosen name the notation cannot carry (it holds ':') is a refusal.
  if (!ULO_SystemPathToUloPath(chosen, ulo, sizeof ulo) || !ulo[0]) return false;
  self.set(ulo);
  return true;
}

// The one pending asynchronous dialog: its owner and the handle that closes
// its chooser. A worker whose owner went away finds them changed and drops
// its answer.
std::mutex gDialogLock;
JLPath* gDialogOwner = nullptr;                // under gDialogLock
std::shared_ptr<uloRunControl> gDialogRun;     // under gDialogLock

}  // namespace

bool uloPath::userDialogGet() { return runDialog(*this, false, ULO_FileDialogTypes().c_str(), nullptr); }
bool uloPath::userDialogPut() { return runDialog(*this, true, ULO_FileDialogTypes().c_str(), nullptr); }

// ---- JLPath ----

std::atomic<JLPath*> asyncPanThreadPathRef{nullptr};

namespace {
std::atomic<int> gExternalDialogs{0};
}

bool ULO_ExternalDialogOpen() { return gExternalDialogs.load() > 0 || asyncPanThreadPathRef.load() != nullptr; }
ULO_ExternalDialogScope::ULO_ExternalDialogScope() { gExternalDialogs.fetch_add(1); }
ULO_ExternalDialogScope::~ULO_ExternalDialogScope() { gExternalDialogs.fetch_sub(1); }

JLPath::~JLPath() {
  // Quitting with the dialog open must not wait for the user: the chooser
  // is closed and its worker, which works on copies, finds no owner.
  std::shared_ptr<uloRunControl> run;
  {
    std::lock_guard<std::mutex> g(gDialogLock);
    if (gDialogOwner != this) return;
    run = gDialogRun;
    gDialogOwner = nullptr;
    gDialogRun.reset();
    asyncPanThreadPathRef.store(nullptr);
  }
  if (run) ULO_StopRun(*run);
}

bool JLPath::asyncDialogGet(short a, short b, short c) { return startAsync(false, a, b, c); }
bool JLPath::asyncDialogPut(short a, short b, short c) { return startAsync(true, a, b, c); }

bool JLPath::startAsync(bool save, short a, short b, short c) {
  request[0] = a;
  request[1] = b;
  request[2] = c;
  saving = save;
  JLPath* expected = nullptr;
  if (!asyncPanThreadPathRef.compare_exchange_strong(expected, this)) return false;
  auto run = std::make_shared<uloRunControl>();
  {
    std::lock_guard<std::mutex> g(gDialogLock);
    gDialogOwner = this;
    gDialogRun = run;
  }
  uloPath seed(*this);
  std::string filter = ULO_FileDialogTypes();
  try {
    std::thread([run, seed, filter, save]() mutable {
      const bool ok = runDialog(seed, save, filter.c_str(), run.get());
      std::lock_guard<std::mutex> g(gDialogLock);
      if (gDialogRun != run) return;
      JLPath* owner = gDialogOwner;
      if (ok) owner->set(seed.path);
      owner->ready = ok;
      ULO_PostRemoteMessage(owner);
      gDialogOwner = nullptr;
      gDialogRun.reset();
      asyncPanThreadPathRef.store(nullptr);
    }).detach();
  } catch (...) {
    std::lock_guard<std::mutex> g(gDialogLock);
    gDialogOwner = nullptr;
    gDialogRun.reset();
    asyncPanThreadPathRef.store(nullptr);
    return false;
  }
  return true;
}

// ---- uloFolderList ----

uloFolderList& uloFolderList::passKind(const char* text) {
  ULO_StrCopy(kindText, sizeof kindText, text ? text : "");
  return *this;
}

bool uloFolderList::start() {
  index = -1;
  return ULO_ScanFileInFolder(path);
}

bool uloFolderList::next() {
  bool folder = false;
  while (ULO_NextFileInFolder(name, sizeof name, &folder)) {
    if (folder && skipFolders) continue;
    if (!folder && skipDocuments) continue;
    item.set(path);
    item.add(name);
    // Dot files are the hidden files of this system.
    if (skipHidden && (item.isHidden() || name[0] == '.')) continue;
    itemIsFolder = folder;
    ++index;
    return true;
  }
  return false;
}

int uloFolderList::count() {
  start();
  int n = 0;
  while (next()) ++n;
  start();
  return n;
}
