// Message boxes: the chain falls through to the next way with a logged
// reason, the desktop dialog's answers map to the box's results, and the box
// drawn in the window keeps the defaults, takes keys and clicks, and
// survives any text.
#include <SDL.h>
#include <SDL_ttf.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/files/uloPath.h"
#include "framework/platform/uloMessageBox.h"
#include "framework/platform/uloSys.h"
#include "support/tempFolder.h"

uint32_t* ULO_CanvasPixels(int* w, int* h);
TTF_Font* ULO_InterfaceFont(int pixels, bool bold);

namespace {

uloBoxRequest request(int16_t buttons, const std::string& text = "Quit now?", const std::string& title = "Jamloom") {
  uloBoxRequest r;
  r.title = title;
  r.text = text;
  r.buttons = buttons;
  r.warning = true;
  return r;
}

// ------------------------------------------------------------------ chain

// A double click that loads at once asks its question while the program
// still holds the press (its release has not come): every way of showing the
// box must find the mouse let go, or a desktop dialog gets no clicks.
int16_t gHeldWhenAsked = -1;

TEST(BoxChain, EveryWayOfAskingFindsTheMouseLetGo) {
  uloGlo.buttonDown = 1;
  const int16_t answer = ULO_RunBoxChain(
      {{"probe", [](const uloBoxRequest&, int16_t* a, std::string*) {
          gHeldWhenAsked = uloGlo.buttonDown;
          *a = 2;
          return true;
        }}},
      request(1));
  EXPECT_EQ(answer, 2);
  EXPECT_EQ(gHeldWhenAsked, 0);

  gHeldWhenAsked = -1;
  uloGlo.buttonDown = 1;
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t) -> int16_t {
    gHeldWhenAsked = uloGlo.buttonDown;
    return 1;
  });
  EXPECT_EQ(ULO_MessageBox("Jamloom", "Lose them?", 1, true), 1);
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t b) -> int16_t { return ULO_BoxDefault(b); });
  EXPECT_EQ(gHeldWhenAsked, 0);

  gHeldWhenAsked = -1;
  uloGlo.buttonDown = 1;
  ULO_SetTextEntryHook([](const std::string&, std::string&) {
    gHeldWhenAsked = uloGlo.buttonDown;
    return false;
  });
  std::string name = "mix";
  EXPECT_FALSE(ULO_AskTextInWindow("Jamloom", "Name", name));
  ULO_SetTextEntryHook(nullptr);
  EXPECT_EQ(gHeldWhenAsked, 0);
}

