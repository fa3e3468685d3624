// The platform layer: the one current-event record, the tick clock, memory
// blocks, message boxes, the main window and simple drawing into it.
// Everything above this header is platform-free.
//
// User-interface thread only, except ULO_Ticks, ULO_NewPtr and
// ULO_DisposePtr, which any thread may call.
#pragma once
#include <cstdint>
#include <string>

// Event kinds in uloGlo.what.
enum : int16_t {
  uloEvtNull = 0,
  uloEvtMouseDown = 1,
  uloEvtKeyDown = 2,
  uloEvtAutoKey = 3,
  uloEvtUpdate = 4,
  uloEvtMenu = 5,
  uloEvtZoom = 6,
  uloEvtResize = 7,
  uloEvtClose = 8,
  uloEvtKeyUp = 10,
  // A file or folder dropped on the window at (mouseX, mouseY); its path
  // is ULO_DroppedPath() until the next drop.
  uloEvtDrop = 11,
};
// The system path of the last file or folder dropped on the window.
const char* ULO_DroppedPath();

// Key codes that are not characters.
enum : uint8_t {
  uloKeyReturn = 13,
  uloKeyLeft = 28,
  uloKeyRight = 29,
  uloKeyUp = 30,
  uloKeyDown = 31,
  uloKeyEscape = 27,
  uloKeyDelete = 127,
};

struct uloGlobalsRec {
  int16_t what = 0;
  int16_t windowWidth = 0, windowHeight = 0;
  int16_t mouseX = 0, mouseY = 0;
  int16_t character = 0;
  uint8_t keyCode = 0;
  int16_t specialKey = 0;  // 1..12 for F1..F12, 20 Escape / Page Up, 21 Page Down
  int16_t menuId = 0, menuItem = 0;
  int32_t when = 0;
  uint8_t buttonDown = 0;
  uint8_t shift = 0, control = 0;
  uint8_t running = 0;
};

extern uloGlobalsRec uloGlo;
extern int uloDebugFlag;
extern int uloSkipWndMsgs;
extern int32_t winmainreturnvalue;
extern char windowsCommandLine[3000];

// ---- clock, random, memory ----
uint32_t ULO_Ticks();
void ULO_WaitTicks(int32_t n);
// Acts at most once a period: true (and the deadline moved to now + period)
// when the deadline lies before the event time in uloGlo.
bool ULO_EveTimeoutRepeated(int32_t& deadline, int32_t period);
// 0 .. n-1; 0 for n <= 0.
int16_t ULO_Random(int16_t n);
void ULO_SeedRandom(uint32_t seed);
bool ULO_NewPtr(void** block, int32_t size);
void ULO_DisposePtr(void** block);
template <typename T>
bool ULO_NewPtrT(T** block, int32_t size) {
  void* p = nullptr;
  bool ok = ULO_NewPtr(&p, size);
  *block = static_cast<T*>(p);
  return ok;
}
template <typename T>
void ULO_DisposePtrT(T** block) {
  void* p = *block;
  ULO_DisposePtr(&p);
  *block = nullptr;
}

// ---- message boxes ----
// buttons 0 OK, 1 Yes/No (No default), 2 Yes/No/Cancel (Cancel default);
// out-of-range values are clamped. Result 1 OK/Yes, 2 No, 3 Cancel.
// Texts are Latin-1, as the program's own.
int16_t ULO_UserNotify(const char* text, int16_t buttons);
// The same for a UTF-8 text, one that holds names from the system (file
// and folder names, paths): characters Latin-1 lacks show as '?'.
int16_t ULO_UserNotifyUtf8(const char* text, int16_t buttons);
// A box with the given title; used by ULO_UserNotify and the localised
// messages. Returns the same results.
int16_t ULO_MessageBox(const char* title, const char* text, int16_t buttons, bool warningIcon);
void ULO_DebugMessage(const char* text);
void ULO_DebugMessageNum(const char* text, long number);
// Tests install an answerer so that no box is shown; it gets title, text and
// buttons and returns the result. Null restores real boxes.
using uloMessageBoxHook = int16_t (*)(const char* title, const char* text, int16_t buttons);
void ULO_SetMessageBoxHook(uloMessageBoxHook hook);

// ---- window and drawing ----
struct uloMonitorInfoRec {
  int16_t bitsPerPixel;
  int16_t width, height;
};

