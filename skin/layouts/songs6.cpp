// Song browser, layout 6: lists the songs of the library or of a disk,
// shows the selected song's picture and description, previews and loads.
#include "tools/skingen/skinDecl.h"

namespace skin {

Layout MakeSongs6() {
  using namespace colours;
  Layout L;
  L.id = 6;
  L.panelEntry = 6;
  L.name = "songs";
  L.title = "SONGS";
  L.floating = true;
  L.w = 600;
  L.h = 396;
  L.screenX = 20;
  L.screenY = 42;
  L.add(0, kBackpane, 0, 0, L.w, L.h, Look::Background);
  // The background only shows the panel: presses on it go to the controls
  // above it, or drag the panel.
  L.items.back().state = 1;

  L.button(9, 570, 3, 24, 20, "X").helpTitle = "Close";
  L.items.back().helpText = "Back to the groove panel.";
  L.text(1, 16, 33, 150, 22, "Home").helpTitle = "Place";
  L.items.back().helpText = "Where the songs come from: your library or a disk.";
  L.button(5, 172, 32, 56, 24, "HOME").helpTitle = "Home";
  L.items.back().helpText = "Show the songs of your library.";
  L.button(4, 232, 32, 84, 24, "NEXT DISK").helpTitle = "Next disk";
  L.items.back().helpText = "Show the songs on the next removable disk.";
  L.button(3, 320, 32, 60, 24, "EJECT").helpTitle = "Eject";
  L.items.back().helpText = "Eject the disk shown.";
  L.button(6, 384, 32, 144, 24, "COPY TO LIBRARY").helpTitle = "Copy to library";
  L.items.back().helpText = "Copy the selected song from the disk into your library.";
  L.button(2, 532, 32, 52, 24, "WEB").helpTitle = "More songs";
  L.items.back().helpText = "Open the Jamloom web page.";

  L.section(8, 60, 344, 206, "SONG LIST");
  static const int rows[9] = {14, 15, 16, 29, 17, 18, 30, 31, 32};
  static const char* const sample[9] = {" Acid Morning", " Blue Hour", " City Lights", " Deep Water", " Night Drive",
                                        " Open Road",    " Slow Burn", " Sunday Dub",  ""};
  for (int j = 0; j < 9; j++) {
    Item& r = L.add(rows[j], kText, 16, 74 + 21 * j, 298, 20, Look::ListRow);
    r.sample = sample[j];
    r.samplePicture = j == 4 ? 1 : 0;
    if (j == 0) {
      r.helpTitle = "Song list";
      r.helpText = "Click a song to hear a preview of it.";
    }
  }
  L.button(10, 320, 74, 24, 60, "^").helpTitle = "Scroll up";
  L.items.back().helpText = "Show earlier songs (Up arrow moves the selection).";
  L.button(11, 320, 203, 24, 60, "v").helpTitle = "Scroll down";
  L.items.back().helpText = "Show later songs.";

  L.section(360, 60, 232, 206, "SELECTED SONG");
  Item& pic = L.add(12, kImagePtr, 368, 76, 84, 84, Look::Picture84);
  pic.state = 1;
  Item& load = L.button(8, 460, 76, 124, 32, "LOAD SONG");
  load.helpTitle = "Load";
  load.helpText = "Load the selected song and play it (Return).";
  L.toggle(28, 460, 112, 124, 22, "NO PREVIEW", kOrange).helpTitle = "No preview";
  L.items.back().helpText = "Clicking a song selects it without playing it (P).";
  L.button(33, 460, 138, 124, 24, "NEW SONG").helpTitle = "New song";
  L.items.back().helpText = "Make a song of your own sound files: choose a folder (or drop one here).";
  L.text(19, 368, 168, 216, 18, "Night Drive (Song7) 124 BPM");
  L.text(20, 368, 188, 216, 18, "Jamloom Demo");
  L.text(27, 368, 208, 216, 18, "");
  L.text(25, 368, 228, 216, 18, "");
  L.text(26, 368, 246, 216, 18, "");

  L.section(8, 272, 584, 96, "DESCRIPTION");
  L.text(21, 16, 288, 568, 18, "A late drive through a sleeping city: warm pads, a rolling bass and crisp");
  L.text(22, 16, 306, 568, 18, "hats at 124 BPM.");
  L.text(23, 16, 324, 568, 18, "");
  L.text(24, 16, 342, 568, 18, "");
  L.caption(300, 376, "Click a song to preview it, then LOAD SONG.  Backspace deletes a song.", 10, 1);
  return L;
}

}  // namespace skin
