// Offline renders started from the screens (the groove panel's disk mix,
// the synth panel's arpeggio to file): the file name in the preferred
// export format, the render on a worker thread while the progress panel
// shows "<title>: N%" with a working STOP, and the closing message.
//
// User-interface thread only. Internal to screens/.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "song/JLDiskMix.h"

namespace jlrender {

// The extension of a preferred export format (the preferences' code) and
// its libsndfile major format (0: the program's own, written as WAV).
struct ExportKind {
  const char* extension;
  int32_t major;
};
ExportKind exportKind(int32_t prefsCode);

// The system path with the kind's extension, replacing another one.
std::string withExportExtension(const char* systemPath, const ExportKind& kind);

// The export kind a typed name asks for: the preferred one, unless the
// name ends in the extension of another offered format (".mp3" typed while
// WAV is preferred), which then wins.
ExportKind exportKindForName(const char* systemPath, int32_t prefsCode);

// A render's file and options as the user set them: the format the name
// asks for, else the preferred one (its extension put on the chosen name),
// and the master volume the player is at.
struct Export {
  std::string path;
  JLDiskMixOptions options;
};
Export prepareExport(const char* systemPath);

// UI thread. The file dialog asked about replacing the name the user typed,
// not about the name the format's extension made of it: when that other
// file exists, asks before it is replaced. False when the user says No.
bool mayWriteExport(const Export& e, const char* chosenPath);

// Waits for a started job while the window stays live: the progress panel
// shows "<title>: N%", a click on its STOP stops the job (which then leaves
// no file). The engine must not be used until this returns. Returns the
// job's result and fills `report`. `eachLook`, when given, runs on this
// thread after every look at the job (where a test presses STOP).
bool runWithProgress(JLDiskMixJob& job, const char* title, JLDiskMixReport& report,
                     const std::function<void()>& eachLook = nullptr);

// Tells the user how a render ended: where the file was written, or why it
// was not (a stop asked for by the user needs no message). Returns `ok`.
bool tellResult(bool ok, const char* title, const std::string& path, const JLDiskMixReport& report);

// runWithProgress, then tellResult: true when the file was written.
bool runAndTell(JLDiskMixJob& job, const char* title, const std::string& path);

}  // namespace jlrender
