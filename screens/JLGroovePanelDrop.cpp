// Sound files dropped on the groove panel's tracks.
#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "framework/platform/uloSys.h"
#include "screens/JLGroovePanel.h"
#include "song/JLSongMaker.h"

short JLGroovePanel::trackAt(int x, int y) {
  for (short t = 0; t < 8; t++) {
    // A track is the band its pop-ups and level bar span.
    int l = INT16_MAX, tp = INT16_MAX, r = INT16_MIN, b = INT16_MIN;
    for (int16_t item : {sampGrSelTable[t], sampInSelTable[t], barItemsTable[t]}) {
      const uloPanelControl* c = control(item);
      if (!c || !c->visible) continue;
      l = std::min<int>(l, c->rect.left);
      tp = std::min<int>(tp, c->rect.top);
      r = std::max<int>(r, c->rect.right);
      b = std::max<int>(b, c->rect.bottom);
    }
    if (x >= l && x < r && y >= tp && y < b) return t;
  }
  return -1;
}

bool JLGroovePanel::onDrop(const char* path) {
  const short t = trackAt(uloGlo.mouseX, uloGlo.mouseY);
  if (t < 0) return false;
  struct stat st {};
  if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
    ULO_UserNotify("Drop one sound file on a track; a folder of them becomes a new song in the song browser.", 0);
    return true;
  }
  const int16_t group = groove.tracks[t].group;
  if (!songFolder[0] || group < 0 || group >= library.groupCount) {
    ULO_UserNotify("Choose an instrument for this track first: the dropped loop joins the track's instrument.", 0);
    return true;
  }
  std::string file, error;
  int beats = 0;
  char folder[sizeof songFolder];
  snprintf(folder, sizeof folder, "%s", songFolder);
  const std::string groupName = library.groups[group].name;
  if (!JL_AddLoopToSong(folder, groupName.c_str(), path, false, &file, &beats, &error)) {
    ULO_UserNotifyUtf8(("The loop was not added: " + error).c_str(), 0);
    return true;
  }
  // The song is read again with its new loop; what the tracks play stays,
  // and the track that took the drop plays the new loop.
  const JLGroove kept = groove;
  holdWorkMark = true;
  const bool loaded = loadSong(folder);
  holdWorkMark = false;
  if (!loaded) {
    ULO_UserNotify("The loop was added, but the song could not be read again.", 0);
    return true;
  }
  groove = kept;
  const int16_t g = library.getGroupIndex(groupName.c_str());
  if (g >= 0) {
    groove.tracks[t].group = g;
    groove.tracks[t].variant = int16_t(library.groups[g].count - 1);
  }
  for (short k = 0; k < 16; k++) tracks[k].filledGroup = -2;
  fillGroupPopups();
  markModified();
  groove_activateAndShow();
  onItem_trackButton(t);
  return true;
}