TEST(BoxChain, FallsThroughToTheFirstWayThatShowsAndLogsEachReason) {
  std::vector<std::string> tried;
  auto failing = [&](const char* name, const char* reason) {
    return uloBoxStep{name, [&tried, name, reason](const uloBoxRequest&, int16_t*, std::string* why) {
                        tried.push_back(name);
                        *why = reason;
                        return false;
                      }};
  };
  std::vector<uloBoxStep> chain = {
      failing("first", "not installed"), failing("second", "no fonts"),
      {"third", [&](const uloBoxRequest&, int16_t* answer, std::string*) {
         tried.push_back("third");
         *answer = 1;
         return true;
       }},
      failing("never", "must not be tried")};
  testing::internal::CaptureStderr();
  const int16_t answer = ULO_RunBoxChain(chain, request(1));
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(tried, (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_NE(log.find("message box: first failed: not installed\n"), std::string::npos) << log;
  EXPECT_NE(log.find("message box: second failed: no fonts\n"), std::string::npos) << log;
  EXPECT_NE(log.find("message box: answer 1\n"), std::string::npos) << log;
}

TEST(BoxChain, NothingShownGivesTheDefaultAndSaysSo) {
  std::vector<uloBoxStep> chain = {{"only", [](const uloBoxRequest&, int16_t*, std::string* why) {
                                      *why = "gone";
                                      return false;
                                    }}};
  testing::internal::CaptureStderr();
  EXPECT_EQ(ULO_RunBoxChain(chain, request(2)), 3);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("nothing could show it"), std::string::npos);
  EXPECT_EQ(ULO_RunBoxChain({}, request(1)), 2);
  EXPECT_EQ(ULO_RunBoxChain({}, request(0)), 1);
}

TEST(BoxChain, TheProgramsChainEndsWithTheBoxInTheWindow) {
  std::vector<std::string> names;
  for (const uloBoxStep& s : ULO_StandardBoxChain()) names.push_back(s.name);
  EXPECT_EQ(names, (std::vector<std::string>{"zenity", "kdialog", "sdl", "window"}));
}

TEST(BoxText, Latin1BecomesUtf8AndLongTextIsCutWithAnEllipsis) {
  EXPECT_EQ(ULO_Utf8OfLatin1("caf\xE9 \xFF"), "caf\xC3\xA9 \xC3\xBF");
  EXPECT_EQ(ULO_CutUtf8("h\xC3\xA9llo", 5), "h\xC3\xA9llo");
  EXPECT_EQ(ULO_CutUtf8("h\xC3\xA9llo", 3), "h\xC3\xA9\xE2\x80\xA6");
  EXPECT_EQ(ULO_CutUtf8(std::string(300, 'T'), 80), std::string(79, 'T') + "\xE2\x80\xA6");
}

TEST(BoxText, AFileNameInUtf8ShowsInLatin1AndWhatLatin1LacksAsOneQuestionMark) {
  EXPECT_EQ(ULO_Latin1OfUtf8("caf\xC3\xA9 \xC3\xBF \xC2\xAB"), "caf\xE9 \xFF \xAB");
  EXPECT_EQ(ULO_Latin1OfUtf8("\xE2\x82\xAC" "5 \xF0\x9F\x8E\xB5.jld"), "?5 ?.jld") << "euro sign, a note";
  EXPECT_EQ(ULO_Latin1OfUtf8("a\xE9" "b\xC3"), "a?b?") << "Latin-1 bytes and a cut sequence are no UTF-8";
  EXPECT_EQ(ULO_Utf8OfLatin1(ULO_Latin1OfUtf8("d\xC3\xA9j\xC3\xA0").c_str()), "d\xC3\xA9j\xC3\xA0");
}

// ----------------------------------------------------------- zenity step

// A stand-in zenity on PATH: records its arguments and answers as told.
class DesktopDialogStep : public ::testing::Test {
 protected:
  void SetUp() override {
    oldPath_ = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (dir_.sys() + ":/usr/bin:/bin").c_str(), 1);
  }
  void TearDown() override { setenv("PATH", oldPath_.c_str(), 1); }
  void answers(int code, const std::string& out, const std::string& err = "") {
    dir_.write("zenity", "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done >\"" + dir_.sys() + "args\"\nprintf '" +
                             out + "'\nprintf '" + err + "' >&2\nexit " + std::to_string(code) + "\n");
    chmod(dir_.file("zenity").c_str(), 0755);
  }
  bool show(int16_t buttons, int16_t* answer, std::string* why) {
    testing::internal::CaptureStderr();
    const bool shown = ULO_StandardBoxChain()[0].show(request(buttons), answer, why);
    testing::internal::GetCapturedStderr();
    return shown;
  }
  std::string args() { return dir_.read("args"); }
  TempFolder dir_;
  std::string oldPath_;
};

TEST_F(DesktopDialogStep, YesNoQuestionMakesNoTheDefaultAndMapsExitCodes) {
  int16_t answer = 0;
  std::string why;
  answers(0, "");
  ASSERT_TRUE(show(1, &answer, &why));
  EXPECT_EQ(answer, 1);
  EXPECT_NE(args().find("--question\n"), std::string::npos);
  EXPECT_NE(args().find("--default-cancel\n"), std::string::npos);
  EXPECT_NE(args().find("--cancel-label=_No\n"), std::string::npos);
  EXPECT_NE(args().find("--no-markup\n"), std::string::npos);
  answers(1, "");  // No, Escape or closed
  ASSERT_TRUE(show(1, &answer, &why));
  EXPECT_EQ(answer, 2);
}

