// The chain of ways to show a message box, its desktop and SDL steps, and
// the box drawn inside the program's window.
#include "framework/platform/uloMessageBox.h"

#include <SDL_syswm.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "core/sys/uloProcess.h"
#include "framework/platform/uloSys.h"

SDL_Window* ULO_MainSDLWindow();
uint32_t* ULO_CanvasPixels(int* w, int* h);
void ULO_CanvasChanged();
TTF_Font* ULO_InterfaceFont(int pixels, bool bold);
void ULO_WindowResized(int w, int h);

namespace {

uloBoxLook gLook;
std::atomic<bool (*)()> gInterrupted{nullptr};

// Titles longer than this are cut for every step: a desktop dialog would
// otherwise grow as wide as its title.
constexpr size_t kTitleChars = 80;
// Desktop dialogs grow with their text; beyond this it is cut.
constexpr size_t kDialogTextChars = 2000;

bool utf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

std::string oneLine(std::string s) {
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  return s;
}

}  // namespace

int16_t ULO_BoxDefault(int16_t buttons) { return buttons <= 0 ? 1 : buttons == 1 ? 2 : 3; }

namespace {
int16_t validAnswer(const uloBoxRequest& box, int16_t a) {
  const int16_t most = box.buttons <= 0 ? 1 : box.buttons == 1 ? 2 : 3;
  return a >= 1 && a <= most ? a : ULO_BoxDefault(box.buttons);
}
}  // namespace

int16_t ULO_BoxReturnAnswer(const uloBoxRequest& box) { return validAnswer(box, box.returnAnswer); }
int16_t ULO_BoxEscapeAnswer(const uloBoxRequest& box) { return validAnswer(box, box.escapeAnswer); }
void ULO_SetBoxInterruptCheck(bool (*pending)()) { gInterrupted = pending; }

std::string ULO_Utf8OfLatin1(const char* latin1) {
  std::string out;
  if (!latin1) return out;
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

std::string ULO_Latin1OfUtf8(const char* utf8) {
  std::string out;
  if (!utf8) return out;
  for (const unsigned char* p = (const unsigned char*)utf8; *p;) {
    if (*p < 0x80) {
      out += (char)*p++;
      continue;
    }
    // A two-byte sequence up to U+00FF keeps its character; any other
    // sequence (or stray byte) is one '?'.
    if ((*p == 0xC2 || *p == 0xC3) && utf8Continuation(p[1])) {
      out += (char)(((*p & 0x03) << 6) | (p[1] & 0x3F));
      p += 2;
      continue;
    }
    out += '?';
    ++p;
    while (utf8Continuation(*p)) ++p;
  }
  return out;
}

std::string ULO_CutUtf8(const std::string& text, size_t limit) {
  size_t chars = 0, i = 0;
  for (; i < text.size(); ++i) {
    if (utf8Continuation((unsigned char)text[i])) continue;
    if (chars == limit) break;
    ++chars;
  }
  if (i >= text.size()) return text;
  // Room for the ellipsis: one character less.
  std::string cut = text.substr(0, i);
  while (!cut.empty() && utf8Continuation((unsigned char)cut.back())) cut.pop_back();
  if (!cut.empty()) cut.pop_back();
  return cut + "\xE2\x80\xA6";
}

void ULO_SetBoxLook(const uloBoxLook& look) { gLook = look; }

void ULO_DropInputQueuedDuringBox() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  // Clicks and keys that reached the program's windows while a box was up
  // were meant for the box (or made while waiting for it): played back
  // afterwards, they would act on whatever lies under them, or ask the same
  // question again. Releases stay, so nothing is left held down.
  SDL_PumpEvents();
  for (Uint32 type : {SDL_KEYDOWN, SDL_TEXTEDITING, SDL_TEXTINPUT, SDL_MOUSEBUTTONDOWN, SDL_MOUSEWHEEL, SDL_FINGERDOWN})
    SDL_FlushEvent(type);
}

void ULO_ReleaseMouseForBox() {
  uloGlo.buttonDown = 0;
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  // SDL's own capture follows its idea of the buttons, which still holds the
  // unseen press down; only the program's explicit capture is wanted.
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
  SDL_CaptureMouse(SDL_FALSE);
}

