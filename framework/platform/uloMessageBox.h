// Message boxes that reach the user on every Linux desktop. A box is offered
// to an ordered chain of ways to show it: the desktop's dialog program
// (zenity, else kdialog) placed over the program's window, SDL's own box,
// and last a box drawn inside the program's window, which needs nothing but
// the window and the interface font and so is always there. A way that
// cannot show the box says why (in the log) and the next is tried; no way
// answers a question for the user.
//
// Buttons: 0 OK; 1 Yes/No with No the default; 2 Yes/No/Cancel with Cancel
// the default. Return and Escape choose the default everywhere. Results: 1 OK
// or Yes, 2 No, 3 Cancel.
//
// User-interface thread only (the steps are modal and drive the window).
#pragma once
#include <SDL.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct uloBoxRequest {
  std::string title;  // UTF-8
  std::string text;   // UTF-8, may hold line ends
  int16_t buttons = 0;
  bool warning = false;
  // What Return and Escape give; 0 for the default of the buttons. (The
  // program's boxes keep the defaults; the installer's question has Yes
  // under Return and No under Escape.)
  int16_t returnAnswer = 0, escapeAnswer = 0;
  // A line the user types into (the in-window box only): OK (1) or Cancel
  // (3) under it, entryText the starting text and, after OK, the typed one.
  bool entry = false;
  std::string entryText;
};

// The default answer of a box with these buttons (what Return and Escape
// give).
int16_t ULO_BoxDefault(int16_t buttons);
int16_t ULO_BoxReturnAnswer(const uloBoxRequest& box);
int16_t ULO_BoxEscapeAnswer(const uloBoxRequest& box);

// The in-window box gives up with the Escape answer when this says so (the
// platform layer passes "a signal asked the program to close"). Null: never.
void ULO_SetBoxInterruptCheck(bool (*pending)());

// One way of showing a box: returns true with *answer set when the user
// answered it, false with *why set when it could not be shown.
struct uloBoxStep {
  const char* name;
  std::function<bool(const uloBoxRequest&, int16_t* answer, std::string* why)> show;
};

// UI thread, after a box is answered: drops the presses (keys, text, mouse
// buttons, wheel, touches) queued for the program's windows meanwhile, and
// keeps their releases. Nothing without an initialised video subsystem.
void ULO_DropInputQueuedDuringBox();

// UI thread, before a box opens: the program lets go of the mouse. A box can
// come from a press the program has not seen released (a double click that
// loads at once): the pointer grab taken for that press would otherwise send
// every click of the desktop's dialog to the program's window, and the held
// state would keep a tracking loop running once the box is gone.
void ULO_ReleaseMouseForBox();

// Offers the box to each step in turn and logs ("message box: ...") what
// each did. When none could show it (only possible with a chain that lacks
// the in-window step) the default answer is returned and logged as such.
int16_t ULO_RunBoxChain(const std::vector<uloBoxStep>& chain, const uloBoxRequest& box);

// The steps of the program's chain, in order.
std::vector<uloBoxStep> ULO_StandardBoxChain();

// The program's texts are 8-bit Latin-1: as UTF-8.
std::string ULO_Utf8OfLatin1(const char* text);
// And back, for names from the system (file names are UTF-8) shown in the
// program's texts: a character Latin-1 lacks, or a byte that is no UTF-8,
// becomes '?'.
std::string ULO_Latin1OfUtf8(const char* text);
// At most `limit` characters of UTF-8 text, ending in an ellipsis when cut.
std::string ULO_CutUtf8(const std::string& text, size_t limit);

// The colours of the in-window box (0xRRGGBB); the defaults are the skin's
// dark panel with light text and its amber accent.
struct uloBoxLook {
  uint32_t shade = 0x000000;       // over the program's picture, at half strength
  uint32_t panel = 0x2B2F36;
  uint32_t titleBar = 0x1B1E23;
  uint32_t frame = 0x8A93A0;
  uint32_t text = 0xE8ECF0;
  uint32_t button = 0x444B55;
  uint32_t buttonText = 0xF4F6F8;
  uint32_t accent = 0xF0A030;      // the default button's ring and the warning mark
};
void ULO_SetBoxLook(const uloBoxLook& look);

// The box drawn inside the window, as a value that lays itself out in a
// canvas of logical pixels, paints into it and takes events. The modal loop
// around it is ULO_ShowInWindowBox.
class uloInWindowBox {
 public:
  uloInWindowBox(const uloBoxRequest& box, const uloBoxLook& look);
  // Centres the box in a canvas of w x h and wraps the text to it; false
  // when no interface font can be opened.
  bool layout(int w, int h);
  // Draws over an ARGB canvas of the size given to layout (the program's
  // picture is shaded, the box drawn on it).
  void paint(uint32_t* canvas, int w, int h) const;
  // One event in the canvas's logical pixels (mouse positions divided by
  // `scale`): 0 while the box stays, else the answer.
  int16_t handle(const SDL_Event& e, int scale);

  // For tests and the modal loop.
  struct Button {
    SDL_Rect rect;
    int16_t answer;
    const char* label;
  };
  const std::vector<Button>& buttons() const { return buttons_; }
  const std::vector<std::string>& lines() const { return lines_; }
  const std::string& shownTitle() const { return title_; }
  SDL_Rect frame() const { return box_; }
  int16_t focused() const { return focus_; }
  int16_t pressed() const { return pressed_; }
  const std::string& entryText() const { return req_.entryText; }
  SDL_Rect entryField() const { return field_; }

 private:
  uloBoxRequest req_;
  uloBoxLook look_;
  SDL_Rect box_ = {0, 0, 0, 0};
  int lineHeight_ = 0;
  std::string title_;
  std::vector<std::string> lines_;
  std::vector<Button> buttons_;
  int16_t focus_ = 0;    // the answer Return gives
  int16_t pressed_ = 0;  // the button under a held mouse button
  SDL_Rect field_ = {0, 0, 0, 0};
};

// Shows the box inside the program's window (opening a small window of its
// own when there is none) until the user answers. False with *why when no
// window or font can be had.
// With an entry line, *entered gets the typed text.
bool ULO_ShowInWindowBox(const uloBoxRequest& box, int16_t* answer, std::string* why,
                         std::string* entered = nullptr);
// Asks for a line of text in the window (a file name where no file chooser
// exists): true with `text` replaced when the user confirms a non-empty
// line. Tests install a hook that answers instead.
bool ULO_AskTextInWindow(const std::string& title, const std::string& prompt, std::string& text);
void ULO_SetTextEntryHook(bool (*hook)(const std::string& prompt, std::string& text));
