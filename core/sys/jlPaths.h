// Where the program's files live, decided once at start-up.
//
// Portable: the skin "Jamloom.xrs" lies beside the executable. Everything
// (skin, Library, preferences) stays in the program folder, which is the
// working folder, exactly as an unpacked copy has always run.
// Installed: the executable is <prefix>/bin/ and the skin and the read-only
// demo library are in <prefix>/share/jamloom/. The working folder is then
// $XDG_DATA_HOME/jamloom/ holding the user's writable Library; preferences go
// to $XDG_CONFIG_HOME/jamloom/. The demo songs, synth sets and pictures are
// shown in the user's library as symbolic links into the system library
// (nothing is copied), and the path policy accepts such links.
//
// User-interface thread at start-up (and the command-line tools' main);
// JL_RunPaths() may be read from any thread afterwards. Failures: mode
// `unusable` with `problem` set to a sentence for the user.
#pragma once
#include <string>

enum class JLRunMode { portable, installed, unusable };

struct JLRunPaths {
  JLRunMode mode = JLRunMode::unusable;
  std::string dataFolder;     // skin and, when installed, the system library ('/' at the end)
  std::string workFolder;     // the working folder that holds Library/ ('/' at the end)
  std::string prefsFile;      // system path of the preferences file
  std::string systemLibrary;  // "<data>Library/" when installed, else empty
  std::string problem;
};

// The choice alone, from the executable's folder ('/' at the end) and the
// XDG data and config homes (empty when unknown). Reads only whether the
// skin files exist.
JLRunPaths JL_ChooseRunPaths(const std::string& programFolder, const std::string& dataHome,
                             const std::string& configHome);

// Chooses for this process, creates the working folder and its library
// folders, enters it, and in installed mode links the system library's
// entries into the user's. False (with paths.problem set) when unusable.
bool JL_EnterRunPaths();
const JLRunPaths& JL_RunPaths();

// Makes `userLibrary` show each entry of `systemLibrary`'s Song, Synth,
// Images and Jls folders as a symbolic link, unless the user has an entry of
// that name; removes links into the system library whose target has gone.
// Returns how many links were made or removed.
int JL_LinkSystemLibrary(const std::string& systemLibrary, const std::string& userLibrary);

// The program's icon as a PNG of the given hicolor size: beside the program
// when portable, in <prefix>/share/icons/hicolor when installed.
std::string JL_IconFile(const JLRunPaths& paths, int size);

// Whether the system path (e.g. "Library/Song/Demo/") is an entry that links
// into the installed system library: such entries cannot be deleted.
bool JL_IsSystemLibraryEntry(const std::string& sysPath);
// The same against a given system library (empty: never).
bool JL_IsSystemLibraryEntry(const std::string& sysPath, const std::string& systemLibrary);
