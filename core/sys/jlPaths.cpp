#include "core/sys/jlPaths.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "core/files/uloPathPolicy.h"
#include "core/sys/jlDesktopIntegration.h"

namespace {

JLRunPaths gPaths;

bool isFile(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string realFolder(const std::string& p) {
  char real[PATH_MAX];
  if (!realpath(p.c_str(), real)) return std::string();
  std::string s = real;
  return s == "/" ? s : s + "/";
}

const char* const kLinkedFolders[] = {"Song", "Synth", "Images", "Jls"};

}  // namespace

JLRunPaths JL_ChooseRunPaths(const std::string& programFolder, const std::string& dataHome,
                             const std::string& configHome) {
  JLRunPaths p;
  if (programFolder.empty()) {
    p.problem = "The program cannot find its own folder.";
    return p;
  }
  if (isFile(programFolder + "Jamloom.xrs")) {
    p.mode = JLRunMode::portable;
    p.dataFolder = p.workFolder = programFolder;
    p.prefsFile = programFolder + "Jamloom.prf";
    return p;
  }
  // <prefix>/bin/ -> <prefix>/share/jamloom/, named without "..".
  std::string prefix = programFolder.substr(0, programFolder.size() - 1);
  prefix = prefix.substr(0, prefix.rfind('/') + 1);
  const std::string data = prefix + "share/jamloom/";
  if (prefix.empty() || !isFile(data + "Jamloom.xrs")) {
    p.problem = "Can't find 'Jamloom.xrs' file. Can't continue.";
    return p;
  }
  if (dataHome.empty() || configHome.empty()) {
    p.problem = "Jamloom needs a home folder (HOME or XDG_DATA_HOME and XDG_CONFIG_HOME) to keep your library.";
    return p;
  }
  p.mode = JLRunMode::installed;
  p.dataFolder = data;
  p.systemLibrary = data + "Library/";
  p.workFolder = dataHome + "/jamloom/";
  p.prefsFile = configHome + "/jamloom/Jamloom.prf";
  return p;
}

int JL_LinkSystemLibrary(const std::string& systemLibrary, const std::string& userLibrary) {
  int changed = 0;
  for (const char* sub : kLinkedFolders) {
    const std::string from = systemLibrary + sub + "/", to = userLibrary + sub + "/";
    JL_MakeFolders(to.substr(0, to.size() - 1));
    // Links whose demo went away with an upgrade of the package.
    if (DIR* d = opendir(to.c_str())) {
      while (dirent* e = readdir(d)) {
        const std::string link = to + e->d_name;
        char target[PATH_MAX];
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = 0;
        struct stat st;
        if (strncmp(target, from.c_str(), from.size()) == 0 && stat(link.c_str(), &st) != 0 &&
            unlink(link.c_str()) == 0)
          ++changed;
      }
      closedir(d);
    }
    DIR* d = opendir(from.c_str());
    if (!d) continue;
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.' || !ULO_IsSingleName(e->d_name)) continue;
      struct stat st;
      const std::string link = to + e->d_name;
      if (lstat(link.c_str(), &st) == 0) continue;  // the user's own entry wins
      if (symlink((from + e->d_name).c_str(), link.c_str()) == 0) ++changed;
    }
    closedir(d);
  }
  return changed;
}

bool JL_IsSystemLibraryEntry(const std::string& sysPath) {
  return JL_IsSystemLibraryEntry(sysPath, gPaths.systemLibrary);
}

bool JL_IsSystemLibraryEntry(const std::string& sysPath, const std::string& systemLibrary) {
  if (systemLibrary.empty()) return false;
  std::string p = sysPath;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  struct stat st;
  if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
  const std::string real = realFolder(p), system = realFolder(systemLibrary);
  return !real.empty() && !system.empty() && real.compare(0, system.size(), system) == 0;
}

bool JL_EnterRunPaths() {
  gPaths = JL_ChooseRunPaths(JL_ProgramFolder(), JL_XdgDataHome(), JL_XdgConfigHome());
  if (gPaths.mode == JLRunMode::unusable) return false;
  if (gPaths.mode == JLRunMode::installed) {
    const std::string config = gPaths.prefsFile.substr(0, gPaths.prefsFile.rfind('/'));
    if (!JL_MakeFolders(gPaths.workFolder + "Library") || !JL_MakeFolders(config)) {
      gPaths.problem = "Jamloom cannot create its library folder '" + gPaths.workFolder + "Library'.";
      gPaths.mode = JLRunMode::unusable;
      return false;
    }
  }
  if (chdir(gPaths.workFolder.c_str()) != 0) {
    gPaths.problem = "Jamloom cannot enter its folder '" + gPaths.workFolder + "'.";
    gPaths.mode = JLRunMode::unusable;
    return false;
  }
  if (gPaths.mode == JLRunMode::installed) {
    JL_LinkSystemLibrary(gPaths.systemLibrary, "Library/");
    ULO_SetLibraryMirror(realFolder("Library/"), realFolder(gPaths.systemLibrary));
  }
  return true;
}

std::string JL_IconFile(const JLRunPaths& paths, int size) {
  const std::string n = std::to_string(size);
  const std::string rel = "hicolor/" + n + "x" + n + "/apps/jamloom.png";
  switch (paths.mode) {
    case JLRunMode::portable: return paths.dataFolder + "icons/" + rel;
    case JLRunMode::installed: {
      // <prefix>/share/jamloom/ -> <prefix>/share/icons/
      const std::string share = paths.dataFolder.substr(0, paths.dataFolder.size() - std::string("jamloom/").size());
      return share + "icons/" + rel;
    }
    default: return std::string();
  }
}

const JLRunPaths& JL_RunPaths() { return gPaths; }
