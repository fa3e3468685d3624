#include "screens/JLSynthPanel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/files/uloFiles.h"
#include "core/files/uloPath.h"
#include "core/files/uloPathNames.h"
#include "core/files/uloPathPolicy.h"
#include "engine/JLEngine.h"
#include "framework/panel/JLHelps.h"
#include "framework/panel/QXpopup.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "framework/prefs/JLprefs.h"
#include "screens/JLDraggerCtrl.h"
#include "screens/JLRenderToFile.h"
#include "screens/loadCommon.h"
#include "song/JLPlayer.h"
#include "song/uloAtomsFiles.h"


namespace {

const int16_t kNoteItems[kSynthKeys] = {51, 72, 57, 73, 58, 68, 74, 52, 75, 59, 76, 60, 53, 77, 61, 78, 62, 63,
                                        79, 54, 80, 64, 81, 69, 55, 82, 65, 83, 66, 70, 84, 56, 85, 67, 86, 71};
const int16_t kNoteLedItems[kSynthKeys] = {16, 1,  17, 2,  18, 19, 3,  20, 4,  21, 5,  22, 23, 6,  24, 7,  25, 26,
                                           8,  27, 9,  28, 10, 29, 30, 11, 31, 12, 32, 33, 13, 34, 14, 35, 15, 36};
const char* const kPitchNames[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};
// The computer keys bound to the song's arpeggio keys, in order.
const char kArpComputerKeys[28] = {'Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', 'A', 'S', 'D', 'F',
                                   'G', 'H', 'J', 'K', 'L', 'Z', 'X', 'C', 'V', 'B', 'N', 'M', ',', '.'};
constexpr int kBallFirst = 87;
constexpr int kBalls = 6;
constexpr uint32_t kJLSynthTag = ULO_AtomTag("syic");

constexpr int kArpTextMax = kSynthArpTextMax;

int pitchOfLetter(char c) {
  switch (c) {
    case 'A': return 9;
    case 'B': return 11;
    case 'C': return 0;
    case 'D': return 2;
    case 'E': return 4;
    case 'F': return 5;
    case 'G': return 7;
    default: return -1;
  }
}

// The panel whose note keys carry noteKeyTracker (one synth panel runs).
JLSynthPanel* gKeysPanel = nullptr;

}  // namespace

JLSynthPanel::JLSynthPanel() {
  std::fill(std::begin(arpKeys), std::end(arpKeys), int16_t(255));
  std::fill(std::begin(heldNotes), std::end(heldNotes), int16_t(-1));
  for (int k = 0; k < kSynthKeys; k++)
    jlload::fmt(noteNames[k], sizeof noteNames[k], "%s%d", kPitchNames[k % 12], 1 + k / 12);
  std::memset(synthNames, 0, sizeof synthNames);
}

JLSynthPanel::~JLSynthPanel() {
  if (gKeysPanel == this) gKeysPanel = nullptr;
}

short JLSynthPanel::noteKeyTracker(short phase) {
  JLSynthPanel* p = gKeysPanel;
  if (phase == uloTrackPressed && p) {
    // The button takes the focus before it calls us: that is the key.
    const int item = p->focusItem;
    if (jlHelpp) jlHelpp->hit(p->screenIndex, item);
    for (int k = 0; k < kSynthKeys; k++)
      if (kNoteItems[k] == item) {
        p->noteHit(k);
        // Heard at once, as a computer key is: the arpeggio plays a
        // latched note when it runs; when it does not, the key sounds its
        // note itself until the button is let go.
        if (!p->synthOn && gep) {
          gep->synth_KeyOn(short(k));
          p->clickVoice = int16_t(k);
        }
      }
  }
  if (phase == uloTrackReleased && p && p->clickVoice >= 0) {
    if (gep) gep->synth_KeyOff(p->clickVoice);
    p->clickVoice = -1;
  }
  // The press did the work: the release reports nothing more.
  return phase == uloTrackReleased ? uloTrackCancel : uloTrackContinue;
}

void JLSynthPanel::playKeysOnPress() {
  gKeysPanel = this;
  for (int item : kNoteItems)
    if (uloPanelControl* c = control(item)) c->setValue(short(uloMsgSetTracker), reinterpret_cast<long>(&noteKeyTracker));
}

uloPanelControl* JLSynthPanel::newCustomControl(short kind) {
  if (kind == kJLBallKind) return new JLDraggerCtrl;
  return QXPanelClass::newCustomControl(kind);
}

