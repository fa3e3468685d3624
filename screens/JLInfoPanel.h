// JLInfoPanel: the information page over the whole screen, with a way back
// and a link to the web site; the buttons shown depend on which main panel
// lies beneath. Screen entry 9.
// User-interface thread only.
#pragma once
#include "framework/panel/QXPanel.h"

class JLInfoPanel : public QXPanelClass {
 public:
  static constexpr int16_t kEntry = 9;
  JLInfoPanel();
  ~JLInfoPanel() override;
  void beforeShow() override;
  void onItem() override;
};
