#include "screens/JLPrefsPanel.h"

#include "framework/panel/JLHelps.h"

JLPrefsPanel::JLPrefsPanel() = default;
JLPrefsPanel::~JLPrefsPanel() = default;

void JLPrefsPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
}