int16_t ULO_RunBoxChain(const std::vector<uloBoxStep>& chain, const uloBoxRequest& box) {
  ULO_ReleaseMouseForBox();
  for (const uloBoxStep& step : chain) {
    int16_t answer = 0;
    std::string why;
    if (step.show(box, &answer, &why)) {
      answer = validAnswer(box, answer);
      fprintf(stderr, "message box: answer %d\n", answer);
      ULO_DropInputQueuedDuringBox();
      return answer;
    }
    fprintf(stderr, "message box: %s failed: %s\n", step.name, why.empty() ? "no reason given" : why.c_str());
  }
  const int16_t fallback = ULO_BoxReturnAnswer(box);
  fprintf(stderr, "message box: nothing could show it; taking answer %d\n", fallback);
  return fallback;
}

// ---------------------------------------------------------------- steps

namespace {

void announce(const char* step, const uloBoxRequest& box) {
  fprintf(stderr, "message box: offered to %s: %s\n", step, box.title.c_str());
}

// The X11 window of the program, to place a dialog over it; 0 without one.
unsigned long parentWindowId() {
  SDL_Window* w = ULO_MainSDLWindow();
  if (!w) return 0;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(w, &info)) return 0;
#if defined(SDL_VIDEO_DRIVER_X11)
  if (info.subsystem == SDL_SYSWM_X11) return (unsigned long)info.info.x11.window;
#endif
  return 0;
}

// A GTK program that cannot reach the display leaves with the code that
// also means "No", saying so only on its error output.
bool displayRefused(const std::string& errors) {
  return errors.find("cannot open display") != std::string::npos;
}

std::string firstLine(const std::string& s) {
  std::string t = s.substr(0, s.find('\n'));
  return t.size() > 200 ? t.substr(0, 200) : t;
}

// Runs a dialog program (args[0]) for the box: false with *why when it
// could not run; its error output goes on to the log.
bool runDialog(const std::vector<std::string>& args, const uloBoxRequest& box, std::string* out, int* code,
               std::string* errors, std::string* why) {
  const std::string& name = args[0];
  announce(name.c_str(), box);
  switch (ULO_RunCapture(args, out, code, errors)) {
    case uloRunResult::unavailable:
      *why = name + " is not installed";
      return false;
    case uloRunResult::crashed:
      *why = name + " ended by a signal";
      return false;
    case uloRunResult::finished:
      break;
  }
  if (!errors->empty()) fprintf(stderr, "%s", errors->c_str());
  *out = ULO_StripLineEnds(*out);
  return true;
}

bool showZenity(const uloBoxRequest& box, int16_t* answer, std::string* why) {
  std::vector<std::string> args = {"zenity", box.buttons == 0 ? (box.warning ? "--warning" : "--info") : "--question",
                                   "--title=" + box.title, "--text=" + ULO_CutUtf8(box.text, kDialogTextChars),
                                   "--no-markup", "--width=420"};
  if (box.warning) args.push_back("--icon-name=dialog-warning");
  if (box.buttons == 0) args.push_back("--ok-label=OK");
  if (box.buttons >= 1) {
    // zenity's "cancel" is our No (or Cancel with three buttons, where No is
    // the extra button); it is the default unless Return means Yes.
    args.push_back("--ok-label=_Yes");
    args.push_back(box.buttons == 1 ? "--cancel-label=_No" : "--cancel-label=_Cancel");
    if (box.buttons == 2) args.push_back("--extra-button=_No");
    if (ULO_BoxReturnAnswer(box) != 1) args.push_back("--default-cancel");
  }
  if (unsigned long parent = parentWindowId()) args.push_back("--attach=" + std::to_string(parent));
  std::string out, errors;
  int code = -1;
  if (!runDialog(args, box, &out, &code, &errors, why)) return false;
  if (code == 0) {
    *answer = 1;
    return true;
  }
  if (code == 1 && !displayRefused(errors)) {
    // The cancel-side button, Escape or the window closed, except the extra
    // No button, which names itself.
    if (box.buttons == 0)
      *answer = 1;
    else if (box.buttons == 2 && out == "_No")
      *answer = 2;
    else
      *answer = ULO_BoxReturnAnswer(box) != 1 ? ULO_BoxReturnAnswer(box) : ULO_BoxEscapeAnswer(box);
    return true;
  }
  *why = "zenity could not show it (exit code " + std::to_string(code) + ": " + firstLine(errors) + ")";
  return false;
}

