#include "screens/JLGroovePanel.h"

#include "framework/panel/JLHelps.h"

JLGroovePanel::JLGroovePanel() = default;
JLGroovePanel::~JLGroovePanel() = default;

void JLGroovePanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
}
