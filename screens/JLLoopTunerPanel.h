// JLLoopTunerPanel: the loop tuner: recording, loading and fitting the user loop. Screen entry 4.
// User-interface thread only.
#pragma once
#include "framework/panel/QXPanel.h"

class JLLoopTunerPanel : public QXPanelClass {
 public:
  JLLoopTunerPanel();
  ~JLLoopTunerPanel() override;
  void onItem() override;
};
