// The pictures of every control, and the panel backgrounds.
#include <algorithm>
#include <cmath>

#include "tools/skingen/skinPaintInternal.h"

namespace skin {

using namespace paint;

namespace {

// Engraved caption of a control on the background.
void EngraveLabel(cairo_t* cr, const Item& it, uint32_t accent) {
  if (it.label.empty()) return;
  const std::string text = Latin1ToUtf8(it.label);
  switch (it.labelPos) {
    case 0: {
      // On the control, inside its socket: seen when the control is hidden.
      FitLabel(cr, text, it.w, std::min(it.label.size() == 1 ? 14.0 : 11.0, it.h * 0.5));
      SetRGB(cr, kEngrave, 0.45);
      DrawText(cr, text, it.x + it.w / 2.0, it.y + it.h / 2.0, 1);
      break;
    }
    case 1:
      SetFont(cr, 9, true);
      SetRGB(cr, Mix(kEngrave, accent, 0.35));
      DrawText(cr, text, it.x + it.w / 2.0, it.y - 8, 1);
      break;
    case 2:
      SetFont(cr, 10, true);
      SetRGB(cr, kEngrave);
      DrawText(cr, text, it.x - 7, it.y + it.h / 2.0, 2);
      break;
    case 3:
      SetFont(cr, 10, true);
      SetRGB(cr, kEngrave);
      DrawText(cr, text, it.x + it.w + 7, it.y + it.h / 2.0, 0);
      break;
    default:
      break;
  }
}

void SliderTrack(cairo_t* cr, const Item& it, uint32_t accent) {
  const bool vertical = it.aux[kAuxVertical] != 0;
  const double cx = it.x + it.w / 2.0, cy = it.y + it.h / 2.0;
  // Groove.
  if (vertical)
    RoundedRect(cr, cx - 2.5, it.y, 5, it.h, 2.5);
  else
    RoundedRect(cr, it.x, cy - 2.5, it.w, 5, 2.5);
  SetRGB(cr, kSocket, 1);
  cairo_fill_preserve(cr);
  SetRGB(cr, 0xFFFFFF, 0.08);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // Ticks at both ends and at zero when the range crosses it.
  const int lo = it.aux[kAuxMin], hi = it.aux[kAuxMax];
  std::vector<double> ticks = {0.0, 1.0};
  if (lo < 0 && hi > 0) ticks.push_back(double(-lo) / (hi - lo));
  SetRGB(cr, Mix(kEngrave, accent, 0.3), 0.7);
  for (double t : ticks) {
    if (vertical) {
      const double y = it.y + 4 + t * (it.h - 8);
      cairo_rectangle(cr, cx + 6, std::round(y) - 0.5, 4, 1);
    } else {
      const double x = it.x + 4 + t * (it.w - 8);
      cairo_rectangle(cr, std::round(x) - 0.5, it.y + it.h - 1, 1, 3);
    }
    cairo_fill(cr);
  }
}

void LevelBarSlots(cairo_t* cr, const Item& it) {
  const bool vertical = it.h > it.w;
  for (int i = 0; i < 10; i++) {
    double x, y, w, h;
    if (vertical) {
      const double seg = it.h / 10.0;
      x = it.x;
      w = it.w;
      y = it.y + it.h - (i + 1) * seg + 0.5;
      h = seg - 1;
    } else {
      const double seg = it.w / 10.0;
      y = it.y;
      h = it.h;
      x = it.x + i * seg + 0.5;
      w = seg - 1;
    }
    cairo_rectangle(cr, x, y, w, h);
    SetRGB(cr, i < 7 ? 0x1A3020 : i < 9 ? 0x3A3418 : 0x3A1A1A, 1);
    cairo_fill(cr);
  }
}

void Section(cairo_t* cr, const Engraving& e, uint32_t accent) {
  RoundedRect(cr, e.x + 0.5, e.y + 0.5, e.w - 1, e.h - 1, 6);
  SetRGB(cr, 0x000000, 0.22);
  cairo_fill_preserve(cr);
  SetRGB(cr, 0xFFFFFF, 0.09);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  if (!e.text.empty()) {
    SetFont(cr, 9, true);
    const std::string t = Latin1ToUtf8(e.text);
    const double w = TextWidth(cr, t);
    RoundedRect(cr, e.x + 8, e.y - 1, w + 10, 12, 3);
    SetRGB(cr, Mix(0x202328, accent, 0.3), 1);
    cairo_fill(cr);
    SetRGB(cr, Lighten(accent, 0.35));
    DrawText(cr, t, e.x + 13, e.y + 5, 0);
  }
}

void Logo(cairo_t* cr, double x, double y, double size, uint32_t accent) {
  // Three stacked loop rings, then the name.
  for (int i = 0; i < 3; i++) {
    cairo_arc(cr, x + size * 0.45 + i * size * 0.42, y + size * 0.55, size * 0.36, 0, 2 * kPi);
    SetRGB(cr, Mix(accent, 0xFFFFFF, 0.15 * i), 0.95);
    cairo_set_line_width(cr, size * 0.12);
    cairo_stroke(cr);
  }
  SetFont(cr, size * 0.95, true);
  SetRGB(cr, 0xF4F6F8);
  DrawText(cr, "JAMLOOM", x + size * 1.75, y + size * 0.55, 0);
}

}  // namespace

Picture PaintBackground(const PanelDecl& panel, int variant) {
  const Layout* main = FindLayout(panel.layouts[0]);
  const int w = main->w, h = main->h;
  const uint32_t accent = main->recoloured ? kSchemeAccents[variant % 10] : kNeutralAccent;
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  const double radius = main->floating ? 10 : 0;
  // Body.
  RoundedRect(cr, 0, 0, w, h, radius);
  Gradient(cr, 0, h, Mix(0x363A41, accent, 0.07), Mix(0x1B1D21, accent, 0.05));
  cairo_fill(cr);
  // Fine horizontal brushing.
  for (int y = 0; y < h; y += 3) {
    cairo_rectangle(cr, 0, y, w, 1);
    SetRGB(cr, 0xFFFFFF, 0.012);
    cairo_fill(cr);
  }
  // Title bar.
  const int barH = main->floating ? 26 : 30;
  cairo_save(cr);
  RoundedRect(cr, 0, 0, w, h, radius);
  cairo_clip(cr);
  cairo_rectangle(cr, 0, 0, w, barH);
  Gradient(cr, 0, barH, Mix(0x2E3238, accent, 0.28), Mix(0x1E2125, accent, 0.14));
  cairo_fill(cr);
  cairo_rectangle(cr, 0, barH - 1, w, 1);
  SetRGB(cr, accent, 0.7);
  cairo_fill(cr);
  cairo_restore(cr);
  if (!main->title.empty()) {
    SetFont(cr, main->floating ? 11 : 10, true);
    SetRGB(cr, Lighten(accent, 0.45));
    const double x = main->floating ? 14 : 150;
    DrawText(cr, Latin1ToUtf8(main->title), x, barH / 2.0, 0);
  }
  if (main->floating) {
    // A grip to show the panel can be dragged.
    for (int i = 0; i < 3; i++) {
      cairo_rectangle(cr, w / 2.0 - 10, 8 + 4 * i, 20, 1);
      SetRGB(cr, 0xFFFFFF, 0.18);
      cairo_fill(cr);
    }
  }
  // Engravings and control sockets of every layout of the panel.
  for (int k = 0; k < 3; k++) {
    const Layout* l = panel.layouts[k] >= 0 ? FindLayout(panel.layouts[k]) : nullptr;
    if (!l) continue;
    for (const Engraving& e : l->engravings) {
      switch (e.type) {
        case Engraving::Section:
          Section(cr, e, accent);
          break;
        case Engraving::Logo:
          Logo(cr, e.x, e.y + 2, 18, accent);
          break;
        case Engraving::Divider:
          cairo_rectangle(cr, e.x, e.y, e.w, 1);
          SetRGB(cr, 0xFFFFFF, 0.1);
          cairo_fill(cr);
          break;
        default:
          SetFont(cr, e.size, true);
          SetRGB(cr, e.bright ? 0xE8ECF0 : kEngrave, e.bright ? 1.0 : 0.85);
          DrawText(cr, Latin1ToUtf8(e.text), e.x, e.y + e.size * 0.45, e.align);
          break;
      }
    }
  }
  for (int k = 0; k < 3; k++) {
    const Layout* l = panel.layouts[k] >= 0 ? FindLayout(panel.layouts[k]) : nullptr;
    if (!l) continue;
    for (const Item& it : l->items) {
      if (it.state == 0 || it.number == l->firstSlot) continue;
      switch (it.look) {
        case Look::Button:
        case Look::Toggle:
        case Look::TrackButton:
        case Look::ModeSwitch:
        case Look::Radio:
          Socket(cr, it.x, it.y, it.w, it.h, 5);
          break;
        case Look::Display:
        case Look::Popup:
        case Look::Rotor:
        case Look::Progress:
          Socket(cr, it.x, it.y, it.w, it.h, 3);
          break;
        case Look::ListRow:
          cairo_rectangle(cr, it.x, it.y, it.w, it.h);
          SetRGB(cr, 0x000000, 0.18);
          cairo_fill(cr);
          break;
        case Look::SliderH:
        case Look::SliderV:
          SliderTrack(cr, it, accent);
          break;
        case Look::LevelBar:
          LevelBarSlots(cr, it);
          break;
        case Look::Lamp:
        case Look::TrackLed:
        case Look::Ball:
        case Look::Knob:
          cairo_arc(cr, it.x + it.w / 2.0, it.y + it.h / 2.0, it.w / 2.0 + 1, 0, 2 * kPi);
          SetRGB(cr, kSocket, 0.9);
          cairo_fill(cr);
          if (it.look == Look::Knob) {
            // Scale: 270 degrees from lower left to lower right.
            const double cx = it.x + it.w / 2.0, cy = it.y + it.h / 2.0, r = it.w / 2.0 + 4;
            for (int i = 0; i <= 10; i++) {
              const double a = (135 + 27 * i) * kPi / 180;
              cairo_move_to(cr, cx + r * cos(a), cy + r * sin(a));
              cairo_line_to(cr, cx + (r + 3) * cos(a), cy + (r + 3) * sin(a));
            }
            SetRGB(cr, kEngrave, 0.7);
            cairo_set_line_width(cr, 1);
            cairo_stroke(cr);
          }
          break;
        case Look::Swatch:
          Socket(cr, it.x, it.y, it.w, it.h, 4);
          break;
        case Look::Key:
          cairo_rectangle(cr, it.x - 1, it.y - 1, it.w + 2, it.h + 2);
          SetRGB(cr, 0x050505, 1);
          cairo_fill(cr);
          break;
        case Look::Picture84: {
          Socket(cr, it.x, it.y, it.w, it.h, 2);
          SetFont(cr, 9, false);
          SetRGB(cr, kEngrave, 0.6);
          DrawText(cr, "no picture", it.x + it.w / 2.0, it.y + it.h / 2.0, 1);
          break;
        }
        default:
          break;
      }
      EngraveLabel(cr, it, accent);
    }
  }
  if (main->floating) {
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, radius);
    SetRGB(cr, Mix(0x000000, accent, 0.35), 1);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    RoundedRect(cr, 1.5, 1.5, w - 3, h - 3, radius - 1);
    SetRGB(cr, 0xFFFFFF, 0.08);
    cairo_stroke(cr);
  }
  return c.picture(main->floating);
}

