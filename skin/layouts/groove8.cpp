// Groove panel, layout 8 (items 100-127, slots 100-149): the two ball rows,
// the numeric displays, lamps and the last commands.
#include "tools/skingen/skinDecl.h"

namespace skin {

Layout MakeGroove8() {
  using namespace colours;
  Layout L;
  L.id = 8;
  L.firstSlot = 100;
  L.panelEntry = 0;
  L.name = "groove8";
  L.w = 640;
  L.h = 480;

  for (int i = 0; i < 8; i++) {
    Item& g = L.add(101 + i, kBall, 168 + 36 * i, 364, 28, 28, Look::Ball);
    g.sample = i < 5 ? std::to_string(i + 1) : "";
    g.samplePicture = 0;
    if (i == 0) {
      g.helpTitle = "Groove bank";
      g.helpText = "Click a ball to play it; drag it down into the sequence.";
    }
    Item& s = L.add(109 + i, kBallReceiver, 168 + 36 * i, 414, 28, 28, Look::Ball);
    s.sample = i < 6 ? std::to_string(1 + (i * 2) % 5) : "";
    s.accent = 1;  // sequence colour
    if (i == 0) {
      s.helpTitle = "Sequence";
      s.helpText = "Steps play left to right; drag a ball away to remove it.";
    }
  }

  Item& vol = L.text(118, 260, 220, 52, 20, "100");
  vol.helpTitle = "Volume value";
  vol.helpText = "Hold V and Return, type a number to set it.";
  L.text(119, 260, 244, 52, 20, "0");
  Item& master = L.text(120, 564, 302, 60, 24, "100");
  master.label = "MASTER";
  master.labelPos = 1;
  master.helpTitle = "Master volume";
  master.helpText = "Drag up or down to change the overall volume.";
  master.state = 2;  // pressed and dragged

  L.lamp(121, 72, 301, 14, kGreen).samplePicture = 1;
  L.lamp(122, 148, 301, 14, kRed);
  L.lamp(125, 224, 301, 14, kYellow);
  L.lamp(124, 395, 457, 14, kBlue);

  L.button(117, 479, 452, 72, 24, "RND MIX").helpTitle = "Random mix";
  L.items.back().helpText = "Show the random mix panel (its settings are not in use yet).";
  L.button(123, 555, 452, 76, 24, "NETWORK").helpTitle = "Network (not available)";
  L.items.back().helpText = "This version cannot link with another Jamloom.";
  L.toggle(126, 464, 4, 46, 22, "TOUR", kBlue).helpTitle = "Guided tour";
  L.items.back().helpText = "Step-by-step help for a first groove.";
  L.button(127, 514, 4, 40, 22, "INFO").helpTitle = "About";
  L.items.back().helpText = "About Jamloom.";
  return L;
}

}  // namespace skin
