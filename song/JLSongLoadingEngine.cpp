// Kept in its own file: only a program that links the engine pulls it in.
#include "engine/JLEngine.h"
#include "song/JLSongLoading.h"

bool JL_LoadSongIntoEngine(JLSongLibrary& library, const char* songFolder) {
  if (!gep) return false;
  return JL_LoadSong(*gep, library, songFolder);
}
