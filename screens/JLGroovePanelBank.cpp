// The groove panel's bank and sequence: storing, rewriting and
// removing grooves, building the sequence by dragging balls, sequence play
// and the virtual mixer's arrangements.
#include <algorithm>
#include <cstring>
#include <string>

#include "engine/JLEngine.h"
#include "framework/intl/JLInternational.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "screens/JLDraggerCtrl.h"
#include "screens/JLGroovePanel.h"
#include "screens/vmixHost.h"

namespace {
bool playerPlaying() { return jlPlayer && jlPlayer->playing; }
}  // namespace

std::string jlgp::localised(int16_t number, const char* english) {
  const uloText t = jlIntl.message(number);
  return t.c_str() && t.c_str()[0] ? t.c_str() : english;
}

// ------------------------------------------------------------ ball clicks

void JLGroovePanel::grooves_hit(short ball) {
  if (ball < 0 || ball >= grooveRow.visible) return;
  const short p = short(grooveRow.first + ball);
  const short was = grooveRow.selected;
  grooveRow.selected = p;
  for (short i = 0; i < grooveRow.visible; i++)
    if (grooveRow.first + i < sequence.grooveCount) setItem(grooveRow.items[i], jlMsgBallHighlight, short(i == ball));
  short r = 0;
  if (p < sequence.grooveCount)
    if (uloPanelControl* c = control(grooveRow.items[ball])) r = c->get(jlMsgBallDrag);
  if (r == -2) {
    if (p < sequence.grooveCount) {
      groove = sequence.grooves[p];
      groove_restore();
    }
  } else if (r == -1) {
    grooves_remove();
  } else {
    // A drag into the sequence (or let go elsewhere) is no choice of groove:
    // the highlight goes back to the ball of the groove heard and shown.
    grooveRow.selected = was;
    grooveRow.refresh();
    if (r >= 109 && r <= 116) insertIntoSequence(p, r);
  }
}

void JLGroovePanel::insertIntoSequence(short p, short r) {
  if (p < 0 || p >= sequence.grooveCount || sequence.stepCount >= JLSequence::kMaxSteps) return;
  short q = short((r - 109) + sequenceRow.first);
  q = std::clamp<short>(q, 0, sequence.stepCount);
  short s = sequenceRow.selected;
  if (s >= 0 && q <= s) s++;
  sequenceRow.selected = q;
  for (short k = sequence.stepCount; k > q; k--) sequence.steps[k] = sequence.steps[k - 1];
  sequence.steps[q] = sequence.grooves[p].id;
  sequence.stepCount++;
  if (playerPlaying())
    sequenceRow.select(s);  // the playing step keeps playing (its index moved)
  else
    sequenceRow.select(q);  // the inserted step is selected and shown
}

void JLGroovePanel::sequencer_hit(short ball) {
  if (ball < 0 || ball >= sequenceRow.visible) return;
  const short p = short(sequenceRow.first + ball);
  short s = sequenceRow.selected;
  sequenceRow.selected = p;
  for (short i = 0; i < sequenceRow.visible; i++)
    if (sequenceRow.first + i < sequence.stepCount)
      setItem(sequenceRow.items[i], jlMsgBallHighlight, short(i == ball));
  if (p >= sequence.stepCount) return;
  short r = 0;
  if (uloPanelControl* c = control(sequenceRow.items[ball])) r = c->get(jlMsgBallDrag);
  if (r == -2 || r == 0) return;
  if (r == -1) {
    if (p < s) s--;
    removeStep(p);
  } else if (r >= 109 && r <= 116) {
    moveStep(p, r);
    short q = short((r - 109) + sequenceRow.first);
    s = std::clamp<short>(q, 0, short(sequence.stepCount - 1));
  } else {
    return;
  }
  if (playerPlaying()) {
    sequenceRow.selected = (s >= 0 && s < sequence.stepCount) ? s : short(0);
    sequenceRow.refresh();
  }
}

void JLGroovePanel::removeStep(short p) {
  if (p < 0 || p >= sequence.stepCount) return;
  for (short k = p; k + 1 < sequence.stepCount; k++) sequence.steps[k] = sequence.steps[k + 1];
  sequence.stepCount--;
  if (sequenceRow.selected >= sequence.stepCount) sequenceRow.selected = short(sequence.stepCount - 1);
  sequenceRow.refresh();
  if (sequence.stepCount == 0 && jlPlayer && jlPlayer->playing && jlPlayer->sequenceMode) jlPlayer->stop();
}

