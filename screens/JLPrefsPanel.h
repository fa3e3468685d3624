// JLPrefsPanel: the preferences. Screen entry 8.
// User-interface thread only.
#pragma once
#include "framework/panel/QXPanel.h"

class JLPrefsPanel : public QXPanelClass {
 public:
  JLPrefsPanel();
  ~JLPrefsPanel() override;
  void onItem() override;
};
