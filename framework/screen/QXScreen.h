// QXScreenClass: the one screen. It owns the update buffer in which every
// change is composed, receives every event first and copies changed
// rectangles to the window. It also carries the platform pieces of start-up
// (program folder, window, the document named on the command line).
//
// User-interface thread only; other threads reach it through the private
// remote message (QXScreen_remoteevents with a parameter).
#pragma once
#include <cstdint>

#include "framework/geometry/uloBaseClasses.h"
#include "framework/offmap/uloOffmap.h"

class JLPath;

class QXScreenClass {
 public:
  // Makes the running program's folder the current directory. False when it
  // cannot be found or entered.
  bool preopenApplication();
  // Allocates the update buffer at the display's size and centres the design
  // area. Leaves ready at 0 on failure.
  void setup();
  void openWindow();
  void closeWindow();
  // Hands the document named on the command line to the main panel.
  void processOpenDocuments();

  void update(const uloRect& rect);
  void updateFrom(void* panel, int16_t index, const uloRect& rect);
  void resized();
  void events();
  void asyncDialogMessage(JLPath* path);

  // The close question; answered 1 only when the user confirms quitting.
  int16_t askClose();

  bool ready = false;
  bool windowOpen = false;
  bool blitting = true;
  uloOffmap updateBuffer;
  uloRect clip;
  uloPoint origin;
  uloRect screenRect;
};

extern QXScreenClass QXScreen;
extern uint8_t surfaceUpdateOnly;
// The folder the user started the program from, before start-up moved the
// current directory to the program's folder (a relative command-line
// document is found from there).
extern char uloLaunchFolder[4096];