TEST_F(DesktopDialogStep, ThreeButtonsTellNoFromCancel) {
  int16_t answer = 0;
  std::string why;
  answers(1, "_No\\n");
  ASSERT_TRUE(show(2, &answer, &why));
  EXPECT_EQ(answer, 2);
  EXPECT_NE(args().find("--extra-button=_No\n"), std::string::npos);
  EXPECT_NE(args().find("--cancel-label=_Cancel\n"), std::string::npos);
  answers(1, "");
  ASSERT_TRUE(show(2, &answer, &why));
  EXPECT_EQ(answer, 3);
  answers(0, "");
  ASSERT_TRUE(show(2, &answer, &why));
  EXPECT_EQ(answer, 1);
}

TEST_F(DesktopDialogStep, AZenityThatCannotReachTheDisplayIsAFailureNotANo) {
  int16_t answer = 0;
  std::string why;
  answers(1, "", "Gtk-WARNING **: cannot open display: :9\\n");
  EXPECT_FALSE(show(1, &answer, &why));
  EXPECT_NE(why.find("could not show it"), std::string::npos) << why;
  answers(255, "");
  EXPECT_FALSE(show(0, &answer, &why));
  dir_.write("zenity", "");
  remove(dir_.file("zenity").c_str());
  setenv("PATH", dir_.sys().c_str(), 1);
  EXPECT_FALSE(show(0, &answer, &why));
  EXPECT_EQ(why, "zenity is not installed");
}

TEST_F(DesktopDialogStep, AQuestionWithYesUnderReturnKeepsZenitysOwnDefault) {
  uloBoxRequest r = request(1);
  r.returnAnswer = 1;
  r.escapeAnswer = 2;
  int16_t answer = 0;
  std::string why;
  answers(1, "");  // Escape or No
  testing::internal::CaptureStderr();
  ASSERT_TRUE(ULO_StandardBoxChain()[0].show(r, &answer, &why));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, 2);
  EXPECT_EQ(args().find("--default-cancel"), std::string::npos);
}

// kdialog cannot move the default away from Yes: it serves warnings and
// questions whose default is Yes, and steps aside for the rest.
TEST_F(DesktopDialogStep, KdialogTakesOnlyBoxesWhoseDefaultItCanKeep) {
  dir_.write("kdialog", "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done >\"" + dir_.sys() + "args\"\nexit " +
                            "${CODE:-0}\n");
  chmod(dir_.file("kdialog").c_str(), 0755);
  const uloBoxStep kdialog = ULO_StandardBoxChain()[1];
  int16_t answer = 0;
  std::string why;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(kdialog.show(request(1), &answer, &why));
  EXPECT_EQ(why, "kdialog cannot make No or Cancel the default button");
  EXPECT_FALSE(kdialog.show(request(2), &answer, &why));
  ASSERT_TRUE(kdialog.show(request(0), &answer, &why));
  EXPECT_EQ(answer, 1);
  EXPECT_NE(args().find("--sorry\n"), std::string::npos);
  uloBoxRequest yesFirst = request(2);
  yesFirst.returnAnswer = 1;
  setenv("CODE", "2", 1);
  ASSERT_TRUE(kdialog.show(yesFirst, &answer, &why));
  EXPECT_EQ(answer, 3);
  EXPECT_NE(args().find("--warningyesnocancel\n"), std::string::npos);
  setenv("CODE", "1", 1);
  ASSERT_TRUE(kdialog.show(yesFirst, &answer, &why));
  EXPECT_EQ(answer, 2);
  setenv("CODE", "9", 1);
  EXPECT_FALSE(kdialog.show(yesFirst, &answer, &why));
  unsetenv("CODE");
  testing::internal::GetCapturedStderr();
}

