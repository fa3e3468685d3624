// The groove panel: opening, item dispatch, the player's notifications,
// tracks, modes, randomising and play mode. Bank and sequence are in
// JLGroovePanelBank.cpp, keyboard and idle work in JLGroovePanelKeys.cpp,
// songs and documents in JLGroovePanelDocs.cpp.
#include "screens/JLGroovePanel.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "engine/JLEngine.h"
#include "framework/panel/JLHelps.h"
#include "framework/panel/QXpopup.h"
#include "framework/platform/uloSys.h"
#include "framework/prefs/JLprefs.h"
#include "framework/screen/QXScreen.h"
#include "framework/intl/JLInternational.h"
#include "screens/JLDraggerCtrl.h"
#include "screens/JLGroovePanelSynth.h"

const int16_t JLGroovePanel::barItemsTable[8] = {45, 46, 47, 48, 49, 51, 52, 53};
const int16_t JLGroovePanel::sampGrSelTable[8] = {77, 78, 79, 80, 81, 82, 83, 84};
const int16_t JLGroovePanel::sampInSelTable[8] = {94, 76, 92, 90, 87, 88, 98, 91};
const int16_t JLGroovePanel::grooveItemsTable[4] = {21, 20, 19, 18};

namespace {

JLPlayer* player() { return jlPlayer; }

// Pop-up colour messages and the other control messages used here.
enum : short {
  msgRealtime = 1405,
  msgPopLevel = 1407,
  msgPopColour = 1408,
  msgPopInit = 1409,
};

// A track pop-up that takes the panel's colour messages: 1408 the 15-bit
// colour, 1407 its strength (0..255); the colour is laid over the closed
// control so that active, selected and Keep tracks read at a glance.
class JLGroovePopup : public QXpopupControl {
 public:
  using QXpopupControl::getValue;
  using QXpopupControl::setValue;
  void setValue(short which, short value) override {
    switch (which) {
      case msgPopColour:
        colour = uint16_t(value);
        return;
      case msgPopLevel:
        level = value;
        return;
      case msgRealtime:
        realTime = value ? 1 : 0;
        return;
      case msgPopInit:
        return;
      default:
        break;
    }
    QXpopupControl::setValue(which, value);
    if (which == qxMsgPaint && level > 0 && rect.width() > 2) {
      // A thin band along the bottom edge in the track's colour.
      if (!band.allocated || band.width() != rect.width() - 4) {
        band.allocate(uloOffmapDefaultDepth, int16_t(rect.width() - 4), 3, -1);
        bandColour = 0xFFFF;
      }
      if (band.allocated) {
        if (bandColour != colour) {
          band.fill(band.bounds, int16_t(colour));
          bandColour = colour;
        }
        const uloRect dst(int16_t(rect.left + 2), int16_t(rect.bottom - 4), int16_t(rect.right - 2),
                          int16_t(rect.bottom - 1));
        QXScreen.copyBlendToUpdate(&band, band.bounds, dst, std::min<int>(256, level * 2));
      }
    }
  }
  uint16_t colour = 0x0421;
  int16_t level = 0;
  uloOffmap band;
  uint16_t bandColour = 0xFFFF;
};

void upperFirst(char* s) {
  if (s[0] >= 'a' && s[0] <= 'z') s[0] = char(s[0] - 32);
}

}  // namespace

JLGroovePanel* JL_GroovePanel() { return dynamic_cast<JLGroovePanel*>(QXScreen.panelAt(0)); }

JLGroovePanel::JLGroovePanel() {
  tracks[0].soloOn = 1;
  docPath.set("Untitled");
}

JLGroovePanel::~JLGroovePanel() {
  if (jlPlayer) {
    if (jlPlayer->groovePanel == this) jlPlayer->groovePanel = nullptr;
    if (jlPlayer->transport == this) jlPlayer->transport = nullptr;
    if (jlPlayer->common == this) jlPlayer->common = nullptr;
  }
}

uloPanelControl* JLGroovePanel::newCustomControl(short kind) {
  switch (kind) {
    case kJLBallKind:
      return new JLDraggerCtrl;
    case kJLBallReceiverKind:
      return new JLDraggerReceiverCtrl;
    case 70:
      return new JLGroovePopup;
    default:
      return JLPlayCommon::newCustomControl(kind);
  }
}

// ---------------------------------------------------------------- helpers

void JLGroovePanel::setItem(short item, short value) {
  if (uloPanelControl* c = control(item)) c->setValue(value);
}

void JLGroovePanel::setItem(short item, short message, short value) {
  if (uloPanelControl* c = control(item)) c->setValue(message, value);
}

void JLGroovePanel::setText(short item, const char* text) {
  if (uloPanelControl* c = control(item)) c->setString(text);
}

short JLGroovePanel::itemValue(short item) {
  uloPanelControl* c = control(item);
  return c ? c->get() : 0;
}

void JLGroovePanel::redraw(short item) {
  if (uloPanelControl* c = control(item)) c->draw();
}

int16_t JLGroovePanel::loopsInGroup(int16_t g) const {
  if (g < 0 || g >= library.groupCount) return 0;
  return std::clamp<int16_t>(library.groups[g].count, 0, kJLMaxVariants);
}

// ------------------------------------------------------------- opening

