// The groove panel's keyboard, numeric key entry and idle work.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/JLEngine.h"
#include "framework/intl/JLInternational.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "screens/JLGroovePanel.h"
#include "song/JLSongLoading.h"

jlgpKeyStatusRec jlks;
int32_t peakNextTicks = 0;
uint32_t (*JLGroovePanel::tickSource)() = ULO_Ticks;

namespace {

JLPlayer* player() { return jlPlayer; }

// Tracks of the digit keys 1..9 in the keypad layout (-1: none).
int trackOfKeypadDigit(int digit) {
  static const int order[8] = {8, 9, 6, 3, 2, 1, 4, 7};
  for (int t = 0; t < 8; t++)
    if (order[t] == digit) return t;
  return -1;
}

}  // namespace

short JLGroovePanel::keyState(int code) {
  if (code < 0 || code >= 512) return 0;
  return QXScreen.keyPresses[code];
}

namespace {
// Either case of a letter.
short held(char letter) {
  short a = JLGroovePanel::keyState(letter);
  if (letter >= 'A' && letter <= 'Z') a = std::max(a, JLGroovePanel::keyState(letter + 32));
  if (letter >= 'a' && letter <= 'z') a = std::max(a, JLGroovePanel::keyState(letter - 32));
  return a;
}
bool down(int code) { return JLGroovePanel::keyState(code) > 0; }
}  // namespace

// ------------------------------------------------------------- keyboard

