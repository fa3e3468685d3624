// The one rule for names that come from outside input (song descriptors,
// mix documents, disks, package files): such a name is either a single
// path component or a relative path whose every component is one, and the
// file it names must lie inside the folder it was meant for once symbolic
// links are followed. Anything else is refused, with a message that names
// it, before any file is opened or written.
//
// Names are in the internal ':' notation: ':' separates components, so a
// single name never holds ':' (nor '/', which the conversion to a Linux
// path would turn into a separator of its own).
//
// Any thread (no shared state; the checks read the file system only).
// Failures: false, an empty output and, when asked for, the message.
#pragma once
#include <cstddef>
#include <string>

// Not empty, at most 255 bytes, not "." or "..", no ':' '/' or control
// character.
bool ULO_IsSingleName(const char* name);

// Joins `folder` (internal path ending with ':') and `relative` (one name,
// or names separated by ':'; a trailing ':' names a folder) into `out`, and
// checks that the result, after following every symbolic link, is inside
// `folder` followed likewise. Components that do not exist yet are allowed
// (a file about to be written) unless one is a dangling symbolic link. A
// symbolic-link loop, a component that is not a single name, or a result
// outside the folder is refused: false, `out` empty, *why set.
bool ULO_PathInside(const char* folder, const char* relative, char* out, size_t outSize,
                    std::string* why = nullptr);
inline bool ULO_PathInside(const char* folder, const char* relative, std::string* why = nullptr) {
  char out[2048];
  return ULO_PathInside(folder, relative, out, sizeof out, why);
}

// The same check for a folder given as a system path (any characters,
// with or without a trailing '/') and a relative name in the internal
// notation.
bool ULO_PathInsideSys(const std::string& folder, const char* relative, std::string* why = nullptr);

// The message for a refused name: it quotes the name (control characters
// shown as '?') and says what it was meant to be.
std::string ULO_RefusedNameMessage(const char* name, const char* what);

// The installed program's one exception: a folder below `userLibrary` (a real
// system path) may hold links to the same relative place below
// `systemLibrary`, and what they lead to counts as inside. Empty arguments
// clear it. Called once at start-up before other threads run.
void ULO_SetLibraryMirror(const std::string& userLibrary, const std::string& systemLibrary);
