#include "engine/JLHeard.h"

namespace {
constexpr int kMeterSlots = 16;
constexpr int kCycleBeats = 32;
}  // namespace

int64_t JL_HeardMixerFrames(int64_t outFrames, int32_t bpm, int32_t resampledBpm) {
  if (outFrames <= 0 || bpm <= 0 || resampledBpm <= 0) return 0;
  return (outFrames * bpm + resampledBpm / 2) / resampledBpm;
}

int JL_HeardBeat(int64_t timeline, int64_t latencyMixerFrames, int32_t bpm) {
  if (bpm <= 0) return -1;
  const int64_t heard = timeline - (latencyMixerFrames > 0 ? latencyMixerFrames : 0);
  if (heard <= 0) return 0;
  return int(heard / bpm % kCycleBeats);
}

int16_t JL_MeterDistance(int64_t latencyMixerFrames, int blockFrames) {
  int64_t blocks = blockFrames > 0 ? (latencyMixerFrames + blockFrames / 2) / blockFrames : 1;
  if (blocks < 1) blocks = 1;
  if (blocks > kMeterSlots) blocks = kMeterSlots;
  return int16_t((kMeterSlots - blocks) % kMeterSlots);
}
