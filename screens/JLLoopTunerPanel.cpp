#include "screens/JLLoopTunerPanel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/intl/JLInternational.h"
#include "framework/panel/JLHelps.h"
#include "framework/platform/uloMessageBox.h"
#include "framework/platform/uloSoundConvert.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "screens/JLProgressPanel.h"
#include "song/JLPlayer.h"

namespace {

float playerTempo() { return jlPlayer ? jlPlayer->bpm : 120.f; }
bool playerPlaying() { return jlPlayer && jlPlayer->isPlaying(); }

bool convertProgress(void* context, float done) {
  auto* p = static_cast<JLProgressPanel*>(context);
  if (p) p->subAmount(done);
  return true;
}

}  // namespace

JLLoopTunerPanel::JLLoopTunerPanel() = default;
JLLoopTunerPanel::~JLLoopTunerPanel() = default;

int16_t JLLoopTunerPanel::valueOf(int16_t item) {
  uloPanelControl* c = control(item);
  return c ? c->get() : 0;
}

void JLLoopTunerPanel::put(int16_t item, int16_t v) {
  if (uloPanelControl* c = control(item)) c->set(v);
}

void JLLoopTunerPanel::setText(int16_t item, const char* text) {
  if (uloPanelControl* c = control(item)) c->setString(text);
}

void JLLoopTunerPanel::showLamp() {
  // Lit while ON/OFF lets the loop play: with nothing loaded or recorded
  // (or an empty region) there is nothing to hear, so it stays dark.
  jlUserLoopView view;
  put(kLamp, int16_t(loopOn && !recording && gep && gep->userLoop_region(&view) ? 1 : 0));
}

void JLLoopTunerPanel::showLoopName(const char* name) { setText(kName, name); }

void JLLoopTunerPanel::onPanelOpened() {
  recording = 0;
  put(kVolume, 100);
}

void JLLoopTunerPanel::beforeShow() {
  loopOn = 1;
  showLoopName("");
  resetValues();
}

int16_t JLLoopTunerPanel::barsOf(int16_t control) {
  static const int16_t kBarsTable[5] = {1, 2, 4, 8, 8};
  int index = int(std::trunc((control + 50) * 4 * 0.01));
  index = std::clamp(index, 0, 4);
  return kBarsTable[index];
}

float JLLoopTunerPanel::rateOf(int16_t coarse, int16_t fine) {
  const float r = coarse + fine * 0.01f;
  return r >= 0.f ? 1.f + 0.02f * r : 0.5f + 0.01f * (r + 50.f);
}

void JLLoopTunerPanel::dataInput() {
  if (recording) return;
  const int16_t bars = barsOf(valueOf(kBars));
  const float phase = (valueOf(kPhase) + 50) * bars * 0.01f;
  const float start = std::clamp(50.f + valueOf(kStartCoarse) + valueOf(kStartFine) * 0.01f, 0.f, 100.f);
  const float end = std::clamp(50.f + valueOf(kEndCoarse) + valueOf(kEndFine) * 0.01f, 0.f, 100.f);
  const float rate = rateOf(valueOf(kRateCoarse), valueOf(kRateFine));
  const float volume = valueOf(kVolume) * 0.01f;

  char text[64];
  snprintf(text, sizeof text, "%1.0f", double(bars));
  setText(kBarsText, text);
  snprintf(text, sizeof text, "%1.2f", double(phase));
  setText(kPhaseText, text);
  snprintf(text, sizeof text, "%2.2f%%", double(start));
  setText(kStartText, text);
  snprintf(text, sizeof text, "%2.2f%%", double(end));
  setText(kEndText, text);
  snprintf(text, sizeof text, "%1.2f %1.0f", double(rate), double(playerTempo() / rate));
  setText(kRateText, text);
  if (uloPanelControl* c = control(kName)) c->set(1405, 1);

  settings_.on = loopOn != 0;
  settings_.bars = bars;
  settings_.phase = phase;
  settings_.volume = volume;
  settings_.rate = rate;
  settings_.unused = 0.f;
  settings_.startPercent = start;
  settings_.endPercent = end;
  if (gep) gep->userLoop_params(&settings_);
  // The region the lamp looks at is the one just sent.
  showLamp();
}

void JLLoopTunerPanel::resetValues() {
  put(kBars, -50);
  put(kPhase, -50);
  put(kStartCoarse, -50);
  put(kStartFine, 0);
  put(kEndCoarse, 50);
  put(kEndFine, 0);
  put(kRateCoarse, 0);
  put(kRateFine, 0);
  put(kVolume, 50);
  dataInput();
}

void JLLoopTunerPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
  switch (currentItem) {
    case kStartCoarse: put(kStartFine, 0); dataInput(); break;
    case kEndCoarse: put(kEndFine, 0); dataInput(); break;
    case kRateCoarse: put(kRateFine, 0); dataInput(); break;
    case kBars: case kPhase: case kStartFine: case kEndFine: case kVolume: case kRateFine:
      dataInput();
      break;
    case kRecord: startRecord(); break;
    case kStop: stopRecord(); break;
    case kOnOff:
      loopOn = !loopOn;
      showLamp();
      dataInput();
      break;
    case kOpen: load(); break;
    case kClose: case kDone: close(); break;
    case kReset: resetValues(); break;
    case kSave: save(); break;
    default: break;
  }
}

