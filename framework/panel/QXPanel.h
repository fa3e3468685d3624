// QXPanelClass and the skin controls: the base of every screen of the
// program. A panel attaches up to three layouts (slots 0-49, 50-99, 100-149),
// is connected to the screen, hears about being shown and hidden, answers
// the help system and sets localised labels. Slot 0 is the panel's
// background; its rectangle is the panel's area.
//
// Skin controls never draw to the window: draw() asks the screen to
// recompose their rectangle, and the screen calls each intersecting control
// back with message 1400 to paint itself into the update buffer.
//
// Layout auxiliary values: 0 kind, 7 help number (<= 0 none), 9 background
// item for picture controls (-1 none); others per class (see each class).
//
// User-interface thread only. Controls without a picture paint nothing; a
// film frame beyond its strip is skipped; every paint is clipped.
#pragma once
#include <cstdint>

#include "framework/casts/uloCasts.h"
#include "framework/layout/uloLayouts.h"
#include "framework/panel/uloPanelPro.h"
#include "framework/text/uloFont.h"

class JLPath;

// Skin control messages (setValue(short message, short value)).
enum : short {
  qxMsgSetMaximum = 10,
  qxMsgPaint = 1400,
  qxMsgAnimate = 1404,
  qxMsgLevel = 1406,
};

// The application's casts and font (set up at start-up).
extern UloCasts QXCasts;
extern uloFont QXFont;
// The 150 values a spectrum display shows; the program fills them.
extern int16_t QXSpectreTable[150];
// The container the picture-by-id controls read ("QXhelp.xrs" beside the
// program by default).
extern const char* qxHelpPicturesPath;

class QXPanelClass : public uloPanelPro {
 public:
  QXPanelClass();
  ~QXPanelClass() override;

  uloPanelControl* newCustomControl(short kind) override;

  virtual void beforeShow() {}
  virtual void beforeHide() {}
  virtual void afterShow() {}
  virtual void afterHide() {}
  virtual void connected() {}
  virtual void onPanelOpened() {}
  virtual void onPanelClosed() {}
  virtual void asyncDialogMessage(JLPath*) {}
  // Escape pressed while this panel is the one on top: a panel that closes
  // on it (as its X or Cancel would) does so and returns true; false leaves
  // the key to the normal key handling.
  virtual bool closeOnEscape() { return false; }
  // While this panel holds the screen modally: whether a document another
  // start hands over may open at once (the panel is closed by the opening).
  // False keeps the document waiting until the panel closes.
  virtual bool givesWayToDocument() const { return false; }
  // Only while shown: -1 over the background, else the help number of the
  // last control in slot order under the mouse that has one; unchanged
  // when the mouse is outside the panel.
  virtual void getHelp(short* result);
  // The main panel's load (1) and save (4) commands of menu 129.
  virtual void onMenuCommand(int16_t menu, int16_t item) {
    (void)menu;
    (void)item;
  }

  // Layout k (1..3) from container id k (-1: none; id 1 always used).
  void attachLayouts(int32_t id1, int32_t id2, int32_t id3, UloCasts* casts, const uloRect& rect);
  // Line `number` of the message table as the text of the control in slot.
  void setIntlString(int16_t slot, int16_t number);
  uloPanelControl* background() const { return controls[0]; }

  UloLayout layouts[3];
  int16_t screenIndex = -1;
};

// Helpers shared by the skin controls: paint a picture (with or without a
// mask) at a rectangle through the screen, at a level.
void QX_PaintPicture(const uloOffmap* image, const uloRect& src, const uloOffmap* mask, const uloRect& dst,
                     int level);
// Whether the mask pixel under the mouse (relative to r's top-left) is
// transparent: 255 in an 8-bit mask, black in a 16-bit one.
bool QX_MaskTransparentAt(const uloOffmap* mask, const uloRect& r, int x, int y);

class QXPanelImageControl : public panProImageControl {
 public:
  using panProImageControl::getValue;
  using panProImageControl::setValue;
  void setup() override;
  void prepare() override;
  void draw() override;
  bool click() override;
  void setValue(short value) override;
  void getValue(short& value) override;
  void setValue(short which, short value) override;
  virtual void paint();

