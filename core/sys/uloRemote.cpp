#include "core/sys/uloRemote.h"

#include <SDL.h>

#include <atomic>

uint32_t ULO_RemoteEventType() {
  static const uint32_t type = [] {
    uint32_t t = SDL_RegisterEvents(1);
    return t == (uint32_t)-1 ? (uint32_t)SDL_USEREVENT : t;
  }();
  return type;
}

bool ULO_PostRemoteMessage(void* param) {
  SDL_Event e;
  SDL_zero(e);
  e.type = ULO_RemoteEventType();
  e.user.code = 0x500;
  e.user.data1 = param;
  return SDL_PushEvent(&e) == 1;
}
