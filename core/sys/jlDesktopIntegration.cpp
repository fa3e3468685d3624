#include "core/sys/jlDesktopIntegration.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/files/uloFiles.h"
#include "core/files/uloFolderOps.h"

namespace {

std::string xdg(const char* var, const char* fallback) {
  const char* v = getenv(var);
  if (v && v[0] == '/') return v;
  const char* home = getenv("HOME");
  if (!home || !*home) return std::string();
  return std::string(home) + "/" + fallback;
}

bool makeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
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

}  // namespace

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

bool JL_WriteFileAtomically(const std::string& path, const std::string& content) {
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
  if (slash == std::string::npos || !makeFolders(path.substr(0, slash))) return false;
  const std::string tmp = ULO_FreshTempPathSys(path);
  // Never through a link someone left at the temporary's name.
  int fd = tmp.empty() ? -1 : open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, content.data(), content.size()) == (ssize_t)content.size();
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(tmp.c_str());
  return ok;
}

bool Register_JLDataIcon() {
  const std::string data = JL_XdgDataHome();
  const std::string folder = JL_ProgramFolder();
  if (data.empty() || folder.empty()) return false;
  const std::string program = folder + "jamloom";
  std::string entry =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Jamloom\n"
      "GenericName=Loop groovebox\n"
      "Comment=Build dance-music tracks out of loops\n"
      "Exec=" + quotedExec(program) + " %f\n"
      "Path=" + folder + "\n"
      "Icon=jamloom\n"
      "Terminal=false\n"
      "Categories=AudioVideo;Audio;Music;\n"
      "MimeType=application/x-jamloom-document;\n";
  std::string mime =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
      "  <mime-type type=\"application/x-jamloom-document\">\n"
      "    <comment>Jamloom document</comment>\n"
      "    <icon name=\"application-x-jamloom-document\"/>\n"
      "    <glob pattern=\"*.jld\"/>\n"
      "  </mime-type>\n"
      "</mime-info>\n";
  bool ok = JL_WriteFileAtomically(data + "/applications/jamloom.desktop", entry);
  ok = JL_WriteFileAtomically(data + "/mime/packages/jamloom.xml", mime) && ok;
  return ok;
}

std::string JL_ApplicationFolderFile() {
  std::string config = JL_XdgConfigHome();
  return config.empty() ? std::string() : config + "/jamloom/path";
}

bool JL_WriteApplicationFolder() {
  std::string file = JL_ApplicationFolderFile();
  std::string folder = JL_ProgramFolder();
  if (file.empty() || folder.empty()) return false;
  return JL_WriteFileAtomically(file, folder + "\n");
}
