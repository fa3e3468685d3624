// What the song and synth browsers share: the panels' text list, pictures
// by cast name, case-insensitive path lookup (descriptions and disks name
// folders in any case, Linux names are exact), folder listings, and the
// copy and delete of library folders.
//
// User-interface thread (the folder listing is the program's single one).
// Failures are results: false, -1, an empty list.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/panel/QXPanel.h"

class uloOffmap;

namespace jlload {

constexpr int kPictureSize = 84;
// The localised message NEXT DISK shows when no removable disk is mounted.
constexpr int16_t kMsgNoDisk = 81;

// A text display that can also be a list row: once made clickable, a press
// on it is reported to the panel like a button's. A press that the panel
// counts as the second of a double click sets `doubled` before it is
// reported; the panel reads and clears it (takeDoubled).
class ListRowControl : public QXPanelTextControl {
 public:
  using QXPanelTextControl::getValue;
  using QXPanelTextControl::setValue;
  bool click() override { return clickable != 0; }
  bool doubleClick() override {
    doubled = clickable;
    return clickable != 0;
  }
  bool takeDoubled() {
    const bool d = doubled != 0;
    doubled = 0;
    return d;
  }
  uint8_t clickable = 0;
  uint8_t doubled = 0;
};
// The browsers' factory: text displays become ListRowControls.
uloPanelControl* newBrowserControl(short kind);
// Makes the row at `item` of a panel clickable and left-aligned.
void makeRow(uloPanelControl* control);
// Shows a text in a display, cut with the ellipsis when wider than the
// field rather than drawn over its neighbours. Null controls are ignored.
void setFittedText(uloPanelControl* control, const char* text);
// Enables or disables a control, redrawing only on a change.
void enableControl(uloPanelControl* control, bool on);

// Text resource 2 of the skin: lines separated by carriage returns.
class TextList {
 public:
  bool load();
  void set(const std::string& joined);
  // Empty for a missing line.
  const char* line(int n) const;
  // The picture named by the lines "collection,picture" for a collection
  // (letters compared without case), or empty.
  std::string pictureFor(const char* collection) const;
  std::vector<std::string> lines;
};

// snprintf for paths and lines: always terminated, longer results cut.
void fmt(char* out, size_t outSize, const char* format, ...) __attribute__((format(printf, 3, 4)));

// A localised format with one "%s": the first "%s" takes `arg`, any other
// '%' stays as it is (a table text can never read a missing argument).
std::string formatOne(const char* format, const char* arg);

// The id of the skin cast with that name (case ignored), or -1.
int32_t castIdForName(const char* name);
// A named cast scaled into the picture; false when there is none.
bool castToPicture(const char* name, uloOffmap& picture);
// A picture file (internal path, found case-insensitively) into the picture.
bool fileToPicture(const char* path, uloOffmap& picture, std::string* found = nullptr);

// The path as it exists on disk, each component matched exactly or else
// without regard to case; false (out = the path as given) when some
// component does not exist.
bool resolvePath(const char* path, std::string& out);
bool exists(const char* path);

// Names of the sub-folders (or of the plain files) of a folder, in listing
// order, at most `max`; names longer than maxLength are left out.
std::vector<std::string> listFolders(const char* folder, size_t max, size_t maxLength = 255);
std::vector<std::string> listFiles(const char* folder);

// Deletes a folder with everything in it (internal path ending with ':'),
// never following a symbolic link: a link is removed as a link, wherever
// it points. False when anything is left.
bool deleteFolder(const char* folder);

// Copies the plain files of `from` into the new folder `to`; `copyOne`
// copies one file (internal paths) and `progress` is told each name first.
// Every source must stay inside `from` (path policy) and every copy must
// have its source's size. On any failure the new folder is removed again,
// false returned and *why (optional) says what failed.
bool copyFolderFiles(const char* from, const char* to,
                     const std::function<bool(const char* src, const char* dst)>& copyOne,
                     const std::function<void(const char* name)>& progress, std::string* why = nullptr);

// Brings the folder `from` (a disk's song or synth sound) into the library
// as `libraryFolder` + `name` so that the library's folder is afterwards
// either the complete new copy or exactly what it was:
//  - `name` must be one plain name, and the copy must fit the free space;
//  - the files are copied into a temporary folder beside, each checked;
//  - `complete`, when given, adds to that folder (e.g. a descriptor kept
//    elsewhere on the disk) and may refuse;
//  - an old folder of that name is checked for files the user added (any
//    file the new copy lacks that `ownFile` does not claim for the old
//    folder); when there are some, one question names them and offers to
//    keep them in the new copy (No removes them, Cancel keeps the old);
//  - then the old and the new are swapped and the old removed.
// `kind` is the word for the user ("song", "synth sound").
struct CopyOutcome {
  enum Result { copied, replaced, cancelled, failed } result = failed;
  std::string message;               // for the user when failed
  std::vector<std::string> kept;     // the user's files moved into the new copy
};
CopyOutcome copyIntoLibrary(const char* from, const char* libraryFolder, const char* name, const char* kind,
                            const std::function<bool(const char* src, const char* dst)>& copyOne,
                            const std::function<void(const char* name)>& progress,
                            const std::function<bool(const char* tempFolder, std::string* why)>& complete,
                            const std::function<bool(const std::string& relative)>& ownFile);

// After copyIntoLibrary: true when the copy is in the library. Otherwise
// the status display is cleared (cancelled) or says "Copy failed." and the
// message is shown in a box.
bool copySucceeded(const CopyOutcome& outcome, uloPanelControl* status);

// Files below `folder` (relative, ':' between folder and file names, links
// not followed) that `other` lacks and `ownFile` does not claim.
std::vector<std::string> filesMissingIn(const char* folder, const char* other,
                                        const std::function<bool(const std::string& relative)>& ownFile);

}  // namespace jlload
