// uloPath: one internal ':' path held by value (2048 bytes), with the name
// operations, the file operations on the path and the modal file dialogs.
// JLPath adds dialogs answered asynchronously; uloFolderList lists a folder.
//
// User-interface thread, except the dialog worker that JLPath starts: it
// writes only its own JLPath and then posts the private remote message.
#pragma once
#include <string>
#include <atomic>
#include <string>
#include <cstdint>

#include "core/files/uloPathNames.h"

class uloPath {
 public:
  uloPath() { path[0] = 0; }
  virtual ~uloPath() = default;
  uloPath(const uloPath& o) { set(o.path); }
  uloPath& operator=(const uloPath& o) {
    if (this != &o) set(o.path);
    return *this;
  }

  virtual void reset() { path[0] = 0; }
  virtual void set(const uloPath* p) { set(p ? p->path : ""); }
  virtual void set(const char* text);
  virtual void add(const uloPath* p) { add(p ? p->path : ""); }
  virtual void add(const char* text);
  // Modal file dialogs; true when the user chose a file, which is then stored
  // here. They block the calling thread.
  virtual bool userDialogGet();
  virtual bool userDialogPut();
  virtual bool parent() { return ULO_File_GoParent(path); }
  virtual bool toSystemPath(char* out, size_t outSize) const;
  virtual bool fromSystemPath(const char* text);
  virtual int32_t length() const { return 0; }
  virtual bool exists() const;
  virtual bool create() const;
  virtual bool remove() const;
  virtual bool copyTo(const uloPath* other) const;
  virtual bool rename(const uloPath* newPath) const;
  virtual bool moveTo(const char*) { return false; }
  virtual bool moveTo(const uloPath*) { return false; }
  virtual bool isVisible() const { return true; }
  virtual bool isFolder() const { return false; }
  virtual bool isEqual(const uloPath* other) const;
  virtual bool setVisible(bool) { return false; }
  virtual bool getName(char* out, size_t outSize) const;
  virtual bool getNameWithoutExtension(char* out, size_t outSize) const;
  virtual bool parentName(char* out, size_t outSize) const { return ULO_File_GetParentName(path, out, outSize); }
  virtual void stripName() { ULO_File_StripFileName(path); }
  virtual void setName(const char* text);
  virtual bool getKind(char*) const { return false; }
  virtual bool isKind(const char*) const { return false; }
  virtual bool getKind(uint32_t*) const { return false; }
  virtual bool isKind(uint32_t) const { return false; }
  virtual bool isHidden() const { return !isVisible(); }
  virtual bool isDocument() const { return !isFolder(); }
  virtual void set(const uloPath& p) { set(p.path); }
  virtual void add(const uloPath& p) { add(p.path); }

  // The four type codes are ignored here; the text (e.g. "*.jld") becomes
  // the dialog's filter. Null means all files.
  void userDialogTypes(uint32_t t1, uint32_t t2, uint32_t t3, uint32_t t4, const char* typeText);

  bool empty() const { return path[0] == 0; }
  const char* c_str() const { return path; }

  char path[kUloPathMax];
};

// Outcome of running the external chooser, kept apart for tests.
enum class uloDialogResult { chosen, cancelled, unavailable };
// Runs the system file chooser (zenity). `save` selects the save form,
// `startFolder` and `startName` are system paths. On `chosen` the system
// path is in out.
// `control`, when given, lets another thread close the chooser.
struct uloRunControl;
uloDialogResult ULO_RunFileChooser(bool save, const char* startFolder, const char* startName,
                                   const char* filter, char* out, size_t outSize,
                                   uloRunControl* control = nullptr);
// Set by a dialog that found no chooser program; the user-interface thread
// clears it when it tells the user.
extern std::atomic<bool> uloFileChooserUnavailable;
// Where a file dialog opens when its path names no folder: the folder of
// the last file chosen, else ~/Music, else the home folder, else the
// current one (a system path, no trailing '/'). Any thread.
std::string ULO_DialogStartFolder();
// Remembers the folder of a chosen file (system path).
void ULO_RememberDialogFolder(const char* systemFile);
// Program used as the chooser; tests point it at a script.
void ULO_SetFileChooserProgram(const char* program);
// The program set above; other dialogs of the same kind (a folder, a name)
// run it too.
std::string ULO_FileChooserProgram();

class JLPath : public uloPath {
 public:
  JLPath() = default;
  ~JLPath() override;
  // Starts the dialog on a worker thread and returns at once. False when a
  // request is pending anywhere in the program or the thread cannot start.
  // The answer arrives as the remote message carrying this path. The
  // worker works on copies (path, filter) taken here; a JLPath destroyed
  // with its dialog open closes the chooser and never waits for it.
  virtual bool asyncDialogGet(short a, short b, short c);
  virtual bool asyncDialogPut(short a, short b, short c);

  short request[3] = {0, 0, 0};
  bool ready = false;
  // The last dialog started was a save (the in-window name entry that
  // stands in for a missing chooser asks accordingly).
  bool saving = false;

 private:
  bool startAsync(bool save, short a, short b, short c);
};

// The path of the one pending asynchronous dialog, or null.
extern std::atomic<JLPath*> asyncPanThreadPathRef;

// Whether a window of the desktop's dialog program is up for us: the file
// chooser above, or a question a worker asks (held by a
// ULO_ExternalDialogScope around it). While one is, presses and typed keys
// belong to it, not to the main window. Any thread.
bool ULO_ExternalDialogOpen();
class ULO_ExternalDialogScope {
 public:
  ULO_ExternalDialogScope();
  ~ULO_ExternalDialogScope();
  ULO_ExternalDialogScope(const ULO_ExternalDialogScope&) = delete;
  ULO_ExternalDialogScope& operator=(const ULO_ExternalDialogScope&) = delete;
};

class uloFolderList : public uloPath {
 public:
  virtual bool start();
  virtual bool next();
  virtual int count();
  virtual uloFolderList& filterFolders(bool skip) { skipFolders = skip; return *this; }
  virtual uloFolderList& filterDocuments(bool skip) { skipDocuments = skip; return *this; }
  virtual uloFolderList& filterHidden(bool skip) { skipHidden = skip; return *this; }
  virtual uloFolderList& passKind(const char* text);
  virtual uloFolderList& passKind(uint32_t code) { kindCode = code; return *this; }

  uloPath item;
  char name[256] = {0};
  bool skipFolders = true;
  bool skipDocuments = false;
  bool skipHidden = true;
  char kindText[33] = {0};
  uint32_t kindCode = 0x2A2A2A2A;  // '****'
  short index = -1;
  // Whether the entry last returned is a folder.
  bool itemIsFolder = false;
};