Picture PaintButton(int w, int h, const std::string& label, int state) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  if (state == 1) {
    // The pressed cap is only shown while the button works, so it needs no
    // mask: its corners are painted on the socket colour around it.
    cairo_rectangle(cr, 0, 0, w, h);
    SetRGB(cr, kSocket);
    cairo_fill(cr);
  }
  CapFace(cr, w, h, state == 1, 0x4AA8FF, state == 1 ? 0.1 : 0.0);
  const std::string t = Latin1ToUtf8(label);
  FitLabel(cr, t, w, std::min(label.size() == 1 ? 14.0 : 11.0, h * 0.5));
  SetRGB(cr, state == 1 ? 0xBFDFFF : kCapText);
  DrawText(cr, t, w / 2.0, h / 2.0 + (state == 1 ? 1 : 0), 1);
  return c.picture(state != 1);
}

Picture PaintToggle(int w, int h, const std::string& label, uint32_t accent, bool on) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  CapFace(cr, w, h, on, accent, on ? 0.18 : 0.0);
  // The light strip at the top of the cap: off, it is an unlit lamp.
  RoundedRect(cr, 5, 3, w - 10, 3, 1.5);
  SetRGB(cr, on ? accent : UnlitLens(accent), 1);
  cairo_fill(cr);
  if (on) Glow(cr, w / 2.0, 4, w / 2.0, accent, 0.35);
  const std::string t = Latin1ToUtf8(label);
  FitLabel(cr, t, w, std::min(11.0, h * 0.46));
  SetRGB(cr, on ? Lighten(accent, 0.55) : kCapText);
  DrawText(cr, t, w / 2.0, h / 2.0 + 2, 1);
  return c.picture();
}