void JLGroovePanel::onKey() {
  if (jlks.active) {
    key_numEnterType();
    return;
  }
  JLPlayer* p = player();
  const int key = uloGlo.keyCode ? uloGlo.keyCode : uloGlo.character;
  const bool returnDown = down(uloKeyReturn);

  // 1. Digits: with J held any digit starts a groove number; otherwise
  // they pick tracks.
  if (key >= '0' && key <= '9' && held('J')) {
    key_numEnterStartAny('J', -10, 1, 99, 2);
    key_numEnterType();
    return;
  }
  int track = -1;
  if (key >= '1' && key <= '9') {
    const int digit = key - '0';
    track = jlks.keypadLayout ? trackOfKeypadDigit(digit) : (digit <= 8 ? digit - 1 : -1);
  }
  if (track >= 0) {
    if (held('T')) {
      onItem_trackButton(short(track));
    } else if (held('M')) {
      onItem_trackLed(short(track));
    } else if (held('K')) {
      onItem_keep(short(track));
    } else if (held('R')) {
      if (track < 4) randomize(short(track));
    } else {
      onItem_trackButton(short(track));
    }
    return;
  }

  // 2. Step keys. The key of this event gives the direction; the held
  // keys of that direction, by their repeats, the size. The key that
  // carries "+" types "=" without Shift on many layouts, the "-" key "_"
  // with it (as while "B" is held): either way it is that key.
  const short plus = short(keyState('+') + keyState('=') + keyState(uloKeyRight) + keyState(uloKeyUp));
  const short minus = short(keyState('-') + keyState('_') + keyState(uloKeyLeft) + keyState(uloKeyDown));
  const bool stepUp = key == '+' || key == '=' || key == uloKeyRight || key == uloKeyUp;
  const bool stepDown = key == '-' || key == '_' || key == uloKeyLeft || key == uloKeyDown;
  if ((stepUp && plus > 0) || (stepDown && minus > 0)) {
    short step = stepUp ? 1 : -1;
    if ((stepUp ? plus : minus) >= 11) step = short(step * 5);
    if (held('P')) {
      setItem(36, short(itemValue(36) + step));
      onItem_pan();
    } else if (held('V')) {
      setItem(34, short(itemValue(34) + step));
      onItem_volume();
    } else if (down('B')) {
      setItem(35, short(itemValue(35) + step));
      if (p) p->hitBpmScroll(itemValue(35));
    } else if (down('b')) {
      if (p) p->hitBpmUp(step > 0 ? 0.2f : -0.2f);
    } else if (held('J')) {
      if (sequence.grooveCount > 0) {
        const short sel = short(std::clamp<int>(grooveRow.selected + (step > 0 ? 1 : -1), 0,
                                                sequence.grooveCount - 1));
        grooveRow.select(sel);
        groove = sequence.grooves[sel];
        groove_restore();
      }
    } else if (held('M')) {
      if (p) p->addMainVolume(step);
    } else if (held('C')) {
      setItem(85, short(itemValue(85) + step));
      onItem_groupBrowser();
    } else if (held('I')) {
      setItem(62, short(itemValue(62) + step));
      onItem_instBrowser();
    } else if (key != uloKeyLeft && key != uloKeyRight) {
      // No letter held: + and - (and Up and Down) are the tempo buttons,
      // repeating while held as they do.
      if (p) p->hitBpmUp(stepUp ? 0.2f : -0.2f);
    }
    return;
  }

  // 3. and 4. Letters, with or without Return.
  const int lower = (key >= 'A' && key <= 'Z') ? key + 32 : key;
  if (!returnDown) {
    switch (lower) {
      case 's':
        setSoloMode(!soloMode);
        break;
      case 'g':
        if (allMode) setAllMode(false);
        setGroupMode(!groupMode);
        break;
      case 'a':
        if (groupMode) setGroupMode(false);
        setAllMode(!allMode);
        break;
      case 'e':
        onItem_empty();
        break;
      case 't':
        if (p) p->hitBpmTap();
        break;
      case ' ':
      case 64:
        if (p) {
          if (p->playing)
            p->stop();
          else
            p->play();
        }
        break;
      case 'l':
        QXScreen.show(6);
        break;
      case '*':
        jlks.keypadLayout = !jlks.keypadLayout;
        break;
      default:
        if (key == 'J') jlks.keypadLayout = !jlks.keypadLayout;
        break;
    }
    return;
  }
  if (key == uloKeyReturn) {
    if (held('V')) {
      if (groupMode || allMode) {
        key_numEnterStartAny('V', 118, -63, 63, 2);
        jlks.offset = 64;
      } else {
        key_numEnterStartAny('V', 118, 0, 127, 3);
      }
    } else if (held('P')) {
      key_numEnterStartAny('P', 119, -63, 63, 2);
    } else if (held('M')) {
      key_numEnterStartAny('M', 120, 0, 127, 3);
    } else if (held('J')) {
      key_numEnterStartAny('J', -10, 1, 99, 2);
    } else {
      grooves_add();
    }
  }
}

// The key-up of a held letter ends a numeric entry: key-ups reach the panel
// only through the screen's key table, so the idle work watches it too.
void JLGroovePanel::onIdleKeys() {
  if (jlks.active && keyState(jlks.startKey) == 0) key_numEnterType();
}

// ------------------------------------------------------- numeric entry

void JLGroovePanel::key_numEnterStartAny(short key, short target, short minimum, short maximum, short digits) {
  const short upper = key;
  const short start = keyState(upper) > 0 ? upper : short(upper + 32);
  key_numEnterStart(start, target, minimum, maximum, digits);
}

void JLGroovePanel::key_numEnterStart(short key, short target, short minimum, short maximum, short digits) {
  jlks.active = 1;
  jlks.target = target;
  jlks.value = 0;
  jlks.minimum = minimum;
  jlks.maximum = maximum;
  jlks.maxDigits = digits;
  jlks.digits = 0;
  jlks.offset = 0;
  jlks.negative = 0;
  jlks.startKey = key;
  jlks.savedText[0] = 0;
  if (target > 0)
    if (uloPanelControl* c = control(target)) c->getValue(jlks.savedText);
  key_numEnterShow();
}

