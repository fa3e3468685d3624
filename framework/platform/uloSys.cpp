// Clock, random numbers, memory blocks and message boxes.
#include "framework/platform/uloSys.h"

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

SDL_Window* ULO_MainSDLWindow();

namespace {

// The program's texts are Latin-1; SDL wants UTF-8.
std::string utf8Of(const char* latin1) {
  std::string out;
  for (const unsigned char* p = (const unsigned char*)latin1; *p; ++p) {
    if (*p < 0x80) {
      out += (char)*p;
    } else {
      out += (char)(0xC0 | (*p >> 6));
      out += (char)(0x80 | (*p & 0x3F));
    }
  }
  return out;
}

}  // namespace

int16_t ULO_MessageBox(const char* title, const char* text, int16_t buttons, bool warningIcon) {
  if (buttons < 0) buttons = 0;
  if (buttons > 2) buttons = 2;
  if (!text) text = "";
  if (uloMessageBoxHook hook = gBoxHook.load()) return hook(title, text, buttons);
  const std::string utfTitle = utf8Of(title ? title : ""), utfText = utf8Of(text);
  // The text also goes to the log, where a headless run can read it.
  fprintf(stderr, "%s: %s\n", utfTitle.c_str(), utfText.c_str());
  const int16_t fallback = buttons == 0 ? 1 : buttons == 1 ? 2 : 3;
  SDL_MessageBoxButtonData data[3];
  int count = 0;
  // SDL lists buttons right to left on some back ends; order them so that
  // they read Yes, No, Cancel.
  if (buttons == 0) {
    data[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 1, "OK"};
  } else {
    data[count++] = {0, 1, "Yes"};
    if (buttons == 1) {
      data[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 2, "No"};
    } else {
      data[count++] = {0, 2, "No"};
      data[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 3, "Cancel"};
    }
  }
  SDL_MessageBoxData box;
  SDL_zero(box);
  box.flags = warningIcon ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION;
  box.window = ULO_MainSDLWindow();
  box.title = utfTitle.c_str();
  box.message = utfText.c_str();
  box.numbuttons = count;
  box.buttons = data;
  int hit = -1;
  if (SDL_ShowMessageBox(&box, &hit) != 0 || hit < 1) return fallback;
  return (int16_t)hit;
}

int16_t ULO_UserNotify(const char* text, int16_t buttons) { return ULO_MessageBox("Warning", text, buttons, true); }

void ULO_DebugMessage(const char* text) {
  if (uloDebugFlag) ULO_MessageBox("ERROR", text, 0, false);
}

void ULO_DebugMessageNum(const char* text, long number) {
  if (!uloDebugFlag) return;
  char buf[512];
  snprintf(buf, sizeof buf, "%s %ld <%lx>", text ? text : "", number, (unsigned long)number);
  ULO_MessageBox("ERROR NUM", buf, 0, false);
}

void QXGoUrl(const char* address) {
  if (address && *address) SDL_OpenURL(address);
}
