// The first few hundred milliseconds of every registered loop, decoded into
// memory when the song's loops are registered. Right after an immediate loop
// change the mixer plays the new loop's head (at the phase the schedule
// gives) from the next device buffer while the loader refills the track's
// ring from the file; without a head it would have to leave the loader a
// whole extra block to open and read the file first.
//
// Threads: JL_LoopHeadDecode, JL_LoopHeadsForget and JL_LoopHead run on the
// UI thread (song loading, selections), never on the audio thread. The
// memory a head points to stays valid until the engine next stops after the
// head was replaced or forgotten, so a pointer the mixer got under a track
// lock is never freed under it. Failures leave a loop without a head (the
// change then waits for the loader as before).
#pragma once
#include <cstdint>

// Head length: 400 ms at 44.1 kHz (about 69 KB of 16-bit stereo per loop).
constexpr int kLoopHeadFrames = 17640;

// Decodes the head of loop `variant` (0-based) from `path` (what the loader
// streams) as 16-bit stereo frames. Returns the frames held (0 on failure;
// the loop then has no head).
int JL_LoopHeadDecode(int variant, const char* path);
// A loop's head if it was decoded from `path`: its frames and count.
// False when it has none or it belongs to another file.
bool JL_LoopHead(int variant, const char* path, const int16_t** frames, int32_t* count);
// Drops every head (a new song). Memory the mixer may still read is kept
// until JL_LoopHeadsRelease.
void JL_LoopHeadsForget();
// Frees the memory of heads replaced or forgotten; call while no output
// runs (the engine's stop).
void JL_LoopHeadsRelease();
// Bytes of head memory held (for the benches).
int64_t JL_LoopHeadsBytes();
