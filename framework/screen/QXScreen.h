// QXScreenClass: the one screen. It holds up to 11 connected skin panels,
// shows and hides them (optionally with a 5-tick transition), lets the user
// drag panels, composes every change in its 16-bit update buffer and copies
// changed rectangles to the window. It is also the first receiver of every
// event and distributes it to the panels. It carries the platform pieces of
// start-up too (program folder, window, the document named on the command
// line).
//
// Composition: for a rectangle, every visible control of every shown panel
// that meets it paints itself (message 1400) in entry order, then slot
// order; the help balloon is painted last. Parts of the window outside the
// 640 x 480 design area stay black.
//
// User-interface thread only; other threads reach it through the private
// remote message (QXScreen_remoteevents with a parameter). Without an
// update buffer (setup failed) compositions draw nothing; indices outside
// 0..10 are ignored everywhere.
#pragma once
#include <cstdint>

#include "framework/geometry/uloBaseClasses.h"
#include "framework/offmap/uloOffmap.h"

class JLPath;
class QXPanelClass;
class uloFont;

constexpr int16_t kScreenEntries = 11;
constexpr int16_t kDesignWidth = 640;
constexpr int16_t kDesignHeight = 480;
// The window's title while the work belongs to no mix document.
constexpr const char* kQXWindowTitle = "Jamloom 2.0";
constexpr int32_t kTransitionTicks = 5;

struct qxScreenLinks {
  QXPanelClass* panel = nullptr;
  uint8_t shown = 0;
  uint8_t draggable = 0;
  int16_t value = 0;
  uloRect dragBounds;
  int16_t transition = 0;  // 0 none, 1 cross-fade, other values reveal
  uloPoint offset;
};

class QXScreenClass {
 public:
  // Makes the running program's folder the current directory. False when it
  // cannot be found or entered.
  bool preopenApplication();
  // Allocates the update buffer at the display's size and centres the design
  // area. Leaves ready at 0 on failure.
  void setup();
  // The same with a given buffer size (tools and tests without a display).
  void setup(int16_t width, int16_t height);
  void openWindow();
  void closeWindow();
  // Hands the document named on the command line to the main panel.
  void processOpenDocuments();
  // A document another start of the program handed over (see
  // core/sys/jlDocumentForward.h), opened as if chosen in the open dialog.
  void openForwardedDocument();

  void connect(QXPanelClass* panel, int16_t index, int16_t value);
  // Forgets the panel of an entry (a panel that goes away calls it).
  void disconnect(int16_t index);
  void setProps(int16_t index, int16_t x, int16_t y, bool draggable, int16_t transition);
  void show(int16_t index);
  void hide(int16_t index);
  void toggle(int16_t index);
  bool isShown(int16_t index) const;
  QXPanelClass* panelAt(int16_t index) const;
  // Slot 0's rectangle of the panel at an entry; empty when none.
  uloRect backgroundRect(int16_t index) const;
  // The entry of the panel a mouse press at (x, y) goes to: the last shown
  // one whose background holds the point (only the modal panel while one is
  // shown); -1 when none.
  int16_t panelUnder(int x, int y) const;
  void setPosition(int16_t index, const uloRect& rect);
  void setPanelPosition(int16_t index, int16_t dx, int16_t dy);
  void setPanelPositionCentered(int16_t index);
  void changeAllColors(int16_t colour);
  // Keeps a floating panel where it is when it covers no shown floating
  // panel there, else puts it at (dx, dy) from the design area's origin
  // when that is free, else at the free place of the design area nearest
  // to that; when no place is free, at the one covering the fewest pixels
  // of the others (and returns false).
  bool placeClearOf(int16_t index, int16_t dx, int16_t dy);
  // Escape: the panel on top closes when it knows how (the modal one while
  // it is shown; else the tour's balloon; else the last shown entry that
  // closes on Escape). False when none did.
  bool closeTopOnEscape();

  void update(const uloRect& rect);
  // Every update recomposes all that is visible in the rectangle; the panel
  // and index are accepted for the callers' sake only.
  void updateFrom(void* panel, int16_t index, const uloRect& rect);
  // Copies into the update buffer, clipped to the composition's rectangle.
  void copyToUpdate(const uloOffmap* source, const uloRect& srcRect, const uloRect& dstRect);
  // Level 256 copies through the mask; other levels blend (faint drawing).
  void copyMaskToUpdate(const uloOffmap* source, const uloRect& srcRect, const uloOffmap* mask,
                        const uloRect& maskRect, const uloRect& dstRect, int level);
  // A maskless picture at a strength below full.
  void copyBlendToUpdate(const uloOffmap* source, const uloRect& srcRect, const uloRect& dstRect, int level);
  // Prints a text with a bitmap font, clipped like the copies above.
  // justification 0 left (x is the start), 1 centre, 2 right; a level below
  // 256 prints it faint (disabled).
  void copyStringToUpdate(const uloFont& font, const char* text, int16_t x, int16_t y, int16_t justification,
                          int level = 256);

  void showHideAnimate(int16_t index);
  void doDragPanel(int16_t index);
  // After a window size change: the design area is centred again, fixed
  // panels are placed on it, floating (draggable) panels move with it and
  // are then kept inside the window.
  void resized();
  void zoomed() {}
  void events();
  void asyncDialogMessage(JLPath* path);

  // The close question; answered 1 only when the user confirms quitting.
  // closeQuestion, when set, asks instead about work that quitting loses:
  // it returns -1 when there is none (1 then, without a question), else
  // the answer. Without it the plain question is asked.
  int16_t askClose();
  int16_t (*closeQuestion)() = nullptr;

  bool ready = false;
  bool windowOpen = false;
  qxScreenLinks entries[kScreenEntries];
  int16_t entriesInUse = 0;
  uloOffmap updateBuffer;
  bool blitting = true;
  uloRect clip;
  uloPoint origin;
  uloRect screenRect;
  int16_t keyPresses[512] = {};
  // The entry of a shown modal panel (a browser), or -1: while it is shown
  // it alone takes mouse presses and keys.
  int16_t modalPanel = -1;

 private:
  void centreDesignArea();
  void placeNonDraggable(int16_t index);
  void moveLayouts(int16_t index, int dx, int dy);
  // Shrinks dst to the clip rectangle, moving src and mask edges alike;
  // false when nothing is left.
  bool clipRects(uloRect& src, uloRect* maskRect, uloRect& dst) const;
};

extern QXScreenClass QXScreen;
extern uint8_t surfaceUpdateOnly;
// The folder the user started the program from, before start-up moved the
// current directory to the program's folder (a relative command-line
// document is found from there).
extern char uloLaunchFolder[4096];
// The main panel's dialog path, through which the command-line document is
// handed over like an answered open dialog.
extern JLPath qxCommandLineDocument;
