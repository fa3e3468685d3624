#include "screens/JLNetPanel.h"

#include "framework/panel/JLHelps.h"

JLNetPanel::JLNetPanel() = default;
JLNetPanel::~JLNetPanel() = default;

void JLNetPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
}
