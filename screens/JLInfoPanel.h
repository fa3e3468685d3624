// JLInfoPanel: the information page. Screen entry 9.
// User-interface thread only.
#pragma once
#include "framework/panel/QXPanel.h"

class JLInfoPanel : public QXPanelClass {
 public:
  JLInfoPanel();
  ~JLInfoPanel() override;
  void onItem() override;
};
