// JLGroovePanel: the main screen: eight tracks, their loops, modes, the groove bank and the sequence. Screen entry 0.
// User-interface thread only.
#pragma once
#include "song/JLPlayCommon.h"

class JLGroovePanel : public JLPlayCommon {
 public:
  JLGroovePanel();
  ~JLGroovePanel() override;
  void onItem() override;
};