bool showKdialog(const uloBoxRequest& box, int16_t* answer, std::string* why) {
  if (box.buttons > 0 && ULO_BoxReturnAnswer(box) != 1) {
    // kdialog's questions always make Yes the default button.
    *why = "kdialog cannot make No or Cancel the default button";
    return false;
  }
  const char* kind = box.buttons == 0 ? (box.warning ? "--sorry" : "--msgbox")
                                      : box.buttons == 1 ? (box.warning ? "--warningyesno" : "--yesno")
                                                         : (box.warning ? "--warningyesnocancel" : "--yesnocancel");
  std::vector<std::string> args = {"kdialog", "--title", box.title, kind, ULO_CutUtf8(box.text, kDialogTextChars)};
  if (unsigned long parent = parentWindowId()) {
    args.push_back("--attach");
    args.push_back(std::to_string(parent));
  }
  std::string out, errors;
  int code = -1;
  if (!runDialog(args, box, &out, &code, &errors, why)) return false;
  // 0 OK or Yes, 1 No (or closed), 2 Cancel.
  if (!displayRefused(errors) && code >= 0 && code <= (box.buttons == 2 ? 2 : 1)) {
    *answer = box.buttons == 0 ? 1 : (int16_t)(code + 1);
    return true;
  }
  *why = "kdialog could not show it (exit code " + std::to_string(code) + ": " + firstLine(errors) + ")";
  return false;
}

bool showSdl(const uloBoxRequest& box, int16_t* answer, std::string* why) {
  SDL_MessageBoxButtonData data[3];
  int count = 0;
  // SDL lists buttons right to left on some back ends; order them so that
  // they read Yes, No, Cancel.
  static const char* const labels[] = {"", "Yes", "No", "Cancel"};
  const int16_t last = box.buttons == 0 ? 1 : box.buttons == 1 ? 2 : 3;
  for (int16_t a = 1; a <= last; ++a) {
    Uint32 flags = 0;
    if (a == ULO_BoxReturnAnswer(box)) flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    if (a == ULO_BoxEscapeAnswer(box)) flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    data[count++] = {flags, a, box.buttons == 0 ? "OK" : labels[a]};
  }
  SDL_MessageBoxData d;
  SDL_zero(d);
  d.flags = box.warning ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION;
  d.window = ULO_MainSDLWindow();
  d.title = box.title.c_str();
  const std::string text = ULO_CutUtf8(box.text, kDialogTextChars);
  d.message = text.c_str();
  d.numbuttons = count;
  d.buttons = data;
  announce("sdl", box);
  int hit = -1;
  if (SDL_ShowMessageBox(&d, &hit) != 0) {
    *why = std::string("SDL's box failed: ") + SDL_GetError();
    return false;
  }
  // Closed without a button: as Escape.
  *answer = hit >= 1 && hit <= last ? (int16_t)hit : ULO_BoxEscapeAnswer(box);
  return true;
}

}  // namespace

std::vector<uloBoxStep> ULO_StandardBoxChain() {
  return {{"zenity", showZenity}, {"kdialog", showKdialog}, {"sdl", showSdl}, {"window", [](const uloBoxRequest& box, int16_t* answer, std::string* why) {
             return ULO_ShowInWindowBox(box, answer, why);
           }}};
}

// --------------------------------------------------------- in-window box