  const uloOffmap* image = nullptr;
  const uloOffmap* mask = nullptr;
  int16_t level = 256;
};

// The panel background; its value is the colour variant 0-9.
class QXPanelBackpaneControl : public QXPanelImageControl {
 public:
  using QXPanelImageControl::getValue;
  using QXPanelImageControl::setValue;
  void setup() override;
  void prepare() override;
  void setValue(short value) override;
  void getValue(short& value) override;
  int16_t variant = 0;
};

class QXPanelSpectreControl : public QXPanelImageControl {
 public:
  using QXPanelImageControl::getValue;
  using QXPanelImageControl::setValue;
  void setup() override;
  void idle() override;
  bool click() override;
  void paint() override;
};

class QXPanelStaticCastControl : public uloPaCoStd_StaticCast {
 public:
  using uloPaCoStd_StaticCast::getValue;
  using uloPaCoStd_StaticCast::setValue;
  void draw() override;
  void setValue(short which, short value) override;
};

class QXPanelButtonControl : public panProButtonControl {
 public:
  using panProButtonControl::getValue;
  using panProButtonControl::setValue;
  void setup() override;
  void prepare() override;
  void draw() override;
  bool click() override;
  bool key() override { return false; }
  void enable() override;
  void disable() override;
  void setValue(short which, short value) override;

  const uloOffmap* image = nullptr;
  const uloOffmap* mask = nullptr;
  const uloOffmap* hitMask = nullptr;
};

class QXPanelCheckControl : public panProCheckControl {
 public:
  using panProCheckControl::getValue;
  using panProCheckControl::setValue;
  void setup() override;
  void prepare() override;
  void draw() override;
  bool click() override;
  void setValue(short which, short value) override;

  const uloOffmap* image = nullptr;
  const uloOffmap* mask = nullptr;
  const uloOffmap* hitMask = nullptr;
};

// One group reports one item: the member whose own value is 0.
class QXPanelRadioControl : public panProRadioControl {
 public:
  using panProRadioControl::getValue;
  using panProRadioControl::setValue;
  void setup() override;
  void draw() override;
  bool click() override;
  void setValue(short which, short value) override;
  const uloOffmap* hitMask = nullptr;

 protected:
  void showState() override;
};

class QXPanelRotaryControl : public panProRotaryControl {
 public:
  using panProRotaryControl::getValue;
  using panProRotaryControl::setValue;
  void setup() override;
  void prepare() override;
  void draw() override;
  void setValue(short which, short value) override;
};

// An animated film. Aux 1 frame count (0: as the strip holds), 2 step up,
// 3 step down, 4 ticks between frames going up, 5 going down, 6 the rest
// frame, 8 ticks without a new target before it returns to rest (0 never).
class QXPanelFluidFilmControl : public panProImagesFilmControl {
 public:
  using panProImagesFilmControl::getValue;
  using panProImagesFilmControl::setValue;
  void setup() override;
  void prepare() override;
  void draw() override;
  void idle() override;
  // The target frame.
  void setValue(short value) override;
  void getValue(short& value) override;
  void setValue(short which, short value) override;

  int16_t target = 0, frames = 0, stepUp = 1, stepDown = 1, delayUp = 1, delayDown = 1, restFrame = 0,
          restTicks = 0;
  uint8_t animating = 1;
  int32_t nextStep = 0, lastTarget = 0;
};

class QXPanelTextControl : public panProTextControl {
 public:
  using panProTextControl::getValue;
  using panProTextControl::setValue;
  void setup() override;
  void prepare() override;
  void draw() override;
  void setValue(char* text) override;
  // The number as text.
  void setValue(short value) override;
  void setValue(short which, short value) override;
  const uloOffmap* image = nullptr;
  const uloOffmap* mask = nullptr;
};

