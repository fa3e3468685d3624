#include "screens/JLRandMixPanel.h"

#include "framework/panel/JLHelps.h"
#include "framework/screen/QXScreen.h"

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

void JLRandMixPanel::beforeShow() {
  // Opened over the tuner or the synth it would hide what the user works
  // on: it takes a free place of the main panel instead.
  if (screenIndex >= 0) QXScreen.placeClearOf(screenIndex, kHomeX, kHomeY);
}

void JLRandMixPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
  if (currentItem == kClose) QXScreen.hide(screenIndex);
}

bool JLRandMixPanel::closeOnEscape() {
  QXScreen.hide(screenIndex);
  return true;
}
