#include "screens/JLInfoPanel.h"

#include <initializer_list>

#include "framework/intl/JLInternational.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"

JLInfoPanel::JLInfoPanel() = default;
JLInfoPanel::~JLInfoPanel() = default;

void JLInfoPanel::beforeShow() {
  const bool overGroove = QXScreen.isShown(0);
  const bool overMixer = QXScreen.isShown(1);
  for (int16_t item : {1, 3})
    if (uloPanelControl* c = control(item)) overGroove ? c->show() : c->hide();
  for (int16_t item : {2, 4})
    if (uloPanelControl* c = control(item)) overMixer ? c->show() : c->hide();
  // Over neither (the song browser) the page still needs a way back.
  if (!overGroove && !overMixer)
    if (uloPanelControl* c = control(1)) c->show();
  coveredModal = QXScreen.modalPanel == kEntry ? coveredModal : QXScreen.modalPanel;
  QXScreen.modalPanel = kEntry;
}

void JLInfoPanel::afterHide() {
  if (QXScreen.modalPanel == kEntry) QXScreen.modalPanel = coveredModal;
  coveredModal = -1;
}

void JLInfoPanel::close() { QXScreen.hide(kEntry); }

void JLInfoPanel::onItem() {
  switch (currentItem) {
    case 3: case 4: {
      uloText address = jlIntl.message(26);
      if (address.c_str()[0]) QXGoUrl(address.c_str());
      break;
    }
    default:
      // BACK, the page and the border around it.
      close();
      break;
  }
}

void JLInfoPanel::onClick() { close(); }
void JLInfoPanel::onDoubleClick() { close(); }

void JLInfoPanel::onKey() {
  if (uloGlo.what != uloEvtKeyDown) return;
  if (uloGlo.keyCode == 27 || uloGlo.keyCode == uloKeyReturn || uloGlo.keyCode == ' ')
    close();
}
