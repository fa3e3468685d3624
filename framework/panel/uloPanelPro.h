// uloPanelPro and the picture ("pro") controls: controls that compose their
// picture over a background picture in a private bitmap and draw that bitmap
// to the window; film strips, rotary knobs, scroll bars, picture buttons,
// checks and radios, a hover-glow button and a text control. The skin
// controls (QXPanel.h) derive from several of them and paint into the
// screen's update buffer instead.
//
// Messages of setValue(short, short): 64 selects picture (film: frame)
// `value`; 67 re-fetches a film's pictures. setValue(short, long) with 66
// installs a button's tracking callback (a uloProTracker cast to long).
// setValue(short v) of picture controls selects picture v + 1.
//
// User-interface thread only. A missing picture composes nothing (the own
// bitmap keeps what it had); a film frame beyond the strip is not shown.
#pragma once
#include <cstdint>

#include "framework/offmap/uloOffmap.h"
#include "framework/panel/uloPanStdCtrls.h"
#include "framework/panel/uloPanel.h"

// Tracking callback phases and answers.
enum : short { uloTrackPressed = 0, uloTrackReleased = 1, uloTrackHeld = 2 };
enum : short { uloTrackContinue = 4, uloTrackCancel = 6 };
using uloProTracker = short (*)(short phase);

enum : short {
  uloMsgSelectPicture = 64,
  uloMsgSetTracker = 66,
  uloMsgRefetchFilm = 67,
  // Buttons: 1 makes the button repeat while held (see kRepeatDelayTicks).
  uloMsgAutoRepeat = 68,
};

class uloPanelPro : public uloPanel {
 public:
  uloPanelControl* newCustomControl(short kind) override;
  // Reports slot `item` to onItem as a live change during tracking: the
  // real-time flag is set and currentItem names the item meanwhile.
  virtual void reportRealtime(int16_t item);

  uint8_t realTime = 0;
};

class panProImageControl : public uloPaCoStd_StaticCast {
 public:
  using uloPaCoStd_StaticCast::getValue;
  using uloPaCoStd_StaticCast::setValue;
  void setup() override;
  void draw() override;
  void setValue(short value) override;
  void getValue(short& value) override;
  void setValue(short which, short value) override;
  // Composes the current picture into the own bitmap.
  virtual void prepare();

  int16_t backgroundItem = -1;
  int16_t picture = 1;
  uint8_t prepared = 0;
  uloOffmap own;
  int16_t reserved = -1;
  // Skin subclasses paint through the screen and keep no own bitmap.
  uint8_t composesOwn = 1;

 protected:
  // Copies the background under the control into `into` (same size as rect).
  void composeBackground(uloOffmap& into);
  // Source rectangle of the current picture (a film frame for films); false
  // when the picture has no such part.
  virtual bool sourceRect(const uloOffmap& image, uloRect* src) const;
  void selectPicture(int16_t p);
};

class panProButtonControl : public panProImageControl {
 public:
  using panProImageControl::getValue;
  using panProImageControl::setValue;
  void setup() override;
  bool click() override;
  bool key() override;
  void setValue(short which, long value) override;
  void setValue(short which, short value) override;

  uloProTracker tracker = nullptr;
  // A repeating button reports at the press, then, while it is held with
  // the pointer on it, after kRepeatDelayTicks every kRepeatPeriodTicks;
  // its release reports nothing more.
  static constexpr int32_t kRepeatDelayTicks = 24;
  static constexpr int32_t kRepeatPeriodTicks = 4;
  uint8_t autoRepeat = 0;

 protected:
  short callTracker(short phase, short otherwise) const { return tracker ? tracker(phase) : otherwise; }
  // The press behaviour shared with the skin button.
  bool trackPress();
};

class panProCheckControl : public panProImageControl {
 public:
  using panProImageControl::getValue;
  using panProImageControl::setValue;
  void setup() override;
  bool click() override;
  bool key() override;
  void setValue(short value) override;
  void getValue(short& value) override;

  int16_t value = 0;
};

class panProRadioControl : public uloPaCoStd_StandardRadio {
 protected:
  int16_t statePicture() const override { return int16_t(checked + 1); }
};

class panProImagesFilmControl : public panProImageControl {
 public:
  using panProImageControl::getValue;
  using panProImageControl::setValue;
  void setup() override;
  void setValue(short which, short value) override;
  // Frames the strip holds at the control's height.
  int16_t frameCount() const;

  int16_t frame = 0;

 protected:
  bool sourceRect(const uloOffmap& image, uloRect* src) const override;
  void showFrame(int16_t f);
};

class panProRotaryControl : public panProImagesFilmControl {
 public:
  using panProImagesFilmControl::getValue;
  using panProImagesFilmControl::setValue;
  void setup() override;
  bool click() override;
  bool key() override;
  void setValue(short value) override;
  void getValue(short& value) override;

  int16_t value = 0;
  int16_t maximum = 0;
  uint8_t realtimeMarked = 0;
};

class panProHilButtonControl : public panProImageControl {
 public:
  using panProImageControl::getValue;
  using panProImageControl::setValue;
  void setup() override;
  void idle() override;
  bool click() override;
  void drawOffAndHilite();

  int16_t glow = 0;
  int16_t stepUp = 1, stepDown = 1;
};

class panProTextControl : public panProImageControl {
 public:
  using panProImageControl::getValue;
  using panProImageControl::setValue;
  void draw() override;
  void setValue(char* text) override;
  void getValue(char* text) override;

  char text[256] = {};
  int16_t size = 12, style = 0, justification = 1;
};

class panProScrollControl : public uloPaCoStd_StaticCast {
 public:
  using uloPaCoStd_StaticCast::getValue;
  using uloPaCoStd_StaticCast::setValue;
  void setup() override;
  void draw() override;
  bool click() override;
  void setValue(short value) override;
  void getValue(short& value) override;

  bool vertical() const { return rect.height() > rect.width(); }
  uloRect thumbRect() const;

  int16_t minimum = 0, maximum = 1, value = 0, backgroundItem = -1;
  float factor = 0.f;

 private:
  void computeFactor();
};
