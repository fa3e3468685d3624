// JLVMixPanel: the virtual mixer: whole arrangements built from the song's mix styles. Screen entry 1.
// User-interface thread only.
#pragma once
#include "song/JLPlayCommon.h"

class JLVMixPanel : public JLPlayCommon {
 public:
  JLVMixPanel();
  ~JLVMixPanel() override;
  void onItem() override;
};
