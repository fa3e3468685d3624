// JLLoadSynthPanel: the synth browser. Screen entry 7.
// User-interface thread only.
#pragma once
#include "framework/panel/QXPanel.h"

class JLLoadSynthPanel : public QXPanelClass {
 public:
  JLLoadSynthPanel();
  ~JLLoadSynthPanel() override;
  void onItem() override;
};