namespace {

constexpr int kTextPixels = 12;
constexpr int kMargin = 12;
constexpr int kButtonW = 72, kButtonH = 22, kButtonGap = 8;
const char* const kEllipsis = "\xE2\x80\xA6";

int textWidth(TTF_Font* font, const std::string& s) {
  int w = 0, h = 0;
  if (s.empty() || TTF_SizeUTF8(font, s.c_str(), &w, &h) != 0) return 0;
  return w;
}

// The longest start of `s` (whole characters) that is at most `width` wide.
size_t fitting(TTF_Font* font, const std::string& s, int width) {
  size_t lo = 0, hi = s.size();
  // Binary search over byte positions, each moved back to a character start.
  auto charStart = [&](size_t i) {
    while (i > 0 && i < s.size() && utf8Continuation((unsigned char)s[i])) --i;
    return i;
  };
  while (lo < hi) {
    size_t mid = charStart((lo + hi + 1) / 2);
    if (mid <= lo) {
      // Step one character at a time at the end of the search.
      size_t next = lo + 1;
      while (next < s.size() && utf8Continuation((unsigned char)s[next])) ++next;
      if (next <= hi && textWidth(font, s.substr(0, next)) <= width) {
        lo = next;
        continue;
      }
      break;
    }
    if (textWidth(font, s.substr(0, mid)) <= width)
      lo = mid;
    else
      hi = mid - 1;
  }
  return charStart(lo);
}

// `s` cut to `width` with an ellipsis when it does not fit.
std::string ellipsized(TTF_Font* font, const std::string& s, int width) {
  if (textWidth(font, s) <= width) return s;
  const int room = std::max(0, width - textWidth(font, kEllipsis));
  return s.substr(0, fitting(font, s, room)) + kEllipsis;
}

// Wraps at spaces; a word wider than the line is broken between characters.
// Stops after `most` lines (the rest would not be shown).
std::vector<std::string> wrap(TTF_Font* font, const std::string& text, int width, size_t most) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size() && out.size() < most) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string para = text.substr(start, end - start);
    if (para.empty()) out.push_back("");
    while (!para.empty() && out.size() < most) {
      if (textWidth(font, para) <= width) {
        out.push_back(para);
        break;
      }
      size_t fit = fitting(font, para, width);
      size_t space = para.rfind(' ', fit);
      size_t cut = (space != std::string::npos && space > 0) ? space : std::max<size_t>(fit, 1);
      // A lone character wider than the line still goes on a line of its own.
      while (cut < para.size() && utf8Continuation((unsigned char)para[cut])) ++cut;
      out.push_back(para.substr(0, cut));
      size_t next = cut;
      while (next < para.size() && para[next] == ' ') ++next;
      para = para.substr(next);
    }
    if (end >= text.size()) break;
    // "\r\n" is one line end.
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  while (!out.empty() && out.back().empty()) out.pop_back();
  return out;
}

uint32_t argb(uint32_t rgb) { return 0xFF000000u | (rgb & 0xFFFFFF); }

void fill(uint32_t* c, int w, int h, SDL_Rect r, uint32_t rgb) {
  const int x0 = std::max(r.x, 0), x1 = std::min(r.x + r.w, w);
  const int y0 = std::max(r.y, 0), y1 = std::min(r.y + r.h, h);
  for (int y = y0; y < y1; ++y) std::fill(c + (size_t)y * w + x0, c + (size_t)y * w + x1, argb(rgb));
}

void frameRect(uint32_t* c, int w, int h, SDL_Rect r, int t, uint32_t rgb) {
  fill(c, w, h, {r.x, r.y, r.w, t}, rgb);
  fill(c, w, h, {r.x, r.y + r.h - t, r.w, t}, rgb);
  fill(c, w, h, {r.x, r.y, t, r.h}, rgb);
  fill(c, w, h, {r.x + r.w - t, r.y, t, r.h}, rgb);
}

void drawText(uint32_t* c, int w, int h, TTF_Font* font, const std::string& s, int x, int y, uint32_t rgb) {
  if (!font || s.empty()) return;
  SDL_Color fg = {(Uint8)(rgb >> 16), (Uint8)(rgb >> 8), (Uint8)rgb, 255};
  SDL_Surface* t = TTF_RenderUTF8_Blended(font, s.c_str(), fg);
  if (!t) return;
  SDL_Surface* canvas = SDL_CreateRGBSurfaceWithFormatFrom(c, w, h, 32, w * 4, SDL_PIXELFORMAT_ARGB8888);
  if (canvas) {
    SDL_Rect dst = {x, y, t->w, t->h};
    SDL_SetSurfaceBlendMode(t, SDL_BLENDMODE_BLEND);
    SDL_BlitSurface(t, nullptr, canvas, &dst);
    SDL_FreeSurface(canvas);
  }
  SDL_FreeSurface(t);
}

}  // namespace

uloInWindowBox::uloInWindowBox(const uloBoxRequest& box, const uloBoxLook& look) : req_(box), look_(look) {
  req_.buttons = std::min<int16_t>(2, std::max<int16_t>(0, req_.buttons));
  focus_ = req_.entry ? int16_t(1) : ULO_BoxReturnAnswer(req_);
}