void JLSynthPanel::setItem(int item, short value) {
  if (uloPanelControl* c = control(item)) c->setValue(value);
}

void JLSynthPanel::setItem(int item, short message, short value) {
  if (uloPanelControl* c = control(item)) c->setValue(message, value);
}

short JLSynthPanel::itemValue(int item) {
  uloPanelControl* c = control(item);
  return c ? c->get() : 0;
}

void JLSynthPanel::onPanelOpened() {
  playKeysOnPress();
  std::fill(std::begin(setup.notes), std::end(setup.notes), int16_t(0));
  setup.volume = 100;
  setup.pan = 63;
  setup.synthName[0] = 0;
  loadedSynth[0] = 0;
  autoOn = 1;
  if (gep) gep->synth_SetPoly(kSynthKeys);

  presetFirst = presetSelected = presetCount = 0;
  for (int i = 0; i < kBalls; i++) {
    setItem(kBallFirst + i, -1);
    setItem(kBallFirst + i, jlMsgBallColour, 4);
  }

  synthOn = 0;
  setup.arpMode = 0;
  setup.arpProg = 7;
  setup.arpSpeed = 2;
  setItem(49, 0);
  auto* mode = dynamic_cast<QXpopupControl*>(control(46));
  auto* speed = dynamic_cast<QXpopupControl*>(control(47));
  auto* pattern = dynamic_cast<QXpopupControl*>(control(48));
  if (mode) {
    const char* const names[4] = {"Up", "Dn", "Rnd", "U/D"};
    mode->count = 0;
    for (short i = 0; i < 4; i++) mode->setValue(i, const_cast<char*>(names[i]));
    mode->setValue(short(0));
  }
  if (speed) {
    const char* const names[4] = {"4", "8", "16", "32"};
    speed->count = 0;
    for (short i = 0; i < 4; i++) speed->setValue(i, const_cast<char*>(names[i]));
    speed->setValue(short(2));
  }
  if (pattern) {
    pattern->count = 0;
    char t[8];
    for (short i = 0; i < kSynthPatterns; i++) {
      jlload::fmt(t, sizeof t, "%0d", i);
      pattern->setValue(i, t);
    }
    pattern->setValue(short(7));
  }
  setItem(43, setup.volume);
  setItem(42, setup.pan);
  for (int k = 0; k < kSynthKeys; k++) setItem(kNoteLedItems[k], 0);
  showLatchedKeys();

  loadSynthsList();
  synth_activate();
}

void JLSynthPanel::onPanelClosed() {
  releaseAllKeys();
  std::fill(std::begin(midiHeld), std::end(midiHeld), false);
  if (gep) gep->midi_setKeysToArp(false);
  if (gep) gep->synth_Stop();
}

void JLSynthPanel::loadSynthsList() {
  synthCount = 0;
  for (const std::string& name : JL_SynthFolderNames())
    if (synthCount < 180) ULO_StrCopy(synthNames[synthCount++], kSynthNameBytes, name.c_str());
  auto* popup = dynamic_cast<QXpopupControl*>(control(45));
  if (popup) {
    popup->count = 0;
    for (short i = 0; i < synthCount; i++) popup->setValue(i, synthNames[i]);
    popup->setValue(short(0));
  }
  if (synthCount == 0) return;
  // A synth already chosen stays when the list is read again (the browser
  // may have added folders); only a vanished or missing one is replaced.
  if (setup.synthName[0] && isListed(setup.synthName)) {
    if (popup) popup->setValue(setup.synthName);
    if (std::strcmp(loadedSynth, setup.synthName) == 0) return;
  } else {
    ULO_StrCopy(setup.synthName, kSynthNameBytes, synthNames[0]);
  }
  ULO_StrCopy(loadedSynth, kSynthNameBytes, setup.synthName);
  char path[kUloPathMax];
  jlload::fmt(path, sizeof path, "%s%s:", kSynthFolder, setup.synthName);
  if (gep) gep->synth_SetFolder(path);
}

