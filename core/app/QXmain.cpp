// Start-up and teardown of every long-lived object, in their fixed order.
#include <cstdlib>

#include "core/sys/jlDesktopIntegration.h"
#include "core/files/uloFiles.h"
#include "framework/platform/uloSys.h"
#include "framework/res/uloRes.h"
#include "framework/screen/QXScreen.h"

UloResFile QXresfileobj;

int QX_InitAll() {
  QXScreen.preopenApplication();

  QXresfileobj.SetWorkName(":Jamloom.xrs");
  QXresfileobj.readOnly = 1;
  if (!QXresfileobj.Open()) {
    ULO_UserNotify("Can't find 'Jamloom.xrs' file. Can't continue.", 0);
    exit(0);
  }

  static const char* const kLibrary[] = {":Library:", ":Library:Song:", ":Library:Images:", ":Library:Synth:",
                                         ":Library:Jls:"};
  for (const char* folder : kLibrary) ULO_CreateDirectory(folder);

  uloGlo.windowWidth = 640;
  uloGlo.windowHeight = 480;

  QXScreen.setup();
  QXScreen.windowOpen = false;

  Register_JLDataIcon();
  JL_WriteApplicationFolder();
  QXScreen.openWindow();
  QXScreen.windowOpen = true;
  QXScreen.update(QXScreen.updateBuffer.bounds);
  QXScreen.processOpenDocuments();
  return 1;
}

void QX_ExitAll() {
  QXScreen.closeWindow();
  QXresfileobj.Close();
}
