// Translation of SDL events into the current-event record. Pure apart from
// the record it fills, so tests drive it with synthetic SDL events.
// User-interface thread.
#pragma once
#include <SDL.h>

#include "framework/platform/uloSys.h"

enum class uloEventAction {
  none,        // nothing for the screen (default handling)
  handOver,    // QXScreen_remoteevents(0) with the record as filled
  resize,      // hand over the resize, then an update event
  remote,      // QXScreen_remoteevents(param)
};

// `scale` maps window pixels to logical pixels; `ticks` is the event time.
uloEventAction ULO_TranslateEvent(const SDL_Event& e, uloGlobalsRec& g, int scale, int32_t ticks,
                                  void** remoteParam);
// The character a key gives in the (US) layout with these modifiers, or 0.
int16_t ULO_KeyCharacter(SDL_Keycode sym, uint16_t mod);
