// Start-up and teardown of every long-lived object, in their fixed order.
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/files/uloFiles.h"
#include "core/files/uloPathNames.h"
#include "core/files/uloFolderOps.h"
#include "core/sys/jlDesktopIntegration.h"
#include "core/sys/jlDocumentForward.h"
#include "core/sys/jlPaths.h"
#include "engine/JLEngine.h"
#include "framework/casts/uloCasts.h"
#include "framework/intl/JLInternational.h"
#include "framework/layout/uloLayouts.h"
#include "framework/panel/JLHelps.h"
#include "framework/platform/uloQuickTime.h"
#include "framework/platform/uloSys.h"
#include "framework/prefs/JLprefs.h"
#include "framework/res/uloRes.h"
#include "framework/screen/QXScreen.h"
#include "framework/text/uloFont.h"
#include "screens/JLGroovePanel.h"
#include "screens/JLInfoPanel.h"
#include "screens/JLLoadPanel.h"
#include "screens/JLLoadSynthPanel.h"
#include "screens/JLLoopTunerPanel.h"
#include "screens/JLNetPanel.h"
#include "screens/JLPrefsPanel.h"
#include "screens/JLProgressPanel.h"
#include "screens/JLRandMixPanel.h"
#include "screens/JLSynthPanel.h"
#include "screens/JLVMixPanel.h"
#include "song/JLPlayer.h"
#include "screens/popupInfo.h"

UloResFile QXresfileobj;
QXPanelClass* QXfloatPanelPtr[11];

namespace {

// Screen entries: the panel's layouts, its connect value and where it sits.
struct PanelSlot {
  int32_t layouts[3];
  int16_t connectValue;
  int16_t x, y;
  bool draggable;
};
const PanelSlot kSlots[11] = {
    {{1, 2, 8}, 0, 0, 0, false},     {{5, -1, -1}, 1, 0, 0, false},    {{3, 4, -1}, 1, 100, 100, true},
    {{9, -1, -1}, 1, 100, 200, true}, {{14, -1, -1}, 1, 100, 100, true}, {{11, -1, -1}, 1, 100, 100, true},
    {{6, -1, -1}, 1, 0, 0, true},     {{12, -1, -1}, 1, 100, 100, true}, {{13, -1, -1}, 1, 100, 28, true},
    {{15, -1, -1}, 0, 0, 0, false},   {{16, -1, -1}, 0, 120, 100, false},
};

QXPanelClass* newPanel(int slot) {
  switch (slot) {
    case 0: return new JLGroovePanel;
    case 1: return new JLVMixPanel;
    case 2: return new JLSynthPanel;
    case 3: return new JLNetPanel;
    case 4: return new JLLoopTunerPanel;
    case 5: return new JLRandMixPanel;
    case 6: return new JLLoadPanel;
    case 7: return new JLLoadSynthPanel;
    case 8: return new JLPrefsPanel;
    case 9: return new JLInfoPanel;
    default: return new JLProgressPanel;
  }
}

// A skin container that opens can still be cut short or damaged: every item
// must lie inside the file and the panels' layouts must be there, or the
// window would open blank with nothing to tell the user why.
bool skinIsWhole(UloResFile& res) {
  if (res.DamagedItemsCount() > 0 || res.GetItemsCount(uloCastHeaderType) <= 0) return false;
  for (const PanelSlot& s : kSlots)
    for (int32_t id : s.layouts) {
      if (id < 0) continue;
      const int32_t length = res.GetDataLen(uloLayoutType, id);
      if (length != kLayoutRecordSize && length != kLayoutShortRecordSize) return false;
    }
  return true;
}

// The command line's document as an absolute path, quotes taken off.
bool forwardToRunningCopy() {
  std::string doc = windowsCommandLine;
  if (doc.size() >= 2 && doc.front() == '"' && doc.back() == '"') doc = doc.substr(1, doc.size() - 2);
  if (doc.empty()) return false;
  if (doc[0] != '/' && uloLaunchFolder[0]) doc = std::string(uloLaunchFolder) + "/" + doc;
  const std::string socket = JL_ForwardSocketPath("Library");
  if (!JL_IsAcceptableForwardedPath(doc) || socket.empty() || !JL_ForwardDocument(socket, doc)) return false;
  fprintf(stderr, "Jamloom: %s handed to the copy already running\n", doc.c_str());
  return true;
}

bool askRunningCopyToRaise() {
  const std::string socket = JL_ForwardSocketPath("Library");
  if (socket.empty() || !JL_AskToRaise(socket)) return false;
  fprintf(stderr, "Jamloom: already running; its window was brought to the front\n");
  return true;
}

}  // namespace

