// jamloom-demo-setup: installs the demo song lying beside it into Jamloom's
// library. The exit code is one of JLInstallExit.
#include <SDL.h>

#include "core/sys/jlDesktopIntegration.h"
#include "installer/app/jlInstallerWindows.h"
#include "installer/jlDemoInstaller.h"

int main(int, char**) {
  // Without video the boxes may still appear through another back end, so a
  // failure here is not the end.
  SDL_Init(SDL_INIT_VIDEO);
  int result = JL_RunDemoInstaller(JL_ProgramFolder(), JL_ApplicationFolderFile(), JL_DesktopInstallerUi());
  SDL_Quit();
  return result;
}
