// Program entry: the command line becomes one document path, then the
// platform starts, the poll loop runs and the platform ends.
#include <unistd.h>

#include <cstring>

#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"

int main(int argc, char** argv) {
  // The whole argument text is one path, as a shell "open" hands it over.
  windowsCommandLine[0] = 0;
  size_t n = 0;
  for (int i = 1; i < argc; ++i) {
    for (const char* p = (i > 1 ? " " : ""); *p && n < sizeof windowsCommandLine - 1; ++p) windowsCommandLine[n++] = *p;
    for (const char* p = argv[i]; *p && n < sizeof windowsCommandLine - 1; ++p) windowsCommandLine[n++] = *p;
  }
  windowsCommandLine[n] = 0;
  if (!getcwd(uloLaunchFolder, sizeof uloLaunchFolder)) uloLaunchFolder[0] = 0;

  if (!ULO_Platform_Init()) return winmainreturnvalue;
  ULO_Init();
  ULO_Main2();
  ULO_Exit();
  return ULO_Platform_Exit();
}