Picture PaintTrackButton(int w, int h, const std::string& label, bool selected) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  const double r = 5;
  RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, r);
  if (selected)
    Gradient(cr, 0, h, 0xF0F3F6, 0xBCC4CE);
  else
    Gradient(cr, 0, h, 0x4E545D, 0x353940);
  cairo_fill_preserve(cr);
  SetRGB(cr, 0x0B0C0E);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  SetFont(cr, 9, true);
  SetRGB(cr, selected ? 0x3A4048 : 0xAEB6C0);
  DrawText(cr, "TRACK", 7, h / 2.0, 0);
  SetFont(cr, 14, true);
  SetRGB(cr, selected ? 0x14171B : kCapText);
  DrawText(cr, Latin1ToUtf8(label), w - 10, h / 2.0, 2);
  return c.picture();
}

Picture PaintTrackLed(int size, int value) {
  // 1 no loop, 2 on, 3 off, 4 solo on.
  Canvas c(size, size);
  cairo_t* cr = c.cr();
  const double r = size / 2.0;
  uint32_t colour = 0x3A3F46;
  double level = 0;
  if (value == 2) {
    colour = colours::kGreen;
    level = 1;
  } else if (value == 3) {
    colour = colours::kRed;
    level = 0.35;
  } else if (value == 4) {
    colour = colours::kYellow;
    level = 1;
  } else if (value == 1) {
    colour = 0x80868E;
    level = 0.2;
  }
  LampBody(cr, r, r, r - 0.5, colour, level);
  return c.picture();
}

