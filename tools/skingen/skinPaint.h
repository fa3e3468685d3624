// The skin's painter: every picture of the skin, drawn with cairo. Pictures
// come back as straight (not premultiplied) RGBA so that the cast writer can
// turn colour into 5-5-5 pixels and alpha into the mask.
#pragma once
#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/skingen/skinDecl.h"

namespace skin {

struct Picture {
  int w = 0, h = 0;
  std::vector<uint8_t> rgba;  // straight alpha, rows top to bottom
  bool needsMask = true;      // false: every pixel opaque and meant to be
  bool empty() const { return w <= 0 || h <= 0; }
};

// A cairo surface to draw on and its conversion to a Picture.
class Canvas {
 public:
  Canvas(int w, int h);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  cairo_t* cr() const { return cr_; }
  cairo_surface_t* surface() const { return surface_; }
  Picture picture(bool mask = true) const;

 private:
  cairo_surface_t* surface_;
  cairo_t* cr_;
};

// Drawing helpers shared by the painter, the font and the help pictures.
void SetRGB(cairo_t* cr, uint32_t rgb, double alpha = 1.0);
void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r);
void SetFont(cairo_t* cr, double size, bool bold);
// Draws text with its left (align 0), centre (1) or right (2) at x and its
// cap-height centred on yMiddle.
void DrawText(cairo_t* cr, const std::string& utf8, double x, double yMiddle, int align);
double TextWidth(cairo_t* cr, const std::string& utf8);
uint32_t Mix(uint32_t a, uint32_t b, double t);

// Pictures by role.
Picture PaintBackground(const PanelDecl& panel, int variant);
Picture PaintButton(int w, int h, const std::string& label, int state);  // 0 normal, 1 pressed
Picture PaintToggle(int w, int h, const std::string& label, uint32_t accent, bool on);
Picture PaintTrackButton(int w, int h, const std::string& label, bool selected);
Picture PaintTrackLed(int size, int value);
Picture PaintLamp(int size, uint32_t accent, int value);
Picture PaintSwatch(int size, uint32_t colour, bool on);
Picture PaintThumb(int w, int h, bool vertical);
Picture PaintKnobStrip(int size, int frames);
Picture PaintPopupPiece(int w, int h, int role);
Picture PaintBall(int size, bool highlight, bool sequence);
Picture PaintLevelBar(int w, int h);
Picture PaintDisplay(int w, int h);
Picture PaintListRow(int w, int h, bool selected);
Picture PaintPictureFrame(int size, const std::string& title, uint32_t colour);
Picture PaintProgress(int w, int h);
Picture PaintKey(int w, int h, int shape, bool pressed);
Picture PaintModeSwitch(int w, int h, const std::string& text, int value);
Picture PaintRotor(int w, int h, bool lit);
Picture PaintRadio(int w, int h, const std::string& label, bool on);
Picture PaintInfoPage();
Picture PaintStartup();
// Balloon pointing from corner `corner` (0 top-left, 1 top-right,
// 2 bottom-left, 3 bottom-right) towards its control, or from the middle of
// its left (4) or right (5) edge. The tail takes 10 pixels of `h` (top and
// bottom) or of `w` (sides).
Picture PaintBalloon(int w, int h, int corner);
// A pre-drawn help text: white text in the alpha (the help system paints
// white through the mask).
Picture PaintHelpText(int w, int h, const std::string& title, const std::string& text);
// The lines a help text (Latin-1) wraps to in a pre-drawn help text of width
// w; PaintHelpText draws the first kHelpTextLines of them.
constexpr int kHelpTextLines = 2;
std::vector<std::string> WrapHelpText(int w, const std::string& text);

// The version the pictures announce.
constexpr const char* kVersionText = "Version 2.0";

// Latin-1 bytes to UTF-8 for cairo.
std::string Latin1ToUtf8(const std::string& latin1);

}  // namespace skin
