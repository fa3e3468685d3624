// Synth panel, layout 3 (items 0-49): background, key lamps, pop-ups,
// knobs and commands of the floating arpeggio synth.
#include "tools/skingen/skinDecl.h"

namespace skin {

// Geometry of the three-octave keyboard, shared with layout 4.
int SynthKeyX(int key, bool* black);
int SynthKeyX(int key, bool* black) {
  static const int whiteIndex[12] = {0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6};
  static const bool isBlack[12] = {false, true, false, true, false, false, true, false, true, false, true, false};
  const int pc = key % 12, octave = key / 12;
  *black = isBlack[pc];
  const int white = octave * 7 + whiteIndex[pc];
  return isBlack[pc] ? 20 + (white + 1) * 20 - 6 : 20 + white * 20;
}

Layout MakeSynth3() {
  using namespace colours;
  Layout L;
  L.id = 3;
  L.panelEntry = 2;
  L.name = "synth";
  L.title = "ARPEGGIO SYNTH";
  L.recoloured = true;
  L.floating = true;
  L.w = 460;
  L.h = 262;
  L.screenX = 100;
  L.screenY = 100;
  L.add(0, kBackpane, 0, 0, L.w, L.h, Look::Background);
  // The background only shows the panel: presses on it go to the controls
  // above it, or drag the panel.
  L.items.back().state = 1;

  L.button(44, 430, 3, 24, 20, "X").helpTitle = "Close";
  L.items.back().helpText = "Hide the synth; it keeps playing.";
  L.caption(12, 30, "SOUND", 9);
  L.caption(212, 30, "MODE", 9);
  L.caption(276, 30, "SPEED", 9);
  L.caption(332, 30, "PATTERN", 9);
  Item& sound = L.popup(45, 12, 42, 140, 20, "Glass pluck");
  sound.helpTitle = "Sound";
  sound.helpText = "Choose the synth sound from the library.";
  L.button(39, 156, 42, 48, 20, "LOAD").helpTitle = "Synth library";
  L.items.back().helpText = "Choose a sound in the library or add sounds from a disk.";
  L.popup(46, 212, 42, 56, 20, "Up").helpTitle = "Mode";
  L.items.back().helpText = "Arpeggio direction: up, down, random, up/down.";
  L.popup(47, 276, 42, 48, 20, "16").helpTitle = "Speed";
  L.items.back().helpText = "Notes per beat: 4, 8, 16 or 32 steps per bar.";
  L.popup(48, 332, 42, 48, 20, "7").helpTitle = "Pattern";
  L.items.back().helpText = "Rhythm pattern of the arpeggio (0: every step).";
  L.button(41, 404, 40, 44, 24, "ON").helpTitle = "Synth on / off";
  L.items.back().helpText = "Start or stop the arpeggio.";
  L.lamp(49, 386, 45, 14, kBlue).samplePicture = 1;

  Item& vol = L.add(43, kRotary, 20, 70, 32, 32, Look::Knob, "VOL");
  vol.aux[kAuxMin] = 128;  // frames: values 0-127
  vol.aux[kAuxRealtime] = 1;
  vol.labelPos = 3;
  vol.samplePicture = 100;
  vol.helpTitle = "Synth volume";
  vol.helpText = "Drag up or down to set the volume.";
  Item& pan = L.add(42, kRotary, 100, 70, 32, 32, Look::Knob, "PAN");
  pan.aux[kAuxMin] = 128;
  pan.aux[kAuxRealtime] = 1;
  pan.labelPos = 3;
  pan.samplePicture = 63;
  pan.helpTitle = "Synth pan";
  pan.helpText = "Drag up or down to move the synth left or right.";
  L.caption(178, 76, "Lit dots: notes of the song's key.", 9);
  L.caption(178, 90, "With PLAY on, play Q W E R T Y ...", 9);

  // Key lamps: a dot above every key.
  static const int lampItems[36] = {16, 1,  17, 2,  18, 19, 3,  20, 4,  21, 5,  22, 23, 6,  24, 7,  25, 26,
                                    8,  27, 9,  28, 10, 29, 30, 11, 31, 12, 32, 33, 13, 34, 14, 35, 15, 36};
  for (int k = 0; k < 36; k++) {
    bool black = false;
    const int x = SynthKeyX(k, &black);
    Item& l = L.lamp(lampItems[k], x + (black ? 2 : 6), 108, 8, kYellow);
    l.samplePicture = (k % 12 == 0 || k % 12 == 4 || k % 12 == 7) ? 1 : 0;
  }

  L.caption(12, 212, "PRESETS", 9);
  L.button(37, 12, 224, 22, 28, "<").helpTitle = "Scroll presets";
  L.items.back().helpText = "Show earlier presets.";
  L.button(38, 244, 224, 22, 28, ">").helpTitle = "Scroll presets";
  L.items.back().helpText = "Show later presets.";
  L.button(40, 274, 224, 60, 28, "STORE").helpTitle = "Store preset";
  L.items.back().helpText = "Keep this setup as a numbered ball.";
  return L;
}

}  // namespace skin
