// Makes a song of the library from a folder of the user's own sound files:
// every file that libsndfile reads becomes one loop, converted to 44.1 kHz
// 16-bit (mono stays mono, anything with two or more channels becomes
// stereo from its first two) and cut to a whole number of beats at one
// tempo; loops are grouped into at most eight instruments by sub-folder or
// by the start of their file names; a version-1.2 descriptor and a picture
// complete the song. Everything is written into a temporary folder beside
// the song's place and renamed into place at the end, so a failure at any
// point leaves no half song behind.
//
// Use: JL_PlanSong (scans and measures, fast; the caller may rename groups
// and choose the tempo), then JL_MakeSong (converts and writes; slow).
// JL_AddLoopToSong adds one file to an existing song's group.
//
// Threads: any thread but the audio thread; the functions share no state,
// but a song being made must not be made or changed by another call at the
// same time. Paths are system paths unless they say otherwise. Failures
// come back as false with a message that names the file and says why.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The beat counts a loop of a song can have: the engine plays a loop of
// 32 / divisor beats (integer division), so only these come out exact.
constexpr int kJLSongBeatCounts[] = {1, 2, 3, 4, 5, 6, 8, 10, 16, 32};
// Tempo range the detection chooses from (one octave and a bit).
constexpr int kJLDetectMinBpm = 80;
constexpr int kJLDetectMaxBpm = 180;
// A loop's length may differ this much (relative) from a whole number of
// beats and still count as fitting; it is then cut or padded to the exact
// length, which no one hears.
constexpr double kJLBeatTolerance = 0.01;
// What a song holds: eight instruments of 64 loops, the engine's 512.
constexpr int kJLMakerMaxGroups = 8;
constexpr int kJLMakerMaxLoopsPerGroup = 64;
// Loops shorter or longer than this are refused (a loop is 1 to 32 beats
// at a tempo of 30 to 400).
constexpr double kJLMakerMinSeconds = 0.15;
constexpr double kJLMakerMaxSeconds = 64.0;
// Longest song name (the folder's name, kept by mix documents).
constexpr int kJLMakerMaxNameBytes = 60;

// Frames of one beat at 44.1 kHz, as the engine counts them.
inline int64_t JL_FramesPerBeat(int bpm) { return bpm > 0 ? 2646000 / bpm : 0; }

struct JLBeatFit {
  int beats = 0;       // nearest count of kJLSongBeatCounts
  double error = 0;    // (measured - beats) / beats
  bool fits = false;   // |error| <= kJLBeatTolerance
};
// How a loop of `seconds` lies against whole beats at `bpm`: the count of
// kJLSongBeatCounts nearest in beats (a tie takes the longer one).
JLBeatFit JL_FitBeats(double seconds, int bpm);
// kJLSongBeatCounts for people: "1, 2, 3, 4, 5, 6, 8, 10, 16 or 32".
std::string JL_BeatCountsText();

struct JLTempoGuess {
  int bpm = 0;     // 0 when no loop was given
  int fitting = 0; // loops that fit a whole number of beats at it
};
// The tempo in [minBpm, maxBpm] at which most loops last a whole number of
// beats; among equals the one where more of them are 1, 2, 4, 8, 16 or 32
// beats, then the smallest summed error, then the one nearest to 120.
JLTempoGuess JL_DetectTempo(const std::vector<double>& seconds, int minBpm = kJLDetectMinBpm,
                            int maxBpm = kJLDetectMaxBpm);

// What to do with a loop that does not fit a whole number of beats.
enum class JLBeatFitMode { refuse, trim, stretch };

struct JLSongLoopSource {
  std::string path;     // system path
  std::string shown;    // the name to show: relative to the folder, bad bytes as '?'
  std::string label;    // one word for the loop pop-up
  int rate = 0, channels = 0;
  int64_t frames = 0;   // at its own rate
  double seconds = 0;
};

struct JLSongGroupPlan {
  std::string name;           // one word, the descriptor's group name
  std::vector<int> loops;     // indices into JLSongPlan::loops
};