void JLGroovePanel::moveStep(short p, short r) {
  if (p < 0 || p >= sequence.stepCount) return;
  // Moves work within a fully visible sequence too; the target is clamped
  // to the last step.
  short q = short((r - 109) + sequenceRow.first);
  q = std::clamp<short>(q, 0, short(sequence.stepCount - 1));
  if (q == p) return;
  const int16_t id = sequence.steps[p];
  if (q > p)
    for (short k = p; k < q; k++) sequence.steps[k] = sequence.steps[k + 1];
  else
    for (short k = p; k > q; k--) sequence.steps[k] = sequence.steps[k - 1];
  sequence.steps[q] = id;
  sequenceRow.refresh();
}

// ---------------------------------------------------------------- bank

void JLGroovePanel::groove_store() {
  for (short t = 0; t < 16; t++) {
    if (tracks[t].active) continue;
    groove.tracks[t].reset();
    adjustTrackIndex(t);
    if (t < kTracks) groove_showTrack(t);
  }
}

short JLGroovePanel::findStoredGroove(const JLGroove& g) const {
  // Tracks have no padding (their stored layout), so bytes compare; the id
  // is the bank's own and not part of what sounds.
  for (short p = 0; p < sequence.grooveCount && p < JLSequence::kMaxGrooves; p++)
    if (memcmp(sequence.grooves[p].tracks, g.tracks, sizeof g.tracks) == 0) return p;
  return -1;
}

void JLGroovePanel::grooves_add() {
  // What would be stored: the tracks that sound.
  JLGroove sounding = groove;
  for (short t = 0; t < 16; t++)
    if (!tracks[t].active) sounding.tracks[t].reset();
  const short same = findStoredGroove(sounding);
  if (same >= 0) {
    // Nothing new to keep: show the ball that holds it and say so.
    grooveRow.select(same);
    std::string said = jlgp::localised(kJLMsgGrooveInBank, "Same as groove %d");
    const size_t at = said.find("%d");
    if (at != std::string::npos) said.replace(at, 2, std::to_string(sequence.grooves[same].id));
    showBankNote(said.c_str());
    grooveModified = 0;
    return;
  }
  if (sequence.grooveCount >= JLSequence::kMaxGrooves) {
    showBankNote(jlgp::localised(kJLMsgBankFull, "The bank is full.").c_str());
    return;
  }
  groove_store();
  if (sequence.store(groove) == 0) return;
  rememberSetOf(groove, lastRandomStyle);
  grooveRow.select(short(sequence.grooveCount - 1));
  grooveModified = 0;
}

void JLGroovePanel::grooves_rewrite() {
  const short sel = grooveRow.selected;
  if (!grooveModified || sel < 0 || sel >= sequence.grooveCount) return;
  groove_store();
  // The bank place keeps its id, so the steps that name it play the new
  // content and ids stay unique.
  groove.id = sequence.grooves[sel].id;
  sequence.grooves[sel] = groove;
  rememberSetOf(groove, lastRandomStyle);
  grooveModified = 0;
  grooveRow.refresh();
}

void JLGroovePanel::grooves_remove() {
  const short sel = grooveRow.selected;
  if (sel < 0 || sel >= sequence.grooveCount) return;
  const int16_t id = sequence.grooves[sel].id;
  short current = sequenceRow.selected;
  short out = 0;
  for (short k = 0; k < sequence.stepCount; k++) {
    if (sequence.steps[k] == id) {
      if (k < current) current--;
      continue;
    }
    sequence.steps[out++] = sequence.steps[k];
  }
  sequence.stepCount = out;
  for (short k = sel; k + 1 < sequence.grooveCount; k++) sequence.grooves[k] = sequence.grooves[k + 1];
  sequence.grooveCount--;
  sequence.grooves[sequence.grooveCount].reset();
  if (current >= sequence.stepCount) current = 0;
  sequenceRow.selected = sequence.stepCount > 0 ? current : short(-1);
  if (grooveRow.selected >= sequence.grooveCount) grooveRow.selected--;
  grooveRow.select(grooveRow.selected);
  sequenceRow.select(sequenceRow.selected);
  if (sequence.stepCount == 0 && jlPlayer && jlPlayer->playing && jlPlayer->sequenceMode) jlPlayer->stop();
}

void JLGroovePanel::sequencer_addAll() {
  for (short g = 0; g < sequence.grooveCount && sequence.stepCount < JLSequence::kMaxSteps; g++)
    sequence.steps[sequence.stepCount++] = sequence.grooves[g].id;
  // While a sequence plays its current step stays; otherwise the row shows
  // the start.
  if (playerPlaying() && sequenceRow.selected >= 0 && sequenceRow.selected < sequence.stepCount)
    sequenceRow.select(sequenceRow.selected);
  else
    sequenceRow.select(0);
}