int QX_InitAll() {
  QXScreen.preopenApplication();
  if (!JL_EnterRunPaths()) {
    ULO_UserNotifyUtf8(JL_RunPaths().problem.c_str(), 0);
    exit(0);
  }
  char skin[kUloPathMax] = ":Jamloom.xrs";
  if (JL_RunPaths().mode == JLRunMode::installed) {
    ULO_SystemPathToUloPath((JL_RunPaths().dataFolder + "Jamloom.xrs").c_str(), skin, sizeof skin);
    ULO_SystemPathToUloPath(JL_RunPaths().prefsFile.c_str(), jlPrefs.fileName, sizeof jlPrefs.fileName);
    if (!jlPrefs.fileName[0]) ULO_StrCopy(jlPrefs.fileName, sizeof jlPrefs.fileName, ":Jamloom.prf");
  }

  QXresfileobj.SetWorkName(skin);
  QXresfileobj.readOnly = 1;
  if (!QXresfileobj.Open() || !skinIsWhole(QXresfileobj)) {
    ULO_UserNotify(ULO_FileExists(skin)
                       ? "The file 'Jamloom.xrs' is damaged or incomplete. Can't continue."
                       : "Can't find 'Jamloom.xrs' file. Can't continue.",
                   0);
    exit(0);
  }

  // Before anything is written (a program without its skin leaves without
  // creating anything): a second copy on this library leaves it to
  // the first rather than overwrite its preferences and documents. The lock
  // lies in the library itself, which two program folders may share through
  // a link (creating the folder changes nothing when it exists).
  ULO_CreateDirectory(":Library:");
  long holder = 0;
  if (ULO_TakeInstanceLock(":Library:.Jamloom.lock", &holder) == uloInstanceLock::busy) {
    // A document to open goes to the running copy, as a double-click expects;
    // a start without one brings that copy's window to the front.
    if (forwardToRunningCopy()) exit(0);
    if (!windowsCommandLine[0] && askRunningCopyToRaise()) exit(0);
    char folder[PATH_MAX] = "";
    char text[sizeof folder + 200];
    if (!realpath("Library", folder)) ULO_StrCopy(folder, sizeof folder, "Library");
    snprintf(text, sizeof text,
             "Another copy of Jamloom (process %ld) is already using the library '%s'. "
             "Only one copy can use it at a time; this one closes now.",
             holder, folder);
    ULO_UserNotifyUtf8(text, 0);
    exit(0);
  }

  JL_StartDocumentListener(JL_ForwardSocketPath("Library"));

  QXCasts.resFile = &QXresfileobj;
  QXCasts.ownsResFile = 0;
  QXCasts.ParseResources();
  jlIntl.start(&QXresfileobj);
  JL_PopupInfo_Open();

  static const char* const kLibrary[] = {":Library:", ":Library:Song:", ":Library:Images:", ":Library:Synth:",
                                         ":Library:Jls:"};
  for (const char* folder : kLibrary) ULO_CreateDirectory(folder);
  ULO_CleanStaleTempsOfProgram();

  uloGlo.windowWidth = 640;
  uloGlo.windowHeight = 480;
  uloQt_Init();

  QXFont.setup(&QXCasts, 500);
  QXFont.colorize(256, 256, 0);
  QXScreen.setup();
  QXScreen.windowOpen = false;

  jlPlayer = new JLPlayer;
  jlHelpp = new JLHelps;
  jlHelpp->setClosing(0, 58);  // the tour's closing word hangs at the HELP lamp

  const uloRect screen(0, 0, uloGlo.windowWidth, uloGlo.windowHeight);
  for (int slot = 0; slot < 11; ++slot) {
    QXfloatPanelPtr[slot] = newPanel(slot);
    const PanelSlot& s = kSlots[slot];
    QXfloatPanelPtr[slot]->attachLayouts(s.layouts[0], s.layouts[1], s.layouts[2], &QXCasts, screen);
  }

  // The player's target panels and the song code's messages.
  JL_ConnectGroovePanel(static_cast<JLGroovePanel*>(QXfloatPanelPtr[0]),
                        static_cast<JLVMixPanel*>(QXfloatPanelPtr[1]));

  jlPrefs.load();
  gep = new JLEngine();
  gep->init();
  gep->setTempoQuality(jlPrefs.tempoQuality != 0);
  gep->setKeepPitch(jlPrefs.keepPitch != 0);
  gep->setOutputFrames(jlPrefs.outputFrames());
  jlPlayer->takeMainVolumeFromPrefs();

  for (int16_t slot = 0; slot < 11; ++slot) {
    const PanelSlot& s = kSlots[slot];
    QXScreen.connect(QXfloatPanelPtr[slot], slot, s.connectValue);
    QXScreen.setProps(slot, s.x, s.y, s.draggable, 0);
  }
  QXScreen.show(6);
  JL_PopupInfo_Close();
  QXScreen.changeAllColors(jlPrefs.interfaceColor);

  Register_JLDataIcon();
  JL_WriteApplicationFolder();
  QXScreen.openWindow();
  ULO_SetWindowIconFile(JL_IconFile(JL_RunPaths(), 64).c_str());
  QXScreen.windowOpen = true;
  QXScreen.setPanelPositionCentered(6);
  QXScreen.update(QXScreen.updateBuffer.bounds);
  QXScreen.processOpenDocuments();
  return 1;
}

void QX_ExitAll() {
  JL_StopDocumentListener();
  JL_WaitDesktopRegistration();
  // Preferences are written while everything that feeds them still exists.
  if (jlPlayer) jlPlayer->keepMainVolumeInPrefs();
  jlPrefs.save();
  if (gep) {
    gep->exit();
    delete gep;
    gep = nullptr;
  }
  if (QXfloatPanelPtr[0]) QXfloatPanelPtr[0]->onPanelClosed();
  for (auto*& panel : QXfloatPanelPtr) {
    delete panel;
    panel = nullptr;
  }
  delete jlHelpp;
  jlHelpp = nullptr;
  delete jlPlayer;
  jlPlayer = nullptr;
  QXCasts.UnloadResources();
  QXScreen.closeWindow();
  QXresfileobj.Close();
  uloQt_Exit();
}