struct JLSongPlan {
  std::string folder;                   // system path of the source folder
  std::vector<JLSongLoopSource> loops;
  std::vector<JLSongGroupPlan> groups;  // at most kJLMakerMaxGroups
  std::vector<std::string> skipped;     // "<name>: why" for files left out
  JLTempoGuess detected;
};

// Lists the folder and its sub-folders (one level), measures every sound
// file and groups the loops: each sub-folder is one group, files directly
// in the folder are grouped by the letters their names start with
// ("Drums_01.wav" -> "drums"). Groups beyond eight are folded into the
// eighth ("other"); a group of more than 64 loops is split while groups
// are left. Files that are obviously not sound (text, pictures, hidden
// files) are skipped with a note; a file with a sound name that is no
// sound file, or a sound file without a usable length, fails the plan.
bool JL_PlanSong(const std::string& folder, JLSongPlan* plan, std::string* error);

struct JLMakeSongOptions {
  int bpm = 0;  // 0: the detected tempo
  JLBeatFitMode fit = JLBeatFitMode::refuse;
  std::string collection = "My loops";  // shown by the song browser
  // Called before each loop with (done, total); false cancels the make.
  std::function<bool(int, int)> progress;
};

struct JLMakeSongResult {
  std::string songFolder;          // internal path (":Library:Song:<name>:") on success
  int bpm = 0;
  int loops = 0;
  std::vector<std::string> notes;  // fitted loops, converted formats
};

// Whether `name` can name a new song of the library: a safe folder name
// of valid UTF-8, at most kJLMakerMaxNameBytes, not yet taken. *why says
// what is wrong.
bool JL_SongNameUsable(const std::string& name, std::string* why);

// The loops that do not last a whole number of beats at `bpm`, named with
// their measured beats ("odd.wav (3.40 beats)"), at most `most` of them,
// and their count.
int JL_MisfitLoops(const JLSongPlan& plan, int bpm, int most, std::string* names);

// The instruments' names as one line to edit ("drums, bass, perc"), and
// that line read back into the plan: the k-th comma-separated field renames
// the k-th instrument (spaces around it dropped, an empty or missing field
// keeps the name, extra fields are ignored). One line, so that Return in a
// plain text entry answers it.
std::string JL_InstrumentNamesLine(const JLSongPlan& plan);
void JL_RenameInstruments(const std::string& line, JLSongPlan* plan);

// Writes the planned song as ":Library:Song:<name>:" of the current
// folder. Refused when the name is no safe folder name, longer than
// kJLMakerMaxNameBytes or taken, when a loop does not fit the tempo and
// `fit` is refuse (every such loop is named), or when a loop cannot be
// converted or written; then nothing is left.
bool JL_MakeSong(const JLSongPlan& plan, const std::string& name, const JLMakeSongOptions& options,
                 JLMakeSongResult* result, std::string* error);

// Adds the sound file `path` to group `group` of the song in `songFolder`
// (internal path ending with ':'), converted and cut to whole beats at
// the song's tempo (a loop that does not fit is trimmed to the nearest beat
// count, or stretched when `stretch`). The new descriptor replaces the old
// one by a rename; the loop file is in place before. On success *file is
// the new loop's descriptor name (e.g. "bass05") and *beats its length.
bool JL_AddLoopToSong(const char* songFolder, const char* group, const std::string& path, bool stretch,
                      std::string* file, int* beats, std::string* error);

// The text for a name from outside: invalid UTF-8 bytes and control
// characters as '?', at most 80 characters shown.
std::string JL_ShownName(const std::string& name);
// A name from outside as one descriptor word: letters, digits, '-' and '_'
// kept, others dropped, cut to `maxBytes`; `fallback` when nothing is left.
std::string JL_DescriptorWord(const std::string& name, size_t maxBytes, const char* fallback);
// Inserts `line` into a version-1.2 descriptor's text as the last line of
// its tracks block (with the text's own line end); false, and the text
// untouched, when it has no tracks block closed by "ENDCOMMAND:".
bool JL_InsertTrackLine(std::string* text, const std::string& line);
