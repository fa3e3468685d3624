// The demo song installer's whole job, without any window: find the demo
// song lying beside the installer, find Jamloom's folder, and write the song
// folder into its library (descriptor as "info.jls", picture, every loop
// decoded to 16-bit PCM). The question, the messages, the folder chooser and
// the waiting window come in through JLInstallerUi, so the desktop program
// and the tests drive the same code.
//
// The result is the program's exit code (JLInstallExit). Runs on the
// installer's only thread.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Exit codes of jamloom-demo-setup.
enum JLInstallExit : int {
  kJLExitDone = 0,            // installed; also when the chooser gave no folder
  kJLExitDeclined = 1,        // the user did not answer Yes
  kJLExitIncomplete = 2,      // not installed: some files failed or did not fit (reported)
  kJLExitFailed = -1,         // chooser cancelled, or no descriptor beside the installer
};

// The texts the user sees.
extern const char* const kJLChooserTitle;
extern const char* const kJLProceedQuestion;
extern const char* const kJLNoDescriptorMessage;
extern const char* const kJLNoChooserMessage;
// Followed by the reason (when there is one) and one failed name per line.
extern const char* const kJLIncompleteMessage;
extern const char* const kJLInstalledMessage;  // followed by the song's name
extern const char* const kJLWaitingTitle;
extern const char* const kJLWaitingText;

enum class JLFolderChoice { chosen, cancelled, notAFolder, unavailable };

struct JLInstallerUi {
  // Shows the folder chooser with this title; on `chosen` the system path is in *folder.
  std::function<JLFolderChoice(const std::string& title, std::string* folder)> chooseFolder;
  // Yes/No question, Yes the default; true only for Yes.
  std::function<bool(const std::string& text)> askYesNo;
  std::function<void(const std::string& text)> showError;
  // The closing word after a complete installation; may be empty.
  std::function<void(const std::string& text)> showInfo;
  // The waiting window: opened before the first loop, told after each loop,
  // closed after the last. Any of them may be empty.
  std::function<void(int total)> beginWork;
  std::function<void(int done, int total)> progress;
  std::function<void()> endWork;
};

// Bare names of the demo song's files in the installer folder, sorted by
// name so that "the first" is the same on every run. Hidden files and
// folders are skipped; extensions match in any letter case.
struct JLDemoFiles {
  std::string descriptor;  // first "*.jls", empty when none
  std::string picture;     // first "*.gif", empty when none
  std::vector<std::string> loops;  // every "*.wav"
};
// False when the folder cannot be listed.
bool JL_FindDemoFiles(const std::string& folder, JLDemoFiles* files);

// `folder` with a trailing '/' added when it has none.
std::string JL_WithTrailingSlash(const std::string& folder);

// The application folder named by the main program's one-line file, with a
// trailing '/'. Empty when the file is missing or unreadable, or when it
// names no existing folder (Jamloom moved since it last ran).
std::string JL_ReadApplicationFolder(const std::string& configFile);

// Installs the song folder "<app>Library/Song/<descriptor name>/" with the
// descriptor as "info.jls", the picture (also into "<app>Library/Images/")
// and the decoded loops, creating missing folders: completely or not at
// all. Everything is written into a temporary folder beside (after a check
// of the free space), and only a complete song is renamed into place; an
// installed song of the same name is exchanged for it in one step, the
// files the user added to it moving into the new one. On failure nothing in
// the library has changed, the names of the files that failed are added to
// *failures and *why (optional) says what went wrong. Both folders carry a
// trailing '/'.
bool JL_InstallDemoSong(const std::string& installerFolder, const std::string& appFolder,
                        const JLDemoFiles& files, const JLInstallerUi& ui,
                        std::vector<std::string>* failures, std::string* why = nullptr);

// Tests stand in for the file system's free space (bytes free in a
// folder, or -1 for unknown); null restores statvfs.
void JL_SetFreeSpaceProbe(int64_t (*probe)(const std::string& folder));

// The whole installer: application folder from the configuration file, else
// from the chooser; the question; the installation; the report.
int JL_RunDemoInstaller(const std::string& installerFolder, const std::string& configFile,
                        const JLInstallerUi& ui);
