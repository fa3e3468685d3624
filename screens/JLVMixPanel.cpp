#include "screens/JLVMixPanel.h"

#include <cstdio>
#include <initializer_list>

#include "framework/intl/JLInternational.h"
#include "framework/panel/JLHelps.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "screens/JLGroovePanelSynth.h"
#include "screens/vmixHost.h"
#include "song/JLPlayer.h"

const int16_t JLVMixPanel::vmixledsitems[kMixes] = {23, 25, 24, 45};

namespace {
enum : int16_t {
  kItemNewMixes = 5, kItemListOrder = 6, kItemRandomOrder = 7, kItemAutoNew = 8, kItemKeep = 9, kItemSynth = 10,
  kItemDuration = 11, kItemTempoScroll = 12, kItemStop = 13, kItemPlay = 14, kItemPlaybar = 15, kItemPlayLamp = 26,
  kItemSongs = 27, kItemRestore = 28, kItemBpmUp = 29, kItemBpmDown = 30, kItemTap = 31, kItemHelp = 33,
  kItemPrefs = 34, kItemQuit = 35, kItemStopLamp = 36, kItemLights = 37, kItemStyleName = 38,
  kItemPlaybarLabel = 39, kItemBpmLabel = 40, kItemDurationText = 41, kItemListLamp = 42, kItemRandomLamp = 43,
  kItemMainVolume = 44, kItemAutoLamp = 46, kItemSongTitle = 47, kItemSynthLamp = 48, kItemTour = 49,
  kItemInfo = 50,
};
constexpr int16_t kSynthEntry = 2, kSongsEntry = 6, kPrefsEntry = 8, kInfoEntry = 9;
// Localised question before the tour leaves the mixer: Yes keeps the mix,
// No restores the grooves from before, Cancel stays.
constexpr int16_t kMsgTourKeepOrRestore = 61;
}  // namespace

JLVMixPanel::JLVMixPanel() = default;
JLVMixPanel::~JLVMixPanel() = default;

void JLVMixPanel::put(int16_t item, int16_t v) {
  if (uloPanelControl* c = control(item)) c->set(v);
}

void JLVMixPanel::setText(int16_t item, const char* text) {
  if (uloPanelControl* c = control(item)) c->setString(text);
}

void JLVMixPanel::showOrderLamps() {
  put(kItemListLamp, listOrder);
  put(kItemRandomLamp, randomOrder);
  put(kItemAutoLamp, autoRegenerate);
}

void JLVMixPanel::onPanelOpened() {
  if (!host) host = JL_GrooveVMixHost();
  for (int16_t item : vmixledsitems) put(item, 0);
  if (uloPanelControl* c = control(kItemSongTitle)) c->set(1405, 1);
  // Tempo - and + step on while held.
  for (int16_t item : {kItemBpmUp, kItemBpmDown})
    if (uloPanelControl* c = control(item)) c->set(uloMsgAutoRepeat, 1);
  current = 0;
  generated = autoRegenerate = randomOrder = listOrder = showTime = switchPending = 0;
  showOrderLamps();
}

void JLVMixPanel::beforeShow() {
  if (jlPlayer) {
    jlPlayer->userVMix();
    jlPlayer->refreshCommon();
  }
  if (host) setText(kItemSongTitle, host->song().songTitle);
  if (!generated) {
    for (int16_t n = 0; n < kMixes; n++) vmixRandomize(n);
    generated = 1;
  }
  vmixUse(0);
  // What plays on from the groove panel shows in the track lights.
  lightGame();
}

void JLVMixPanel::vmixRandomize(int16_t n) {
  if (host) JL_BuildVMix(host->song(), host->bank(), n);
  vmixStore(n);
}

void JLVMixPanel::vmixStore(int16_t n) {
  if (n < 0 || n >= kMixes) return;
  if (host) {
    // The user's chosen length survives a rebuild.
    const int16_t userLength = mixes[n].userStepCount;
    mixes[n] = host->bank();
    mixes[n].userStepCount = userLength;
  }
  mixes[n].stretchToUser();
}

void JLVMixPanel::vmixUse(int16_t n) {
  if (n < 0 || n >= kMixes) return;
  current = n;
  if (host) host->bank() = mixes[n];
  put(kItemDuration, mixes[n].userStepCount);
  displayDuration();
  for (int16_t i = 0; i < kMixes; i++) put(vmixledsitems[i], i == n ? 1 : 0);
  // The name box names the mix in use however it came to be (showing the
  // mixer, a song loaded, the end of a mix), not the last one clicked.
  if (host && n < host->song().styleCount) setText(kItemStyleName, host->song().styles[n].name);
  else setText(kItemStyleName, "");
}

void JLVMixPanel::displayDuration() {
  const int16_t steps = host ? host->bank().userStepCount : mixes[current].userStepCount;
  if (showTime) {
    const float tempo = jlPlayer && jlPlayer->bpm > 0.f ? jlPlayer->bpm : 120.f;
    const int seconds = int(float(steps) * 32.f * 60.f / tempo);
    snprintf(duration, sizeof duration, "Time %02d:%02d", seconds / 60, seconds % 60);
  } else {
    snprintf(duration, sizeof duration, "%d Bars", steps * 8);
  }
  setText(kItemDurationText, duration);
}

