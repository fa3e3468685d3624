#include "screens/JLVMixPanel.h"

#include "framework/panel/JLHelps.h"

JLVMixPanel::JLVMixPanel() = default;
JLVMixPanel::~JLVMixPanel() = default;

void JLVMixPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
}
