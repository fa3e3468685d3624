// Loading a song for playing: read its descriptor, then register every loop
// with the engine in track-index order, then the files of its "User:"
// folder. The order of registration gives the engine's sample numbers, so
// every track index registers exactly one path, found or not.
//
// JL_LoadSong works on any engine with the facade's operations (the groove
// panel passes *gep, tests a recorder). User-interface thread. False when no
// descriptor was found; the engine is stopped in every case.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "song/JLSongLibrary.h"

// Receives one loop path (internal ':' path) and its divisor; 0 means the
// engine measures the loop's length itself. Called exactly once per track
// index, found or not; the sink must take a sample number for every call
// (the engine does, up to its 512 loops, which a song never exceeds).
using JLSampleSink = int16_t (*)(void* context, const char* path, int16_t divisor);

// Steps after the descriptor: resolves each loop's file (exact name, name +
// ".wav", then a loose match in the folder), appends the "User:" loops to
// the library and hands every path to the sink in sample order.
void JL_RegisterSongSamples(JLSongLibrary& library, const char* songFolder, JLSampleSink sink,
                            void* context);

template <class Engine>
bool JL_LoadSong(Engine& engine, JLSongLibrary& library, const char* songFolder) {
  engine.stop();
  engine.setMixerFrequency(44100);
  if (!library.load(songFolder)) return false;
  engine.samplesListReset();
  // The tempo comes first: loops registered with divisor 0 are measured by it.
  engine.samplesBpm((float)library.songBpm);
  JL_RegisterSongSamples(
      library, songFolder,
      [](void* e, const char* path, int16_t divisor) -> int16_t {
        return (int16_t) static_cast<Engine*>(e)->samplesListAdd(path, divisor);
      },
      &engine);
  return true;
}

// The loops of the song just registered that will not play as they are,
// each by its name in the song ("group:label"), in track-index order:
// `faultOf` gives the WaveFault the engine's check at registration found
// for a sample number (engine.sampleFault). Loops that cannot be played at
// all (missing, unreadable, empty, a rate that cannot be converted) stay
// silent; cut ones play what their file holds.
struct JLSongLoopFaults {
  std::vector<std::string> unplayable, cut;
};
using JLFaultSource = int (*)(void* context, int16_t sample);
JLSongLoopFaults JL_SongLoopFaults(const JLSongLibrary& library, JLFaultSource faultOf, void* context);

// The same with the program's engine (gep). Defined apart so that code
// without an engine does not link one.
bool JL_LoadSongIntoEngine(JLSongLibrary& library, const char* songFolder);
