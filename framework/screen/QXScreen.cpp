#include "framework/screen/QXScreen.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <string>

#include "core/files/uloPath.h"
#include "core/sys/jlDocumentForward.h"
#include "framework/intl/JLInternational.h"
#include "framework/panel/JLHelps.h"
#include "framework/panel/QXPanel.h"
#include "framework/platform/uloEvents.h"
#include "framework/platform/uloMessageBox.h"
#include "framework/platform/uloSys.h"
#include "framework/text/uloFont.h"

QXScreenClass QXScreen;
uint8_t surfaceUpdateOnly = 0;
char uloLaunchFolder[4096];

JLPath qxCommandLineDocument;

// Programs that use the framework without the poll loop (tests, tools) need
// no start-up of their own; the application defines the real ones.
__attribute__((weak)) int QX_InitAll() { return 1; }
__attribute__((weak)) void QX_ExitAll() {}

namespace {

constexpr uint16_t kDesignBackground = (3 << 10) | (3 << 5) | 4;  // charcoal
constexpr int16_t kMenuApp = 128, kMenuFile = 129;
constexpr int16_t kInfoPanelEntry = 9;
constexpr int16_t kCloseQuestion = 52;

bool validIndex(int16_t i) { return i >= 0 && i < kScreenEntries; }

// Without a chooser program the file's name is typed into the window: the
// start folder and the name the dialog would have offered come filled in.
void askFileNameInWindow(JLPath& path) {
  uloPath folder(path);
  folder.stripName();
  char sys[kUloPathMax] = {0};
  std::string text;
  if (!folder.empty() && folder.toSystemPath(sys, sizeof sys)) text = sys;
  if (text.empty()) text = ULO_DialogStartFolder();
  if (!text.empty() && text.back() != '/') text += '/';
  char name[256] = {0};
  if (path.saving && path.getName(name, sizeof name)) text += name;
  const std::string prompt = std::string("No file chooser is installed ('zenity' gives one). Type the full name of ") +
                             (path.saving ? "the file to write:" : "the file to open:");
  if (!ULO_AskTextInWindow("Jamloom", prompt, text)) return;
  if (!text.empty() && text[0] == '~') {
    const char* home = getenv("HOME");
    if (home) text = home + text.substr(1);
  }
  char ulo[kUloPathMax];
  // A name the internal notation cannot carry (it holds ':') is refused.
  if (text[0] != '/' || !ULO_SystemPathToUloPath(text.c_str(), ulo, sizeof ulo) || !ulo[0]) {
    ULO_UserNotify("That is not a full file name (it starts with '/' and holds no ':').", 0);
    return;
  }
  ULO_RememberDialogFolder(text.c_str());
  path.set(ulo);
  path.ready = true;
}

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

void QXScreenClass::centreDesignArea() {
  const int ox = (uloGlo.windowWidth - kDesignWidth) / 2, oy = (uloGlo.windowHeight - kDesignHeight) / 2;
  origin.set(std::max(ox, 0), std::max(oy, 0));
  screenRect.set(0, 0, kDesignWidth, kDesignHeight);
  screenRect.offset(origin);
}

void QXScreenClass::setup() {
  // Drawing happens in logical pixels: the buffer starts at the design size
  // and resized() grows it to the window's logical size, never to the
  // monitor's physical one.
  setup(kDesignWidth, kDesignHeight);
}

void QXScreenClass::setup(int16_t width, int16_t height) {
  const int w = std::max<int>({width, kDesignWidth, uloGlo.windowWidth});
  const int h = std::max<int>({height, kDesignHeight, uloGlo.windowHeight});
  ready = updateBuffer.allocate(uloOffmapDefaultDepth, w, h, -1);
  if (ready) updateBuffer.fill(updateBuffer.bounds, 0);
  centreDesignArea();
}

void QXScreenClass::openWindow() {
  uloMonitorInfoRec mon;
  ULO_GetMonitorInfo(&mon);
  ULO_NewWindow(1, mon.width, mon.height);
  ULO_SetWindowTitle(kQXWindowTitle);
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

void QXScreenClass::openForwardedDocument() {
  // One at a time: the panel may ask about unsaved work in a nested loop,
  // and a dialog of its own keeps the document waiting until it closes.
  static bool opening = false;
  static JLPath doc;
  // The song browser gives way: a mix kept waiting behind it would open
  // later over the song the user picks there.
  const bool modalHolds = modalPanel >= 0 && !(isShown(modalPanel) && entries[modalPanel].panel->givesWayToDocument());
  if (opening || modalHolds || asyncPanThreadPathRef.load() || !windowOpen) return;
  std::string path;
  if (!JL_TakeForwardedDocument(&path)) return;
  doc.fromSystemPath(path.c_str());
  if (doc.empty() || !doc.exists()) return;
  fprintf(stderr, "Jamloom: opening %s, handed over by another start\n", path.c_str());
  opening = true;
  doc.request[0] = doc.request[1] = doc.request[2] = 0;
  doc.ready = true;
  asyncDialogMessage(&doc);
  opening = false;
}

// ---------------------------------------------------------------- entries

QXPanelClass* QXScreenClass::panelAt(int16_t index) const {
  return validIndex(index) ? entries[index].panel : nullptr;
}

bool QXScreenClass::isShown(int16_t index) const {
  return validIndex(index) && entries[index].panel && entries[index].shown;
}

uloRect QXScreenClass::backgroundRect(int16_t index) const {
  QXPanelClass* p = panelAt(index);
  return p && p->background() ? p->background()->rect : uloRect();
}

int16_t QXScreenClass::panelUnder(int x, int y) const {
  for (int16_t i = int16_t(entriesInUse - 1); i >= 0; i--) {
    if (!isShown(i)) continue;
    if (modalPanel >= 0 && isShown(modalPanel) && i != modalPanel) continue;
    const uloPanelControl* bg = entries[i].panel->background();
    if (bg && bg->rect.contains(x, y)) return i;
  }
  return -1;
}

void QXScreenClass::connect(QXPanelClass* panel, int16_t index, int16_t value) {
  if (!validIndex(index) || !panel) return;
  qxScreenLinks& e = entries[index];
  e = qxScreenLinks();
  e.panel = panel;
  panel->screenIndex = index;
  e.shown = index == 0;
  panel->panelShown = e.shown;
  e.draggable = 1;
  e.value = value;
  e.dragBounds.set(0, 10, uloGlo.windowWidth - 10, uloGlo.windowHeight);
  panel->connected();
  panel->onPanelOpened();
  entriesInUse = std::max<int16_t>(entriesInUse, int16_t(index + 1));
}

void QXScreenClass::disconnect(int16_t index) {
  if (!validIndex(index)) return;
  if (QXPanelClass* p = entries[index].panel) {
    p->screenIndex = -1;
    p->panelShown = 0;
  }
  entries[index] = qxScreenLinks();
  while (entriesInUse > 0 && !entries[entriesInUse - 1].panel) entriesInUse--;
}

void QXScreenClass::placeNonDraggable(int16_t index) {
  qxScreenLinks& e = entries[index];
  uloRect r(0, 0, uloGlo.windowWidth, uloGlo.windowHeight);
  r.offset(e.offset);
  r.offset(origin);
  for (UloLayout& L : e.panel->layouts) L.layoutRect = r;
  e.panel->calc();
}

void QXScreenClass::setProps(int16_t index, int16_t x, int16_t y, bool draggable, int16_t transition) {
  if (!panelAt(index)) return;
  qxScreenLinks& e = entries[index];
  e.draggable = draggable;
  e.transition = transition;
  e.offset.set(x, y);
  placeNonDraggable(index);
}

void QXScreenClass::show(int16_t index) {
  QXPanelClass* p = panelAt(index);
  if (!p || entries[index].shown) return;
  p->beforeShow();
  entries[index].shown = 1;
  p->panelShown = 1;
  if (blitting) {
    if (entries[index].transition) showHideAnimate(index);
    update(backgroundRect(index));
  }
  p->afterShow();
}

void QXScreenClass::hide(int16_t index) {
  QXPanelClass* p = panelAt(index);
  if (!p || !entries[index].shown) return;
  p->beforeHide();
  entries[index].shown = 0;
  p->panelShown = 0;
  if (entries[index].transition) showHideAnimate(index);
  update(backgroundRect(index));
  p->afterHide();
  if (jlHelpp) jlHelpp->panHidden(index);
}

void QXScreenClass::toggle(int16_t index) {
  if (isShown(index)) hide(index);
  else show(index);
}

void QXScreenClass::setPosition(int16_t index, const uloRect& rect) {
  QXPanelClass* p = panelAt(index);
  if (!p || !entries[index].draggable) return;
  for (UloLayout& L : p->layouts) L.layoutRect = rect;
  p->calc();
}

void QXScreenClass::setPanelPosition(int16_t index, int16_t dx, int16_t dy) {
  QXPanelClass* p = panelAt(index);
  if (!p) return;
  // The layouts keep their size: only where they start changes.
  uloRect r = p->layouts[0].layoutRect;
  const uloRect bg = backgroundRect(index);
  r.offset(-bg.left, -bg.top);
  r.offset(dx + origin.x, dy + origin.y);
  setPosition(index, r);
}

void QXScreenClass::setPanelPositionCentered(int16_t index) {
  const uloRect b0 = backgroundRect(0), b = backgroundRect(index);
  setPanelPosition(index, int16_t(b0.width() / 2 - b.width() / 2), int16_t(b0.height() / 2 - b.height() / 2));
}

void QXScreenClass::changeAllColors(int16_t colour) {
  for (int16_t i : {0, 1, 2, 4})
    if (QXPanelClass* p = panelAt(i))
      if (p->background()) p->background()->set(colour);
}

// ------------------------------------------------------------ composition

void QXScreenClass::update(const uloRect& rect) { updateFrom(nullptr, -1, rect); }

void QXScreenClass::updateFrom(void*, int16_t, const uloRect& rectIn) {
  if (!ready) return;
  uloRect rect = rectIn;
  rect.intersect(updateBuffer.bounds);
  if (rect.isEmpty()) return;
  if (surfaceUpdateOnly) {
    if (blitting) updateBuffer.draw(rect, rect);
    return;
  }
  clip = rect;
  if (!screenRect.contains(rect)) updateBuffer.fill(rect, 0);
  // Where no panel paints, the design area shows its plain background.
  uloRect design = screenRect;
  if (design.intersect(rect)) updateBuffer.fill(design, kDesignBackground);
  for (int16_t i = 0; i < entriesInUse; i++) {
    const qxScreenLinks& e = entries[i];
    if (!e.panel || !e.shown) continue;
    uloPanel& p = *e.panel;
    for (int16_t s = 0; s < p.controlsCount; s++) {
      uloPanelControl* c = p.controls[s];
      if (c && c->visible && QX_RectIntersects(c->rect, clip)) c->set(qxMsgPaint, 0);
    }
  }
  if (jlHelpp) jlHelpp->updateOffmap();
  if (blitting) updateBuffer.draw(rect, rect);
}

bool QXScreenClass::clipRects(uloRect& src, uloRect* maskRect, uloRect& dst) const {
  if (clip.contains(dst)) return !dst.isEmpty();
  const int dl = std::max(0, clip.left - dst.left), dt = std::max(0, clip.top - dst.top);
  const int dr = std::max(0, dst.right - clip.right), db = std::max(0, dst.bottom - clip.bottom);
  dst.set(dst.left + dl, dst.top + dt, dst.right - dr, dst.bottom - db);
  if (dst.isEmpty()) return false;
  src.set(src.left + dl, src.top + dt, src.right - dr, src.bottom - db);
  if (maskRect) maskRect->set(maskRect->left + dl, maskRect->top + dt, maskRect->right - dr, maskRect->bottom - db);
  return true;
}

void QXScreenClass::copyToUpdate(const uloOffmap* source, const uloRect& srcRect, const uloRect& dstRect) {
  if (!ready || !source) return;
  uloRect src = srcRect, dst = dstRect;
  if (clipRects(src, nullptr, dst)) updateBuffer.copy(source, src, dst);
}

void QXScreenClass::copyMaskToUpdate(const uloOffmap* source, const uloRect& srcRect, const uloOffmap* mask,
                                     const uloRect& maskRect, const uloRect& dstRect, int level) {
  if (!ready || !source) return;
  uloRect src = srcRect, m = maskRect, dst = dstRect;
  if (!clipRects(src, &m, dst)) return;
  if (level == 256) updateBuffer.copyMask(source, src, mask, m, dst);
  else updateBuffer.copyMaskBlend(source, src, mask, m, dst, level);
}

void QXScreenClass::copyBlendToUpdate(const uloOffmap* source, const uloRect& srcRect, const uloRect& dstRect,
                                      int level) {
  if (!ready || !source) return;
  uloRect src = srcRect, dst = dstRect;
  if (clipRects(src, nullptr, dst)) updateBuffer.copyBlend(source, src, dst, level);
}

void QXScreenClass::copyStringToUpdate(const uloFont& font, const char* text, int16_t x, int16_t y,
                                       int16_t justification, int level) {
  if (!ready || !text || !font.parsed) return;
  int32_t px = x;
  if (justification != 0) px -= justification == 2 ? font.stringWidth(text) : font.stringWidth(text) / 2;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
    const uloRect& g = font.glyphs[*p];
    const int32_t w = g.width();
    if (px > INT16_MAX - 1 || px + w > INT16_MAX) break;
    if (w > 0 && px + w > INT16_MIN) {
      const uloRect dst(px, y, px + w, y + font.glyphHeight);
      if (font.mask) copyMaskToUpdate(&font.image, g, font.mask, g, dst, level);
      else if (level >= 256) copyToUpdate(&font.image, g, dst);
      else copyBlendToUpdate(&font.image, g, dst, level);
    }
    px += w;
  }
}

// ------------------------------------------------------------ transitions

void QXScreenClass::showHideAnimate(int16_t index) {
  if (!ready) return;
  uloRect r = backgroundRect(index);
  if (!r.intersect(updateBuffer.bounds)) return;
  uloOffmap before, after;
  if (!before.allocate(uloOffmapDefaultDepth, r.width(), r.height()) ||
      !after.allocate(uloOffmapDefaultDepth, r.width(), r.height()))
    return;
  before.copy(&updateBuffer, r, before.bounds);
  blitting = false;
  update(r);
  after.copy(&updateBuffer, r, after.bounds);
  const int32_t start = int32_t(ULO_Ticks());
  for (;;) {
    const int32_t elapsed = int32_t(ULO_Ticks()) - start;
    if (entries[index].transition == 1) {
      const int level = std::clamp<int>(elapsed * 256 / kTransitionTicks, 0, 256);
      updateBuffer.copy(&before, before.bounds, r);
      updateBuffer.copyBlend(&after, after.bounds, r, level);
      updateBuffer.draw(r, r);
    } else {
      const int c = std::clamp<int>(elapsed * r.width() / kTransitionTicks, 0, r.width());
      after.draw(uloRect(c, 0, r.width(), r.height()), uloRect(r.left + c, r.top, r.right, r.bottom));
    }
    ULO_PresentIfDirty();
    if (elapsed >= kTransitionTicks) break;
    ULO_WaitTicks(1);
  }
  // The buffer ends as the composed new state.
  updateBuffer.copy(&after, after.bounds, r);
  blitting = true;
}

// ---------------------------------------------------------------- dragging

void QXScreenClass::moveLayouts(int16_t index, int dx, int dy) {
  QXPanelClass* p = panelAt(index);
  if (!p) return;
  for (UloLayout& L : p->layouts) L.layoutRect.offset(dx, dy);
  p->calc();
}

void QXScreenClass::doDragPanel(int16_t index) {
  if (!panelAt(index)) return;
  uloPoint last(uloGlo.mouseX, uloGlo.mouseY);
  while (ULO_TrackButtonDown()) {
    const uloPoint now(uloGlo.mouseX, uloGlo.mouseY);
    if (now == last) continue;
    uloRect area = backgroundRect(index);
    // The whole panel stays in the window: a control dragged past an edge
    // could no longer be reached.
    const int left = std::clamp(area.left + (now.x - last.x), 0, std::max(0, uloGlo.windowWidth - area.width()));
    const int top = std::clamp(area.top + (now.y - last.y), 0, std::max(0, uloGlo.windowHeight - area.height()));
    moveLayouts(index, left - area.left, top - area.top);
    QX_RectUnion(backgroundRect(index), area);
    if (jlHelpp && jlHelpp->active && !jlHelpp->lastBalloon.isEmpty()) {
      QX_RectUnion(jlHelpp->lastBalloon, area);
      uloRect balloon;
      if (jlHelpp->balloonRect(jlHelpp->current, &balloon)) QX_RectUnion(balloon, area);
    }
    update(area);
    last = now;
  }
}

void QXScreenClass::resized() {
  const uloPoint before = origin;
  centreDesignArea();
  // Floating panels sit on the main panel: they move with the design area.
  const int dx = origin.x - before.x, dy = origin.y - before.y;
  if (updateBuffer.allocated &&
      (updateBuffer.width() < uloGlo.windowWidth || updateBuffer.height() < uloGlo.windowHeight)) {
    ready = updateBuffer.allocate(uloOffmapDefaultDepth, uloGlo.windowWidth, uloGlo.windowHeight, -1);
    if (ready) updateBuffer.fill(updateBuffer.bounds, 0);
  }
  for (int16_t i = 0; i < entriesInUse; i++) {
    qxScreenLinks& e = entries[i];
    if (!e.panel) continue;
    e.dragBounds.set(0, 10, uloGlo.windowWidth - 10, uloGlo.windowHeight);
    if (!e.draggable) {
      placeNonDraggable(i);
      continue;
    }
    if (dx || dy) moveLayouts(i, dx, dy);
    const uloRect bg = backgroundRect(i);
    if (!bg.isEmpty() && !e.dragBounds.contains(bg))
      moveLayouts(i, std::min(0, e.dragBounds.right - bg.right), std::min(0, e.dragBounds.bottom - bg.bottom));
  }
}

// ------------------------------------------------------------------ events

int16_t QXScreenClass::askClose() {
  // The main panel knows what quitting would lose; with nothing to lose
  // the program ends without a question.
  if (closeQuestion) {
    const int16_t answer = closeQuestion();
    return answer >= 0 ? answer : int16_t(1);
  }
  if (jlIntl.message(kCloseQuestion).len() > 0) return JL_Notify(kCloseQuestion, jlNotifyYesNo);
  return ULO_MessageBox("Jamloom", "Do you really want to quit Jamloom?", jlNotifyYesNo, false);
}

void QXScreenClass::events() {
  // A dialog window of ours is up: presses and typed keys meant for it
  // (the window manager may leave the keyboard with us) must not reach the
  // panels behind it. Key releases still pass, so no key stays held.
  if ((uloGlo.what == uloEvtMouseDown || uloGlo.what == uloEvtKeyDown || uloGlo.what == uloEvtAutoKey ||
       uloGlo.what == uloEvtDrop) &&
      ULO_ExternalDialogOpen())
    return;
  // The tour's closing word goes at the next click or key, which still does
  // what it does.
  if (jlHelpp && jlHelpp->closing && (uloGlo.what == uloEvtMouseDown || uloGlo.what == uloEvtKeyDown))
    jlHelpp->dismissClosing();
  switch (uloGlo.what) {
    case uloEvtNull:
      if (windowOpen && JL_TakeRaiseRequest()) {
        fprintf(stderr, "Jamloom: the window comes to the front, asked by another start\n");
        ULO_RaiseMainWindow();
      }
      openForwardedDocument();
      // WEB and the INFO page's web address: xdg-open told only its own
      // output that no browser could show the page.
      if (const std::string page = ULO_TakeWebPageFailure(); !page.empty())
        JL_NotifyWith(kJLMsgNoWebBrowser, ULO_Latin1OfUtf8(page.c_str()).c_str(), jlNotifyOK);
      if (jlHelpp) jlHelpp->idle();
      for (int16_t i = int16_t(entriesInUse - 1); i >= 0; i--)
        if (isShown(i)) entries[i].panel->events();
      break;
    case uloEvtMouseDown: {
      const int16_t i = panelUnder(uloGlo.mouseX, uloGlo.mouseY);
      if (i < 0) break;
      QXPanelClass* p = entries[i].panel;
      p->events();
      if (p->currentItem == -1 && entries[i].draggable && p->background()->click()) doDragPanel(i);
      break;
    }
    case uloEvtKeyDown:
    case uloEvtAutoKey:
    case uloEvtKeyUp: {
      const int k = uloGlo.keyCode;
      if (uloGlo.what == uloEvtKeyUp) keyPresses[k] = 0;
      else if (keyPresses[k] < INT16_MAX) keyPresses[k]++;
      if (uloGlo.what == uloEvtKeyDown && uloGlo.specialKey == 1) {
        if (jlHelpp) jlHelpp->toggle(true);
        break;
      }
      if (uloGlo.what == uloEvtKeyDown && uloGlo.keyCode == uloKeyEscape && closeTopOnEscape()) break;
      const int16_t target = modalPanel >= 0 && isShown(modalPanel) ? modalPanel : isShown(2) ? 2 : 0;
      if (QXPanelClass* p = panelAt(target)) p->events();
      break;
    }
    case uloEvtDrop: {
      // The panel under the pointer, else the one that holds the keyboard.
      const int16_t i = panelUnder(uloGlo.mouseX, uloGlo.mouseY);
      if (i >= 0 && entries[i].panel->onDrop(ULO_DroppedPath())) break;
      const int16_t target = modalPanel >= 0 && isShown(modalPanel) ? modalPanel : isShown(2) ? 2 : 0;
      if (QXPanelClass* p = panelAt(target); p && (i < 0 || p != entries[i].panel)) p->onDrop(ULO_DroppedPath());
      break;
    }
    case uloEvtUpdate:
      update(updateBuffer.bounds);
      break;
    case uloEvtMenu:
      if (uloGlo.menuId == kMenuApp && uloGlo.menuItem == 1) {
        toggle(kInfoPanelEntry);
      } else if (uloGlo.menuId == kMenuFile) {
        if (uloGlo.menuItem == 1 || uloGlo.menuItem == 4) {
          if (QXPanelClass* p = panelAt(0)) p->onMenuCommand(kMenuFile, uloGlo.menuItem);
        } else if (uloGlo.menuItem == 2 || uloGlo.menuItem == 6) {
          uloGlo.what = uloEvtClose;
          events();
        }
      }
      break;
    case uloEvtZoom:
      zoomed();
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

bool QXScreenClass::closeTopOnEscape() {
  // A modal panel is the only one on top while it is shown; one that does
  // not close itself here keeps the key for its own key handling.
  if (modalPanel >= 0 && isShown(modalPanel)) return entries[modalPanel].panel->closeOnEscape();
  // The tour's balloon is drawn above every panel.
  if (jlHelpp && jlHelpp->active && !jlHelpp->rolloverMode) {
    jlHelpp->stop();
    return true;
  }
  // Later entries cover earlier ones: the last shown one is on top.
  for (int16_t i = int16_t(entriesInUse - 1); i >= 0; i--)
    if (isShown(i) && entries[i].panel->closeOnEscape()) return true;
  return false;
}

bool QXScreenClass::placeClearOf(int16_t index, int16_t dx, int16_t dy) {
  const uloRect bg = backgroundRect(index);
  if (bg.isEmpty()) return false;
  const int w = bg.width(), h = bg.height();
  // Pixels of shown floating panels a place would cover.
  auto covered = [&](int x, int y) {
    long sum = 0;
    for (int16_t i = 0; i < entriesInUse; i++) {
      // The main panels are the ground every floating panel lies on.
      if (i == index || i <= 1 || !isShown(i)) continue;
      const uloRect o = backgroundRect(i);
      const int cw = std::min(x + w, int(o.right)) - std::max(x, int(o.left));
      const int ch = std::min(y + h, int(o.bottom)) - std::max(y, int(o.top));
      if (cw > 0 && ch > 0) sum += long(cw) * ch;
    }
    return sum;
  };
  // Where it was (the user may have put it there) when that is free.
  if (covered(bg.left, bg.top) == 0) return true;
  // Else its usual place, else the free place of the design area nearest
  // to it; with none free, the one that covers least.
  const int homeX = origin.x + dx, homeY = origin.y + dy;
  int bestX = homeX, bestY = homeY;
  long bestCover = covered(homeX, homeY);
  long bestDistance = 0;
  constexpr int kStep = 10;
  for (int y = origin.y; y + h <= origin.y + kDesignHeight; y += kStep)
    for (int x = origin.x; x + w <= origin.x + kDesignWidth; x += kStep) {
      const long c = covered(x, y);
      const long d = long(x - homeX) * (x - homeX) + long(y - homeY) * (y - homeY);
      if (c < bestCover || (c == bestCover && d < bestDistance)) {
        bestX = x;
        bestY = y;
        bestCover = c;
        bestDistance = d;
      }
    }
  setPanelPosition(index, int16_t(bestX - origin.x), int16_t(bestY - origin.y));
  return bestCover == 0;
}

void QXScreenClass::asyncDialogMessage(JLPath* path) {
  if (path && !path->ready && uloFileChooserUnavailable.exchange(false)) {
    askFileNameInWindow(*path);
  } else {
    tellChooserMissing();
  }
  if (!path) return;
  if (QXPanelClass* p = panelAt(path->request[0])) p->asyncDialogMessage(path);
}

void QXScreen_remoteevents(void* param) {
  if (param)
    QXScreen.asyncDialogMessage(static_cast<JLPath*>(param));
  else
    QXScreen.events();
}
