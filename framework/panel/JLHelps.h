// JLHelps: help balloons over the skin. Rollover help (F1 on/off) shows the
// balloon of the control under the mouse; the guided sequence (the tour)
// shows one step at a time and advances one second after the user clicks
// the step's control, and ends a second after the last step's click with a
// closing word (messages kJLMsgTourOver and kJLMsgTourHint in the balloon
// of the control setClosing names) that goes at the next click or key. The
// balloon is painted as the last layer of every composition of the screen
// (updateOffmap). It prints its texts with its own glyphs (it is a font,
// set up from cast 500 of the main casts).
//
// Help text: one element per line (CR, LF or CR LF ends a line; reading
// stops at the first empty line), fields separated by "]": balloon slot
// (0-31), balloon cast id, panel entry, control slot, balloon offset x, y
// from the control's centre, text offset x, y, rollover flag, unused, then
// up to 12 text lines. Missing numbers read as 0.
//
// User-interface thread only. Malformed lines never fail: elements beyond
// 499, balloon slots outside 0-31, panel entries or control slots that name
// nothing, and missing casts just show no balloon (or no balloon picture).
#pragma once
#include <cstdint>
#include <string>

#include "framework/casts/uloCasts.h"
#include "framework/offmap/uloOffmap.h"
#include "framework/res/uloRes.h"
#include "framework/text/uloFont.h"

constexpr int kHelpSlots = 32;
constexpr int kHelpElements = 500;
constexpr int kHelpLines = 12;
// What jlHelpsModeDisplay is told runs.
constexpr int16_t kHelpModeTour = 0;
constexpr int16_t kHelpModeRollover = 1;
constexpr int16_t kHelpModeOff = -1;

struct jlHelpsTextRec {
  int16_t slot = -1;
  int16_t castId = 0;
  int16_t panel = 0;
  int16_t control = 0;
  int16_t balloonX = 0, balloonY = 0;
  int16_t textX = 0, textY = 0;
  char* lines[kHelpLines] = {};
  uint8_t rollover = 0;
};

struct jlHelpsMapRec {
  const uloOffmap* image = nullptr;
  const uloOffmap* mask = nullptr;
  uloRect bounds;
};

class JLHelps : public uloFont {
 public:
  // Reads everything from beside the program (init).
  JLHelps();
  // Builds an empty help object; tests and tools then call init with paths.
  explicit JLHelps(bool deferInit);
  ~JLHelps() override;

  void init();
  // The help container, the font and the texts from the given places; the
  // main casts are `casts` (its container holds the fallback text item).
  void init(UloCasts* casts, const char* textPath, const char* containerPath);
  void exit() {}
  // Parses a whole help text (replaces the elements).
  void loadTexts(const char* text, int32_t length);
  void loadMap(int16_t slot, int32_t castId);
  void loadTextEl(int16_t index, const char* line, int32_t length);

  void start(bool rollover);
  void stop();
  // The closing word hangs in the rollover balloon of this control (the
  // HELP lamp, say); without one the tour ends without it.
  void setClosing(int16_t panelEntry, int16_t slot);
  // The closing word goes (the next click or key does this).
  void dismissClosing();
  void toggle(bool rollover);
  void idle();
  void hit(int16_t panelEntry, int16_t slot);
  void rolloverFind();
  // Paints the balloon into the screen's update buffer.
  void updateOffmap();
  void panHidden(int16_t) {}

  // The balloon rectangle of an element, or false when it shows none.
  bool balloonRect(int16_t element, uloRect* out) const;
  // The control an element points at, or null.
  const uloRect* controlRect(int16_t element) const;
  // The closing word's balloon, or false when none shows.
  bool closingRect(uloRect* out) const;

  jlHelpsMapRec maps[kHelpSlots];
  jlHelpsTextRec elements[kHelpElements];
  int16_t count = 0;
  int16_t current = -1;
  uint8_t active = 0;
  int32_t timer = 0;
  uint8_t rolloverMode = 0;
  uloRect lastBalloon;
  UloResFile helpFile;
  uint8_t helpFileOpen = 0;
  UloCasts helpCasts;
  uloOffmap white;
  // The pre-drawn text whose mask is loaded (at most one at a time).
  UloOneCast* shownText = nullptr;
  UloCasts* mainCasts = nullptr;
  // The closing word shows (`active` is already 0 then: no tour runs).
  uint8_t closing = 0;
  int16_t closingPanel = -1, closingControl = -1;
  // Its title and text, cut to the balloon's width.
  std::string closingLines[kHelpLines];

 private:
  void clearElements();
  // The current tour step is followed by another.
  bool hasNextStep() const;
  // Recomposes the old and the new balloon areas.
  void updateHelpArea();
  // The rollover element the closing word borrows its balloon from, or -1.
  int16_t closingElement() const;
  void showClosing();
  // The balloon picture of an element at `r`.
  void paintPicture(const jlHelpsTextRec& e, const uloRect& r);
};

// The closing word of the tour: a title and one line cut to fit.
constexpr int16_t kJLMsgTourOver = 83;
constexpr int16_t kJLMsgTourHint = 84;

extern JLHelps* jlHelpp;
// Tells the application which help runs: kHelpModeRollover,
// kHelpModeTour or kHelpModeOff; the player shows it on the HELP and TOUR
// lamps. Null: nobody listens.
extern void (*jlHelpsModeDisplay)(int16_t mode);
