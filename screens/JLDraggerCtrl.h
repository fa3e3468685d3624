// The numbered balls of the groove panel's bank (kind 220, JLDraggerCtrl)
// and sequence (kind 221, JLDraggerReceiverCtrl) rows. A ball shows a
// number over its picture (frame 0 of its layout item), the highlight
// picture (frame 1) when selected, and can be dragged: reading message
// 1604 runs the drag until the mouse button is released and returns where
// it ended. Only receivers (sequence balls) are drop targets.
//
// Messages: 1600 set/get highlighted; 1603 set number colour (2 red, 3
// blue, 4 0x03FF, 5 green, else white); 1604 get: run the drag, -2 released
// inside the own rectangle (a click), -1 over no target, else the target's
// item; 1605 get (receivers): mouse inside; 1606 set (receivers): hovered;
// 1400 paint.
//
// User-interface thread only. The drag loop polls the mouse through
// ULO_TrackButtonDown (tests script it) and dispatches no other event.
#pragma once
#include <cstdint>

#include "framework/offmap/uloOffmap.h"
#include "framework/panel/uloPanStdCtrls.h"

enum : short {
  jlMsgBallHighlight = 1600,
  jlMsgBallColour = 1603,
  jlMsgBallDrag = 1604,
  jlMsgBallMouseInside = 1605,
  jlMsgBallHovered = 1606,
};

constexpr short kJLBallKind = 220;
constexpr short kJLBallReceiverKind = 221;

class JLDraggerCtrl : public uloPaCoStd_StaticCast {
 public:
  using uloPaCoStd_StaticCast::getValue;
  using uloPaCoStd_StaticCast::setValue;
  JLDraggerCtrl();
  ~JLDraggerCtrl() override;

  bool click() override { return true; }
  void draw() override;
  void setup() override;
  void setValue(short value) override;
  void getValue(short& value) override;
  void setValue(short message, short value) override;
  void getValue(short message, short& value) override;

  // Number colour of a 1603 style.
  static uint16_t styleColour(short style);
  // The drag; see the header comment for the result.
  short doDragIt();
  // Where the ball is painted: the drag rectangle while dragging, else rect.
  const uloRect& paintRect() const { return dragRect; }

  const uloOffmap* normal = nullptr;
  const uloOffmap* normalMask = nullptr;
  const uloOffmap* highlight = nullptr;
  const uloOffmap* highlightMask = nullptr;
  uloOffmap numberMap;       // the number, printed in the style colour
  uloOffmap numberMask;      // 0 where a glyph pixel is, 255 elsewhere
  int16_t value = -1;
  int16_t style = 1;
  uint8_t highlighted = 0;
  uint8_t dragging = 0;
  uloRect dragRect;

 protected:
  virtual void paint();
  void renderNumber();
};

class JLDraggerReceiverCtrl : public JLDraggerCtrl {
 public:
  using JLDraggerCtrl::getValue;
  using JLDraggerCtrl::setValue;
  void setValue(short message, short value) override;
  void getValue(short message, short& value) override;

  uint8_t hovered = 0;

 protected:
  void paint() override;
};