void JLGroovePanel::onPanelOpened() {
  if (JLPlayer* p = player()) p->userGroove();
  groove.reset();
  if (gep) gep->setMixerFrequency(44100);

  for (int t = 0; t < kTracks; t++) {
    setItem(sampGrSelTable[t], msgRealtime, 1);
    setItem(sampInSelTable[t], msgRealtime, 1);
  }
  // Tempo - and + step on while held.
  setItem(66, uloMsgAutoRepeat, 1);
  setItem(67, uloMsgAutoRepeat, 1);
  fillGroupPopups();

  for (int t = 0; t < 16; t++) {
    JLGrooveTrackState& s = tracks[t];
    s.keepOn = 0;
    s.soloOn = t == 0;
    s.on = 1;
    s.savedVolume = s.savedPan = 0;
    s.active = 1;
    s.filledGroup = -2;
    s.groupSel = 0;
    s.peakLeft = s.peakRight = nullptr;
    if (gep && t < kTracks) gep->getTrackPeaks(short(t), &s.peakLeft, &s.peakRight);
    if (s.peakLeft) s.peakLeft->store(0);
    if (s.peakRight) s.peakRight->store(0);
    s.levelShown = 0;
    adjustTrackIndex(short(t));
  }

  soloMode = groupMode = allMode = 0;
  soloFollows = 0;
  keepCount = 0;
  grooveModified = 0;
  selectedTrack = -1;
  for (short t = 0; t < kTracks; t++) {
    setItem(barItemsTable[t], 1);
    setItem(short(1 + t), 1);
    adjustTrackLed(t);
    groove_showTrack(t);
    setItem(sampGrSelTable[t], msgPopInit, 1);
    setItem(sampInSelTable[t], msgPopInit, 1);
  }
  onItem_trackButton(0);

  for (short i = 0; i < 8; i++) {
    setItem(short(101 + i), -1);
    setItem(short(101 + i), jlMsgBallColour, 1);
    setItem(short(109 + i), -1);
    setItem(short(109 + i), jlMsgBallColour, 4);
  }
  sequence.grooveCount = 0;
  sequence.stepCount = 0;
  syncMode = 0;
  grooveSyncSeen = 0;
  hoverRegion = lastRandomStyle = shownStyle = -1;

  net.setPanel(this);
  net.startListen();
  net.startFromConfig();
  // Without a transport the button would do nothing: it looks so, and its
  // balloon says why.
  if (uloPanelControl* c = control(123)) {
    if (net.hasTransport()) c->enable();
    else c->disable();
  }

  grooveRow.setup(this, 8, &sequence.grooveCount, 1);
  sequenceRow.setup(this, 8, &sequence.stepCount, 4);
  docPath.set("Untitled");
  lightNext = 0;
  peakNextTicks = 0;
  setText(93, "");
  setText(86, "-");
  refreshPopColors();
}

void JLGroovePanel::beforeShow() {
  if (JLPlayer* p = player()) {
    p->userGroove();
    p->refreshCommon();
  }
}

void JLGroovePanel::onPanelClosed() { net.close(); }

void JLGroovePanel::fillGroupPopups() {
  for (int t = 0; t < kTracks; t++) {
    uloPanelControl* c = control(sampGrSelTable[t]);
    if (!c) continue;
    c->setValue(0, const_cast<char*>(" -"));
    for (int16_t g = 0; g < library.groupCount && g + 1 < QXpopupControl::kMaxEntries; g++) {
      char name[32];
      snprintf(name, sizeof name, "%s", library.groups[g].name[0] ? library.groups[g].name : "?");
      upperFirst(name);
      c->setValue(short(g + 1), name);
    }
    c->setValue(short(groove.tracks[t].group + 1));
  }
}

// ----------------------------------------------------------------- items