Picture PaintLamp(int size, uint32_t accent, int value) {
  Canvas c(size, size);
  cairo_t* cr = c.cr();
  const double r = size / 2.0;
  const uint32_t colour = value == 2 ? colours::kRed : accent;
  LampBody(cr, r, r, r - 0.5, colour, value > 0 ? 1.0 : 0.0);
  return c.picture();
}

Picture PaintSwatch(int size, uint32_t colour, bool on) {
  Canvas c(size, size);
  cairo_t* cr = c.cr();
  RoundedRect(cr, 0.5, 0.5, size - 1, size - 1, 4);
  Gradient(cr, 0, size, Lighten(colour, 0.2), Darken(colour, 0.25));
  cairo_fill_preserve(cr);
  SetRGB(cr, on ? 0xFFFFFF : 0x0B0C0E);
  cairo_set_line_width(cr, on ? 2.5 : 1);
  cairo_stroke(cr);
  if (on) {
    cairo_move_to(cr, size * 0.28, size * 0.52);
    cairo_line_to(cr, size * 0.44, size * 0.68);
    cairo_line_to(cr, size * 0.74, size * 0.34);
    SetRGB(cr, 0xFFFFFF);
    cairo_set_line_width(cr, 2.5);
    cairo_stroke(cr);
  }
  return c.picture();
}

Picture PaintThumb(int w, int h, bool vertical) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 3);
  Gradient(cr, 0, h, 0xE8ECF0, 0x9AA3AE);
  cairo_fill_preserve(cr);
  SetRGB(cr, 0x1A1C20);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // Grip line across the thumb.
  if (vertical)
    cairo_rectangle(cr, 3, h / 2.0 - 0.5, w - 6, 1);
  else
    cairo_rectangle(cr, w / 2.0 - 0.5, 3, 1, h - 6);
  SetRGB(cr, 0x30353C);
  cairo_fill(cr);
  return c.picture();
}

Picture PaintKnobStrip(int size, int frames) {
  Canvas c(size, size * frames);
  cairo_t* cr = c.cr();
  for (int f = 0; f < frames; f++) {
    const double cx = size / 2.0, cy = f * size + size / 2.0, r = size / 2.0 - 1;
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
    Gradient(cr, cy - r, cy + r, 0x5E646E, 0x2A2E34);
    cairo_fill_preserve(cr);
    SetRGB(cr, 0x0B0C0E);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_arc(cr, cx, cy, r - 4, 0, 2 * kPi);
    Gradient(cr, cy - r, cy + r, 0x454A53, 0x30343A);
    cairo_fill(cr);
    const double a = (135 + 270.0 * f / std::max(1, frames - 1)) * kPi / 180;
    cairo_move_to(cr, cx + (r - 10) * cos(a) * 0.3, cy + (r - 10) * sin(a) * 0.3);
    cairo_line_to(cr, cx + (r - 2) * cos(a), cy + (r - 2) * sin(a));
    SetRGB(cr, 0xF2F5F8);
    cairo_set_line_width(cr, 2.5);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_stroke(cr);
  }
  return c.picture();
}

