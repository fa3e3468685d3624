// One scrolling row of numbered balls over a list (the groove bank or the
// sequence of the groove panel). The row shows `visible` balls starting at
// list position `first`; `selected` is the highlighted list position.
//
// User-interface thread only. Positions outside the list show an empty
// ball; a row without a panel or count changes only its own fields.
#pragma once
#include <cstdint>

class QXPanelClass;
class JLGroovePanel;

class JLBallSelector {
 public:
  static constexpr int kMaxBalls = 16;

  JLBallSelector() = default;
  virtual ~JLBallSelector() = default;

  // The number shown for a list position (base: 0).
  virtual short getID(short position);
  // The item number of ball i (base: i).
  virtual short getPanelItem(short ball);

  void setup(QXPanelClass* owner, short visibleBalls, int16_t* countPtr, short ballStyle);
  void reset();
  void refresh();
  void refresh(short ball);
  void select(short position);
  void scroll(short delta);

  short listCount() const { return count ? *count : 0; }

  QXPanelClass* panel = nullptr;
  int16_t* count = nullptr;
  int16_t first = 0;
  int16_t selected = -1;
  int16_t visible = 1;
  int16_t style = 1;
  int16_t items[kMaxBalls] = {};
};

// The bank row: items 101.., the ids of the stored grooves.
class JLBallGroovesSelector : public JLBallSelector {
 public:
  short getID(short position) override;
  short getPanelItem(short ball) override { return short(101 + ball); }
  // Selects the first bank position holding the groove id; false (the
  // selection unchanged) when none does.
  bool selectID(short id);
};

// The sequence row: items 109.., the groove ids of the steps.
class JLBallSequenceSelector : public JLBallSelector {
 public:
  short getID(short position) override;
  short getPanelItem(short ball) override { return short(109 + ball); }
};
