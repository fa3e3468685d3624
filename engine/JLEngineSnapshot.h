// What the live engine holds that an offline render changes, kept by
// JLEngine::offlineBegin and put back by offlineEnd. Internal to engine/;
// taken and restored on the interface thread while the output is paused.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/Vtrack.h"
#include "engine/synth/Synth.h"

struct JLEngineSnapshot {
  struct Loop {
    char name[kVTrackNameSize];
    int32_t lengthBeats;
    int32_t extraBeats;
  };
  std::vector<Loop> loops;  // the sample list, in sample order
  uint32_t underrunsBefore = 0;
  bool manualFeed = false;  // the output was already fed by hand (tests)
  int32_t sampleRate = 0;
  int32_t songBpm = 0;
  int32_t status = 0;        // PlayingStatus
  int32_t beat = 0;          // frames per beat at the song tempo
  int32_t resampledBpm = 0;  // playing tempo (frames per beat)
  int32_t mixMilliBpm = 0;   // playing tempo as set, 0 the song tempo
  int16_t peakDistance = 0;
  int32_t masterVolume = 0;
  int32_t volume[kTracks] = {};
  int32_t pan[kTracks] = {};
  int32_t variant[kTracks] = {};      // engine selection, -1 none
  int32_t heldVariant[kTracks] = {};  // the track field as it was
  int16_t trackSample[256] = {};
  int16_t playing = 0;
  int16_t syncMode = 0;
  // Synth settings (its sample set is never changed by a render).
  int32_t synthPoly = 0, synthMode = 0, synthStepsPerBeat = 0, synthVolume = 0, synthPan = 0;
  char synthPattern[kSynthPatternSize] = {};
  // The random arpeggio's generator: every render from one live state
  // walks the same notes, so separate renders of one mix line up.
  uint32_t synthRand = 0;
  float userLoopVolume = 0;
};