// ------------------------------------------------------- in-window box

class InWindowBox : public ::testing::Test {
 protected:
  void SetUp() override {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
  }
  void TearDown() override {
    ULO_CloseWindow();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  static SDL_Event key(SDL_Keycode k, Uint16 mod = 0) {
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = k;
    e.key.keysym.mod = mod;
    return e;
  }
  static SDL_Event mouse(Uint32 type, int x, int y) {
    SDL_Event e;
    SDL_zero(e);
    e.type = type;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = x;
    e.button.y = y;
    return e;
  }
  static SDL_Point centre(const uloInWindowBox& b, int16_t answer) {
    for (const auto& bt : b.buttons())
      if (bt.answer == answer) return {bt.rect.x + bt.rect.w / 2, bt.rect.y + bt.rect.h / 2};
    ADD_FAILURE() << "no button " << answer;
    return {0, 0};
  }
  static int width(const std::string& s, bool bold = false) {
    int w = 0, h = 0;
    TTF_SizeUTF8(ULO_InterfaceFont(12, bold), s.c_str(), &w, &h);
    return w;
  }
};

TEST_F(InWindowBox, PressesMadeWhileABoxWasUpAreDroppedButReleasesStay) {
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  std::vector<uloBoxStep> chain = {{"elsewhere", [](const uloBoxRequest&, int16_t* answer, std::string*) {
                                      // The user clicks the main window and types while the box waits.
                                      SDL_Event e = mouse(SDL_MOUSEBUTTONDOWN, 40, 40);
                                      SDL_PushEvent(&e);
                                      e = mouse(SDL_MOUSEBUTTONUP, 40, 40);
                                      SDL_PushEvent(&e);
                                      e = key(SDLK_l);
                                      SDL_PushEvent(&e);
                                      e.type = SDL_KEYUP;
                                      SDL_PushEvent(&e);
                                      *answer = 2;
                                      return true;
                                    }}};
  testing::internal::CaptureStderr();
  EXPECT_EQ(ULO_RunBoxChain(chain, request(1)), 2);
  testing::internal::GetCapturedStderr();
  std::vector<Uint32> left;
  SDL_Event e;
  while (SDL_PollEvent(&e))
    if (e.type == SDL_MOUSEBUTTONDOWN || e.type == SDL_MOUSEBUTTONUP || e.type == SDL_KEYDOWN || e.type == SDL_KEYUP)
      left.push_back(e.type);
  EXPECT_EQ(left, (std::vector<Uint32>{SDL_MOUSEBUTTONUP, SDL_KEYUP}));
}

TEST_F(InWindowBox, ButtonsReadYesNoCancelWithTheDescribedDefaults) {
  uloInWindowBox ok(request(0), uloBoxLook());
  ASSERT_TRUE(ok.layout(640, 480));
  ASSERT_EQ(ok.buttons().size(), 1u);
  EXPECT_STREQ(ok.buttons()[0].label, "OK");
  EXPECT_EQ(ok.handle(key(SDLK_RETURN), 1), 1);
  EXPECT_EQ(ok.handle(key(SDLK_ESCAPE), 1), 1);

  uloInWindowBox yesNo(request(1), uloBoxLook());
  ASSERT_TRUE(yesNo.layout(640, 480));
  ASSERT_EQ(yesNo.buttons().size(), 2u);
  EXPECT_STREQ(yesNo.buttons()[0].label, "Yes");
  EXPECT_STREQ(yesNo.buttons()[1].label, "No");
  EXPECT_LT(yesNo.buttons()[0].rect.x, yesNo.buttons()[1].rect.x);
  EXPECT_EQ(yesNo.focused(), 2);
  EXPECT_EQ(yesNo.handle(key(SDLK_RETURN), 1), 2);
  EXPECT_EQ(yesNo.handle(key(SDLK_ESCAPE), 1), 2);
  EXPECT_EQ(yesNo.handle(key(SDLK_y), 1), 1);
  EXPECT_EQ(yesNo.handle(key(SDLK_n), 1), 2);
  EXPECT_EQ(yesNo.handle(key(SDLK_c), 1), 0);  // no Cancel here
  EXPECT_EQ(yesNo.handle(key(SDLK_q), 1), 0);  // other keys do nothing

  uloInWindowBox three(request(2), uloBoxLook());
  ASSERT_TRUE(three.layout(640, 480));
  ASSERT_EQ(three.buttons().size(), 3u);
  EXPECT_STREQ(three.buttons()[2].label, "Cancel");
  EXPECT_EQ(three.handle(key(SDLK_RETURN), 1), 3);
  EXPECT_EQ(three.handle(key(SDLK_ESCAPE), 1), 3);
  EXPECT_EQ(three.handle(key(SDLK_c), 1), 3);
  EXPECT_EQ(three.handle(key(SDLK_n), 1), 2);
}

TEST_F(InWindowBox, TabMovesTheFocusThatReturnAnswersButEscapeStaysTheDefault) {
  uloInWindowBox b(request(2), uloBoxLook());
  ASSERT_TRUE(b.layout(640, 480));
  EXPECT_EQ(b.handle(key(SDLK_TAB), 1), 0);  // Cancel -> Yes (wraps)
  EXPECT_EQ(b.focused(), 1);
  EXPECT_EQ(b.handle(key(SDLK_RIGHT), 1), 0);
  EXPECT_EQ(b.focused(), 2);
  EXPECT_EQ(b.handle(key(SDLK_TAB, KMOD_LSHIFT), 1), 0);
  EXPECT_EQ(b.focused(), 1);
  EXPECT_EQ(b.handle(key(SDLK_ESCAPE), 1), 3);
  EXPECT_EQ(b.handle(key(SDLK_RETURN), 1), 1);
}

TEST_F(InWindowBox, ReturnAndEscapeCanMeanDifferentAnswers) {
  uloBoxRequest r = request(1);
  r.returnAnswer = 1;  // the installer's question
  r.escapeAnswer = 2;
  uloInWindowBox b(r, uloBoxLook());
  ASSERT_TRUE(b.layout(640, 480));
  EXPECT_EQ(b.focused(), 1);
  EXPECT_EQ(b.handle(key(SDLK_RETURN), 1), 1);
  EXPECT_EQ(b.handle(key(SDLK_ESCAPE), 1), 2);
}

TEST_F(InWindowBox, AClickAnswersOnlyWhenPressedAndReleasedOnTheSameButton) {
  uloInWindowBox b(request(1), uloBoxLook());
  ASSERT_TRUE(b.layout(640, 480));
  // Window pixels at scale 2.
  const SDL_Point yes = centre(b, 1), no = centre(b, 2);
  EXPECT_EQ(b.handle(mouse(SDL_MOUSEBUTTONDOWN, 2 * yes.x, 2 * yes.y), 2), 0);
  EXPECT_EQ(b.pressed(), 1);
  EXPECT_EQ(b.handle(mouse(SDL_MOUSEBUTTONUP, 2 * no.x, 2 * no.y), 2), 0);
  EXPECT_EQ(b.pressed(), 0);
  EXPECT_EQ(b.handle(mouse(SDL_MOUSEBUTTONDOWN, 4, 4), 2), 0);  // outside every button
  EXPECT_EQ(b.handle(mouse(SDL_MOUSEBUTTONUP, 4, 4), 2), 0);
  EXPECT_EQ(b.handle(mouse(SDL_MOUSEBUTTONDOWN, 2 * yes.x, 2 * yes.y), 2), 0);
  EXPECT_EQ(b.handle(mouse(SDL_MOUSEBUTTONUP, 2 * yes.x + 1, 2 * yes.y), 2), 1);
}

TEST_F(InWindowBox, PaintsTheBoxOverTheShadedPicture) {
  uloBoxLook look;
  uloInWindowBox b(request(1, "Quit now?", "Question"), look);
  ASSERT_TRUE(b.layout(640, 480));
  std::vector<uint32_t> canvas(640 * 480, 0xFFFFFFFFu);
  b.paint(canvas.data(), 640, 480);
  auto at = [&](int x, int y) { return canvas[(size_t)y * 640 + x] & 0xFFFFFF; };
  const SDL_Rect f = b.frame();
  EXPECT_EQ(at(2, 2), 0x7F7F7Fu);  // white shaded by half toward black
  EXPECT_EQ(at(f.x, f.y + f.h / 2), look.frame);
  EXPECT_EQ(at(f.x + 3, f.y + f.h - 3), look.panel);
  // The default (No) carries the accent ring, Yes does not.
  const auto& yes = b.buttons()[0].rect;
  const auto& no = b.buttons()[1].rect;
  EXPECT_EQ(at(no.x, no.y + no.h / 2), look.accent);
  EXPECT_EQ(at(yes.x, yes.y + yes.h / 2), look.frame);
  // Text is drawn: the title bar and the text line hold pixels other than
  // their background.
  int titleInk = 0, textInk = 0;
  for (int x = f.x + 2; x < f.x + f.w - 2; ++x)
    for (int y = f.y + 2; y < f.y + 14; ++y) titleInk += at(x, y) != look.titleBar && at(x, y) != look.accent;
  for (int x = f.x + 2; x < f.x + f.w - 2; ++x)
    for (int y = yes.y - 30; y < yes.y - 12; ++y) textInk += at(x, y) != look.panel;
  EXPECT_GT(titleInk, 20);
  EXPECT_GT(textInk, 20);
}

TEST_F(InWindowBox, BadTextIsWrappedOrCutNeverOutsideTheCanvas) {
  // A 300-character title, a text far longer than the screen with a word
  // longer than a line, bytes that are no UTF-8, and no text at all.
  std::string longText;
  for (int i = 0; i < 2000; ++i) longText += "word" + std::to_string(i) + " ";
  longText += std::string(400, 'W');
  const std::string title(300, 'T');
  uloInWindowBox b(request(2, longText, title), uloBoxLook());
  ASSERT_TRUE(b.layout(640, 480));
  const SDL_Rect f = b.frame();
  EXPECT_GE(f.y, 0);
  EXPECT_LE(f.y + f.h, 480);
  EXPECT_GE(f.x, 0);
  EXPECT_LE(f.x + f.w, 640);
  const std::string ellipsis = "\xE2\x80\xA6";
  ASSERT_GE(b.shownTitle().size(), 3u);
  EXPECT_EQ(b.shownTitle().substr(b.shownTitle().size() - 3), ellipsis);
  EXPECT_LE(width(b.shownTitle(), true), f.w - 24);
  ASSERT_FALSE(b.lines().empty());
  EXPECT_EQ(b.lines().back().substr(b.lines().back().size() - 3), ellipsis);
  for (const std::string& line : b.lines()) EXPECT_LE(width(line), f.w - 24) << line;
  std::vector<uint32_t> canvas(640 * 480, 0xFF000000u);
  b.paint(canvas.data(), 640, 480);

  uloInWindowBox word(request(0, std::string(400, 'W')), uloBoxLook());
  ASSERT_TRUE(word.layout(640, 480));
  size_t total = 0;
  for (const std::string& line : word.lines()) {
    EXPECT_LE(width(line), word.frame().w - 24);
    total += line.size();
  }
  EXPECT_EQ(total, 400u);  // broken between characters, nothing lost
  EXPECT_GT(word.lines().size(), 1u);

  uloInWindowBox bytes(request(1, "\xFF\xFE\x80 caf\xE9 \xC3"), uloBoxLook());
  ASSERT_TRUE(bytes.layout(640, 480));
  bytes.paint(canvas.data(), 640, 480);

  uloInWindowBox empty(request(1, ""), uloBoxLook());
  ASSERT_TRUE(empty.layout(640, 480));
  EXPECT_TRUE(empty.lines().empty());
  EXPECT_EQ(empty.buttons().size(), 2u);
  EXPECT_GT(empty.buttons()[0].rect.y, empty.frame().y);
  empty.paint(canvas.data(), 640, 480);
  // The smallest window the program allows still holds every button.
  uloInWindowBox small(request(2, longText), uloBoxLook());
  ASSERT_TRUE(small.layout(160, 120));
  for (const auto& bt : small.buttons()) EXPECT_LE(bt.rect.x + bt.rect.w, 160);
}

TEST_F(InWindowBox, ModalLoopAnswersFromQueuedKeysAndRestoresThePicture) {
  ASSERT_TRUE(ULO_NewWindow(0, 640, 480));
  ULO_BoxFill(0, 0, 639, 479, 3);
  int w = 0, h = 0;
  const uint32_t* canvas = ULO_CanvasPixels(&w, &h);
  ASSERT_NE(canvas, nullptr);
  const std::vector<uint32_t> before(canvas, canvas + (size_t)w * h);
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  // The program's own event, queued before the box, must wait for it.
  SDL_Event own;
  SDL_zero(own);
  own.type = SDL_USEREVENT;
  own.user.code = 77;
  SDL_PushEvent(&own);
  SDL_Event up = key(SDLK_i);
  up.type = SDL_KEYUP;
  SDL_PushEvent(&up);
  SDL_Event n = key(SDLK_n);
  SDL_PushEvent(&n);
  int16_t answer = 0;
  std::string why;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(ULO_ShowInWindowBox(request(2), &answer, &why)) << why;
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, 2);
  EXPECT_NE(log.find("message box: offered to window: Jamloom"), std::string::npos);
  canvas = ULO_CanvasPixels(&w, &h);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), canvas));
  SDL_Event e;
  std::vector<Uint32> left;
  while (SDL_PollEvent(&e))
    if (e.type == SDL_USEREVENT || e.type == SDL_KEYUP) left.push_back(e.type);
  EXPECT_EQ(left, (std::vector<Uint32>{SDL_USEREVENT, SDL_KEYUP}));
}

