#include "screens/tunerLoopSnapshot.h"

#include <algorithm>

#include "engine/userloop/Elast.h"

bool JL_UserLoopRegion(jlUserLoopView* view) {
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
  int32_t a = std::clamp(std::min(start, end), 0, frames);
  int32_t b = std::clamp(std::max(start, end), 0, frames);
  if (b <= a) return false;
  view->samples = samples + size_t(a) * channels;
  view->frames = b - a;
  view->channels = channels;
  return true;
}
