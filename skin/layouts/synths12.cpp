// Synth browser, layout 12: lists the synth sounds of the library or of a
// disk, previews one with a fixed arpeggio and copies sounds from disks.
#include "tools/skingen/skinDecl.h"

namespace skin {

Layout MakeSynths12() {
  using namespace colours;
  Layout L;
  L.id = 12;
  L.panelEntry = 7;
  L.name = "synths";
  L.title = "SYNTH SOUNDS";
  L.floating = true;
  L.w = 440;
  L.h = 300;
  L.screenX = 100;
  L.screenY = 100;
  L.add(0, kBackpane, 0, 0, L.w, L.h, Look::Background);
  // The background only shows the panel: presses on it go to the controls
  // above it, or drag the panel.
  L.items.back().state = 1;

  L.button(5, 410, 3, 24, 20, "X").helpTitle = "Close";
  L.items.back().helpText = "Back to the synth; its sound stays.";
  L.text(21, 12, 33, 120, 22, "Home");
  L.button(1, 138, 32, 56, 24, "HOME").helpTitle = "Home";
  L.items.back().helpText = "Show the synth sounds of your library.";
  L.button(2, 198, 32, 84, 24, "NEXT DISK").helpTitle = "Next disk";
  L.items.back().helpText = "Show the synth sounds of the next removable disk.";
  L.button(4, 286, 32, 60, 24, "EJECT");
  L.button(3, 350, 32, 78, 24, "COPY").helpTitle = "Copy";
  L.items.back().helpText = "Copy the marked sounds into your library.";

  L.section(8, 60, 278, 200, "SOUNDS");
  static const char* const sample[9] = {"Bell tower", "Glass pluck", "Organ 2", "Saw lead", "", "", "", "", ""};
  for (int j = 0; j < 9; j++) {
    Item& r = L.add(10 + j, kText, 16, 74 + 20 * j, 234, 19, Look::ListRow);
    r.sample = sample[j];
    r.samplePicture = j == 1 ? 1 : 0;
    if (j == 0) {
      r.helpTitle = "Sounds";
      r.helpText = "Click to choose and hear a sound; Shift-click marks several.";
    }
  }
  L.button(7, 256, 74, 24, 60, "^");
  L.button(8, 256, 194, 24, 60, "v");

  L.section(294, 60, 138, 200, "PICTURE");
  Item& pic = L.add(19, kImagePtr, 321, 78, 84, 84, Look::Picture84);
  pic.state = 1;
  L.toggle(20, 302, 174, 122, 24, "NO PREVIEW", kOrange).helpTitle = "No preview";
  L.items.back().helpText = "Clicking a sound selects it without playing it.";
  L.text(22, 12, 268, 320, 20, "4 sounds");
  L.button(6, 346, 266, 82, 26, "DONE").helpTitle = "Done";
  L.items.back().helpText = "Back to the synth with the sound you clicked.";
  return L;
}

}  // namespace skin
