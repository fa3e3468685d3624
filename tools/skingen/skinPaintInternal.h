// Drawing pieces shared by the painter's files.
#pragma once
#include "tools/skingen/skinPaint.h"

namespace skin {
namespace paint {

constexpr uint32_t kSocket = 0x111316;
constexpr uint32_t kEngrave = 0xC9D1DA;
constexpr uint32_t kCapText = 0xF2F5F8;
constexpr uint32_t kNeutralAccent = 0xB4C3D2;
constexpr double kPi = 3.14159265358979323846;

uint8_t ch(uint32_t rgb, int shift);
void Gradient(cairo_t* cr, double y0, double y1, uint32_t top, uint32_t bottom, double alpha = 1.0);
uint32_t Lighten(uint32_t c, double t);
uint32_t Darken(uint32_t c, double t);
// The colour of an unlit lamp of a colour: dark and nearly grey, a hint of
// its colour only, so nothing off can be taken for lit.
uint32_t UnlitLens(uint32_t colour);
void Socket(cairo_t* cr, double x, double y, double w, double h, double r);
void CapFace(cairo_t* cr, int w, int h, bool pressed, uint32_t tint, double tintAmount);
void FitLabel(cairo_t* cr, const std::string& label, int w, double size);
void Glow(cairo_t* cr, double cx, double cy, double radius, uint32_t colour, double alpha);
void LampBody(cairo_t* cr, double cx, double cy, double r, uint32_t colour, double level);

}  // namespace paint
}  // namespace skin