void JLGroovePanel::key_numEnterShow() {
  if (jlks.target <= 0) return;
  char text[32];
  if (jlks.digits == 0)
    snprintf(text, sizeof text, "%s%c", jlks.negative ? "-" : "", kJLNumEntryPlaceholder);
  else
    snprintf(text, sizeof text, "%s%ld%c", jlks.negative ? "-" : "", long(jlks.value), kJLNumEntryPlaceholder);
  setText(jlks.target, text);
}

void JLGroovePanel::key_numEnterType() {
  if (!jlks.active) return;
  if (keyState(jlks.startKey) == 0) {
    if (jlks.digits > 0)
      key_numEnterEnd();
    else
      key_numEnterCancel();
    return;
  }
  if (uloGlo.what == uloEvtKeyDown || uloGlo.what == uloEvtAutoKey) {
    const int key = uloGlo.keyCode ? uloGlo.keyCode : uloGlo.character;
    if (key >= '0' && key <= '9') {
      const int v = jlks.value * 10 + (key - '0');
      if (v != 0 && v < 10000) {
        jlks.value = int16_t(v);
        jlks.digits++;
      }
    } else if (key == '-') {
      jlks.negative = !jlks.negative;
    } else if (key == '+') {
      jlks.negative = 0;
    }
  }
  const bool returnDown = uloGlo.what == uloEvtKeyDown && uloGlo.keyCode == uloKeyReturn;
  if (jlks.digits < jlks.maxDigits && !returnDown) {
    if (uloGlo.keyCode == uloKeyDelete && uloGlo.what == uloEvtKeyDown) {
      key_numEnterCancel();
      return;
    }
    key_numEnterShow();
    return;
  }
  key_numEnterEnd();
}

void JLGroovePanel::key_numEnterEnd() {
  if (!jlks.active) return;
  jlks.active = 0;
  int v = jlks.negative ? -jlks.value : jlks.value;
  v = std::clamp<int>(v, jlks.minimum, jlks.maximum);
  if (jlks.target > 0) setItem(jlks.target, short(v));
  switch (jlks.target) {
    case 118:
      setItem(34, short(v + jlks.offset));
      onItem_volume();
      break;
    case 119:
      setItem(36, short(v + jlks.offset));
      onItem_pan();
      break;
    case 120:
      if (JLPlayer* p = player()) {
        p->mainVolume = int16_t(v + jlks.offset);
        p->addMainVolume(0);
      }
      break;
    case -10:
      if (sequence.grooveCount > 0) selectGrooveById(short(v));
      break;
    default:
      break;
  }
}

void JLGroovePanel::key_numEnterCancel() {
  if (!jlks.active) return;
  jlks.active = 0;
  if (jlks.target > 0) setText(jlks.target, jlks.savedText);
}

// ------------------------------------------------------------- idle work

void JLGroovePanel::lightGame_Start(int32_t period) {
  if (period < 1) period = 1;
  lightNext = int32_t(tickSource ? tickSource() : uint32_t(uloGlo.when)) + period;
  if (lightNext == 0) lightNext = 1;
  for (int32_t& e : lightExpiry) e = 0;
  lightIndex = 0;
  lightPeriod = period;
  lightReverse = lightReverse ? 0 : 1;
}

void JLGroovePanel::lightGame_End() {
  for (short t = 0; t < kTracks; t++) {
    setItem(barItemsTable[t], 0);
    tracks[t].levelShown = 0;
  }
  lightNext = 0;
}

void JLGroovePanel::idleLightChase() {
  const int32_t now = uloGlo.when;
  if (ULO_EveTimeoutRepeated(lightNext, lightPeriod)) {
    lightIndex = int16_t((lightIndex + 1) % 8);
    lightExpiry[lightIndex] = now + 6 * lightPeriod;
  }
  if (lightNext == 0) lightNext = 1;
  const int32_t span = 6 * std::max<int32_t>(1, lightPeriod);
  for (short i = 0; i < 8; i++) {
    const int32_t left = lightExpiry[i] - now;
    const short level = left > 0 ? short(left * 100 / span) : short(0);
    const short track = lightReverse ? i : short(7 - i);
    setItem(barItemsTable[track], level);
  }
}

