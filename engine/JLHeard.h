// What the listener hears now, worked out from what the mixer has made.
// The output path holds a latency's worth of frames between the mixer and
// the loudspeaker, so everything that shows time (beat lamps, position
// text, sequence step, level meters) looks that far back along the mixer's
// timeline instead of showing the mixer's own position.
//
// Pure arithmetic on values the caller reads: any thread, no state. Out of
// range input gives the neutral answer each line names.
#pragma once
#include <cstdint>

// Mixer frames (song tempo, `bpm` frames per beat) that fill `outFrames`
// device frames at the playing tempo (`resampledBpm` device frames per
// beat), rounded to the nearest frame. 0 when any input is not positive.
int64_t JL_HeardMixerFrames(int64_t outFrames, int32_t bpm, int32_t resampledBpm);

// The beat (0..31 of the 32-beat cycle) of the frame heard now: `timeline`
// less the latency in mixer frames. Before the first frame is heard the
// answer is beat 0 (the song is about to begin). -1 when bpm <= 0.
int JL_HeardBeat(int64_t timeline, int64_t latencyMixerFrames, int32_t bpm);

// The level-meter queue's distance (16 slots, a block's peak reaches the
// meter 16 - distance blocks after it was mixed) that shows each block
// when it is heard: the latency in whole mixing blocks, rounded to the
// nearest, kept within the queue's 1..16 blocks. 15 (one block) for a
// blockFrames that is not positive.
int16_t JL_MeterDistance(int64_t latencyMixerFrames, int blockFrames);