bool ULO_Platform_Init();
int32_t ULO_Platform_Exit();
void ULO_Init();
void ULO_Exit();
void ULO_Main2();
void ULO_GetMonitorInfo(uloMonitorInfoRec* info);
// The smallest window that shows the whole 640 x 480 design area.
constexpr int kUloMinWindowWidth = 640, kUloMinWindowHeight = 480;
// mode 0 normal, 1 maximised, 2 borderless full screen, 3 fixed size, 4 no caption.
bool ULO_NewWindow(int16_t mode, int16_t width, int16_t height);
void ULO_SetWindowTitle(const char* text);
// The title last set, with or without a window (tests read it here).
const char* ULO_WindowTitle();
// The window's icon from a picture file (PNG); false when there is no window
// or the file does not load, and the window keeps the icon it had.
bool ULO_SetWindowIconFile(const char* sysPath);
void ULO_CloseWindow();
bool ULO_HasWindow();
// Whole-number presentation scale of the logical 640 x 480 design area.
int ULO_WindowScale();
void ULO_BoxFill(int16_t left, int16_t top, int16_t right, int16_t bottom, int16_t colour);
void ULO_BoxFrame(int16_t left, int16_t top, int16_t right, int16_t bottom, int16_t colour, int16_t width);
void ULO_TextStyle(const char* text, int16_t count, int16_t size, int16_t x, int16_t y, int16_t colour,
                   int16_t width, int16_t justification, int16_t style);
// Copies a rectangle of a 16-bit (5-5-5) bottom-up bitmap into the window.
// Source rectangle in bitmap pixels, destination in window pixels; a
// destination of another size is stretched. Clipped to both.
void ULO_DrawBits16(const uint16_t* bits, int rowBytes, int width, int height, int srcLeft, int srcTop,
                    int srcRight, int srcBottom, int dstLeft, int dstTop, int dstRight, int dstBottom);
// Shows what was drawn since the last call. The poll loop calls it.
void ULO_PresentIfDirty();
// How the window's picture reaches the screen. Scaled by the CPU ("surface"),
// it goes on X11 straight to the window in bands through one small image
// (about 1 MB), elsewhere into SDL's window surface (a buffer the size of
// the window: 33 MB maximised at 3840 x 2160). An SDL renderer on a real
// GPU costs little CPU, but on a machine whose OpenGL is software
// (llvmpipe, swrast) loading GL alone costs about 100 MB. JAMLOOM_PRESENT
// chooses: "surface", "window-surface" (SDL's window surface even on X11),
// "gpu" (an accelerated SDL renderer; SDL_RENDER_DRIVER picks which) or
// "auto" (unset or anything else): a renderer only where a GPU device node
// exists or SDL_RENDER_DRIVER asks for one, and never one whose GL is
// software.
enum class uloPresenter { surface, renderer };
uloPresenter ULO_ChoosePresenter(const char* asked, bool gpuDeviceExists, const char* sdlRenderDriver);
// True for the GL_RENDERER strings of Mesa's software rasterisers.
bool ULO_IsSoftwareGL(const char* glRenderer);
// What the open window uses ("X11 bands", "window surface" or the SDL
// renderer's name);
// "none" without a window. For the log and the tests.
const char* ULO_PresenterName();
// Reads back the window's logical picture as 32-bit XRGB (for tests and
// screenshots); false without a window.
bool ULO_ReadWindowPixels(uint32_t* out, int width, int height);
void ULO_FreePicture(int16_t index);
// Mouse polling for tracking loops: true while the button is held.
bool ULO_ButtonDown();
// Shows the address in the user's web browser through xdg-open, run on a
// thread of its own (a browser it starts may stay in the foreground for as
// long as it runs); returns at once. uloWebPage.cpp.
void QXGoUrl(const char* address);
// The address of a page QXGoUrl could not show (xdg-open missing, or it
// found no browser), once; empty when there is none. An opener that ran
// longer than kWebPageFailureSeconds did show the page and is not reported.
std::string ULO_TakeWebPageFailure();
// True while an opener started by QXGoUrl may still report a failure.
bool ULO_WebPageOpening();
constexpr int kWebPageFailureSeconds = 20;

extern int32_t magicCOLORREFvalue;
// RGB of a drawing colour index; false for -1 (none).
bool ULO_ColourOfIndex(int16_t index, uint8_t* r, uint8_t* g, uint8_t* b);

// ---- supplied by the application ----
int QX_InitAll();
void QX_ExitAll();
void QXScreen_remoteevents(void* param);