void JLGroovePanel::onItem() {
  const short item = currentItem;
  if (jlHelpp) jlHelpp->hit(screenIndex, item);
  key_numEnterCancel();
  JLPlayer* p = player();

  if (item >= 1 && item <= 8) return onItem_trackButton(short(item - 1));
  if (item >= 26 && item <= 33) return onItem_trackLed(short(item - 26));
  if (item >= 18 && item <= 21) return randomize(short(21 - item));
  if (item >= 101 && item <= 108) return grooves_hit(short(item - 101));
  if (item >= 109 && item <= 116) return sequencer_hit(short(item - 109));
  for (short t = 0; t < kTracks; t++) {
    if (item == sampGrSelTable[t]) return onItem_sampSelGroup(t);
    if (item == sampInSelTable[t]) return onItem_sampSelIndex(t);
  }

  switch (item) {
    case 9:
      setSoloMode(!soloMode);
      break;
    case 10:
      onItem_empty();
      break;
    case 11:
      onItem_Save();
      break;
    case 12:
      grooves_add();
      break;
    case 13:
      onItem_Load();
      break;
    case 14:
      // A double click leaves the synth as one click does: its second
      // press would close what the first opened.
      if (!secondPressOfDoubleClick) QXScreen.toggle(2);
      break;
    case 15:
      sync_SetMode(!syncMode);
      setItem(15, syncMode);
      grooveSyncSeen = 0;
      break;
    case 16:
      if (allMode) setAllMode(false);
      setGroupMode(!groupMode);
      break;
    case 17:
      if (groupMode) setGroupMode(false);
      setAllMode(!allMode);
      break;
    case 22:
      sequenceRow.scroll(-1);
      break;
    case 23:
      sequenceRow.scroll(1);
      break;
    case 24:
      if (p) p->stop();
      break;
    case 25:
      if (p) p->play();
      break;
    case 34:
      onItem_volume();
      break;
    case 35:
      if (p) p->hitBpmScroll(itemValue(35));
      break;
    case 36:
      onItem_pan();
      break;
    case 57:
      QXScreen.show(8);
      break;
    case 58:
      if (jlHelpp) jlHelpp->toggle(true);
      break;
    case 59:
      QXScreen.show(4);
      break;
    case 60:
      onItem_keep(-1);
      break;
    case 61:
      QXScreen.show(6);
      break;
    case 62:
      onItem_instBrowser();
      break;
    case 63:
      enterVirtualMixer();
      break;
    case 64:
      uloGlo.what = uloEvtClose;
      QXScreen.events();
      break;
    case 65:
      if (p) p->hitBpmTap();
      break;
    case 66:
      if (p) p->hitBpmUp(0.2f);
      break;
    case 67:
      if (p) p->hitBpmUp(-0.2f);
      break;
    case 68:
      sequencer_removeAll();
      break;
    case 69:
      grooves_rewrite();
      break;
    case 70:
      sequencer_addAll();
      break;
    case 71:
      // A double click leaves the sequence as one click does: its second
      // press would stop what the first started.
      if (!secondPressOfDoubleClick) {
        if (sequence.stepCount <= 0)
          JL_Notify(18, jlNotifyOK);
        else if (p)
          p->togglePlaySequence();
      }
      setItem(71, short(p && p->playing && p->sequenceMode));
      break;
    case 72:
      onItem_DiskMix();
      break;
    case 73:
      grooveRow.scroll(-1);
      break;
    case 74:
      grooveRow.scroll(1);
      break;
    case 85:
      onItem_groupBrowser();
      break;
    case 117:
      QXScreen.toggle(5);
      break;
    case 120:
      if (p) p->hitMainVolume();
      break;
    case 123:
      net.close();
      if (!net.startConnect()) net.startListen();
      break;
    case 126:
      if (jlHelpp) jlHelpp->toggle(false);
      break;
    case 127:
      QXScreen.toggle(9);
      break;
    default:
      break;
  }
}

// ------------------------------------------------- player notifications

void JLGroovePanel::common_setPlayDisplay(bool playing) {
  setItem(121, short(playing ? 1 : 0));
  setItem(122, short(playing ? 0 : 1));
  for (short t = 0; t < kTracks; t++) showVolumeMark(t);
}

void JLGroovePanel::showVolumeMark(short t) {
  // The mark shows where the track's volume sits on its meter while the
  // meter moves; stopped, the meters fall dark and show nothing, so no
  // lit segment seems a level still heard. No loop, or a muted one (not
  // heard, its meter falls to zero), no mark.
  const JLPlayer* p = player();
  const bool shown = p && p->playing && tracks[t].sampleNo >= 0 && tracks[t].active;
  setItem(barItemsTable[t], qxMsgLevel, short(shown ? groove.tracks[t].volume * 100 / 127 : -1));
}

void JLGroovePanel::common_setSeqPlayLed(bool on) { setItem(71, short(on ? 1 : 0)); }

void JLGroovePanel::common_setPlaybarLed(short lamp, short state) {
  if (lamp < 0 || lamp > 7) return;
  setItem(short(37 + lamp), short(state != 0 ? 1 : 0));
  setItem(short(37 + lamp), qxMsgLevel, short(state == 1 ? 127 : 256));
}

void JLGroovePanel::common_setSyncingLed(bool on) { setItem(125, short(on ? 1 : 0)); }

void JLGroovePanel::common_setPlaybarLabel(const char* text) { setText(96, text); }

void JLGroovePanel::common_setMainVolLabel(short v) { setItem(120, v); }

void JLGroovePanel::common_setSynthLed(bool on) { setItem(124, short(on ? 1 : 0)); }

void JLGroovePanel::common_eventGrooveStart() { grooveSyncSeen = 0; }

void JLGroovePanel::common_eventGrooveSync() {
  grooveSyncSeen = 1;
  seqActivateNext();
}

void JLGroovePanel::common_eventSeqPlayStart() {
  if (sequence.stepCount <= 0) {
    if (JLPlayer* p = player()) p->stop();
    return;
  }
  sequenceRow.select(sequenceRow.selected >= 0 && sequenceRow.selected < sequence.stepCount ? sequenceRow.selected
                                                                                           : short(0));
  sync_SetMode(false);
  setItem(15, 0);
}

void JLGroovePanel::common_setBpmLabel(const char* text) { setText(97, text); }

void JLGroovePanel::common_setBpmScroll(short v) { setItem(35, v); }

void JLGroovePanel::common_setLabel(short n, const char* text) {
  if (n == 0) {
    snprintf(playerLabel, sizeof playerLabel, "%s", text ? text : "");
    bankNoteShown = 0;
    setText(99, text);
  }
  if (n == 1) setText(95, text);
}

void JLGroovePanel::showBankNote(const char* text) {
  setText(99, text);
  bankNoteShown = 1;
}

void JLGroovePanel::grooveChanged() {
  if (!bankNoteShown) return;
  bankNoteShown = 0;
  setText(99, playerLabel);
}

