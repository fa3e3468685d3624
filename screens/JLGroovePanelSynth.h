// How the groove panel and the player reach the synth panel and the
// progress panel, whose owners provide these operations
// (JLSynthPanel: playerSaidPlay, synth_restoreAll, ledsForArpKeys, iced_load,
// iced_save; JLProgressPanel: show, message, amount, hide, stopRequested).
// Each call is compiled only when the panel class declares the operation,
// so the groove panel builds and runs whatever state those panels are in;
// a missing operation is simply not called (documents then keep the synth
// block themselves, progress shows in the panel's message item).
//
// User-interface thread only. Internal to screens/.
#pragma once
#include <cstdint>
#include <type_traits>
#include <utility>

#include "framework/screen/QXScreen.h"
#include "screens/JLProgressPanel.h"
#include "screens/JLSynthPanel.h"
#include "song/uloAtomsFiles.h"

namespace jlgp {

#define JLGP_HAS(Name, Expr)                                            \
  template <class T, class = void>                                      \
  struct Name : std::false_type {};                                     \
  template <class T>                                                    \
  struct Name<T, std::void_t<decltype(Expr)>> : std::true_type {};

JLGP_HAS(HasPlayerSaidPlay, std::declval<T&>().playerSaidPlay())
JLGP_HAS(HasRestoreAll, std::declval<T&>().synth_restoreAll())
JLGP_HAS(HasLedsForArpKeys, std::declval<T&>().ledsForArpKeys(std::declval<char*>()))
JLGP_HAS(HasIcedLoadRef, std::declval<T&>().iced_load(std::declval<uloAtomsFile&>()))
JLGP_HAS(HasIcedLoadPtr, std::declval<T&>().iced_load(std::declval<uloAtomsFile*>()))
JLGP_HAS(HasIcedSaveBlock, std::declval<T&>().iced_save(std::declval<uint8_t*>()))
JLGP_HAS(HasProgressShow, std::declval<T&>().show())
JLGP_HAS(HasProgressHide, std::declval<T&>().hide())
JLGP_HAS(HasProgressAmount, std::declval<T&>().amount(0.5f))
JLGP_HAS(HasProgressMessage, std::declval<T&>().message(std::declval<char*>()))
JLGP_HAS(HasStopRequested, std::declval<T&>().stopRequested)
#undef JLGP_HAS

template <class T = JLSynthPanel>
T* synthPanel() {
  return dynamic_cast<T*>(QXScreen.panelAt(2));
}

template <class T = JLSynthPanel>
void synthPlayerSaidPlay() {
  if constexpr (HasPlayerSaidPlay<T>::value)
    if (T* s = synthPanel<T>()) s->playerSaidPlay();
}

template <class T = JLSynthPanel>
void synthRestoreAll() {
  if constexpr (HasRestoreAll<T>::value)
    if (T* s = synthPanel<T>()) s->synth_restoreAll();
}

template <class T = JLSynthPanel>
void synthLedsForArpKeys(char* keys) {
  if constexpr (HasLedsForArpKeys<T>::value)
    if (T* s = synthPanel<T>()) s->ledsForArpKeys(keys);
  (void)keys;
}

// The synth panel reads 'syic' from the open document. Returns 1 when it
// read it, 0 when it tried and failed, -1 when it has no such operation.
template <class T = JLSynthPanel>
int synthIcedLoad(uloAtomsFile& file) {
  T* s = synthPanel<T>();
  if constexpr (HasIcedLoadRef<T>::value) {
    if (s) return s->iced_load(file) ? 1 : 0;
  } else if constexpr (HasIcedLoadPtr<T>::value) {
    if (s) return s->iced_load(&file) ? 1 : 0;
  }
  (void)s;
  (void)file;
  return -1;
}

// The synth panel writes its 3308-byte block; false when it cannot.
template <class T = JLSynthPanel>
bool synthIcedSave(uint8_t* block) {
  if constexpr (HasIcedSaveBlock<T>::value) {
    if (T* s = synthPanel<T>()) {
      s->iced_save(block);
      return true;
    }
  }
  (void)block;
  return false;
}

template <class T = JLProgressPanel>
T* progressPanel() {
  return dynamic_cast<T*>(QXScreen.panelAt(10));
}

template <class T = JLProgressPanel>
void progressShow(const char* text) {
  T* p = progressPanel<T>();
  if (!p) return;
  if constexpr (HasProgressShow<T>::value)
    p->show();
  else
    QXScreen.show(10);
  if constexpr (HasProgressMessage<T>::value) {
    p->message(const_cast<char*>(text));
  } else {
    if (uloPanelControl* c = p->control(2)) c->setString(text);
  }
}

template <class T = JLProgressPanel>
void progressAmount(float fraction, const char* text) {
  T* p = progressPanel<T>();
  if (!p) return;
  if constexpr (HasProgressAmount<T>::value) {
    p->amount(fraction);
    (void)text;
  } else {
    if (uloPanelControl* c = p->control(3)) c->setValue(short(fraction * 100.0f + 0.5f));
    if (uloPanelControl* c = p->control(2)) c->setString(text);
  }
}

template <class T = JLProgressPanel>
bool progressStopRequested() {
  if constexpr (HasStopRequested<T>::value)
    if (T* p = progressPanel<T>()) return p->stopRequested != 0;
  return false;
}

template <class T = JLProgressPanel>
void progressHide() {
  T* p = progressPanel<T>();
  if (!p) return;
  if constexpr (HasProgressHide<T>::value)
    p->hide();
  else
    QXScreen.hide(10);
}

}  // namespace jlgp