void JLSynthPanel::ledsForArpKeys(const char* keys) {
  std::fill(std::begin(arpKeys), std::end(arpKeys), int16_t(255));
  bool marked[kSynthKeys] = {};
  for (const char* p = keys ? keys : ""; *p; p++) {
    int s = pitchOfLetter(*p);
    if (s < 0) continue;
    if (p[1] == 'd') s = (s + 1) % 12;
    for (int k = s; k < kSynthKeys; k += 12) marked[k] = true;
  }
  int n = 0;
  for (int k = 0; k < kSynthKeys; k++) {
    // Notes that play stay lit beside the song's keys: a reopened mix
    // loads its synth before its song.
    setItem(kNoteLedItems[k], marked[k] || setup.notes[k] ? 1 : 0);
    if (marked[k]) arpKeys[n++] = int16_t(k);
  }
}

void JLSynthPanel::setPlaying(bool on) {
  synthOn = on ? 1 : 0;
  // While the arpeggio runs, MIDI keys come here to join it (holdMidiNote).
  if (gep) gep->midi_setKeysToArp(on);
  setItem(49, synthOn);
  if (jlPlayer) jlPlayer->setSynthLed(on);
}

void JLSynthPanel::switchSynth(bool on) {
  if (!on && gep) gep->synth_Stop();
  setPlaying(on);
  if (on) synth_activate();
}

void JLSynthPanel::noteHit(int k) {
  if (k < 0 || k >= kSynthKeys) return;
  setup.notes[k] = setup.notes[k] ? 0 : 1;
  // The key's lamp shows the notes while any are on; the song's key lamps
  // come back with the next song.
  setItem(kNoteLedItems[k], setup.notes[k] ? 1 : 0);
  showLatchedKeys();
  if (autoOn && !synthOn) {
    autoOn = 0;
    setPlaying(true);
  }
  synth_activate();
  modified = 1;
}

void JLSynthPanel::buildArpText(const SynthSetup& s, char* out, int outSize) { JL_SynthArpText(s, out, outSize); }

void JLSynthPanel::synth_activate() {
  if (!synthOn) return;
  // Keys held on the computer keyboard join the latched notes for as long
  // as they are down; the setup (presets, documents) keeps only the latched.
  SynthSetup heard = setup;
  for (int16_t k : heldNotes)
    if (k >= 0 && k < kSynthKeys) heard.notes[k] = 1;
  for (int k = 0; k < kSynthKeys; k++)
    if (midiHeld[k]) heard.notes[k] = 1;
  char text[kArpTextMax + 1];
  buildArpText(heard, text, sizeof text);
  if (gep) gep->synth_Arp(setup.arpMode, JL_SynthStepsPerBeat(setup.arpSpeed), text);
}

void JLSynthPanel::playerSaidPlay() {
  if (synthOn) synth_activate();
}

void JLSynthPanel::onKey() {
  // Auto-repeats of a held key change nothing.
  if (uloGlo.what != uloEvtKeyDown) return;
  int code = uloGlo.keyCode ? uloGlo.keyCode : uloGlo.character;
  if (code >= 'a' && code <= 'z') code -= 'a' - 'A';
  for (int i = 0; i < kComputerKeys; i++) {
    if (kArpComputerKeys[i] != code) continue;
    const int k = arpKeys[i];
    if (k < 0 || k >= kSynthKeys) return;
    if ((gep && gep->midi_latching()) || uloGlo.shift) {
      noteHit(k);
      return;
    }
    // A second press without a release seen (the release went to another
    // window) starts the note anew.
    if (heldNotes[i] >= 0) releaseKey(i);
    heldNotes[i] = int16_t(k);
    // With the arpeggio running the note joins it while held; otherwise
    // it sounds by itself, as a sampler's key does.
    heldVoice[i] = !synthOn;
    if (!synthOn) {
      if (gep) gep->synth_KeyOn(short(k));
    } else if (!noteInArp(k, i)) {
      synth_activate();
    }
    if (uloPanelControl* c = control(kNoteItems[k])) c->set(1);
    return;
  }
}

void JLSynthPanel::releaseKey(int i) {
  const int k = heldNotes[i];
  if (k < 0) return;
  heldNotes[i] = -1;
  if (heldVoice[i] && gep) gep->synth_KeyOff(short(k));
  heldVoice[i] = false;
  // Its note leaves the arpeggio (which stops when no note is left).
  if (synthOn && !noteInArp(k, i)) synth_activate();
  // The key is drawn up again unless the arpeggio holds its note.
  showHeldKeys();
}

void JLSynthPanel::holdMidiNote(int k, bool down) {
  if (k < 0 || k >= kSynthKeys || midiHeld[k] == down) return;
  // A key pressed while the arpeggio was off already sounds by itself.
  if (down && !synthOn) return;
  const bool before = noteInArp(k, -1);
  midiHeld[k] = down;
  if (synthOn && noteInArp(k, -1) != before) synth_activate();
  showHeldKeys();
}

