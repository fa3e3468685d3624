#include "installer/jlDemoInstaller.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "core/files/uloFiles.h"
#include "core/files/uloFolderOps.h"
#include "core/files/uloPathPolicy.h"
#include "installer/jlLoopDecoder.h"

const char* const kJLChooserTitle = "Select the folder with Jamloom executable:";
const char* const kJLProceedQuestion = "New Jamloom demo song installation.\nDo you want to proceed?";
const char* const kJLNoDescriptorMessage = "Demo Song Corrupted: cannot find .jls file.";
const char* const kJLNoChooserMessage =
    "Cannot show the folder chooser: zenity is not installed.\n"
    "Start Jamloom once, then run this installer again.";
const char* const kJLIncompleteMessage =
    "The demo song was not installed; the library is as it was before.";
const char* const kJLInstalledMessage = "The demo song is installed completely: ";
const char* const kJLWaitingTitle = "Decompressing...";
const char* const kJLWaitingText = "Please, wait while decompressing the demo audiofiles...";

namespace {

bool hasExtension(const std::string& name, const char* lowerExt) {
  size_t n = strlen(lowerExt);
  if (name.size() <= n) return false;
  for (size_t i = 0; i < n; ++i)
    if (tolower((unsigned char)name[name.size() - n + i]) != lowerExt[i]) return false;
  return true;
}

bool isFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Creates every missing folder of `path`; an existing one is fine.
bool makeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return isFolder(path);
}

// Copies through a temporary and a rename: a reader of `to` sees the old
// file or the new one, never a part of it.
bool copyFile(const std::string& from, const std::string& to) {
  const int fd = ULO_OpenRegularSystemFile(from.c_str(), O_RDONLY);
  std::FILE* in = fd < 0 ? nullptr : fdopen(fd, "rb");
  if (!in) {
    if (fd >= 0) close(fd);
    return false;
  }
  const std::string temp = ULO_FreshTempPathSys(to);
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  bool ok = out != nullptr;
  char buf[65536];
  while (ok) {
    size_t n = std::fread(buf, 1, sizeof buf, in);
    if (n == 0) break;
    ok = std::fwrite(buf, 1, n, out) == n;
  }
  ok = ok && !std::ferror(in);
  std::fclose(in);
  if (out) ok = std::fclose(out) == 0 && ok;
  if (ok) ok = std::rename(temp.c_str(), to.c_str()) == 0;
  if (!ok && out) std::remove(temp.c_str());
  return ok;
}

void reportFailures(const std::vector<std::string>& failures, const std::string& why, const JLInstallerUi& ui) {
  // A message box has room for a screenful, not for a whole broken package.
  const size_t shown = 12;
  std::string text = kJLIncompleteMessage;
  if (!why.empty()) text += "\n" + why;
  for (size_t i = 0; i < failures.size() && i < shown; ++i) text += "\n" + failures[i];
  if (failures.size() > shown) text += "\n...";
  if (ui.showError) ui.showError(text);
}

}  // namespace

bool JL_FindDemoFiles(const std::string& folder, JLDemoFiles* files) {
  *files = JLDemoFiles();
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    if (isFile(JL_WithTrailingSlash(folder) + e->d_name)) names.push_back(e->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (hasExtension(name, ".jls")) {
      if (files->descriptor.empty()) files->descriptor = name;
    } else if (hasExtension(name, ".gif")) {
      if (files->picture.empty()) files->picture = name;
    } else if (hasExtension(name, ".wav")) {
      files->loops.push_back(name);
    }
  }
  return true;
}

std::string JL_WithTrailingSlash(const std::string& folder) {
  if (!folder.empty() && folder.back() == '/') return folder;
  return folder + "/";
}

std::string JL_ReadApplicationFolder(const std::string& configFile) {
  if (configFile.empty()) return std::string();
  std::ifstream in(configFile);
  std::string line;
  if (!std::getline(in, line)) return std::string();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty() || line[0] != '/' || !isFolder(line)) return std::string();
  return JL_WithTrailingSlash(line);
}

