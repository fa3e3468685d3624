// The standard control family: layout pictures per state with system-font
// text drawn over them, straight into the window. Buttons, checks and radios
// track the mouse themselves (ULO_TrackButtonDown) until the release, so a
// press only counts when it is released over the control.
//
// State pictures (ItemUseIndex): button 0 normal, 1 pressed, 2 disabled;
// check and radio value + 3 while focused, radio 2 mixed and 4 pressed.
//
// User-interface thread only. Texts are cut to their buffers.
#pragma once
#include <cstdint>

#include "framework/panel/uloPanel.h"

// A control that shows one picture of its item; the value is the picture.
class uloPaCoStd_StaticCast : public uloPanelControl {
 public:
  using uloPanelControl::getValue;
  using uloPanelControl::setValue;
  void calc() override;
  void draw() override;
  bool click() override { return true; }
  void setValue(short value) override;
  void getValue(short& value) override;

 protected:
  // Selects picture `picture` of the item and places the control again.
  void usePicture(int16_t picture);
  int16_t pictureIndex = 0;
};

// A picture with a text of up to 255 characters over it.
class uloPaCoStd_StaticString : public uloPanelControl {
 public:
  using uloPanelControl::getValue;
  using uloPanelControl::setValue;
  void draw() override;
  bool click() override { return true; }
  void setValue(char* text) override;
  void getValue(char* text) override;
  // 0 size, 1 style, 2 justification.
  void setValue(short which, short value) override;

  char text[256] = {};
  int16_t size = 12;
  int16_t style = 0;
  int16_t justification = 1;

 protected:
  void drawText(const char* shown, int16_t colour);
  void drawPicture();
  void usePicture(int16_t picture);
};

class uloPaCoStd_StandardButton : public uloPaCoStd_StaticString {
 public:
  using uloPaCoStd_StaticString::getValue;
  using uloPaCoStd_StaticString::setValue;
  void setup() override;
  void draw() override;
  bool click() override;
  bool key() override;
  // Non-zero enables, zero disables.
  void setValue(short value) override;
};

class uloPaCoStd_StandardCheck : public uloPaCoStd_StaticString {
 public:
  using uloPaCoStd_StaticString::getValue;
  using uloPaCoStd_StaticString::setValue;
  void setup() override;
  void draw() override;
  void statusChanged() override;
  bool click() override;
  bool key() override;
  void setValue(short value) override;
  void getValue(short& value) override;

  int16_t value = 0;
};

// Radios whose items carry the same group number (aux 2) and kind form one
// group; each carries its own value (aux 1).
class uloPaCoStd_StandardRadio : public uloPaCoStd_StaticString {
 public:
  using uloPaCoStd_StaticString::getValue;
  using uloPaCoStd_StaticString::setValue;
  void setup() override;
  void draw() override;
  void statusChanged() override;
  bool click() override;
  bool key() override;
  // The member whose own value matches is set, the others cleared.
  void setValue(short value) override;
  // The value of the group's set member, -1 when none is set.
  void getValue(short& value) override;
  // 3: mark the member with that value as mixed.
  void setValue(short which, short value) override;
  // 3: whether any member of the group is marked mixed.
  void getValue(short which, short& value) override;

  void setMeAndResetOthers();
  bool sameGroup(const uloPaCoStd_StandardRadio* other) const;

  int16_t ownValue = 0;
  int16_t group = 0;
  uint8_t checked = 0;
  uint8_t mixed = 0;
  uint8_t pressed = 0;

 protected:
  // The picture for the current state.
  virtual int16_t statePicture() const;
  // Tracks a press; true when released over the control.
  bool trackPress();
  virtual void showState();
};

class uloPaCoStd_StandardNum : public uloPaCoStd_StaticString {
 public:
  using uloPaCoStd_StaticString::getValue;
  using uloPaCoStd_StaticString::setValue;
  void setValue(short value) override;
  void getValue(short& value) override;
  int16_t number = 0;
};

class uloPaCoStd_StandardEditString : public uloPaCoStd_StaticString {
 public:
  using uloPaCoStd_StaticString::getValue;
  using uloPaCoStd_StaticString::setValue;
  static constexpr int kMaxChars = 20;
  void setup() override;
  void draw() override;
  void statusChanged() override { draw(); }
  bool click() override;
  bool key() override;
  void setValue(char* text) override;
  // 3 blanks the field; others as the static string.
  void setValue(short which, short value) override;

 protected:
  virtual void shownText(char* out) const;
  uint8_t freshlySet = 0;
};

class uloPaCoStd_StandardEditPassword : public uloPaCoStd_StandardEditString {
 protected:
  void shownText(char* out) const override;
};

class uloPaCoStd_StandardEditNum : public uloPaCoStd_StaticString {
 public:
  using uloPaCoStd_StaticString::getValue;
  using uloPaCoStd_StaticString::setValue;
  void setup() override;
  void draw() override;
  void statusChanged() override { draw(); }
  bool click() override;
  bool key() override;
  void setValue(short value) override;
  void getValue(short& value) override;
  // 3 blanks the field.
  void setValue(short which, short value) override;

  int16_t minimum = 0, maximum = 0, number = 0;
  uint8_t blank = 0;

 private:
  void step(int delta);
};

// Rows of texts; the row height is the height of picture 1 of the item
// (14 pixels without one).
class uloPaCoStd_StandardList : public uloPanelControl {
 public:
  using uloPanelControl::getValue;
  using uloPanelControl::setValue;
  static constexpr int kMaxRows = 256;
  void setup() override;
  void draw() override;
  bool click() override;
  bool key() override;
  // The selected row (-1 none).
  void setValue(short value) override;
  void getValue(short& value) override;
  // Row `which` gets the text; rows are filled in order.
  void setValue(short which, char* text) override;
  void getValue(short which, char* text) override;

  virtual void drawListElem(int16_t row, const uloRect& r, bool selected);
  virtual void drawMatrixElem(int16_t row, const uloRect& r, bool selected) { drawListElem(row, r, selected); }
  void doSelectionFlash();
  void showSelected();
  int16_t visibleRows() const;

  char rows[kMaxRows][64] = {};
  int16_t rowCount = 0;
  int16_t selected = -1;
  int16_t firstRow = 0;
  int16_t rowHeight = 14;
};

class uloPaCoStd_StandardLevelBar : public uloPanelControl {
 public:
  using uloPanelControl::getValue;
  using uloPanelControl::setValue;
  void setup() override;
  void draw() override;
  bool click() override;
  void setValue(short value) override;
  void getValue(short& value) override;

  int16_t minimum = 0, maximum = 100, value = 0;
};
