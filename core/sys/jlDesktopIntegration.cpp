#include "core/sys/jlDesktopIntegration.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "core/files/uloFiles.h"
#include "core/files/uloFolderOps.h"
#include "core/sys/jlPaths.h"
#include "core/sys/uloProcess.h"

namespace {

// Rebuilds the user's desktop caches after a change (see Register_JLDataIcon).
// Held by pointer: a program that leaves by exit() without waiting must not
// end in std::terminate from a joinable thread's destructor.
std::thread* gUpdater = nullptr;

std::string xdg(const char* var, const char* fallback) {
  const char* v = getenv(var);
  if (v && v[0] == '/') return v;
  const char* home = getenv("HOME");
  if (!home || !*home) return std::string();
  return std::string(home) + "/" + fallback;
}

// Desktop-entry values escape backslashes; Exec arguments are quoted.
std::string quotedExec(const std::string& program) {
  std::string out = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += "\\\\";
    out += c;
  }
  return out + "\"";
}

// A regular file of at most 4 MiB, whole.
bool readSmallFile(const std::string& path, std::string* content) {
  const int fd = ULO_OpenRegularSystemFile(path.c_str(), O_RDONLY);
  FILE* f = fd < 0 ? nullptr : fdopen(fd, "rb");
  if (!f) {
    if (fd >= 0) close(fd);
    return false;
  }
  content->clear();
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0 && content->size() <= (4u << 20)) content->append(buf, n);
  const bool ok = !ferror(f) && content->size() <= (4u << 20);
  fclose(f);
  return ok;
}

}  // namespace

bool JL_MakeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (mkdir(path.substr(0, i).c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

std::string JL_XdgDataHome() { return xdg("XDG_DATA_HOME", ".local/share"); }
std::string JL_XdgConfigHome() { return xdg("XDG_CONFIG_HOME", ".config"); }
std::string JL_XdgCacheHome() { return xdg("XDG_CACHE_HOME", ".cache"); }

std::string JL_ProgramFolder() {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return std::string();
  exe[n] = 0;
  std::string s(exe);
  return s.substr(0, s.rfind('/') + 1);
}

bool JL_WriteFileAtomically(const std::string& path, const std::string& content, bool* changed) {
  if (changed) *changed = false;
  // Unchanged content is not rewritten: a second start changes nothing.
  const int oldFd = ULO_OpenRegularSystemFile(path.c_str(), O_RDONLY);
  if (FILE* f = oldFd < 0 ? nullptr : fdopen(oldFd, "rb")) {
    std::string old;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0 && old.size() <= content.size()) old.append(buf, n);
    fclose(f);
    if (old == content) return true;
  }
  size_t slash = path.rfind('/');
  if (slash == std::string::npos || !JL_MakeFolders(path.substr(0, slash))) return false;
  const std::string tmp = ULO_FreshTempPathSys(path);
  // Never through a link someone left at the temporary's name.
  int fd = tmp.empty() ? -1 : open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, content.data(), content.size()) == (ssize_t)content.size();
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(tmp.c_str());
  if (changed) *changed = ok;
  return ok;
}

std::string JL_DesktopEntry(const std::string& program) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Jamloom\n"
         "GenericName=Loop groovebox\n"
         "Comment=Build dance-music tracks out of loops\n"
         "Exec=" + (program.empty() ? std::string("jamloom") : quotedExec(program)) + " %f\n"
         "Icon=jamloom\n"
         "Terminal=false\n"
         "Categories=AudioVideo;Audio;Music;\n"
         "Keywords=loop;groove;dance;music;mix;\n"
         "MimeType=" + std::string(kJLMixMimeType) + ";\n";
}

std::string JL_MimePackage() {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
             "  <mime-type type=\"") + kJLMixMimeType + "\">\n"
         "    <comment>Jamloom mix</comment>\n"
         "    <icon name=\"application-x-jamloom-mix\"/>\n"
         "    <glob pattern=\"*.jld\"/>\n"
         "  </mime-type>\n"
         "</mime-info>\n";
}

JLRegistration JL_RegisterDesktop(const std::string& programFolder, const std::string& dataHome) {
  JLRegistration r;
  if (dataHome.empty() || programFolder.empty()) return r;
  bool changed = false;
  r.ok = JL_WriteFileAtomically(dataHome + "/applications/jamloom.desktop",
                                JL_DesktopEntry(programFolder + "jamloom"), &changed);
  r.desktopChanged = changed;
  r.ok = JL_WriteFileAtomically(dataHome + "/mime/packages/jamloom.xml", JL_MimePackage(), &changed) && r.ok;
  r.mimeChanged = changed;
  // The icons the build made beside the program, copied only when they differ.
  static const char* const kIcons[] = {"apps/jamloom", "mimetypes/application-x-jamloom-mix"};
  static const char* const kSizes[] = {"16x16", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256", "512x512"};
  for (const char* icon : kIcons) {
    for (const char* size : kSizes) {
      const std::string rel = std::string("icons/hicolor/") + size + "/" + icon + ".png";
      std::string content;
      if (!readSmallFile(programFolder + rel, &content)) continue;
      r.ok = JL_WriteFileAtomically(dataHome + "/" + rel, content, &changed) && r.ok;
      r.iconsChanged = r.iconsChanged || changed;
    }
    const std::string rel = std::string("icons/hicolor/scalable/") + icon + ".svg";
    std::string content;
    if (readSmallFile(programFolder + rel, &content)) {
      r.ok = JL_WriteFileAtomically(dataHome + "/" + rel, content, &changed) && r.ok;
      r.iconsChanged = r.iconsChanged || changed;
    }
  }
  return r;
}

bool Register_JLDataIcon() {
  // An installed program is registered by its package, system-wide.
  if (JL_RunPaths().mode == JLRunMode::installed) return true;
  const std::string data = JL_XdgDataHome();
  const JLRegistration r = JL_RegisterDesktop(JL_ProgramFolder(), data);
  if (!r.mimeChanged && !r.desktopChanged) return r.ok;
  // The desktop reads its caches, not the files: rebuild them, off the
  // start-up path, and only the user's own.
  JL_WaitDesktopRegistration();
  gUpdater = new std::thread([data, r] {
    std::string out;
    int code = 0;
    if (r.mimeChanged) ULO_RunCapture({"update-mime-database", data + "/mime"}, &out, &code, &out);
    if (r.desktopChanged) ULO_RunCapture({"update-desktop-database", data + "/applications"}, &out, &code, &out);
  });
  return r.ok;
}

void JL_WaitDesktopRegistration() {
  if (!gUpdater) return;
  gUpdater->join();
  delete gUpdater;
  gUpdater = nullptr;
}

std::string JL_ApplicationFolderFile() {
  std::string config = JL_XdgConfigHome();
  return config.empty() ? std::string() : config + "/jamloom/path";
}

bool JL_WriteApplicationFolder() {
  std::string file = JL_ApplicationFolderFile();
  // The folder that holds the writable Library: the user's when installed.
  std::string folder = JL_RunPaths().mode == JLRunMode::installed ? JL_RunPaths().workFolder : JL_ProgramFolder();
  if (file.empty() || folder.empty()) return false;
  return JL_WriteFileAtomically(file, folder + "\n");
}
