// Translation of SDL events into the current-event record. Apart from the
// record it fills it keeps only the table of held keys, so tests drive it
// with synthetic SDL events.
// User-interface thread.
#pragma once
#include <SDL.h>

#include <cstddef>

#include "framework/platform/uloSys.h"

enum class uloEventAction {
  none,        // nothing for the screen (default handling)
  handOver,    // QXScreen_remoteevents(0) with the record as filled
  resize,      // hand over the resize, then an update event
  remote,      // QXScreen_remoteevents(param)
};

// `scale` maps window pixels to logical pixels; `ticks` is the event time.
// `typedText` is the text a key-down typed (the SDL_TEXTINPUT behind it,
// see ULO_TakeTypedText), null when none: characters come from it, so any
// keyboard layout types what its keys show; keys without text (arrows,
// Return, the keypad) are known by the physical key. A release carries the
// key code and character its press gave, so no key stays held when a
// modifier went up first. The translator remembers held keys for that
// (ULO_ResetKeyTranslation forgets them).
uloEventAction ULO_TranslateEvent(const SDL_Event& e, uloGlobalsRec& g, int scale, int32_t ticks,
                                  void** remoteParam, const char* typedText = nullptr);
void ULO_ResetKeyTranslation();
// Keys whose releases will not come: each call fills the record with the
// release of one key still held (as its own release would) and forgets it;
// false when none is left. Without `stillDown` every held key counts (the
// window lost the keyboard: releases may go to another window); with SDL's
// keyboard state (`count` scancodes) only keys it no longer shows down
// (their release events were lost on the way).
bool ULO_TakeHeldKeyRelease(uloGlobalsRec& g, const Uint8* stillDown = nullptr, int count = 0);
// Escape pressed while a tracking loop runs (an open pop-up list): takes
// every Escape key-down (repeats too) waiting in the queue, so none reaches
// the panels afterwards; other events and the key's release stay queued.
// True when there was one.
bool ULO_TakeEscapePress();
// Takes the text input event queued right behind a key-down (SDL queues a
// key's text there) into `out`; false, taking nothing, when the next event
// is another one.
bool ULO_TakeTypedText(char* out, size_t size);
// The character a key gives without typed text: the layout's own character
// of the key, letters following Shift and Caps Lock, Control making control
// codes; 0 when it has none.
int16_t ULO_KeyCharacter(SDL_Keycode sym, uint16_t mod);
// Brings the main window to the front (restored when minimised) and gives
// it the keyboard. Nothing without a window.
void ULO_RaiseMainWindow();
