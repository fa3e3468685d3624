// The folder chooser: zenity's directory dialog in a child process, waited
// for on the calling thread. A missing zenity is `unavailable`, not a hang.
#pragma once
#include <string>

#include "installer/jlDemoInstaller.h"

// `program` is the chooser to run ("zenity"; tests give a script). On
// `chosen` the selected system path, without its newline, is in *folder.
JLFolderChoice JL_RunFolderChooser(const std::string& program, const std::string& title,
                                   std::string* folder);
