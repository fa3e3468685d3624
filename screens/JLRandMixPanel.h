// JLRandMixPanel: the random mix. Screen entry 5.
// User-interface thread only.
#pragma once
#include "framework/panel/QXPanel.h"

class JLRandMixPanel : public QXPanelClass {
 public:
  JLRandMixPanel();
  ~JLRandMixPanel() override;
  void onItem() override;
};
