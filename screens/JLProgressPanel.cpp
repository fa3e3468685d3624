#include "screens/JLProgressPanel.h"

#include "framework/panel/JLHelps.h"

JLProgressPanel::JLProgressPanel() = default;
JLProgressPanel::~JLProgressPanel() = default;

void JLProgressPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
}
