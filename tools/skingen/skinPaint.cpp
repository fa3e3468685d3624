#include "tools/skingen/skinPaintInternal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace skin {
namespace paint {


uint8_t ch(uint32_t rgb, int shift) { return static_cast<uint8_t>((rgb >> shift) & 0xFF); }

void Gradient(cairo_t* cr, double y0, double y1, uint32_t top, uint32_t bottom, double alpha) {
  cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
  cairo_pattern_add_color_stop_rgba(p, 0, ch(top, 16) / 255.0, ch(top, 8) / 255.0, ch(top, 0) / 255.0, alpha);
  cairo_pattern_add_color_stop_rgba(p, 1, ch(bottom, 16) / 255.0, ch(bottom, 8) / 255.0, ch(bottom, 0) / 255.0,
                                    alpha);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
}

uint32_t Lighten(uint32_t c, double t) { return Mix(c, 0xFFFFFF, t); }
uint32_t Darken(uint32_t c, double t) { return Mix(c, 0x000000, t); }
uint32_t UnlitLens(uint32_t colour) { return Mix(Darken(colour, 0.8), 0x202226, 0.5); }

// A socket: the dark recess a control sits in; the background shows it so
// a hidden control leaves a tidy slot.
void Socket(cairo_t* cr, double x, double y, double w, double h, double r) {
  RoundedRect(cr, x - 1.5, y - 1.5, w + 3, h + 3, r + 1.5);
  SetRGB(cr, kSocket, 0.9);
  cairo_fill_preserve(cr);
  SetRGB(cr, 0xFFFFFF, 0.06);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
}

void CapFace(cairo_t* cr, int w, int h, bool pressed, uint32_t tint, double tintAmount) {
  const double r = std::min(5.0, h / 3.0);
  RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, r);
  if (pressed)
    Gradient(cr, 0, h, Mix(0x1E2126, tint, tintAmount + 0.15), Mix(0x2C3036, tint, tintAmount + 0.1));
  else
    Gradient(cr, 0, h, Mix(0x565C66, tint, tintAmount), Mix(0x363A42, tint, tintAmount));
  cairo_fill_preserve(cr);
  SetRGB(cr, pressed ? Mix(0x000000, tint, 0.5) : 0x0B0C0E, 1);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // Bevel: light top edge when raised, dark when pressed.
  cairo_set_line_width(cr, 1);
  cairo_move_to(cr, r, 1.5);
  cairo_line_to(cr, w - r, 1.5);
  SetRGB(cr, pressed ? 0x000000 : 0xFFFFFF, pressed ? 0.5 : 0.28);
  cairo_stroke(cr);
  if (!pressed) {
    cairo_move_to(cr, r, h - 1.5);
    cairo_line_to(cr, w - r, h - 1.5);
    SetRGB(cr, 0x000000, 0.35);
    cairo_stroke(cr);
  }
}

void FitLabel(cairo_t* cr, const std::string& label, int w, double size) {
  SetFont(cr, size, true);
  while (size > 7 && TextWidth(cr, label) > w - 6) {
    size -= 0.5;
    SetFont(cr, size, true);
  }
}

void Glow(cairo_t* cr, double cx, double cy, double radius, uint32_t colour, double alpha) {
  cairo_pattern_t* p = cairo_pattern_create_radial(cx, cy, 0, cx, cy, radius);
  cairo_pattern_add_color_stop_rgba(p, 0, ch(colour, 16) / 255.0, ch(colour, 8) / 255.0, ch(colour, 0) / 255.0,
                                    alpha);
  cairo_pattern_add_color_stop_rgba(p, 1, ch(colour, 16) / 255.0, ch(colour, 8) / 255.0, ch(colour, 0) / 255.0, 0);
  cairo_set_source(cr, p);
  cairo_arc(cr, cx, cy, radius, 0, 2 * kPi);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
}

