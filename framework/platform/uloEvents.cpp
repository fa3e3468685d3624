#include "framework/platform/uloEvents.h"

#include <string>

#include "core/sys/uloRemote.h"

namespace {

// Keys whose code is not their character; 0 when the key has none. The
// keypad's keys are the same physical keys in every layout.
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
    case SDLK_KP_PLUS: return '+';
    case SDLK_KP_MINUS: return '-';
    case SDLK_KP_MULTIPLY: return '*';
    case SDLK_KP_DIVIDE: return '/';
    case SDLK_KP_PERIOD:
    case SDLK_KP_DECIMAL: return '.';
    case SDLK_KP_COMMA: return ',';
    case SDLK_KP_EQUALS: return '=';
    default:
      return 0;
  }
}

int16_t specialKeyOf(SDL_Keycode sym) {
  if (sym >= SDLK_F1 && sym <= SDLK_F12) return (int16_t)(1 + (sym - SDLK_F1));
  if (sym == SDLK_ESCAPE || sym == SDLK_PAGEUP) return 20;
  if (sym == SDLK_PAGEDOWN) return 21;
  return 0;
}

// The first character of UTF-8 text when it is one of the 256 the program
// knows (Latin-1, the skin font's range), else 0. Control characters are
// no typed text.
int16_t typedCharacter(const char* text) {
  if (!text) return 0;
  const auto* u = reinterpret_cast<const unsigned char*>(text);
  int32_t c;
  if (u[0] < 0x80) c = u[0];
  else if ((u[0] & 0xE0) == 0xC0 && (u[1] & 0xC0) == 0x80) c = ((u[0] & 0x1F) << 6) | (u[1] & 0x3F);
  else return 0;
  return c >= 32 && c != 127 && c < 256 ? (int16_t)c : 0;
}

// What each physical key's press gave, so that its release (and its
// repeats) carry the same code whatever the modifiers are by then.
struct HeldKey {
  uint8_t held;
  uint8_t keyCode;
  int16_t character;
};
HeldKey gHeld[SDL_NUM_SCANCODES];

HeldKey* heldSlot(const SDL_Keysym& ks) {
  const int sc = (int)ks.scancode;
  return sc > 0 && sc < SDL_NUM_SCANCODES ? &gHeld[sc] : nullptr;
}

// Key code and character of a key: fixed keys by the physical key, others
// by the text the key typed, else by the layout's own character of the
// key (letters follow Shift and Caps Lock; Control makes control codes).
void mapKey(const SDL_Keysym& ks, const char* typedText, uloGlobalsRec& g) {
  g.keyCode = 0;
  g.character = 0;
  if (uint8_t code = fixedKeyCode(ks.sym)) {
    g.keyCode = code;
    g.character = code;
    return;
  }
  const int16_t typed = (ks.mod & KMOD_CTRL) ? 0 : typedCharacter(typedText);
  g.character = typed ? typed : ULO_KeyCharacter(ks.sym, ks.mod);
  g.keyCode = (uint8_t)(g.character & 0xFF);
}

int16_t toLogical(int v, int scale) { return (int16_t)(scale > 1 ? v / scale : v); }

}  // namespace

void ULO_ResetKeyTranslation() {
  for (HeldKey& k : gHeld) k = HeldKey{};
}

bool ULO_TakeHeldKeyRelease(uloGlobalsRec& g, const Uint8* stillDown, int count) {
  for (int sc = 0; sc < SDL_NUM_SCANCODES; sc++) {
    HeldKey& k = gHeld[sc];
    if (!k.held || (stillDown && sc < count && stillDown[sc])) continue;
    g.what = uloEvtKeyUp;
    g.keyCode = k.keyCode;
    g.character = k.character;
    g.specialKey = 0;
    k = HeldKey{};
    if (g.keyCode || g.character) return true;
  }
  return false;
}

bool ULO_TakeEscapePress() {
  SDL_PumpEvents();
  bool found = false;
  // The filter keeps (1) every event but an Escape press.
  SDL_FilterEvents(
      [](void* seen, SDL_Event* e) -> int {
        if (e->type != SDL_KEYDOWN || e->key.keysym.sym != SDLK_ESCAPE) return 1;
        *static_cast<bool*>(seen) = true;
        return 0;
      },
      &found);
  return found;
}

bool ULO_TakeTypedText(char* out, size_t size) {
  if (!out || size == 0) return false;
  out[0] = 0;
  SDL_Event next;
  // Only the event right after the key-down belongs to it: SDL queues a
  // key's text just behind its press.
  if (SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) != 1 || next.type != SDL_TEXTINPUT)
    return false;
  if (SDL_PeepEvents(&next, 1, SDL_GETEVENT, SDL_TEXTINPUT, SDL_TEXTINPUT) != 1) return false;
  SDL_strlcpy(out, next.text.text, size);
  return true;
}

int16_t ULO_KeyCharacter(SDL_Keycode sym, uint16_t mod) {
  switch (sym) {
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_RETURN: return 13;
    case SDLK_ESCAPE: return 27;
    case SDLK_SPACE: return ' ';
    default: break;
  }
  if (sym < 32 || sym > 255 || sym == 127) return 0;
  int c = (int)sym;
  if (c >= 'a' && c <= 'z') {
    const bool shift = (mod & KMOD_SHIFT) != 0;
    const bool caps = (mod & KMOD_CAPS) != 0;
    if (shift != caps) c -= 32;
    // Control turns letters into control characters, as a keyboard layout does.
    if (mod & KMOD_CTRL) return (int16_t)(c & 0x1F);
  }
  return (int16_t)c;
}

namespace {
std::string gDropped;
}  // namespace

const char* ULO_DroppedPath() { return gDropped.c_str(); }

uloEventAction ULO_TranslateEvent(const SDL_Event& e, uloGlobalsRec& g, int scale, int32_t ticks,
                                  void** remoteParam, const char* typedText) {
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
      HeldKey* slot = heldSlot(ks);
      if (e.key.repeat && slot && slot->held) {
        g.keyCode = slot->keyCode;
        g.character = slot->character;
      } else {
        mapKey(ks, typedText, g);
        if (slot) *slot = HeldKey{1, g.keyCode, g.character};
      }
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
      // A release lets go of exactly what the press of that key pressed.
      HeldKey* slot = heldSlot(ks);
      if (slot && slot->held) {
        g.keyCode = slot->keyCode;
        g.character = slot->character;
        *slot = HeldKey{};
      } else {
        mapKey(ks, nullptr, g);
      }
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
    case SDL_DROPFILE: {
      // The event owns its text; it is freed here, where it is taken.
      gDropped = e.drop.file ? e.drop.file : "";
      SDL_free(e.drop.file);
      // A drop carries no position: the pointer's, over the window it hit.
      int gx = 0, gy = 0, wx = 0, wy = 0;
      SDL_GetGlobalMouseState(&gx, &gy);
      if (SDL_Window* w = SDL_GetWindowFromID(e.drop.windowID)) SDL_GetWindowPosition(w, &wx, &wy);
      g.mouseX = toLogical(gx - wx, scale);
      g.mouseY = toLogical(gy - wy, scale);
      g.what = gDropped.empty() ? uloEvtNull : uloEvtDrop;
      return uloEventAction::handOver;
    }
    case SDL_DROPTEXT:
      SDL_free(e.drop.file);
      return uloEventAction::none;
    case SDL_MOUSEMOTION:
      g.mouseX = toLogical(e.motion.x, scale);
      g.mouseY = toLogical(e.motion.y, scale);
      g.what = uloEvtNull;
      return uloEventAction::handOver;
    default:
      return uloEventAction::none;
  }
}
