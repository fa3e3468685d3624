// The program's place on the desktop: the mix-document file type (a desktop
// entry and a shared-mime-info package under $XDG_DATA_HOME) and the
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

bool Register_JLDataIcon();
bool JL_WriteApplicationFolder();
// The file the installer reads: <config>/jamloom/path.
std::string JL_ApplicationFolderFile();
// Writes a whole file through a temporary beside it and a rename, so a crash
// never leaves a half-written file. Creates missing parent folders.
bool JL_WriteFileAtomically(const std::string& path, const std::string& content);
