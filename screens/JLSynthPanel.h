// JLSynthPanel: the synth: keyboard, arpeggio patterns and presets. Screen entry 2.
// User-interface thread only.
#pragma once
#include "framework/panel/QXPanel.h"

class JLSynthPanel : public QXPanelClass {
 public:
  JLSynthPanel();
  ~JLSynthPanel() override;
  void onItem() override;
};