void JLGroovePanel::idleHover() {
  if (uloGlo.mouseX == lastMouse.x && uloGlo.mouseY == lastMouse.y) return;
  lastMouse.set(uloGlo.mouseX, uloGlo.mouseY);
  short region = -1;
  for (short s = 0; s < 4; s++)
    if (uloPanelControl* c = control(grooveItemsTable[s]))
      if (c->visible && c->rect.contains(uloGlo.mouseX, uloGlo.mouseY)) region = s;
  hoverRegion = region;
  const short show = region >= 0 ? region : lastRandomStyle;
  if (show != shownStyle) setRndStyleName(show);
}

void JLGroovePanel::idleKeepBlink() {
  if (keepCount > 0) {
    const uint8_t phase = uint8_t((uint32_t(uloGlo.when) / 15) % 2);
    if (phase == keepBlink) return;
    keepBlink = phase;
  } else {
    if (!keepBlink) return;
    keepBlink = 0;
  }
  for (short t = 0; t < kTracks; t++) adjustTrackLed(t);
  if (!realTime) refreshPopColors();
}

void JLGroovePanel::idleLevels() {
  if (!panelShown) return;
  if (peakNextTicks == uloGlo.when) return;  // at most once per tick
  peakNextTicks = uloGlo.when;
  for (short t = 0; t < kTracks; t++) {
    JLGrooveTrackState& s = tracks[t];
    int level = s.levelShown;
    if (s.peakLeft && s.peakRight) {
      const short l = s.peakLeft->exchange(-1);
      const short r = s.peakRight->exchange(-1);
      if (l != -1 || r != -1) {
        const int vol = groove.tracks[t].volume;
        int best = 0;
        for (short peak : {l, r}) {
          if (peak < 0) continue;
          best = std::max(best, std::min(255, (peak / 150 * vol) / 255));
        }
        level = best;
      }
    }
    if (level > s.levelShown) {
      s.levelShown = int16_t(level);
    } else {
      s.levelShown = int16_t(std::max(0, s.levelShown - 4));
    }
    setItem(barItemsTable[t], s.levelShown);
  }
}

void JLGroovePanel::onIdle() {
  if (tickSource) uloGlo.when = int32_t(tickSource());
  if (JLPlayer* p = player())
    if (p->common == this) p->idle();
  onIdleKeys();
  if (lightNext != 0) {
    idleLightChase();
    return;
  }
  idleHover();
  idleKeepBlink();
  net.idleEvents();
  idleLevels();
  idleClipNote();
  idleLoadFailures();
}

void JLGroovePanel::idleClipNote() {
  if (!gep) return;
  const uint32_t clips = gep->masterClips();
  const bool fresh = clipsKnown && clips != clipsSeen;
  clipsSeen = clips;
  clipsKnown = true;
  if (!fresh && (!clipNoteShown || uloGlo.when - clipNoteUntil < 0)) return;
  const uloText said = jlIntl.message(kJLMsgClipping);
  const char* note = said.c_str() && said.c_str()[0] ? said.c_str() : "Clips: lower MASTER";
  if (fresh && jlPlayer && jlPlayer->playing) {
    if (!bankNoteShown) showBankNote(note);
    clipNoteShown = true;
    clipNoteUntil = uloGlo.when + 3 * 60;
    return;
  }
  if (!fresh && clipNoteShown) {
    clipNoteShown = false;
    // Another note may have taken the line meanwhile: that one stays.
    char shown[256] = {0};
    if (uloPanelControl* c = control(99)) c->getValue(shown);
    if (bankNoteShown && std::strcmp(shown, note) == 0) grooveChanged();  // the player's own line again
  }
}

