// What the virtual mixer needs of the panel whose bank and sequence it
// plays (the groove panel), and the building of one virtual mix from a mix
// style of the song.
//
// User-interface thread only.
#pragma once
#include <cstdint>

#include "song/JLGroove.h"
#include "song/JLSongLibrary.h"

class QXPanelClass;

class JLVMixHost {
 public:
  virtual ~JLVMixHost() = default;
  virtual const JLSongLibrary& song() = 0;
  // The bank and sequence the player plays.
  virtual JLSequence& bank() = 0;
  // The selected (playing) step of the sequence, -1 for none.
  virtual int16_t selectedStep() = 0;
  virtual void setSelectedStep(int16_t step) = 0;
  // Moves the sequence on to its next step.
  virtual void seqActivateNext() = 0;
  // Both ball rows redrawn (keeping the mix).
  virtual void refreshRows() = 0;
  // Back to what was there when the mixer was entered: bank, sequence,
  // working groove and mutes (rows without selection); resumePlay then
  // plays again what was playing then.
  virtual void restoreBackup() = 0;
  virtual void resumePlay() = 0;
  // A song is loaded only for a while (a song preview, or the user's song
  // read again when it ends): the mixes stay as they are.
  virtual bool songBorrowed() { return false; }
  // Whether the bank and sequence taken aside when the mixer was entered
  // hold grooves no mix document keeps (KEEP THIS MIX would lose them).
  virtual bool keepingLosesGrooves() { return true; }
  // Whether track t of the working groove has a loop.
  virtual bool trackHasLoop(int16_t t) = 0;
};

// The host for the groove panel of screen entry 0, or null when there is
// none. The object lives as long as the program.
JLVMixHost* JL_GrooveVMixHost();

// Fills `bank` from mix style n of the song: a groove per style row (id
// row + 1) and a sequence playing them in order. A style number outside
// the song leaves `bank` as it was. Slots whose group has no loops stay
// silent; a slot redraws its variant (at most 10 draws in all) while an
// earlier slot of the same group has that variant. A groove never plays
// one loop on two tracks: the later track stays empty. In an old-format
// song's drawn styles each group plays at most once, on track group % 8.
void JL_BuildVMix(const JLSongLibrary& song, JLSequence& bank, int16_t n);
