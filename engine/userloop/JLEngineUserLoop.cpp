// The facade's user-loop and recording operations. Placeholders: no loop
// loads and no recording starts, so the loop tuner sees plain failures.
#include "engine/JLEngine.h"

bool JLEngine::userLoop_load(const char*) { return false; }
void JLEngine::userLoop_params(jlUserLoopSettingsRec*) {}
bool JLEngine::userLoop_recordStart() { return false; }
void JLEngine::userLoop_recordStop() {}
void JLEngine::userLoop_recordReset() {}

bool JLEngine::userLoop_recordStatus(short* percent, short* other) {
  if (percent) *percent = 0;
  if (other) *other = 0;
  return false;
}
