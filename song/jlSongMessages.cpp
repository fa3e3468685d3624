#include "song/jlSongMessages.h"

namespace {
JLSongMessageHook gHook = nullptr;
}

void JL_SetSongMessageHook(JLSongMessageHook hook) { gHook = hook; }

void JL_SongMessage(int number, const char* songName) {
  if (gHook) gHook(number, songName ? songName : "");
}