namespace {

int64_t fileBytes(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? (int64_t)st.st_size : 0;
}

int64_t (*gFreeSpaceProbe)(const std::string&) = nullptr;

int64_t freeBytes(const std::string& folder) {
  if (gFreeSpaceProbe) return gFreeSpaceProbe(folder);
  struct statvfs v;
  return statvfs(folder.c_str(), &v) == 0 ? (int64_t)v.f_bavail * (int64_t)v.f_frsize : -1;
}

// Files of the installed song that the new one has not (the user's takes
// and loops) get second names in the new song, so a reinstallation never
// loses them; the originals stay until the old song goes.
bool keepUserFiles(const std::string& old, const std::string& fresh, int depth = 0) {
  DIR* dir = opendir(old.c_str());
  if (!dir) return true;
  bool ok = true;
  while (dirent* e = readdir(dir)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    struct stat inOld, inNew;
    const std::string from = old + e->d_name, to = fresh + e->d_name;
    if (lstat(from.c_str(), &inOld) != 0) continue;
    const bool inBoth = lstat(to.c_str(), &inNew) == 0;
    if (S_ISDIR(inOld.st_mode)) {
      if (depth >= 8) continue;
      if (!inBoth) ok = mkdir(to.c_str(), 0755) == 0 && ok;
      else if (!S_ISDIR(inNew.st_mode)) continue;
      ok = keepUserFiles(from + "/", to + "/", depth + 1) && ok;
    } else if (!inBoth) {
      ok = ULO_LinkOrCopySys(from, to) && ok;
    }
  }
  closedir(dir);
  return ok;
}

}  // namespace

void JL_SetFreeSpaceProbe(int64_t (*probe)(const std::string&)) { gFreeSpaceProbe = probe; }

