#include "screens/JLRandMixPanel.h"

#include "framework/panel/JLHelps.h"

JLRandMixPanel::JLRandMixPanel() = default;
JLRandMixPanel::~JLRandMixPanel() = default;

void JLRandMixPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
}
