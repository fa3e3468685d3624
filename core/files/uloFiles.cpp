#include "core/files/uloFiles.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/files/uloPathNames.h"

int uloLastOsError = 0;

namespace {

// Converts into the caller's buffer; a path that does not fit is refused
// rather than cut, so a long name can never address a different file.
struct SysPath {
  char text[4096];
  bool ok;
  explicit SysPath(const char* ulo) {
    ok = ulo && ULO_UloPathToSystemPath(ulo, text, sizeof text);
    // ":" is the program folder itself.
    if (ok && !text[0]) {
      if (ulo[0] == ':')
        strcpy(text, ".");
      else
        ok = false;
    }
  }
};

bool fail() {
  uloLastOsError = errno;
  return false;
}

bool openWith(const char* path, uloFileRec* file, int flags, bool writable) {
  if (!file) return false;
  file->handle = 0;
  SysPath sys(path);
  if (!sys.ok) {
    uloLastOsError = ENOENT;
    return false;
  }
  // Truncation waits until the lock is ours: cutting first would destroy a
  // file that another running copy holds, even though our open is refused.
  const bool truncate = (flags & O_TRUNC) != 0;
  int fd = ULO_OpenRegularSystemFile(sys.text, flags & ~O_TRUNC);
  if (fd < 0) return false;
  if (writable) {
    // "Not shared": a second writer is refused, as callers expect.
    struct flock lk = {};
    lk.l_type = F_WRLCK;
    lk.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK, &lk) != 0 || (truncate && ftruncate(fd, 0) != 0)) {
      uloLastOsError = errno;
      ::close(fd);
      return false;
    }
  }
  file->handle = fd + 1;
  file->writable = writable;
  return true;
}

int fdOf(const uloFileRec* file) { return file && file->handle > 0 ? file->handle - 1 : -1; }

}  // namespace

int ULO_OpenRegularSystemFile(const char* sysPath, int flags) {
  if (!sysPath) {
    uloLastOsError = ENOENT;
    return -1;
  }
  // O_NONBLOCK so that a FIFO without a writer (or a device) cannot hold the
  // open itself; once the file is known to be regular the flag goes again.
  int fd = ::open(sysPath, flags | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) {
    fail();
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    fail();
    ::close(fd);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    uloLastOsError = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    fprintf(stderr, "Jamloom: skipped '%s': %s\n", sysPath,
            S_ISDIR(st.st_mode) ? "a folder, not a file" : "not a regular file");
    return -1;
  }
  const int fl = fcntl(fd, F_GETFL);
  if (fl < 0 || fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) {
    fail();
    ::close(fd);
    return -1;
  }
  return fd;
}

bool ULO_FileExists(const char* path) {
  SysPath sys(path);
  struct stat st;
  return sys.ok && stat(sys.text, &st) == 0;
}

bool ULO_FileIsFolder(const char* path) {
  SysPath sys(path);
  struct stat st;
  return sys.ok && stat(sys.text, &st) == 0 && S_ISDIR(st.st_mode);
}

bool ULO_FileCreateAndOpen(const char* path, uloFileRec* file) {
  return openWith(path, file, O_RDWR | O_CREAT | O_TRUNC, true);
}

bool ULO_FileOpen(const char* path, uloFileRec* file) { return openWith(path, file, O_RDWR, true); }

bool ULO_FileOpenReadOnly(const char* path, uloFileRec* file) {
  return openWith(path, file, O_RDONLY, false);
}

bool ULO_FileRead(uloFileRec* file, void* buffer, int32_t count, int32_t* got) {
  if (got) *got = 0;
  int fd = fdOf(file);
  if (fd < 0 || count < 0 || (!buffer && count > 0)) return false;
  int32_t done = 0;
  while (done < count) {
    ssize_t r = ::read(fd, (char*)buffer + done, (size_t)(count - done));
    if (r < 0) {
      if (errno == EINTR) continue;
      if (got) *got = done;
      return fail();
    }
    if (r == 0) break;
    done += (int32_t)r;
  }
  if (got) *got = done;
  return done == count;
}