Picture PaintPopupPiece(int w, int h, int role) {
  // 0 closed, 1 first, 2 middle, 3 last, 4 highlight, 5 separator,
  // 6 more above, 7 more below, 8 closed and pressed.
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  const bool closed = role == 0 || role == 8;
  if (closed) {
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 3);
    Gradient(cr, 0, h, role == 8 ? 0x1C1F24 : 0x2A2E35, role == 8 ? 0x24282E : 0x1E2126);
    cairo_fill_preserve(cr);
    SetRGB(cr, 0x5A616B);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    // The drop mark on the right.
    const double x = w - 9, y = h / 2.0;
    cairo_move_to(cr, x - 3.5, y - 2);
    cairo_line_to(cr, x + 3.5, y - 2);
    cairo_line_to(cr, x, y + 2.5);
    cairo_close_path(cr);
    SetRGB(cr, 0xC9D1DA);
    cairo_fill(cr);
    return c.picture();
  }
  if (role == 4) {
    cairo_rectangle(cr, 1, 0, w - 2, h);
    SetRGB(cr, 0x4AA8FF, 0.45);
    cairo_fill(cr);
    cairo_rectangle(cr, 1, 0, 3, h);
    SetRGB(cr, 0x9CD0FF, 1);
    cairo_fill(cr);
    return c.picture();
  }
  cairo_rectangle(cr, 0, 0, w, h);
  SetRGB(cr, 0x22262C);
  cairo_fill(cr);
  cairo_rectangle(cr, 0.5, -1, w - 1, h + 2);
  if (role == 1) cairo_rectangle(cr, 0.5, 0.5, w - 1, h + 2);
  if (role == 3) cairo_rectangle(cr, 0.5, -1, w - 1, h - 0.5);
  SetRGB(cr, 0x5A616B);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  if (role == 5) {
    cairo_rectangle(cr, 6, h / 2.0, w - 12, 1);
    SetRGB(cr, 0x7A828C);
    cairo_fill(cr);
  }
  if (role == 6 || role == 7) {
    const double x = w / 2.0, y = h / 2.0, d = role == 6 ? -1 : 1;
    cairo_move_to(cr, x - 5, y - 2.5 * d);
    cairo_line_to(cr, x + 5, y - 2.5 * d);
    cairo_line_to(cr, x, y + 3 * d);
    cairo_close_path(cr);
    SetRGB(cr, 0xC9D1DA);
    cairo_fill(cr);
  }
  return c.picture(false);
}

Picture PaintBall(int size, bool highlight, bool sequence) {
  Canvas c(size, size);
  cairo_t* cr = c.cr();
  const double r = size / 2.0, cx = r, cy = r;
  if (highlight) {
    // A ring drawn over the ball.
    cairo_arc(cr, cx, cy, r - 1.5, 0, 2 * kPi);
    SetRGB(cr, 0xFFFFFF, 0.95);
    cairo_set_line_width(cr, 2.5);
    cairo_stroke(cr);
    Glow(cr, cx, cy, r, 0xFFFFFF, 0.0);
    return c.picture();
  }
  const uint32_t base = sequence ? 0x2C4A6E : 0x4A3A6A;
  cairo_pattern_t* p = cairo_pattern_create_radial(cx - r * 0.35, cy - r * 0.4, r * 0.1, cx, cy, r);
  const uint32_t hi = Lighten(base, 0.45);
  cairo_pattern_add_color_stop_rgb(p, 0, ch(hi, 16) / 255.0, ch(hi, 8) / 255.0, ch(hi, 0) / 255.0);
  cairo_pattern_add_color_stop_rgb(p, 1, ch(Darken(base, 0.4), 16) / 255.0, ch(Darken(base, 0.4), 8) / 255.0,
                                   ch(Darken(base, 0.4), 0) / 255.0);
  cairo_set_source(cr, p);
  cairo_arc(cr, cx, cy, r - 0.5, 0, 2 * kPi);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
  cairo_arc(cr, cx, cy, r - 0.5, 0, 2 * kPi);
  SetRGB(cr, 0x000000, 0.6);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  return c.picture();
}

Picture PaintLevelBar(int w, int h) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  const bool vertical = h > w;
  for (int i = 0; i < 10; i++) {
    double x, y, sw, sh;
    if (vertical) {
      const double seg = h / 10.0;
      x = 0;
      sw = w;
      y = h - (i + 1) * seg + 0.5;
      sh = seg - 1;
    } else {
      const double seg = w / 10.0;
      y = 0;
      sh = h;
      x = i * seg + 0.5;
      sw = seg - 1;
    }
    cairo_rectangle(cr, x, y, sw, sh);
    const uint32_t col = i < 7 ? 0x46E664 : i < 9 ? 0xFFD23C : 0xFF4B4B;
    Gradient(cr, y, y + sh, Lighten(col, 0.3), col);
    cairo_fill(cr);
  }
  return c.picture();
}

Picture PaintDisplay(int w, int h) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  cairo_rectangle(cr, 0, 0, w, h);
  SetRGB(cr, kSocket);
  cairo_fill(cr);
  RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 3);
  Gradient(cr, 0, h, 0x0E1A22, 0x142430);
  cairo_fill_preserve(cr);
  SetRGB(cr, 0x000000, 0.9);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  cairo_rectangle(cr, 3, h - 1.5, w - 6, 1);
  SetRGB(cr, 0xFFFFFF, 0.08);
  cairo_fill(cr);
  return c.picture(false);
}

