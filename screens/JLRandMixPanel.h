// JLRandMixPanel: a small labelled panel toggled from the groove panel; it
// has no actions of its own, so its cells look disabled and their balloons
// say they do nothing. Screen entry 5.
// User-interface thread only.
#pragma once
#include "framework/panel/QXPanel.h"

class JLRandMixPanel : public QXPanelClass {
 public:
  JLRandMixPanel();
  ~JLRandMixPanel() override;
  void onPanelOpened() override;
  void onItem() override;
};
