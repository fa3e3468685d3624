// JLProgressPanel: a bar with a message and an optional stop button, shown
// in screen entry 10 while a long operation runs (a sound file conversion;
// a disk mix, which renders on a worker thread, see JLRenderToFile).
//
// Two ways to drive it. The loop tuner uses the step-by-step calls (show,
// message, setStopMode, subAmountRange, amount, hide). Long operations that
// want a cancel button use the short form:
//
//   JLProgressPanel* p = JL_ProgressPanel();      // null before start-up
//   if (p) p->begin("Mixing to disk...");
//   for (...) { if (p && !p->set(done / total)) break; }   // stopped
//   if (p) p->end();
//
// or the free functions JLProgress_begin / JLProgress_set / JLProgress_end,
// which do nothing (and set() answers true) when there is no panel. set()
// repaints the bar and looks at the mouse, so a click on STOP is seen while
// the caller keeps the thread busy; it answers false from then on.
//
// User-interface thread only.
#pragma once
#include <cstdint>

#include "framework/panel/QXPanel.h"

class JLProgressPanel : public QXPanelClass {
 public:
  enum : int16_t { kItemStop = 1, kItemMessage = 2, kItemBar = 3 };

  JLProgressPanel();
  ~JLProgressPanel() override;
  void onItem() override;

  // ---- step by step ----
  void show();
  void message(const char* text);
  // Line n of the localised message table.
  void message(int16_t n);
  // The bar at a (0..1) of the whole; also the base of sub-amounts.
  void amount(float a);
  void subAmountRange(float r);
  // f (0..1) of the current sub-range, on top of the last amount.
  void subAmount(float f);
  void setStopMode(bool on);
  // Leaves the full bar up for half a second, then hides the panel.
  void hide();

  // ---- long operations ----
  // show(), the message, the stop button enabled when stoppable.
  void begin(const char* title, bool stoppable = true);
  // The bar at fraction (clamped to 0..1) of the whole; repaints, takes a
  // pending click on STOP, and returns false once a stop was asked for.
  bool set(float fraction);
  // The bar full, then hide().
  void end();

  bool stopWasRequested() const { return stopRequested != 0; }
  // The bar's value as last set (0..100).
  int16_t barValue() const { return bar; }

  float subRange = 1.f;
  float baseAmount = 0.f;
  uint8_t stopMode = 0;
  uint8_t started = 0;
  uint8_t stopRequested = 0;

 private:
  void setBar(float percent);
  // Hands pending mouse presses on this panel to events(); other input
  // waits in the queue until the operation is over.
  void pollStopButton();
  int16_t bar = 0;
};

// The panel of screen entry 10, or null when it does not exist.
JLProgressPanel* JL_ProgressPanel();
// The same as the panel's subAmount, for callers that do not hold it.
void JLProgress_subAmount(float f);
void JLProgress_begin(const char* title, bool stoppable = true);
// true (go on) when there is no panel.
bool JLProgress_set(float fraction);
void JLProgress_end();
