// JLProgressPanel: the progress of long operations. Screen entry 10.
// User-interface thread only.
#pragma once
#include "framework/panel/QXPanel.h"

class JLProgressPanel : public QXPanelClass {
 public:
  JLProgressPanel();
  ~JLProgressPanel() override;
  void onItem() override;
};
