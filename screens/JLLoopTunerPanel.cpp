#include "screens/JLLoopTunerPanel.h"

#include "framework/panel/JLHelps.h"

JLLoopTunerPanel::JLLoopTunerPanel() = default;
JLLoopTunerPanel::~JLLoopTunerPanel() = default;

void JLLoopTunerPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
}
