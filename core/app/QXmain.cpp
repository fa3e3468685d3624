// Start-up and teardown of every long-lived object, in their fixed order.
// Objects that later screens add take their places in the same sequence.
#include <cstdlib>

#include "core/files/uloFiles.h"
#include "core/sys/jlDesktopIntegration.h"
#include "engine/JLEngine.h"
#include "framework/casts/uloCasts.h"
#include "framework/intl/JLInternational.h"
#include "framework/platform/uloSys.h"
#include "framework/prefs/JLprefs.h"
#include "framework/res/uloRes.h"
#include "framework/screen/QXScreen.h"
#include "framework/text/uloFont.h"

UloResFile QXresfileobj;
UloCasts QXCasts;
uloFont QXFont;

int QX_InitAll() {
  QXScreen.preopenApplication();

  QXresfileobj.SetWorkName(":Jamloom.xrs");
  QXresfileobj.readOnly = 1;
  if (!QXresfileobj.Open()) {
    ULO_UserNotify("Can't find 'Jamloom.xrs' file. Can't continue.", 0);
    exit(0);
  }

  QXCasts.resFile = &QXresfileobj;
  QXCasts.ownsResFile = 0;
  QXCasts.ParseResources();
  jlIntl.start(&QXresfileobj);

  static const char* const kLibrary[] = {":Library:", ":Library:Song:", ":Library:Images:", ":Library:Synth:",
                                         ":Library:Jls:"};
  for (const char* folder : kLibrary) ULO_CreateDirectory(folder);

  uloGlo.windowWidth = 640;
  uloGlo.windowHeight = 480;

  QXFont.setup(&QXCasts, 500);
  QXFont.colorize(256, 256, 0);
  QXScreen.setup();
  QXScreen.windowOpen = false;

  jlPrefs.load();
  gep = new JLEngine();
  gep->init();

  Register_JLDataIcon();
  JL_WriteApplicationFolder();
  QXScreen.openWindow();
  QXScreen.windowOpen = true;
  QXScreen.update(QXScreen.updateBuffer.bounds);
  QXScreen.processOpenDocuments();
  return 1;
}

void QX_ExitAll() {
  // Preferences are written while everything that feeds them still exists.
  jlPrefs.save();
  if (gep) {
    gep->exit();
    delete gep;
    gep = nullptr;
  }
  QXCasts.UnloadResources();
  QXScreen.closeWindow();
  QXresfileobj.Close();
}