bool ULO_FileWrite(uloFileRec* file, const void* buffer, int32_t count) {
  int fd = fdOf(file);
  if (fd < 0 || count < 0 || (!buffer && count > 0)) return false;
  int32_t done = 0;
  while (done < count) {
    ssize_t w = ::write(fd, (const char*)buffer + done, (size_t)(count - done));
    if (w < 0) {
      if (errno == EINTR) continue;
      return fail();
    }
    done += (int32_t)w;
  }
  return true;
}

bool ULO_FileSetPos(uloFileRec* file, int32_t position) {
  int fd = fdOf(file);
  if (fd < 0 || position < 0) return false;
  return lseek(fd, position, SEEK_SET) >= 0 || fail();
}

bool ULO_FileSeekCurPos(uloFileRec* file, int32_t distance) {
  int fd = fdOf(file);
  if (fd < 0) return false;
  return lseek(fd, distance, SEEK_CUR) >= 0 || fail();
}

bool ULO_FileGetPos(uloFileRec* file, int32_t* position) {
  int fd = fdOf(file);
  if (fd < 0 || !position) return false;
  off_t p = lseek(fd, 0, SEEK_CUR);
  if (p < 0) return fail();
  *position = p > INT32_MAX ? INT32_MAX : (int32_t)p;
  return true;
}

int32_t ULO_FileGetLength(uloFileRec* file) {
  int fd = fdOf(file);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0) return fail(), -1;
  return st.st_size > INT32_MAX ? INT32_MAX : (int32_t)st.st_size;
}

bool ULO_FileClose(uloFileRec* file) {
  int fd = fdOf(file);
  if (fd < 0) return false;
  bool ok = true;
  if (file->writable) {
    off_t p = lseek(fd, 0, SEEK_CUR);
    if (p < 0 || ftruncate(fd, p) != 0) ok = fail();
  }
  if (::close(fd) != 0) ok = fail();
  file->handle = 0;
  file->writable = false;
  return ok;
}

bool ULO_FileDelete(const char* path) {
  SysPath sys(path);
  if (!sys.ok) return false;
  return unlink(sys.text) == 0 || fail();
}

bool ULO_FileRename(const char* from, const char* to) {
  SysPath a(from), b(to);
  if (!a.ok || !b.ok) return false;
  return rename(a.text, b.text) == 0 || fail();
}

bool ULO_FileCopy(const char* from, const char* to) {
  SysPath a(from), b(to);
  if (!a.ok || !b.ok) return false;
  int in = ULO_OpenRegularSystemFile(a.text, O_RDONLY);
  if (in < 0) return false;
  // A copy from a read-only medium must end up writable (and so deletable).
  chmod(b.text, 0644);
  int out = ULO_OpenRegularSystemFile(b.text, O_WRONLY | O_CREAT);
  struct flock lk = {};
  lk.l_type = F_WRLCK;
  lk.l_whence = SEEK_SET;
  // The target is locked before it is cut, like every file opened to write.
  if (out >= 0 && (fcntl(out, F_SETLK, &lk) != 0 || ftruncate(out, 0) != 0)) {
    fail();
    ::close(out);
    out = -1;
  }
  if (out < 0) {
    ::close(in);
    return false;
  }
  char buf[65536];
  bool ok = true;
  for (;;) {
    ssize_t r = ::read(in, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      ok = fail();
      break;
    }
    if (r == 0) break;
    ssize_t off = 0;
    while (off < r) {
      ssize_t w = ::write(out, buf + off, (size_t)(r - off));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        ok = fail();
        break;
      }
      off += w;
    }
    if (!ok) break;
  }
  ::close(in);
  if (::close(out) != 0) ok = fail();
  fchmodat(AT_FDCWD, b.text, 0644, 0);
  return ok;
}

bool ULO_CreateDirectory(const char* path) {
  SysPath sys(path);
  if (!sys.ok) return false;
  return mkdir(sys.text, 0755) == 0 || fail();
}

bool ULO_RemoveDirectory(const char* path) {
  SysPath sys(path);
  if (!sys.ok) return false;
  return rmdir(sys.text) == 0 || fail();
}

bool ULO_FileSetDocTypeCreator(const char*, uint32_t, uint32_t) { return true; }