void JLSynthPanel::showHeldKeys() {
  // Latched notes' keys, then the keys held on either keyboard.
  showLatchedKeys();
  for (int j = 0; j < kComputerKeys; j++)
    if (heldNotes[j] >= 0)
      if (uloPanelControl* c = control(kNoteItems[heldNotes[j]])) c->set(1);
  for (int k = 0; k < kSynthKeys; k++)
    if (midiHeld[k])
      if (uloPanelControl* c = control(kNoteItems[k])) c->set(1);
}

bool JLSynthPanel::noteInArp(int k, int position) const {
  if (setup.notes[k] || midiHeld[k]) return true;
  for (int j = 0; j < kComputerKeys; j++)
    if (j != position && heldNotes[j] == k) return true;
  return false;
}

void JLSynthPanel::releaseAllKeys() {
  for (int i = 0; i < kComputerKeys; i++) releaseKey(i);
}

void JLSynthPanel::onIdle() {
  // The screen's key table holds a key from its press to its release,
  // under the character its press typed (either case for a letter).
  for (int i = 0; i < kComputerKeys; i++) {
    if (heldNotes[i] < 0) continue;
    const char c = kArpComputerKeys[i];
    const bool down = QXScreen.keyPresses[uint8_t(c)] > 0 ||
                      (c >= 'A' && c <= 'Z' && QXScreen.keyPresses[uint8_t(c + 32)] > 0);
    if (!down) releaseKey(i);
  }
}

void JLSynthPanel::beforeHide() { releaseAllKeys(); }

bool JLSynthPanel::closeOnEscape() {
  QXScreen.hide(screenIndex);
  return true;
}

void JLSynthPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
  const int item = currentItem;
  if (item >= 51 && item <= 86) {
    for (int k = 0; k < kSynthKeys; k++)
      if (kNoteItems[k] == item) noteHit(k);
    return;
  }
  if (item >= kBallFirst && item < kBallFirst + kBalls) {
    synths_hit(item - kBallFirst);
    return;
  }
  switch (item) {
    case 37: synths_offset(-1); break;
    case 38: synths_offset(1); break;
    case 39: QXScreen.show(7); break;
    case 40: synths_add(); break;
    case 41:
      switchSynth(itemValue(49) == 0);
      break;
    case 42:
      setup.pan = itemValue(42);
      if (gep) gep->synth_SetPan(setup.pan);
      modified = 1;
      break;
    case 43:
      setup.volume = itemValue(43);
      if (gep) gep->synth_SetVolume(setup.volume);
      modified = 1;
      break;
    case 44: QXScreen.hide(2); break;
    case 45: {
      auto* popup = dynamic_cast<QXpopupControl*>(control(45));
      char name[QXpopupControl::kEntryBytes] = {};
      if (popup) popup->getValue(name);
      chooseSynth(name);
      break;
    }
    case 46:
      setup.arpMode = std::clamp<int16_t>(itemValue(46), 0, 3);
      synth_activate();
      modified = 1;
      break;
    case 47:
      setup.arpSpeed = std::clamp<int16_t>(itemValue(47), 0, 3);
      synth_activate();
      modified = 1;
      break;
    case 48:
      setup.arpProg = std::clamp<int16_t>(itemValue(48), 0, kSynthPatterns - 1);
      synth_activate();
      modified = 1;
      break;
    case 93: onItem_arpMix(); break;
    default: break;
  }
}

void JLSynthPanel::onItem_arpMix() {
  char text[kArpTextMax + 1];
  buildArpText(setup, text, sizeof text);
  if (!text[0]) {
    ULO_UserNotify("Switch some notes on to render an arpeggio to a file.", 0);
    return;
  }
  const jlrender::ExportKind kind = jlrender::exportKind(jlPrefs.outputType);
  char name[64];
  jlload::fmt(name, sizeof name, "Arpeggio.%s", kind.extension);
  arpPath.set(name);
  char filter[16];
  jlload::fmt(filter, sizeof filter, "*.%s", kind.extension);
  arpPath.userDialogTypes(0, 0, 0, 0, filter);
  arpPath.asyncDialogPut(screenIndex, 0, 0);
}

void JLSynthPanel::asyncDialogMessage(JLPath* path) {
  if (path == &arpPath && arpPath.request[1] == 0) arpMixResult();
}