void JLGroovePanel::common_doInterfaceReset() {
  if (groupMode) setGroupMode(false);
  if (soloMode) setSoloMode(false);
  if (allMode) setAllMode(false);
  for (short t = 0; t < kTracks; t++) {
    tracks[t].on = 1;
    tracks[t].keepOn = 0;
    adjustTrackIndex(t);
    enableTrack(t, true);
  }
  keepCount = 0;
  keepBlink = 0;
  sequence.grooveCount = 0;
  sequence.stepCount = 0;
  grooveRow.reset();
  sequenceRow.reset();
  grooveRow.refresh();
  sequenceRow.refresh();
}

void JLGroovePanel::common_setHelpModeDisplay(short mode) {
  setItem(58, short(mode == 1));
  setItem(126, short(mode == 0));
}

// ------------------------------------------------------------ play mode

void JLGroovePanel::setPlayMode(bool on) {
  if (!gep) return;
  if (!on) {
    gep->stop();
    return;
  }
  gep->play();
  const bool playing = jlPlayer && jlPlayer->playing;
  gep->changesBegin();
  for (short t = 0; t < kTracks; t++) {
    // The working groove may have changed since its samples were looked up
    // (sequence play resets it first): never start a stale loop.
    adjustTrackIndex(t);
    if (!tracks[t].active || !playing) {
      gep->setTrackSample(t, -1);
    } else {
      gep->setTrackSample(t, tracks[t].sampleNo);
      gep->setTrackVolume(t, groove.tracks[t].volume);
      gep->setTrackPan(t, groove.tracks[t].pan);
    }
  }
  gep->changesEnd();
}

void JLGroovePanel::sync_SetMode(bool on) {
  if ((syncMode != 0) == on) return;
  syncMode = on ? 1 : 0;
  setItem(15, syncMode);
  if (gep) gep->sync_atGrooveSet(syncMode);
  if (JLPlayer* p = player()) p->setSync(on);
}

// ---------------------------------------------------------------- tracks

void JLGroovePanel::adjustTrackIndex(short t) {
  if (t < 0 || t >= 16) return;
  const JLTrack& tr = groove.tracks[t];
  int16_t sample = -1;
  if (tr.group >= 0 && tr.variant >= 0 && tr.group < library.groupCount && tr.variant < kJLMaxVariants)
    sample = library.groups[tr.group].sampleIndex[tr.variant];
  tracks[t].sampleNo = sample;
}

void JLGroovePanel::adjustTrackLed(short t) {
  if (t < 0 || t >= kTracks) return;
  const JLGrooveTrackState& s = tracks[t];
  // A loop whose file cannot be played leaves its track silent: its lamp
  // shows it not playing, whatever the track's on switch says. (A file cut
  // short still plays what it holds.)
  const short fault = s.sampleNo >= 0 && gep ? gep->sampleFault(s.sampleNo, false) : short(kWaveFine);
  const bool silent = fault != kWaveFine && fault != kWaveCut;
  short v;
  if (s.sampleNo == -1)
    v = 1;
  else if (silent)
    v = 3;
  else if (soloMode)
    v = s.soloOn ? 4 : 3;
  else
    v = s.on ? 2 : 3;
  setItem(short(26 + t), v);
  setItem(short(26 + t), qxMsgLevel, short(s.keepOn && keepBlink ? 127 : 255));
}

void JLGroovePanel::setSampPopColor(short t, short colour, short level) {
  if (t < 0 || t >= kTracks) return;
  for (short item : {sampGrSelTable[t], sampInSelTable[t]}) {
    setItem(item, msgPopLevel, level);
    setItem(item, msgPopColour, colour);
    redraw(item);
  }
}

void JLGroovePanel::refreshPopColors() {
  for (short t = 0; t < kTracks; t++) {
    const JLGrooveTrackState& s = tracks[t];
    const bool selected = t == selectedTrack || (isMember(t));
    const bool blinkOn = s.keepOn && keepBlink;
    short colour;
    if (!s.active)
      colour = blinkOn ? (selected ? 0x7C00 : 0x2C00) : (selected ? 0x3C00 : 0x1C00);
    else
      colour = blinkOn ? (selected ? 0x016F : 0x0C63) : (selected ? 0x00EF : 0x0421);
    setSampPopColor(t, colour, 127);
  }
}

void JLGroovePanel::common_midiLatchNote(short note) { jlgp::synthLatchNote(note); }
void JLGroovePanel::common_midiHoldNote(short note, bool down) { jlgp::synthHoldMidiNote(note, down); }

void JLGroovePanel::enableTrack(short t, bool on) {
  if (t < 0 || t >= kTracks) return;
  tracks[t].active = on ? 1 : 0;
  if (gep) {
    if (!on) {
      gep->setTrackSample(t, -1);
    } else {
      gep->setTrackSample(t, tracks[t].sampleNo);
      gep->setTrackVolume(t, groove.tracks[t].volume);
      gep->setTrackPan(t, groove.tracks[t].pan);
    }
  }
  adjustTrackLed(t);
  showVolumeMark(t);
  refreshPopColors();
}

void JLGroovePanel::changedTrackVolume(short t) {
  if (t < 0 || t >= kTracks) return;
  const int16_t v = groove.tracks[t].volume;
  showVolumeMark(t);
  if (gep) gep->setTrackVolume(t, tracks[t].active ? v : 0);
}

