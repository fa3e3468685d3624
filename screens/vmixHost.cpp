#include "screens/vmixHost.h"

#include <cstring>

#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "screens/JLGroovePanel.h"

void JL_BuildVMix(const JLSongLibrary& song, JLSequence& bank, int16_t n) {
  if (n < 0 || n >= song.styleCount || n >= kJLMaxStyles) return;
  const JLMixStyle& style = song.styles[n];
  const int slotCount = style.slotCount < 0 ? 0 : (style.slotCount > kJLStyleSlots ? kJLStyleSlots : style.slotCount);
  int16_t variant[kJLStyleSlots];
  for (int j = 0; j < slotCount; j++) {
    variant[j] = -1;
    const int16_t group = style.slots[j];
    if (group < 0 || group >= song.groupCount || group >= kJLMaxGroups) continue;
    const int16_t loops = song.groups[group].count;
    // Drawing over an empty group would pick a loop that does not exist.
    if (loops <= 0) continue;
    for (int draw = 0; draw < 10; draw++) {
      variant[j] = ULO_Random(loops);
      bool repeated = false;
      for (int k = 0; k < j && !repeated; k++) repeated = style.slots[k] == group && variant[k] == variant[j];
      if (!repeated) break;
    }
  }
  // The styles of an old-format song are drawn at random, and their rows
  // put one instrument on several tracks (a bass on four tracks is only the
  // bass 12 dB louder), moving from track to track between rows (where the
  // old track's fade overlaps the new one's start). There a drawn row only
  // says which instruments play: each plays once, on a track of its own
  // (group number modulo 8; a group whose track is taken stays out). An
  // authored style may layer two loops of one group, but never the same
  // loop twice.
  const bool drawnStyles = strncmp(song.parserInfo, "Parser: JLS 1.0", 15) == 0;
  int rows = style.rowCount < 0 ? 0 : style.rowCount;
  if (rows > kJLStyleRows) rows = kJLStyleRows;
  if (rows > JLSequence::kMaxGrooves) rows = JLSequence::kMaxGrooves;
  for (int r = 0; r < rows; r++) {
    JLGroove& g = bank.grooves[r];
    g.reset();
    for (int t = 0; t < kJLStyleTracks; t++) {
      const int16_t slot = style.rows[r][t];
      if (slot < 0 || slot >= slotCount || variant[slot] < 0) continue;
      const int place = drawnStyles ? style.slots[slot] % kJLStyleTracks : t;
      bool doubled = g.tracks[place].group >= 0;
      for (int u = 0; u < t && !doubled; u++)
        doubled = g.tracks[u].group == style.slots[slot] && g.tracks[u].variant == variant[slot];
      if (doubled) continue;
      const JLSongGroup& grp = song.groups[style.slots[slot]];
      JLTrack& tr = g.tracks[place];
      tr.group = style.slots[slot];
      tr.variant = variant[slot];
      tr.volume = grp.volume[variant[slot]];
      tr.pan = int16_t(grp.pan[variant[slot]] - 63);
    }
    g.id = int16_t(r + 1);
    bank.steps[r] = int16_t(r + 1);
  }
  bank.grooveCount = int16_t(rows);
  bank.stepCount = int16_t(rows);
}

namespace {

class GrooveHost : public JLVMixHost {
 public:
  explicit GrooveHost(JLGroovePanel* p) : gp(p) {}
  const JLSongLibrary& song() override { return gp->library; }
  JLSequence& bank() override { return gp->sequence; }
  int16_t selectedStep() override { return gp->sequenceRow.selected; }
  void setSelectedStep(int16_t step) override { gp->sequenceRow.selected = step; }
  void seqActivateNext() override { gp->seqActivateNext(); }
  void refreshRows() override {
    gp->grooveRow.refresh();
    gp->sequenceRow.refresh();
  }
  void restoreBackup() override { gp->restoreFromVirtualMixer(); }
  void resumePlay() override { gp->resumeAfterVirtualMixer(); }
  bool songBorrowed() override { return gp->songBorrowed(); }
  bool keepingLosesGrooves() override { return gp->bankUnsaved(); }
  bool trackHasLoop(int16_t t) override { return t >= 0 && t < 8 && gp->groove.tracks[t].group >= 0; }

  JLGroovePanel* gp;
};

}  // namespace

JLVMixHost* JL_GrooveVMixHost() {
  auto* gp = dynamic_cast<JLGroovePanel*>(QXScreen.panelAt(0));
  if (!gp) return nullptr;
  static GrooveHost host(gp);
  host.gp = gp;
  return &host;
}