bool uloInWindowBox::layout(int w, int h) {
  TTF_Font* font = ULO_InterfaceFont(kTextPixels, false);
  TTF_Font* bold = ULO_InterfaceFont(kTextPixels, true);
  if (!font || !bold || w < 40 || h < 40) return false;
  lineHeight_ = std::max(1, TTF_FontLineSkip(font));
  const int boxW = std::max(std::min(w - 8, 160), std::min(w - 32, 440));
  const int textW = boxW - 2 * kMargin;
  const int titleH = lineHeight_ + 8;
  const int fieldH = req_.entry ? lineHeight_ + 8 + kMargin : 0;
  const int fixedH = titleH + kMargin + kMargin + kButtonH + kMargin + fieldH;
  // The box fits the canvas; text beyond its last line is cut.
  const int maxLines = std::max(1, (h - 16 - fixedH) / lineHeight_);
  title_ = ellipsized(bold, oneLine(req_.title), textW - (req_.warning ? 18 : 0));
  lines_ = wrap(font, req_.text, textW, (size_t)maxLines + 1);
  if ((int)lines_.size() > maxLines) {
    lines_.resize((size_t)maxLines);
    lines_.back() = ellipsized(font, lines_.back() + kEllipsis, textW);
    if (lines_.back().size() < 3 || lines_.back().compare(lines_.back().size() - 3, 3, kEllipsis) != 0)
      lines_.back() += kEllipsis;
  }
  const int boxH = fixedH + (int)lines_.size() * lineHeight_ - (lines_.empty() ? kMargin : 0);
  box_ = {(w - boxW) / 2, std::max(0, (h - boxH) / 2), boxW, boxH};
  buttons_.clear();
  field_ = {0, 0, 0, 0};
  if (req_.entry)
    field_ = {box_.x + kMargin, box_.y + box_.h - kMargin - kButtonH - kMargin - (lineHeight_ + 8), textW,
              lineHeight_ + 8};
  static const char* const labels[] = {"OK", "Yes", "No", "Cancel"};
  std::vector<int16_t> answers;
  if (req_.entry) {
    answers = {1, 3};
  } else {
    if (req_.buttons == 0) answers = {1};
    if (req_.buttons >= 1) answers = {1, 2};
    if (req_.buttons == 2) answers.push_back(3);
  }
  const int rowW = (int)answers.size() * kButtonW + ((int)answers.size() - 1) * kButtonGap;
  int x = box_.x + box_.w - kMargin - std::min(rowW, box_.w - 2 * kMargin);
  const int bw = std::min(kButtonW, (box_.w - 2 * kMargin - ((int)answers.size() - 1) * kButtonGap) / (int)answers.size());
  for (int16_t a : answers) {
    buttons_.push_back({{x, box_.y + box_.h - kMargin - kButtonH, bw, kButtonH}, a,
                        req_.entry ? labels[a == 1 ? 0 : 3] : req_.buttons == 0 ? labels[0] : labels[a]});
    x += bw + kButtonGap;
  }
  return true;
}

void uloInWindowBox::paint(uint32_t* c, int w, int h) const {
  // The program's picture stays visible behind the box, at half strength.
  const uint32_t shade = look_.shade & 0xFFFFFF;
  for (size_t i = 0, n = (size_t)w * h; i < n; ++i)
    c[i] = 0xFF000000u | (((c[i] & 0xFEFEFE) >> 1) + ((shade & 0xFEFEFE) >> 1));
  TTF_Font* font = ULO_InterfaceFont(kTextPixels, false);
  TTF_Font* bold = ULO_InterfaceFont(kTextPixels, true);
  fill(c, w, h, box_, look_.panel);
  const int titleH = lineHeight_ + 8;
  fill(c, w, h, {box_.x, box_.y, box_.w, titleH}, look_.titleBar);
  frameRect(c, w, h, box_, 1, look_.frame);
  int tx = box_.x + kMargin;
  if (req_.warning) {
    // The warning mark: an accent square holding "!".
    fill(c, w, h, {tx, box_.y + 4, 13, titleH - 8}, look_.accent);
    drawText(c, w, h, bold, "!", tx + 4, box_.y + 4, look_.titleBar);
    tx += 18;
  }
  drawText(c, w, h, bold, title_, tx, box_.y + 4, look_.text);
  int y = box_.y + titleH + kMargin;
  for (const std::string& line : lines_) {
    drawText(c, w, h, font, line, box_.x + kMargin, y, look_.text);
    y += lineHeight_;
  }
  if (req_.entry) {
    // The line typed so far, its end kept in view, with a caret after it.
    fill(c, w, h, field_, look_.titleBar);
    frameRect(c, w, h, field_, 1, look_.accent);
    std::string shown = req_.entryText;
    const int room = field_.w - 12;
    while (!shown.empty() && textWidth(font, shown) > room) {
      size_t cut = 1;
      while (cut < shown.size() && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) ++cut;
      shown.erase(0, cut);
    }
    drawText(c, w, h, font, shown, field_.x + 4, field_.y + 4, look_.text);
    fill(c, w, h, {field_.x + 5 + textWidth(font, shown), field_.y + 4, 2, lineHeight_}, look_.accent);
  }
  for (const Button& b : buttons_) {
    const bool down = b.answer == pressed_;
    fill(c, w, h, b.rect, down ? look_.frame : look_.button);
    frameRect(c, w, h, b.rect, 1, look_.frame);
    if (b.answer == focus_) frameRect(c, w, h, b.rect, 2, look_.accent);
    const int lw = textWidth(font, b.label);
    drawText(c, w, h, font, b.label, b.rect.x + (b.rect.w - lw) / 2, b.rect.y + (b.rect.h - lineHeight_) / 2,
             down ? look_.panel : look_.buttonText);
  }
}