bool JL_InstallDemoSong(const std::string& installerFolder, const std::string& appFolder,
                        const JLDemoFiles& files, const JLInstallerUi& ui,
                        std::vector<std::string>* failures, std::string* why) {
  const std::string from = JL_WithTrailingSlash(installerFolder);
  const std::string app = JL_WithTrailingSlash(appFolder);
  const std::string songName = files.descriptor.substr(0, files.descriptor.rfind('.'));
  auto fail = [&](const std::string& name, const std::string& text) {
    if (!name.empty()) failures->push_back(name);
    if (why && why->empty()) *why = text;
    return false;
  };
  if (!ULO_IsSingleName(songName.c_str()))
    return fail(files.descriptor, ULO_RefusedNameMessage(songName.c_str(), "it is not a plain song name"));
  const std::string songs = app + "Library/Song/";
  const std::string images = app + "Library/Images/";
  if (!makeFolders(songs)) return fail(songs, "The folder " + songs + " cannot be made.");

  int64_t needed = fileBytes(from + files.descriptor);
  if (!files.picture.empty()) needed += 2 * fileBytes(from + files.picture);
  for (const std::string& loop : files.loops) needed += JL_DecodedLoopBytes(from + loop);
  const int64_t free = freeBytes(songs);
  if (free >= 0 && needed > free)
    return fail("", "The demo song needs " + ULO_ByteText(needed) + ", but the disk of " + songs + " has only " +
                        ULO_ByteText(free) + " free.");

  // Everything is written beside the library's song first; the library
  // sees the song only once all of it is there.
  const std::string songFolder = songs + songName;
  const std::string temp = songs + ULO_TempName(songName);
  const std::string aside = songs + ULO_TempName(songName, "old");
  ULO_DeleteTreeSys(temp);
  if (mkdir(temp.c_str(), 0755) != 0) return fail(songs, "The folder " + temp + " cannot be made.");
  const std::string into = temp + "/";
  bool ok = true;
  if (!copyFile(from + files.descriptor, into + "info.jls")) ok = fail(files.descriptor, "");
  std::string pictureTemp;
  if (!files.picture.empty()) {
    // The second copy goes where the song load panel looks for pictures.
    bool copied = copyFile(from + files.picture, into + files.picture);
    if (copied && makeFolders(images)) {
      pictureTemp = ULO_FreshTempPathSys(images + files.picture);
      copied = copyFile(from + files.picture, pictureTemp);
    } else {
      copied = false;
    }
    if (!copied) ok = fail(files.picture, "");
  }

  const int total = (int)files.loops.size();
  if (ui.beginWork) ui.beginWork(total);
  for (int i = 0; i < total; ++i) {
    const std::string& loop = files.loops[i];
    if (JL_DecompressLoop(from + loop, into + loop) != JLConvertResult::ok) ok = fail(loop, "");
    if (ui.progress) ui.progress(i + 1, total);
  }
  if (ui.endWork) ui.endWork();

  struct stat st;
  const bool replacing = lstat(songFolder.c_str(), &st) == 0;
  if (ok && replacing && !S_ISDIR(st.st_mode))
    ok = fail(songName, ULO_RefusedNameMessage(songName.c_str(), "the library holds something else under that name"));
  if (ok && replacing && !keepUserFiles(songFolder + "/", into)) ok = fail(songName, "Files of the installed song cannot be kept.");
  if (ok) {
    if (replacing) {
      if (renameat2(AT_FDCWD, songFolder.c_str(), AT_FDCWD, temp.c_str(), RENAME_EXCHANGE) != 0) {
        // File systems without the exchange: aside, in, and back on failure.
        ok = rename(songFolder.c_str(), aside.c_str()) == 0;
        if (ok && rename(temp.c_str(), songFolder.c_str()) != 0) {
          rename(aside.c_str(), songFolder.c_str());
          ok = false;
        }
        if (!ok) fail(songName, "The installed song cannot be exchanged.");
      }
    } else {
      ok = rename(temp.c_str(), songFolder.c_str()) == 0 || fail(songName, "The song folder cannot be made.");
    }
  }
  // On success `temp` holds the replaced song (or nothing), on failure the
  // unfinished one; either way it goes.
  ULO_DeleteTreeSys(temp);
  ULO_DeleteTreeSys(aside);
  if (!pictureTemp.empty()) {
    if (ok && std::rename(pictureTemp.c_str(), (images + files.picture).c_str()) != 0) fail(files.picture, "");
    std::remove(pictureTemp.c_str());
  }
  return ok;
}

int JL_RunDemoInstaller(const std::string& installerFolder, const std::string& configFile,
                        const JLInstallerUi& ui) {
  std::string app = JL_ReadApplicationFolder(configFile);
  if (app.empty()) {
    std::string chosen;
    JLFolderChoice choice = ui.chooseFolder ? ui.chooseFolder(kJLChooserTitle, &chosen) : JLFolderChoice::unavailable;
    switch (choice) {
      case JLFolderChoice::cancelled:
        return kJLExitFailed;
      case JLFolderChoice::unavailable:
        if (ui.showError) ui.showError(kJLNoChooserMessage);
        return kJLExitDone;
      case JLFolderChoice::notAFolder:
        return kJLExitDone;
      case JLFolderChoice::chosen:
        if (!isFolder(chosen)) return kJLExitDone;
        app = chosen;
        break;
    }
  }
  if (!ui.askYesNo || !ui.askYesNo(kJLProceedQuestion)) return kJLExitDeclined;
  app = JL_WithTrailingSlash(app);

  JLDemoFiles files;
  if (!JL_FindDemoFiles(installerFolder, &files) || files.descriptor.empty()) {
    if (ui.showError) ui.showError(kJLNoDescriptorMessage);
    return kJLExitFailed;
  }
  std::vector<std::string> failures;
  std::string why;
  if (JL_InstallDemoSong(installerFolder, app, files, ui, &failures, &why)) {
    if (ui.showInfo) ui.showInfo(kJLInstalledMessage + files.descriptor.substr(0, files.descriptor.rfind('.')));
    return kJLExitDone;
  }
  reportFailures(failures, why, ui);
  return kJLExitIncomplete;
}