void JLSynthPanel::arpMixResult() {
  if (!arpPath.ready) return;
  char sys[kUloPathMax];
  if (!arpPath.toSystemPath(sys, sizeof sys)) return;
  arpToFile(sys);
}

bool JLSynthPanel::arpToFile(const char* systemPath) {
  if (!systemPath || !systemPath[0] || !gep) return false;
  char text[kArpTextMax + 1];
  buildArpText(setup, text, sizeof text);
  JLArpRender arp;
  arp.mode = setup.arpMode;
  arp.stepsPerBeat = JL_SynthStepsPerBeat(setup.arpSpeed);
  arp.notes = text;
  arp.volume = setup.volume;
  arp.pan = setup.pan;
  arp.bpm = jlPlayer && jlPlayer->bpm > 0 ? jlPlayer->bpm : 120.0f;
  // The engine renders alone; playback stops as for a disk mix and what
  // played starts again after it.
  const jlrender::Export e = jlrender::prepareExport(systemPath);
  if (!jlrender::mayWriteExport(e, systemPath)) return false;
  JLPlayer* player = jlPlayer;
  const JLPlayer::Paused was = player ? player->pauseFor() : JLPlayer::Paused();
  JLDiskMixJob job;
  bool ok = false;
  if (job.startArp(arp, e.path.c_str(), e.options)) ok = jlrender::runAndTell(job, "Arpeggio to file", e.path);
  if (player) player->resumeAfter(was);
  return ok;
}

// ------------------------------------------------------------------ presets

void JLSynthPanel::synths_apply() {
  for (int j = 0; j < kBalls; j++) {
    const int p = presetFirst + j;
    setItem(kBallFirst + j, short(p < presetCount ? p + 1 : -1));
    setItem(kBallFirst + j, jlMsgBallHighlight, short(p < presetCount && p == presetSelected));
  }
}

void JLSynthPanel::synths_offset(int d) {
  presetFirst = int16_t(std::max(0, std::min(presetFirst + d, presetCount - kBalls)));
  synths_apply();
}

void JLSynthPanel::synths_select(int p) {
  presetSelected = int16_t(p);
  if (p < presetFirst)
    presetFirst = int16_t(std::max(p, 0));
  else if (presetCount > kBalls && p > presetFirst + kBalls - 1)
    presetFirst = int16_t(p - (kBalls - 1));
  synths_apply();
}

void JLSynthPanel::synths_add() {
  if (presetCount >= kSynthPresets || !modified) return;
  presets[presetCount] = setup;
  presetSelected = presetCount;
  presetCount++;
  synths_select(presetSelected);
  modified = 0;
}

void JLSynthPanel::synths_remove() {
  if (presetSelected < 0 || presetSelected >= presetCount) return;
  for (int i = presetSelected; i + 1 < presetCount; i++) presets[i] = presets[i + 1];
  presetCount--;
  presetSelected--;
  synths_offset(-1);
}

void JLSynthPanel::synths_hit(int ball) {
  if (ball < 0 || ball >= kBalls) return;
  const int p = presetFirst + ball;
  presetSelected = int16_t(p);
  for (int j = 0; j < kBalls; j++)
    if (presetFirst + j < presetCount) setItem(kBallFirst + j, jlMsgBallHighlight, short(j == ball));
  if (p >= presetCount) return;
  short r = 0;
  if (uloPanelControl* c = control(kBallFirst + ball)) c->getValue(jlMsgBallDrag, r);
  if (r == -2) {
    setup = presets[p];
    synth_restore();
  } else if (r == -1) {
    // The selected position is the one dragged off: remove exactly it.
    synths_remove();
  }
}

void JLSynthPanel::showSetup() {
  if (auto* popup = dynamic_cast<QXpopupControl*>(control(45))) popup->setValue(setup.synthName);
  setItem(43, setup.volume);
  setItem(42, setup.pan);
  setItem(46, setup.arpMode);
  setItem(48, setup.arpProg);
  setItem(47, setup.arpSpeed);
  for (int k = 0; k < kSynthKeys; k++) setItem(kNoteLedItems[k], setup.notes[k] ? 1 : 0);
  showLatchedKeys();
}

void JLSynthPanel::showLatchedKeys() {
  // A latched note's key is drawn held down for as long as it plays.
  for (int k = 0; k < kSynthKeys; k++)
    if (uloPanelControl* c = control(kNoteItems[k]))
      if (c->get() != (setup.notes[k] ? 1 : 0)) c->set(short(setup.notes[k] ? 1 : 0));
}

