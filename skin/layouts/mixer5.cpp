// Virtual mixer, layout 5: the full-screen panel that plays whole
// arrangements built from the song's mix styles.
#include "tools/skingen/skinDecl.h"

namespace skin {

Layout MakeMixer5() {
  using namespace colours;
  Layout L;
  L.id = 5;
  L.panelEntry = 1;
  L.name = "mixer";
  L.title = "VIRTUAL MIXER";
  L.recoloured = true;
  L.add(0, kBackpane, 0, 0, 640, 480, Look::Background);
  // The background only shows the panel: presses go to the controls above
  // it (a clickable background would take every press first).
  L.items.back().state = 1;
  Engraving logo;
  logo.type = Engraving::Logo;
  logo.x = 12;
  logo.y = 4;
  logo.text = "JAMLOOM";
  L.engravings.push_back(logo);

  L.section(8, 34, 624, 154, "MIXES");
  L.section(8, 192, 312, 68, "LENGTH");
  L.section(328, 192, 304, 68, "TRACK LIGHTS");
  L.section(8, 264, 624, 80, "TRANSPORT & TEMPO");
  L.section(8, 348, 624, 96, "BACK TO THE GROOVE PANEL");

  // Title bar.
  L.text(47, 254, 5, 152, 20, "Night Drive").helpTitle = "Song";
  L.items.back().helpText = "The song the mixes are built from.";
  L.toggle(33, 414, 4, 46, 22, "HELP", kBlue).helpTitle = "Help";
  L.items.back().helpText = "Balloons explain each control (F1).";
  L.toggle(49, 464, 4, 46, 22, "TOUR", kBlue).helpTitle = "Guided tour";
  L.items.back().helpText = "Step-by-step help on the groove panel (asks about this mix first).";
  L.button(50, 514, 4, 40, 22, "INFO").helpTitle = "About";
  L.items.back().helpText = "About Jamloom.";
  L.button(34, 558, 4, 46, 22, "PREFS").helpTitle = "Preferences";
  L.items.back().helpText = "Random limits, export format and colours.";
  L.button(35, 608, 4, 24, 22, "X").helpTitle = "Quit";
  L.items.back().helpText = "Close Jamloom.";

  // The four mixes and their lamps (23, 25, 24, 45).
  static const int lamps[4] = {23, 25, 24, 45};
  for (int k = 0; k < 4; k++) {
    const int x = 24 + 152 * k;
    Item& b = L.button(1 + k, x, 54, 136, 40, "MIX " + std::to_string(k + 1));
    b.helpTitle = "Mix " + std::to_string(k + 1);
    b.helpText = "Play arrangement " + std::to_string(k + 1) + " of the song.";
    L.lamp(lamps[k], x + 61, 100, 14, kGreen).samplePicture = k == 0 ? 1 : 0;
  }
  L.text(38, 24, 126, 292, 22, "Style: Deep night").helpTitle = "Mix style";
  L.items.back().helpText = "The song's style the chosen mix is built from.";
  L.button(5, 328, 126, 110, 22, "NEW MIXES").helpTitle = "New mixes";
  L.items.back().helpText = "Build all four arrangements again at random.";
  L.button(6, 24, 156, 110, 22, "LIST ORDER").helpTitle = "List order";
  L.items.back().helpText = "When a mix ends, go on with the next one.";
  L.lamp(42, 138, 160, 14, kCyan);
  L.button(7, 172, 156, 120, 22, "RANDOM ORDER").helpTitle = "Random order";
  L.items.back().helpText = "When a mix ends, go on with a random one.";
  L.lamp(43, 296, 160, 14, kMagenta);
  L.button(8, 330, 156, 100, 22, "AUTO NEW").helpTitle = "Auto new";
  L.items.back().helpText = "Rebuild a mix each time before it plays.";
  L.lamp(46, 434, 160, 14, kOrange);

  // Length.
  Item& dur = L.slider(11, 70, 216, 154, 14, 0, 64, "STEPS");
  dur.helpTitle = "Length";
  dur.helpText = "Length of the mix in grooves (0: natural length).";
  Item& durText = L.text(41, 232, 212, 80, 22, "64 Bars");
  durText.state = 2;
  durText.helpTitle = "Duration";
  durText.helpText = "Click to switch between bars and time.";

  // Track lights.
  Item& rotor = L.add(37, kRotor, 344, 212, 272, 28, Look::Rotor);
  rotor.state = 1;

  // Transport and tempo.
  L.button(14, 16, 282, 52, 24, "PLAY").helpTitle = "Play";
  L.items.back().helpText = "Play the chosen mix.";
  L.lamp(26, 72, 287, 14, kGreen);
  L.button(13, 92, 282, 52, 24, "STOP").helpTitle = "Stop";
  L.items.back().helpText = "Stop playing.";
  L.lamp(36, 148, 287, 14, kRed).samplePicture = 1;
  L.caption(248, 289, "BPM", 10, 0, true);
  L.text(40, 276, 282, 52, 24, "120.0").helpTitle = "Tempo";
  L.items.back().helpText = "The tempo heard, in beats per minute.";
  L.button(30, 332, 282, 24, 24, "-").helpTitle = "Slower";
  L.items.back().helpText = "Tempo down by 0.2 BPM.";
  L.button(29, 360, 282, 24, 24, "+").helpTitle = "Faster";
  L.items.back().helpText = "Tempo up by 0.2 BPM.";
  L.button(31, 388, 282, 36, 24, "TAP").helpTitle = "Tap tempo";
  L.items.back().helpText = "Click on the beat a few times to set the tempo.";
  Item& tempo = L.slider(12, 248, 316, 176, 12, -50, 50, "");
  tempo.helpTitle = "Tempo";
  tempo.helpText = "50 BPM either way of the song's tempo, at most 1.3 times it.";
  for (int i = 0; i < 8; i++) L.lamp(15 + i, 436 + 15 * i, 286, 12, kCyan);
  L.text(39, 436, 308, 56, 18, "1.1").helpTitle = "Position";
  L.items.back().helpText = "Groove, bar and beat of the mix heard now.";
  Item& master = L.text(44, 564, 288, 60, 24, "100");
  master.label = "MASTER";
  master.labelPos = 1;
  master.state = 2;
  master.helpTitle = "Master volume";
  master.helpText = "Drag up or down to change the overall volume.";

  // Back to the groove panel.
  L.button(9, 24, 370, 180, 28, "KEEP THIS MIX").helpTitle = "Keep this mix";
  L.items.back().helpText = "Back to the groove panel with this mix as your bank.";
  L.button(28, 216, 370, 180, 28, "RESTORE GROOVES").helpTitle = "Restore";
  L.items.back().helpText = "Back to the groove panel and your own grooves.";
  L.caption(24, 410, "Keep: the mix's grooves become your groove bank and sequence.", 10);
  L.caption(24, 426, "Restore: the bank and sequence you had before come back.", 10);

  // Navigation.
  L.button(27, 9, 452, 62, 24, "SONGS").helpTitle = "Songs";
  L.items.back().helpText = "Choose and load a song.";
  L.button(10, 75, 452, 62, 24, "SYNTH").helpTitle = "Synth";
  L.items.back().helpText = "Show or hide the arpeggio synth.";
  L.lamp(48, 141, 457, 14, kBlue);
  return L;
}

}  // namespace skin
