// The demo song installer's whole job, without any window: find the demo
// song lying beside the installer, find Jamloom's folder, and write the song
// folder into its library (descriptor as "info.jls", picture, every loop
// decoded to 16-bit PCM). The question, the messages, the folder chooser and
// the waiting window come in through JLInstallerUi, so the desktop program
// and the tests drive the same code.
//
// The result is the program's exit code (JLInstallExit).
#pragma once
#include <functional>
#include <string>
#include <vector>

// Exit codes of jamloom-demo-setup.
enum JLInstallExit : int {
  kJLExitDone = 0,            // installed; also when the chooser gave no folder
  kJLExitDeclined = 1,        // the user did not answer Yes
  kJLExitIncomplete = 2,      // installed, but some files failed (reported)
  kJLExitFailed = -1,         // chooser cancelled, or no descriptor beside the installer
};

// The texts the user sees.
extern const char* const kJLChooserTitle;
extern const char* const kJLProceedQuestion;
extern const char* const kJLNoDescriptorMessage;
extern const char* const kJLNoChooserMessage;
extern const char* const kJLIncompleteMessage;  // followed by one failed name per line
extern const char* const kJLWaitingTitle;
extern const char* const kJLWaitingText;

enum class JLFolderChoice { chosen, cancelled, notAFolder, unavailable };

struct JLInstallerUi {
  // Shows the folder chooser with this title; on `chosen` the system path is in *folder.
  std::function<JLFolderChoice(const std::string& title, std::string* folder)> chooseFolder;
  // Yes/No question, Yes the default; true only for Yes.
  std::function<bool(const std::string& text)> askYesNo;
  std::function<void(const std::string& text)> showError;
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

// Writes the song folder "<app>Library/Song/<descriptor name>/" with the
// descriptor, the picture (also into "<app>Library/Images/") and the decoded
// loops, creating missing folders. Names of files that could not be written
// are added to *failures. Both folders carry a trailing '/'.
void JL_InstallDemoSong(const std::string& installerFolder, const std::string& appFolder,
                        const JLDemoFiles& files, const JLInstallerUi& ui,
                        std::vector<std::string>* failures);

// The whole installer: application folder from the configuration file, else
// from the chooser; the question; the installation; the report.
int JL_RunDemoInstaller(const std::string& installerFolder, const std::string& configFile,
                        const JLInstallerUi& ui);
