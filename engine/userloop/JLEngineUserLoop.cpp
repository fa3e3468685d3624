// The facade's user-loop and recording operations (UI thread).
#include "core/files/uloPathNames.h"
#include "engine/JLEngine.h"
#include "engine/record/SndInRec.h"

#include <algorithm>

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
const char* JLEngine::userLoop_recordError() const { return WAVEIN_LastError(); }
void JLEngine::userLoop_recordStop() { ULTake_Stop(); }
void JLEngine::userLoop_recordReset() { ULTake_Reset(); }

bool JLEngine::userLoop_recordStatus(short* percent, short* other) {
  return ULTake_Status(percent, other);
}

bool JLEngine::userLoop_region(jlUserLoopView* view) {
  if (!view) return false;
  *view = jlUserLoopView();
  const int16_t* samples;
  int32_t frames, start, end;
  int16_t channels, recording;
  {
    // Only the fields are read under the lock: the audio thread must not
    // wait for a file write.
    TrackLockGuard guard(elastLock);
    samples = elastGlobalData.samples;
    frames = elastGlobalData.frames;
    channels = elastGlobalData.channels;
    start = elastGlobalData.loopStart;
    end = elastGlobalData.loopEnd;
    recording = elastGlobalData.recording;
  }
  if (!samples || recording || frames <= 0 || channels < 1 || channels > 2) return false;
  // A region given backwards still names the frames between its ends.
  const int32_t a = std::clamp(std::min(start, end), 0, frames);
  const int32_t b = std::clamp(std::max(start, end), 0, frames);
  if (b <= a) return false;
  view->samples = samples + size_t(a) * channels;
  view->frames = b - a;
  view->channels = channels;
  return true;
}