void JLGroovePanel::changedTrackPan(short t) {
  if (t < 0 || t >= kTracks) return;
  if (gep) gep->setTrackPan(t, groove.tracks[t].pan);
}

void JLGroovePanel::assingInstPopNames(short t) {
  if (t < 0 || t >= kTracks) return;
  const int16_t g = groove.tracks[t].group;
  if (g == tracks[t].filledGroup) return;
  uloPanelControl* c = control(sampInSelTable[t]);
  tracks[t].filledGroup = g;
  if (!c) return;
  c->setValue(0, const_cast<char*>(" ---"));
  const int16_t n = loopsInGroup(g);
  for (int16_t v = 0; v < n && v + 1 < QXpopupControl::kMaxEntries; v++) {
    char label[40];
    snprintf(label, sizeof label, "%s", library.getIndexStr(g, v));
    if (!label[0]) snprintf(label, sizeof label, "[%d]", v + 1);
    c->setValue(short(v + 1), label);
  }
}

void JLGroovePanel::groove_showTrack(short t) {
  if (t < 0 || t >= kTracks) return;
  const JLTrack& tr = groove.tracks[t];
  if (uloPanelControl* c = control(sampGrSelTable[t])) c->setValue(short(tr.group + 1));
  assingInstPopNames(t);
  if (uloPanelControl* c = control(sampInSelTable[t])) c->setValue(short(tr.variant + 1));
  showVolumeMark(t);
  adjustTrackLed(t);
}

void JLGroovePanel::userChangedTrack(short t) {
  if (t < 0 || t >= kTracks) return;
  JLTrack& tr = groove.tracks[t];
  if (tr.group >= 0 && tr.variant >= 0 && tr.group < library.groupCount) {
    const JLSongGroup& g = library.groups[tr.group];
    tr.volume = g.volume[tr.variant];
    tr.pan = int16_t(g.pan[tr.variant] - 63);
    if (groupMode || allMode) {
      tracks[t].savedVolume = tr.volume;
      tracks[t].savedPan = tr.pan;
      onItem_volume();
      onItem_pan();
    }
  }
  adjustTrackIndex(t);
  adjustTrackLed(t);
  if (t == selectedTrack) {
    trackSelectionChanged();
    if (!groupMode && !allMode) {
      setItem(34, tr.volume);
      setItem(36, tr.pan);
    }
  }
}

void JLGroovePanel::trackSelectionChanged() {
  if (groupMode) {
    setText(93, "GROUP");
  } else if (allMode) {
    setText(93, "ALL");
  } else if (selectedTrack >= 0 && selectedTrack < kTracks) {
    const JLTrack& tr = groove.tracks[selectedTrack];
    char text[80];
    if (tr.group >= 0 && tr.group < library.groupCount) {
      char name[32];
      snprintf(name, sizeof name, "%s", library.groups[tr.group].name);
      upperFirst(name);
      snprintf(text, sizeof text, "%s:%s", name, library.getIndexStr(tr.group, tr.variant));
    } else {
      snprintf(text, sizeof text, "%s", library.getIndexStr(tr.group, tr.variant));
    }
    setText(93, text);
    setItem(118, tr.volume);
    setItem(119, tr.pan);
  }
  refreshPopColors();
}

void JLGroovePanel::groove_activate(short t) {
  if (t < 0 || t >= kTracks) return;
  adjustTrackIndex(t);
  if (gep) gep->setTrackSample(t, tracks[t].active ? tracks[t].sampleNo : int16_t(-1));
  changedTrackVolume(t);
  changedTrackPan(t);
  if (t == selectedTrack) trackSelectionChanged();
}

void JLGroovePanel::groove_activate() {
  if (gep) gep->changesBegin();
  for (short t = 0; t < kTracks; t++) {
    groove_activate(t);
    const JLTrack& tr = groove.tracks[t];
    net.sendSample(t, tr.group, tr.variant);
    if (tr.variant >= 0) {
      net.sendVolume(t, tr.volume);
      net.sendPan(t, tr.pan);
    }
  }
  if (gep) gep->changesEnd();
}

void JLGroovePanel::groove_show() {
  for (short t = 0; t < kTracks; t++) {
    adjustTrackIndex(t);
    groove_showTrack(t);
  }
  if (selectedTrack >= 0 && selectedTrack < kTracks) {
    const JLTrack& tr = groove.tracks[selectedTrack];
    if (!groupMode && !allMode) {
      setItem(34, tr.volume);
      setItem(36, tr.pan);
    }
    setItem(85, short(std::max<int16_t>(0, tr.group)));
    setItem(62, qxMsgSetMaximum, short(std::max<int16_t>(0, loopsInGroup(tr.group) - 1)));
    setItem(62, short(std::max<int16_t>(0, tr.variant)));
  }
  trackSelectionChanged();
}

void JLGroovePanel::groove_activateAndShow() {
  groove_show();
  groove_activate();
  if (JLPlayer* p = player()) p->play();
}

// ------------------------------------------------------- track controls

