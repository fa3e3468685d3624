// The tools a song recipe writes its loops with: a tempo grid with swing,
// a two-bar chord progression, step patterns for drums, basses, chords,
// melodies and arpeggios, and the song's descriptor data.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "tools/demolib/instruments.h"

namespace demolib {

// One chord of the progression: the bass root (MIDI) and a voicing.
struct Chord {
  int bassRoot;
  std::vector<int> notes;  // ascending, 3 or 4 notes
};

class Grid {
 public:
  Grid(int bpm, std::vector<Chord> progression, int scaleRoot);
  int bpm() const { return bpm_; }
  long beatFrames() const { return beat_; }
  long barFrames() const { return beat_ * 4; }
  // Frame of a sixteenth step; odd steps are delayed by the swing amount
  // (0 = straight, 0.5 = triplet feel).
  long step(int s, double swing = 0.0) const;
  long stepFrames() const { return beat_ / 4; }
  // The chord sounding at a step: four chords over two bars, a half bar each.
  const Chord& chordAt(int s) const { return prog_[(size_t)((s / 8) % (int)prog_.size())]; }
  // Natural minor scale degree (0 = the key note, 7 = its octave).
  int degree(int d, int octaveBase) const;

 private:
  int bpm_;
  long beat_;
  std::vector<Chord> prog_;
  int scaleRoot_;
};

// Velocity of a step character: X 1.0, x 0.75, g (ghost) 0.4, '.' none.
double stepVelocity(char c);

// Calls `hit(frame, velocity, step)` for every struck step of a pattern,
// repeated to cover `bars` bars; velocities vary slightly.
void playSteps(const Grid& g, const std::string& pattern, int bars, double swing, Rng& rng,
               const std::function<void(long, double, int)>& hit);

// A pattern of notes, one character per sixteenth; '-' holds the previous
// note, '.' is a rest. `pitch(c, step)` turns a character into a MIDI note
// (or -1 for none). Each note is handed to `play(frame, gateFrames, note,
// step)`.
void playNotes(const Grid& g, const std::string& pattern, int bars, double swing,
               const std::function<int(char, int)>& pitch,
               const std::function<void(long, long, int, int)>& play);

// Common pitch languages for playNotes.
// Bass: r root, R root+12, f fifth, F fifth+12, m chord third, s flat
// seventh, o root-12.
int bassPitch(const Grid& g, char c, int step);
// Arpeggio: 1-4 chord notes, 5-8 the same an octave up, 9 the top note +24.
int arpPitch(const Grid& g, char c, int step, int transpose);
// Melody: 0-9 scale degrees from `octaveBase`, a-c degrees 10-12.
int melodyPitch(const Grid& g, char c, int octaveBase);

// Chord hits: every struck step plays the whole chord of that step until
// the next character that is not '-'.
void playChords(const Grid& g, Loop& loop, const std::string& pattern, int bars, const Patch& patch,
                double gain, int transpose, uint32_t seed, bool spread = true);

struct LoopDef {
  std::string label;  // one word, shown in the loop pop-up
  int bars;           // 1, 2 or 4
  double peakDb;      // -12 .. -3
  std::function<void(Loop&)> render;
};

struct GroupDef {
  std::string name;
  int volume;  // 0..127
  int pan;     // 0..126, 63 centre
  std::vector<LoopDef> loops;
};

struct RandomSetDef {
  std::string name;
  std::vector<std::string> groups;  // at most 8
};

struct StyleDef {
  std::string name;                          // one word
  std::vector<std::string> slots;            // group names
  std::vector<std::vector<int>> rows;        // 8 slot numbers per row, -1 silence
};

struct SongDef {
  std::string folder;      // also the loops' song name
  std::string title;
  std::string collection;  // empty for a version-1.0 song
  std::vector<std::string> description;  // lines
  std::string arpNote;
  bool version10 = false;
  int bpm = 120;
  std::vector<GroupDef> groups;
  std::vector<RandomSetDef> randomSets;
  std::vector<StyleDef> styles;
  int motif = 0;
  uint8_t accent[3] = {80, 200, 255};
};

}  // namespace demolib