Picture PaintListRow(int w, int h, bool selected) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  cairo_rectangle(cr, 0, 0, w, h);
  if (selected)
    Gradient(cr, 0, h, 0x2E5C8A, 0x234A70);
  else
    SetRGB(cr, 0x15181C);
  cairo_fill(cr);
  cairo_rectangle(cr, 0, h - 1, w, 1);
  SetRGB(cr, 0xFFFFFF, 0.05);
  cairo_fill(cr);
  return c.picture(false);
}

Picture PaintPictureFrame(int size, const std::string& title, uint32_t colour) {
  Canvas c(size, size);
  cairo_t* cr = c.cr();
  cairo_rectangle(cr, 0, 0, size, size);
  Gradient(cr, 0, size, Mix(colour, 0x101214, 0.55), Mix(colour, 0x000000, 0.8));
  cairo_fill(cr);
  // A record with a loop arrow around it.
  const double cx = size / 2.0, cy = size * 0.44;
  cairo_arc(cr, cx, cy, size * 0.3, 0, 2 * kPi);
  SetRGB(cr, 0x0C0D0F);
  cairo_fill(cr);
  for (int i = 1; i <= 3; i++) {
    cairo_arc(cr, cx, cy, size * (0.12 + 0.05 * i), 0, 2 * kPi);
    SetRGB(cr, 0xFFFFFF, 0.08);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
  }
  cairo_arc(cr, cx, cy, size * 0.09, 0, 2 * kPi);
  SetRGB(cr, colour);
  cairo_fill(cr);
  cairo_arc(cr, cx, cy, size * 0.37, -0.3, 4.6);
  SetRGB(cr, Lighten(colour, 0.3), 0.9);
  cairo_set_line_width(cr, 2.5);
  cairo_stroke(cr);
  SetFont(cr, 9.5, true);
  SetRGB(cr, 0xF2F5F8);
  FitLabel(cr, title, size, 9.5);
  DrawText(cr, title, cx, size - 9, 1);
  return c.picture(false);
}

Picture PaintProgress(int w, int h) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, h / 2.0);
  Gradient(cr, 0, h, 0x7CC8FF, 0x2E86D6);
  cairo_fill(cr);
  for (int x = 6; x < w; x += 12) {
    cairo_move_to(cr, x, h);
    cairo_line_to(cr, x + h, 0);
    cairo_line_to(cr, x + h + 5, 0);
    cairo_line_to(cr, x + 5, h);
    cairo_close_path(cr);
  }
  cairo_save(cr);
  RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, h / 2.0);
  cairo_clip(cr);
  SetRGB(cr, 0xFFFFFF, 0.12);
  cairo_fill(cr);
  cairo_restore(cr);
  return c.picture();
}

Picture PaintKey(int w, int h, int shape, bool pressed) {
  // shape: 1 black; white keys 0 plain, 2 notch right, 3 both, 4 notch left.
  // The notches (where black keys lie over the white key) are transparent,
  // so clicks there reach the black key.
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  if (shape == 1) {
    RoundedRect(cr, 0.5, -3, w - 1, h + 2.5, 2);
    Gradient(cr, 0, h, pressed ? 0x30343A : 0x2A2D32, pressed ? 0x1A1C20 : 0x0C0D0F);
    cairo_fill_preserve(cr);
    SetRGB(cr, 0x000000);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    if (!pressed) {
      cairo_rectangle(cr, 2, h - 7, w - 4, 4);
      SetRGB(cr, 0xFFFFFF, 0.12);
      cairo_fill(cr);
    }
    return c.picture();
  }
  const double notch = 7, blackH = 52;
  cairo_move_to(cr, (shape == 3 || shape == 4) ? notch : 0.5, 0);
  cairo_line_to(cr, (shape == 2 || shape == 3) ? w - notch : w - 0.5, 0);
  if (shape == 2 || shape == 3) {
    cairo_line_to(cr, w - notch, blackH);
    cairo_line_to(cr, w - 0.5, blackH);
  }
  cairo_line_to(cr, w - 0.5, h - 3);
  cairo_arc(cr, w - 3.5, h - 3.5, 3, 0, kPi / 2);
  cairo_arc(cr, 3.5, h - 3.5, 3, kPi / 2, kPi);
  if (shape == 3 || shape == 4) {
    cairo_line_to(cr, 0.5, blackH);
    cairo_line_to(cr, notch, blackH);
  }
  cairo_close_path(cr);
  Gradient(cr, 0, h, pressed ? 0xC8CDD4 : 0xF4F5F7, pressed ? 0xB0B6BE : 0xDADDE2);
  cairo_fill_preserve(cr);
  SetRGB(cr, 0x2A2D32);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  return c.picture();
}