bool JLSynthPanel::isListed(const char* name) const {
  for (int i = 0; i < synthCount; i++)
    if (std::strcmp(synthNames[i], name) == 0) return true;
  return false;
}

void JLSynthPanel::loadIntoEngine(const char* name) {
  // Only a set that lies inside the synth library, links followed.
  char path[kUloPathMax];
  if (!ULO_PathInside(kSynthFolder, name, path, sizeof path - 1)) return;
  std::strcat(path, ":");
  if (gep) {
    gep->synth_Stop();
    gep->synth_SetFolder(path);
  }
}

bool JLSynthPanel::chooseSynth(const char* name) {
  if (!name || !name[0] || !isListed(name)) return false;
  ULO_StrCopy(setup.synthName, kSynthNameBytes, name);
  ULO_StrCopy(loadedSynth, kSynthNameBytes, name);
  if (auto* popup = dynamic_cast<QXpopupControl*>(control(45))) popup->setValue(setup.synthName);
  loadIntoEngine(name);
  synth_activate();
  modified = 1;
  return true;
}

void JLSynthPanel::reloadSynth() {
  if (!loadedSynth[0]) return;
  loadIntoEngine(loadedSynth);
  synth_activate();
}

void JLSynthPanel::synth_restore() {
  if (presetCount == 0) return;
  applySetup();
}

void JLSynthPanel::applySetup() {
  // The name comes from a mix document: one plain name of a set inside the
  // synth library, else the set playing now stays.
  std::string refused;
  char path[kUloPathMax];
  if (setup.synthName[0] && std::strcmp(setup.synthName, loadedSynth) != 0 &&
      !ULO_PathInside(kSynthFolder, setup.synthName, path, sizeof path - 1, &refused)) {
    ULO_UserNotifyUtf8((refused + " The synth sound was not changed.").c_str(), 0);
    ULO_StrCopy(setup.synthName, kSynthNameBytes, loadedSynth);
  }
  // A sound the library no longer holds would play nothing: the loaded
  // one stays.
  if (!isListed(setup.synthName)) ULO_StrCopy(setup.synthName, kSynthNameBytes, loadedSynth);
  if (std::strcmp(setup.synthName, loadedSynth) != 0) {
    ULO_StrCopy(loadedSynth, kSynthNameBytes, setup.synthName);
    loadIntoEngine(loadedSynth);
  }
  showSetup();
  if (gep) {
    gep->synth_SetPan(setup.pan);
    gep->synth_SetVolume(setup.volume);
  }
  synth_activate();
  modified = 0;
}

// ---------------------------------------------------------- mix documents

void JLSynthPanel::iced_save(uint8_t* block) const {
  if (!block) return;
  uint8_t* p = block;
  JL_WriteSynthSetup(p, setup);
  for (const SynthSetup& s : presets) JL_WriteSynthSetup(p, s);
  *p++ = uint8_t(presetCount & 0xFF);
  *p++ = uint8_t((uint16_t(presetCount) >> 8) & 0xFF);
}

bool JLSynthPanel::iced_loadBlock(const uint8_t* block, int32_t size) {
  if (!block || size < kSynthIcedBytes) return false;
  const uint8_t* p = block;
  SynthSetup current{};
  JL_ReadSynthSetup(p, current);
  for (SynthSetup& s : presets) JL_ReadSynthSetup(p, s);
  setup = current;
  presetCount = std::clamp<int16_t>(int16_t(uint16_t(p[0]) | uint16_t(p[1]) << 8), 0, kSynthPresets);
  presetSelected = -1;
  presetFirst = 0;
  // The document's setup is shown and heard whether or not it kept presets.
  applySetup();
  bool anyNote = false;
  for (int16_t n : setup.notes) anyNote = anyNote || n;
  // Its notes start the synth as the first note played by hand would.
  if (anyNote && autoOn && !synthOn) {
    autoOn = 0;
    setPlaying(true);
    synth_activate();
  }
  synths_apply();
  return true;
}

bool JLSynthPanel::iced_load(uloAtomsFile& file) {
  uint8_t block[kSynthIcedBytes] = {};
  return file.read(kJLSynthTag, kSynthIcedBytes, block) && iced_loadBlock(block, kSynthIcedBytes);
}
