// JLNetPanel: the network link's mode (off, connect, listen) and which
// tracks are shared, over the groove panel's link. With no transport in
// this build the commands change only what is shown. Screen entry 3.
// User-interface thread only.
#pragma once
#include <cstdint>

#include "framework/panel/QXPanel.h"

class JLNet;

class JLNetPanel : public QXPanelClass {
 public:
  JLNetPanel();
  ~JLNetPanel() override;
  void onPanelOpened() override;
  void onItem() override;
  // The link the panel drives; taken from the groove panel when it opens.
  void setLink(JLNet* n) { link = n; }

  JLNet* link = nullptr;
  int16_t linkMode = 0;
  int16_t trackUse[8] = {};

 private:
  void put(int16_t item, int16_t v);
};