Picture PaintModeSwitch(int w, int h, const std::string& text, int value) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  const uint32_t colours[4] = {0x3A3F46, 0x3A3F46, colours::kGreen, colours::kCyan};
  const uint32_t accent = colours[std::clamp(value, 0, 3)];
  CapFace(cr, w, h, value >= 2, accent, value >= 2 ? 0.25 : 0.0);
  const std::string t = Latin1ToUtf8(text);
  FitLabel(cr, t, w, std::min(10.0, h * 0.46));
  SetRGB(cr, value >= 2 ? Lighten(accent, 0.6) : kCapText);
  DrawText(cr, t, w / 2.0, h / 2.0, 1);
  return c.picture();
}

Picture PaintRotor(int w, int h, bool lit) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  const double cell = w / 8.0;
  for (int i = 0; i < 8; i++) {
    const double cx = cell * i + cell / 2, cy = h / 2.0;
    if (lit) Glow(cr, cx, cy, cell * 0.6, colours::kCyan, 0.5);
    LampBody(cr, cx, cy, std::min(cell, double(h)) * 0.36, colours::kCyan, lit ? 1.0 : 0.0);
    SetFont(cr, 8, true);
    SetRGB(cr, kEngrave, 0.8);
  }
  return c.picture();
}

Picture PaintRadio(int w, int h, const std::string& label, bool on) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  const double r = h / 2.0 - 3, cx = r + 3, cy = h / 2.0;
  cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
  Gradient(cr, cy - r, cy + r, 0x0A0B0D, 0x30343A);
  cairo_fill_preserve(cr);
  SetRGB(cr, 0x6A717B);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  if (on) {
    cairo_arc(cr, cx, cy, r * 0.5, 0, 2 * kPi);
    SetRGB(cr, colours::kCyan);
    cairo_fill(cr);
    Glow(cr, cx, cy, r * 1.2, colours::kCyan, 0.4);
  }
  SetFont(cr, 10, true);
  SetRGB(cr, on ? 0xF2F5F8 : kEngrave);
  DrawText(cr, Latin1ToUtf8(label), cx + r + 6, cy, 0);
  return c.picture();
}

Picture PaintInfoPage() {
  Canvas c(640, 480);
  cairo_t* cr = c.cr();
  const uint32_t accent = kSchemeAccents[0];
  cairo_rectangle(cr, 0, 0, 640, 480);
  Gradient(cr, 0, 480, 0x1E2A38, 0x0E1116);
  cairo_fill(cr);
  // Concentric loop rings as a backdrop.
  for (int i = 0; i < 9; i++) {
    cairo_arc(cr, 520, 150, 30 + 22 * i, 0, 2 * kPi);
    SetRGB(cr, accent, 0.10 - 0.01 * i);
    cairo_set_line_width(cr, 6);
    cairo_stroke(cr);
  }
  Logo(cr, 48, 52, 40, accent);
  SetFont(cr, 14, true);
  SetRGB(cr, Lighten(accent, 0.4));
  DrawText(cr, kVersionText, 50, 122, 0);
  SetFont(cr, 13, false);
  SetRGB(cr, 0xE8ECF0);
  static const char* const lines[] = {
      "Build dance tracks from loops, live.",
      "",
      "Eight tracks play in time: pick an instrument and a loop for each,",
      "mute, solo, group and randomise them, and store what you like",
      "as grooves. Drag grooves into a sequence and let it play.",
      "",
      "The virtual mixer builds whole arrangements from the song;",
      "the synth adds an arpeggio in the song's key; the loop tuner",
      "records a loop of your own and fits it to the beat.",
  };
  double y = 170;
  for (const char* l : lines) {
    DrawText(cr, l, 50, y, 0);
    y += 20;
  }
  SetFont(cr, 11, true);
  SetRGB(cr, Lighten(accent, 0.3));
  DrawText(cr, "KEYS", 50, 366, 0);
  SetFont(cr, 11, false);
  SetRGB(cr, 0xC9D1DA);
  DrawText(cr, "1-8 select a track   Space play/stop   S solo   G group   A all", 50, 386, 0);
  DrawText(cr, "T tap tempo   E empty   Return store the groove   F1 help balloons", 50, 404, 0);
  cairo_rectangle(cr, 0, 430, 640, 50);
  SetRGB(cr, 0x000000, 0.35);
  cairo_fill(cr);
  SetFont(cr, 10, false);
  SetRGB(cr, 0xAEB6C0);
  DrawText(cr, "Click anywhere to close this page.", 50, 455, 0);
  return c.picture(false);
}

