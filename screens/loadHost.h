// What the song browser asks of the groove panel: load a song (which then
// holds its first groove) for good, or load and randomise it for a
// preview, ask before an unsaved bank is lost, run the light chase, tell
// the network partner. The browser talks to this small interface so that it can be
// driven without the whole groove panel; the default host is the groove
// panel of screen entry 0.
//
// User-interface thread only. Without a groove panel every request does
// nothing and loadSong returns false.
#pragma once
#include <cstdint>

struct JLGroove;
class JLNet;

class JLLoadHost {
 public:
  virtual ~JLLoadHost() = default;
  virtual bool loadSong(const char* folder) = 0;
  virtual void randomize(short set) = 0;
  // Before a load replaces the work (groove, tempo, mutes, bank and
  // sequence): false when the user wants to keep changes that are not saved
  // in a mix document. `folder` is the song about to be loaded (the
  // question words a reload of the loaded song as such).
  virtual bool mayReplaceBank(const char* folder) = 0;
  virtual void lightGame_Start(int32_t period) = 0;
  virtual void lightGame_End() = 0;
  // Null when there is no link.
  virtual JLNet* net() = 0;
  virtual const JLGroove* groove() = 0;
  // The folder of the song loaded in the groove panel ("" none);
  // forgetSong() unloads it (its folder was deleted).
  virtual const char* songFolder() = 0;
  virtual void forgetSong() = 0;
  // A preview borrows the panel (see JLGroovePanel::beginPreview): the
  // song, grooves, bank, sequence, tempo and transport come back with
  // endPreview (false: nothing to restore, or its song is gone);
  // keepPreview makes what the preview loaded stay. previewedFrom is the
  // song a preview would restore ("" none or no song before).
  virtual void beginPreview() = 0;
  virtual bool endPreview(bool play, bool reload) = 0;
  virtual void keepPreview() = 0;
  virtual bool previewing() = 0;
  virtual const char* previewedFrom() = 0;
};

// The groove panel of the screen, as a host.
JLLoadHost* JL_LoadHostOfGroovePanel();
