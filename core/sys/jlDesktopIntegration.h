// The program's place on the desktop: the mix-document file type (a desktop
// entry, a shared-mime-info package and icons under $XDG_DATA_HOME) and the
// one-line application-folder file under $XDG_CONFIG_HOME that the demo
// installer reads. Written at every start; failures are ignored.
// User-interface thread.
#pragma once
#include <string>

// $XDG_DATA_HOME, else ~/.local/share; $XDG_CONFIG_HOME, else ~/.config.
// Empty when neither the variable nor HOME is set.
std::string JL_XdgDataHome();
std::string JL_XdgConfigHome();
// $XDG_CACHE_HOME, else ~/.cache; empty without a home.
std::string JL_XdgCacheHome();
// Absolute folder of the running program, with a trailing '/'.
std::string JL_ProgramFolder();

constexpr char kJLMixMimeType[] = "application/x-jamloom-mix";
// The desktop entry naming `program` (just "jamloom", found on PATH, when
// empty) and the shared-mime-info package of the mix document type.
std::string JL_DesktopEntry(const std::string& program);
std::string JL_MimePackage();

struct JLRegistration {
  bool ok = false;
  bool desktopChanged = false, mimeChanged = false, iconsChanged = false;
};
// Writes the desktop entry, MIME package and the icons found beside the
// program (icons/hicolor/...) below `dataHome`, rewriting only what differs.
JLRegistration JL_RegisterDesktop(const std::string& programFolder, const std::string& dataHome);
// At start in portable mode: JL_RegisterDesktop, then update-mime-database
// and update-desktop-database on the user's folders, on a thread of their
// own, only when their input changed. Installed mode: nothing (the package
// registers the program).
bool Register_JLDataIcon();
// Waits for those updates (at exit, so none outlives the program).
void JL_WaitDesktopRegistration();
bool JL_WriteApplicationFolder();
// The file the installer reads: <config>/jamloom/path.
std::string JL_ApplicationFolderFile();
// Creates the system path's missing folders (mode 0755); false on the
// first that cannot be made.
bool JL_MakeFolders(const std::string& path);
// Writes a whole file through a temporary beside it and a rename, so a crash
// never leaves a half-written file. Creates missing parent folders.
// *changed tells whether the file was written (false when it already held
// the content).
bool JL_WriteFileAtomically(const std::string& path, const std::string& content, bool* changed = nullptr);