void JLVMixPanel::lightGame() {
  const bool playing = jlPlayer && jlPlayer->isPlaying();
  uloPanelControl* c = control(kItemLights);
  if (!c) return;
  for (int16_t i = 0; i < 8; i++) c->set(int16_t(playing && host && host->trackHasLoop(i) ? i + 1 : -1 - i));
}

void JLVMixPanel::onIdle() {
  QXPanelClass::onIdle();
  if (uloPanelControl* c = control(kItemLights)) c->idle();
  if (jlPlayer && jlPlayer->target() == this) jlPlayer->idle();
}

void JLVMixPanel::restartSequence() {
  if (host) host->setSelectedStep(-1);
  if (jlPlayer) {
    jlPlayer->cycleCount = 0;
    jlPlayer->playSequence();
  }
}

void JLVMixPanel::onItem_vmix(int16_t n) {
  vmixUse(n);
  if (jlPlayer && jlPlayer->isPlaying()) {
    jlPlayer->stop();
    if (host) host->setSelectedStep(-1);
    jlPlayer->cycleCount = 0;
  }
  if (jlPlayer) jlPlayer->playSequence();
  lightGame();
}

void JLVMixPanel::onItem_newVmix() {
  const bool wasPlaying = jlPlayer && jlPlayer->isPlaying();
  if (wasPlaying) jlPlayer->stop();
  for (int16_t n = 0; n < kMixes; n++) vmixRandomize(n);
  generated = 1;
  vmixUse(current);
  if (wasPlaying) restartSequence();
}

void JLVMixPanel::onItem_duration() {
  uloPanelControl* c = control(kItemDuration);
  int16_t steps = c ? c->get() : 0;
  if (steps < 0) steps = 0;
  if (steps > JLSequence::kMaxSteps) steps = JLSequence::kMaxSteps;
  JLSequence& mix = mixes[current];
  mix.userStepCount = steps;
  // Zero asks for the natural length: the mix's own grooves, once each.
  if (steps == 0) mix.stepCount = 0, mix.addAllToSteps();
  mix.stretchToUser();
  if (host) host->bank() = mix;
  displayDuration();
}

void JLVMixPanel::onItem_switchToGroove(bool restore) {
  const JLPlayer::Paused was = jlPlayer ? jlPlayer->pauseFor() : JLPlayer::Paused();
  lightGame();
  if (host) {
    JLSequence& bank = host->bank();
    if (!restore) {
      if (bank.stepCount < bank.grooveCount) bank.grooveCount = bank.stepCount < 0 ? 0 : bank.stepCount;
      host->refreshRows();
    } else {
      host->restoreBackup();
    }
  }
  QXScreen.hide(kEntry);
  QXScreen.show(0);
  if (jlPlayer) jlPlayer->userGroove();
  // RESTORE plays what played when the mixer was entered; KEEP THIS MIX
  // plays on the kept mix as it played here.
  if (restore && host) {
    host->resumePlay();
  } else if (!restore && jlPlayer) {
    // KEEP before any mix was started here: what played was still the
    // user's groove, which the kept mix has replaced; the mix starts from
    // its first step instead, so what is heard is what was kept.
    JLPlayer::Paused resume = was;
    if (resume.playing && !resume.sequence && host && host->bank().stepCount > 0) {
      resume.sequence = true;
      host->setSelectedStep(-1);
      jlPlayer->cycleCount = 0;
    }
    jlPlayer->resumeAfter(resume);
  }
}

bool JLVMixPanel::closeOnEscape() {
  const int16_t answer = ULO_MessageBox(
      "Jamloom", "Leave the virtual mixer? Yes keeps this mix as your grooves; No brings back the grooves you had.",
      jlNotifyYesNoCancel, false);
  if (answer == 1) onItem_switchToGroove(false);
  else if (answer == 2) onItem_switchToGroove(true);
  return true;
}

void JLVMixPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
  const int16_t item = currentItem;
  switch (item) {
    case 1: case 2: case 3: case 4: onItem_vmix(int16_t(item - 1)); break;
    case kItemNewMixes: onItem_newVmix(); break;
    case kItemListOrder:
      listOrder = !listOrder;
      if (listOrder) randomOrder = 0;
      showOrderLamps();
      break;
    case kItemRandomOrder:
      randomOrder = !randomOrder;
      if (randomOrder) listOrder = 0;
      showOrderLamps();
      break;
    case kItemAutoNew:
      autoRegenerate = !autoRegenerate;
      showOrderLamps();
      break;
    case kItemKeep:
      // The question warns that the grooves from before will be replaced:
      // only asked when there are some that no mix document keeps.
      if ((host && !host->keepingLosesGrooves()) || JL_Notify(53, 1) == 1) onItem_switchToGroove(false);
      break;
    case kItemSynth:
      // The second press of a double click would close what the first opened.
      if (!secondPressOfDoubleClick) QXScreen.toggle(kSynthEntry);
      break;
    case kItemDuration: onItem_duration(); break;
    case kItemTempoScroll:
      if (uloPanelControl* c = control(kItemTempoScroll); c && jlPlayer) jlPlayer->hitBpmScroll(c->get());
      break;
    case kItemStop: if (jlPlayer) jlPlayer->stop(); break;
    case kItemPlay: if (jlPlayer) jlPlayer->playSequence(); break;
    case kItemSongs: QXScreen.show(kSongsEntry); break;
    case kItemRestore: onItem_switchToGroove(true); break;
    case kItemBpmUp: if (jlPlayer) jlPlayer->hitBpmUp(0.2f); break;
    case kItemBpmDown: if (jlPlayer) jlPlayer->hitBpmUp(-0.2f); break;
    case kItemTap: if (jlPlayer) jlPlayer->hitBpmTap(); break;
    case kItemHelp: if (jlHelpp) jlHelpp->toggle(true); break;
    case kItemPrefs: QXScreen.show(kPrefsEntry); break;
    case kItemQuit:
      uloGlo.what = uloEvtClose;
      QXScreen.events();
      break;
    case kItemDurationText:
      showTime = !showTime;
      displayDuration();
      break;
    case kItemMainVolume: if (jlPlayer) jlPlayer->hitMainVolume(); break;
    case kItemTour: {
      // The tour leaves the mixer for the groove panel: what becomes of the
      // mix is asked first, as KEEP THIS MIX and RESTORE GROOVES would.
      const int16_t answer = JL_Notify(kMsgTourKeepOrRestore, jlNotifyYesNoCancel);
      QXScreen.update(QXScreen.screenRect);
      if (answer == 3) break;
      onItem_switchToGroove(answer == 2);
      if (jlHelpp) jlHelpp->toggle(false);
      break;
    }
    case kItemInfo: QXScreen.toggle(kInfoEntry); break;
    default: break;
  }
}

// ---- player notifications ----

void JLVMixPanel::common_setPlayDisplay(bool on) {
  put(kItemPlayLamp, on ? 1 : 0);
  put(kItemStopLamp, on ? 0 : 1);
}

void JLVMixPanel::common_setSyncingLed(bool on) {
  if (current >= 0 && current < kMixes) put(vmixledsitems[current], !(on && switchPending));
}

void JLVMixPanel::common_setPlaybarLed(short lamp, short state) {
  if (lamp >= 0 && lamp < 8) put(int16_t(kItemPlaybar + lamp), state);
}

void JLVMixPanel::common_setPlaybarLabel(const char* text) { setText(kItemPlaybarLabel, text); }
void JLVMixPanel::common_setMainVolLabel(short v) { put(kItemMainVolume, v); }
void JLVMixPanel::common_setSynthLed(bool on) { put(kItemSynthLamp, on ? 1 : 0); }

void JLVMixPanel::common_midiLatchNote(short note) { jlgp::synthLatchNote(note); }
void JLVMixPanel::common_midiHoldNote(short note, bool down) { jlgp::synthHoldMidiNote(note, down); }

void JLVMixPanel::common_setBpmLabel(const char* text) {
  setText(kItemBpmLabel, text);
  displayDuration();
}

void JLVMixPanel::common_setBpmScroll(short v) { put(kItemTempoScroll, v); }

void JLVMixPanel::common_setHelpModeDisplay(short mode) {
  put(kItemHelp, mode == 1 ? 1 : 0);
  put(kItemTour, mode == 0 ? 1 : 0);
}

void JLVMixPanel::common_eventGrooveSync() {
  if (host && host->selectedStep() + 1 >= host->bank().stepCount) {
    int16_t next = current;
    if (listOrder) {
      next = int16_t((current + 1) % kMixes);
    } else if (randomOrder) {
      do next = ULO_Random(kMixes);
      while (next == current);
    }
    if (autoRegenerate) vmixRandomize(next);
    vmixUse(next);
    host->setSelectedStep(-1);
    displayDuration();
    switchPending = 1;
  }
  if (host) host->seqActivateNext();
}

void JLVMixPanel::common_eventGrooveStart() {
  if (host && host->selectedStep() == 0 && jlPlayer) jlPlayer->cycleCount = 0;
  switchPending = 0;
  lightGame();
}

void JLVMixPanel::common_eventSeqPlayStart() {
  switchPending = 0;
  if (host && host->bank().stepCount <= 0 && jlPlayer) jlPlayer->stop();
}

void JLVMixPanel::common_eventSeqPlayStop() {
  lightGame();
  switchPending = 0;
}

void JLVMixPanel::common_doInterfaceReset() {
  // A preview from the SONGS page only borrows the groove panel: RESTORE
  // GROOVES and the mix lamps go on with the mixes the user had.
  if (host && host->songBorrowed()) return;
  for (auto& m : mixes) m.userStepCount = 0;
  if (QXScreen.isShown(kEntry)) {
    for (int16_t n = 0; n < kMixes; n++) vmixRandomize(n);
    generated = 1;
    vmixUse(0);
  } else {
    generated = 0;
  }
}
