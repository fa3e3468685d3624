// The skin's declarations: what every layout holds, item by item. The
// layout sources in skin/layouts/ fill these records through the small
// builder below; the generator paints and stores them, the renderer and the
// tests read them back. One record per layout id.
//
// An item is declared by its item number (the panel's slot), the control
// kind the panel relies on, its frame on the panel and a "look" that tells
// the painter which pictures to make. Labels of buttons, sliders and
// displays are engraved into the panel background, so hidden or disabled
// controls never leave a hole and every scheme keeps them legible.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace skin {

// Control kinds the panels rely on.
enum Kind : int16_t {
  kInert = 0,
  kScroll = 30,      // straight slider: aux 1 min, aux 2 max, aux 3 1 = vertical
  kImage = 31,       // lamps and picture switches: value = picture, 1406 = opacity
  kButton = 33,      // push button: picture 1 normal, 2 pressed, 3 disabled look
  kCheck = 34,       // toggle: value 0 shows picture 1, value 1 picture 2
  kRotary = 36,      // knob film strip: aux 1 frame count, aux 8 real-time
  kText = 38,        // text display
  kRadio = 39,       // radio: aux 1 own value, aux 2 group
  kBackpane = 19,    // panel background: pictures 0-9 are the colour schemes
  kImagePtr = 64,    // shows a bitmap the panel hands over (song pictures)
  kPopup = 70,       // pop-up menu: pictures 0-8
  kBall = 220,       // draggable numbered ball: picture 0 ball, 1 highlight ring
  kBallReceiver = 221,
  kLevelBar = 230,   // 10-segment meter: picture 0 holds the lit segments
  kRotor = 231,      // eight independently animated lights
  kProgress = 232,   // progress bar: picture 0 is the full bar
};

// Auxiliary value slots.
enum Aux { kAuxKind = 0, kAuxMin = 1, kAuxMax = 2, kAuxVertical = 3, kAuxHelp = 7, kAuxRealtime = 8, kAuxBack = 9 };

// Picture families the painter knows.
enum class Look {
  None,         // no picture (hidden placeholder or bare hot spot)
  Background,   // panel background, 10 colour schemes
  Button,       // push button cap
  Toggle,       // latching button with an accent light
  TrackButton,  // track number button: 1 normal, 2 selected
  TrackLed,     // 1 no loop, 2 on, 3 off, 4 solo
  Lamp,         // 0 off, 1 on (2 = second colour, e.g. recording)
  Swatch,       // colour-scheme chooser: 0/1 off, on
  SliderH,      // thumb of a horizontal slider
  SliderV,      // thumb of a vertical slider
  Knob,         // rotary film strip
  Popup,        // pop-up pieces 0-8
  Ball,         // ball and highlight ring
  LevelBar,     // lit segments
  Display,      // inset text window
  ListRow,      // one row of a list
  Picture84,    // frame for an 84 x 84 picture
  Progress,     // lit progress bar
  Key,          // synth key, white or black by accent
  ModeSwitch,   // picture per mode value, labels in `states`
  Rotor,        // eight track lights
  Radio,        // radio button
  InfoPage,     // the information page (cast 199)
};

struct Item {
  int number = 0;  // item number = panel slot
  int16_t kind = kInert;
  int16_t state = 2;  // 0 hidden, 1 shown, 2 clickable
  int x = 0, y = 0, w = 0, h = 0;
  Look look = Look::None;
  std::string label;    // engraved caption (on or beside the control)
  int labelPos = 0;     // 0 on the control, 1 above, 2 left, 3 right, 4 below
  uint32_t accent = 0;  // 0xRRGGBB for lamps and toggles; 0 = scheme accent
  int16_t aux[20] = {};
  std::vector<std::string> states;  // ModeSwitch captions by value
  std::string sample;               // what the renderer prints in text controls
  int samplePicture = -1;           // picture the renderer shows (-1: default)
  std::string helpTitle, helpText;  // rollover help (empty: none)
};

// Engravings on the background that belong to no control.
struct Engraving {
  enum Type { Section, Text, Title, Logo, Divider } type = Text;
  int x = 0, y = 0, w = 0, h = 0;
  std::string text;
  double size = 11;
  int align = 0;  // 0 left, 1 centre, 2 right
  bool bright = false;
};

struct Layout {
  int id = 0;
  int firstSlot = 0;     // 0, 50 or 100: the slot of item index 0
  int panelEntry = 0;    // screen slot of the panel
  int screenX = 0, screenY = 0;  // where the panel first sits on the screen
  int w = 640, h = 480;
  std::string name;      // short name for files ("groove", "mixer"...)
  std::string title;     // panel title on the background
  bool recoloured = false;  // takes part in the colour schemes
  bool floating = false;    // rounded floating panel (needs a mask)
  std::vector<Item> items;
  std::vector<Engraving> engravings;

  // Builder.
  Item& add(int number, int16_t kind, int x, int y, int w, int h, Look look, const std::string& label = "");
  Item& button(int number, int x, int y, int w, int h, const std::string& label);
  Item& toggle(int number, int x, int y, int w, int h, const std::string& label, uint32_t accent);
  Item& lamp(int number, int x, int y, int size, uint32_t accent);
  Item& text(int number, int x, int y, int w, int h, const std::string& sample);
  Item& slider(int number, int x, int y, int w, int h, int min, int max, const std::string& label);
  Item& popup(int number, int x, int y, int w, int h, const std::string& sample);
  Item& hidden(int number);
  void section(int x, int y, int w, int h, const std::string& caption);
  void caption(int x, int y, const std::string& text, double size = 10, int align = 0, bool bright = false);
  void divider(int x, int y, int w);

  const Item* find(int number) const;
  // Item index 0 is slot firstSlot; the stored count covers the highest item.
  int itemCount() const;
};

// The guided help tour: one step per control, in order; each step advances
// when its control is clicked.
struct TourStep {
  int panelEntry;
  int item;
  std::string title, text;
  // Where the balloon hangs: by default below a control in the screen's
  // upper half and above one in the lower half; a step whose balloon would
  // cover controls the user still needs says which side keeps them clear.
  // Beside (right or left of the control) the balloon's tail points
  // sideways from the middle of its edge.
  enum class Side { automatic, below, above, right, left };
  Side side = Side::automatic;
};
const std::vector<TourStep>& TourSteps();

// Every layout of the skin, in id order.
const std::vector<Layout>& AllLayouts();
const Layout* FindLayout(int id);

// Panels as the screen shows them: the layouts attached together.
struct PanelDecl {
  const char* name;
  int entry;
  int layouts[3];
};
const std::vector<PanelDecl>& AllPanels();

// Layout sources (skin/layouts/*.cpp).
Layout MakeGroove1();
Layout MakeGroove2();
Layout MakeGroove8();
Layout MakeMixer5();
Layout MakeSynth3();
Layout MakeSynth4();
Layout MakeNet9();
Layout MakeRandMix11();
Layout MakeSongs6();
Layout MakeSynths12();
Layout MakePrefs13();
Layout MakeTuner14();
Layout MakeInfo15();
Layout MakeProgress16();

// Shared look of the skin.
namespace colours {
constexpr uint32_t kGreen = 0x3CDC5A, kYellow = 0xFFC83C, kRed = 0xFF4646, kCyan = 0x3CC8FF, kMagenta = 0xE65AE6,
                   kOrange = 0xFF8C28, kBlue = 0x508CFF, kWhite = 0xF0F0F0;
}
// The ten colour schemes (accent colours), cool blue first.
extern const uint32_t kSchemeAccents[10];
extern const char* const kSchemeNames[10];

}  // namespace skin
