// JLNetPanel: the network link settings. Screen entry 3.
// User-interface thread only.
#pragma once
#include "framework/panel/QXPanel.h"

class JLNetPanel : public QXPanelClass {
 public:
  JLNetPanel();
  ~JLNetPanel() override;
  void onItem() override;
};
