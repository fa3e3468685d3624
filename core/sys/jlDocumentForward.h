// Hands a document from a second start of the program to the copy already
// running on the same library, through a unix socket in $XDG_RUNTIME_DIR
// named after the library folder (device and inode, so two links to one
// library meet). Only the same user can connect (the folder is the user's
// own, and the peer's credentials are checked); what arrives is taken only
// when it names an existing regular file by an absolute path.
//
// Protocol: the client sends the path and closes its sending side; the
// server answers "ok\n" once it has queued the path, else "no\n". A start
// without a document sends the word "raise" instead (no path starts with
// anything but '/'), asking the running copy to bring its window to the
// front; a copy that does not know the word answers "no\n".
//
// Threads: the listener runs its own thread; JL_TakeForwardedDocument is
// for the user-interface thread (it only takes a lock no disk access holds).
// Failures: false; nothing is forwarded and the caller goes on as before.
#pragma once
#include <string>

// $XDG_RUNTIME_DIR/jamloom-<dev>-<ino>.sock for the folder, or empty when
// there is no runtime folder owned by this user or the folder is missing.
std::string JL_ForwardSocketPath(const std::string& libraryFolder);

// Starts listening (a stale socket left by a crash is replaced: the caller
// holds the library's lock, so no other copy owns it).
bool JL_StartDocumentListener(const std::string& socketPath);
void JL_StopDocumentListener();
// The oldest document received and not yet taken.
bool JL_TakeForwardedDocument(std::string* path);
// Whether a start asked for the window (a document handed over asks too)
// since the last call; the request is taken.
bool JL_TakeRaiseRequest();

// Client side: sends the absolute path and waits (at most `timeoutMs`) for
// the running copy to take it.
bool JL_ForwardDocument(const std::string& socketPath, const std::string& absolutePath, int timeoutMs = 5000);
// Asks the running copy to bring its window to the front; false when no
// copy listens there or it did not take the request.
bool JL_AskToRaise(const std::string& socketPath, int timeoutMs = 5000);

// Whether a received text is a document path to accept: absolute, no
// control characters, at most 4095 bytes, an existing regular file.
bool JL_IsAcceptableForwardedPath(const std::string& text);
