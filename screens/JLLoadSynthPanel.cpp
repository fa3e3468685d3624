#include "screens/JLLoadSynthPanel.h"

#include "framework/panel/JLHelps.h"

JLLoadSynthPanel::JLLoadSynthPanel() = default;
JLLoadSynthPanel::~JLLoadSynthPanel() = default;

void JLLoadSynthPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
}
