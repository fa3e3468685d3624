#include "screens/JLInfoPanel.h"

#include "framework/panel/JLHelps.h"

JLInfoPanel::JLInfoPanel() = default;
JLInfoPanel::~JLInfoPanel() = default;

void JLInfoPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
}