// ---- the one-copy-per-library lock ----

namespace {
int gInstanceLock = -1;
}

uloInstanceLock ULO_TakeInstanceLock(const char* path, long* holder) {
  if (holder) *holder = 0;
  ULO_ReleaseInstanceLock();
  SysPath sys(path);
  if (!sys.ok) return uloInstanceLock::unavailable;
  int fd = ULO_OpenRegularSystemFile(sys.text, O_RDWR | O_CREAT);
  if (fd < 0) return uloInstanceLock::unavailable;
  // A lock of the open file description, not of the process: reading the
  // file elsewhere in this process cannot drop it.
  struct flock lk = {};
  lk.l_type = F_WRLCK;
  lk.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_SETLK, &lk) != 0) {
    const bool busy = errno == EAGAIN || errno == EACCES;
    uloLastOsError = errno;
    char text[32] = {};
    if (busy && holder && pread(fd, text, sizeof text - 1, 0) > 0) *holder = strtol(text, nullptr, 10);
    ::close(fd);
    return busy ? uloInstanceLock::busy : uloInstanceLock::unavailable;
  }
  // The holder's id inside is only for a person who looks; the lock itself
  // is what counts, and it goes with the process however that ends.
  char text[32];
  const int n = snprintf(text, sizeof text, "%ld\n", (long)getpid());
  if (ftruncate(fd, 0) != 0 || ::write(fd, text, (size_t)n) != n) uloLastOsError = errno;
  gInstanceLock = fd;
  return uloInstanceLock::held;
}

void ULO_ReleaseInstanceLock() {
  if (gInstanceLock >= 0) ::close(gInstanceLock);
  gInstanceLock = -1;
}

// ---- accepted kinds and the one folder listing ----

namespace {

std::mutex gTypesLock;
char gTypes[256] = "*.*";  // under gTypesLock
DIR* gScan = nullptr;

// Does the name's extension (from its last '.') match one pattern of the
// ';'-separated list? Patterns are compared with exact case.
bool matchesKinds(const char* name) {
  std::lock_guard<std::mutex> g(gTypesLock);
  const char* dot = strrchr(name, '.');
  const char* p = gTypes;
  if (*p == '*') ++p;
  while (*p) {
    const char* end = strchr(p, ';');
    size_t len = end ? (size_t)(end - p) : strlen(p);
    if (len == 2 && p[0] == '.' && p[1] == '*' && dot) return true;
    if (dot && strlen(dot) == len && strncmp(dot, p, len) == 0) return true;
    if (!end) break;
    p = end + 1;
    if (*p == '*') ++p;
  }
  return false;
}

}  // namespace

void ULO_FileDialogCanOpenTypes(const char* types) {
  std::lock_guard<std::mutex> g(gTypesLock);
  ULO_StrCopy(gTypes, sizeof gTypes, types ? types : "*.*");
}

std::string ULO_FileDialogTypes() {
  std::lock_guard<std::mutex> g(gTypesLock);
  return gTypes;
}

void ULO_EndFolderScan() {
  if (gScan) closedir(gScan);
  gScan = nullptr;
}

bool ULO_ScanFileInFolder(const char* folderPath) {
  ULO_EndFolderScan();
  SysPath sys(folderPath);
  if (!sys.ok) return false;
  gScan = opendir(sys.text);
  if (!gScan) return fail();
  return true;
}

bool ULO_NextFileInFolder(char* name, size_t nameSize, bool* isFolder, bool* matchesKind) {
  for (;;) {
    if (!gScan) return false;
    errno = 0;
    struct dirent* e = readdir(gScan);
    if (!e) {
      ULO_EndFolderScan();
      return false;
    }
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    // A name holding ':' cannot be written as an internal path.
    if (strchr(e->d_name, ':')) continue;
    ULO_StrCopy(name, nameSize, e->d_name);
    if (isFolder) {
      bool dir = e->d_type == DT_DIR;
      if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
        struct stat st;
        dir = fstatat(dirfd(gScan), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
      }
      *isFolder = dir;
    }
    if (matchesKind) *matchesKind = matchesKinds(e->d_name);
    return true;
  }
}
