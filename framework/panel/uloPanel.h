// uloPanel and uloPanelControl: a rectangular area of the interface with up
// to 200 controls, and the base every control derives from. The screen hands
// each event of uloGlo to the panels it shows; a panel hit-tests its
// controls in slot order (lower slots win where controls overlap), lets the
// one that takes the event react, and tells its owner through onItem with
// currentItem set to that control's slot.
//
// Input state (enabled, active, visible, focus) lives here in the base;
// subclasses mostly paint. Controls are made by the factory newCustomControl
// from a layout item's kind, bound to that item by attachLayout.
//
// User-interface thread only. Nothing throws: an unknown kind creates no
// control, an out-of-range slot is ignored, a control without a layout
// neither places nor draws itself.
#pragma once
#include <cstddef>
#include <cstdint>

#include "framework/geometry/uloBaseClasses.h"

class UloLayout;
class uloPanel;

constexpr int16_t kPanelSlots = 200;

// Mouse polling for tracking loops. Calls ULO_ButtonDown unless a source is
// installed; tests install one to script a press, drag and release.
using uloTrackingSource = bool (*)();
bool ULO_TrackButtonDown();
void ULO_SetTrackingSource(uloTrackingSource source);

// getValue(char*) writes at most this many bytes (with the terminator);
// a caller's buffer must hold them.
constexpr size_t kUloControlTextBytes = 256;

class uloPanelControl {
 public:
  uloPanelControl();
  virtual ~uloPanelControl();
  uloPanelControl(const uloPanelControl&) = delete;
  uloPanelControl& operator=(const uloPanelControl&) = delete;

  // Input; each returns true when it handled the event.
  virtual bool click();
  virtual bool doubleClick();
  virtual bool key();
  virtual void draw();
  // Places the control from its layout item (picture rectangle).
  virtual void calc();
  virtual void setup();
  virtual void statusChanged();
  virtual void enable();
  virtual void disable();
  virtual void show();
  virtual void hide();
  virtual void idle();

  virtual void setValue(short value);
  virtual void setValue(long value);
  virtual void setValue(char* text);
  virtual void setValue(unsigned char* text);
  virtual void getValue(short& value);
  virtual void getValue(long& value);
  virtual void getValue(char* text);
  virtual void getValue(unsigned char* text);
  // Indexed values and numbered control messages.
  virtual void setValue(short which, short value);
  virtual void setValue(short which, long value);
  virtual void setValue(short which, char* text);
  virtual void setValue(short which, unsigned char* text);
  virtual void getValue(short which, short& value);
  virtual void getValue(short which, long& value);
  virtual void getValue(short which, char* text);
  virtual void getValue(short which, unsigned char* text);

  void linkValue(short* v) { linkedShort = v; }
  void linkValue(long* v) { linkedLong = v; }
  void linkValue(char* v) { linkedString = v; }
  void linkValue(unsigned char* v) { linkedPString = v; }
  void setLinkedValues();
  void getLinkedValues();

  // Shorthands that pick the right overload for literal arguments.
  void setString(const char* text);
  void set(short value) { setValue(value); }
  void set(short which, short value) { setValue(which, value); }
  // 0 when the control keeps no such value.
  short get();
  short get(short which);

  // enabled, active and visible: the control takes mouse and key events.
  bool eligible() const { return enabled && active && visible; }
  // Drawing is allowed: the owner is on screen and the control visible.
  bool canDraw() const;

  uloPoint position;
  uloRect rect;
  uloPanel* panel = nullptr;
  int16_t index = 0;
  UloLayout* layout = nullptr;
  int16_t layoutItem = 0;
  int16_t kind = 0;
  int16_t textColour = 0;
  uint8_t focused = 0;
  uint8_t focusable = 0;
  uint8_t enabled = 1;
  uint8_t active = 0;
  uint8_t visible = 0;
  uint8_t wantsIdle = 0;
  short* linkedShort = nullptr;
  long* linkedLong = nullptr;
  char* linkedString = nullptr;
  unsigned char* linkedPString = nullptr;

 protected:
  // Auxiliary value k of the bound layout item (0 without a layout).
  int16_t aux(int k) const;
  // The item's frame rectangle (rect when unbound).
  uloRect itemFrame() const;
};

class uloPanel {
 public:
  uloPanel();
  virtual ~uloPanel();
  uloPanel(const uloPanel&) = delete;
  uloPanel& operator=(const uloPanel&) = delete;

  // Dispatches the current event record (see the .cpp for the order).
  virtual void events();
  virtual void onItem();
  virtual void onKey();
  virtual void onClick();
  virtual void onDoubleClick();
  virtual void onOpen();
  virtual void onClose();
  virtual void onIdle();
  // A file or folder (system path) dropped on the panel at uloGlo's mouse
  // position; true when the panel took it.
  virtual bool onDrop(const char*) { return false; }
  virtual void onResized();
  virtual void onUpdate();
  virtual void doRedraw();
  virtual void doFrontRedraw();
  virtual void doBackRedraw();
  virtual void onCloseWindowRequest();
  virtual short onCloseConfirmRequest();
  virtual short onCloseCancelRequest();
  virtual void onStandardExitButtonsItems();
  // A new control for a layout kind, or null when the kind has no class.
  virtual uloPanelControl* newCustomControl(short kind);

  void allocate();
  void dispose();
  void calc();
  // Takes ownership; a null control or a slot outside 0..199 is ignored
  // (an out-of-range control is destroyed).
  void newCtrl(short index, uloPanelControl* control);
  void newCtrlKind(short index, short kind) { newCtrl(index, newCustomControl(kind)); }
  void attachLayout(UloLayout* layout, short firstIndex);
  void select(short index);

  // The control in a slot; null only for slots outside 0..199.
  uloPanelControl* control(int slot) const {
    return slot >= 0 && slot < kPanelSlots ? controls[slot] : nullptr;
  }

  uloPanelControl* controls[kPanelSlots] = {};
  int16_t controlsCount = 0;
  UloLayout* ownedLayout = nullptr;
  UloLayout* mainLayout = nullptr;
  int16_t currentItem = -1;
  uint8_t allocated = 0;
  uint8_t panelShown = 0;
  // Far enough back that the first press is never the second of a double
  // click (the tick count starts at 0 with the program).
  static constexpr int32_t kNoEarlierClick = -(1 << 30);
  int32_t lastClickTime = kNoEarlierClick;
  // The control the press at lastClickTime hit (-1 none).
  int16_t lastClickItem = -1;
  // True while onItem() handles the second press of a double click on the
  // same control as the first: a button that toggles (start, then stop)
  // ignores it, so that a double click leaves what a single one does.
  bool secondPressOfDoubleClick = false;
  int16_t focusItem = -1;
  // A control's click may name another slot to report instead of its own
  // (a radio reports its group's item); -1 when none, kReportNothing when
  // the control reported everything itself while it was tracked.
  static constexpr int16_t kReportNothing = -2;
  int16_t reportItem = -1;

 private:
  int16_t scanMouse(bool doubleClick);
  void cycleFocus(bool backwards);
};
