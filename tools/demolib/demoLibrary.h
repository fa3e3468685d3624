// The demo library writer: songs (descriptor, picture, loops), collection
// pictures and synth sets, as jl-make-demo-library lays them out under a
// program's "Library" folder.
#pragma once
#include <string>
#include <vector>

#include "tools/demolib/songKit.h"

namespace demolib {

// Level of the default mix: the first variant of each of the first eight
// groups at its default volume and pan, summed with the engine's linear pan
// law at the program's starting master volume (63 of 128).
struct SongReport {
  std::string folder;
  int bpm = 0;
  int groups = 0;
  int loops = 0;
  double mixPeakDb = 0;     // default mix
  double mixRmsDb = 0;
  double loudnessLufs = 0;  // BS.1770 integrated
  double brightDb = 0;      // 2-6 kHz band against the loudest band
  double worstPeakDb = 0;   // loudest groove any random set can make
  double megabytes = 0;
};

// Renders one song into `folder` (created). `descriptorName` is "info.jls"
// in the library; the installer's package names it after the song.
bool writeSong(const SongDef& song, const std::string& folder, const std::string& descriptorName,
               SongReport* report, std::string* error);

// The descriptor text of a song with the given default volumes.
std::string descriptorText(const SongDef& song, const std::vector<int>& volumes);

// The 36 notes "c2.wav" .. "b4.wav" of each synth set; a4.wav is 440 Hz.
struct SynthSetDef {
  std::string name;
  int kind;  // 0 pluck, 1 saw lead, 2 bell, 3 organ
};
std::vector<SynthSetDef> synthSets();
extern const char* const kSynthNoteNames[36];
// One note (0 = c2) of a set, mono, at 44100 Hz.
std::vector<double> synthSetNote(int kind, int note);
bool writeSynthSet(const SynthSetDef& set, const std::string& folder, std::string* error);

// Everything: Song/<folder>/, Images/<collection>.gif, Synth/<set>/.
bool writeLibrary(const std::string& libraryFolder, std::vector<SongReport>* reports, std::string* error);

}  // namespace demolib
