// JLLoadPanel: the song browser, the first screen at start. Screen entry 6.
// User-interface thread only.
#pragma once
#include "framework/panel/QXPanel.h"

class JLLoadPanel : public QXPanelClass {
 public:
  JLLoadPanel();
  ~JLLoadPanel() override;
  void onItem() override;
};