TEST_F(InWindowBox, ASignalToCloseGivesTheEscapeAnswerAtOnce) {
  ASSERT_TRUE(ULO_NewWindow(0, 640, 480));
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  ULO_SetBoxInterruptCheck([] { return true; });
  int16_t answer = 0;
  std::string why;
  testing::internal::CaptureStderr();
  const bool shown = ULO_ShowInWindowBox(request(2), &answer, &why);
  testing::internal::GetCapturedStderr();
  ULO_SetBoxInterruptCheck(nullptr);
  ASSERT_TRUE(shown) << why;
  EXPECT_EQ(answer, 3);
}

TEST_F(InWindowBox, WithoutAMainWindowTheBoxOpensOneOfItsOwnAndClosesIt) {
  ASSERT_FALSE(ULO_HasWindow());
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  SDL_Event esc = key(SDLK_ESCAPE);
  SDL_PushEvent(&esc);
  int16_t answer = 0;
  std::string why;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(ULO_ShowInWindowBox(request(1), &answer, &why)) << why;
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, 2);
  EXPECT_FALSE(ULO_HasWindow());
}

// Where neither a dialog program nor SDL's box can show a question (this
// offscreen display has neither), the user still answers it: the box is
// drawn in the window and takes the key pressed, instead of the question
// answering itself with its default.
TEST_F(InWindowBox, AQuestionNoOtherWayCanShowIsStillAnsweredByTheUser) {
  ASSERT_TRUE(ULO_NewWindow(0, 640, 480));
  TempFolder empty;
  const std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", empty.sys().c_str(), 1);
  ULO_SetMessageBoxHook(nullptr);
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  SDL_Event yes = key(SDLK_y);
  SDL_PushEvent(&yes);
  testing::internal::CaptureStderr();
  const int16_t answer = ULO_MessageBox("Jamloom - Question", "Quit Jamloom?", 1, true);
  const std::string log = testing::internal::GetCapturedStderr();
  setenv("PATH", oldPath.c_str(), 1);
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t b) -> int16_t { return ULO_BoxDefault(b); });
  EXPECT_EQ(answer, 1) << log;
  EXPECT_NE(log.find("message box: zenity failed: zenity is not installed"), std::string::npos) << log;
  EXPECT_NE(log.find("message box: sdl failed: "), std::string::npos) << log;
  EXPECT_NE(log.find("message box: offered to window: Jamloom - Question"), std::string::npos) << log;
}

}  // namespace

