// Synth panel, layout 4 (items 50-93, slots 50-99): the 36 keys, the six
// preset balls and the arpeggio mix command.
#include "tools/skingen/skinDecl.h"

namespace skin {

int SynthKeyX(int key, bool* black);

Layout MakeSynth4() {
  Layout L;
  L.id = 4;
  L.firstSlot = 50;
  L.panelEntry = 2;
  L.name = "synth4";
  L.w = 460;
  L.h = 262;
  static const int keyItems[36] = {51, 72, 57, 73, 58, 68, 74, 52, 75, 59, 76, 60, 53, 77, 61, 78, 62, 63,
                                   79, 54, 80, 64, 81, 69, 55, 82, 65, 83, 66, 70, 84, 56, 85, 67, 86, 71};
  static const char* const names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  for (int k = 0; k < 36; k++) {
    bool black = false;
    const int x = SynthKeyX(k, &black);
    Item& key = black ? L.add(keyItems[k], kButton, x, 120, 12, 50, Look::Key)
                      : L.add(keyItems[k], kButton, x, 120, 20, 80, Look::Key);
    // accent: 1 black key; white keys 2 cut right, 3 cut both, 4 cut left.
    static const int cut[12] = {2, 0, 3, 0, 4, 2, 0, 3, 0, 3, 0, 4};
    key.accent = black ? 1 : static_cast<uint32_t>(cut[k % 12]);
    if (k == 35) key.accent = 4;  // the top B has no black key to its right
    if (!black && k % 12 == 0) key.label = std::string(names[0]) + std::to_string(1 + k / 12);
    key.labelPos = 5;  // engraved on the key's foot
    // Every key has its balloon: the pointer may rest on any of them.
    key.helpTitle = std::string("Key ") + names[k % 12] + std::to_string(1 + k / 12);
    key.helpText = "Click to add or remove this note of the arpeggio.";
  }
  for (int i = 0; i < 6; i++) {
    Item& b = L.add(87 + i, kBall, 40 + 34 * i, 224, 28, 28, Look::Ball);
    b.sample = i < 3 ? std::to_string(i + 1) : "";
    b.accent = 1;
    if (i == 0) {
      b.helpTitle = "Presets";
      b.helpText = "Click to recall; drag away to delete.";
    }
  }
  L.button(93, 340, 224, 108, 28, "ARP TO FILE").helpTitle = "Arpeggio mix";
  L.items.back().helpText = "Render the arpeggio to a sound file.";
  return L;
}

}  // namespace skin
