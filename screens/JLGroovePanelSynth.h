// How the groove panel and the player reach the synth panel, whose owner
// provides these operations (playerSaidPlay, synth_restoreAll,
// ledsForArpKeys, iced_load, iced_save). Each call is compiled only when
// the panel class declares the operation, so the groove panel builds and
// runs whatever state that panel is in; a missing operation is simply not
// called (documents then keep the synth block themselves). The progress
// panel is called directly (JLRenderToFile).
//
// User-interface thread only. Internal to screens/.
#pragma once
#include <cstdint>
#include <type_traits>
#include <utility>

#include "framework/screen/QXScreen.h"
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

}  // namespace jlgp