void JLGroovePanel::onItem_trackButton(short t) {
  if (t < 0 || t >= kTracks) return;
  if (allMode) setAllMode(false);
  if (groupMode) {
    tracks[t].groupSel = !tracks[t].groupSel;
    setItem(short(1 + t), short(tracks[t].groupSel ? 2 : 1));
    if (soloMode && soloFollows) {
      tracks[t].soloOn = !tracks[t].soloOn;
      enableTrack(t, tracks[t].soloOn);
    }
  } else {
    if (t == selectedTrack) return;
    const short old = selectedTrack;
    if (old >= 0 && old < kTracks) setItem(short(1 + old), 1);
    setItem(short(1 + t), 2);
    const JLTrack& tr = groove.tracks[t];
    setItem(34, tr.volume);
    setItem(36, tr.pan);
    setItem(85, short(std::max<int16_t>(0, tr.group)));
    setItem(62, qxMsgSetMaximum, short(std::max<int16_t>(0, loopsInGroup(tr.group) - 1)));
    setItem(62, short(std::max<int16_t>(0, tr.variant)));
    if (soloMode && soloFollows) {
      if (old >= 0 && old < kTracks) {
        tracks[old].soloOn = !tracks[old].soloOn;
        enableTrack(old, tracks[old].soloOn);
      }
      tracks[t].soloOn = !tracks[t].soloOn;
      enableTrack(t, tracks[t].soloOn);
    }
    selectedTrack = t;
  }
  trackSelectionChanged();
}

void JLGroovePanel::onItem_trackLed(short t) {
  if (t < 0 || t >= kTracks) return;
  // An empty track's light stays grey whatever its switch says, so a click
  // there would set a mute nobody sees (and that a later loop would bring
  // along); it does nothing. Empty group members are left alone likewise.
  if (tracks[t].sampleNo == -1) return;
  markModified();
  const bool member = isMember(t);
  if (!soloMode) {
    const uint8_t on = !tracks[t].on;
    tracks[t].on = on;
    enableTrack(t, on);
    if (member)
      for (short o = 0; o < kTracks; o++)
        if (o != t && isMember(o) && tracks[o].sampleNo != -1) {
          tracks[o].on = on;
          enableTrack(o, on);
        }
  } else {
    soloFollows = 0;
    const uint8_t on = !tracks[t].soloOn;
    tracks[t].soloOn = on;
    enableTrack(t, on);
    if (member)
      for (short o = 0; o < kTracks; o++)
        if (o != t && isMember(o) && tracks[o].sampleNo != -1) {
          tracks[o].soloOn = on;
          enableTrack(o, on);
        }
    if (!groupMode && !allMode && tracks[t].active) onItem_trackButton(t);
  }
}

void JLGroovePanel::onItem_keep(short t) {
  if (t < 0) t = selectedTrack;
  if (t < 0 || t >= kTracks) return;
  const uint8_t on = !tracks[t].keepOn;
  tracks[t].keepOn = on;
  for (short o = 0; o < kTracks; o++)
    if (isMember(o)) tracks[o].keepOn = on;
  keepCount = 0;
  for (short o = 0; o < kTracks; o++) keepCount = int16_t(keepCount + (tracks[o].keepOn ? 1 : 0));
  keepBlink = 0;
  for (short o = 0; o < kTracks; o++) adjustTrackLed(o);
  refreshPopColors();
}

void JLGroovePanel::onItem_empty() {
  // Emptying several loops at once cannot be taken back: it asks first, as
  // removing every groove of the bank does (Shift skips the question).
  int loops = 0;
  for (short t = 0; t < kTracks; t++) loops += isMember(t) && groove.tracks[t].group >= 0;
  if (loops > 1 && uloGlo.what == uloEvtAutoKey) return;  // a held E asks once
  if (loops > 1 && !uloGlo.shift) {
    const int16_t answer = JL_Notify(kJLMsgEmptyTracks, jlNotifyYesNo);
    QXScreen.update(QXScreen.updateBuffer.bounds);
    if (answer != 1) return;
  }
  markModified();
  if (syncMode && gep) gep->sync_atGrooveSet(0);
  auto emptyOne = [this](short t) {
    // Empty as a song's groove leaves an unused track: no loop, and no
    // volume or pan of the loop that is gone (the next loop brings its own).
    groove.tracks[t].reset();
    if (gep) gep->setTrackSample(t, -1);
    adjustTrackIndex(t);
    groove_showTrack(t);
  };
  if (!groupMode && !allMode) {
    if (selectedTrack >= 0 && selectedTrack < kTracks) emptyOne(selectedTrack);
  } else {
    if (gep) gep->changesBegin();
    for (short t = 0; t < kTracks; t++)
      if (isMember(t)) emptyOne(t);
    if (gep) gep->changesEnd();
  }
  trackSelectionChanged();
  if (!groupMode && !allMode && selectedTrack >= 0 && selectedTrack < kTracks) {
    setItem(34, groove.tracks[selectedTrack].volume);
    setItem(36, groove.tracks[selectedTrack].pan);
  }
  if (syncMode && gep) gep->sync_atGrooveSet(1);
}

