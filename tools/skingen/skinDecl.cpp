#include "tools/skingen/skinDecl.h"

#include <algorithm>

namespace skin {

const uint32_t kSchemeAccents[10] = {0x4AA8FF, 0xFFB03C, 0x50D26E, 0xA88CFF, 0xFF5A5A,
                                     0x3CD2C8, 0xFF8232, 0xFF78C8, 0xB4C3D2, 0xE6D246};
const char* const kSchemeNames[10] = {"Blue", "Amber", "Green", "Violet", "Red",
                                      "Teal", "Orange", "Pink", "Steel", "Gold"};

Item& Layout::add(int number, int16_t kind, int x, int y, int w, int h, Look look, const std::string& label) {
  Item it;
  it.number = number;
  it.kind = kind;
  it.x = x;
  it.y = y;
  it.w = w;
  it.h = h;
  it.look = look;
  it.label = label;
  it.aux[kAuxKind] = kind;
  it.aux[kAuxBack] = -1;
  items.push_back(it);
  return items.back();
}

Item& Layout::button(int number, int x, int y, int w, int h, const std::string& label) {
  return add(number, kButton, x, y, w, h, Look::Button, label);
}

Item& Layout::toggle(int number, int x, int y, int w, int h, const std::string& label, uint32_t accent) {
  Item& it = add(number, kCheck, x, y, w, h, Look::Toggle, label);
  it.accent = accent;
  return it;
}

Item& Layout::lamp(int number, int x, int y, int size, uint32_t accent) {
  Item& it = add(number, kImage, x, y, size, size, Look::Lamp);
  it.accent = accent;
  it.state = 1;
  return it;
}

Item& Layout::text(int number, int x, int y, int w, int h, const std::string& sample) {
  Item& it = add(number, kText, x, y, w, h, Look::Display);
  it.sample = sample;
  it.state = 1;
  return it;
}

Item& Layout::slider(int number, int x, int y, int w, int h, int min, int max, const std::string& label) {
  const bool vertical = h > w;
  Item& it = add(number, kScroll, x, y, w, h, vertical ? Look::SliderV : Look::SliderH, label);
  it.aux[kAuxMin] = static_cast<int16_t>(min);
  it.aux[kAuxMax] = static_cast<int16_t>(max);
  it.aux[kAuxVertical] = vertical ? 1 : 0;
  it.labelPos = 2;
  return it;
}

Item& Layout::popup(int number, int x, int y, int w, int h, const std::string& sample) {
  Item& it = add(number, kPopup, x, y, w, h, Look::Popup);
  it.sample = sample;
  it.aux[2] = 6;  // horizontal text margin
  return it;
}

Item& Layout::hidden(int number) {
  Item& it = add(number, kInert, 0, 0, 0, 0, Look::None);
  it.state = 0;
  return it;
}

void Layout::section(int x, int y, int w, int h, const std::string& caption) {
  Engraving e;
  e.type = Engraving::Section;
  e.x = x;
  e.y = y;
  e.w = w;
  e.h = h;
  e.text = caption;
  engravings.push_back(e);
}

void Layout::caption(int x, int y, const std::string& text, double size, int align, bool bright) {
  Engraving e;
  e.type = Engraving::Text;
  e.x = x;
  e.y = y;
  e.text = text;
  e.size = size;
  e.align = align;
  e.bright = bright;
  engravings.push_back(e);
}

void Layout::divider(int x, int y, int w) {
  Engraving e;
  e.type = Engraving::Divider;
  e.x = x;
  e.y = y;
  e.w = w;
  engravings.push_back(e);
}

const Item* Layout::find(int number) const {
  for (const Item& it : items)
    if (it.number == number) return &it;
  return nullptr;
}

int Layout::itemCount() const {
  int top = 0;
  for (const Item& it : items) top = std::max(top, it.number - firstSlot + 1);
  return top;
}

namespace {

// Help element numbering: the guided tour comes first, then every item with
// a help title, layout by layout in id order and item number order. The help
// number stored in auxiliary value 7 is the element index plus one.
void assignHelpNumbers(std::vector<Layout>& layouts, int firstElement) {
  int next = firstElement;
  for (Layout& l : layouts) {
    std::sort(l.items.begin(), l.items.end(), [](const Item& a, const Item& b) { return a.number < b.number; });
    for (Item& it : l.items)
      if (!it.helpTitle.empty()) it.aux[kAuxHelp] = static_cast<int16_t>(++next);
  }
}

std::vector<Layout> buildAll() {
  std::vector<Layout> all = {MakeGroove1(), MakeGroove2(), MakeSynth3(),  MakeSynth4(),  MakeMixer5(),
                             MakeSongs6(),  MakeGroove8(), MakeNet9(),    MakeRandMix11(), MakeSynths12(),
                             MakePrefs13(), MakeTuner14(), MakeInfo15(),  MakeProgress16()};
  // Item numbers the panel leaves unused stay inert and hidden, so every
  // slot up to the highest used one is declared.
  for (Layout& l : all) {
    const int count = l.itemCount();
    for (int i = 0; i < count; i++)
      if (!l.find(l.firstSlot + i)) l.hidden(l.firstSlot + i);
  }
  assignHelpNumbers(all, static_cast<int>(TourSteps().size()));
  return all;
}

}  // namespace

const std::vector<Layout>& AllLayouts() {
  static const std::vector<Layout> all = buildAll();
  return all;
}

const Layout* FindLayout(int id) {
  for (const Layout& l : AllLayouts())
    if (l.id == id) return &l;
  return nullptr;
}

const std::vector<PanelDecl>& AllPanels() {
  static const std::vector<PanelDecl> panels = {
      {"groove", 0, {1, 2, 8}},   {"mixer", 1, {5, -1, -1}},    {"synth", 2, {3, 4, -1}},
      {"network", 3, {9, -1, -1}}, {"tuner", 4, {14, -1, -1}},  {"randmix", 5, {11, -1, -1}},
      {"songs", 6, {6, -1, -1}},  {"synths", 7, {12, -1, -1}},  {"prefs", 8, {13, -1, -1}},
      {"info", 9, {15, -1, -1}},  {"progress", 10, {16, -1, -1}}};
  return panels;
}

}  // namespace skin
