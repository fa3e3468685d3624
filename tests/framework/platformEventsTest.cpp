#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include <string>

#include "core/sys/uloRemote.h"
#include "framework/platform/uloEvents.h"
#include "framework/platform/uloSys.h"

namespace {

SDL_Event key(Uint32 type, SDL_Keycode sym, Uint16 mod = 0, Uint8 repeat = 0,
              SDL_Scancode scancode = SDL_SCANCODE_UNKNOWN) {
  SDL_Event e;
  SDL_zero(e);
  e.type = type;
  e.key.keysym.sym = sym;
  e.key.keysym.mod = mod;
  e.key.keysym.scancode = scancode;
  e.key.repeat = repeat;
  return e;
}

uloEventAction run(const SDL_Event& e, uloGlobalsRec& g, int scale = 1) {
  return ULO_TranslateEvent(e, g, scale, 1234, nullptr);
}

TEST(KeyTranslation, HeldKeyGivesDownThenRepeats) {
  uloGlobalsRec g;
  EXPECT_EQ(run(key(SDL_KEYDOWN, SDLK_a), g), uloEventAction::handOver);
  EXPECT_EQ(g.what, uloEvtKeyDown);
  EXPECT_EQ(g.character, 'a');
  EXPECT_EQ(g.keyCode, 'a');
  EXPECT_EQ(g.when, 1234);
  run(key(SDL_KEYDOWN, SDLK_a, 0, 1), g);
  EXPECT_EQ(g.what, uloEvtAutoKey);
}

TEST(KeyTranslation, FixedCodes) {
  struct {
    SDL_Keycode sym;
    uint8_t code;
  } cases[] = {{SDLK_RETURN, 13}, {SDLK_KP_ENTER, 13}, {SDLK_LEFT, 28}, {SDLK_RIGHT, 29}, {SDLK_UP, 30},
               {SDLK_DOWN, 31},   {SDLK_DELETE, 127}, {SDLK_KP_7, '7'}, {SDLK_TAB, 9},    {SDLK_BACKSPACE, 8}};
  for (auto c : cases) {
    uloGlobalsRec g;
    run(key(SDL_KEYDOWN, c.sym), g);
    EXPECT_EQ(g.what, uloEvtKeyDown) << c.sym;
    EXPECT_EQ(g.keyCode, c.code) << c.sym;
  }
}

TEST(KeyTranslation, SpecialKeys) {
  uloGlobalsRec g;
  run(key(SDL_KEYDOWN, SDLK_F1), g);
  EXPECT_EQ(g.specialKey, 1);
  EXPECT_EQ(g.what, uloEvtKeyDown);
  run(key(SDL_KEYDOWN, SDLK_F12), g);
  EXPECT_EQ(g.specialKey, 12);
  run(key(SDL_KEYDOWN, SDLK_ESCAPE), g);
  EXPECT_EQ(g.specialKey, 20);
  run(key(SDL_KEYDOWN, SDLK_PAGEUP), g);
  EXPECT_EQ(g.specialKey, 20);
  run(key(SDL_KEYDOWN, SDLK_PAGEDOWN), g);
  EXPECT_EQ(g.specialKey, 21);
  run(key(SDL_KEYDOWN, SDLK_a), g);
  EXPECT_EQ(g.specialKey, 0);
}

TEST(KeyTranslation, CharactersComeFromTheTextTheKeyTyped) {
  ULO_ResetKeyTranslation();
  uloGlobalsRec g;
  // A French keyboard: the key left of 2 shows & and, shifted, types 1.
  ULO_TranslateEvent(key(SDL_KEYDOWN, SDLK_AMPERSAND, KMOD_LSHIFT, 0, SDL_SCANCODE_1), g, 1, 0, nullptr, "1");
  EXPECT_EQ(g.what, uloEvtKeyDown);
  EXPECT_EQ(g.character, '1');
  EXPECT_EQ(g.keyCode, '1');
  EXPECT_EQ(g.shift, 1);
  // A German keyboard types + without Shift, and a Latin-1 letter.
  ULO_TranslateEvent(key(SDL_KEYDOWN, SDLK_PLUS, 0, 0, SDL_SCANCODE_RIGHTBRACKET), g, 1, 0, nullptr, "+");
  EXPECT_EQ(g.keyCode, '+');
  ULO_TranslateEvent(key(SDL_KEYDOWN, 0xF6, 0, 0, SDL_SCANCODE_SEMICOLON), g, 1, 0, nullptr, "\xC3\xB6");
  EXPECT_EQ(g.character, 0xF6);
  // Control keeps its control codes (no text comes with it).
  ULO_TranslateEvent(key(SDL_KEYDOWN, SDLK_b, KMOD_LCTRL, 0, SDL_SCANCODE_B), g, 1, 0, nullptr, nullptr);
  EXPECT_EQ(g.character, 2);
  // Without typed text: the key's own character, letters after Shift and
  // Caps Lock, and no guessed US shift table.
  run(key(SDL_KEYDOWN, SDLK_a, KMOD_LSHIFT), g);
  EXPECT_EQ(g.character, 'A');
  run(key(SDL_KEYDOWN, SDLK_a, KMOD_CAPS), g);
  EXPECT_EQ(g.character, 'A');
  run(key(SDL_KEYDOWN, SDLK_1, KMOD_RSHIFT), g);
  EXPECT_EQ(g.character, '1');
  ULO_ResetKeyTranslation();
}

TEST(KeyTranslation, KeypadOperatorsAreKeys) {
  struct {
    SDL_Keycode sym;
    uint8_t code;
  } cases[] = {{SDLK_KP_PLUS, '+'},   {SDLK_KP_MINUS, '-'},  {SDLK_KP_MULTIPLY, '*'},
               {SDLK_KP_DIVIDE, '/'}, {SDLK_KP_PERIOD, '.'}, {SDLK_KP_5, '5'}};
  for (auto c : cases) {
    uloGlobalsRec g;
    run(key(SDL_KEYDOWN, c.sym), g);
    EXPECT_EQ(g.what, uloEvtKeyDown) << c.sym;
    EXPECT_EQ(g.keyCode, c.code) << c.sym;
    run(key(SDL_KEYUP, c.sym), g);
    EXPECT_EQ(g.what, uloEvtKeyUp) << c.sym;
    EXPECT_EQ(g.keyCode, c.code) << c.sym;
  }
}

TEST(KeyTranslation, AReleaseLetsGoOfWhatItsPressPressed) {
  ULO_ResetKeyTranslation();
  uloGlobalsRec g;
  // Shift down, "=" down (typing +), Shift up, "=" up: the release is "+".
  ULO_TranslateEvent(key(SDL_KEYDOWN, SDLK_EQUALS, KMOD_LSHIFT, 0, SDL_SCANCODE_EQUALS), g, 1, 0, nullptr, "+");
  EXPECT_EQ(g.keyCode, '+');
  ULO_TranslateEvent(key(SDL_KEYDOWN, SDLK_EQUALS, 0, 1, SDL_SCANCODE_EQUALS), g, 1, 0, nullptr, "=");
  EXPECT_EQ(g.what, uloEvtAutoKey);
  EXPECT_EQ(g.keyCode, '+') << "a repeat is the key that went down";
  run(key(SDL_KEYUP, SDLK_EQUALS, 0, 0, SDL_SCANCODE_EQUALS), g);
  EXPECT_EQ(g.what, uloEvtKeyUp);
  EXPECT_EQ(g.keyCode, '+');
  EXPECT_EQ(g.character, '+');
  // Shift+b released after Shift: "B" goes up.
  ULO_TranslateEvent(key(SDL_KEYDOWN, SDLK_b, KMOD_LSHIFT, 0, SDL_SCANCODE_B), g, 1, 0, nullptr, "B");
  run(key(SDL_KEYUP, SDLK_b, 0, 0, SDL_SCANCODE_B), g);
  EXPECT_EQ(g.keyCode, 'B');
  // Once released the key has no memory: a release alone maps afresh.
  run(key(SDL_KEYUP, SDLK_b, 0, 0, SDL_SCANCODE_B), g);
  EXPECT_EQ(g.keyCode, 'b');
}

TEST(KeyTranslation, KeysHeldWhenTheKeyboardGoesAwayAreLetGoOfOnceEach) {
  ULO_ResetKeyTranslation();
  uloGlobalsRec g;
  ULO_TranslateEvent(key(SDL_KEYDOWN, SDLK_RETURN, 0, 0, SDL_SCANCODE_RETURN), g, 1, 0, nullptr, nullptr);
  ULO_TranslateEvent(key(SDL_KEYDOWN, SDLK_b, KMOD_LSHIFT, 0, SDL_SCANCODE_B), g, 1, 0, nullptr, "B");
  ULO_TranslateEvent(key(SDL_KEYDOWN, SDLK_F1, 0, 0, SDL_SCANCODE_F1), g, 1, 0, nullptr, nullptr);
  ULO_TranslateEvent(key(SDL_KEYDOWN, SDLK_a, 0, 0, SDL_SCANCODE_A), g, 1, 0, nullptr, "a");
  run(key(SDL_KEYUP, SDLK_a, 0, 0, SDL_SCANCODE_A), g);  // let go normally
  // Each held key once, as its press gave it (scancode order); F1 has no
  // code to let go of in the key table.
  std::string released;
  while (ULO_TakeHeldKeyRelease(g)) {
    EXPECT_EQ(g.what, uloEvtKeyUp);
    EXPECT_EQ(g.character, g.keyCode);
    released += char(g.keyCode);
  }
  EXPECT_EQ(released, "B\r");
  EXPECT_FALSE(ULO_TakeHeldKeyRelease(g));

  // Against the keyboard's state: only keys it no longer shows down.
  ULO_TranslateEvent(key(SDL_KEYDOWN, SDLK_RETURN, 0, 0, SDL_SCANCODE_RETURN), g, 1, 0, nullptr, nullptr);
  ULO_TranslateEvent(key(SDL_KEYDOWN, SDLK_s, 0, 0, SDL_SCANCODE_S), g, 1, 0, nullptr, "s");
  Uint8 state[SDL_NUM_SCANCODES] = {};
  state[SDL_SCANCODE_S] = 1;
  ASSERT_TRUE(ULO_TakeHeldKeyRelease(g, state, SDL_NUM_SCANCODES));
  EXPECT_EQ(g.keyCode, uloKeyReturn) << "Return is up, its release never came";
  EXPECT_FALSE(ULO_TakeHeldKeyRelease(g, state, SDL_NUM_SCANCODES)) << "S is still down";
  state[SDL_SCANCODE_S] = 0;
  ASSERT_TRUE(ULO_TakeHeldKeyRelease(g, state, SDL_NUM_SCANCODES));
  EXPECT_EQ(g.keyCode, 's');
  ULO_ResetKeyTranslation();
}

TEST(KeyTranslation, TheTextBehindAKeyDownIsTakenOnlyWhenItIsNext) {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0);
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  SDL_Event t;
  SDL_zero(t);
  t.type = SDL_TEXTINPUT;
  SDL_strlcpy(t.text.text, "+", sizeof t.text.text);
  SDL_Event k = key(SDL_KEYDOWN, SDLK_EQUALS, KMOD_LSHIFT, 0, SDL_SCANCODE_EQUALS);
  ASSERT_EQ(SDL_PushEvent(&t), 1);
  char typed[32];
  EXPECT_TRUE(ULO_TakeTypedText(typed, sizeof typed));
  EXPECT_STREQ(typed, "+");
  EXPECT_FALSE(ULO_TakeTypedText(typed, sizeof typed)) << "taken once";
  // A key's press queued first: its text is not this key's.
  ASSERT_EQ(SDL_PushEvent(&k), 1);
  ASSERT_EQ(SDL_PushEvent(&t), 1);
  EXPECT_FALSE(ULO_TakeTypedText(typed, sizeof typed));
  EXPECT_STREQ(typed, "");
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

TEST(KeyTranslation, ControlOSQBecomeMenuCommands) {
  struct {
    SDL_Keycode sym;
    int16_t item;
  } cases[] = {{SDLK_o, 1}, {SDLK_s, 4}, {SDLK_q, 6}};
  for (auto c : cases) {
    uloGlobalsRec g;
    run(key(SDL_KEYDOWN, c.sym, KMOD_LCTRL), g);
    EXPECT_EQ(g.what, uloEvtMenu);
    EXPECT_EQ(g.menuId, 129);
    EXPECT_EQ(g.menuItem, c.item);
  }
  uloGlobalsRec g;
  run(key(SDL_KEYDOWN, SDLK_s, KMOD_LCTRL | KMOD_LSHIFT), g);
  EXPECT_EQ(g.what, uloEvtMenu);  // either case
  run(key(SDL_KEYDOWN, SDLK_s, KMOD_LCTRL, 1), g);
  EXPECT_EQ(g.what, uloEvtAutoKey);  // a repeat is no command
}

TEST(KeyTranslation, ModifierAloneIsNullEvent) {
  uloGlobalsRec g;
  run(key(SDL_KEYDOWN, SDLK_LSHIFT, KMOD_LSHIFT), g);
  EXPECT_EQ(g.what, uloEvtNull);
  EXPECT_EQ(g.shift, 1);
  run(key(SDL_KEYUP, SDLK_LSHIFT), g);
  EXPECT_EQ(g.what, uloEvtNull);
  EXPECT_EQ(g.shift, 0);
}

TEST(KeyTranslation, ReleasesCarryCodesButNotFunctionKeys) {
  uloGlobalsRec g;
  run(key(SDL_KEYUP, SDLK_RETURN), g);
  EXPECT_EQ(g.what, uloEvtKeyUp);
  EXPECT_EQ(g.keyCode, 13);
  run(key(SDL_KEYUP, SDLK_x), g);
  EXPECT_EQ(g.what, uloEvtKeyUp);
  EXPECT_EQ(g.character, 'x');
  run(key(SDL_KEYUP, SDLK_F5), g);
  EXPECT_EQ(g.what, uloEvtNull);
  EXPECT_EQ(g.specialKey, 0);
}

TEST(MouseTranslation, PositionsAreLogicalPixels) {
  uloGlobalsRec g;
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_MOUSEBUTTONDOWN;
  e.button.button = SDL_BUTTON_LEFT;
  e.button.x = 301;
  e.button.y = 99;
  EXPECT_EQ(run(e, g, 2), uloEventAction::handOver);
  EXPECT_EQ(g.what, uloEvtMouseDown);
  EXPECT_EQ(g.mouseX, 150);
  EXPECT_EQ(g.mouseY, 49);
  EXPECT_EQ(g.buttonDown, 1);
  e.type = SDL_MOUSEBUTTONUP;
  run(e, g, 2);
  EXPECT_EQ(g.what, uloEvtNull);
  EXPECT_EQ(g.buttonDown, 0);
  e.button.button = SDL_BUTTON_RIGHT;
  e.type = SDL_MOUSEBUTTONDOWN;
  EXPECT_EQ(run(e, g, 2), uloEventAction::none);
}

TEST(WindowTranslation, CloseResizeAndRemote) {
  uloGlobalsRec g;
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_WINDOWEVENT;
  e.window.event = SDL_WINDOWEVENT_CLOSE;
  EXPECT_EQ(run(e, g), uloEventAction::handOver);
  EXPECT_EQ(g.what, uloEvtClose);
  e.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
  e.window.data1 = 1920;
  e.window.data2 = 1080;
  EXPECT_EQ(run(e, g, 2), uloEventAction::resize);
  EXPECT_EQ(g.what, uloEvtResize);
  EXPECT_EQ(g.windowWidth, 960);
  EXPECT_EQ(g.windowHeight, 540);
  SDL_zero(e);
  e.type = ULO_RemoteEventType();
  int marker;
  e.user.data1 = &marker;
  void* param = nullptr;
  EXPECT_EQ(ULO_TranslateEvent(e, g, 1, 0, &param), uloEventAction::remote);
  EXPECT_EQ(param, &marker);
}

TEST(Clock, TimeoutWithDeadlineZeroFiresOnceAPeriod) {
  int32_t deadline = 0;
  uloGlo.when = 100;
  EXPECT_TRUE(ULO_EveTimeoutRepeated(deadline, 30));
  EXPECT_EQ(deadline, 130);
  EXPECT_FALSE(ULO_EveTimeoutRepeated(deadline, 30));
  uloGlo.when = 130;
  EXPECT_FALSE(ULO_EveTimeoutRepeated(deadline, 30));
  uloGlo.when = 131;
  EXPECT_TRUE(ULO_EveTimeoutRepeated(deadline, 30));
  EXPECT_EQ(deadline, 161);
}

TEST(Clock, TimeoutSurvivesTheTickWrap) {
  int32_t deadline = (int32_t)0xFFFFFFF0u;  // set just before the wrap
  uloGlo.when = 5;                           // after it
  EXPECT_TRUE(ULO_EveTimeoutRepeated(deadline, 10));
  EXPECT_EQ(deadline, 15);
}

TEST(Clock, TicksRunAtSixtyPerSecond) {
  // Each tick reading is bracketed by clock readings, so however long a busy
  // machine keeps this thread asleep, the ticks between the two readings
  // are held to the sixtieths of a second that passed.
  using clk = std::chrono::steady_clock;
  const auto c0 = clk::now();
  const uint32_t a = ULO_Ticks();
  const auto c1 = clk::now();
  SDL_Delay(250);
  const auto c2 = clk::now();
  const uint32_t b = ULO_Ticks();
  const auto c3 = clk::now();
  auto sixtieths = [](clk::duration d) { return std::chrono::duration<double>(d).count() * 60.0; };
  EXPECT_GE(double(b - a), std::floor(sixtieths(c2 - c1)) - 1.0);
  EXPECT_LE(double(b - a), std::ceil(sixtieths(c3 - c0)) + 1.0);
  EXPECT_GE(b - a, 14u);  // the delay itself is at least 250 ms
}

TEST(Random, StaysInRangeAndZeroIsSafe) {
  ULO_SeedRandom(42);
  bool seen[7] = {};
  for (int i = 0; i < 1000; ++i) {
    int16_t r = ULO_Random(7);
    ASSERT_GE(r, 0);
    ASSERT_LT(r, 7);
    seen[r] = true;
  }
  for (bool s : seen) EXPECT_TRUE(s);
  EXPECT_EQ(ULO_Random(0), 0);
  EXPECT_EQ(ULO_Random(-3), 0);
}

int16_t gLastButtons = -1;
int16_t recordButtons(const char*, const char*, int16_t buttons) {
  gLastButtons = buttons;
  return 1;
}

TEST(MessageBoxes, ButtonKindsAreClamped) {
  ULO_SetMessageBoxHook(recordButtons);
  ULO_UserNotify("x", 5);
  EXPECT_EQ(gLastButtons, 2);
  ULO_UserNotify("x", -1);
  EXPECT_EQ(gLastButtons, 0);
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t b) -> int16_t { return b == 0 ? 1 : b == 1 ? 2 : 3; });
}

