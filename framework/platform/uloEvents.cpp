#include "framework/platform/uloEvents.h"

#include "core/sys/uloRemote.h"

namespace {

// Shifted forms of the US layout's non-letter keys.
char shifted(char c) {
  static const char plain[] = "`1234567890-=[]\\;',./";
  static const char shift[] = "~!@#$%^&*()_+{}|:\"<>?";
  for (int i = 0; plain[i]; ++i)
    if (plain[i] == c) return shift[i];
  return c;
}

// Keys whose code is not their character; 0 when the key has none.
uint8_t fixedKeyCode(SDL_Keycode sym) {
  switch (sym) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return uloKeyReturn;
    case SDLK_LEFT:
      return uloKeyLeft;
    case SDLK_RIGHT:
      return uloKeyRight;
    case SDLK_UP:
      return uloKeyUp;
    case SDLK_DOWN:
      return uloKeyDown;
    case SDLK_DELETE:
      return uloKeyDelete;
    default:
      return 0;
  }
}

int16_t keypadDigit(SDL_Keycode sym) {
  switch (sym) {
    case SDLK_KP_0: return '0';
    case SDLK_KP_1: return '1';
    case SDLK_KP_2: return '2';
    case SDLK_KP_3: return '3';
    case SDLK_KP_4: return '4';
    case SDLK_KP_5: return '5';
    case SDLK_KP_6: return '6';
    case SDLK_KP_7: return '7';
    case SDLK_KP_8: return '8';
    case SDLK_KP_9: return '9';
    default: return 0;
  }
}

int16_t specialKeyOf(SDL_Keycode sym) {
  if (sym >= SDLK_F1 && sym <= SDLK_F12) return (int16_t)(1 + (sym - SDLK_F1));
  if (sym == SDLK_ESCAPE || sym == SDLK_PAGEUP) return 20;
  if (sym == SDLK_PAGEDOWN) return 21;
  return 0;
}

// Fills key code and character the same way for presses and releases.
void mapKey(const SDL_Keysym& ks, uloGlobalsRec& g) {
  g.keyCode = 0;
  g.character = 0;
  if (uint8_t code = fixedKeyCode(ks.sym)) {
    g.keyCode = code;
    g.character = code;
    return;
  }
  if (int16_t digit = keypadDigit(ks.sym)) {
    g.keyCode = (uint8_t)digit;
    g.character = digit;
    return;
  }
  g.character = ULO_KeyCharacter(ks.sym, ks.mod);
  g.keyCode = (uint8_t)(g.character & 0xFF);
}

int16_t toLogical(int v, int scale) { return (int16_t)(scale > 1 ? v / scale : v); }

}  // namespace

int16_t ULO_KeyCharacter(SDL_Keycode sym, uint16_t mod) {
  switch (sym) {
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_RETURN: return 13;
    case SDLK_ESCAPE: return 27;
    case SDLK_SPACE: return ' ';
    default: break;
  }
  if (sym < 32 || sym > 126) return 0;
  char c = (char)sym;
  const bool shift = (mod & KMOD_SHIFT) != 0;
  if (c >= 'a' && c <= 'z') {
    const bool caps = (mod & KMOD_CAPS) != 0;
    if (shift != caps) c = (char)(c - 32);
    // Control turns letters into control characters, as a keyboard layout does.
    if (mod & KMOD_CTRL) return (int16_t)(c & 0x1F);
    return c;
  }
  return shift ? shifted(c) : c;
}

uloEventAction ULO_TranslateEvent(const SDL_Event& e, uloGlobalsRec& g, int scale, int32_t ticks,
                                  void** remoteParam) {
  g.when = ticks;
  if (e.type == ULO_RemoteEventType()) {
    if (remoteParam) *remoteParam = e.user.data1;
    return uloEventAction::remote;
  }
  switch (e.type) {
    case SDL_QUIT:
      g.what = uloEvtClose;
      return uloEventAction::handOver;
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          g.what = uloEvtClose;
          return uloEventAction::handOver;
        case SDL_WINDOWEVENT_EXPOSED:
          g.what = uloEvtUpdate;
          return uloEventAction::handOver;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          g.what = uloEvtResize;
          g.windowWidth = toLogical(e.window.data1, scale);
          g.windowHeight = toLogical(e.window.data2, scale);
          return uloEventAction::resize;
        default:
          return uloEventAction::none;
      }
    case SDL_KEYDOWN: {
      const SDL_Keysym& ks = e.key.keysym;
      g.keyCode = 0;
      g.specialKey = 0;
      g.what = e.key.repeat ? uloEvtAutoKey : uloEvtKeyDown;
      g.shift = (ks.mod & KMOD_SHIFT) != 0;
      g.control = (ks.mod & KMOD_CTRL) != 0;
      g.specialKey = specialKeyOf(ks.sym);
      mapKey(ks, g);
      if (g.control && !e.key.repeat && (ks.sym == SDLK_o || ks.sym == SDLK_s || ks.sym == SDLK_q)) {
        g.what = uloEvtMenu;
        g.menuId = 129;
        g.menuItem = ks.sym == SDLK_o ? 1 : ks.sym == SDLK_s ? 4 : 6;
        return uloEventAction::handOver;
      }
      if (g.character == 0 && g.keyCode == 0 && g.specialKey == 0) g.what = uloEvtNull;
      return uloEventAction::handOver;
    }
    case SDL_KEYUP: {
      const SDL_Keysym& ks = e.key.keysym;
      g.keyCode = 0;
      g.specialKey = 0;
      g.shift = (ks.mod & KMOD_SHIFT) != 0 && ks.sym != SDLK_LSHIFT && ks.sym != SDLK_RSHIFT;
      g.control = (ks.mod & KMOD_CTRL) != 0 && ks.sym != SDLK_LCTRL && ks.sym != SDLK_RCTRL;
      mapKey(ks, g);
      g.what = (g.specialKey || g.keyCode || g.character) ? uloEvtKeyUp : uloEvtNull;
      return uloEventAction::handOver;
    }
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button != SDL_BUTTON_LEFT) return uloEventAction::none;
      g.mouseX = toLogical(e.button.x, scale);
      g.mouseY = toLogical(e.button.y, scale);
      g.what = uloEvtMouseDown;
      g.buttonDown = 1;
      return uloEventAction::handOver;
    case SDL_MOUSEBUTTONUP:
      if (e.button.button != SDL_BUTTON_LEFT) return uloEventAction::none;
      g.mouseX = toLogical(e.button.x, scale);
      g.mouseY = toLogical(e.button.y, scale);
      g.what = uloEvtNull;
      g.buttonDown = 0;
      return uloEventAction::handOver;
    case SDL_MOUSEMOTION:
      g.mouseX = toLogical(e.motion.x, scale);
      g.mouseY = toLogical(e.motion.y, scale);
      g.what = uloEvtNull;
      return uloEventAction::handOver;
    default:
      return uloEventAction::none;
  }
}
