// Clock, random numbers, memory blocks and message boxes.
#include "framework/platform/uloSys.h"

#include "framework/platform/uloMessageBox.h"

#include <SDL.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

uloGlobalsRec uloGlo;
int uloDebugFlag = 1;
int uloSkipWndMsgs = 0;
int32_t winmainreturnvalue = 0;
char windowsCommandLine[3000];
int32_t magicCOLORREFvalue = 0;

namespace {

uint64_t monotonicMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u;
}

// Ticks count from the program's start: a count from system start taken in
// 32-bit arithmetic would wrap after 19.9 hours of up-time and leave every
// idle deadline stranded in the "future" until it wrapped again.
const uint64_t gStartMs = monotonicMs();

std::atomic<uint32_t> gRandomState{1};
std::atomic<uloMessageBoxHook> gBoxHook{nullptr};

}  // namespace

uint32_t ULO_Ticks() { return (uint32_t)((monotonicMs() - gStartMs) * 60u / 1000u); }

void ULO_WaitTicks(int32_t n) {
  const uint32_t start = ULO_Ticks();
  while ((int32_t)(ULO_Ticks() - start) < n) {
  }
}

bool ULO_EveTimeoutRepeated(int32_t& deadline, int32_t period) {
  // Compared as a difference so that the wrap of the tick count is harmless.
  if ((int32_t)((uint32_t)uloGlo.when - (uint32_t)deadline) > 0) {
    deadline = (int32_t)((uint32_t)uloGlo.when + (uint32_t)period);
    return true;
  }
  return false;
}

void ULO_SeedRandom(uint32_t seed) { gRandomState = seed; }

int16_t ULO_Random(int16_t n) {
  if (n <= 0) return 0;
  // The classic runtime generator: a 15-bit value from a 32-bit LCG.
  uint32_t s = gRandomState.load(std::memory_order_relaxed);
  s = s * 214013u + 2531011u;
  gRandomState.store(s, std::memory_order_relaxed);
  uint16_t r = (uint16_t)((s >> 16) & 0x7FFF);
  return (int16_t)(r % (uint16_t)n);
}

bool ULO_NewPtr(void** block, int32_t size) {
  if (!block) return false;
  *block = size >= 0 ? malloc(size > 0 ? (size_t)size : 1) : nullptr;
  return *block != nullptr;
}

void ULO_DisposePtr(void** block) {
  if (!block) return;
  free(*block);
  *block = nullptr;
}

// ---- message boxes ----

void ULO_SetMessageBoxHook(uloMessageBoxHook hook) { gBoxHook = hook; }

int16_t ULO_MessageBox(const char* title, const char* text, int16_t buttons, bool warningIcon) {
  if (buttons < 0) buttons = 0;
  if (buttons > 2) buttons = 2;
  if (!text) text = "";
  ULO_ReleaseMouseForBox();
  if (uloMessageBoxHook hook = gBoxHook.load()) return hook(title, text, buttons);
  uloBoxRequest box;
  // A title as long as a paragraph would make every dialog as wide as it.
  box.title = ULO_CutUtf8(ULO_Utf8OfLatin1(title ? title : ""), 80);
  box.text = ULO_Utf8OfLatin1(text);
  box.buttons = buttons;
  box.warning = warningIcon;
  // The text also goes to the log, where a headless run can read it.
  fprintf(stderr, "message box: ask: %s: %s\n", box.title.c_str(), box.text.c_str());
  return ULO_RunBoxChain(ULO_StandardBoxChain(), box);
}

int16_t ULO_UserNotify(const char* text, int16_t buttons) { return ULO_MessageBox("Warning", text, buttons, true); }

int16_t ULO_UserNotifyUtf8(const char* text, int16_t buttons) {
  return ULO_UserNotify(ULO_Latin1OfUtf8(text ? text : "").c_str(), buttons);
}

void ULO_DebugMessage(const char* text) {
  if (uloDebugFlag) ULO_MessageBox("ERROR", text, 0, false);
}

void ULO_DebugMessageNum(const char* text, long number) {
  if (!uloDebugFlag) return;
  char buf[512];
  snprintf(buf, sizeof buf, "%s %ld <%lx>", text ? text : "", number, (unsigned long)number);
  ULO_MessageBox("ERROR NUM", buf, 0, false);
}

