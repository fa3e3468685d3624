// Groove panel, layout 1 (items 0-49): background, track buttons and
// lamps, modes, transport, volume and pan, tempo, playbar lamps and level
// bars. The panel covers the whole 640 x 480 screen. Labels of the items of
// layouts 2 and 8 are engraved on this background too.
#include "tools/skingen/skinDecl.h"

namespace skin {

namespace {
constexpr int kStripX = 14, kStripPitch = 77, kStripW = 72;
int stripX(int t) { return kStripX + kStripPitch * t; }
}  // namespace

Layout MakeGroove1() {
  using namespace colours;
  Layout L;
  L.id = 1;
  L.firstSlot = 0;
  L.panelEntry = 0;
  L.name = "groove";
  L.title = "";
  L.recoloured = true;
  L.w = 640;
  L.h = 480;

  Item& bg = L.add(0, kBackpane, 0, 0, 640, 480, Look::Background);
  // The background only shows the panel: presses go to the controls above
  // it (a clickable background would take every press first).
  bg.state = 1;

  // Sections engraved on the background.
  Engraving logo;
  logo.type = Engraving::Logo;
  logo.x = 12;
  logo.y = 4;
  logo.text = "JAMLOOM";
  L.engravings.push_back(logo);
  L.section(8, 34, 624, 118, "TRACKS");
  L.section(8, 156, 312, 120, "SELECTED TRACK");
  L.section(328, 156, 304, 120, "MODES & RANDOM");
  L.section(8, 280, 624, 66, "TRANSPORT & TEMPO");
  L.section(8, 350, 624, 46, "GROOVE BANK");
  L.section(8, 400, 624, 46, "SEQUENCE");

  // Track strips: number button, on/solo lamp, level bar (the pop-ups are in
  // layout 2).
  static const int barItems[8] = {45, 46, 47, 48, 49, 51, 52, 53};
  for (int t = 0; t < 8; t++) {
    const int x = stripX(t);
    Item& b = L.add(1 + t, kImage, x, 50, kStripW, 22, Look::TrackButton, std::to_string(t + 1));
    b.samplePicture = t == 0 ? 2 : 1;
    b.helpTitle = "Track " + std::to_string(t + 1);
    b.helpText = "Select this track. The sliders and browsers act on it.";
    Item& led = L.add(26 + t, kImage, x, 120, 16, 16, Look::TrackLed);
    led.samplePicture = t < 5 ? 2 : (t == 5 ? 3 : 1);
    led.helpTitle = "Track on / off";
    led.helpText = "Mute or unmute this track (in Solo mode: solo it).";
    if (barItems[t] < 50) {
      Item& bar = L.add(barItems[t], kLevelBar, x + 20, 124, 52, 8, Look::LevelBar);
      bar.state = 1;
      bar.samplePicture = 0;
      bar.aux[kAuxVertical] = 0;
    }
  }

  // Modes.
  L.toggle(9, 336, 172, 56, 22, "SOLO", kYellow).helpTitle = "Solo";
  L.items.back().helpText = "Hear only the soloed tracks.";
  L.toggle(16, 396, 172, 56, 22, "GROUP", kCyan).helpTitle = "Group";
  L.items.back().helpText = "Click track numbers to group them; sliders then move the group.";
  L.toggle(17, 456, 172, 56, 22, "ALL", kMagenta).helpTitle = "All";
  L.items.back().helpText = "Sliders, Keep and Empty act on all eight tracks.";
  // Keep (item 60) and the browsers live in layout 2.
  L.button(10, 576, 172, 48, 22, "EMPTY").helpTitle = "Empty";
  L.items.back().helpText = "Remove the loop from the selected track.";

  // Randomise buttons: items 21, 20, 19, 18 are random sets 0-3.
  static const int rnd[4] = {21, 20, 19, 18};
  for (int k = 0; k < 4; k++) {
    Item& r = L.button(rnd[k], 336 + 60 * k, 204, 56, 24, "RND " + std::to_string(k + 1));
    r.helpTitle = "Randomise " + std::to_string(k + 1);
    r.helpText = "Fill the tracks from random set " + std::to_string(k + 1) + " and play.";
  }

  // Selected track: volume and pan.
  Item& vol = L.slider(34, 58, 222, 196, 16, 0, 127, "VOL");
  vol.sample = "100";
  vol.helpTitle = "Volume";
  vol.helpText = "Volume of the selected track (or of the group).";
  Item& pan = L.slider(36, 58, 246, 196, 16, -63, 63, "PAN");
  pan.helpTitle = "Pan";
  pan.helpText = "Left / right position of the selected track.";

  // Transport.
  L.button(25, 16, 296, 52, 24, "PLAY").helpTitle = "Play";
  L.items.back().helpText = "Play the current groove (Space).";
  L.button(24, 92, 296, 52, 24, "STOP").helpTitle = "Stop";
  L.items.back().helpText = "Stop playing.";
  L.toggle(15, 168, 296, 52, 24, "SYNC", kGreen).helpTitle = "Sync";
  L.items.back().helpText = "Changes wait for the next 8-bar boundary.";

  // Tempo (the buttons and the display are in layout 2).
  Item& tempo = L.slider(35, 248, 330, 164, 12, -50, 50, "");
  tempo.helpTitle = "Tempo";
  tempo.helpText = "Song tempo +-50 BPM, max 1.3 x it. Keys: hold Shift+B, press + or -.";

  // Playbar lamps: the playing position along the eight bars.
  for (int i = 0; i < 8; i++) {
    Item& p = L.lamp(37 + i, 424 + 16 * i, 300, 12, kCyan);
    p.samplePicture = i == 2 ? 1 : 0;
  }

  // Groove bank and sequence commands of this layout.
  L.button(12, 16, 366, 52, 24, "STORE").helpTitle = "Store";
  L.items.back().helpText = "Store the current groove as a new ball in the bank (Return).";
  L.button(22, 140, 416, 22, 24, "<").helpTitle = "Scroll sequence";
  L.items.back().helpText = "Show earlier steps of the sequence.";
  L.button(23, 452, 416, 22, 24, ">").helpTitle = "Scroll sequence";
  L.items.back().helpText = "Show later steps of the sequence.";

  // Navigation bar (shared with layouts 2 and 8).
  L.button(13, 75, 452, 52, 24, "OPEN").helpTitle = "Open";
  L.items.back().helpText = "Open a saved mix document (.jld).";
  L.button(11, 131, 452, 52, 24, "SAVE").helpTitle = "Save";
  L.items.back().helpText = "Save this mix as a document.";
  L.button(14, 329, 452, 62, 24, "SYNTH").helpTitle = "Synth";
  L.items.back().helpText = "Show or hide the arpeggio synth.";
  return L;
}

}  // namespace skin
