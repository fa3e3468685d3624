// Preferences, layout 13: random-set limits, export format, output
// latency, the stored two-way option, the colour schemes, tempo quality,
// stems with the disk mix, and the MIDI ports and clock.
#include "tools/skingen/skinDecl.h"

namespace skin {

Layout MakePrefs13() {
  using namespace colours;
  Layout L;
  L.id = 13;
  L.panelEntry = 8;
  L.name = "prefs";
  L.title = "PREFERENCES";
  L.floating = true;
  L.w = 440;
  L.h = 424;
  L.screenX = 100;
  L.screenY = 28;
  L.add(0, kBackpane, 0, 0, L.w, L.h, Look::Background);
  // The background only shows the panel: presses on it go to the controls
  // above it, or drag the panel.
  L.items.back().state = 1;

  L.section(8, 30, 424, 124, "TRACKS FILLED BY EACH RANDOM SET");
  for (int j = 0; j < 5; j++) L.caption(192 + 28 * j, 40, std::to_string(3 + j), 10, 1, true);
  L.caption(340, 40, "tracks", 9);
  static const char* const names[4] = {"House basics", "Break beat", "Ambient", "Full band"};
  for (int s = 0; s < 4; s++) {
    Item& name = L.text(26 + s, 16, 54 + 24 * s, 160, 20, names[s]);
    name.helpTitle = "Random set " + std::to_string(s + 1);
    name.helpText = "The song's set for RND " + std::to_string(s + 1) + ". Its lamps: how many tracks it fills.";
    for (int j = 0; j < 5; j++) {
      Item& l = L.lamp(6 + 5 * s + j, 184 + 28 * j, 56 + 24 * s, 16, kGreen);
      l.state = 2;
      l.samplePicture = j < 2 + s % 3 ? 1 : 0;
      if (s == 0 && j == 0) {
        l.helpTitle = "Random limits";
        l.helpText = "Click a lamp: at most that many tracks for the set.";
      }
    }
  }
  L.section(8, 160, 308, 44, "EXPORT FORMAT");
  L.popup(4, 16, 176, 200, 20, "Standard (WAV 16-bit)").helpTitle = "Export format";
  L.items.back().helpText = "Disk mix files. Standard is WAV 16-bit; a typed .flac etc. wins.";
  L.button(5, 224, 175, 84, 22, "OPTIONS").helpTitle = "Format options";
  L.items.back().helpText = "Each format here is complete: none has settings of its own.";
  L.section(322, 160, 110, 44, "LATENCY");
  L.popup(40, 330, 176, 94, 20, "Normal").helpTitle = "Latency";
  L.items.back().helpText = "How soon you hear a change. Safe suits busy machines. From the next Play.";

  L.section(8, 210, 160, 50, "OPTION (NOT IN USE)");
  Item& off = L.add(30, kRadio, 16, 228, 70, 22, Look::Radio, "OFF");
  off.helpTitle = "Option (not in use)";
  off.helpText = "Off: this option does nothing yet, so it cannot be changed.";
  off.aux[1] = 0;
  off.aux[2] = 1;
  off.samplePicture = 2;
  Item& on = L.add(31, kRadio, 92, 228, 70, 22, Look::Radio, "ON");
  on.helpTitle = "Option (not in use)";
  on.helpText = "On: this option does nothing yet, so it cannot be changed.";
  on.aux[1] = 1;
  on.aux[2] = 1;

  L.section(176, 210, 256, 50, "COLOURS");
  for (int i = 0; i < 8; i++) {
    Item& sw = L.add(32 + i, kImage, 184 + 30 * i, 226, 26, 26, Look::Swatch);
    sw.accent = kSchemeAccents[i];
    sw.samplePicture = i == 0 ? 1 : 0;
    if (i == 0) {
      sw.helpTitle = "Colours";
      sw.helpText = "Choose the colour scheme of the panels.";
    }
  }
  L.section(8, 266, 216, 44, "TEMPO");
  L.popup(44, 16, 282, 90, 20, "High").helpTitle = "Tempo quality";
  L.items.back().helpText = "High: clean sound away from the song tempo. Original: the classic sound.";
  L.popup(45, 112, 282, 104, 20, "Pitch moves").helpTitle = "Keep pitch";
  L.items.back().helpText = "Keep pitch: loops stay in key at any tempo, from their next repeat.";
  L.section(230, 266, 202, 44, "DISK MIX");
  L.popup(46, 238, 282, 186, 20, "Mix only").helpTitle = "Stems";
  L.items.back().helpText = "Mix and stems: also each track alone, in a folder beside the mix.";

  L.section(8, 316, 424, 70, "MIDI");
  L.caption(16, 336, "IN", 9);
  L.popup(47, 44, 332, 168, 20, "None").helpTitle = "MIDI input";
  L.items.back().helpText = "The keyboard or controller that plays the synth and the transport.";
  L.caption(222, 336, "OUT", 9);
  L.popup(48, 256, 332, 168, 20, "None").helpTitle = "MIDI output";
  L.items.back().helpText = "Where the MIDI clock goes. Used again when the device comes back.";
  L.caption(16, 362, "CLOCK OUT", 9);
  L.popup(49, 92, 358, 120, 20, "Off").helpTitle = "Clock out";
  L.items.back().helpText = "Sends MIDI clock, start and stop in time with what you hear.";
  L.caption(222, 362, "CLOCK IN", 9);
  L.popup(50, 296, 358, 128, 20, "Off").helpTitle = "Clock in";
  L.items.back().helpText = "Follows the tempo, start and stop of a MIDI clock on the input.";

  L.button(1, 296, 392, 60, 26, "OK").helpTitle = "OK";
  L.items.back().helpText = "Keep these settings.";
  L.button(2, 362, 392, 70, 26, "CANCEL").helpTitle = "Cancel";
  L.items.back().helpText = "Forget the changes.";
  return L;
}

}  // namespace skin
