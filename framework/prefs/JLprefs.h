// jlPrefsClass: the user's settings and their file "Jamloom.prf" in the
// program's folder, a resource container with one item per setting. Read
// once at start-up (after the panels, before the engine), written at exit
// and whenever the preferences panel stores its settings. Panels read and
// write the fields directly.
//
// Lives in the framework library because it reads and writes a container.
// User-interface thread only.
//
// Failures are silent: a missing file or item, or an item of another
// length, keeps the default; a save that cannot complete returns false and
// leaves the previous file as it was, because the new file is written under
// a temporary name, flushed and only then renamed over the old one.
#pragma once
#include <cstdint>

#include "framework/res/uloSwap.h"

// Stored as four big-endian 16-bit values, 8 bytes.
struct windowPositionRec {
  int16_t left = 0;
  int16_t top = 0;
  int16_t right = 0;
  int16_t bottom = 0;
};

constexpr int kRandomSets = 4;

class jlPrefsClass {
 public:
  jlPrefsClass();
  ~jlPrefsClass();
  jlPrefsClass(const jlPrefsClass&) = delete;
  jlPrefsClass& operator=(const jlPrefsClass&) = delete;

  void load();
  bool save();
  // Replaces the opaque conversion settings with a copy of length bytes.
  bool setSoundConvertSettings(const void* data, int32_t length);
  void clearSoundConvertSettings();

  windowPositionRec windowPosition;
  uint8_t* soundConvertSettings = nullptr;  // ULO_NewPtr block, or null
  int32_t soundConvertLength = 0;
  int32_t outputType = ULO_FourCC("JLMX");
  int16_t randomLimit[kRandomSets] = {4, 5, 6, 7};
  int16_t mtrmValue = 0;
  int16_t interfaceColor = 0;
  // Tempo interpolation: 1 high (band-limited), 0 the original linear one.
  int16_t tempoQuality = 1;
  // Keep pitch: 1 a tempo change keeps the loops in key, 0 (the default)
  // the pitch moves with the tempo.
  int16_t keepPitch = 0;
  // Output latency: kLatencyLow, kLatencyNormal or kLatencySafe; a file
  // without it, or with a value not listed, gives Normal.
  enum : int16_t { kLatencyLow = 0, kLatencyNormal = 1, kLatencySafe = 2 };
  int16_t latency = kLatencyNormal;
  // The device buffer the setting asks for: 256, 512, or 0 for the queued
  // output.
  int outputFrames() const;
  // MIDI: the ports last chosen by name (empty: none), connected again
  // whenever a port of that name is present; the channel listened to (-1
  // all); bindings, each a note number, 128 + a controller, or -1: play,
  // stop, tap tempo, latch, then the eight track mutes; clock out on/off.
  char midiInput[64] = "";
  char midiOutput[64] = "";
  int16_t midiChannel = -1;
  int16_t midiBindings[12] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  int16_t midiClockOut = 0;
  // Follow an external MIDI clock on the input port (tempo, start, stop).
  int16_t midiClockIn = 0;
  // A disk mix also writes its stems (one file per source) into a folder
  // beside the mix.
  int16_t diskMixStems = 0;
  // The master volume (0..127) as the program last left it; a file without
  // it gives the starting 63.
  int16_t masterVolume = 63;

  // The file, as an internal path relative to the current directory; tests
  // point it elsewhere. At most 254 characters.
  char fileName[255] = ":Jamloom.prf";
};

extern jlPrefsClass jlPrefs;