void JLGroovePanel::onItem_volume() {
  markModified();
  if (syncMode && gep) gep->sync_atGrooveSet(0);
  const short value = itemValue(34);
  if (!groupMode && !allMode) {
    setItem(118, value);
    if (selectedTrack >= 0 && selectedTrack < kTracks) {
      groove.tracks[selectedTrack].volume = int16_t(std::clamp<int>(value, 0, 127));
      changedTrackVolume(selectedTrack);
      net.sendVolume(selectedTrack, groove.tracks[selectedTrack].volume);
    }
  } else {
    setItem(118, short(value - 64));
    for (short t = 0; t < kTracks; t++) {
      if (!isMember(t)) continue;
      groove.tracks[t].volume = int16_t(std::clamp((value - 64) * 2 + tracks[t].savedVolume, 0, 127));
      changedTrackVolume(t);
      net.sendVolume(t, groove.tracks[t].volume);
    }
  }
  if (syncMode && gep) gep->sync_atGrooveSet(1);
}

void JLGroovePanel::onItem_pan() {
  markModified();
  if (syncMode && gep) gep->sync_atGrooveSet(0);
  const short value = itemValue(36);
  setItem(119, value);
  if (!groupMode && !allMode) {
    if (selectedTrack >= 0 && selectedTrack < kTracks) {
      groove.tracks[selectedTrack].pan = int16_t(std::clamp<int>(value, -63, 63));
      changedTrackPan(selectedTrack);
      net.sendPan(selectedTrack, groove.tracks[selectedTrack].pan);
    }
  } else {
    for (short t = 0; t < kTracks; t++) {
      if (!isMember(t)) continue;
      groove.tracks[t].pan = int16_t(std::clamp(value * 2 + tracks[t].savedPan, -63, 63));
      changedTrackPan(t);
      net.sendPan(t, groove.tracks[t].pan);
    }
  }
  if (syncMode && gep) gep->sync_atGrooveSet(1);
}

void JLGroovePanel::onItem_groupBrowser() {
  const short t = selectedTrack;
  if (t < 0 || t >= kTracks || library.groupCount <= 0) return;
  markModified();
  JLTrack& tr = groove.tracks[t];
  tr.group = int16_t(std::max<int>(0, itemValue(85)) % library.groupCount);
  tr.variant = 0;
  setItem(62, qxMsgSetMaximum, short(std::max<int16_t>(0, loopsInGroup(tr.group) - 1)));
  setItem(62, 0);
  groove_showTrack(t);
  userChangedTrack(t);
  groove_activate(t);
  net.sendSample(t, tr.group, tr.variant);
  trackSelectionChanged();
}

void JLGroovePanel::onItem_instBrowser() {
  const short t = selectedTrack;
  if (t < 0 || t >= kTracks) return;
  JLTrack& tr = groove.tracks[t];
  const int16_t n = loopsInGroup(tr.group);
  if (n <= 0) return;
  markModified();
  tr.variant = int16_t(std::max<int>(0, itemValue(62)) % n);
  groove_showTrack(t);
  userChangedTrack(t);
  groove_activate(t);
  net.sendSample(t, tr.group, tr.variant);
  trackSelectionChanged();
}

void JLGroovePanel::onItem_sampSelGroup(short t) {
  if (t < 0 || t >= kTracks) return;
  JLTrack& tr = groove.tracks[t];
  if (realTime) {
    onItem_trackButton(t);
    setItem(85, short(std::max<int16_t>(0, tr.group)));
    setItem(62, qxMsgSetMaximum, short(std::max<int16_t>(0, loopsInGroup(tr.group) - 1)));
    return;
  }
  markModified();
  int16_t g = int16_t(itemValue(sampGrSelTable[t]) - 1);
  if (g >= library.groupCount) g = -1;
  if (g == tr.group) return;
  tr.group = g;
  // A group alone would leave the track silent: like the group browser, it
  // starts on the group's first loop at that loop's own volume and pan.
  tr.variant = loopsInGroup(g) > 0 ? int16_t(0) : int16_t(-1);
  if (tr.variant < 0 && g >= 0) {
    tr.group = -1;  // a group without loops: the track stays empty
    setItem(sampGrSelTable[t], 0);
  }
  assingInstPopNames(t);
  setItem(sampInSelTable[t], short(tr.variant + 1));
  userChangedTrack(t);
  groove_activate(t);
  net.sendSample(t, tr.group, tr.variant);
  setItem(85, short(std::max<int16_t>(0, tr.group)));
  setItem(62, qxMsgSetMaximum, short(std::max<int16_t>(0, loopsInGroup(tr.group) - 1)));
  setItem(62, short(std::max<int16_t>(0, tr.variant)));
}

void JLGroovePanel::onItem_sampSelIndex(short t) {
  if (t < 0 || t >= kTracks) return;
  JLTrack& tr = groove.tracks[t];
  if (realTime) {
    onItem_trackButton(t);
    setItem(62, short(std::max<int16_t>(0, tr.variant)));
    return;
  }
  markModified();
  int16_t v = int16_t(itemValue(sampInSelTable[t]) - 1);
  if (v >= loopsInGroup(tr.group)) v = -1;
  if (v == tr.variant) return;
  tr.variant = tr.group >= 0 ? v : int16_t(-1);
  groove_activate(t);
  userChangedTrack(t);
  groove_activate(t);
  onItem_trackButton(t);
  setItem(62, short(std::max<int16_t>(0, tr.variant)));
  net.sendSample(t, tr.group, tr.variant);
}

// ----------------------------------------------------------------- modes

