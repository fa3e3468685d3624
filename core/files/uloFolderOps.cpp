#include "core/files/uloFolderOps.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/files/uloPathNames.h"

namespace {

constexpr char kTempMark[] = ".jltmp-";
// Deeper trees than this are not song or synth folders; refusing keeps the
// number of open descriptors bounded.
constexpr int kMaxDepth = 64;

bool toSys(const char* path, std::string& out) {
  char sys[4096];
  if (!path || !ULO_UloPathToSystemPath(path, sys, sizeof sys)) return false;
  out = sys[0] ? sys : ".";
  return true;
}

// "a/b/" -> ("a/b", ""), "a/b/c" -> ("a/b", "c"); no slash: (".", name).
void splitSys(std::string path, std::string& dir, std::string& name) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    dir = ".";
    name = path;
  } else {
    dir = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

std::vector<std::string> entriesOf(DIR* d) {
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    names.push_back(e->d_name);
  }
  return names;
}

// Removes the entry `name` of the open folder `at`.
bool removeAt(int at, const char* name, dev_t device, int depth) {
  struct stat st;
  if (fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return unlinkat(at, name, 0) == 0 || errno == ENOENT;
  if (st.st_dev != device || depth > kMaxDepth) return false;
  const int fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* d = fdopendir(fd);
  if (!d) {
    close(fd);
    return false;
  }
  bool ok = true;
  for (const std::string& n : entriesOf(d)) ok = removeAt(dirfd(d), n.c_str(), device, depth + 1) && ok;
  closedir(d);
  return (ok && unlinkat(at, name, AT_REMOVEDIR) == 0) || (ok && errno == ENOENT);
}

bool removeStale(int at, const std::string& entry, const std::string& name, const std::string& tag) {
  if (tag == "old") {
    // An interrupted swap: the old folder is the only copy while its own
    // name is free.
    struct stat st;
    if (fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
      return renameat(at, entry.c_str(), at, name.c_str()) == 0;
  }
  struct stat st;
  if (fstatat(at, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  return removeAt(at, entry.c_str(), st.st_dev, 0);
}

int64_t bytesAt(int at, const char* name, int depth) {
  struct stat st;
  if (fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  if (S_ISREG(st.st_mode)) return st.st_size;
  if (!S_ISDIR(st.st_mode) || depth > kMaxDepth) return 0;
  const int fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  DIR* d = fdopendir(fd);
  if (!d) {
    close(fd);
    return -1;
  }
  int64_t total = 0;
  for (const std::string& n : entriesOf(d)) {
    const int64_t b = bytesAt(dirfd(d), n.c_str(), depth + 1);
    if (b < 0) {
      total = -1;
      break;
    }
    total += b;
  }
  closedir(d);
  return total;
}

}  // namespace

bool ULO_DeleteTreeSys(const std::string& sysPath) {
  if (sysPath.empty()) return false;
  std::string dir, name;
  splitSys(sysPath, dir, name);
  if (name.empty() || name == "." || name == ".." || name == "/") return false;
  const int at = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (at < 0) return errno == ENOENT;
  struct stat st;
  bool ok = true;
  if (fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) ok = removeAt(at, name.c_str(), st.st_dev, 0);
  else ok = errno == ENOENT;
  close(at);
  return ok;
}

bool ULO_DeleteTree(const char* path) {
  std::string sys;
  return toSys(path, sys) && ULO_DeleteTreeSys(sys);
}

std::string ULO_TempName(const std::string& name, const char* tag) {
  std::string t = "." + name + kTempMark + std::to_string((long)getpid());
  if (tag && tag[0]) t += std::string("-") + tag;
  return t;
}

bool ULO_ParseTempName(const char* entry, std::string* name, long* pid, std::string* tag) {
  if (!entry || entry[0] != '.') return false;
  const std::string e = entry;
  const size_t mark = e.rfind(kTempMark);
  if (mark == std::string::npos || mark < 2) return false;
  size_t p = mark + sizeof kTempMark - 1;
  const size_t digits = p;
  long value = 0;
  while (p < e.size() && e[p] >= '0' && e[p] <= '9' && p - digits < 10) value = value * 10 + (e[p++] - '0');
  if (p == digits || value <= 0) return false;
  std::string t;
  if (p < e.size()) {
    if (e[p] != '-' || p + 1 == e.size()) return false;
    t = e.substr(p + 1);
    for (char c : t)
      if (!(c >= 'a' && c <= 'z')) return false;
  }
  if (name) *name = e.substr(1, mark - 1);
  if (pid) *pid = value;
  if (tag) *tag = t;
  return true;
}

bool ULO_TempIsStale(long pid) {
  if (pid <= 0) return false;
  if (pid == (long)getpid()) return false;
  return kill((pid_t)pid, 0) != 0 && errno == ESRCH;
}

std::string ULO_FreshTempPathSys(const std::string& sysTarget) {
  std::string dir, name;
  splitSys(sysTarget, dir, name);
  if (name.empty()) return std::string();
  const std::string mine = ULO_TempName(name);
  const int at = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (at >= 0) {
    const int dup = fcntl(at, F_DUPFD_CLOEXEC, 0);
    if (DIR* d = dup >= 0 ? fdopendir(dup) : nullptr) {
      for (const std::string& e : entriesOf(d)) {
        std::string n, tag;
        long pid = 0;
        if (!ULO_ParseTempName(e.c_str(), &n, &pid, &tag) || n != name) continue;
        if (e == mine || ULO_TempIsStale(pid)) removeStale(at, e, n, tag);
      }
      closedir(d);
    } else if (dup >= 0) {
      close(dup);
    }
    close(at);
  }
  return (dir == "." && sysTarget.find('/') == std::string::npos ? std::string() : dir + "/") + mine;
}

bool ULO_FreshTempPath(const char* target, char* out, size_t outSize) {
  std::string sys;
  if (!out || outSize == 0 || !toSys(target, sys)) return false;
  const std::string tmp = ULO_FreshTempPathSys(sys);
  return !tmp.empty() && ULO_SystemPathToUloPath(tmp.c_str(), out, outSize) && out[0];
}

int ULO_CleanStaleTempsSys(const std::string& sysFolder) {
  const int at = open(sysFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (at < 0) return -1;
  const int dup = fcntl(at, F_DUPFD_CLOEXEC, 0);
  DIR* d = dup >= 0 ? fdopendir(dup) : nullptr;
  if (!d) {
    if (dup >= 0) close(dup);
    close(at);
    return -1;
  }
  int handled = 0;
  for (const std::string& e : entriesOf(d)) {
    std::string name, tag;
    long pid = 0;
    if (!ULO_ParseTempName(e.c_str(), &name, &pid, &tag) || !ULO_TempIsStale(pid)) continue;
    if (removeStale(at, e, name, tag)) handled++;
  }
  closedir(d);
  close(at);
  return handled;
}

int ULO_CleanStaleTemps(const char* folder) {
  std::string sys;
  return toSys(folder, sys) ? ULO_CleanStaleTempsSys(sys) : -1;
}

int ULO_CleanStaleTempsOfProgram() {
  int handled = 0;
  auto clean = [&](const std::string& folder) { handled += std::max(0, ULO_CleanStaleTempsSys(folder)); };
  clean(".");
  for (const char* folder : {"Library", "Library/Images", "Library/Jls"}) clean(folder);
  for (const std::string folder : {"Library/Song", "Library/Synth"}) {
    clean(folder);
    DIR* d = opendir(folder.c_str());
    if (!d) continue;
    std::vector<std::string> subs;
    for (const std::string& e : entriesOf(d)) {
      struct stat st;
      // Links are not followed: what they point at is not the library's.
      if (fstatat(dirfd(d), e.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) subs.push_back(e);
    }
    closedir(d);
    for (const std::string& sub : subs) {
      clean(folder + "/" + sub);
      struct stat st;
      const std::string user = folder + "/" + sub + "/User";
      if (lstat(user.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) clean(user);
    }
  }
  return handled;
}

bool ULO_RenameNew(const char* from, const char* to) {
  std::string a, b;
  if (!toSys(from, a) || !toSys(to, b)) return false;
  while (a.size() > 1 && a.back() == '/') a.pop_back();
  while (b.size() > 1 && b.back() == '/') b.pop_back();
  return renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0 ||
         // File systems without the flag: the check and the rename are two
         // steps, which is what the program did before.
         (errno == EINVAL && access(b.c_str(), F_OK) != 0 && rename(a.c_str(), b.c_str()) == 0);
}

bool ULO_SwapEntries(const char* a, const char* b, const char* aside) {
  std::string sa, sb, sc;
  if (!toSys(a, sa) || !toSys(b, sb) || !toSys(aside, sc)) return false;
  for (std::string* s : {&sa, &sb, &sc})
    while (s->size() > 1 && s->back() == '/') s->pop_back();
  if (renameat2(AT_FDCWD, sa.c_str(), AT_FDCWD, sb.c_str(), RENAME_EXCHANGE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (rename(sa.c_str(), sc.c_str()) != 0) return false;
  if (rename(sb.c_str(), sa.c_str()) == 0) {
    // Like the exchange, `b` names the old one afterwards; should that last
    // step fail, the old one stays at `aside`, which callers remove too.
    rename(sc.c_str(), sb.c_str());
    return true;
  }
  const int saved = errno;
  rename(sc.c_str(), sa.c_str());
  errno = saved;
  return false;
}

bool ULO_LinkOrCopySys(const std::string& from, const std::string& to) {
  if (linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 0) == 0) return true;
  if (errno == EEXIST) return false;
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    char target[4096];
    const ssize_t n = readlink(from.c_str(), target, sizeof target - 1);
    if (n < 0) return false;
    target[n] = 0;
    return symlink(target, to.c_str()) == 0;
  }
  if (!S_ISREG(st.st_mode)) return false;
  const int in = open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0) return false;
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 0777);
  bool ok = out >= 0;
  char buf[65536];
  while (ok) {
    const ssize_t r = read(in, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      ok = r == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < r;) {
      const ssize_t w = write(out, buf + done, size_t(r - done));
      if (w < 0 && errno == EINTR) continue;
      ok = w > 0;
      if (ok) done += w;
    }
  }
  close(in);
  if (out >= 0 && close(out) != 0) ok = false;
  if (!ok && out >= 0) unlink(to.c_str());
  return ok;
}

int64_t ULO_FreeBytes(const char* folder) {
  std::string sys;
  struct statvfs v;
  if (!toSys(folder, sys) || statvfs(sys.c_str(), &v) != 0) return -1;
  return (int64_t)v.f_bavail * (int64_t)v.f_frsize;
}

int64_t ULO_TreeBytes(const char* path) {
  std::string sys, dir, name;
  if (!toSys(path, sys)) return -1;
  splitSys(sys, dir, name);
  const int at = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (at < 0) return -1;
  const int64_t b = bytesAt(at, name.c_str(), 0);
  close(at);
  return b;
}

int64_t ULO_PlainFileBytes(const char* path) {
  std::string sys;
  struct stat st;
  if (!toSys(path, sys) || lstat(sys.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

std::string ULO_ByteText(int64_t bytes) {
  char t[32];
  if (bytes < 0) bytes = 0;
  if (bytes < 1000 * 1000)
    snprintf(t, sizeof t, "%lld KB", (long long)((bytes + 999) / 1000));
  else if (bytes < 1000LL * 1000 * 1000)
    snprintf(t, sizeof t, "%.1f MB", double(bytes) / 1e6);
  else
    snprintf(t, sizeof t, "%.1f GB", double(bytes) / 1e9);
  return t;
}
