#include "screens/JLRandMixPanel.h"

#include "framework/panel/JLHelps.h"

JLRandMixPanel::JLRandMixPanel() = default;
JLRandMixPanel::~JLRandMixPanel() = default;

void JLRandMixPanel::onPanelOpened() {
  static const char* const kLabels[6] = {"Min", "Max", "Dark", "Brght", "-----", "Color"};
  // No setting of this panel is in use yet: its cells look disabled, and
  // their balloons say so.
  for (int16_t i = 0; i < 6; i++)
    if (uloPanelControl* c = control(int16_t(1 + i))) {
      c->setString(kLabels[i]);
      c->disable();
    }
}

void JLRandMixPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
}
