// JLInfoPanel: the information page over the whole screen, with a way back
// and a link to the web site; the buttons shown depend on which main panel
// lies beneath. Screen entry 9. While shown it alone takes presses and keys
// (the screen's modal panel): BACK, a click anywhere but WEBSITE, Escape,
// Return or space close it.
// User-interface thread only.
#pragma once
#include "framework/panel/QXPanel.h"

class JLInfoPanel : public QXPanelClass {
 public:
  static constexpr int16_t kEntry = 9;
  JLInfoPanel();
  ~JLInfoPanel() override;
  void beforeShow() override;
  void afterHide() override;
  void onItem() override;
  void onClick() override;
  void onDoubleClick() override;
  void onKey() override;

 private:
  void close();
  // The modal panel the page covered (the song browser may be open under
  // it), given back when the page closes.
  int16_t coveredModal = -1;
};
