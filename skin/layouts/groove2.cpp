// Groove panel, layout 2 (items 50-99, slots 50-99): the track pop-ups,
// the browsers, the remaining level bars, tempo buttons, bank commands,
// navigation and the text displays.
#include "tools/skingen/skinDecl.h"

namespace skin {

Layout MakeGroove2() {
  using namespace colours;
  Layout L;
  L.id = 2;
  L.firstSlot = 50;
  L.panelEntry = 0;
  L.name = "groove2";
  L.w = 640;
  L.h = 480;

  static const char* const groups[8] = {"Drums", "Bass", "Pads", "Lead", "Chords", "FX", "Perc", " -"};
  static const char* const loops[8] = {"Beat 2", "Sub 1", "Warm 3", "Saw 1", "Stab 4", "Riser", "Shaker", " ---"};
  static const int groupItems[8] = {77, 78, 79, 80, 81, 82, 83, 84};
  static const int indexItems[8] = {94, 76, 92, 90, 87, 88, 98, 91};
  for (int t = 0; t < 8; t++) {
    const int x = 14 + 77 * t;
    Item& g = L.popup(groupItems[t], x, 76, 72, 18, groups[t]);
    g.helpTitle = "Instrument " + std::to_string(t + 1);
    g.helpText = "Choose the instrument group of this track.";
    Item& i = L.popup(indexItems[t], x, 98, 72, 18, loops[t]);
    i.helpTitle = "Loop " + std::to_string(t + 1);
    i.helpText = "Choose which loop of the group plays.";
  }
  // Level bars of tracks 5-7.
  static const int bars[3] = {51, 52, 53};
  for (int k = 0; k < 3; k++) {
    Item& bar = L.add(bars[k], kLevelBar, 14 + 77 * (5 + k) + 20, 124, 52, 8, Look::LevelBar);
    bar.state = 1;
    bar.samplePicture = 0;
  }

  // Selected track: name and browsers.
  L.text(93, 16, 172, 296, 20, "Drums: Beat 2");
  Item& gb = L.slider(85, 64, 200, 92, 14, 0, 31, "GROUP");
  gb.helpTitle = "Group browser";
  gb.helpText = "Step through the instrument groups of the selected track.";
  Item& ib = L.slider(62, 210, 200, 102, 14, 0, 63, "LOOP");
  ib.helpTitle = "Loop browser";
  ib.helpText = "Step through the loops of the selected track's group.";
  Item& keep = L.add(60, kButton, 516, 172, 56, 22, Look::Button, "KEEP");
  keep.helpTitle = "Keep";
  keep.helpText = "Randomise leaves tracks marked Keep alone.";
  L.text(86, 336, 236, 288, 20, "Set 1: House basics").helpTitle = "Random set";
  L.items.back().helpText = "The random set under the mouse or last used.";

  // Tempo.
  L.caption(248, 303, "BPM", 10, 0, true);
  L.text(97, 276, 296, 52, 24, "120.0").helpTitle = "Tempo";
  L.items.back().helpText = "The tempo heard. Keys + - Up Down: 0.2 BPM; with Shift+B held: 1 BPM.";
  L.button(67, 332, 296, 24, 24, "-").helpTitle = "Slower";
  L.items.back().helpText = "Down 0.2 BPM, repeats while held. Down or - key; Shift+B: 1 BPM.";
  L.button(66, 360, 296, 24, 24, "+").helpTitle = "Faster";
  L.items.back().helpText = "Up 0.2 BPM, repeats while held. Up or + key; Shift+B: 1 BPM.";
  L.button(65, 388, 296, 36, 24, "TAP").helpTitle = "Tap tempo";
  L.items.back().helpText = "Click on the beat a few times to set the tempo.";

  // Player texts: status, position and a second label.
  L.text(99, 16, 324, 140, 18, "Groove play").helpTitle = "Status";
  L.items.back().helpText = "What plays: the groove or the sequence; or Stop.";
  L.text(96, 436, 322, 56, 18, "3.2").helpTitle = "Position";
  L.items.back().helpText = "Bar and beat of the 8 bars heard now.";
  L.text(95, 496, 322, 58, 18, "Bar 3");

  // Groove bank and sequence.
  L.button(69, 72, 366, 64, 24, "REWRITE").helpTitle = "Rewrite";
  L.items.back().helpText = "Replace the selected bank groove with the current one.";
  L.button(73, 140, 366, 22, 24, "<").helpTitle = "Scroll bank";
  L.items.back().helpText = "Show earlier grooves of the bank.";
  L.button(74, 452, 366, 22, 24, ">").helpTitle = "Scroll bank";
  L.items.back().helpText = "Show later grooves of the bank.";
  L.button(68, 482, 366, 60, 24, "CLEAR").helpTitle = "Clear";
  L.items.back().helpText = "Empty the sequence; if it is empty, the bank (asks first).";
  L.button(70, 546, 366, 78, 24, "ADD ALL").helpTitle = "Add all";
  L.items.back().helpText = "Append every bank groove to the sequence.";
  Item& seq = L.toggle(71, 16, 416, 116, 24, "PLAY SEQUENCE", kGreen);
  seq.helpTitle = "Play sequence";
  seq.helpText = "Play the sequence groove after groove.";
  L.caption(553, 428, "Drag balls down", 9, 1);
  L.caption(553, 440, "to build a sequence", 9, 1);

  // Title bar.
  L.text(89, 150, 5, 250, 20, "Night Drive").helpTitle = "Song";
  L.items.back().helpText = "The song that is loaded.";
  L.toggle(58, 414, 4, 46, 22, "HELP", kBlue).helpTitle = "Help";
  L.items.back().helpText = "Balloons explain each control (F1).";
  L.button(57, 558, 4, 46, 22, "PREFS").helpTitle = "Preferences";
  L.items.back().helpText = "Random limits, export, latency, tempo, stems, MIDI, colours.";
  L.button(64, 608, 4, 24, 22, "X").helpTitle = "Quit";
  L.items.back().helpText = "Close Jamloom.";

  // Navigation bar.
  L.button(61, 9, 452, 62, 24, "SONGS").helpTitle = "Songs";
  L.items.back().helpText = "Choose and load a song.";
  L.button(72, 187, 452, 72, 24, "DISK MIX").helpTitle = "Disk mix";
  L.items.back().helpText = "Render the mix to a sound file.";
  L.button(63, 263, 452, 62, 24, "MIXER").helpTitle = "Virtual mixer";
  L.items.back().helpText = "Play whole arrangements built from the song.";
  L.button(59, 413, 452, 62, 24, "TUNER").helpTitle = "Loop tuner";
  L.items.back().helpText = "Record or load a loop of your own.";
  return L;
}

}  // namespace skin
