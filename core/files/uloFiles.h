// Free file functions over internal ':' paths, plus the one folder listing.
//
// Every function converts its path into a buffer of its own, so they may be
// called from any thread except where noted (the folder listing is one global
// cursor and belongs to the user-interface thread). Results: true on success;
// the errno of the last failing call is kept in uloLastOsError.
#pragma once
#include <cstdint>
#include <cstddef>
#include <string>

// The operating-system handle of an open file; 0 means closed. On Linux the
// descriptor is stored plus one so that descriptor 0 is still a valid file.
struct uloFileRec {
  int handle = 0;
  bool writable = false;  // only files opened for writing are truncated on close
};

extern int uloLastOsError;

bool ULO_FileExists(const char* path);
bool ULO_FileIsFolder(const char* path);
// Opening refuses anything but a regular file (a FIFO, device or folder is
// skipped with a line in the log, uloLastOsError EINVAL or EISDIR), so no open
// can block. A file opened to write is locked before it is truncated: a file
// another process holds stays as it was and the open fails.
bool ULO_FileCreateAndOpen(const char* path, uloFileRec* file);
bool ULO_FileOpen(const char* path, uloFileRec* file);
bool ULO_FileOpenReadOnly(const char* path, uloFileRec* file);
// open(2) of a system path that succeeds only for a regular file (flags
// without O_TRUNC; O_CLOEXEC is added): the descriptor, or -1 with
// uloLastOsError set. Never blocks on a FIFO or device. For the few readers
// that need a plain descriptor (libsndfile, stdio).
int ULO_OpenRegularSystemFile(const char* sysPath, int flags);
// Reads exactly count bytes; a short read (end of file) is a failure. The
// number really read is stored in *got when it is given.
bool ULO_FileRead(uloFileRec* file, void* buffer, int32_t count, int32_t* got = nullptr);
bool ULO_FileWrite(uloFileRec* file, const void* buffer, int32_t count);
bool ULO_FileSetPos(uloFileRec* file, int32_t position);
bool ULO_FileSeekCurPos(uloFileRec* file, int32_t distance);
bool ULO_FileGetPos(uloFileRec* file, int32_t* position);
// Length in bytes, or -1 for a closed handle (files over 2 GiB report INT32_MAX).
int32_t ULO_FileGetLength(uloFileRec* file);
// Sets the end of a writable file at the current position, then closes.
bool ULO_FileClose(uloFileRec* file);
bool ULO_FileDelete(const char* path);
bool ULO_FileRename(const char* from, const char* to);
bool ULO_FileCopy(const char* from, const char* to);
bool ULO_CreateDirectory(const char* path);
bool ULO_RemoveDirectory(const char* path);
bool ULO_FileSetDocTypeCreator(const char* path, uint32_t type, uint32_t creator);

// The lock that keeps a second running copy of the program off the same
// library: a lock file held for the life of the process. Start-up thread.
enum class uloInstanceLock {
  held,        // this process holds it until it ends
  busy,        // another running process holds it; *holder gets its pid or 0
  unavailable  // the lock file cannot be made (read-only folder): no lock
};
uloInstanceLock ULO_TakeInstanceLock(const char* path, long* holder = nullptr);
// Releases a lock taken by ULO_TakeInstanceLock (tests; the program keeps
// it until it ends).
void ULO_ReleaseInstanceLock();

// Builds the accepted-kind list used by ULO_NextFileInFolder (and the file
// dialogs' filter): a text such as "*.wav;*.aif". Null means "*.*". Any
// thread: a dialog worker takes a copy while the interface may change it.
void ULO_FileDialogCanOpenTypes(const char* types);
std::string ULO_FileDialogTypes();

// One listing for the whole program; starting a new one abandons the old.
bool ULO_ScanFileInFolder(const char* folderPath);
// The next entry's bare name (at most nameSize - 1 bytes), never "." or "..".
bool ULO_NextFileInFolder(char* name, size_t nameSize, bool* isFolder = nullptr,
                          bool* matchesKind = nullptr);
void ULO_EndFolderScan();

// RAII owner for a uloFileRec, for code that must not leak a descriptor on an
// early return. Close() keeps the truncate-at-position rule.
class uloFile {
 public:
  uloFile() = default;
  ~uloFile() { if (rec.handle) ULO_FileClose(&rec); }
  uloFile(const uloFile&) = delete;
  uloFile& operator=(const uloFile&) = delete;
  uloFileRec* operator&() { return &rec; }
  bool isOpen() const { return rec.handle != 0; }
  bool close() { return ULO_FileClose(&rec); }
  uloFileRec rec;
};
