#include "framework/screen/QXScreen.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "core/files/uloPath.h"
#include "framework/platform/uloSys.h"

QXScreenClass QXScreen;
uint8_t surfaceUpdateOnly = 0;
char uloLaunchFolder[4096];

// The main panel's dialog path, through which the command-line document is
// handed over like an answered open dialog.
JLPath qxCommandLineDocument;

namespace {

constexpr uint16_t kDesignBackground = (3 << 10) | (3 << 5) | 4;  // charcoal

void tellChooserMissing() {
  if (uloFileChooserUnavailable.exchange(false))
    ULO_UserNotify("No file chooser is available. Install the 'zenity' package to open and save files.", 0);
}

}  // namespace

bool QXScreenClass::preopenApplication() {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return false;
  exe[n] = 0;
  char* slash = strrchr(exe, '/');
  if (!slash) return false;
  slash[1] = 0;
  // Through the internal notation and back, as every path the program uses.
  char ulo[kUloPathMax], sys[kUloPathMax];
  if (!ULO_SystemPathToUloPath(exe, ulo, sizeof ulo)) return chdir(exe) == 0;
  ULO_File_StripFileName(ulo);
  if (!ULO_UloPathToSystemPath(ulo, sys, sizeof sys)) return false;
  return chdir(sys) == 0;
}

void QXScreenClass::setup() {
  uloMonitorInfoRec mon;
  ULO_GetMonitorInfo(&mon);
  int16_t w = mon.width < 640 ? 640 : mon.width;
  int16_t h = mon.height < 480 ? 480 : mon.height;
  ready = updateBuffer.allocate(uloOffmapDefaultDepth, w, h, -1);
  int16_t ox = (int16_t)((uloGlo.windowWidth - 640) / 2), oy = (int16_t)((uloGlo.windowHeight - 480) / 2);
  origin.set(ox < 0 ? 0 : ox, oy < 0 ? 0 : oy);
  screenRect.set(0, 0, 640, 480);
  screenRect.offset(origin);
}

void QXScreenClass::openWindow() {
  uloMonitorInfoRec mon;
  ULO_GetMonitorInfo(&mon);
  ULO_NewWindow(1, mon.width, mon.height);
  ULO_SetWindowTitle("Jamloom 2.0");
  resized();
}

void QXScreenClass::closeWindow() { ULO_CloseWindow(); }

void QXScreenClass::processOpenDocuments() {
  JLPath& doc = qxCommandLineDocument;
  // A relative document is named from the folder the user started in.
  char text[sizeof windowsCommandLine + 4096];
  const char* line = windowsCommandLine;
  auto absolute = [&](const char* p) -> const char* {
    if (p[0] == '/' || !uloLaunchFolder[0]) return p;
    snprintf(text, sizeof text, "%s/%s", uloLaunchFolder, p);
    return text;
  };
  doc.fromSystemPath(line[0] ? absolute(line) : "");
  if (doc.empty()) return;
  if (!doc.exists()) {
    if (line[0] != '"') return;
    size_t n = strlen(windowsCommandLine);
    if (n > 0) windowsCommandLine[n - 1] = 0;
    doc.fromSystemPath(absolute(windowsCommandLine + 1));
    if (doc.empty() || !doc.exists()) return;
  }
  doc.request[0] = doc.request[1] = doc.request[2] = 0;
  doc.ready = true;
  asyncDialogMessage(&doc);
}

void QXScreenClass::update(const uloRect& rect) { updateFrom(nullptr, -1, rect); }

void QXScreenClass::updateFrom(void*, int16_t, const uloRect& rectIn) {
  if (!ready) return;
  uloRect rect = rectIn;
  rect.intersect(updateBuffer.bounds);
  if (rect.width() <= 0 || rect.height() <= 0) return;
  if (surfaceUpdateOnly) {
    if (blitting) updateBuffer.draw(rect, rect);
    return;
  }
  clip = rect;
  if (!screenRect.contains(rect)) updateBuffer.fill(rect, 0);
  uloRect design = screenRect;
  design.intersect(rect);
  if (design.width() > 0 && design.height() > 0) updateBuffer.fill(design, kDesignBackground);
  if (blitting) updateBuffer.draw(rect, rect);
}

void QXScreenClass::resized() {
  int16_t ox = (int16_t)((uloGlo.windowWidth - 640) / 2), oy = (int16_t)((uloGlo.windowHeight - 480) / 2);
  origin.set(ox < 0 ? 0 : ox, oy < 0 ? 0 : oy);
  screenRect.set(0, 0, 640, 480);
  screenRect.offset(origin);
  if (updateBuffer.allocated &&
      (updateBuffer.bounds.width() < uloGlo.windowWidth || updateBuffer.bounds.height() < uloGlo.windowHeight))
    ready = updateBuffer.allocate(uloOffmapDefaultDepth, uloGlo.windowWidth, uloGlo.windowHeight, -1);
}

int16_t QXScreenClass::askClose() { return ULO_MessageBox("Jamloom", "Do you really want to quit Jamloom?", 1, false); }

void QXScreenClass::events() {
  switch (uloGlo.what) {
    case uloEvtUpdate: {
      ULO_BeginUpdate();
      update(updateBuffer.bounds);
      ULO_EndUpdate();
      break;
    }
    case uloEvtMenu:
      if (uloGlo.menuId == 129 && (uloGlo.menuItem == 2 || uloGlo.menuItem == 6)) {
        uloGlo.what = uloEvtClose;
        events();
      }
      break;
    case uloEvtResize:
      resized();
      break;
    case uloEvtClose:
      if (askClose() == 1) uloGlo.running = 0;
      break;
    default:
      break;
  }
}

void QXScreenClass::asyncDialogMessage(JLPath* path) {
  tellChooserMissing();
  if (!path) return;
}

void QXScreen_remoteevents(void* param) {
  if (param)
    QXScreen.asyncDialogMessage(static_cast<JLPath*>(param));
  else
    QXScreen.events();
}