void LampBody(cairo_t* cr, double cx, double cy, double r, uint32_t colour, double level) {
  // Bezel.
  cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
  Gradient(cr, cy - r, cy + r, 0x0A0B0D, 0x3A3F46);
  cairo_fill(cr);
  const double ri = r - 1.5;
  const uint32_t lens = level > 0 ? Mix(Darken(colour, 0.55), colour, level) : UnlitLens(colour);
  cairo_pattern_t* p = cairo_pattern_create_radial(cx - ri * 0.3, cy - ri * 0.35, ri * 0.1, cx, cy, ri);
  const uint32_t hi = Lighten(lens, level > 0 ? 0.55 : 0.15);
  cairo_pattern_add_color_stop_rgb(p, 0, ch(hi, 16) / 255.0, ch(hi, 8) / 255.0, ch(hi, 0) / 255.0);
  cairo_pattern_add_color_stop_rgb(p, 1, ch(lens, 16) / 255.0, ch(lens, 8) / 255.0, ch(lens, 0) / 255.0);
  cairo_set_source(cr, p);
  cairo_arc(cr, cx, cy, ri, 0, 2 * kPi);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
}

}  // namespace paint

using namespace paint;

// ---------------------------------------------------------------- helpers

Canvas::Canvas(int w, int h) {
  surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, w), std::max(1, h));
  cr_ = cairo_create(surface_);
  cairo_font_options_t* fo = cairo_font_options_create();
  cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_ON);
  cairo_set_font_options(cr_, fo);
  cairo_font_options_destroy(fo);
}

Canvas::~Canvas() {
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

Picture Canvas::picture(bool mask) const {
  cairo_surface_flush(surface_);
  Picture p;
  p.w = cairo_image_surface_get_width(surface_);
  p.h = cairo_image_surface_get_height(surface_);
  p.needsMask = mask;
  p.rgba.resize(size_t(p.w) * p.h * 4);
  const int stride = cairo_image_surface_get_stride(surface_);
  const uint8_t* data = cairo_image_surface_get_data(surface_);
  for (int y = 0; y < p.h; y++) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * stride);
    for (int x = 0; x < p.w; x++) {
      const uint32_t v = row[x];
      const int a = v >> 24;
      int r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
      if (a > 0 && a < 255) {
        r = std::min(255, (r * 255 + a / 2) / a);
        g = std::min(255, (g * 255 + a / 2) / a);
        b = std::min(255, (b * 255 + a / 2) / a);
      }
      uint8_t* o = &p.rgba[(size_t(y) * p.w + x) * 4];
      o[0] = static_cast<uint8_t>(r);
      o[1] = static_cast<uint8_t>(g);
      o[2] = static_cast<uint8_t>(b);
      o[3] = static_cast<uint8_t>(mask ? a : 255);
    }
  }
  return p;
}

void SetRGB(cairo_t* cr, uint32_t rgb, double alpha) {
  cairo_set_source_rgba(cr, ch(rgb, 16) / 255.0, ch(rgb, 8) / 255.0, ch(rgb, 0) / 255.0, alpha);
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  r = std::max(0.0, std::min(r, std::min(w, h) / 2));
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
  cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
  cairo_arc(cr, x + r, y + r, r, kPi, 1.5 * kPi);
  cairo_close_path(cr);
}

void SetFont(cairo_t* cr, double size, bool bold) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

double TextWidth(cairo_t* cr, const std::string& utf8) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, utf8.c_str(), &e);
  return e.x_advance;
}

void DrawText(cairo_t* cr, const std::string& utf8, double x, double yMiddle, int align) {
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  const double w = TextWidth(cr, utf8);
  cairo_matrix_t m;
  cairo_get_font_matrix(cr, &m);
  const double capHeight = m.yy * 0.73;
  double left = align == 0 ? x : align == 1 ? x - w / 2 : x - w;
  cairo_move_to(cr, std::round(left), std::round(yMiddle + capHeight / 2));
  cairo_show_text(cr, utf8.c_str());
  // The text leaves a current point at its end; an arc drawn next would
  // start with a line from there (the title once got a stroke through the
  // logo that way).
  cairo_new_path(cr);
  (void)fe;
}

uint32_t Mix(uint32_t a, uint32_t b, double t) {
  auto m = [&](int s) {
    const double v = ch(a, s) * (1 - t) + ch(b, s) * t;
    return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 255.0))) << s;
  };
  return m(16) | m(8) | m(0);
}

std::string Latin1ToUtf8(const std::string& latin1) {
  std::string out;
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace skin
