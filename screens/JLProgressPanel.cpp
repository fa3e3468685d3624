#include "screens/JLProgressPanel.h"

#include <SDL.h>

#include <cmath>

#include "framework/panel/JLHelps.h"
#include "framework/platform/uloEvents.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"

namespace {
constexpr int16_t kEntry = 10;
constexpr int32_t kHideDelayTicks = 30;
}  // namespace

JLProgressPanel::JLProgressPanel() = default;
JLProgressPanel::~JLProgressPanel() = default;

void JLProgressPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
  if (currentItem == kItemStop) stopRequested = 1;
}

void JLProgressPanel::show() {
  message("");
  amount(0.f);
  subAmountRange(1.f);
  setStopMode(false);
  stopRequested = 0;
  QXScreen.show(kEntry);
  started = 0;
}

void JLProgressPanel::message(const char* text) {
  if (uloPanelControl* c = control(kItemMessage)) c->setString(text);
}

void JLProgressPanel::message(int16_t n) { setIntlString(kItemMessage, n); }

void JLProgressPanel::setBar(float percent) {
  if (!std::isfinite(percent)) percent = 0.f;
  if (percent < 0.f) percent = 0.f;
  if (percent > 100.f) percent = 100.f;
  bar = int16_t(std::lround(percent));
  if (uloPanelControl* c = control(kItemBar)) c->set(bar);
}

void JLProgressPanel::amount(float a) {
  setBar(100.f * a);
  baseAmount = a;
}

void JLProgressPanel::subAmountRange(float r) { subRange = r; }

void JLProgressPanel::subAmount(float f) { setBar((f * subRange + baseAmount) * 100.f); }

void JLProgressPanel::setStopMode(bool on) {
  if (uloPanelControl* c = control(kItemStop)) {
    if (on) c->enable();
    else c->disable();
  }
  stopMode = 1;
}

void JLProgressPanel::hide() {
  // The window only shows what is presented: put the full bar on screen
  // before holding it there.
  ULO_PresentIfDirty();
  ULO_WaitTicks(kHideDelayTicks);
  QXScreen.hide(kEntry);
}

void JLProgressPanel::begin(const char* title, bool stoppable) {
  show();
  message(title ? title : "");
  setStopMode(stoppable);
  started = 1;
  ULO_PresentIfDirty();
}

bool JLProgressPanel::set(float fraction) {
  if (!std::isfinite(fraction) || fraction < 0.f) fraction = 0.f;
  if (fraction > 1.f) fraction = 1.f;
  amount(fraction);
  pollStopButton();
  ULO_PresentIfDirty();
  return stopRequested == 0;
}

void JLProgressPanel::end() {
  amount(1.f);
  hide();
  started = 0;
}

void JLProgressPanel::pollStopButton() {
  if (!panelShown || !ULO_HasWindow()) return;
  SDL_PumpEvents();
  SDL_Event e;
  // Only mouse buttons are taken: keys and the rest stay queued for the
  // main loop, so nothing else of the program acts in the middle of the
  // operation.
  while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP) == 1) {
    void* param = nullptr;
    const uloEventAction act = ULO_TranslateEvent(e, uloGlo, ULO_WindowScale(), (int32_t)ULO_Ticks(), &param);
    if (act != uloEventAction::handOver || uloGlo.what != uloEvtMouseDown) continue;
    uloPanelControl* bg = background();
    if (!bg || !bg->rect.contains(uloGlo.mouseX, uloGlo.mouseY)) continue;
    events();
  }
}

JLProgressPanel* JL_ProgressPanel() { return dynamic_cast<JLProgressPanel*>(QXScreen.panelAt(kEntry)); }

void JLProgress_subAmount(float f) {
  if (JLProgressPanel* p = JL_ProgressPanel()) p->subAmount(f);
}

void JLProgress_begin(const char* title, bool stoppable) {
  if (JLProgressPanel* p = JL_ProgressPanel()) p->begin(title, stoppable);
}

bool JLProgress_set(float fraction) {
  JLProgressPanel* p = JL_ProgressPanel();
  return p ? p->set(fraction) : true;
}

void JLProgress_end() {
  if (JLProgressPanel* p = JL_ProgressPanel()) p->end();
}