TEST(Memory, BlocksAreClearedOnDispose) {
  char* p = nullptr;
  ASSERT_TRUE(ULO_NewPtrT(&p, 16));
  ASSERT_NE(p, nullptr);
  ULO_DisposePtrT(&p);
  EXPECT_EQ(p, nullptr);
  void* q = reinterpret_cast<void*>(1);
  EXPECT_FALSE(ULO_NewPtr(&q, -1));
}

}  // namespace

TEST(DropTranslation, ADroppedFileBecomesADropEventWithItsPathAndAnEmptyOneNothing) {
  uloGlobalsRec g;
  SDL_Event e{};
  e.type = SDL_DROPFILE;
  e.drop.file = SDL_strdup("/tmp/my loops/kick \xff.wav");
  EXPECT_EQ(ULO_TranslateEvent(e, g, 1, 0, nullptr), uloEventAction::handOver);
  EXPECT_EQ(g.what, uloEvtDrop);
  EXPECT_STREQ(ULO_DroppedPath(), "/tmp/my loops/kick \xff.wav");
  e.drop.file = SDL_strdup("");
  ULO_TranslateEvent(e, g, 1, 0, nullptr);
  EXPECT_EQ(g.what, uloEvtNull);
  // Dropped text is no file: nothing happens (and its text is freed).
  e.type = SDL_DROPTEXT;
  e.drop.file = SDL_strdup("some words");
  EXPECT_EQ(ULO_TranslateEvent(e, g, 1, 0, nullptr), uloEventAction::none);
}