Picture PaintStartup() {
  Canvas c(400, 240);
  cairo_t* cr = c.cr();
  const uint32_t accent = kSchemeAccents[0];
  RoundedRect(cr, 0, 0, 400, 240, 14);
  Gradient(cr, 0, 240, 0x24303E, 0x101317);
  cairo_fill(cr);
  for (int i = 0; i < 6; i++) {
    cairo_arc(cr, 330, 70, 24 + 20 * i, 0, 2 * kPi);
    SetRGB(cr, accent, 0.12 - 0.015 * i);
    cairo_set_line_width(cr, 5);
    cairo_stroke(cr);
  }
  Logo(cr, 36, 62, 36, accent);
  SetFont(cr, 13, true);
  SetRGB(cr, Lighten(accent, 0.4));
  DrawText(cr, kVersionText, 38, 128, 0);
  SetFont(cr, 12, false);
  SetRGB(cr, 0xE8ECF0);
  DrawText(cr, "Loop-based music in eight tracks.", 38, 156, 0);
  SetFont(cr, 10, false);
  SetRGB(cr, 0xAEB6C0);
  DrawText(cr, "Starting...", 38, 208, 0);
  RoundedRect(cr, 0.5, 0.5, 399, 239, 14);
  SetRGB(cr, accent, 0.6);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  return c.picture();
}

Picture PaintBalloon(int w, int h, int corner) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  const double tail = 10;
  if (corner >= 4) {
    const bool onLeft = corner == 4;
    const double bx = onLeft ? tail + 0.5 : 0.5, by = 0.5, bw = w - tail - 1, bh = h - 1;
    RoundedRect(cr, bx, by, bw, bh, 8);
    const double ty = h / 2.0;
    if (onLeft) {
      cairo_move_to(cr, bx + 1, ty - 7);
      cairo_line_to(cr, 0.5, ty);
      cairo_line_to(cr, bx + 1, ty + 7);
    } else {
      cairo_move_to(cr, bx + bw - 1, ty - 7);
      cairo_line_to(cr, w - 0.5, ty);
      cairo_line_to(cr, bx + bw - 1, ty + 7);
    }
  } else {
    const bool top = corner < 2, left = corner % 2 == 0;
    const double bx = 0.5, by = top ? tail + 0.5 : 0.5, bw = w - 1, bh = h - tail - 1;
    RoundedRect(cr, bx, by, bw, bh, 8);
    const double tx = left ? 18 : w - 18;
    if (top) {
      cairo_move_to(cr, tx - 7, by + 1);
      cairo_line_to(cr, left ? 4 : w - 4, 0.5);
      cairo_line_to(cr, tx + 7, by + 1);
    } else {
      cairo_move_to(cr, tx - 7, by + bh - 1);
      cairo_line_to(cr, left ? 4 : w - 4, h - 0.5);
      cairo_line_to(cr, tx + 7, by + bh - 1);
    }
  }
  cairo_close_path(cr);
  Gradient(cr, 0, h, 0x26496E, 0x17304C);
  cairo_fill_preserve(cr);
  SetRGB(cr, 0x8CC4FF);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  return c.picture();
}

namespace {
std::vector<std::string> wrapHelp(cairo_t* cr, int w, const std::string& utf) {
  std::vector<std::string> lines;
  std::string line;
  size_t i = 0;
  while (i < utf.size()) {
    size_t j = utf.find(' ', i);
    if (j == std::string::npos) j = utf.size();
    const std::string word = utf.substr(i, j - i);
    const std::string trial = line.empty() ? word : line + " " + word;
    if (TextWidth(cr, trial) > w && !line.empty()) {
      lines.push_back(line);
      line = word;
    } else {
      line = trial;
    }
    i = j + 1;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}
}  // namespace

std::vector<std::string> WrapHelpText(int w, const std::string& text) {
  Canvas c(w, 8);
  SetFont(c.cr(), 10, false);
  return wrapHelp(c.cr(), w, Latin1ToUtf8(text));
}

Picture PaintHelpText(int w, int h, const std::string& title, const std::string& text) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  SetRGB(cr, 0xFFFFFF);
  SetFont(cr, 11, true);
  DrawText(cr, Latin1ToUtf8(title), 0, 7, 0);
  SetFont(cr, 10, false);
  const std::vector<std::string> lines = wrapHelp(cr, w, Latin1ToUtf8(text));
  for (size_t k = 0; k < lines.size() && k < size_t(kHelpTextLines); k++) DrawText(cr, lines[k], 0, 23 + 14 * k, 0);
  return c.picture();
}

}  // namespace skin
