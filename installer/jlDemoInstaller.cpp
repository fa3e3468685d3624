#include "installer/jlDemoInstaller.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "core/files/uloFiles.h"
#include "installer/jlLoopDecoder.h"

const char* const kJLChooserTitle = "Select the folder with Jamloom executable:";
const char* const kJLProceedQuestion = "New Jamloom demo song installation.\nDo you want to proceed?";
const char* const kJLNoDescriptorMessage = "Demo Song Corrupted: cannot find .jls file.";
const char* const kJLNoChooserMessage =
    "Cannot show the folder chooser: zenity is not installed.\n"
    "Start Jamloom once, then run this installer again.";
const char* const kJLIncompleteMessage = "These demo song files could not be installed:";
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
  const std::string temp = to + ".part";
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

void reportFailures(const std::vector<std::string>& failures, const JLInstallerUi& ui) {
  // A message box has room for a screenful, not for a whole broken package.
  const size_t shown = 12;
  std::string text = kJLIncompleteMessage;
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

void JL_InstallDemoSong(const std::string& installerFolder, const std::string& appFolder,
                        const JLDemoFiles& files, const JLInstallerUi& ui,
                        std::vector<std::string>* failures) {
  const std::string from = JL_WithTrailingSlash(installerFolder);
  const std::string app = JL_WithTrailingSlash(appFolder);
  const std::string songName = files.descriptor.substr(0, files.descriptor.rfind('.'));
  const std::string songFolder = app + "Library/Song/" + songName + "/";
  if (!makeFolders(songFolder)) {
    // Nothing of the song can land anywhere.
    failures->push_back(songFolder);
    return;
  }
  if (!copyFile(from + files.descriptor, songFolder + "info.jls")) failures->push_back(files.descriptor);

  if (!files.picture.empty()) {
    // The second copy goes where the song load panel looks for pictures.
    const std::string images = app + "Library/Images/";
    bool ok = copyFile(from + files.picture, songFolder + files.picture);
    ok = makeFolders(images) && copyFile(from + files.picture, images + files.picture) && ok;
    if (!ok) failures->push_back(files.picture);
  }

  const int total = (int)files.loops.size();
  if (ui.beginWork) ui.beginWork(total);
  for (int i = 0; i < total; ++i) {
    const std::string& loop = files.loops[i];
    if (JL_DecompressLoop(from + loop, songFolder + loop) != JLConvertResult::ok) failures->push_back(loop);
    if (ui.progress) ui.progress(i + 1, total);
  }
  if (ui.endWork) ui.endWork();
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
  JL_InstallDemoSong(installerFolder, app, files, ui, &failures);
  if (failures.empty()) return kJLExitDone;
  reportFailures(failures, ui);
  return kJLExitIncomplete;
}
