// What plays: a track (one loop variant of one group, volume, pan), a groove
// (all tracks at once), a sequence (up to 64 stored grooves and a play order
// of up to 100 steps naming them by id) and the ice image that freezes a
// whole working state for a mix document.
//
// Plain records copied by value. Their in-memory layout equals the stored
// one (checked below), but files are read and written only through
// JL_PutIceimage / JL_GetIceimage, field by field, little-endian; the reader
// brings every count and index back into range, so a record read from any
// bytes is safe to use.
//
// Any thread that owns the record; no shared state.
#pragma once
#include <cstddef>
#include <cstdint>

struct JLTrack {
  int16_t volume;   // 0..127
  int16_t pan;      // -63 left .. 63 right
  int16_t group;    // group of the song, -1 = no loop
  int16_t variant;  // slot in the group, -1 = none

  JLTrack() { reset(); }
  void reset() {
    volume = 0;
    pan = 0;
    group = -1;
    variant = -1;
  }
};

struct JLGroove {
  static constexpr int kTracks = 16;  // 0..7 shown, 8..15 carried along
  JLTrack tracks[kTracks];
  int16_t id;  // 0 = not stored; unique within its sequence otherwise

  JLGroove() { id = 0; }
  void reset() {
    for (auto& t : tracks) t.reset();
    id = 0;
  }
};

struct JLSequence {
  static constexpr int kMaxGrooves = 64;
  static constexpr int kMaxSteps = 100;

  JLGroove grooves[kMaxGrooves];
  int16_t grooveCount;
  int16_t steps[kMaxSteps];  // ids of stored grooves, in play order
  int16_t stepCount;
  int16_t userStepCount;     // length chosen in the virtual mixer

  JLSequence();

  // One more than the largest stored id (1 for an empty bank): removing the
  // grooves with the largest ids gives those ids out again.
  int16_t nextGrooveId() const;
  // Gives `current` the next id and appends a copy. Returns the id, or 0
  // (nothing stored) when the bank is full.
  int16_t store(JLGroove& current);
  // Removes the stored groove at an index; false for an index outside.
  bool removeGroove(int16_t index);
  // Index of the stored groove with this id, or -1.
  int16_t findGroove(int16_t id) const;
  // Appends every stored groove's id to the play order while there is room;
  // returns the number of steps added.
  int16_t addAllToSteps();
  // First stage of clearing: empties the play order. False when it was
  // already empty (the caller then asks before removeAllGrooves).
  bool clearSteps();
  void removeAllGrooves() { grooveCount = 0; }
  // Moves to the next step (wrapping) and copies its groove over `current`.
  // False, leaving `current`, when there is no step or its groove is gone.
  bool advance(int16_t& stepIndex, JLGroove& current) const;
  // Fills userStepCount steps with the stored grooves repeated in order, or
  // takes the present length as the user's when none was chosen.
  void stretchToUser();
};

struct JLIceimage {
  static constexpr int kSongNameSize = 65;

  uint8_t valid;
  char songName[kSongNameSize];  // folder name below ":Library:Song:"
  JLSequence sequence;
  JLGroove groove;
  int16_t selectedTrack;
  float bpm;
  uint8_t unused[4];

  JLIceimage();
};

// Stored sizes; the in-memory records have the same layout.
constexpr int kJLTrackBytes = 8;
constexpr int kJLGrooveBytes = 130;
constexpr int kJLSequenceBytes = 8526;
constexpr int kJLIceimageBytes = 8732;

static_assert(sizeof(JLTrack) == kJLTrackBytes, "JLTrack layout");
static_assert(sizeof(JLGroove) == kJLGrooveBytes && offsetof(JLGroove, id) == 128, "JLGroove layout");
static_assert(sizeof(JLSequence) == kJLSequenceBytes && offsetof(JLSequence, grooveCount) == 8320 &&
                  offsetof(JLSequence, steps) == 8322 && offsetof(JLSequence, stepCount) == 8522 &&
                  offsetof(JLSequence, userStepCount) == 8524,
              "JLSequence layout");
static_assert(sizeof(JLIceimage) == kJLIceimageBytes && offsetof(JLIceimage, songName) == 1 &&
                  offsetof(JLIceimage, sequence) == 66 && offsetof(JLIceimage, groove) == 8592 &&
                  offsetof(JLIceimage, selectedTrack) == 8722 && offsetof(JLIceimage, bpm) == 8724,
              "JLIceimage layout");

// Writes the stored form (kJLIceimageBytes bytes, little-endian).
void JL_PutIceimage(const JLIceimage& image, uint8_t* out);
// Reads the stored form. Counts are clamped to the tables, group and
// variant numbers outside the tables become -1, the song name is always
// terminated, the selected track is one of 0..7 and a tempo that is not a
// finite positive number becomes 0.
void JL_GetIceimage(const uint8_t* in, JLIceimage& image);