// A picture from the help pictures container by cast id (-1: none).
class imageIDControl : public uloPanelControl {
 public:
  using uloPanelControl::getValue;
  using uloPanelControl::setValue;
  ~imageIDControl() override;
  void setup() override;
  void draw() override;
  void setValue(short id) override;
  void getValue(short& id) override;
  void setValue(short which, short value) override;
  int16_t castId = -1;

 private:
  UloOneCast* cast = nullptr;
};

// A bitmap handed over by reference: setValue(0, (unsigned char*)uloOffmap*).
class imagePtrControl : public uloPanelControl {
 public:
  using uloPanelControl::getValue;
  using uloPanelControl::setValue;
  void draw() override;
  void setValue(short which, unsigned char* bitmap) override;
  void setValue(short which, short value) override;
  const uloOffmap* bitmap = nullptr;
};

// The left `value` pixels (1-180) of its picture.
class imageBarControl : public uloPanelControl {
 public:
  using uloPanelControl::getValue;
  using uloPanelControl::setValue;
  void setup() override;
  void draw() override;
  void setValue(short value) override;
  void getValue(short& value) override;
  void setValue(short which, short value) override;
  int16_t value = 1;
};

// A thumb on a circle. Aux 1 minimum, 2 maximum, 4 start and 5 end angle in
// degrees, (6, 7) the centre's offset from the control's middle (its length
// is the radius). A drag follows the mouse's angle around the centre.
class JLRoundScroll : public panProImageControl {
 public:
  using panProImageControl::getValue;
  using panProImageControl::setValue;
  void setup() override;
  void calc() override;
  void prepare() override;
  void draw() override;
  bool click() override;
  void setValue(short value) override;
  void getValue(short& value) override;
  void setValue(short which, short value) override;
  // Reports a live value to the owner.
  void setRealtime();
  virtual void placeThumb();

  int16_t minimum = 0, maximum = 100, value = 0;
  int16_t startAngle = 0, endAngle = 180;
  uloPoint centre;
  int16_t radius = 0;
  uloRect thumb;
  const uloOffmap* image = nullptr;
  const uloOffmap* mask = nullptr;
};

// A straight slider: vertical (minimum at the top) when its frame is taller
// than wide, else horizontal (minimum at the left).
class JLScroll : public JLRoundScroll {
 public:
  using JLRoundScroll::getValue;
  using JLRoundScroll::setValue;
  bool click() override;
  void placeThumb() override;
  bool vertical() const { return rect.height() > rect.width(); }
  int trackRoom() const;
};

// A 10-segment meter, value 0-99, with a peak (message 1406). Picture 0 is
// the unlit meter, picture 1 the lit one; segments run bottom-up when the
// meter is taller than wide, else left to right.
class JLLevelBarControl : public uloPanelControl {
 public:
  using uloPanelControl::getValue;
  using uloPanelControl::setValue;
  void setup() override;
  void draw() override;
  void setValue(short value) override;
  void getValue(short& value) override;
  void setValue(short which, short value) override;
  uloRect segmentRect(int i) const;
  // 0 when segment i is not lit, else its level (32..256).
  int segmentLevel(int i) const;

  int16_t value = 0, peak = -1;
};

// A bar of 0-100 filled from the left: picture 1 over its trough, picture 0;
// with picture 0 alone, that picture is the full bar.
class JLProgressControl : public uloPanelControl {
 public:
  using uloPanelControl::getValue;
  using uloPanelControl::setValue;
  void setup() override;
  void draw() override;
  void setValue(short value) override;
  void getValue(short& value) override;
  void setValue(short which, short value) override;
  int16_t value = 0;
};

// Eight independently timed parts over picture 0: part k blinks column k
// of picture 1.
class JLRotorControl : public uloPanelControl {
 public:
  using uloPanelControl::getValue;
  using uloPanelControl::setValue;
  void setup() override;
  void draw() override;
  void idle() override;
  void setValue(short n) override;
  void setValue(short which, short value) override;

  struct Part {
    uint8_t running = 0;
    int8_t direction = 1;
    int16_t period = 1;
    int16_t phase = 0;
    int32_t next = 0;
  } parts[8];
};