int16_t uloInWindowBox::handle(const SDL_Event& e, int scale) {
  if (scale < 1) scale = 1;
  auto hit = [&](int wx, int wy) -> int16_t {
    SDL_Point p = {wx / scale, wy / scale};
    for (const Button& b : buttons_)
      if (SDL_PointInRect(&p, &b.rect)) return b.answer;
    return 0;
  };
  const int16_t escape = ULO_BoxEscapeAnswer(req_);
  if (req_.entry && e.type == SDL_TEXTINPUT) {
    req_.entryText += e.text.text;
    return 0;
  }
  if (req_.entry && e.type == SDL_KEYDOWN) {
    const SDL_Keycode k = e.key.keysym.sym;
    if (k == SDLK_RETURN || k == SDLK_KP_ENTER) return focus_;
    if (k == SDLK_ESCAPE) return 3;
    if (k == SDLK_BACKSPACE && !req_.entryText.empty()) {
      // One character, however many bytes it takes.
      size_t at = req_.entryText.size() - 1;
      while (at > 0 && (static_cast<unsigned char>(req_.entryText[at]) & 0xC0) == 0x80) --at;
      req_.entryText.erase(at);
    }
    if (k == SDLK_TAB) focus_ = focus_ == 1 ? 3 : 1;
    return 0;
  }
  switch (e.type) {
    case SDL_KEYDOWN: {
      const SDL_Keycode k = e.key.keysym.sym;
      if (k == SDLK_RETURN || k == SDLK_KP_ENTER || k == SDLK_SPACE) return focus_;
      if (k == SDLK_ESCAPE) return escape;
      if (req_.buttons == 0 && k == SDLK_o) return 1;
      if (req_.buttons >= 1 && k == SDLK_y) return 1;
      if (req_.buttons >= 1 && k == SDLK_n) return 2;
      if (req_.buttons == 2 && k == SDLK_c) return 3;
      const bool back = k == SDLK_LEFT || (k == SDLK_TAB && (e.key.keysym.mod & KMOD_SHIFT));
      if (k == SDLK_TAB || k == SDLK_RIGHT || back) {
        const int n = (int)buttons_.size();
        int i = 0;
        while (i < n && buttons_[i].answer != focus_) ++i;
        if (n > 0) focus_ = buttons_[(size_t)((i + (back ? n - 1 : 1)) % n)].answer;
      }
      return 0;
    }
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button == SDL_BUTTON_LEFT) pressed_ = hit(e.button.x, e.button.y);
      return 0;
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT) {
        const int16_t was = pressed_;
        pressed_ = 0;
        // A click answers when pressed and released on the same button.
        if (was && hit(e.button.x, e.button.y) == was) return was;
      }
      return 0;
    default:
      return 0;
  }
}

