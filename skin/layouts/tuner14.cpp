// Loop tuner, layout 14: record or load a loop of one's own and fit it to
// the song (length in bars, phase, region, rate and volume).
#include "tools/skingen/skinDecl.h"

namespace skin {

Layout MakeTuner14() {
  using namespace colours;
  Layout L;
  L.id = 14;
  L.panelEntry = 4;
  L.name = "tuner";
  L.title = "LOOP TUNER";
  L.recoloured = true;
  L.floating = true;
  L.w = 440;
  L.h = 334;
  L.screenX = 100;
  L.screenY = 100;
  L.add(0, kBackpane, 0, 0, L.w, L.h, Look::Background);
  // The background only shows the panel: presses on it go to the controls
  // above it, or drag the panel.
  L.items.back().state = 1;

  L.button(14, 410, 3, 24, 20, "X").helpTitle = "Close";
  L.items.back().helpText = "Close the tuner; your loop is removed.";
  L.button(10, 12, 32, 70, 24, "RECORD").helpTitle = "Record";
  L.items.back().helpText = "Record a loop from the sound input.";
  L.button(11, 86, 32, 52, 24, "STOP").helpTitle = "Stop recording";
  L.items.back().helpText = "End the recording now.";
  L.button(13, 142, 32, 56, 24, "OPEN").helpTitle = "Open";
  L.items.back().helpText = "Load a sound file as your loop.";
  L.button(16, 202, 32, 52, 24, "SAVE");
  L.button(12, 258, 32, 64, 24, "ON/OFF").helpTitle = "Loop on / off";
  L.items.back().helpText = "Hear or mute your loop.";
  Item& lamp = L.lamp(23, 328, 37, 14, kGreen);
  lamp.states = {"off", "on", "recording"};
  lamp.samplePicture = 1;
  lamp.helpTitle = "Loop lamp";
  lamp.helpText = "Lit while your loop plays; red while recording.";
  L.text(25, 12, 62, 416, 20, "UserRec");

  struct Row {
    int item;
    int display;
    const char* label;
    int min, max;
    const char* sample;
    const char* help;
  };
  static const Row rows[] = {
      {1, 8, "BARS", -50, 50, "1", "Length of one cycle: 1, 2, 4 or 8 bars."},
      {2, 9, "PHASE", -50, 50, "0.00", "Shift the loop against the beat."},
      {3, 20, "START", -50, 50, "0.00%", "Where the played region starts."},
      {4, -1, "fine", -50, 50, "", ""},
      {5, 21, "END", -50, 50, "100.00%", "Where the played region ends."},
      {6, -1, "fine", -50, 50, "", ""},
      {7, 22, "RATE", -50, 50, "1.00 120", "Speed ratio and resulting tempo."},
      {24, -1, "fine", -50, 50, "", ""},
      {18, -1, "VOLUME", 0, 100, "", "Volume of your loop."},
  };
  int y = 94;
  for (const Row& r : rows) {
    const bool fine = r.label[0] == 'f';
    Item& s = L.slider(r.item, fine ? 120 : 96, y, fine ? 176 : 200, fine ? 10 : 14, r.min, r.max, r.label);
    if (r.help[0]) {
      s.helpTitle = r.label;
      s.helpText = r.help;
    }
    if (r.display > 0) L.text(r.display, 316, y - 3, 112, 20, r.sample);
    y += fine ? 20 : 26;
  }
  L.button(15, 12, 302, 64, 24, "RESET").helpTitle = "Reset";
  L.items.back().helpText = "Back to 1 bar, whole loop, normal rate.";
  L.button(17, 364, 302, 64, 24, "DONE");
  return L;
}

}  // namespace skin