void JLLoopTunerPanel::startRecord() {
  if (!gep) return;
  gep->userLoop_recordStop();
  recording = gep->userLoop_recordStart() ? 1 : 0;
  put(kLamp, 2);
  loopOn = recording;
  if (recording) {
    filePath.setName("UserRec");
    showLoopName("UserRec");
    setText(kBarsText, "");
    setText(kPhaseText, "");
    setText(kRateText, "");
    setIntlString(kStartText, 40);
    setText(kEndText, "--");
    return;
  }
  // Say why, in the sound system's words, and what to check: a missing or
  // busy input first, a card that cannot record while it plays second.
  const char* why = gep->userLoop_recordError();
  char text[512];
  snprintf(text, sizeof text,
           "Recording could not start%s%s%s. Check that a microphone or line input is connected and not used by "
           "another program.%s",
           why && why[0] ? " (" : "", why ? why : "", why && why[0] ? ")" : "",
           playerPlaying() ? " Some sound cards cannot record while they play: stop playback and try again." : "");
  ULO_UserNotifyUtf8(text, 0);
  // The engine let go of the loop before it asked for the input, so there
  // is no loop left to name.
  showLoopName("");
  showLamp();
}

void JLLoopTunerPanel::stopRecord() {
  if (gep) gep->userLoop_recordStop();
}

void JLLoopTunerPanel::onIdle() {
  QXPanelClass::onIdle();
  if (!recording || !gep) return;
  short percent = 0, level = 0;
  recording = gep->userLoop_recordStatus(&percent, &level) ? 1 : 0;
  if (percent > 99) gep->userLoop_recordStop();
  if (!recording) {
    gep->userLoop_recordReset();
    dataInput();
    if (uloPanelControl* c = control(kLamp)) c->set(qxMsgLevel, 256);
    showLamp();
    return;
  }
  char text[32];
  snprintf(text, sizeof text, "%ld%%", long(percent));
  setText(kEndText, text);
  if (uloPanelControl* c = control(kLamp)) c->set(qxMsgLevel, int16_t(std::clamp<int>(level, 0, 64) * 3 + 64));
}

void JLLoopTunerPanel::load() {
  loopOn = 0;
  showLamp();
  dataInput();
  docPath.userDialogTypes(0, 0, 0, 0, kLoopFileTypes);
  docPath.asyncDialogGet(kEntry, kRequestLoad, 0);
}

void JLLoopTunerPanel::save() {
  jlUserLoopView view;
  if (recording || !(gep && gep->userLoop_region(&view))) {
    ULO_UserNotify("There is no loop to save yet: record or open one first.", 0);
    return;
  }
  docPath.userDialogTypes(0, 0, 0, 0, "*.wav");
  docPath.asyncDialogPut(kEntry, kRequestSave, 0);
}

void JLLoopTunerPanel::asyncDialogMessage(JLPath* path) {
  if (!path || !path->ready || path->empty()) return;
  if (path->request[1] == kRequestSave) {
    if (!saveResult(path->c_str())) ULO_UserNotify("The loop could not be saved.", 0);
  } else {
    loadResult(path->c_str());
  }
}

void JLLoopTunerPanel::loadResult(const char* file) {
  if (!file || !file[0]) return;
  filePath.set(file);
  char name[256] = "";
  filePath.getName(name, sizeof name);
  showLoopName(name);
  QXScreen.update(QXScreen.updateBuffer.bounds);

  JLProgressPanel* progress = JL_ProgressPanel();
  if (progress) {
    progress->show();
    progress->message(int16_t(42));
    progress->setStopMode(false);
    progress->subAmountRange(1.f);
    progress->amount(0.f);
  }
  // Plain 16-bit files at 44100 Hz go to the engine as they are; anything
  // else is converted to 16-bit stereo first.
  if (gep && uloQt_soundIsPlainWave(file) && gep->userLoop_load(file)) {
    if (progress) {
      progress->amount(1.f);
      progress->hide();
    }
    loopOn = 1;
    showLamp();
    dataInput();
    return;
  }

  uloPath temp;
  temp.set(kTunerTempFile);
  if (temp.exists()) temp.remove();
  if (progress) {
    progress->subAmountRange(0.5f);
    progress->message(int16_t(43));
  }
  const bool converted = uloQt_soundConvert_toWave(file, kTunerTempFile, 2, 16, 44100, convertProgress, progress);
  setText(kEndText, "");
  if (progress) {
    progress->message(int16_t(44));
    progress->amount(0.5f);
  }
  // The box names the file: the chooser may have offered several alike.
  const std::string shownName = ULO_Latin1OfUtf8(name);
  if (!converted) {
    JL_NotifyWith(45, shownName.c_str(), 0);
    if (gep) gep->userLoop_load(nullptr);
    loopOn = 0;
  } else {
    loopOn = gep && gep->userLoop_load(kTunerTempFile) ? 1 : 0;
    if (!loopOn) JL_NotifyWith(46, shownName.c_str(), 0);
  }
  if (progress) {
    progress->amount(1.f);
    progress->hide();
  }
  showLamp();
  // The engine keeps the loop in memory, so the converted file can go.
  if (temp.exists()) temp.remove();
  dataInput();
}

bool JLLoopTunerPanel::saveResult(const char* file) {
  jlUserLoopView view;
  if (!file || !file[0] || !(gep && gep->userLoop_region(&view))) return false;
  return uloQt_writeWave16(file, view.samples, view.frames, view.channels, 44100);
}

void JLLoopTunerPanel::close() {
  if (gep) {
    gep->userLoop_recordStop();
    gep->userLoop_load(nullptr);
  }
  recording = 0;
  loopOn = 0;
  showLamp();
  dataInput();
  QXScreen.hide(kEntry);
}