bool ULO_ShowInWindowBox(const uloBoxRequest& box, int16_t* answer, std::string* why, std::string* entered) {
  bool ownWindow = false;
  if (!ULO_HasWindow()) {
    // Before the main window exists (or after it closed) the box brings
    // its own.
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
      *why = "no display";
      return false;
    }
    if (!ULO_NewWindow(3, 640, 480)) {
      *why = std::string("no window: ") + SDL_GetError();
      return false;
    }
    ULO_SetWindowTitle(box.title.c_str());
    ownWindow = true;
  }
  auto finish = [&](bool ok) {
    if (ownWindow) ULO_CloseWindow();
    return ok;
  };
  int w = 0, h = 0;
  uint32_t* canvas = ULO_CanvasPixels(&w, &h);
  if (!canvas) {
    *why = "the window has no picture";
    return finish(false);
  }
  std::vector<uint32_t> saved(canvas, canvas + (size_t)w * h);
  uloInWindowBox view(box, gLook);
  if (!view.layout(w, h)) {
    *why = "no interface font";
    return finish(false);
  }
  auto repaint = [&]() {
    std::copy(saved.begin(), saved.end(), canvas);
    view.paint(canvas, w, h);
    ULO_CanvasChanged();
    ULO_PresentIfDirty();
  };
  repaint();
  if (SDL_Window* win = ULO_MainSDLWindow()) SDL_RaiseWindow(win);
  // Typed characters come as text, whatever the keyboard layout.
  const bool textWasOn = SDL_IsTextInputActive();
  if (box.entry && !textWasOn) SDL_StartTextInput();
  announce("window", box);

  // Key releases go back to the program afterwards (a key held when the box
  // came must not stay down for it); its own events (the user-event range)
  // stay queued for it.
  std::vector<SDL_Event> keep;
  bool resized = false;
  SDL_Event lastResize;
  int16_t result = 0;
  while (!result) {
    bool (*interrupted)() = gInterrupted.load();
    if (interrupted && interrupted()) {
      result = ULO_BoxEscapeAnswer(box);
      break;
    }
    SDL_PumpEvents();
    SDL_Event e;
    if (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_USEREVENT - 1) < 1) {
      SDL_Delay(10);
      continue;
    }
    bool dirty = false;
    switch (e.type) {
      case SDL_QUIT:
        result = ULO_BoxEscapeAnswer(box);
        break;
      case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) result = ULO_BoxEscapeAnswer(box);
        if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
          ULO_WindowResized(e.window.data1, e.window.data2);
          canvas = ULO_CanvasPixels(&w, &h);
          if (!canvas) {
            result = ULO_BoxEscapeAnswer(box);
            break;
          }
          // The program repaints all of a new size once the box is gone.
          saved.assign((size_t)w * h, 0xFF000000u);
          view.layout(w, h);
          resized = true;
          lastResize = e;
          dirty = true;
        }
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED) dirty = true;
        break;
      case SDL_KEYUP:
        keep.push_back(e);
        break;
      default: {
        const int16_t before = view.pressed() * 8 + view.focused();
        const size_t typed = view.entryText().size();
        result = view.handle(e, ULO_WindowScale());
        dirty = before != view.pressed() * 8 + view.focused() || typed != view.entryText().size();
        break;
      }
    }
    if (dirty && !result) repaint();
  }
  if (canvas) {
    std::copy(saved.begin(), saved.end(), canvas);
    ULO_CanvasChanged();
    ULO_PresentIfDirty();
  }
  if (box.entry && !textWasOn) SDL_StopTextInput();
  if (resized) keep.push_back(lastResize);
  for (SDL_Event& e : keep) SDL_PushEvent(&e);
  *answer = result;
  if (entered) *entered = view.entryText();
  return finish(true);
}

namespace {
bool (*gTextEntryHook)(const std::string&, std::string&) = nullptr;
}

void ULO_SetTextEntryHook(bool (*hook)(const std::string& prompt, std::string& text)) { gTextEntryHook = hook; }

bool ULO_AskTextInWindow(const std::string& title, const std::string& prompt, std::string& text) {
  ULO_ReleaseMouseForBox();
  if (gTextEntryHook) return gTextEntryHook(prompt, text);
  uloBoxRequest box;
  box.title = title;
  box.text = prompt;
  box.entry = true;
  box.entryText = text;
  int16_t answer = 0;
  std::string why, typed;
  // Logged as every box is, so that whoever reads the output (and the
  // end-to-end checks) sees the question and its answer.
  fprintf(stderr, "message box: ask: %s\n", prompt.c_str());
  fprintf(stderr, "message box: offered to window: %s\n", title.c_str());
  if (!ULO_ShowInWindowBox(box, &answer, &why, &typed)) {
    fprintf(stderr, "message box: window failed: %s\n", why.c_str());
    fprintf(stderr, "message box: answer 0\n");
    return false;
  }
  fprintf(stderr, "message box: answer %d\n", answer);
  ULO_DropInputQueuedDuringBox();
  if (answer != 1 || typed.empty()) return false;
  text = typed;
  return true;
}
