#include "installer/app/jlInstallerWindows.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <cstdio>
#include <memory>
#include <string>

#include "core/sys/uloProcess.h"
#include "framework/platform/uloMessageBox.h"
#include "installer/jlFolderChooser.h"

namespace {

// The installer's boxes go through the same chain as the program's (the
// desktop's dialog, SDL's box, a box in a window of its own), so they are
// shown on every desktop and a question never answers itself.
bool askYesNo(const std::string& text) {
  uloBoxRequest box;
  box.text = text;
  box.buttons = 1;
  // As the platform's Yes/No question: Yes under Return, No under Escape.
  box.returnAnswer = 1;
  box.escapeAnswer = 2;
  fprintf(stderr, "message box: ask: : %s\n", text.c_str());
  return ULO_RunBoxChain(ULO_StandardBoxChain(), box) == 1;
}

void showError(const std::string& text) {
  uloBoxRequest box;
  box.title = "Error";
  box.text = text;
  box.warning = true;
  fprintf(stderr, "message box: ask: Error: %s\n", text.c_str());
  ULO_RunBoxChain(ULO_StandardBoxChain(), box);
}

void showInfo(const std::string& text) {
  uloBoxRequest box;
  box.title = "Jamloom";
  box.text = text;
  fprintf(stderr, "message box: ask: Jamloom: %s\n", text.c_str());
  ULO_RunBoxChain(ULO_StandardBoxChain(), box);
}

std::string fontFile() {
  std::string found = ULO_FindInterfaceFont(false);
  return found.empty() ? "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf" : found;
}

// The "Decompressing..." window: one line of text and a progress bar. It
// ignores the close button, as the work cannot be stopped half-way.
class WaitingWindow {
 public:
  ~WaitingWindow() { close(); }

  void open() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
    window_ = SDL_CreateWindow(kJLWaitingTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kWidth, kHeight,
                               SDL_WINDOW_SHOWN);
    if (!window_) return;
    if (TTF_WasInit() || TTF_Init() == 0) {
      ttfStarted_ = true;
      if (TTF_Font* font = TTF_OpenFont(fontFile().c_str(), 13)) {
        text_ = TTF_RenderUTF8_Blended(font, kJLWaitingText, SDL_Color{0, 0, 0, 255});
        TTF_CloseFont(font);
      }
    }
    // Let the window manager map the window and paint it before the work
    // takes the thread.
    const Uint32 until = SDL_GetTicks() + 150;
    while (!SDL_TICKS_PASSED(SDL_GetTicks(), until)) {
      pump();
      SDL_Delay(10);
    }
  }

  void progress(int done, int total) {
    done_ = done;
    total_ = total;
    pump();
  }

  void close() {
    if (text_) SDL_FreeSurface(text_);
    text_ = nullptr;
    if (window_) SDL_DestroyWindow(window_);
    window_ = nullptr;
    if (ttfStarted_) TTF_Quit();
    ttfStarted_ = false;
  }

 private:
  static constexpr int kWidth = 440, kHeight = 76;

  void pump() {
    if (!window_) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
    }
    paint();
  }

  void paint() {
    SDL_Surface* s = SDL_GetWindowSurface(window_);
    if (!s) return;
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 236, 236, 236));
    if (text_) {
      SDL_Rect at = {(s->w - text_->w) / 2, 18, text_->w, text_->h};
      SDL_BlitSurface(text_, nullptr, s, &at);
    }
    SDL_Rect bar = {20, s->h - 24, s->w - 40, 8};
    SDL_FillRect(s, &bar, SDL_MapRGB(s->format, 200, 200, 200));
    if (total_ > 0) {
      bar.w = bar.w * done_ / total_;
      SDL_FillRect(s, &bar, SDL_MapRGB(s->format, 70, 110, 180));
    }
    SDL_UpdateWindowSurface(window_);
  }

  SDL_Window* window_ = nullptr;
  SDL_Surface* text_ = nullptr;
  bool ttfStarted_ = false;
  int done_ = 0, total_ = 0;
};

}  // namespace

JLInstallerUi JL_DesktopInstallerUi() {
  auto waiting = std::make_shared<WaitingWindow>();
  JLInstallerUi ui;
  ui.chooseFolder = [](const std::string& title, std::string* folder) {
    return JL_RunFolderChooser("zenity", title, folder);
  };
  ui.askYesNo = askYesNo;
  ui.showError = showError;
  ui.showInfo = showInfo;
  ui.beginWork = [waiting](int) { waiting->open(); };
  ui.progress = [waiting](int done, int total) { waiting->progress(done, total); };
  ui.endWork = [waiting]() { waiting->close(); };
  return ui;
}
