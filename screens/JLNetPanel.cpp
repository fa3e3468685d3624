#include "screens/JLNetPanel.h"

#include "framework/panel/JLHelps.h"
#include "framework/screen/QXScreen.h"
#include "screens/JLGroovePanel.h"

JLNetPanel::JLNetPanel() = default;
JLNetPanel::~JLNetPanel() = default;

void JLNetPanel::put(int16_t item, int16_t v) {
  if (uloPanelControl* c = control(item)) c->set(v);
}

void JLNetPanel::onPanelOpened() {
  if (!link)
    if (auto* gp = dynamic_cast<JLGroovePanel*>(QXScreen.panelAt(0))) link = &gp->net;
  linkMode = 0;
  for (auto& u : trackUse) u = 0;
  put(1, int16_t(linkMode + 1));
  for (int16_t t = 0; t < 8; t++) put(int16_t(2 + t), int16_t(trackUse[t] + 1));
}

void JLNetPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
  const int16_t item = currentItem;
  if (item == 1) {
    linkMode = int16_t((linkMode + 1) % 3);
    if (link) {
      if (linkMode == 0) link->close();
      else if (linkMode == 1) link->startConnect();
      else link->startListen();
    }
    put(1, int16_t(linkMode + 1));
  } else if (item >= 2 && item <= 9) {
    const int16_t t = int16_t(item - 2);
    trackUse[t] = int16_t((trackUse[t] + 1) % 3);
    if (link) link->sendUse(t, trackUse[t]);
    put(item, int16_t(trackUse[t] + 1));
  }
}