void JLGroovePanel::sequencer_removeAll() {
  if (sequence.stepCount > 0) {
    sequence.stepCount = 0;
    sequenceRow.first = 0;
    sequenceRow.select(0);
    if (jlPlayer && jlPlayer->playing && jlPlayer->sequenceMode) jlPlayer->stop();
    return;
  }
  if (sequence.grooveCount <= 0) return;
  if (!uloGlo.shift) {
    const int16_t answer = JL_Notify(16, jlNotifyYesNo);
    QXScreen.update(QXScreen.updateBuffer.bounds);
    if (answer == 2) return;
  }
  sequence.grooveCount = 0;
  grooveRow.first = 0;
  grooveRow.select(0);
}

void JLGroovePanel::groove_restore() {
  for (short t = 0; t < 16; t++) tracks[t].on = tracks[t].active = 1;
  if (allMode) setAllMode(false);
  if (groupMode) setGroupMode(false);
  if (soloMode) setSoloMode(false);
  groove_activateAndShow();
  for (short t = 0; t < kTracks; t++) adjustTrackLed(t);
  grooveModified = 0;
  grooveChanged();
  // The label names the set of the groove now playing, so a sequence
  // shows each step's set as it comes.
  showGrooveSet(knownSetOf(groove));
}

bool JLGroovePanel::selectGrooveById(short id) {
  if (sequence.grooveCount <= 0 || !grooveRow.selectID(id)) return false;
  const short p = grooveRow.selected;
  if (p < 0 || p >= sequence.grooveCount) return false;
  groove = sequence.grooves[p];
  groove_restore();
  return true;
}

// -------------------------------------------------------- sequence play

void JLGroovePanel::seqActivateNext() {
  if (sequence.stepCount <= 0) return;
  short next = short(sequenceRow.selected + 1);
  if (next < 0 || next >= sequence.stepCount) next = 0;
  grooveRow.selectID(sequence.steps[next]);
  sequenceRow.select(next);
  const short p = grooveRow.selected;
  if (p < 0 || p >= sequence.grooveCount) return;
  groove = sequence.grooves[p];
  sync_SetMode(true);
  groove_restore();
  sync_SetMode(false);
}

void JLGroovePanel::onItem_seq_Play() {
  if (sequence.stepCount <= 0) return;
  if (syncMode && gep) gep->sync_atGrooveSet(0);
  setPlayMode(false);
  groove.reset();
  setPlayMode(true);
  if (sequenceRow.selected < 0 || sequenceRow.selected >= sequence.stepCount) sequenceRow.select(0);
  if (!grooveRow.selectID(sequence.steps[sequenceRow.selected])) return;
  const short p = grooveRow.selected;
  if (p < 0 || p >= sequence.grooveCount) return;
  groove = sequence.grooves[p];
  groove_restore();
}

// --------------------------------------------------------- virtual mixer

void JLGroovePanel::setupVMix(short n) { JL_BuildVMix(library, sequence, n); }

void JLGroovePanel::enterVirtualMixer() {
  JLPlayer* p = jlPlayer;
  sequenceBackup = sequence;
  mixerEntry.groove = groove;
  for (short t = 0; t < kTracks; t++) mixerEntry.on[t] = tracks[t].active;
  mixerEntry.playing = p && p->playing;
  mixerEntry.sequencePlay = p && p->playing && p->sequenceMode;
  mixerEntry.step = sequenceRow.selected;
  mixerEntry.bankSelected = grooveRow.selected;
  // A playing sequence goes on into the mixer's first mix at the next
  // cycle, from its first step.
  if (mixerEntry.sequencePlay) sequenceRow.selected = -1;
  QXScreen.hide(0);
  QXScreen.hide(2);
  QXScreen.show(1);
}

void JLGroovePanel::restoreFromVirtualMixer() {
  sequence = sequenceBackup;
  // The ball that was selected is again (the bank is the one it was in).
  const short ball = mixerEntry.bankSelected;
  grooveRow.select(ball >= 0 && ball < sequence.grooveCount ? ball : short(-1));
  sequenceRow.select(-1);
  if (soloMode) setSoloMode(false);
  if (groupMode) setGroupMode(false);
  if (allMode) setAllMode(false);
  groove = mixerEntry.groove;
  for (short t = 0; t < kTracks; t++) tracks[t].on = tracks[t].active = mixerEntry.on[t];
  groove_show();
  groove_activate();
  for (short t = 0; t < kTracks; t++) adjustTrackLed(t);
  refreshPopColors();
  if (mixerEntry.sequencePlay && mixerEntry.step >= 0 && mixerEntry.step < sequence.stepCount)
    sequenceRow.select(mixerEntry.step);
}

void JLGroovePanel::resumeAfterVirtualMixer() {
  JLPlayer* p = jlPlayer;
  if (!p || !mixerEntry.playing) return;
  if (mixerEntry.sequencePlay && sequence.stepCount > 0)
    p->playSequence();
  else
    p->play();
}