void JLGroovePanel::setGroupMode(bool on) {
  groupMode = on ? 1 : 0;
  setItem(16, groupMode);
  if (on) {
    allMode = 0;
    setItem(17, 0);
  }
  showRelativeMode(on, false);
  trackSelectionChanged();
}

void JLGroovePanel::setAllMode(bool on) {
  allMode = on ? 1 : 0;
  setItem(17, allMode);
  if (on) {
    groupMode = 0;
    setItem(16, 0);
  }
  showRelativeMode(on, true);
  trackSelectionChanged();
}

void JLGroovePanel::showRelativeMode(bool on, bool allTracks) {
  if (on) {
    // The sliders move tracks relative to where they are: they centre, and
    // each track's level and pan are remembered as the starting point.
    setItem(34, 64);
    setItem(36, 0);
    for (short t = 0; t < kTracks; t++) {
      setItem(short(1 + t), short(allTracks || tracks[t].groupSel ? 2 : 1));
      tracks[t].savedVolume = groove.tracks[t].volume;
      tracks[t].savedPan = groove.tracks[t].pan;
    }
    setText(118, "--");
    setText(119, "--");
  } else {
    if (selectedTrack >= 0 && selectedTrack < kTracks) {
      setItem(34, groove.tracks[selectedTrack].volume);
      setItem(36, groove.tracks[selectedTrack].pan);
    }
    for (short t = 0; t < kTracks; t++) setItem(short(1 + t), short(t == selectedTrack ? 2 : 1));
  }
  if (soloMode && soloFollows) {
    for (short t = 0; t < kTracks; t++) {
      tracks[t].soloOn = on ? (allTracks || tracks[t].groupSel) : (t == selectedTrack);
      enableTrack(t, tracks[t].soloOn);
    }
  }
}

void JLGroovePanel::setSoloMode(bool on) {
  soloMode = on ? 1 : 0;
  setItem(9, soloMode);
  if (on) {
    for (short t = 0; t < 16; t++) tracks[t].soloOn = 0;
    if (!groupMode && !allMode) {
      if (selectedTrack >= 0 && selectedTrack < kTracks) tracks[selectedTrack].soloOn = 1;
    } else {
      for (short t = 0; t < kTracks; t++)
        if (isMember(t)) tracks[t].soloOn = 1;
    }
    soloFollows = 1;
    for (short t = 0; t < kTracks; t++) enableTrack(t, tracks[t].soloOn);
  } else {
    for (short t = 0; t < kTracks; t++) enableTrack(t, tracks[t].on);
  }
}

// ------------------------------------------------------------- randomise

void JLGroovePanel::showGrooveSet(int16_t set) {
  lastRandomStyle = set;
  if (hoverRegion < 0) setRndStyleName(set);
}

int16_t JLGroovePanel::knownSetOf(const JLGroove& g) const {
  // Newest first: a groove stored again with another set is that one now.
  for (auto k = knownSets.rbegin(); k != knownSets.rend(); ++k)
    if (k->song == songFolder && memcmp(k->tracks, g.tracks, sizeof g.tracks) == 0) return k->set;
  return -1;
}

void JLGroovePanel::rememberSetOf(const JLGroove& g, int16_t set) {
  if (knownSets.size() >= kKnownSets) knownSets.erase(knownSets.begin());
  KnownSet k;
  k.song = songFolder;
  memcpy(k.tracks, g.tracks, sizeof g.tracks);
  k.set = set;
  knownSets.push_back(k);
}

void JLGroovePanel::setRndStyleName(short set) {
  shownStyle = set;
  if (set == -1)
    setText(86, "-");
  else if (set >= 0 && set < library.randomSetCount && set < kJLMaxRandomSets)
    setText(86, library.randomSets[set].name);
  else
    setText(86, "Unkn");
}

void JLGroovePanel::randomize(short set) {
  markModified();
  const short button = set >= 0 && set < 4 ? grooveItemsTable[set] : short(-1);
  if (button >= 0) setItem(button, 1);
  setRndStyleName(set);
  lastRandomStyle = set;
  const bool exists = set >= 0 && set < library.randomSetCount && set < kJLMaxRandomSets;
  for (short t = 0; t < kTracks; t++) {
    if (tracks[t].keepOn) continue;
    JLTrack& tr = groove.tracks[t];
    int16_t group = -1, variant = -1;
    if (exists) {
      const JLRandomSet& rs = library.randomSets[set];
      const int16_t limit = set < kRandomSets ? jlPrefs.randomLimit[set] : int16_t(8);
      if (t < rs.count && t < limit) {
        group = t < kJLRandomSetMembers ? rs.members[t] : int16_t(-1);
        if (group == -1 && library.groupCount > 0) group = ULO_Random(library.groupCount);
        if (group >= library.groupCount) group = -1;
      }
    } else if (t < library.groupCount) {
      group = t;
    }
    if (group >= 0) {
      const int16_t n = loopsInGroup(group);
      if (n > 0) {
        variant = ULO_Random(n);
      } else {
        group = -1;  // a group without loops: the track stays empty
      }
    }
    tr.group = group;
    tr.variant = variant;
    if (group >= 0 && variant >= 0) {
      tr.volume = library.groups[group].volume[variant];
      tr.pan = int16_t(library.groups[group].pan[variant] - 63);
    }
  }
  groove_activateAndShow();
  if (button >= 0) setItem(button, 0);
}
