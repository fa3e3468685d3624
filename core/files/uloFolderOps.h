// Whole-folder operations that must stay safe with any content: deleting a
// tree without ever following a symbolic link, the one naming scheme of
// temporary files and folders (and the removal of stale ones), the swap of
// two folders, and the sizes for the free-space check.
//
// Temporary names are ".<name>.jltmp-<pid>" beside the file or folder
// <name> they will become, optionally "-<tag>" after the number (the swap
// puts an old folder aside as tag "old"). A temporary is stale once no
// process with that number runs; only entries of exactly this form are
// ever cleaned up.
//
// Any thread (no shared state), paths internal ':' ones unless the name
// says "Sys". Failures: false, -1 or an empty string; errno is kept.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Removes `path`: a symbolic link (to anything) is removed as a link; a
// folder is emptied depth first without following a link and without
// entering another mounted file system, then removed. True when nothing is
// left (also when there was nothing).
bool ULO_DeleteTree(const char* path);
bool ULO_DeleteTreeSys(const std::string& sysPath);

// ".<name>.jltmp-<pid>" (and "-<tag>" when tag is given) for this process.
std::string ULO_TempName(const std::string& name, const char* tag = nullptr);
// Splits an entry of that form; false for anything else.
bool ULO_ParseTempName(const char* entry, std::string* name, long* pid, std::string* tag);
// Whether the writer of a temporary with that number has gone.
bool ULO_TempIsStale(long pid);

// The temporary to write before renaming onto `sysTarget`, beside it. Stale
// temporaries of the same target are removed first, and so is anything
// left at the returned name itself.
std::string ULO_FreshTempPathSys(const std::string& sysTarget);
bool ULO_FreshTempPath(const char* target, char* out, size_t outSize);

// Cleans one folder (not below it) of stale temporaries: files and folders
// are removed, except that an old folder put aside by an interrupted swap
// is put back when its own name is free again. The number of entries
// handled, or -1 when the folder cannot be read.
int ULO_CleanStaleTemps(const char* folder);
int ULO_CleanStaleTempsSys(const std::string& sysFolder);

// At start: the program folder (preferences), the library's folders,
// every song and synth folder and their "User:" folders, relative to the
// current folder. The number of entries handled.
int ULO_CleanStaleTempsOfProgram();

// Swaps the entries `a` and `b` of one file system in one step. Where the
// file system cannot, `a` is renamed to `aside`, `b` to `a`, then `aside`
// to `b` (on a failure of the second step `aside` goes back to `a`). False
// means both are where they were; after true the old `a` is at `b` or,
// rarely, still at `aside` (so callers remove both).
bool ULO_SwapEntries(const char* a, const char* b, const char* aside);
// Renames without replacing: false when `to` exists.
bool ULO_RenameNew(const char* from, const char* to);

// Gives the file (or link) `from` a second name `to` (system paths, `to`
// must not exist): a hard link, or where the file system has none a copy
// (a link is copied as a link). The original stays, so a process killed
// halfway never leaves a file only under a temporary name.
bool ULO_LinkOrCopySys(const std::string& from, const std::string& to);

// Free bytes for an unprivileged writer on the file system of `folder`;
// -1 when unknown.
int64_t ULO_FreeBytes(const char* folder);
// Bytes of the plain files below `path` (links are not followed, a link
// counts nothing); -1 when it cannot be read.
int64_t ULO_TreeBytes(const char* path);
// Size of one plain file reached without following a final link; -1.
int64_t ULO_PlainFileBytes(const char* path);
// "840 KB", "12.3 MB", "2.1 GB".
std::string ULO_ByteText(int64_t bytes);
