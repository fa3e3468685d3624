// JLRandMixPanel: a small labelled panel toggled from the groove panel; it
// has no settings in use yet, so its cells look disabled and their balloons
// say they do nothing. Its X (item 7) and Escape close it; it opens where
// it covers no other floating panel. Screen entry 5.
// User-interface thread only.
#pragma once
#include "framework/panel/QXPanel.h"

class JLRandMixPanel : public QXPanelClass {
 public:
  static constexpr int16_t kEntry = 5;
  static constexpr int16_t kClose = 7;
  // Where it opens when that place is free (from the design area's origin).
  static constexpr int16_t kHomeX = 100, kHomeY = 100;

  JLRandMixPanel();
  ~JLRandMixPanel() override;
  void onPanelOpened() override;
  void beforeShow() override;
  void onItem() override;
  bool closeOnEscape() override;
};
