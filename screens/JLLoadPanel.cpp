#include "screens/JLLoadPanel.h"

#include "framework/panel/JLHelps.h"

JLLoadPanel::JLLoadPanel() = default;
JLLoadPanel::~JLLoadPanel() = default;

void JLLoadPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
}
