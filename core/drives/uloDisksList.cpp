#include "core/drives/uloDisksList.h"

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/files/uloPathNames.h"

namespace {

std::string gMountsFile = "/proc/self/mounts";
std::string gLabelsFolder = "/dev/disk/by-label";
std::string gExtraMedia;

// The mount table writes blanks, tabs and backslashes in names as octal
// escapes (\040).
std::string unescapeOctal(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); i++) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      const char a = s[i + 1], b = s[i + 2], c = s[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out += char((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
        i += 3;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

// udev writes unsafe characters of labels as \xNN.
std::string unescapeHex(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); i++) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' && isxdigit(uint8_t(s[i + 2])) &&
        isxdigit(uint8_t(s[i + 3]))) {
      out += char(strtol(s.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
      continue;
    }
    out += s[i];
  }
  return out;
}

bool startsWithFolder(const std::string& path, const char* folder) {
  const size_t n = strlen(folder);
  return path.size() > n + 1 && path.compare(0, n, folder) == 0 && path[n] == '/';
}

// Where a path leads; a link to a device that is not there is still
// followed one step, so its name can be compared.
std::string resolved(const std::string& path) {
  char buf[4096];
  if (realpath(path.c_str(), buf)) return buf;
  const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
  if (n <= 0) return path;
  buf[n] = 0;
  if (buf[0] == '/') return buf;
  return path.substr(0, path.find_last_of('/') + 1) + buf;
}

std::string labelOf(const std::string& device, const char* labelsFolder) {
  if (!labelsFolder || device.compare(0, 5, "/dev/") != 0) return {};
  DIR* d = opendir(labelsFolder);
  if (!d) return {};
  const std::string dev = resolved(device);
  std::string found;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    const std::string link = std::string(labelsFolder) + "/" + e->d_name;
    if (resolved(link) == dev) {
      found = unescapeHex(e->d_name);
      break;
    }
  }
  closedir(d);
  return found;
}

}  // namespace

void uloDisksList::setSystemSources(const char* mountsFile, const char* labelsFolder, const char* extraMediaFolder) {
  gExtraMedia = extraMediaFolder ? extraMediaFolder : "";
  gMountsFile = mountsFile ? mountsFile : "/proc/self/mounts";
  gLabelsFolder = labelsFolder ? labelsFolder : "/dev/disk/by-label";
}

std::vector<uloDisksList::Drive> uloDisksList::parseMounts(const std::string& table, const char* labelsFolder) {
  std::vector<Drive> out;
  std::istringstream in(table);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream f(line);
    std::string dev, dir, type;
    if (!(f >> dev >> dir >> type)) continue;
    dev = unescapeOctal(dev);
    dir = unescapeOctal(dir);
    // A mount point whose name the ':' notation cannot carry is not offered.
    if (dir.find(':') != std::string::npos) continue;
    Drive d;
    d.mountPoint = dir;
    d.device = dev;
    if (dir == "/") {
      d.removable = false;
    } else if (startsWithFolder(dir, "/media") || startsWithFolder(dir, "/run/media") ||
               startsWithFolder(dir, "/mnt") || (!gExtraMedia.empty() && startsWithFolder(dir, gExtraMedia.c_str()))) {
      // Only block devices (and FUSE-mounted ones) are media; memory file
      // systems mounted there by other programs are not.
      if (dev.compare(0, 5, "/dev/") != 0 && type != "fuseblk") continue;
      d.removable = true;
    } else {
      continue;
    }
    bool seen = false;
    for (const Drive& o : out) seen = seen || o.mountPoint == dir;
    if (seen) continue;  // a point mounted twice shows its first mount only
    d.label = labelOf(dev, labelsFolder);
    out.push_back(d);
  }
  return out;
}

uloDisksList::uloDisksList() { root_[0] = 0; }

void uloDisksList::start() {
  index_ = -1;
  root_[0] = 0;
  current.reset();
  std::ifstream in(gMountsFile);
  std::stringstream ss;
  if (in) ss << in.rdbuf();
  drives_ = parseMounts(ss.str(), gLabelsFolder.c_str());
}

bool uloDisksList::next(char* name) {
  index_++;
  // A drive whose root the ':' notation cannot hold in full is skipped: a
  // cut root would name some other folder.
  while (index_ >= 0 && index_ < int(drives_.size()) &&
         !ULO_SystemPathToUloPath(drives_[index_].mountPoint.c_str(), root_, sizeof root_ - 1))
    index_++;
  if (index_ < 0 || index_ >= int(drives_.size())) {
    index_ = int16_t(drives_.size());
    root_[0] = 0;
    current.reset();
    if (name) name[0] = 0;
    return false;
  }
  const Drive& d = drives_[index_];
  const size_t n = strlen(root_);
  if (n && root_[n - 1] != ':') {
    root_[n] = ':';
    root_[n + 1] = 0;
  }
  const size_t slash = d.mountPoint.find_last_of('/');
  const std::string base = d.mountPoint == "/" ? "/" : d.mountPoint.substr(slash + 1);
  current.set(base.c_str());
  if (name) ULO_StrCopy(name, kNameBytes, base.c_str());
  return true;
}

bool uloDisksList::set(short i) {
  start();
  while (index_ != i)
    if (!next()) return false;
  return true;
}

bool uloDisksList::loop(char* name) {
  if (next(name)) return true;
  start();
  return next(name);
}

short uloDisksList::get() const { return index_ >= 0 && index_ < int(drives_.size()) ? index_ : -1; }

bool uloDisksList::get(char* name) const {
  if (get() < 0) {
    if (name) name[0] = 0;
    return false;
  }
  if (name) ULO_StrCopy(name, kRootBytes, root_);
  return true;
}

bool uloDisksList::getExtended(char* name) const {
  if (get() < 0) return get(name);
  const Drive& d = drives_[index_];
  if (d.label.empty()) return get(name);
  if (name) ULO_StrCopy(name, kRootBytes, d.label.c_str());
  return true;
}

bool uloDisksList::ejectable() const { return get() >= 0 && drives_[index_].removable; }

bool uloDisksList::optical() const { return get() >= 0 && drives_[index_].device.compare(0, 7, "/dev/sr") == 0; }