namespace {

// Message `number` (or `english`) with its "%s" filled by the count and
// the names, at most eight of them and then how many more.
std::string loopList(int16_t number, const char* english, const std::vector<std::string>& names) {
  constexpr size_t kNamed = 8;
  std::string list;
  for (size_t i = 0; i < names.size() && i < kNamed; ++i) list += (i ? ", " : "") + names[i];
  if (names.size() > kNamed) {
    std::string more = jlgp::localised(kJLMsgLoopsMore, "and %s more");
    const size_t at = more.find("%s");
    if (at != std::string::npos) more.replace(at, 2, std::to_string(names.size() - kNamed));
    list += ", " + more;
  }
  std::string text = jlgp::localised(number, english);
  const std::string fills[2] = {std::to_string(names.size()), list};
  size_t at = 0;
  for (const std::string& fill : fills) {
    at = text.find("%s", at);
    if (at == std::string::npos) break;
    text.replace(at, 2, fill);
    at += fill.size();
  }
  return text;
}

}  // namespace

void JLGroovePanel::noteLoopFaults() {
  loopFaultNotice.clear();
  if (!gep) return;
  // The engine checked every loop as it registered it (its header read;
  // a FIFO or folder refused without waiting on it; nothing outside the
  // song's folder followed); told here, a loop is not named again when a
  // track plays it.
  const JLSongLoopFaults faults = JL_SongLoopFaults(
      library, [](void*, int16_t sample) -> int { return gep ? gep->sampleFault(sample, true) : 0; }, nullptr);
  if (!faults.unplayable.empty())
    loopFaultNotice = loopList(kJLMsgLoopsUnplayable,
                               "%s of this song's loops cannot be played: %s. Their files are missing, damaged or "
                               "not sound files Jamloom can read; their tracks stay silent.",
                               faults.unplayable);
  if (!faults.cut.empty())
    loopFaultNotice += (loopFaultNotice.empty() ? "" : " ") +
                       loopList(kJLMsgLoopsCut, "%s of this song's loops are cut short and play only what their "
                                                "files hold: %s.", faults.cut);
  if (!loopFaultNotice.empty() && !loopFaultsTold.insert(std::string(songFolder) + '\n' + loopFaultNotice).second)
    loopFaultNotice.clear();
}

void JLGroovePanel::idleLoadFailures() {
  if (!gep || !ULO_EveTimeoutRepeated(loadFailureDeadline, 15)) return;
  if (!loopFaultNotice.empty()) {
    const std::string text = loopFaultNotice;
    loopFaultNotice.clear();
    ULO_UserNotify(text.c_str(), 0);
    return;
  }
  if (gep->takeOutputLost()) {
    // The engine has stopped already; the transport follows.
    if (JLPlayer* p = player()) p->stop();
    ULO_UserNotify("The audio device has gone away (unplugged or taken by another program), so playing stopped. "
                   "Press PLAY to start again on the device there is now.", 0);
    return;
  }
  short track = -1, why = kWaveUnreadable;
  const short sample = gep->takeLoadFailure(&track, &why);
  if (sample < 0) return;
  int16_t group = -1, variant = -1;
  const char* label = library.getGroupAndIndex(sample, &group, &variant);
  const bool named = group >= 0 && variant >= 0;
  const char* what = "cannot be read: its file is missing, damaged or not a sound file. The track stays silent.";
  if (why == kWaveEmpty) what = "holds no sound. The track stays silent.";
  if (why == kWaveCut) what = "is cut short: its file ends before its sound does. The track plays what is there.";
  if (why == kWaveRate)
    what = "is recorded at a sample rate that cannot be converted to the program's. The track stays silent.";
  char text[384];
  snprintf(text, sizeof text, "Track %d: the loop \"%s%s%s\" (file \"%s\") %s", track + 1,
           named ? library.groups[group].name : "", named ? ":" : "", label ? label : "?",
           named ? library.groups[group].files[variant] : "?", what);
  ULO_UserNotifyUtf8(text, 0);
}
