#include "screens/JLSynthPanel.h"

#include "framework/panel/JLHelps.h"

JLSynthPanel::JLSynthPanel() = default;
JLSynthPanel::~JLSynthPanel() = default;

void JLSynthPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
}
