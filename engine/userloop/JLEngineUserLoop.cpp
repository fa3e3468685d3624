// The facade's user-loop and recording operations (UI thread).
#include "core/files/uloPathNames.h"
#include "engine/JLEngine.h"
#include "engine/record/SndInRec.h"

bool JLEngine::userLoop_load(const char* path) {
  char sys[kUloPathMax];
  if (!path || !ULO_UloPathToSystemPath(path, sys, sizeof sys) || !sys[0]) {
    // The old loop goes whatever the path is.
    Elast_Load(nullptr);
    return false;
  }
  return Elast_Load(sys);
}

void JLEngine::userLoop_params(jlUserLoopSettingsRec* s) { Elast_Params(s); }
bool JLEngine::userLoop_recordStart() { return ULTake_Start(); }
void JLEngine::userLoop_recordStop() { ULTake_Stop(); }
void JLEngine::userLoop_recordReset() { ULTake_Reset(); }

bool JLEngine::userLoop_recordStatus(short* percent, short* other) {
  return ULTake_Status(percent, other);
}
