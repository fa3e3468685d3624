// The font strip (cast 500): 256 glyphs of DejaVu Sans in Latin-1 code
// order on one row, each as wide as its advance, separated by one empty
// column. Below the glyphs, 3 pixels above the bottom edge, the marker row
// marks each glyph's columns; glyph 201 is an ellipsis (the character that
// ends a text cut to fit). Codes without a printable character (0-31,
// 127-159) get a narrow empty glyph so that the k-th marked run is always
// glyph k.
#include <cmath>

#include "tools/skingen/skinGen.h"
#include "tools/skingen/skinPaintInternal.h"

namespace skin {

Picture BuildFontStrip() {
  constexpr int kGlyphH = kFontGlyphHeight, kH = kGlyphH + 5;
  constexpr double kSize = 12.5, kBaseline = 12.0;
  std::string glyphText[256];
  int advance[256];
  {
    Canvas probe(8, 8);
    SetFont(probe.cr(), kSize, false);
    for (int c = 0; c < 256; c++) {
      if (c == kEllipsisCode)
        glyphText[c] = "\xE2\x80\xA6";
      else if (c >= 32 && c != 127 && !(c >= 128 && c < 160))
        glyphText[c] = Latin1ToUtf8(std::string(1, static_cast<char>(c)));
      advance[c] = glyphText[c].empty() ? 2 : std::max(1, int(std::lround(TextWidth(probe.cr(), glyphText[c]))));
    }
  }
  int width = 0;
  for (int c = 0; c < 256; c++) width += advance[c] + 1;
  Canvas canvas(width, kH);
  cairo_t* cr = canvas.cr();
  SetFont(cr, kSize, false);
  SetRGB(cr, 0xFFFFFF);
  int x = 0;
  for (int c = 0; c < 256; c++) {
    if (!glyphText[c].empty()) {
      cairo_save(cr);
      cairo_rectangle(cr, x, 0, advance[c], kGlyphH);
      cairo_clip(cr);
      cairo_move_to(cr, x, kBaseline);
      cairo_show_text(cr, glyphText[c].c_str());
      cairo_restore(cr);
    }
    x += advance[c] + 1;
  }
  Picture p = canvas.picture(true);
  // The picture is white where glyphs are (the mask shapes them); the
  // marker row is white under each glyph and black between glyphs.
  for (int y = 0; y < kH; y++)
    for (int xx = 0; xx < width; xx++) {
      uint8_t* o = &p.rgba[(size_t(y) * width + xx) * 4];
      o[0] = o[1] = o[2] = y < kGlyphH ? 255 : 0;
      if (y >= kGlyphH) o[3] = 0;
    }
  x = 0;
  for (int c = 0; c < 256; c++) {
    for (int k = 0; k < advance[c]; k++) {
      uint8_t* o = &p.rgba[(size_t(kH - 3) * width + x + k) * 4];
      o[0] = o[1] = o[2] = 255;
    }
    x += advance[c] + 1;
  }
  return p;
}

}  // namespace skin