namespace {
SDL_Event typed(const char* text) {
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_TEXTINPUT;
  snprintf(e.text.text, sizeof e.text.text, "%s", text);
  return e;
}
}  // namespace

TEST_F(InWindowBox, ANameEntryTakesTypedTextAndAnswersOkOrCancel) {
  uloBoxRequest r;
  r.title = "Jamloom";
  r.text = "Type the full name of the file to write:";
  r.entry = true;
  r.entryText = "/home/u/Music/";
  uloInWindowBox b(r, uloBoxLook());
  ASSERT_TRUE(b.layout(640, 480));
  ASSERT_EQ(b.buttons().size(), 2u);
  EXPECT_STREQ(b.buttons()[0].label, "OK");
  EXPECT_STREQ(b.buttons()[1].label, "Cancel");
  EXPECT_GT(b.entryField().w, 0);
  // Letters that answer a plain box ('n' is No) are text here.
  EXPECT_EQ(b.handle(typed("night"), 1), 0);
  EXPECT_EQ(b.handle(key(SDLK_n), 1), 0);
  EXPECT_EQ(b.handle(typed("\xC3\xA9"), 1), 0);  // one character, two bytes
  EXPECT_EQ(b.entryText(), "/home/u/Music/night\xC3\xA9");
  EXPECT_EQ(b.handle(key(SDLK_BACKSPACE), 1), 0);
  EXPECT_EQ(b.entryText(), "/home/u/Music/night");
  EXPECT_EQ(b.handle(typed(".wav"), 1), 0);
  EXPECT_EQ(b.handle(key(SDLK_RETURN), 1), 1);
  EXPECT_EQ(b.entryText(), "/home/u/Music/night.wav");
  std::vector<uint32_t> canvas(640 * 480, 0xFF000000u);
  b.paint(canvas.data(), 640, 480);  // draws with a long line without overrunning
  EXPECT_EQ(b.handle(key(SDLK_ESCAPE), 1), 3);
}

TEST(FileDialogStart, OpensAtTheLastFolderElseMusicElseHome) {
  TempFolder home;
  const char* saved = getenv("HOME");
  const std::string was = saved ? saved : "";
  const std::string h = home.sys().substr(0, home.sys().size() - 1);
  setenv("HOME", h.c_str(), 1);
  ULO_RememberDialogFolder("/nonexistent-folder/x.wav");  // gone: not used
  EXPECT_EQ(ULO_DialogStartFolder(), h);
  mkdir(home.file("Music").c_str(), 0755);
  EXPECT_EQ(ULO_DialogStartFolder(), home.file("Music"));
  mkdir(home.file("mixes").c_str(), 0755);
  ULO_RememberDialogFolder((home.file("mixes") + "/set.jld").c_str());
  EXPECT_EQ(ULO_DialogStartFolder(), home.file("mixes"));
  if (saved) setenv("HOME", was.c_str(), 1); else unsetenv("HOME");
}
